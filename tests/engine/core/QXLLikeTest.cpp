#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <random>

#include "engine/core/values/QXLTextUtils.h"

using namespace qxl;

namespace {

bool Like(std::string_view d, std::string_view p, bool ci = false) { return qxl::MatchLikeAnsi(d, p, false, 0, ci); }
bool LikeEsc(std::string_view d, std::string_view p, char esc) { return qxl::MatchLikeAnsi(d, p, true, esc, false); }

// The plain recursive matcher, on ASCII letters, to check the fast one against.
bool Reference(std::string_view d, std::string_view p, bool esc, char e, bool ci) {
  for (;;) {
    if (p == "%") return true;
    if (d.empty()) return p.empty();
    if (p.empty()) return false;
    if (p[0] == '%') {
      for (std::size_t i = 0; i < d.size(); ++i)
        if (Reference(d.substr(i), p.substr(1), esc, e, ci)) return true;
      return false;
    }
    if (p[0] != '_') {
      if (esc && p[0] == e) {
        p.remove_prefix(1);
        if (p.empty()) return false;
      }
      const bool same = ci ? std::tolower(d[0]) == std::tolower(p[0]) : d[0] == p[0];
      if (!same) return false;
    }
    d.remove_prefix(1);
    p.remove_prefix(1);
  }
}

}  // namespace

TEST(Like, AnsiCases) {
  struct Case { const char* data; const char* pattern; bool want; } cases[] = {
      {"abc", "a%", true},   {"abc", "%c", true},     {"abc", "a_c", true},  {"abc", "%", true},
      {"abc", "%%%", true},  {"abc", "abc", true},    {"abc", "ab", false},  {"ab", "abc", false},
      {"abc", "%b%", true},  {"abc", "%d%", false},   {"abc", "___", true},  {"abc", "__", false},
      {"", "%", true},       {"", "", true},          {"", "_", false},      {"", "%%", false},
      {"abc", "", false},
      {"ab", "ab%%", false},  // the rest of the pattern is '%%', not '%'
      {"ab", "a%%", true},    {"ab", "ab%", true},    {"abc", "a%%c", true}, {"abc", "%%c", true},
      {"aXbXc", "a%b%c", true}, {"abcbc", "a%bc", true}, {"abcbd", "a%bc", false},
      {"mississippi", "%iss%pi", true}, {"mississippi", "m%s_s%i", true},
      {"abc", "abc%", true},  {"abcd", "abc%", true},
  };
  for (const auto& c : cases) EXPECT_EQ(Like(c.data, c.pattern), c.want) << c.data << " LIKE " << c.pattern;
}

TEST(Like, EscapeAndCase) {
  EXPECT_TRUE(LikeEsc("a%c", "a\\%c", '\\'));
  EXPECT_FALSE(LikeEsc("abc", "a\\%c", '\\'));
  EXPECT_TRUE(LikeEsc("a_c", "a\\_c", '\\'));
  EXPECT_FALSE(LikeEsc("abc", "a\\_c", '\\'));
  EXPECT_TRUE(LikeEsc("a\\c", "a\\\\c", '\\'));
  // An escape that is itself a wildcard stays a wildcard.
  EXPECT_TRUE(LikeEsc("abc", "a%", '%'));
  EXPECT_TRUE(LikeEsc("abc", "a_c", '_'));
  // An escape at the very end has nothing to make literal: it matches nothing.
  EXPECT_FALSE(LikeEsc("a", "a\\", '\\'));
  EXPECT_FALSE(LikeEsc("ab", "a\\", '\\'));
  EXPECT_FALSE(LikeEsc("a\\", "a\\", '\\'));
  // Without HasEscape the character is an ordinary one.
  EXPECT_TRUE(qxl::MatchLikeAnsi("a\\c", "a\\c", false, '\\', false));

  EXPECT_TRUE(Like("ABC", "a_c", true));
  EXPECT_FALSE(Like("ABC", "a_c", false));
  EXPECT_TRUE(Like("\xC9T\xC9", "\xE9%", true));   // É and é, 8-bit
  EXPECT_FALSE(Like("\xC9T\xC9", "\xE9%", false));
  EXPECT_FALSE(Like("ete", "\xE9t\xE9", true));    // accents still count
}

TEST(Like, TextEndsAtItsFirstZero) {
  EXPECT_TRUE(Like(std::string_view("ab\0cd", 5), "ab"));
  EXPECT_TRUE(Like("ab", std::string_view("a%\0x", 4)));
}

TEST(Like, AgreesWithThePlainRecursiveMatcher) {
  std::mt19937 rng(12345);
  const char dataChars[] = "abA";
  const char patChars[] = "abA%_\\";
  for (int n = 0; n < 20000; ++n) {
    std::string d, p;
    for (int i = rng() % 7; i > 0; --i) d += dataChars[rng() % 3];
    for (int i = rng() % 7; i > 0; --i) p += patChars[rng() % 6];
    const bool esc = rng() % 2, ci = rng() % 2;
    ASSERT_EQ(qxl::MatchLikeAnsi(d, p, esc, '\\', ci), Reference(d, p, esc, '\\', ci))
        << "'" << d << "' LIKE '" << p << "' esc " << esc << " ci " << ci;
  }
}

TEST(Like, HostilePatternsFinishQuickly) {
  const std::string data(20000, 'a');
  std::string pattern;
  for (int i = 0; i < 30; ++i) pattern += "%a";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Like(data, pattern + "%b"));
  EXPECT_TRUE(Like(data, pattern + "%"));
  EXPECT_FALSE(Like(data, std::string(100000, '%') + "b"));
  EXPECT_TRUE(Like(data + "b", std::string(100000, '%') + "b"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(Like, WideCases) {
  struct Case { std::u16string data, pattern; bool ci, want; } cases[] = {
      {u"abc", u"a%", false, true},        {u"abc", u"a_c", false, true},
      {u"", u"%", false, true},            {u"", u"_", false, false},
      {u"ab", u"ab%%", false, false},      {u"ab", u"a%%", false, true},
      {u"ABC", u"a_c", true, true},        {u"ABC", u"a_c", false, false},
      {u"\u0394\u03B5\u03BB", u"\u03B4%", true, true},   // Greek, beyond the code page
      {u"\u0394\u03B5\u03BB", u"\u03B4%", false, false},
      {u"x\U0001F600y", u"x__y", false, true},            // a pair is two units
      // A pattern rest that the collation takes for a lone '%' matches the rest.
      {u"ab", u"ab%\u0001", false, true},
      // That test always ignores case (and so width): a full-width percent sign
      // that ends the pattern acts as one; before other characters it is literal.
      {u"ab", u"ab\uFF05", false, true},
      {u"ab", u"a\uFF05", false, true},
      {u"ab", u"\uFF05b", false, false},
      {u"a\uFF05", u"a\uFF05", false, true},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(qxl::MatchLikeWide(cases[i].data, cases[i].pattern, false, 0, cases[i].ci), cases[i].want) << "case " << i;
  EXPECT_TRUE(qxl::MatchLikeWide(u"50%", u"50!%", true, u'!', false));
  EXPECT_FALSE(qxl::MatchLikeWide(u"500", u"50!%", true, u'!', false));
}

TEST(Like, WideCase) {
  EXPECT_EQ(qxl::UpperCaseWide(u"stra\u00DFe \u00FF"), u"STRA\u00DFE \u0178");
  EXPECT_EQ(qxl::LowerCaseWide(u"\u0178A"), u"\u00FFa");
  EXPECT_EQ(qxl::UpperCaseWide(u""), u"");
}
