#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <random>
#include <vector>

#include "engine/storage/pager/QXLSortedPageList.h"
#include "tests/engine/storage/FakePageStorage.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace {

class PageCacheTest : public ::testing::Test {
protected:
  void SetUp() override {
    for (int i = 1; i <= 10; ++i) M.Store(i, ptTableRecord, static_cast<std::uint8_t>(i));
  }
  TFakePageManager M;
};

TEST_F(PageCacheTest, SessionMinusOneIsRefusedBeforeAnythingHappens) {
  EXPECT_EQ(NativeCodeOf([&] { M.GetPage(-1, 1, ptTableRecord, true); }), 20186);
  EXPECT_EQ(M.Reads, 0);
  EXPECT_EQ(M.FindSession(-1), nullptr);
}

TEST_F(PageCacheTest, PageHeldByOneSessionIsRefusedToAnother) {
  TQXLPage* P = M.GetPage(1, 3, ptTableRecord, true);
  EXPECT_EQ(NativeCodeOf([&] { M.GetPage(2, 3, ptTableRecord, true); }), 20090);
  TQXLPage* Again = M.GetPage(1, 3, ptTableRecord, true);  // the holder may nest
  EXPECT_EQ(Again, P);
  M.PutPage(P);
  M.PutPage(P);
  TQXLPage* Q = M.GetPage(2, 3, ptTableRecord, true);
  EXPECT_EQ(Q, P);
  EXPECT_EQ(M.Reads, 1);
  M.PutPage(Q);
}

TEST_F(PageCacheTest, HeldPageIsNotResynchronisedForAnotherSession) {
  M.SetMultiUser(true);
  TQXLPage* P = M.GetPage(1, 3, ptTableRecord, true);
  M.Store(3, ptTableRecord, 42, 8);  // another process committed meanwhile
  EXPECT_EQ(NativeCodeOf([&] { M.GetPage(2, 3, ptTableRecord, true); }), 20090);
  EXPECT_EQ(M.StateReads, 0);
  EXPECT_EQ(P->PageData()[0], 3);
  M.PutPage(P);
}

TEST_F(PageCacheTest, SynchronizeKeepsCurrentCopiesAndRereadsChangedOnes) {
  M.SetMultiUser(true);
  M.PutPage(M.GetPage(1, 3, ptTableRecord, true));
  M.PutPage(M.GetPage(1, 3, ptTableRecord, true));
  EXPECT_EQ(M.Reads, 1);
  EXPECT_EQ(M.StateReads, 1);

  M.Store(3, ptTableRecord, 42, 8);
  TQXLPage* P = M.GetPage(1, 3, ptTableRecord, true);
  EXPECT_EQ(M.Reads, 2);
  EXPECT_TRUE(P->Reloaded());
  EXPECT_EQ(P->PageData()[0], 42);
  M.PutPage(P);
  EXPECT_FALSE(P->Reloaded());

  // Released by another process: the copy stays and carries the mark.
  M.Pages.erase(3);
  P = M.GetPage(1, 3, ptTableRecord, true);
  EXPECT_EQ(P->HeaderState(), QXLRemovedPageState);
  EXPECT_EQ(P->PageData()[0], 42);
  M.PutPage(P);

  // Without synchronisation allowed the stored state is not looked at.
  const int Before = M.StateReads;
  M.PutPage(M.GetPage(1, 3, ptTableRecord, false));
  EXPECT_EQ(M.StateReads, Before);
}

TEST_F(PageCacheTest, CopyWhoseRereadFailedIsNeverHandedOut) {
  M.SetMultiUser(true);
  M.PutPage(M.GetPage(1, 3, ptTableRecord, true));
  M.Store(3, ptTableRecord, 42, 8);  // changed by another process
  M.FailReadChecks = true;
  EXPECT_EQ(NativeCodeOf([&] { M.GetPage(1, 3, ptTableRecord, true); }), 30446);
  EXPECT_EQ(M.SharedPages().Find(3), nullptr);
  for (bool Sync : {false, true}) EXPECT_EQ(NativeCodeOf([&] { M.GetPage(1, 3, ptTableRecord, Sync); }), 30446);
  M.FailReadChecks = false;
  TQXLPage* P = M.GetPage(1, 3, ptTableRecord, false);
  EXPECT_EQ(P->PageData()[0], 42);
  M.PutPage(P);
}

