#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/core/values/QXLConversion.h"
#include "engine/core/QXLException.h"
#include "engine/core/containers/QXLMemoryManager.h"
#include "platform/FormatSettings.h"
#include "QXLValueFixtures.h"

using namespace qxl;

using namespace valuetest;

namespace {

std::string Convert(const TypedBytes& source, TQXLBaseFieldType dest, std::int32_t sourceSize) {
  std::int32_t size = -7;
  void* data = qxl::ConvertData(source.Data(), sourceSize, source.Type, dest, size);
  std::string out(static_cast<const char*>(data), static_cast<std::size_t>(size));
  QXLMemoryManager().FreeMem(data);
  return out;
}

std::string Convert(const TypedBytes& source, TQXLBaseFieldType dest) { return Convert(source, dest, source.Size()); }

// The native code ConvertData raises, 0 when it converts.
int ConvertCode(const TypedBytes& source, TQXLBaseFieldType dest) {
  try {
    Convert(source, dest);
    return 0;
  } catch (const EQXLException& e) {
    return e.NativeError;
  }
}

struct Case {
  TypedBytes Source;
  TypedBytes Expected;
};

void ExpectConversions(std::initializer_list<Case> cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "from type " << int(c.Source.Type) << " to " << int(c.Expected.Type));
    try {
      EXPECT_EQ(Convert(c.Source, c.Expected.Type), c.Expected.Bytes);
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
    }
  }
}

// Restores the process-wide format settings a test changes.
class QXLConvertData : public ::testing::Test {
protected:
  void TearDown() override { platform::FormatSettings() = FSaved; }
  platform::TFormatSettings FSaved = platform::FormatSettings();
};

TEST_F(QXLConvertData, TextSources) {
  ExpectConversions({
      {Ansi("abc"), Ansi("abc", bftChar)},
      {Ansi("\x80"), Wide(u"\u20AC")},
      {Wide(u"\u20AC\u0416"), Ansi("\x80?")},
      {Wide(u"x", bftWideChar), Wide(u"x")},
      // Integers are parsed as 32-bit (64-bit for Int64) and stored without a range check.
      {Ansi("300"), U8(44)},
      {Ansi("-1"), U32(0xFFFFFFFF)},
      {Ansi("  42"), I16(42)},
      {Ansi("9999999999"), I64(9999999999)},
      {Wide(u"-7"), I8(-7)},
      {Ansi("1.5"), Dbl(1.5)},
      {Ansi("2.5E2"), Sgl(250)},
      {Ansi("1.25"), Ext(1.25L)},
      {Ansi("1.23456"), Cur(1.2346)},
      // 8-bit text tries the ISO forms first; any one character separates the groups.
      {Ansi("2019-04-04"), Dat(Day_2019_04_04)},
      {Ansi("2019/04/04"), Dat(Day_2019_04_04)},
      {Ansi("2019-04-04 13:05:09"), Dat(Day_2019_04_04)},
      {Ansi("04.04.2019"), Dat(Day_2019_04_04)},
      {Ansi("13:05:09"), Tim(47109000)},
      {Ansi("2019-04-04 13:05:09"), DT(Day_2019_04_04, 47109000)},
      {Ansi("2019-04-04"), DT(Day_2019_04_04, 0)},
      {Wide(u"04.04.2019 13:05:09"), DT(Day_2019_04_04, 47109000)},
      // Milliseconds after the seconds survive, as SQL scripts write them.
      {Ansi("13:05:09.123"), Tim(47109123)},
      {Ansi("2019-04-04 13:05:09.007"), DT(Day_2019_04_04, 47109007)},
      {Ansi("2019-04-04 13:05:09.5"), Dat(Day_2019_04_04)},
      {Ansi("true"), Logical(0xFFFF)},
      {Wide(u"TRUE"), Logical(0xFFFF)},
      {Ansi("1"), Logical(0xFFFF)},
      {Ansi("yes"), Logical(0)},
      {Ansi("0"), Logical(0)},
      // A BLOB takes the text with its terminator.
      {Ansi("ab"), Blob(std::string("ab\0", 3))},
      {Wide(u"ab"), Blob(std::string("a\0b\0\0\0", 6))},
      // Large objects: the size bounds the text; 64-bit targets still parse 32 bits.
      {Clob("abc"), Ansi("abc")},
      {Clob("12"), I64(12)},
      {Clob("12"), Wide(u"12")},
      {WideClob(u"AB"), Ansi("AB")},
      {WideClob(u"AB"), Wide(u"AB")},
      {WideClob(u"2.5"), Dbl(2.5)},
  });
}

