#include "platform/CodePage.h"

#include <unicode/ucnv.h>

#include <gtest/gtest.h>

#include <memory>

using namespace platform;

TEST(CodePage, EveryByteSurvivesARoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(WideToAnsi(AnsiToWide(all)), all);
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
  EXPECT_EQ(AnsiToWide(all).size(), 256u);
}

// Every byte against ICU's own Windows-1252 table, and every UTF-16 unit back:
// a unit maps to a byte exactly when some byte maps to that unit.
TEST(CodePage, WholeTableAgreesWithIcu) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UConverter, decltype(&ucnv_close)> icu(ucnv_open("windows-1252", &status), ucnv_close);
  ASSERT_TRUE(U_SUCCESS(status)) << u_errorName(status);
  std::u16string fromIcu(256, u'\0');
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    status = U_ZERO_ERROR;
    ASSERT_EQ(ucnv_toUChars(icu.get(), &fromIcu[b], 1, &byte, 1, &status), 1) << b;
    EXPECT_EQ(AnsiCharToWide(byte), fromIcu[b]) << b;
  }
  for (int u = 0; u < 0x10000; ++u) {
    const auto unit = static_cast<char16_t>(u);
    const std::size_t byte = fromIcu.find(unit);
    EXPECT_EQ(IsAnsiChar(unit), byte != std::u16string::npos) << u;
    EXPECT_EQ(static_cast<unsigned char>(WideCharToAnsi(unit)), byte != std::u16string::npos ? byte : '?') << u;
  }
}

TEST(CodePage, HighRangeAndUndefinedBytes) {
  struct Case { unsigned char byte; char16_t wide; const char* utf8; } cases[] = {
      {0x80, 0x20AC, "\u20AC"}, {0x8A, 0x0160, "\u0160"}, {0x9F, 0x0178, "\u0178"},
      {0x92, 0x2019, "\u2019"}, {0xE9, 0x00E9, "\u00E9"}, {0xFF, 0x00FF, "\u00FF"},
      {0x81, 0x0081, "\u0081"}, {0x8D, 0x008D, "\u008D"}, {0x8F, 0x008F, "\u008F"},
      {0x90, 0x0090, "\u0090"}, {0x9D, 0x009D, "\u009D"}, {0x41, u'A', "A"},
      {0x00, 0x0000, ""}};
  for (const auto& c : cases) {
    const char b = static_cast<char>(c.byte);
    EXPECT_EQ(AnsiCharToWide(b), c.wide) << int(c.byte);
    EXPECT_EQ(WideCharToAnsi(c.wide), b) << int(c.byte);
    if (c.byte != 0) {
      EXPECT_EQ(AnsiToUtf8(std::string(1, b)), c.utf8) << int(c.byte);
    }
  }
}

TEST(CodePage, MissingCharactersBecomeQuestionMarks) {
  // Latin-1 controls that Windows-1252 replaced, Greek, CJK and a character
  // beyond the BMP (one '?' for the pair).
  EXPECT_EQ(WideToAnsi(u"a\u0080b\u03A9c\u4E2D\U0001F600d"), "a?b?c??d");
  EXPECT_EQ(Utf8ToAnsi("Gr\u00FC\u00DFe \u0394 \u20AC5"), "Gr\xFC\xDF" "e ? \x80" "5");
  EXPECT_FALSE(IsAnsiChar(0x0100));
  EXPECT_TRUE(IsAnsiChar(0x2122));
}

TEST(CodePage, Utf8AndUtf16) {
  const std::u16string w = u"z\u00E9\u20AC\U0001D11E";
  const std::string u8 = "z\u00E9\u20AC\U0001D11E";
  EXPECT_EQ(WideToUtf8(w), u8);
  EXPECT_EQ(Utf8ToWide(u8), w);
  EXPECT_EQ(Utf8ToWide(""), u"");
  EXPECT_EQ(WideToUtf8(u""), "");
  // Embedded zero bytes are text like any other.
  EXPECT_EQ(Utf8ToWide(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(CodePage, MalformedInputIsReplacedNotMisread) {
  struct Case { std::string utf8; std::u16string want; } cases[] = {
      {"a\xFF" "b", u"a\uFFFDb"},           // byte that never starts a sequence
      {"a\xC3", u"a\uFFFD"},                 // truncated at the end
      {"\xE2\x82", u"\uFFFD"},               // truncated three-byte sequence
      {"\xC0\xAF", u"\uFFFD\uFFFD"},         // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"}, // encoded surrogate
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToWide(c.utf8), c.want) << c.utf8;
  EXPECT_EQ(WideToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\uFFFDx");
  EXPECT_EQ(WideToUtf8(u"x" + std::u16string(1, char16_t(0xDC00))), "x\uFFFD");
  EXPECT_EQ(WideToAnsi(std::u16string(1, char16_t(0xDC00))), "?");
  EXPECT_EQ(Utf8ToAnsi("\xFF"), "?");
}