TEST_F(PageCacheTest, TypeIsCheckedOnlyWhenThePageIsRead) {
  EXPECT_EQ(NativeCodeOf([&] { M.GetPage(1, 4, ptTableIndex, true); }), 20153);
  EXPECT_EQ(M.SharedPages().Count(), 0);  // the failed read is not kept

  TQXLPage* P = M.GetPage(1, 4, ptAny, true);
  M.PutPage(P);
  TQXLPage* Q = M.GetPage(1, 4, ptTableIndex, true);  // found in the cache: no check
  EXPECT_EQ(Q, P);
  M.PutPage(Q);

  M.SetIgnoreCRCErrors(true);
  M.PutPage(M.GetPage(1, 5, ptTableIndex, true));

  M.SetIgnoreCRCErrors(false);
  try {
    M.GetPage(1, 6, ptTableIndex, true);
    FAIL();
  } catch (const EQXLException& e) {
    EXPECT_NE(e.Message.find("Expecting type 12, but found 10"), std::string::npos) << e.Message;
  }
}

TEST_F(PageCacheTest, UnreadablePageRaisesAndIsNotCached) {
  EXPECT_EQ(NativeCodeOf([&] { M.GetPage(1, 77, ptTableRecord, true); }), 20299);
  EXPECT_EQ(M.SharedPages().Find(77), nullptr);
  M.Store(77, ptTableRecord, 5);
  TQXLPage* P = M.GetPage(1, 77, ptTableRecord, true);
  EXPECT_EQ(P->PageData()[0], 5);
  M.PutPage(P);
}

TEST_F(PageCacheTest, ChangesStayPrivateUntilCommit) {
  TQXLPage* P = M.GetPage(1, 2, ptTableRecord, true);
  P->MakeWritable();
  P->PageData()[0] = 200;
  M.PutPage(P);
  EXPECT_EQ(M.SharedPages().Find(2), nullptr);
  EXPECT_EQ(M.FindSession(1)->DirtyPages.Find(2), P);

  // Session 2 reads its own copy of the stored version.
  TQXLPage* Other = M.GetPage(2, 2, ptTableRecord, true);
  EXPECT_NE(Other, P);
  EXPECT_EQ(Other->PageData()[0], 2);
  M.PutPage(Other);

  TQXLPage* Added = M.AddPage(1, ptTableIndex);
  EXPECT_EQ(Added->UseCount(), 1);
  EXPECT_TRUE(Added->IsDirty());
  EXPECT_EQ(Added->HeaderPageType(), ptTableIndex);
  EXPECT_GE(Added->HeaderState(), 0);
  EXPECT_LT(Added->HeaderState(), QXLNewPageStateLimit);
  M.PutPage(Added);

  M.ApplyChanges(1);
  EXPECT_EQ(M.Written, (std::vector<std::int32_t>{2, 100}));
  EXPECT_EQ(M.StoredValue(2), 200);
  EXPECT_EQ(M.FindSession(1)->DirtyPages.Count(), 0);
  // Only the committed copy stays in the shared cache, clean.
  TQXLPage* Seen = M.GetPage(2, 2, ptTableRecord, false);
  EXPECT_EQ(Seen, P);
  EXPECT_EQ(Seen->PageData()[0], 200);
  EXPECT_FALSE(Seen->IsDirty());
  M.PutPage(Seen);
  M.CheckNoUncommittedPages();
}