TEST_F(QXLConvertData, LargeTextWithoutSizeReadsUpToTheFirstZeroByte) {
  EXPECT_EQ(Convert(Clob(std::string("abc\0zz", 6)), bftVarchar, -1), Ansi("abc").Bytes);
  EXPECT_EQ(Convert(Clob(std::string("abc\0zz", 6)), bftVarchar, 0), Ansi("abc").Bytes);
  // A wide large object without size, bound for 8-bit text, is read as 8-bit text.
  const TypedBytes wide{bftWideClob, WideRaw(u"AB")};
  EXPECT_EQ(Convert(wide, bftVarchar, -1), Ansi("A").Bytes);
  EXPECT_EQ(Convert(wide, bftWideVarchar, -1), Wide(u"AB").Bytes);
  // With a size, text stops at the size even without a terminator.
  EXPECT_EQ(Convert(Ansi("abcdef"), bftVarchar, 3), Ansi("abc").Bytes);
}

TEST_F(QXLConvertData, NumberSources) {
  ExpectConversions({
      {U32(0xFFFFFFFF), Ansi("4294967295")},
      {I8(-5), Wide(u"-5")},
      {I64(std::numeric_limits<std::int64_t>::min()), Ansi("-9223372036854775808")},
      // Integers: truncated or extended, sign by the source, no range check.
      {I32(-1), U16(0xFFFF)},
      {U16(0xFFFF), I32(65535)},
      {I8(-1), I64(-1)},
      {U8(200), I8(-56)},
      {I64(0x100000005), I32(5)},
      {I32(7), Dbl(7)},
      {I64(1) , Cur(1)},
      {I64(0x100000005), Dat(5)},
      {I32(100), Tim(100)},
      {I32(3), DT(3, 0)},
      {I16(0), Logical(0)},
      {U8(2), Logical(0xFFFF)},
      // Floats: general text of up to 15 digits; truncation toward zero.
      {Dbl(0.1), Ansi("0.1")},
      {Sgl(0.1f), Ansi("0.100000001490116")},
      {Dbl(1e20), Ansi("1E20")},
      {Ext(-2.5L), Wide(u"-2.5")},
      {Dbl(-2.9), I32(-2)},
      {Dbl(300.9), U8(44)},
      {Dbl(0.1), Sgl(0.1f)},
      {Ext(1.5L), Dbl(1.5)},
      {Dbl(1.23456), Cur(1.2346)},
      {Dbl(10.9), Dat(10)},
      {Dbl(90000000.7), Tim(3600000)},
      {Dbl(10.5), DT(10, 43200000)},
      {Dbl(0), Logical(0)},
      {Sgl(-0.5f), Logical(0xFFFF)},
      // Money.
      {Cur(1.5), Ansi("1.5")},
      {Cur(-0.0001), Ansi("-0.0001")},
      {Cur(-2.7), I32(-2)},
      {Cur(2.5), Dbl(2.5)},
      {Cur(0), Logical(0)},
  });
}

TEST_F(QXLConvertData, DateAndTimeSources) {
  ExpectConversions({
      {Dat(Day_2019_04_04), Ansi("04.04.2019")},
      {Dat(QXLNoDate), Ansi("")},
      {Dat(QXLNoDate), Logical(0)},
      {Dat(Day_2019_04_04), Logical(0xFFFF)},
      {Dat(Day_2019_04_04), I32(Day_2019_04_04)},
      {Dat(Day_2019_04_04), Dbl(Day_2019_04_04)},
      {Dat(86400001), Tim(1)},
      {Dat(5), DT(5, 0)},
      {Tim(0), Ansi("")},
      {Tim(3723000), Ansi("01:02:03")},
      {Tim(100), Dat(100)},
      {Tim(100), DT(QXLNoDate, 100)},
      {Tim(100), Cur(100)},
      {Tim(0), Logical(0)},
      // Float conversions of date-times use the day number itself.
      {DT(Day_1899_12_30, 43200000), Dbl(693594.5)},
      {DT(QXLNoDate, 43200000), Dbl(0.5)},
      {DT(1, 1), Cur(1)},
      {DT(Day_2019_04_04, 47109000), Ansi("04.04.2019 13:05:09")},
      {DT(Day_2019_04_04, 0), Wide(u"04.04.2019")},
      {DT(QXLNoDate, 0), Ansi("")},
      {DT(Day_2019_04_04, 5), I16(16257)},
      {DT(5, 6), Dat(5)},
      {DT(5, 6), Tim(6)},
      {DT(QXLNoDate, 0), Logical(0)},
      {DT(QXLNoDate, 1), Logical(0xFFFF)},
      // Booleans.
      {Logical(0xFFFF), Ansi("True")},
      {Logical(0), Wide(u"False")},
      {Logical(1), I32(1)},
      {Logical(2), Dbl(1)},
      {Logical(1), Logical(1)},
  });
}

