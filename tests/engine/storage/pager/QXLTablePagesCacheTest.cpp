#include <gtest/gtest.h>

#include "engine/storage/pager/QXLTablePagesCache.h"

using namespace qxl;

namespace {

TEST(TablePagesCacheTest, WorkTableStateNeedsALockAndALoad) {
  TQXLDiskTablePagesCacheManager M;
  std::int32_t W = 123;
  EXPECT_FALSE(M.GetWorkTableState(3, W));  // no work table
  EXPECT_EQ(W, 123);

  M.TableIsSLocked(3, 7);
  M.BeginWorkWithTable(3, 7);
  EXPECT_FALSE(M.GetWorkTableState(3, W));  // locked, not loaded
  EXPECT_EQ(W, -1);

  EXPECT_FALSE(M.GetIsMostUpdatedLoaded(3, 7));
  M.SetIsMostUpdatedLoaded(3, 7, 41);
  M.SetIsMostUpdatedLoaded(3, 7, 42);  // the first load of the period decides
  EXPECT_TRUE(M.GetWorkTableState(3, W));
  EXPECT_EQ(W, 41);
  M.EndWorkWithTable(3, 7);
  EXPECT_FALSE(M.GetWorkTableState(3, W));

  // Other sessions are unaffected, including the system session.
  EXPECT_FALSE(M.GetIsMostUpdatedLoaded(-2, 7));
  EXPECT_FALSE(M.GetIsMostUpdatedLoaded(4, 7));
}

TEST(TablePagesCacheTest, LockPeriodEndsWithTheLastLock) {
  TQXLDiskTablePagesCacheManager M;
  std::int32_t W;
  M.TableIsSLocked(1, 7);
  M.TableIsRWLocked(1, 7);
  M.SetIsMostUpdatedLoaded(1, 7, 41);
  M.BeginWorkWithTable(1, 7);
  M.TableIsSUnlocked(1, 7);
  EXPECT_TRUE(M.GetWorkTableState(1, W));  // one lock still held
  M.TableIsRWUnlocked(1, 7);
  EXPECT_FALSE(M.GetWorkTableState(1, W));
  EXPECT_EQ(W, -1);
  EXPECT_FALSE(M.GetIsMostUpdatedLoaded(1, 7));

  // An unlock without a lock leaves the count at 0.
  M.TableIsSUnlocked(1, 7);
  M.TableIsSLocked(1, 7);
  M.SetIsMostUpdatedLoaded(1, 7, 42);
  EXPECT_TRUE(M.GetWorkTableState(1, W));
  EXPECT_EQ(W, 42);
  M.TableIsSUnlocked(1, 7);
  EXPECT_FALSE(M.GetWorkTableState(1, W));
}

TEST(TablePagesCacheTest, NestedWorkTheLaterTableDecidesUntilItEnds) {
  TQXLDiskTablePagesCacheManager M;
  std::int32_t W;
  for (int T : {7, 8}) M.TableIsSLocked(5, T);
  M.SetIsMostUpdatedLoaded(5, 7, 70);
  M.SetIsMostUpdatedLoaded(5, 8, 80);
  M.BeginWorkWithTable(5, 7);
  M.BeginWorkWithTable(5, 8);
  ASSERT_TRUE(M.GetWorkTableState(5, W));
  EXPECT_EQ(W, 80);
  M.EndWorkWithTable(5, 8);
  ASSERT_TRUE(M.GetWorkTableState(5, W));
  EXPECT_EQ(W, 70);

  // The same table twice: ending one work keeps the other.
  M.BeginWorkWithTable(5, 8);
  M.BeginWorkWithTable(5, 8);
  M.EndWorkWithTable(5, 8);
  ASSERT_TRUE(M.GetWorkTableState(5, W));
  EXPECT_EQ(W, 80);
}

}  // namespace