TEST_F(PageCacheTest, RollbackReleasesAddedPagesAndForgetsRemovals) {
  TQXLPage* P = M.GetPage(1, 2, ptTableRecord, true);
  P->MakeWritable();
  P->PageData()[0] = 200;
  M.PutPage(P);
  M.PutPage(M.AddPage(1, ptTableRecord));
  M.PutPage(M.AddPage(1, ptTableRecord));
  M.RemovePage(1, 5);

  M.CancelChanges(1);
  EXPECT_EQ(M.Removed, (std::vector<std::int32_t>{100, 101}));
  EXPECT_TRUE(M.Written.empty());
  EXPECT_EQ(M.FindSession(1)->DirtyPages.Count(), 0);
  TQXLPage* Fresh = M.GetPage(1, 2, ptTableRecord, true);
  EXPECT_EQ(Fresh->PageData()[0], 2);
  M.PutPage(Fresh);

  M.ApplyChanges(1);  // nothing left to do: the removal was forgotten
  EXPECT_TRUE(M.Pages.count(5));
  EXPECT_TRUE(M.Written.empty());
}

// Sets the first data byte of the session's page No, made writable first.
void Change(TFakePageManager& M, std::int32_t Session, std::int32_t No, std::uint8_t Value) {
  TQXLPage* P = M.GetPage(Session, No, ptTableRecord, true);
  P->MakeWritable();
  P->PageData()[0] = Value;
  M.PutPage(P);
}

std::uint8_t ValueSeen(TFakePageManager& M, std::int32_t Session, std::int32_t No) {
  TQXLPage* P = M.GetPage(Session, No, ptTableRecord, true);
  const std::uint8_t Value = P->PageData()[0];
  M.PutPage(P);
  return Value;
}

TEST_F(PageCacheTest, AWritablePageLeavesTheSharedCacheBeforeItsFirstChange) {
  TQXLPage* P = M.GetPage(1, 2, ptTableRecord, true);
  ASSERT_EQ(M.SharedPages().Find(2), P);
  P->MakeWritable();
  EXPECT_TRUE(P->IsDirty());
  EXPECT_EQ(M.SharedPages().Find(2), nullptr);
  EXPECT_EQ(M.FindSession(1)->DirtyPages.Find(2), P);
  P->PageData()[0] = 77;
  // While the change is still held, another session reads the stored copy.
  EXPECT_EQ(ValueSeen(M, 2, 2), 2);
  M.PutPage(P);
  M.ApplyChanges(1);
  EXPECT_EQ(ValueSeen(M, 2, 2), 77);
}

TEST_F(PageCacheTest, ASavepointRollbackTakesBackOnlyWhatCameAfterIt) {
  Change(M, 1, 2, 20);  // before the savepoint
  M.RemovePage(1, 6);
  M.BeginSavepoint(1);
  Change(M, 1, 2, 21);
  Change(M, 1, 3, 31);  // clean until now
  Change(M, 1, 3, 32);
  TQXLPage* Added = M.AddPage(1, ptTableRecord);
  const std::int32_t AddedNo = Added->PageNo();
  M.PutPage(Added);
  M.RemovePage(1, 4);
  M.RollbackToSavepoint(1);

  EXPECT_EQ(ValueSeen(M, 1, 2), 20);
  EXPECT_EQ(ValueSeen(M, 1, 3), 3);
  EXPECT_EQ(M.SharedPages().Find(3)->IsDirty(), false) << "a page clean before goes back to the cache";
  EXPECT_EQ(M.FindSession(1)->DirtyPages.Find(AddedNo), nullptr);
  M.ApplyChanges(1);
  EXPECT_EQ(M.Written, (std::vector<std::int32_t>{2}));
  // The page added after the savepoint is released with the removal asked for before it.
  EXPECT_EQ(M.Removed, (std::vector<std::int32_t>{6, AddedNo}));
  EXPECT_TRUE(M.Pages.count(4));
  EXPECT_EQ(M.StoredValue(2), 20);
}

TEST_F(PageCacheTest, ARolledBackAddedPageIsReleasedByASessionRollbackToo) {
  M.BeginSavepoint(1);
  M.PutPage(M.AddPage(1, ptTableRecord));
  M.RollbackToSavepoint(1);
  M.CancelChanges(1);
  EXPECT_EQ(M.Removed, (std::vector<std::int32_t>{100}));
  EXPECT_TRUE(M.Written.empty());
}

