#include "platform/Format.h"

#include <gtest/gtest.h>

#include <cstdint>

using platform::Format;

TEST(Format, Placeholders) {
  struct Case { std::string got, want; } cases[] = {
      {Format("%s=%d", std::string("a"), 5), "a=5"},
      {Format("%.5d", 42), "00042"},
      {Format("%5d", 42), "   42"},
      {Format("%-5d|", 42), "42   |"},
      {Format("%.5d", -42), "-00042"},
      {Format("%d", std::int64_t(-9000000000)), "-9000000000"},
      {Format("%.6x", 0xab12u), "00AB12"},
      {Format("%s", 'c'), "c"},
      {Format("100%%"), "100%"},
      {Format("%u", std::uint32_t(4000000000u)), "4000000000"},
      {Format("[%s]", static_cast<const char*>(nullptr)), "[]"},  // no text, not a crash
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(Format, MismatchIsReported) {
  std::string out;
  const platform::FormatArg text[] = {"x"};
  const platform::FormatArg num[] = {1};
  EXPECT_FALSE(platform::TryFormat(out, "%d", text));
  EXPECT_FALSE(platform::TryFormat(out, "%s", num));
  EXPECT_FALSE(platform::TryFormat(out, "%d %d", num));
  EXPECT_FALSE(platform::TryFormat(out, "tail %", {}));
  EXPECT_THROW(Format("%d", "x"), platform::EFormatError);
}

TEST(Format, Floats) {
  struct Case { std::string got, want; } cases[] = {
      {Format("%.2f", 3.14159), "3.14"},
      {Format("%f", 2.5), "2.50"},
      {Format("%8.1f|", 2.25), "     2.2|"},
      {Format("%.3e", 1.5e20), "1.500e+20"},
      {Format("%g", 0.1), "0.1"},
      {Format("%g", 1e20), "1e+20"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
  // Long fixed texts are written in full, not refused.
  const std::string big = Format("%.2f", 1e300);
  EXPECT_EQ(big.size(), 304u);
  EXPECT_EQ(big.substr(0, 2), "10");
  EXPECT_EQ(big.substr(big.size() - 3), ".00");
}

namespace {
std::string LongText(int n) { return "a message longer than any short-string buffer, number " + std::to_string(n); }
}  // namespace

TEST(Format, ArgumentListKeepsTemporaryTexts) {
  // The temporaries die at the end of the declaration; the list must not.
  const platform::FormatArg args[] = {LongText(1), 7, LongText(2)};
  std::string out;
  ASSERT_TRUE(platform::TryFormat(out, "%s|%d|%s", args));
  EXPECT_EQ(out, LongText(1) + "|7|" + LongText(2));
  const std::string name = "kept";
  const platform::FormatArg copy[] = {args[0], name};
  ASSERT_TRUE(platform::TryFormat(out, "%s %s", copy));
  EXPECT_EQ(out, LongText(1) + " kept");
}