TEST_F(QXLConvertData, FailuresCarryTheirCodes) {
  struct Failure {
    TypedBytes Source;
    TQXLBaseFieldType Dest;
    int Code;
  } failures[] = {
      // The value does not convert.
      {Ansi("abc"), bftSignedInt32, 30051},
      {Ansi("1,5"), bftDouble, 30051},
      {Ansi("1e999"), bftDouble, 30051},
      {Ansi("99999999999"), bftSignedInt32, 30051},
      {Ansi("2019-13-04"), bftDate, 30051},
      {Ansi("hello"), bftDateTime, 30051},
      {Clob("9999999999"), bftSignedInt64, 30051},
      {Clob("2019-04-04"), bftDate, 30051},
      {Wide(u"2019-04-04 13:05:09"), bftDateTime, 30051},
      {Dbl(1e300), bftSingle, 30051},
      {Dbl(std::nan("")), bftSignedInt32, 30051},
      {Dbl(1e30), bftDate, 30051},
      {I64(std::numeric_limits<std::int64_t>::max()), bftCurrency, 30051},
      {Dat(0), bftVarchar, 30051},
      // The pair has no conversion.
      {Blob("ab"), bftBlob, 30052},
      {Bytes("ab"), bftBytes, 30052},
      {{bftVarBytes, "ab"}, bftVarchar, 30052},
      {I32(1), bftBlob, 30052},
      {Dat(1), bftBlob, 30052},
      {Logical(1), bftCurrency, 30052},
      {Logical(1), bftDate, 30052},
      {Cur(1), bftTime, 30052},
      {Ansi("a"), bftClob, 30052},
      {Ansi("a"), bftWideClob, 30052},
      {Ansi("a"), bftBytes, 30052},
      {Ansi("a"), bftUnknown, 30052},
      {{bftUnknown, "a"}, bftVarchar, 30052},
  };
  for (const Failure& f : failures)
    EXPECT_EQ(ConvertCode(f.Source, f.Dest), f.Code) << int(f.Source.Type) << " to " << int(f.Dest);

  try {
    Convert(Ansi("abc"), bftSignedInt32);
    FAIL();
  } catch (const EQXLException& e) {
    EXPECT_EQ(e.Message, "Cannot cast from 'STRING' to 'INTEGER' - Native error: 30051");
  }
  try {
    Convert(Blob("x"), bftBlob);
    FAIL();
  } catch (const EQXLException& e) {
    EXPECT_EQ(e.Message, "Cannot cast from 'BLOB' to 'BLOB' - Native error: 30052");
  }
}

TEST_F(QXLConvertData, FloatsParseWithADotWhateverTheLocaleSays) {
  platform::FormatSettings().DecimalSeparator = ',';
  EXPECT_EQ(Convert(Ansi("1.5"), bftDouble), Dbl(1.5).Bytes);
  EXPECT_EQ(ConvertCode(Ansi("1,5"), bftDouble), 30051);
  EXPECT_EQ(platform::FormatSettings().DecimalSeparator, ',');  // restored after success and failure
  // Money and float text follow the locale.
  EXPECT_EQ(Convert(Ansi("1,5"), bftCurrency), Cur(1.5).Bytes);
  EXPECT_EQ(ConvertCode(Ansi("1.5"), bftCurrency), 30051);
  EXPECT_EQ(Convert(Dbl(1.5), bftVarchar), Ansi("1,5").Bytes);
  EXPECT_EQ(Convert(Cur(-1.25), bftVarchar), Ansi("-1,25").Bytes);
}

TEST(QXLCopyDataToNewMemory, TextUpToItsTerminatorOtherTypesInTheirSize) {
  struct Case {
    TQXLBaseFieldType Type;
    std::string Source;
    std::string Expected;
  } cases[] = {
      {bftVarchar, std::string("abc\0def", 8), std::string("abc\0", 4)},
      {bftChar, std::string("\0x", 2), std::string("\0", 1)},
      {bftWideVarchar, WideRaw(u"ab") + "zz", WideRaw(u"ab")},
      {bftSignedInt16, "\x01\x02\x03\x04", "\x01\x02"},
      {bftExtended, std::string(16, '\x11'), std::string(10, '\x11')},
      {bftDateTime, std::string(12, '\x05'), std::string(8, '\x05')},
  };
  for (const Case& c : cases) {
    void* buffer = nullptr;
    std::int32_t size = -1;
    qxl::CopyDataToNewMemory(c.Type, c.Source.data(), buffer, size);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(std::string(static_cast<char*>(buffer), static_cast<std::size_t>(size)), c.Expected) << int(c.Type);
    EXPECT_EQ(QXLMemoryManager().GetMemoryBufferSize(buffer), size);
    QXLMemoryManager().FreeMem(buffer);
  }
  void* buffer = reinterpret_cast<void*>(1);
  std::int32_t size = 5;
  try {
    qxl::CopyDataToNewMemory(bftSignedInt32, nullptr, buffer, size);
    FAIL();
  } catch (const EQXLException& e) {
    EXPECT_EQ(e.NativeError, 30054);
    EXPECT_EQ(e.Message, "Cannot copy data into new memory - Native error: 30054");
  }
  EXPECT_EQ(buffer, nullptr);
}

}  // namespace