TEST_F(PageCacheTest, NestedSavepointsKeepTheOlderImage) {
  M.BeginSavepoint(1);
  Change(M, 1, 2, 21);
  M.BeginSavepoint(1);
  Change(M, 1, 2, 22);
  Change(M, 1, 3, 31);
  M.RollbackToSavepoint(1);
  EXPECT_EQ(ValueSeen(M, 1, 2), 21);
  EXPECT_EQ(ValueSeen(M, 1, 3), 3);

  M.BeginSavepoint(1);
  Change(M, 1, 2, 23);
  Change(M, 1, 3, 33);
  M.ReleaseSavepoint(1);
  EXPECT_EQ(ValueSeen(M, 1, 2), 23);
  M.RollbackToSavepoint(1);
  EXPECT_EQ(ValueSeen(M, 1, 2), 2);
  EXPECT_EQ(ValueSeen(M, 1, 3), 3);
  M.ApplyChanges(1);
  EXPECT_TRUE(M.Written.empty());
}

TEST_F(PageCacheTest, ASavepointTakesNothingBackPastACommitOrARollback) {
  M.BeginSavepoint(1);
  Change(M, 1, 2, 21);
  M.ApplyChanges(1);
  Change(M, 1, 3, 31);
  M.RollbackToSavepoint(1);
  EXPECT_EQ(ValueSeen(M, 1, 2), 21);
  EXPECT_EQ(ValueSeen(M, 1, 3), 3) << "changed after the commit: taken back";

  M.BeginSavepoint(1);
  Change(M, 1, 4, 41);
  M.CancelChanges(1);
  Change(M, 1, 5, 51);
  M.RollbackToSavepoint(1);
  EXPECT_EQ(ValueSeen(M, 1, 4), 4);
  EXPECT_EQ(ValueSeen(M, 1, 5), 5);
  EXPECT_EQ(M.FindSession(1)->DirtyPages.Count(), 0);
}

TEST_F(PageCacheTest, ASavepointOfOneSessionLeavesAnothersPagesAlone) {
  Change(M, 2, 3, 30);
  M.BeginSavepoint(1);
  Change(M, 1, 2, 21);
  Change(M, 2, 3, 31);
  M.RollbackToSavepoint(1);
  EXPECT_EQ(ValueSeen(M, 1, 2), 2);
  EXPECT_EQ(ValueSeen(M, 2, 3), 31);
}

using PageCacheDeathTest = PageCacheTest;

TEST_F(PageCacheDeathTest, AChangeOfACleanPageBeforeItIsMadeWritableIsCaughtInDebugBuilds) {
  // Where the check is compiled out, the statements run and nothing happens.
  EXPECT_DEBUG_DEATH(
      {
        TQXLPage* P = M.GetPage(1, 2, ptTableRecord, true);
        P->PageData()[0] = 99;
        M.PutPage(P);
      },
      "made writable");
  EXPECT_DEBUG_DEATH(
      {
        TQXLPage* P = M.GetPage(1, 3, ptTableRecord, true);
        P->PageData()[0] = 99;
        P->MakeWritable();
      },
      "made writable");
}

TEST_F(PageCacheTest, RemovedAndChangedPageIsReleasedNotWritten) {
  TQXLPage* P = M.GetPage(1, 4, ptTableRecord, true);
  P->MakeWritable();
  M.PutPage(P);
  M.PutPage(M.GetPage(2, 6, ptTableRecord, true));
  M.RemovePage(1, 4);
  M.RemovePage(1, 6);
  M.RemovePage(1, 4);
  M.ApplyChanges(1);
  EXPECT_EQ(M.Removed, (std::vector<std::int32_t>{4, 6}));
  EXPECT_TRUE(M.Written.empty());
  EXPECT_EQ(M.SharedPages().Find(6), nullptr);
}

