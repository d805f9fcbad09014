#include "platform/Guid.h"

#include <gtest/gtest.h>

#include <set>

using namespace platform;

TEST(Guid, TextFormFollowsTheFieldLayout) {
  TGUID g{0x0123ABCD, 0x9ABC, 0x0EF0, {1, 2, 3, 4, 5, 6, 0xAB, 0xFF}};
  EXPECT_EQ(GuidToString(g), "{0123ABCD-9ABC-0EF0-0102-03040506ABFF}");
  EXPECT_EQ(StringToGuid("{0123abcd-9abc-0ef0-0102-03040506abff}"), g);
}

TEST(Guid, NewGuidsAreRandomVersion4AndRoundTrip) {
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    TGUID g = NewGuid();
    std::string text = GuidToString(g);
    ASSERT_EQ(text.size(), 38u);
    EXPECT_EQ(text[15], '4');
    EXPECT_NE(std::string("89AB").find(text[20]), std::string::npos) << text;
    EXPECT_EQ(text.find_first_of("abcdef"), std::string::npos) << text;
    EXPECT_EQ(StringToGuid(text), g);
    seen.insert(text);
  }
  EXPECT_EQ(seen.size(), 200u);
}

TEST(Guid, MalformedTextIsRefused) {
  const char* bad[] = {
      "",
      "{0123ABCD-9ABC-0EF0-0102-03040506ABFF",    // no closing brace
      "0123ABCD-9ABC-0EF0-0102-03040506ABFF",     // no braces
      "(0123ABCD-9ABC-0EF0-0102-03040506ABFF)",
      "{0123ABCD-9ABC-0EF0-0102-03040506ABFG}",   // not hexadecimal
      "{0123ABCD-9ABC-0EF0-01020-3040506ABFF}",   // dash misplaced
      "{0123ABCD-9ABC-0EF0-0102-03040506ABFF}x",
      "{+123ABCD-9ABC-0EF0-0102-03040506ABFF}",
      "{ 123ABCD-9ABC-0EF0-0102-03040506ABFF}",
  };
  for (const char* text : bad) {
    TGUID g{1, 2, 3, {}};
    EXPECT_FALSE(TryStringToGuid(text, g)) << text;
    EXPECT_EQ(g.D1, 1u);
    EXPECT_THROW(StringToGuid(text), EConvertError) << text;
  }
}
