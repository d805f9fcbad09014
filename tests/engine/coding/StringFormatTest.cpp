// Base64 and the text-format registry.
#include <gtest/gtest.h>

#include "engine/coding/StringFormat.h"

namespace {

std::string Encode(const std::string& s) {
  return TStringFormat_MIME64::Class()->StrTo(s.data(), std::int32_t(s.size()));
}
std::string Decode(const std::string& s) {
  return TStringFormat_MIME64::Class()->ToStr(s.data(), std::int32_t(s.size()));
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
  EXPECT_EQ(TStringFormat_MIME64::Class()->ToStr("Zm9v", -1), "foo");
  EXPECT_EQ(TStringFormat_MIME64::Class()->StrTo("foo", -1), "Zm9v");
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
  EXPECT_EQ(FindStringFormat(-1), TStringFormat_MIME64::Class());
  EXPECT_EQ(FindStringFormat(4196), TStringFormat_MIME64::Class());
  EXPECT_EQ(FindStringFormat(1), TStringFormat::Class());
  EXPECT_EQ(FindStringFormat(16), TStringFormat_HEX::Class());
  EXPECT_EQ(FindStringFormat(1016), TStringFormat_HEXL::Class());
  EXPECT_EQ(FindStringFormat(21845), TStringFormat_UU::Class());
  EXPECT_EQ(FindStringFormat(22616), TStringFormat_XX::Class());
  EXPECT_EQ(FindStringFormat(12345), nullptr);
  EXPECT_EQ(TStringFormat_MIME64::Class()->Name(), "MIME Base 64");

  // Re-registering a number replaces the class in its place.
  RegisterStringFormatClasses({TStringFormat_MIME64::Class()});
  EXPECT_EQ(FindStringFormat(-1), TStringFormat_MIME64::Class());
}

TEST(StringFormatTest, ConversionsThroughTheRegistry) {
  EXPECT_EQ(BytesToFormat("foo", 3, 4196), "Zm9v");
  EXPECT_EQ(FormatToBytes("Zm9v", 4, 4196), "foo");
  EXPECT_EQ(BytesToFormat("foo", 3, 1), "foo");
  EXPECT_EQ(BytesToFormat(nullptr, 3, 4196), "");
  EXPECT_EQ(BytesToFormat("foo", 0, 4196), "");
  EXPECT_EQ(BytesToFormat("foo", 3, 0), "");

  auto expectText = [](auto fn, const std::string& text) {
    try {
      fn();
      ADD_FAILURE() << "no exception for " << text;
    } catch (const platform::Exception& e) {
      EXPECT_EQ(e.Message, text);
    }
  };
  expectText([] { BytesToFormat("foo", 3, 77); }, "String Format \"77\" not exists.");
  // Through the registry, Base64 text must hold alphabet characters only.
  expectText([] { FormatToBytes("Zm9v\n", 5, 4196); }, "Input is not an valid MIME Base 64 Format.");
  expectText([] { BytesToFormat("foo", 3, 16); }, "Not Implemented 2");
  expectText([] { FormatToBytes("00", 2, 16); }, "Not Implemented 2");
  expectText([] { BytesToFormat("foo", 3, 1016); }, "Not implemented 3");
  expectText([] { BytesToFormat("foo", 3, 21845); }, "Not implemented 5");
  expectText([] { FormatToBytes("foo", 3, 22616); }, "Not implemented 6");
  EXPECT_THROW(BytesToFormat("foo", 3, 77), EStringFormat);
  EXPECT_THROW(FormatToBytes("Zm9v\n", 5, 4196), EStringFormat);
}

}  // namespace