TEST_F(PageCacheTest, CommitWithPagesInUseWritesNothing) {
  TQXLPage* Held = M.GetPage(1, 3, ptTableRecord, true);
  EXPECT_EQ(NativeCodeOf([&] { M.ApplyChanges(1); }), 20152);
  // Held twice, the page stays held until it is given back twice.
  ASSERT_EQ(M.GetPage(1, 3, ptTableRecord, true), Held);
  M.PutPage(Held);
  EXPECT_EQ(NativeCodeOf([&] { M.ApplyChanges(1); }), 20152);
  M.PutPage(Held);

  TQXLPage* A = M.GetPage(1, 2, ptTableRecord, true);
  A->MakeWritable();
  M.PutPage(A);
  TQXLPage* B = M.AddPage(1, ptTableRecord);  // still held
  M.RemovePage(1, 7);
  EXPECT_EQ(NativeCodeOf([&] { M.ApplyChanges(1); }), 20086);
  EXPECT_EQ(NativeCodeOf([&] { M.CancelChanges(1); }), 20088);
  EXPECT_TRUE(M.Written.empty());
  EXPECT_TRUE(M.Removed.empty());
  M.PutPage(B);
  M.ApplyChanges(1);
  EXPECT_EQ(M.Written, (std::vector<std::int32_t>{2, 100}));
  EXPECT_EQ(M.Removed, (std::vector<std::int32_t>{7}));
}

TEST_F(PageCacheTest, FailedWriteLeavesUnwrittenPagesWithTheSession) {
  for (int No : {2, 3}) {
    TQXLPage* P = M.GetPage(1, No, ptTableRecord, true);
    P->MakeWritable();
    M.PutPage(P);
  }
  M.FailWrites = true;
  EXPECT_EQ(NativeCodeOf([&] { M.ApplyChanges(1); }), 10469);
  EXPECT_EQ(M.FindSession(1)->DirtyPages.Count(), 2);
  EXPECT_EQ(NativeCodeOf([&] { M.CheckNoUncommittedPages(); }), 20097);
  M.FailWrites = false;
  M.ApplyChanges(1);
  EXPECT_EQ(M.Written, (std::vector<std::int32_t>{2, 3}));
}

TEST_F(PageCacheTest, EvictionDropsLeastRecentlyUsedPagesNotInUse) {
  M.SetCacheCapacity(3);
  TQXLPage* Held = M.GetPage(1, 1, ptTableRecord, true);
  for (int No : {2, 3, 4}) M.PutPage(M.GetPage(1, No, ptTableRecord, true));
  // 1 is the oldest but held; 2 goes.
  EXPECT_EQ(M.SharedPages().Count(), 3);
  EXPECT_NE(M.SharedPages().Find(1), nullptr);
  EXPECT_EQ(M.SharedPages().Find(2), nullptr);

  M.PutPage(M.GetPage(1, 3, ptTableRecord, true));  // 3 is now newer than 4
  M.PutPage(M.GetPage(1, 5, ptTableRecord, true));
  EXPECT_EQ(M.SharedPages().Find(4), nullptr);
  EXPECT_NE(M.SharedPages().Find(3), nullptr);

  // Every page held: the cache stays above its capacity.
  TQXLPage* H3 = M.GetPage(1, 3, ptTableRecord, true);
  TQXLPage* H5 = M.GetPage(1, 5, ptTableRecord, true);
  TQXLPage* H6 = M.GetPage(1, 6, ptTableRecord, true);
  M.PutPage(M.GetPage(1, 7, ptTableRecord, true));
  EXPECT_EQ(M.SharedPages().Count(), 4);
  for (TQXLPage* P : {Held, H3, H5, H6}) M.PutPage(P);
}

TEST_F(PageCacheTest, AddedPageReplacesAStaleCopyEvenWhileItIsHeld) {
  M.Store(100, ptTableRecord, 9);
  TQXLPage* Stale = M.GetPage(2, 100, ptTableRecord, true);
  TQXLPage* Added = M.AddPage(1, ptTableRecord);
  EXPECT_EQ(Added->PageNo(), 100);
  EXPECT_EQ(M.SharedPages().Find(100), nullptr);
  EXPECT_EQ(Stale->PageData()[0], 9);  // the holder's copy is still valid memory
  M.PutPage(Stale);                      // and is freed when given back
  M.PutPage(Added);
  M.ApplyChanges(1);
}

