#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/core/QXLException.h"
#include "engine/core/containers/QXLMemoryManager.h"
#include "engine/core/streams/QXLMemoryStream.h"
#include "engine/core/values/QXLVariant.h"
#include "QXLValueFixtures.h"

using namespace qxl;

using namespace valuetest;

namespace {

// Bytes written as hexadecimal pairs separated by blanks.
std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

std::string Saved(const TQXLVariant& v) {
  TQXLMemoryStream stream;
  v.SaveToStream(stream);
  return std::string(static_cast<const char*>(stream.Buffer()), static_cast<std::size_t>(stream.Size()));
}

TQXLVariant Raw(TQXLBaseFieldType type, const std::string& bytes) {
  TQXLVariant v;
  v.SetData(bytes.data(), static_cast<std::int32_t>(bytes.size()), type, true);
  return v;
}

TQXLVariant Of(const TypedBytes& b) { return Raw(b.Type, b.Bytes); }

// A stream that takes only the first Limit bytes written and has nothing to read.
class FullStream : public TQXLStream {
public:
  explicit FullStream(std::int32_t Limit) : FLimit(Limit) {}
  std::int32_t Read(void*, std::int32_t) override { return 0; }
  std::int32_t Write(const void*, std::int32_t Count) override {
    const std::int32_t n = std::min(Count, FLimit - FWritten);
    FWritten += n;
    return n;
  }
  std::int64_t Seek(std::int64_t, TSeekOrigin) override { return FWritten; }
  void SetSize(std::int64_t) override {}

private:
  std::int32_t FLimit;
  std::int32_t FWritten = 0;
};

TEST(QXLVariantStream, GoldenBytesOfEveryType) {
  struct Case {
    TQXLVariant Value;
    const char* Expected;
  };
  TQXLVariant keptData = Of(I32(5));
  keptData.SetNull();
  Case cases[] = {
      {TQXLVariant(), "00 FF"},
      {TQXLVariant(bftVarchar), "03 FF"},
      {std::move(keptData), "07 FF"},  // NULL with data still writes only the flag
      {Of(Ansi("ab", bftChar)), "01 00 03 00 00 00 61 62 00"},
      {Of(Wide(u"a", bftWideChar)), "02 00 04 00 00 00 61 00 00 00"},
      {Of(Ansi("\x80")), "03 00 02 00 00 00 80 00"},
      {Of(Wide(u"\u0416")), "04 00 04 00 00 00 16 04 00 00"},
      {Of(I8(-2)), "05 00 01 00 00 00 FE"},
      {Of(I16(0x1234)), "06 00 02 00 00 00 34 12"},
      {Of(I32(-1)), "07 00 04 00 00 00 FF FF FF FF"},
      {Of(I64(0x0102030405060708)), "08 00 08 00 00 00 08 07 06 05 04 03 02 01"},
      {Of(U8(200)), "09 00 01 00 00 00 C8"},
      {Of(U16(0xABCD)), "0A 00 02 00 00 00 CD AB"},
      {Of(U32(0xDEADBEEF)), "0B 00 04 00 00 00 EF BE AD DE"},
      {Of(Sgl(1)), "0C 00 04 00 00 00 00 00 80 3F"},
      {Of(Dbl(-2)), "0D 00 08 00 00 00 00 00 00 00 00 00 00 C0"},
      {Of(Ext(1)), "0E 00 0A 00 00 00 00 00 00 00 00 00 00 80 FF 3F"},
      {Of(Dat(Day_2019_04_04)), "0F 00 04 00 00 00 81 3F 0B 00"},
      {Of(Tim(47109000)), "10 00 04 00 00 00 88 D3 CE 02"},
      {Of(DT(Day_2019_04_04, 47109000)), "11 00 08 00 00 00 81 3F 0B 00 88 D3 CE 02"},
      {Of(Blob("xy")), "12 00 02 00 00 00 78 79"},
      {Of(Clob("xy")), "13 00 02 00 00 00 78 79"},
      {Of(WideClob(u"x")), "14 00 02 00 00 00 78 00"},
      {Of(Logical(0xFFFF)), "15 00 02 00 00 00 FF FF"},
      {Of(Cur(1.5)), "16 00 08 00 00 00 00 00 00 00 00 00 F8 3F"},
      {Of(Bytes(std::string("a\0", 2))), "17 00 02 00 00 00 61 00"},
      {Raw(bftVarBytes, "q"), "18 00 01 00 00 00 71"},
      {Raw(bftBFile, "f"), "19 00 01 00 00 00 66"},
      {Raw(bftUnknown, "z"), "00 00 01 00 00 00 7A"},
  };
  for (const Case& c : cases) {
    const std::string bytes = Saved(c.Value);
    EXPECT_EQ(Hex(bytes), c.Expected);

    TQXLMemoryStream stream;
    stream.Write(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    stream.SetPosition(0);
    TQXLVariant loaded = Of(Ansi("old value"));
    loaded.LoadFromStream(stream);
    EXPECT_EQ(stream.Position(), static_cast<std::int64_t>(bytes.size()));
    EXPECT_EQ(loaded.DataType(), c.Value.DataType());
    EXPECT_EQ(loaded.IsNull(), c.Value.IsNull());
    if (c.Value.IsNull()) {
      EXPECT_EQ(loaded.pData(), nullptr);  // NULL loads without data
    } else {
      ASSERT_EQ(loaded.DataSize(), c.Value.DataSize());
      EXPECT_EQ(std::memcmp(loaded.pData(), c.Value.pData(), static_cast<std::size_t>(c.Value.DataSize())), 0);
      EXPECT_FALSE(loaded.IsDataLinked());
    }
  }
}

TEST(QXLVariantStream, AnyNonZeroFlagReadsAsNull) {
  TQXLMemoryStream stream;
  stream.Write("\x07\x01", 2);
  stream.SetPosition(0);
  TQXLVariant v;
  v.LoadFromStream(stream);
  EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(v.DataType(), bftSignedInt32);
  EXPECT_EQ(stream.Position(), 2);
}

TEST(QXLVariantStream, ShortReadsAndWritesNameTheirPlace) {
  const std::string full = Saved(Of(I32(258)));  // 1 + 1 + 4 + 4 bytes
  // Cut after 0, 1, 2..5 and 6..9 bytes: type, flag, size, data.
  const struct {
    std::size_t Length;
    int Code;
  } reads[] = {{0, 10183}, {1, 10184}, {2, 10185}, {5, 10185}, {6, 10186}, {9, 10186}};
  for (const auto& r : reads) {
    TQXLMemoryStream stream;
    stream.Write(full.data(), static_cast<std::int32_t>(r.Length));
    stream.SetPosition(0);
    TQXLVariant v = Of(I32(1));
    try {
      v.LoadFromStream(stream);
      ADD_FAILURE() << "loaded from " << r.Length << " bytes";
    } catch (const EQXLException& e) {
      EXPECT_EQ(e.NativeError, r.Code) << r.Length;
      EXPECT_NE(e.Message.find("Cannot read from stream."), std::string::npos) << e.Message;
    }
  }
  const struct {
    std::int32_t Limit;
    int Code;
  } writes[] = {{0, 10179}, {1, 10180}, {2, 10181}, {5, 10181}, {6, 10182}, {9, 10182}};
  for (const auto& w : writes) {
    FullStream stream(w.Limit);
    try {
      Of(I32(258)).SaveToStream(stream);
      ADD_FAILURE() << "saved into " << w.Limit << " bytes";
    } catch (const EQXLException& e) {
      EXPECT_EQ(e.NativeError, w.Code) << w.Limit;
      EXPECT_NE(e.Message.find("Cannot write to stream."), std::string::npos) << e.Message;
    }
  }
}

TEST(QXLVariantStream, DamagedStreamsAreRefused) {
  const struct {
    std::string Bytes;
    int Code;
  } damaged[] = {
      {std::string("\x1A\x00", 2), 10183},                      // no such type
      {std::string("\x07\x00\xFF\xFF\xFF\xFF", 6), 10185},      // negative size
      {std::string("\x07\x00\x00\x00\x00\x00", 6), 10185},      // no data
  };
  for (const auto& d : damaged) {
    TQXLMemoryStream stream;
    stream.Write(d.Bytes.data(), static_cast<std::int32_t>(d.Bytes.size()));
    stream.SetPosition(0);
    TQXLVariant v;
    try {
      v.LoadFromStream(stream);
      ADD_FAILURE() << Hex(d.Bytes);
    } catch (const EQXLException& e) {
      EXPECT_EQ(e.NativeError, d.Code) << Hex(d.Bytes);
    }
    EXPECT_TRUE(v.IsNull());
    EXPECT_EQ(v.pData(), nullptr);
  }
}

// A memory stream that notes the most engine memory in use at any read.
class WatchedStream : public TQXLMemoryStream {
public:
  std::int32_t Read(void* Buffer, std::int32_t Count) override {
    FPeak = std::max(FPeak, QXLMemoryManager().TotalMemAllocated());
    return TQXLMemoryStream::Read(Buffer, Count);
  }
  std::int64_t Peak() const { return FPeak; }

private:
  std::int64_t FPeak = 0;
};

TEST(QXLVariantStream, ASizeBeyondTheStreamTakesNoMemory) {
  // Type Int32, not NULL, a size of about 2 GB, then only four data bytes.
  const std::string bytes("\x07\x00\xF0\xFF\xFF\x7F" "abcd", 10);
  WatchedStream stream;
  stream.Write(bytes.data(), static_cast<std::int32_t>(bytes.size()));
  stream.SetPosition(0);
  const std::int64_t before = QXLMemoryManager().TotalMemAllocated();
  TQXLVariant v;
  try {
    v.LoadFromStream(stream);
    FAIL();
  } catch (const EQXLException& e) {
    EXPECT_EQ(e.NativeError, 10186);
    EXPECT_EQ(e.Message,
              "Cannot read from stream. Position = 6, Stream size = 10, Block size = 2147483632, Bytes Read = 4 - "
              "Native error: 10186");
  }
  EXPECT_LT(stream.Peak() - before, 1 << 20);
  EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(v.pData(), nullptr);
}

}  // namespace
