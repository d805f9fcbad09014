// Records and BLOB values of a disk table as two users of the file see them:
// inserts, updates and deletes with their values, the record a delete leaves
// current, batches, rollback, record numbers, BLOB streams and direct copies,
// and reads that wait for a writer's lock and then give up.
#include <functional>

#include "engine/core/abstract/QXLRecordBitmap.h"
#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/blobs/QXLDiskBlobManager.h"
#include "engine/storage/records/QXLDiskRecordManager.h"
#include "tests/engine/storage/disk/DiskTableFixture.h"

using namespace qxl;

namespace qxl::disktable {
namespace {

class DiskTableRecordsTest : public TwoUsersNotesFixture {
protected:
  void SetUp() override {
    TwoUsersNotesFixture::SetUp();
    TableA = std::make_unique<TQXLDiskTableData>(A->Database.get());
    TableB = std::make_unique<TQXLDiskTableData>(B->Database.get());
    Open(*TableA, CA, *A);
    Open(*TableB, CB, *B);
  }
  void TearDown() override {
    Close(*TableA, CA);
    Close(*TableB, CB);
    TableA.reset();
    TableB.reset();
    TwoUsersNotesFixture::TearDown();
  }

  bool PageUsed(std::int32_t PageNo) {
    return B->Database->DiskPageManager()->FreeSpaceManager()->GetPageUsageFromPFS(PageNo);
  }
  // The page of the value stored for C's current record.
  std::int32_t MemoPage(DiskCursor& C) {
    return TableA->BlobManager()->GetBlobPageItemID(C.FCurrentRecordBuffer, MemoField).PageNo;
  }