TEST_F(PageCacheTest, PageTheManagerDoesNotHoldIsLeftAlone) {
  TQXLPage Foreign(&M);
  Foreign.SetPageNo(3);
  Foreign.SetUseCount(1);
  M.PutPage(&Foreign);
  EXPECT_EQ(Foreign.UseCount(), 0);
  EXPECT_EQ(M.SharedPages().Count(), 0);
  EXPECT_EQ(M.FindSession(-1), nullptr);
  M.CheckNoUncommittedPages();
}

TEST(PageTest, BufferHeaderAndTableStates) {
  TFakePageManager M;
  TQXLPage Page(&M);
  EXPECT_EQ(NativeCodeOf([&] { Page.EnlargePageBuffer(200); }), 20038);
  Page.AllocPageBuffer();
  const std::uint8_t Fresh[40] = {'Q', 'X', 'L', 'P', 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF,
                                  0,   0,   0,   0,   0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF,
                                  0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(Page.PageBuffer(), Fresh, 40), 0);
  EXPECT_EQ(NativeCodeOf([&] { Page.EnlargePageBuffer(127); }), 20039);
  Page.PageData()[0] = 5;
  Page.EnlargePageBuffer(300);
  EXPECT_EQ(Page.PageData()[0], 5);

  std::int32_t Table = 0, State = 0;
  EXPECT_FALSE(Page.GetTableState(3, Table, State));
  Page.SetTableState(3, 12, 41);
  EXPECT_TRUE(Page.GetTableState(3, Table, State));
  EXPECT_EQ(Table, 12);
  EXPECT_EQ(State, 41);
  EXPECT_FALSE(Page.GetTableState(-2, Table, State));
  Page.SetTableState(-2, 13, 7);
  EXPECT_TRUE(Page.GetTableState(-2, Table, State));
  EXPECT_EQ(Table, 13);
  EXPECT_EQ(State, 7);
}

TEST(PageTest, ForeignBufferIsCopiedWhenEnlarged) {
  TFakePageManager M;
  TQXLPage Page(&M);
  std::vector<std::uint8_t> Foreign(128, 3);
  Page.SetPageBuffer(Foreign.data());
  Page.SetOwnBuffer(false);
  Page.EnlargePageBuffer(256);
  EXPECT_TRUE(Page.OwnBuffer());
  EXPECT_NE(Page.PageBuffer(), Foreign.data());
  EXPECT_EQ(Page.PageBuffer()[127], 3);
  EXPECT_EQ(Page.PageBuffer()[200], 0);
}

