#include "platform/Collation.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace platform;

namespace {

constexpr std::uint32_t kSort = SORT_STRINGSORT;
constexpr std::uint32_t kNoCase = SORT_STRINGSORT | NORM_IGNORECASE;

int Sign(int r) { return (r > 0) - (r < 0); }

// Restores the root order however a test ends.
struct LocaleGuard {
  ~LocaleGuard() { SetCollationLocale(""); }
};

}  // namespace

TEST(Collation, OrderTable) {
  struct Case { std::u16string a, b; std::uint32_t flags; int want; } cases[] = {
      {u"", u"", kSort, 0},
      {u"", u"a", kSort, -1},
      {u"abc", u"abc", kSort, 0},
      // Punctuation is significant and sorts before letters and digits.
      {u"co-op", u"coop", kSort, -1},
      {u"co-op", u"coop", kNoCase, -1},
      {u"a b", u"ab", kSort, -1},
      {u"a.b", u"a_b", kSort, 1},
      {u"'x", u"x", kSort, -1},
      // Digits compare as characters, not numbers.
      {u"10", u"9", kSort, -1},
      {u"9", u"a", kSort, -1},
      // Case is the last difference looked at: lower case first.
      {u"a", u"A", kSort, -1},
      {u"ab", u"Ab", kSort, -1},
      {u"Ab", u"ac", kSort, -1},
      {u"A", u"b", kSort, -1},
      // Ignoring case makes only case equal.
      {u"ABC", u"abc", kNoCase, 0},
      {u"Stra\u00DFe", u"STRA\u00DFE", kNoCase, 0},
      {u"\u00C9t\u00E9", u"\u00E9T\u00C9", kNoCase, 0},
      {u"abc", u"abd", kNoCase, -1},
      // Accents differ after the letters but before case.
      {u"a", u"\u00E1", kSort, -1},
      {u"\u00E1", u"b", kSort, -1},
      {u"resume", u"r\u00E9sum\u00E9", kSort, -1},
      {u"r\u00E9sum\u00E9", u"resumes", kSort, -1},
      {u"\u00E9", u"E", kSort, 1},
      {u"e", u"\u00E9", kNoCase, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Sign(CompareStringWide(c.flags, c.a, c.b)), c.want);
    EXPECT_EQ(Sign(CompareStringWide(c.flags, c.b, c.a)), -c.want);
  }
}

TEST(Collation, AnsiTextComparesAsItsUnicodeForm) {
  struct Case { std::string a, b; std::uint32_t flags; int want; } cases[] = {
      {"\xC9", "\xE9", kNoCase, 0},        // É and é
      {"\xC9", "\xE9", kSort, 1},
      {"e", "\xE9", kSort, -1},
      {"\x8A", "\x9A", kNoCase, 0},        // Š and š, from the 0x80 range
      {"\x9F", "z", kSort, -1},           // Ÿ is a Y
      {"a-b", "ab", kSort, -1},
      {std::string(100, 'a'), std::string(100, 'a') + "b", kSort, -1},  // beyond the short buffer
      {std::string(100, 'A'), std::string(100, 'a'), kNoCase, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(Sign(CompareStringAnsi(c.flags, c.a, c.b)), c.want) << c.a;
}

TEST(Collation, LocaleChangesTheOrder) {
  LocaleGuard guard;
  EXPECT_EQ(CollationLocale(), "");
  EXPECT_LT(CompareStringWide(kSort, u"\u00E4", u"z"), 0);
  SetCollationLocale("sv");
  EXPECT_EQ(CollationLocale(), "sv");
  EXPECT_GT(CompareStringWide(kSort, u"\u00E4", u"z"), 0);
  EXPECT_GT(CompareStringAnsi(kSort, "\xE4", "z"), 0);
  SetCollationLocale("");
  EXPECT_LT(CompareStringWide(kSort, u"\u00E4", u"z"), 0);
}

TEST(Collation, ConcurrentComparisonsWhileTheLocaleChanges) {
  LocaleGuard guard;
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i)
        if (CompareStringWide(kNoCase, u"Alpha", u"alpha") != 0 || CompareStringWide(kSort, u"a", u"b") >= 0)
          ++wrong;
    });
  for (int i = 0; i < 20; ++i) SetCollationLocale(i % 2 ? "de" : "sv");
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong, 0);
}