  std::unique_ptr<TQXLDiskTableData> TableA, TableB;
  DiskCursor CA{"Notes"}, CB{"Notes"};
};

TEST_F(DiskTableRecordsTest, ChangesWithTheirValuesReachTheOtherUserAtOnce) {
  const std::string Large(9000, 'L');
  ASSERT_TRUE(Insert(*TableA, CA, 1, "one"));
  ASSERT_TRUE(Insert(*TableA, CA, 2, Large));
  const std::int32_t LargePage = MemoPage(CA);
  ASSERT_TRUE(Insert(*TableA, CA, 3, "three"));
  EXPECT_EQ(Walk(*TableB, CB), (std::vector<std::string>{"1:one", "2:" + Large, "3:three"}));

  ASSERT_TRUE(MoveTo(*TableA, CA, 2));
  WriteMemo(*TableA, CA, "two");
  ASSERT_TRUE(UpdateCurrent(*TableA, CA));
  EXPECT_FALSE(PageUsed(LargePage)) << "the replaced value's pages go back";
  ASSERT_TRUE(MoveTo(*TableA, CA, 1));
  WriteMemo(*TableA, CA, "");
  ASSERT_TRUE(UpdateCurrent(*TableA, CA));
  EXPECT_EQ(Walk(*TableB, CB), (std::vector<std::string>{"1:<NULL>", "2:two", "3:three"}));

  ASSERT_TRUE(MoveTo(*TableA, CA, 3));
  ASSERT_TRUE(DeleteCurrent(*TableA, CA));
  EXPECT_EQ(TableB->InternalGetRecordCount(&CB), 2);
  EXPECT_EQ(Walk(*TableB, CB), (std::vector<std::string>{"1:<NULL>", "2:two"}));
}

TEST_F(DiskTableRecordsTest, DeletingAValueHoldingRecordFreesTheValue) {
  ASSERT_TRUE(Insert(*TableA, CA, 1, std::string(9000, 'v')));
  const std::int32_t Page = MemoPage(CA);
  ASSERT_TRUE(PageUsed(Page));
  ASSERT_TRUE(MoveTo(*TableA, CA, 1));
  ASSERT_TRUE(DeleteCurrent(*TableA, CA));
  EXPECT_FALSE(PageUsed(Page));
  EXPECT_EQ(TableA->BlobManager()->BlobCacheCount(), 0u);
}

// Which record of 1, 2, 3 is deleted, and where the cursor stands after it.
struct TDeleteCase {
  const char* Name;
  std::vector<std::int32_t> Ids;
  std::int32_t Deleted;
  std::int32_t NowCurrent;  // 0: none
};

class DeletePosition : public DiskTableRecordsTest, public ::testing::WithParamInterface<TDeleteCase> {};

TEST_P(DeletePosition, LeavesTheNextRecordElseThePriorOneCurrent) {
  const TDeleteCase& Case = GetParam();
  for (std::int32_t Id : Case.Ids) ASSERT_TRUE(Insert(*TableA, CA, Id));
  ASSERT_TRUE(MoveTo(*TableA, CA, Case.Deleted));
  ASSERT_TRUE(DeleteCurrent(*TableA, CA));
  EXPECT_FALSE(CA.LastPosition);
  if (Case.NowCurrent == 0) {
    EXPECT_TRUE(CA.FirstPosition);
    EXPECT_EQ(TableA->GetRecordBuffer(&CA, grmNext), grrEOF);
    return;
  }
  EXPECT_FALSE(CA.FirstPosition);
  ASSERT_EQ(TableA->GetRecordBuffer(&CA, grmCurrent), grrOK);
  EXPECT_EQ(IdOf(CA), Case.NowCurrent);
}

INSTANTIATE_TEST_SUITE_P(Cases, DeletePosition,
                         ::testing::Values(TDeleteCase{"Middle", {1, 2, 3}, 2, 3},
                                           TDeleteCase{"First", {1, 2, 3}, 1, 2},
                                           TDeleteCase{"Last", {1, 2, 3}, 3, 2},
                                           TDeleteCase{"Only", {1}, 1, 0}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(DiskTableRecordsTest, ADeleteKeepsAnUpToDateBitmapValid) {
  for (std::int32_t Id = 1; Id <= 3; ++Id) ASSERT_TRUE(Insert(*TableA, CA, Id));
  const TQXLPageItemID Second = [&] {
    EXPECT_TRUE(MoveTo(*TableA, CA, 2));
    return CA.CurrentRecordID;
  }();
  CA.FRecordBitmap = std::make_unique<TQXLRecordBitmap>(TableA.get());
  CA.FRecordBitmap->SetSize(TableA->GetRecordBitmapSize(CA.SessionID()));
  CA.FRecordBitmap->ShowRecord(Second);
  CA.FRecordBitmap->SetActive(true);
  CA.FRecordBitmap->SetTableState(TableA->RecordManager()->TableState());
  ASSERT_TRUE(DeleteCurrent(*TableA, CA));
  EXPECT_FALSE(CA.FRecordBitmap->IsRecordVisible(Second));
  EXPECT_EQ(CA.FRecordBitmap->TableState(), TableA->RecordManager()->TableState());
  CA.FRecordBitmap.reset();
}

TEST_F(DiskTableRecordsTest, ABatchIsCommittedOnlyWhenItEnds) {
  CA.FBatchUpdate = true;
  ASSERT_TRUE(Insert(*TableA, CA, 1, "batched"));
  ASSERT_TRUE(Insert(*TableA, CA, 2));
  EXPECT_EQ(TableB->InternalGetRecordCount(&CB), 0);
  EXPECT_TRUE(Walk(*TableB, CB).empty());
  CA.FBatchUpdate = false;
  TableA->ApplyChanges(CA.SessionID(), false);
  EXPECT_EQ(TableB->InternalGetRecordCount(&CB), 2);
  EXPECT_EQ(Walk(*TableB, CB), (std::vector<std::string>{"1:batched", "2:<NULL>"}));
}

TEST_F(DiskTableRecordsTest, ARolledBackTransactionBringsTheCommittedCountersBack) {
  ASSERT_TRUE(Insert(*TableA, CA, 1, "kept"));
  A->Session.FInTransaction = true;
  ASSERT_TRUE(Insert(*TableA, CA, 2, "dropped"));
  ASSERT_TRUE(Insert(*TableA, CA, 3));
  EXPECT_EQ(TableA->InternalGetRecordCount(&CA), 3);
  EXPECT_EQ(TableB->InternalGetRecordCount(&CB), 1);
  A->Database->DiskPageManager()->CancelChanges(CA.SessionID());
  TableA->Rollback(CA.SessionID());
  A->Session.FInTransaction = false;
  EXPECT_EQ(TableA->InternalGetRecordCount(&CA), 1);
  EXPECT_EQ(Walk(*TableA, CA), (std::vector<std::string>{"1:kept"}));
  ASSERT_TRUE(Insert(*TableA, CA, 4));
  EXPECT_EQ(Walk(*TableB, CB), (std::vector<std::string>{"1:kept", "4:<NULL>"}));
}

TEST_F(DiskTableRecordsTest, RecordNumbersAndBitmapNumbersRoundTrip) {
  // Enough records for several pages.
  for (std::int32_t Id = 1; Id <= 600; ++Id) ASSERT_TRUE(Insert(*TableA, CA, Id));
  const std::int64_t Size = TableB->GetRecordBitmapSize(CB.SessionID());
  std::int64_t Seen = 0;
  CB.FirstPosition = true;
  while (TableB->GetRecordBuffer(&CB, grmNext) == grrOK) {
    ++Seen;
    const std::int64_t Bit = TableB->RecordIDToBitNo(CB.CurrentRecordID);
    ASSERT_LT(Bit, Size);
    ASSERT_EQ(TableB->BitNoToRecordID(Bit), CB.CurrentRecordID);
    ASSERT_EQ(TableB->InternalGetRecNo(&CB), Seen);
  }
  EXPECT_EQ(Seen, 600);
  TableB->InternalSetRecNo(&CB, 451);
  ASSERT_EQ(TableB->GetRecordBuffer(&CB, grmCurrent), grrOK);
  EXPECT_EQ(IdOf(CB), 451);
}

TEST_F(DiskTableRecordsTest, AnEmptyTableHasAOneBitBitmap) { EXPECT_EQ(TableA->GetRecordBitmapSize(0), 1); }

// A read, and what it gives when the table stays locked against it.
struct TLockedRead {
  const char* Name;
  std::int32_t Code;  // 0: GetRecordBuffer, which answers grrError
  std::function<void(TQXLDiskTableData&, DiskCursor&)> Read;
};

TEST_F(DiskTableRecordsTest, ReadsWaitForAWriterThenReportTheTableLocked) {
  ASSERT_TRUE(Insert(*TableA, CA, 1));
  ASSERT_TRUE(MoveTo(*TableA, CA, 1));
  ASSERT_TRUE(TableB->LockTable(CB.SessionID(), ltRW, 1, 1, false));
  const std::vector<TLockedRead> Reads = {
      {"Locate", 20214, [](TQXLDiskTableData& T, DiskCursor& C) { T.Locate(&C, nullptr); }},
      {"FindKey", 20215, [](TQXLDiskTableData& T, DiskCursor& C) { T.FindKey(&C, scEqual); }},
      {"SetRecNo", 20216, [](TQXLDiskTableData& T, DiskCursor& C) { T.SetRecNo(&C, 1); }},
      {"GetRecNo", 20217, [](TQXLDiskTableData& T, DiskCursor& C) { T.GetRecNo(&C); }},
      {"InternalGetRecordCount", 20218, [](TQXLDiskTableData& T, DiskCursor& C) { T.InternalGetRecordCount(&C); }},
      {"InternalSetRecNo", 20219, [](TQXLDiskTableData& T, DiskCursor& C) { T.InternalSetRecNo(&C, 1); }},
      {"InternalGetRecNo", 20220, [](TQXLDiskTableData& T, DiskCursor& C) { T.InternalGetRecNo(&C); }},
  };
  for (const TLockedRead& Read : Reads) {
    const std::uint64_t SleepsBefore = Clock.SleepCount();
    const EQXLException E = Raised([&] { Read.Read(*TableA, CA); });
    EXPECT_EQ(E.NativeError, Read.Code) << Read.Name;
    EXPECT_NE(E.Message.find("Table is locked"), std::string::npos) << Read.Name;
    EXPECT_GE(Clock.SleepCount() - SleepsBefore, std::uint64_t{TQXLDiskTableData::ReadLockTries - 1}) << Read.Name;
  }
  EXPECT_EQ(TableA->GetRecordBuffer(&CA, grmCurrent), grrError);
  ASSERT_TRUE(TableB->UnlockTable(CB.SessionID(), ltRW, false));
  EXPECT_EQ(TableA->GetRecordBuffer(&CA, grmCurrent), grrOK);
  EXPECT_EQ(TableA->InternalGetRecordCount(&CA), 1);
}

TEST_F(DiskTableRecordsTest, ASessionHoldingAStrongerLockReadsUnderIt) {
  ASSERT_TRUE(Insert(*TableA, CA, 1));
  ASSERT_TRUE(TableA->LockTable(CA.SessionID(), ltRW, 1, 1, false));
  EXPECT_EQ(TableA->InternalGetRecordCount(&CA), 1);
  EXPECT_TRUE(MoveTo(*TableA, CA, 1));
  ASSERT_TRUE(TableA->UnlockTable(CA.SessionID(), ltRW, false));
  EXPECT_EQ(TableB->InternalGetRecordCount(&CB), 1) << "the reads gave their S locks back";
}

TEST_F(DiskTableRecordsTest, BlobStreamsStartEmptyForANewValueOrANullField) {
  ASSERT_TRUE(Insert(*TableA, CA, 1, "stored"));
  ASSERT_TRUE(Insert(*TableA, CA, 2));
  ASSERT_TRUE(MoveTo(*TableA, CA, 1));
  EXPECT_EQ(TableA->InternalCreateBlobStream(&CA, false, MemoField, bomWrite)->Size(), 0);
  EXPECT_EQ(TableA->InternalCreateBlobStream(&CA, false, MemoField, bomRead)->Size(), 6);
  ASSERT_TRUE(MoveTo(*TableA, CA, 2));
  EXPECT_EQ(TableA->InternalCreateBlobStream(&CA, false, MemoField, bomRead)->Size(), 0);
  EXPECT_EQ(TableA->InternalCreateBlobStream(&CA, false, MemoField, bomReadWrite)->Size(), 0);
}

TEST_F(DiskTableRecordsTest, AValueCopiedDirectlyIsStoredWithTheNewRecord) {
  ASSERT_TRUE(Insert(*TableA, CA, 1, std::string(700, 'd')));
  ASSERT_TRUE(MoveTo(*TableA, CA, 1));
  TQXLPartialTemporaryBLOBDescriptor Descriptor;
  void* Data = nullptr;
  TableA->GetDirectBlobData(&CA, MemoField, CA.FCurrentRecordBuffer, Descriptor, Data);
  ASSERT_NE(Data, nullptr);
  CB.InternalInitRecord(CB.FCurrentRecordBuffer, true);
  const std::int32_t Id = 2;
  CB.SetFieldData(IdField, &Id, CB.FCurrentRecordBuffer);
  TableB->SetDirectBlobData(&CB, MemoField, CB.FCurrentRecordBuffer, Descriptor, Data);
  TableA->FreeDirectBlobData(&CA, MemoField, CA.FCurrentRecordBuffer, Descriptor, Data);
  EXPECT_EQ(TableA->BlobManager()->BlobCacheCount(), 0u);
  ASSERT_TRUE(InsertCurrent(*TableB, CB));
  EXPECT_EQ(Walk(*TableA, CA), (std::vector<std::string>{"1:" + std::string(700, 'd'), "2:" + std::string(700, 'd')}));
}

TEST_F(DiskTableRecordsTest, ACancelledEditDropsItsUnstoredValue) {
  ASSERT_TRUE(Insert(*TableA, CA, 1, "stored"));
  ASSERT_TRUE(MoveTo(*TableA, CA, 1));
  WriteMemo(*TableA, CA, "edited");
  EXPECT_EQ(TableA->BlobManager()->BlobCacheCount(), 1u);
  TableA->ClearBLOBFieldsInRecordBuffer(CA.FCurrentRecordBuffer);
  EXPECT_EQ(TableA->BlobManager()->BlobCacheCount(), 1u) << "clearing the caches keeps a changed value";
  TableA->ClearModifiedBLOBFieldsInRecordBuffer(CA.FCurrentRecordBuffer);
  EXPECT_EQ(TableA->BlobManager()->BlobCacheCount(), 0u);
  EXPECT_EQ(Walk(*TableA, CA), (std::vector<std::string>{"1:stored"}));
}

TEST_F(DiskTableRecordsTest, RecordChangesWithoutABufferOrRecordsAreRefused) {
  std::uint8_t* Buffer = CA.FCurrentRecordBuffer;
  CA.FCurrentRecordBuffer = nullptr;
  TQXLCursor* c = &CA;
  EXPECT_EQ(NativeCodeOf([&] { TableA->InsertRecord(c); }), 20136);
  EXPECT_EQ(NativeCodeOf([&] { UpdateCurrent(*TableA, CA); }), 20139);
  CA.FCurrentRecordBuffer = Buffer;
  TQXLDiskTableData Closed(A->Database.get());
  EXPECT_EQ(NativeCodeOf([&] { Closed.InsertRecord(c); }), 20135);
  EXPECT_EQ(NativeCodeOf([&] { Closed.DeleteRecord(&CA); }), 20137);
  EXPECT_EQ(NativeCodeOf([&] { Closed.UpdateRecord(&CA); }), 20138);
}

}  // namespace
}  // namespace disktable
