// Page indexes: finding a page with room, counters that reach 0, record
// numbers across pages, the record count check, BLOB space and their errors.
#include "engine/storage/btree/QXLBTreePageIndex.h"

#include <gtest/gtest.h>

#include "engine/storage/btree/QXLBTreeBlobPageIndex.h"
#include "engine/storage/btree/QXLBTreeRecordPageIndex.h"
#include "tests/engine/storage/btree/BTreeTestUtil.h"
#include "tests/support/EngineErrors.h"

namespace qxl::test {
namespace {

struct TRecordPages : ::testing::Test {
  TDiskGeometryPageManager PM;
  TQXLBTreeRecordPageIndex Index{&PM};
  void SetUp() override {
    Index.MaxRecordsOnPage = 3;
    Index.CreateIndex(0);
  }
  std::int32_t Room() {
    std::int32_t PageNo = -1;
    return Index.FindPageForNewRecord(0, PageNo) ? PageNo : -1;
  }
};

TEST_F(TRecordPages, ANewRecordGoesToAPageWithRoomUntilItIsFull) {
  EXPECT_EQ(Room(), -1);
  Index.AddRecord(0, 7, 1);
  EXPECT_EQ(Room(), 7);
  Index.AddRecord(0, 7, 1);
  Index.AddRecord(0, 7, 1);
  EXPECT_EQ(Room(), -1);
  EXPECT_EQ(NativeCodeOf([&] { Index.AddRecord(0, 7, 1); }), 20106);
  Index.DeleteRecord(0, 7, 2);
  EXPECT_EQ(Room(), 7);
}

TEST_F(TRecordPages, AFullLastPageLeavesTheFirstLeafToTheSecondPass) {
  Index.AddRecord(0, 1, 1);
  Index.AddRecord(0, 2, 3);
  Index.AddRecord(0, 3, 3);
  EXPECT_EQ(Room(), 1);
}

TEST_F(TRecordPages, RecordNumbersRunAcrossPagesInPageOrder) {
  Index.AddRecord(0, 9, 2);
  Index.AddRecord(0, 5, 3);
  std::int32_t PageNo, Slot;
  Index.GetRecordByRecNo(0, 3, PageNo, Slot);
  EXPECT_EQ(PageNo, 9);
  EXPECT_EQ(Slot, 0);
  std::int64_t RecNo;
  Index.GetRecNoByRecord(0, 9, 1, RecNo);
  EXPECT_EQ(RecNo, 4);
  EXPECT_EQ(NativeCodeOf([&] { Index.GetRecordByRecNo(0, 5, PageNo, Slot); }), 20113);
  EXPECT_EQ(NativeCodeOf([&] { Index.GetRecNoByRecord(0, 6, 0, RecNo); }), 20114);
  Index.Validate(0, 5);
  EXPECT_EQ(Raised([&] { Index.Validate(0, 6); }).Message,
            "Invalid table RecordPageIndex or MostUpdated. RecordPageIndex.RecordCount=5, "
            "MostUpdated.RecordCount=6 - Native error: 20292");
}

TEST_F(TRecordPages, APageWithoutRecordsLeavesTheIndex) {
  for (std::int32_t p : {2, 4, 6}) Index.AddRecord(0, p, 1);
  Index.DeleteRecord(0, 4, 0);
  std::int32_t Next;
  ASSERT_TRUE(Index.GetNextRecordPage(0, 2, Next));
  EXPECT_EQ(Next, 6);
  ASSERT_TRUE(Index.GetPriorRecordPage(0, 6, Next));
  EXPECT_EQ(Next, 2);
  EXPECT_FALSE(Index.GetNextRecordPage(0, 6, Next));
  EXPECT_EQ(NativeCodeOf([&] { Index.GetNextRecordPage(0, 4, Next); }), 20104);
  EXPECT_EQ(NativeCodeOf([&] { Index.GetPriorRecordPage(0, 4, Next); }), 20105);
  EXPECT_EQ(NativeCodeOf([&] { Index.DeleteRecord(0, 4, 0); }), 20111);
}

// Thousands of pages: several leaves, the walk in page order, and every
// page removed again as its counter reaches 0.
TEST_F(TRecordPages, ManyPagesInOrderAndAllRemoved) {
  Index.MaxRecordsOnPage = 100;
  for (std::int32_t p = 0; p < 5000; ++p) Index.AddRecord(0, (p * 7919) % 5000, 1 + p % 50);
  std::int32_t PageNo, Count = 0;
  for (bool More = Index.GetFirstRecordPage(0, PageNo); More; More = Index.GetNextRecordPage(0, PageNo, PageNo))
    EXPECT_EQ(PageNo, Count++);
  EXPECT_EQ(Count, 5000);
  ASSERT_TRUE(Index.GetLastRecordPage(0, PageNo));
  EXPECT_EQ(PageNo, 4999);
  for (std::int32_t p = 0; p < 5000; ++p) Index.DeleteRecord(0, p, 0);
  EXPECT_FALSE(Index.GetFirstRecordPage(0, PageNo));
  Index.Validate(0, 0);
  PM.ApplyChanges(0);
  EXPECT_EQ(PM.GetPageCount(), 1);
}

TEST_F(TRecordPages, PositionsAndTheRootAreChecked) {
  TQXLKeyPath Empty;
  EXPECT_EQ(NativeCodeOf([&] { Index.GotoNext(0, Empty); }), 20099);
  EXPECT_EQ(NativeCodeOf([&] { Index.GotoPrior(0, Empty); }), 20101);
  EXPECT_EQ(NativeCodeOf([&] { Index.GetPageNoAtPosition(0, Empty); }), 20103);
  EXPECT_EQ(NativeCodeOf([&] { Index.GetCounter(0, Empty); }), 20107);
  EXPECT_EQ(NativeCodeOf([&] { Index.SetCounter(0, Empty, 1); }), 20108);
  EXPECT_EQ(NativeCodeOf([&] { Index.AddToPage(0, 70000, 3); }), 20106);
  Index.AddRecord(0, 3, 1);
  EXPECT_EQ(NativeCodeOf([&] { Index.SubtractFromPage(0, 5, -1, 3); }), 20112);
  TQXLBTreeRecordPageIndex Closed(&PM);
  TQXLKeyPath Path;
  std::int32_t PageNo;
  EXPECT_EQ(NativeCodeOf([&] { Closed.GotoFirst(0, Path); }), 20115);
  EXPECT_EQ(NativeCodeOf([&] { Closed.GotoLast(0, Path); }), 20116);
  EXPECT_EQ(NativeCodeOf([&] { Closed.FindPage(0, 1, Path); }), 20117);
  EXPECT_EQ(NativeCodeOf([&] { Closed.AddRecord(0, 1, 1); }), 20118);
  EXPECT_EQ(NativeCodeOf([&] { Closed.DeleteRecord(0, 1, 0); }), 20110);
  EXPECT_EQ(NativeCodeOf([&] { Closed.FindPageForNewRecord(0, PageNo); }), 20116);
}

TEST(BlobPages, SpaceGrowsAndShrinksToRemoval) {
  TDiskGeometryPageManager PM;
  TQXLBTreeBlobPageIndex Index(&PM);
  Index.CreateIndex(0);
  EXPECT_EQ(Index.GetBlobPageAllocatedSpace(0, 8), -1);
  Index.AddBlob(0, 100, 8);
  Index.AddBlob(0, 100, 8);
  EXPECT_EQ(Index.GetBlobPageAllocatedSpace(0, 8), 200);
  std::int32_t PageNo;
  EXPECT_TRUE(Index.FindPageForNewBlob(0, 3853, PageNo));
  EXPECT_FALSE(Index.FindPageForNewBlob(0, 3854, PageNo));  // 200 + 3854 reaches 4056 - 2
  Index.DeleteBlob(0, 100, 8);
  Index.DeleteBlob(0, 100, 8);
  EXPECT_EQ(Index.GetBlobPageAllocatedSpace(0, 8), -1);
  EXPECT_EQ(NativeCodeOf([&] { Index.DeleteBlob(0, 100, 8); }), 20111);
}

TEST(BlobPages, EmptyAndDropFreeThePages) {
  TQXLMemoryPageManager PM;
  TQXLBTreeBlobPageIndex Index(&PM);
  Index.CreateIndex(0);
  for (std::int32_t p = 0; p < 3000; ++p) Index.AddBlob(0, 10, p);
  Index.EmptyIndex(0);
  EXPECT_EQ(Index.GetBlobPageAllocatedSpace(0, 5), -1);
  PM.ApplyChanges(0);
  EXPECT_EQ(PM.GetPageCount(), 1);
  Index.DropIndex(0);
  PM.ApplyChanges(0);
  EXPECT_EQ(PM.GetPageCount(), 0);
  EXPECT_EQ(Index.RootPageNo(), -1);
}

}  // namespace
}  // namespace qxl::test
