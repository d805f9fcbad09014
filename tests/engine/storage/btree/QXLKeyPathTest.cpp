// Key paths: comparison, approximate position and the bitmap numbering with
// its inverse.
#include "engine/storage/btree/QXLKeyPath.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace qxl {
namespace {

TQXLKeyPath PathOf(const std::vector<std::array<std::int32_t, 3>>& Items) {
  TQXLKeyPath Path;
  for (const auto& i : Items) Path.AddItem(i[0], i[1], i[2]);
  return Path;
}

TEST(KeyPath, BitmapNumberingRoundTrips) {
  struct Case {
    std::vector<std::int32_t> Entries;
    std::int32_t MaxEntries;
    std::int64_t Number;
  } Cases[] = {
      {{0, 0}, 9, 11}, {{0}, 9, 1}, {{8, 8}, 9, 99}, {{1, 0, 2}, 9, 213}, {{0, 672, 5}, 673, 1 * 674 * 674 + 673 * 674 + 6},
  };
  for (const Case& c : Cases) {
    TQXLKeyPath Path;
    for (std::int32_t e : c.Entries) Path.AddItem(7, e, c.MaxEntries);
    EXPECT_EQ(Path.GetBitmapRecNoByIndexPosition(c.MaxEntries), c.Number);
    TQXLKeyPath Back;
    Back.FillItemsByBitmapRecNo(c.Number, c.MaxEntries);
    ASSERT_EQ(Back.Count(), static_cast<std::int32_t>(c.Entries.size()));
    for (std::int32_t i = 0; i < Back.Count(); ++i) {
      EXPECT_EQ(Back.Item(i).EntryNo, c.Entries[static_cast<std::size_t>(i)]);
      EXPECT_EQ(Back.Item(i).PageNo, -1);
    }
  }
  TQXLKeyPath Path;
  EXPECT_EQ(NativeCodeOf([&] { Path.FillItemsByBitmapRecNo(0, 9); }), 20314);
}

TEST(KeyPath, NumbersOrderAsPositions) {
  std::int64_t Last = 0;
  for (std::int32_t a = 0; a < 4; ++a)
    for (std::int32_t b = 0; b < 4; ++b) {
      const std::int64_t n = PathOf({{1, a, 4}, {2, b, 4}}).GetBitmapRecNoByIndexPosition(4);
      EXPECT_GT(n, Last);
      Last = n;
    }
}

TEST(KeyPath, CompareAndItsErrors) {
  EXPECT_EQ(PathOf({{1, 0, 3}, {5, 2, 9}}).Compare(PathOf({{1, 1, 3}, {6, 0, 9}})), -1);
  EXPECT_EQ(PathOf({{1, 1, 3}, {6, 4, 9}}).Compare(PathOf({{1, 1, 3}, {6, 0, 9}})), 1);
  EXPECT_EQ(PathOf({{1, 1, 3}}).Compare(PathOf({{1, 1, 3}})), 0);
  EXPECT_EQ(NativeCodeOf([] { PathOf({{1, 0, 3}}).Compare(PathOf({{1, 0, 3}, {2, 0, 3}})); }), 20051);
  EXPECT_EQ(NativeCodeOf([] { PathOf({{1, 0, 3}, {2, 0, 3}}).Compare(PathOf({{1, 0, 3}, {3, 0, 3}})); }), 20052);
}

TEST(KeyPath, ApproximatePositionIsAFraction) {
  EXPECT_DOUBLE_EQ(PathOf({{1, 0, 4}, {2, 0, 10}}).GetApproxRecNoInPercents(), 0.0);
  EXPECT_DOUBLE_EQ(PathOf({{1, 2, 4}, {2, 5, 10}}).GetApproxRecNoInPercents(), 0.5 + 5.0 / 40);
}

TEST(KeyPath, DeeperThanThirtyTwoLevelsIsRefused) {
  TQXLKeyPath Path;
  for (int i = 0; i < TQXLKeyPath::MaxLevels; ++i) Path.AddItem(i, 0, 1);
  EXPECT_EQ(NativeCodeOf([&] { Path.AddItem(99, 0, 1); }), 20313);
  EXPECT_TRUE(Path.PageExists(31));
  EXPECT_FALSE(Path.PageExists(99));
}

}  // namespace
}  // namespace qxl