TEST(SortedPageListTest, OrderErrorsAndLeastRecentlyUsedOrder) {
  TFakePageManager M;
  TQXLSortedPageList List;
  EXPECT_EQ(NativeCodeOf([&] { List.Delete(1); }), 20165);
  auto NewPage = [&](std::int32_t No) {
    auto Page = std::make_unique<TQXLPage>(&M);
    Page->SetPageNo(No);
    return Page;
  };
  std::vector<TQXLPage*> Pages;
  for (int No : {30, 10, 20, 40}) Pages.push_back(List.Insert(NewPage(No)));
  std::vector<std::int32_t> InOrder;
  for (const TQXLPage* Page : List.Pages()) InOrder.push_back(Page->PageNo());
  EXPECT_EQ(InOrder, (std::vector<std::int32_t>{10, 20, 30, 40}));
  EXPECT_EQ(List.First()->PageNo(), 10);
  EXPECT_EQ(NativeCodeOf([&] { List.Delete(15); }), 20166);
  auto Missing = NewPage(99);
  EXPECT_EQ(NativeCodeOf([&] { List.UpdateLRU(Missing.get()); }), 20167);
  auto Impostor = NewPage(20);  // the number is here, the page is not
  EXPECT_EQ(NativeCodeOf([&] { List.UpdateLRU(Impostor.get()); }), 20167);

  List.UpdateLRU(Pages[0]);  // 30 becomes the newest
  EXPECT_EQ(List.ByLastUse(), (std::vector<std::int32_t>{10, 20, 40, 30}));
  std::unique_ptr<TQXLPage> Out = List.Extract(20);
  EXPECT_EQ(Out.get(), Pages[2]);
  EXPECT_EQ(List.ByLastUse(), (std::vector<std::int32_t>{10, 40, 30}));

  // Eviction frees the oldest pages nobody holds, and stops at the capacity.
  Pages[1]->SetUseCount(1);  // 10 is held
  List.EvictUnused(2);
  EXPECT_EQ(List.ByLastUse(), (std::vector<std::int32_t>{10, 30}));
  List.EvictUnused(1);
  EXPECT_EQ(List.ByLastUse(), (std::vector<std::int32_t>{10}));
  List.EvictUnused(0);  // only a held page is left
  EXPECT_EQ(List.Count(), 1);
  Pages[1]->SetUseCount(0);

  TQXLSortedPageList One;
  One.Insert(NewPage(5));
  One.Delete(12345);  // a one-entry list gives up its only entry
  EXPECT_EQ(One.Count(), 0);
  EXPECT_TRUE(One.ByLastUse().empty());
}

// Random inserts (numbers listed twice included), finds, uses and removals
// against a model: per number the pages newest first, and the use order.
TEST(SortedPageListTest, RandomRunMatchesAModel) {
  TFakePageManager M;
  TQXLSortedPageList List;
  std::map<std::int32_t, std::deque<TQXLPage*>> Model;
  std::vector<TQXLPage*> Uses;  // oldest first
  std::mt19937 Rng(17);
  for (int Step = 0; Step < 4000; ++Step) {
    const std::int32_t No = static_cast<std::int32_t>(Rng() % 40);
    const auto Listed = Model.find(No);
    switch (Rng() % 4) {
      case 0: {
        auto Page = std::make_unique<TQXLPage>(&M);
        Page->SetPageNo(No);
        TQXLPage* Raw = List.Insert(std::move(Page));
        Model[No].push_front(Raw);
        Uses.push_back(Raw);
        break;
      }
      case 1:
        if (Listed != Model.end() && List.Count() > 1) {
          std::unique_ptr<TQXLPage> Out = List.Extract(No);
          ASSERT_EQ(Out.get(), Listed->second.front()) << "step " << Step;
          Uses.erase(std::find(Uses.begin(), Uses.end(), Out.get()));
          Listed->second.pop_front();
          if (Listed->second.empty()) Model.erase(Listed);
        }
        break;
      case 2:
        if (Listed != Model.end()) {
          // Only the page lookups find can be used; one it hides is not found.
          if (Listed->second.size() > 1) {
            ASSERT_EQ(NativeCodeOf([&] { List.UpdateLRU(Listed->second.back()); }), 20167);
          }
          TQXLPage* Page = Listed->second.front();
          List.UpdateLRU(Page);
          Uses.erase(std::find(Uses.begin(), Uses.end(), Page));
          Uses.push_back(Page);
        }
        break;
      default:
        ASSERT_EQ(List.Find(No), Listed == Model.end() ? nullptr : Listed->second.front()) << "step " << Step;
    }
    std::vector<TQXLPage*> Expected;
    for (const auto& [Number, Pages] : Model) Expected.insert(Expected.end(), Pages.begin(), Pages.end());
    ASSERT_EQ(std::vector<TQXLPage*>(List.Pages().begin(), List.Pages().end()), Expected) << "step " << Step;
    std::vector<std::int32_t> UseOrder;
    for (const TQXLPage* Page : Uses) UseOrder.push_back(Page->PageNo());
    ASSERT_EQ(List.ByLastUse(), UseOrder) << "step " << Step;
  }
}

}  // namespace
