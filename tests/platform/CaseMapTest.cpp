#include "platform/CaseMap.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(CaseMap, WideKeepsTheLength) {
  struct Case { std::u16string in, upper, lower; } cases[] = {
      {u"", u"", u""},
      {u"aZ09-_", u"AZ09-_", u"az09-_"},
      {u"stra\u00DFe", u"STRA\u00DFE", u"stra\u00DFe"},  // sharp s stays
      {u"\u00FF\u0178", u"\u0178\u0178", u"\u00FF\u00FF"},
      {u"\u00E9\u00C9\u0161", u"\u00C9\u00C9\u0160", u"\u00E9\u00E9\u0161"},
      {u"\u03B1\u03A9", u"\u0391\u03A9", u"\u03B1\u03C9"},
      {u"\u0434\u0416", u"\u0414\u0416", u"\u0434\u0436"},
      {u"\uFB00", u"\uFB00", u"\uFB00"},                  // ligature ff has no one-unit upper case
      {u"\U00010428\U00010400", u"\U00010400\U00010400", u"\U00010428\U00010428"},  // pairs stay pairs
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UpperCaseWide(c.in), c.upper);
    EXPECT_EQ(LowerCaseWide(c.in), c.lower);
  }
  // A lone surrogate is left alone, and so is its neighbour's case untouched.
  std::u16string lone = u"a";
  lone += char16_t(0xD801);
  lone += u"b";
  std::u16string upper = u"A";
  upper += char16_t(0xD801);
  upper += u"B";
  EXPECT_EQ(UpperCaseWide(lone), upper);
  EXPECT_EQ(UpperCaseChar(u'q'), u'Q');
  EXPECT_EQ(LowerCaseChar(u'Q'), u'q');
}

TEST(CaseMap, AnsiUsesTheCodePage) {
  struct Case { unsigned char in, upper, lower; } cases[] = {
      {'a', 'A', 'a'}, {'Z', 'Z', 'z'}, {'1', '1', '1'},
      {0xFF, 0x9F, 0xFF},  // ÿ and Ÿ
      {0x9F, 0x9F, 0xFF},
      {0x9A, 0x8A, 0x9A},  // š and Š
      {0x9C, 0x8C, 0x9C},  // œ and Œ
      {0x9E, 0x8E, 0x9E},  // ž and Ž
      {0xE9, 0xC9, 0xE9},  // é and É
      {0xDF, 0xDF, 0xDF},  // ß stays
      {0xB5, 0xB5, 0xB5},  // µ: its upper case is Greek, missing here
      {0xF7, 0xF7, 0xF7},  // ÷
      {0xD7, 0xD7, 0xD7},  // ×
      {0x81, 0x81, 0x81},  // undefined byte
  };
  for (const auto& c : cases) {
    EXPECT_EQ(static_cast<unsigned char>(UpperCaseAnsiChar(static_cast<char>(c.in))), c.upper) << int(c.in);
    EXPECT_EQ(static_cast<unsigned char>(LowerCaseAnsiChar(static_cast<char>(c.in))), c.lower) << int(c.in);
  }
  EXPECT_EQ(UpperCaseAnsi("stra\xDF" "e \xFF"), "STRA\xDF" "E \x9F");
  EXPECT_EQ(LowerCaseAnsi("\xC0\xC9\x8A"), "\xE0\xE9\x9A");
}

TEST(CaseMap, AsciiOnly) {
  EXPECT_EQ(UpperCaseAscii("abz_AZ {\xE9\xFF}"), "ABZ_AZ {\xE9\xFF}");
  EXPECT_EQ(UpperCaseAscii(""), "");
}
