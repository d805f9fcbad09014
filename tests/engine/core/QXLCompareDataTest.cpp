#include <gtest/gtest.h>

#include <cmath>

#include "engine/core/values/QXLConversion.h"
#include "engine/core/QXLException.h"
#include "QXLValueFixtures.h"

using namespace qxl;

using namespace valuetest;

namespace {

struct Options {
  std::int32_t Prefix = -1;
  bool CaseInsensitive = false;
};

TQXLCompareResult Compare(const TypedBytes& l, const TypedBytes& r, Options o = {}) {
  return qxl::CompareData(l.Data(), r.Data(), l.Type, r.Type, false, false, o.Prefix, o.CaseInsensitive,
                     LOCALE_USER_DEFAULT);
}

int CompareCode(const TypedBytes& l, const TypedBytes& r) {
  try {
    Compare(l, r);
    return 0;
  } catch (const EQXLException& e) {
    return e.NativeError;
  }
}

TEST(QXLCompareData, NullsAreReportedAndSortLowest) {
  const TypedBytes one = I32(1);
  EXPECT_EQ(qxl::CompareData(nullptr, nullptr, bftBlob, bftBlob, true, true, -1, false, 0), cmprBothNull);
  EXPECT_EQ(qxl::CompareData(nullptr, one.Data(), bftVarchar, bftSignedInt32, true, false, -1, false, 0), cmprLeftNull);
  EXPECT_EQ(qxl::CompareData(one.Data(), nullptr, bftSignedInt32, bftDate, false, true, -1, false, 0), cmprRightNull);
  // NULL sides win before the types are looked at, so no 30044 here.
  EXPECT_EQ(qxl::CompareDataOrder(nullptr, one.Data(), bftBlob, bftSignedInt32, true, false, -1, false, 0), -1);
  EXPECT_EQ(qxl::CompareDataOrder(one.Data(), nullptr, bftSignedInt32, bftBlob, false, true, -1, false, 0), 1);
  EXPECT_EQ(qxl::CompareDataOrder(nullptr, nullptr, bftSignedInt32, bftSignedInt32, true, true, -1, false, 0), 0);
  const TypedBytes two = I32(2);
  EXPECT_EQ(qxl::CompareDataOrder(one.Data(), two.Data(), bftSignedInt32, bftSignedInt32, false, false, -1, false, 0), -1);
  EXPECT_EQ(qxl::CompareDataOrder(two.Data(), one.Data(), bftSignedInt32, bftSignedInt32, false, false, -1, false, 0), 1);
  EXPECT_EQ(qxl::CompareDataOrder(two.Data(), two.Data(), bftSignedInt32, bftSignedInt32, false, false, -1, false, 0), 0);
}

TEST(QXLCompareData, TextGoesThroughTheCollator) {
  struct Case {
    TypedBytes Left, Right;
    Options Opt;
    TQXLCompareResult Expected;
  } cases[] = {
      // The locale order, not the byte order ('B' is below 'a' in bytes).
      {Ansi("a"), Ansi("B"), {}, cmprLower},
      {Wide(u"a"), Wide(u"B"), {}, cmprLower},
      {Ansi("abc"), Ansi("ABC"), {}, cmprLower},
      {Ansi("abc"), Ansi("ABC"), {-1, true}, cmprEqual},
      {Ansi("abc"), Ansi("ABD"), {-1, true}, cmprLower},
      {Ansi("abc"), Ansi("ABD"), {2, true}, cmprEqual},
      {Ansi("abc"), Ansi("abd"), {2, false}, cmprEqual},
      {Ansi("ab"), Ansi("abc"), {3, false}, cmprLower},
      {Wide(u"\u00C4rger"), Wide(u"\u00E4rger"), {-1, true}, cmprEqual},
      {Ansi("\xC4rger"), Ansi("\xE4rger"), {-1, true}, cmprEqual},  // Windows-1252 umlauts
      {Ansi("\xC4rger", bftChar), Wide(u"\u00E4rgern"), {-1, true}, cmprLower},
      // 8-bit with UTF-16 compares as UTF-16.
      {Ansi("abc"), Wide(u"abd"), {}, cmprLower},
      {Wide(u"\u0416"), Ansi("z"), {}, cmprGreater},
      // Large text objects compare as text, also with each other.
      {Clob("abc"), Clob("abd"), {}, cmprLower},
      {Clob("abc"), Ansi("abc"), {}, cmprEqual},
      {WideClob(u"b"), WideClob(u"a"), {}, cmprGreater},
      // Byte strings compare as 8-bit text up to their first zero byte.
      {Bytes(std::string("ab\0x", 5)), Bytes(std::string("ab\0y", 5)), {}, cmprEqual},
      {Bytes(std::string("ab\0", 3)), Bytes(std::string("ac\0", 3)), {}, cmprLower},
  };
  for (const Case& c : cases) {
    const auto& l = c.Left;
    const auto& r = c.Right;
    // Sizes are passed: large objects carry no terminator.
    EXPECT_EQ(qxl::CompareData(l.Data(), r.Data(), l.Type, r.Type, false, false, c.Opt.Prefix, c.Opt.CaseInsensitive,
                          LOCALE_USER_DEFAULT, l.Size(), r.Size()),
              c.Expected)
        << l.Bytes << " / " << r.Bytes;
  }
}

TEST(QXLCompareData, MixedTypesMeetInTheirCommonType) {
  struct Case {
    TypedBytes Left, Right;
    TQXLCompareResult Expected;
  } cases[] = {
      // A number with text compares as text: "10" sorts before "9".
      {I32(5), Ansi("5"), cmprEqual},
      {I32(10), Ansi("9"), cmprLower},
      // Text with a date compares as the date.
      {Dat(Day_2019_04_04), Ansi("2019-04-04"), cmprEqual},
      {Ansi("2019-04-05"), Dat(Day_2019_04_04), cmprGreater},
      {DT(Day_2019_04_04, 1), Ansi("2019-04-04"), cmprGreater},
      {Tim(47109000), Ansi("13:05:09"), cmprEqual},
      {Dat(Day_2019_04_04), Tim(5), cmprGreater},  // both become date-times: (day, 0) against (no date, 5)
      // Numbers across widths and signs, with the one-sided promotion.
      {I8(-1), U8(255), cmprLower},
      {U32(0xFFFFFFFF), I32(-1), cmprGreater},
      {I16(-1), U16(1), cmprGreater},  // Int16 with Word is Word: -1 becomes 65535
      {U16(1), I16(-1), cmprGreater},  // Word with Int16 is Int32
      {I64(-5), Dbl(-4.5), cmprLower},
      {Sgl(0.5f), Cur(0.5), cmprEqual},
      {Ext(2.5L), I8(3), cmprLower},
      {Logical(0), I32(1), cmprLower},
      {Dbl(std::nan("")), Dbl(1), cmprEqual},  // neither less nor greater
      // Same types.
      {DT(5, 10), DT(5, 9), cmprGreater},
      {DT(4, 10), DT(5, 9), cmprLower},
      {DT(-1, 0), DT(1, 0), cmprLower},
      {Dat(-3), Dat(2), cmprLower},
      {U32(0x80000000), U32(1), cmprGreater},
      {Logical(1), Logical(0xFFFF), cmprEqual},
      {Logical(0), Logical(2), cmprLower},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Compare(c.Left, c.Right), c.Expected) << int(c.Left.Type) << " with " << int(c.Right.Type);
}

TEST(QXLCompareData, Failures) {
  EXPECT_EQ(CompareCode(Blob("a"), Blob("a")), 30047);
  EXPECT_EQ(CompareCode({bftVarBytes, "a"}, {bftVarBytes, "a"}), 30047);
  EXPECT_EQ(CompareCode({bftUnknown, "a"}, {bftUnknown, "a"}), 30047);
  EXPECT_EQ(CompareCode(Blob("a"), I32(1)), 30044);
  EXPECT_EQ(CompareCode(Logical(1), Cur(1)), 30044);
  EXPECT_EQ(CompareCode(Ansi("x"), Dat(1)), 30051);  // the text does not convert to the date
  try {
    Compare(Clob("a"), I32(1));
    FAIL();
  } catch (const EQXLException& e) {
    EXPECT_EQ(e.Message, "Cannot compare Incompatible DataTypes: 'MEMO' and 'INTEGER' - Native error: 30044");
  }
  try {
    Compare(Blob("a"), Blob("a"));
    FAIL();
  } catch (const EQXLException& e) {
    EXPECT_EQ(e.Message, "Unknown DataType: 'BLOB' - Native error: 30047");
  }
  // A side that is not NULL but has no buffer.
  const TypedBytes one = I32(1);
  for (auto types : {std::pair{bftSignedInt32, bftSignedInt32}, std::pair{bftSignedInt32, bftVarchar}}) {
    try {
      qxl::CompareData(one.Data(), nullptr, types.first, types.second, false, false, -1, false, 0);
      FAIL();
    } catch (const EQXLException& e) {
      EXPECT_EQ(e.Message, "Value is Null - Native error: 30140");
    }
  }
}

}  // namespace
