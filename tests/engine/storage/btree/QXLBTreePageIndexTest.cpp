// Page indexes: finding a page with room, counters that reach 0, record
// numbers across pages, the record count check, BLOB space and their errors.
#include "engine/storage/btree/QXLBTreePageIndex.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "engine/storage/btree/QXLBTreeBlobPageIndex.h"
#include "engine/storage/btree/QXLBTreeRecordPageIndex.h"
#include "tests/engine/storage/btree/BTreeTestUtil.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

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

// A page that sorts into a middle leaf is offered once it has room, however
// many leaves lie on either side of it.
TEST_F(TRecordPages, APageWithRoomInAMiddleLeafIsOffered) {
  for (std::int32_t p = 0; p < 3000; ++p) Index.AddRecord(0, p, 3);
  EXPECT_EQ(Room(), -1);
  Index.DeleteRecord(0, 1500, 2);
  EXPECT_EQ(Room(), 1500);
  TQXLBTreeRecordPageIndex Reopened(&PM);
  Reopened.MaxRecordsOnPage = 3;
  Reopened.OpenIndex(Index.RootPageNo());
  std::int32_t PageNo = -1;
  ASSERT_TRUE(Reopened.FindPageForNewRecord(0, PageNo));
  EXPECT_EQ(PageNo, 1500);
}

// Records added and deleted at random through two index objects on one
// stored index, as two processes share a table: each object is told that the
// other changed it (as a reload of the table's counters tells it) before its
// own next change. Against a model of the pages' counts, every step offers a
// page with room whenever one has room, and a walk of the index gives the
// model's counts.
TEST_F(TRecordPages, RandomChangesKeepTheCountsAndFindEveryPageWithRoom) {
  constexpr std::int32_t Max = 4;
  Index.MaxRecordsOnPage = Max;
  TQXLBTreeRecordPageIndex Other(&PM);
  Other.MaxRecordsOnPage = Max;
  Other.OpenIndex(Index.RootPageNo());
  TQXLBTreeRecordPageIndex* Users[] = {&Index, &Other};
  std::map<std::int32_t, std::int32_t> Model;
  std::mt19937 Rng(1021);
  // Enough pages for several leaves, nearly all full, so that room opens in middle ones.
  for (std::int32_t p = 0; p < 3000; p += 2) {
    const std::int32_t Count = Rng() % 10 == 0 ? std::uniform_int_distribution<>(1, Max - 1)(Rng) : Max;
    Index.AddRecord(0, p, Count);
    Model[p] = Count;
  }
  std::int32_t LastUser = 0;
  auto HasRoom = [&] {
    for (const auto& [Page, Count] : Model)
      if (Count < Max) return true;
    return false;
  };
  for (std::int32_t Step = 0; Step < 6000; ++Step) {
    const std::int32_t U = std::uniform_int_distribution<>(0, 3)(Rng) == 0 ? 1 : 0;
    if (U != LastUser) Users[U]->ForgetRoom();
    LastUser = U;
    TQXLBTreeRecordPageIndex& I = *Users[U];
    const bool Add = std::uniform_int_distribution<>(0, 99)(Rng) < 50;
    if (Add) {
      std::int32_t PageNo = -1;
      const bool Offered = I.FindPageForNewRecord(0, PageNo);
      ASSERT_EQ(Offered, HasRoom()) << "step " << Step;
      if (Offered) {
        ASSERT_LT(Model.count(PageNo) ? Model[PageNo] : Max, Max) << "step " << Step;
      }
      // A new page takes any free number, as the lowest free page of a file does.
      while (!Offered && (PageNo < 0 || Model.count(PageNo))) PageNo = std::uniform_int_distribution<>(0, 5000)(Rng);
      I.AddRecord(0, PageNo, 1);
      ++Model[PageNo];
    } else {
      auto It = std::next(Model.begin(), std::uniform_int_distribution<std::ptrdiff_t>(
                                             0, static_cast<std::ptrdiff_t>(Model.size()) - 1)(Rng));
      I.DeleteRecord(0, It->first, It->second - 1);
      if (--It->second == 0) Model.erase(It);
    }
    if (Step % 500 != 499) continue;
    std::map<std::int32_t, std::int32_t> Stored;
    TQXLKeyPath Path;
    for (bool More = Index.GotoFirst(0, Path); More; More = Index.GotoNext(0, Path))
      Stored[Index.GetPageNoAtPosition(0, Path)] = Index.GetCounter(0, Path);
    ASSERT_EQ(Stored, Model) << "step " << Step;
  }
}

// What another object filled or took out of the index is never offered,
// even before this one is told of the change.
TEST_F(TRecordPages, APageFilledOrRemovedElsewhereIsNotOffered) {
  Index.AddRecord(0, 4, 1);
  Index.AddRecord(0, 8, 1);
  EXPECT_EQ(Room(), 4);
  TQXLBTreeRecordPageIndex Other(&PM);
  Other.MaxRecordsOnPage = 3;
  Other.OpenIndex(Index.RootPageNo());
  Other.AddRecord(0, 4, 2);
  EXPECT_EQ(Room(), 8);
  Other.DeleteRecord(0, 8, 0);
  EXPECT_EQ(Room(), -1);
  Other.DeleteRecord(0, 4, 2);
  EXPECT_EQ(Room(), -1);
  Index.ForgetRoom();
  EXPECT_EQ(Room(), 4);
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
