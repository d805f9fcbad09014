// Base64 and the text-format registry.
#include <gtest/gtest.h>

#include "engine/coding/StringFormat.h"
#include "tests/engine/coding/CipherTestUtil.h"

using namespace qxl;

namespace {

std::string Encode(const std::string& s) {
  return qxl::TStringFormat_MIME64::Class()->StrTo(s.data(), std::int32_t(s.size()));
}
std::string Decode(const std::string& s) {
  return qxl::TStringFormat_MIME64::Class()->ToStr(s.data(), std::int32_t(s.size()));
}

TEST(StringFormatTest, Base64PublishedVectors) {
  const std::pair<const char*, const char*> cases[] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},
                                                       {"foo", "Zm9v"},  {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},
                                                       {"foobar", "Zm9vYmFy"}};
  for (auto [plain, text] : cases) {
    EXPECT_EQ(Encode(plain), text);
    EXPECT_EQ(Decode(text), plain);
  }
  std::string all;
  for (int i = 0; i < 256; ++i) all += char(i);
  EXPECT_EQ(Decode(Encode(all)), all);
  EXPECT_EQ(Encode("\xfb\xff\xbf"), "+/+/");
  EXPECT_EQ(Encode(std::string(100, 'x')).find('\n'), std::string::npos);
}

TEST(StringFormatTest, Base64DecodingSkipsForeignCharactersAndCompletesTheLastGroup) {
  EXPECT_EQ(Decode("Zm9v\r\nYmFy"), "foobar");
  EXPECT_EQ(Decode("Zg==\nYmFy"), "fbar");  // two values joined
  EXPECT_EQ(Decode(" Z m 9 v * "), "foo");
  EXPECT_EQ(Decode("Zg"), "f");
  EXPECT_EQ(Decode("Zm8"), "fo");
  EXPECT_EQ(Decode("Z"), "");  // "Z===": three pads leave no byte
  EXPECT_EQ(Decode("!!"), "");
  // Zero-terminated input when the length is negative.
  EXPECT_EQ(qxl::TStringFormat_MIME64::Class()->ToStr("Zm9v", -1), "foo");
  EXPECT_EQ(qxl::TStringFormat_MIME64::Class()->StrTo("foo", -1), "Zm9v");
}

// A pad does not end the data; a group of four pads gives no bytes (it must
// not give a negative length).
TEST(StringFormatTest, Base64PadsDoNotEndTheDataAndFourPadsGiveNothing) {
  EXPECT_EQ(Decode("QQ==QkI="), "ABB");
  EXPECT_EQ(Decode("="), "");
  EXPECT_EQ(Decode("===="), "");
  EXPECT_EQ(Decode("QQ==="), "A");
  EXPECT_EQ(Decode("QQ==========QkJC"), "ABBB");
}

TEST(StringFormatTest, RegistryFindsFormatsByNumber) {
  EXPECT_EQ(qxl::FindStringFormat(-1), qxl::TStringFormat_MIME64::Class());
  EXPECT_EQ(qxl::FindStringFormat(4196), qxl::TStringFormat_MIME64::Class());
  EXPECT_EQ(qxl::FindStringFormat(1), qxl::TStringFormat::Class());
  EXPECT_EQ(qxl::FindStringFormat(16), qxl::TStringFormat_HEX::Class());
  EXPECT_EQ(qxl::FindStringFormat(1016), qxl::TStringFormat_HEXL::Class());
  EXPECT_EQ(qxl::FindStringFormat(21845), qxl::TStringFormat_UU::Class());
  EXPECT_EQ(qxl::FindStringFormat(22616), qxl::TStringFormat_XX::Class());
  EXPECT_EQ(qxl::FindStringFormat(12345), nullptr);
  EXPECT_EQ(qxl::TStringFormat_MIME64::Class()->Name(), "MIME Base 64");

}

// A format of its own number that refuses every byte string, and one that
// claims the number -1.
struct TPickyFormat : qxl::TStringFormat {
  explicit TPickyFormat(std::int32_t Number) : FNumber(Number) {}
  std::string Name() const override { return "Picky"; }
  std::int32_t Format() const override { return FNumber; }
  bool IsValid(const char*, std::int32_t, bool) const override { return false; }
  std::int32_t FNumber;
};

TEST(StringFormatTest, RegisteringReplacesByNumberAndSkipsMinusOne) {
  static const TPickyFormat picky(7001), hexRival(16), unnumbered(-1);
  qxl::RegisterStringFormatClasses({&picky, &unnumbered, &hexRival});
  EXPECT_EQ(qxl::FindStringFormat(7001), &picky);
  EXPECT_EQ(qxl::FindStringFormat(-1), qxl::TStringFormat_MIME64::Class());
  EXPECT_EQ(qxl::FindStringFormat(16), &hexRival);
  ExpectMessage([] { qxl::BytesToFormat("foo", 3, 7001); }, "Input can not be convert to Picky Format.");
  ExpectMessage([] { qxl::FormatToBytes("foo", 3, 7001); }, "Input is not an valid Picky Format.");
  qxl::RegisterStringFormatClasses({qxl::TStringFormat_HEX::Class()});
  EXPECT_EQ(qxl::FindStringFormat(16), qxl::TStringFormat_HEX::Class());
}

TEST(StringFormatTest, ConversionsThroughTheRegistry) {
  EXPECT_EQ(qxl::BytesToFormat("foo", 3, 4196), "Zm9v");
  EXPECT_EQ(qxl::FormatToBytes("Zm9v", 4, 4196), "foo");
  EXPECT_EQ(qxl::BytesToFormat("foo", 3, 1), "foo");
  EXPECT_EQ(qxl::BytesToFormat(nullptr, 3, 4196), "");
  EXPECT_EQ(qxl::BytesToFormat("foo", 0, 4196), "");
  EXPECT_EQ(qxl::BytesToFormat("foo", 3, 0), "");

  ExpectMessage([] { qxl::BytesToFormat("foo", 3, 77); }, "String Format \"77\" not exists.");
  // Through the registry, Base64 text must hold alphabet characters only.
  ExpectMessage([] { qxl::FormatToBytes("Zm9v\n", 5, 4196); }, "Input is not an valid MIME Base 64 Format.");
  ExpectMessage([] { qxl::BytesToFormat("foo", 3, 16); }, "Not Implemented 2");
  ExpectMessage([] { qxl::FormatToBytes("00", 2, 16); }, "Not Implemented 2");
  ExpectMessage([] { qxl::BytesToFormat("foo", 3, 1016); }, "Not implemented 3");
  ExpectMessage([] { qxl::BytesToFormat("foo", 3, 21845); }, "Not implemented 5");
  ExpectMessage([] { qxl::FormatToBytes("foo", 3, 22616); }, "Not implemented 6");
  EXPECT_THROW(qxl::BytesToFormat("foo", 3, 77), qxl::EStringFormat);
  EXPECT_THROW(qxl::FormatToBytes("Zm9v\n", 5, 4196), qxl::EStringFormat);
}

}  // namespace
