// The local cursor's record protocol on a multi-user database file within one
// process: posts and deletes of records read back with a BLOB and a short
// text, the edit copy released after a post or cancel, the one record in
// edit per session and table, a refused post that keeps its locks, batches,
// and the BLOB streams' rules.
#include <gtest/gtest.h>

#include "engine/datasets/QXLEngineError.h"
#include "engine/storage/disk/QXLDiskDatabaseData.h"
#include "engine/storage/disk/QXLDiskTableData.h"
#include "platform/Clock.h"
#include "tests/engine/storage/StorageTestUtil.h"
#include "tests/support/DiskTableUser.h"
#include "tests/support/EngineErrors.h"
#include "tests/support/LocalCursorUser.h"

using namespace qxl;
using qxl::testsupport::TLocalCursorUser;

namespace {

class LocalCursorRecordTest : public ::testing::Test {
protected:
  void SetUp() override {
    qxl::testsupport::CreateDatabaseFile(File, {}, 8);
    Owner = std::make_unique<TLocalCursorUser>(File, "-");
    Owner->CreateTable();
    Owner->Open();
    Owner->Insert(1, 10, "one");
    Owner->Insert(2, 20, "two");
  }

  TScratchDir Dir;
  std::string File = Dir.File("records.qxl");
  platform::FakeClock Clock;
  platform::ScopedClock UseClock{Clock};
  std::unique_ptr<TLocalCursorUser> Owner;
};

}  // namespace

TEST_F(LocalCursorRecordTest, AnEditPostedIsReadBackAndReleasesItsLocks) {
  Owner->MoveTo(2);
  Owner->BeginEdit();
  ASSERT_EQ(Owner->Code(), 0);
  auto* disk = dynamic_cast<TQXLDiskTableData*>(Owner->Cursor().TableData());
  ASSERT_NE(disk, nullptr);
  Owner->Set(TLocalCursorUser::ValueField, 21);
  Owner->Post();
  EXPECT_EQ(Owner->Code(), 0);
  EXPECT_EQ(Owner->Cursor().FEditRecordBuffer, nullptr);

  TLocalCursorUser Other(File, "-", "Other");
  Other.Open();
  Other.MoveTo(2);
  EXPECT_EQ(Other.Get(TLocalCursorUser::ValueField), 21);
  EXPECT_FALSE(Other.Cursor().IsRecordLocked());
  // Nothing of the edit is left held: another session edits the same record at once.
  Other.BeginEdit();
  EXPECT_EQ(Other.Code(), 0);
  Other.Cancel();
  EXPECT_EQ(Other.Cursor().FEditRecordBuffer, nullptr);
  EXPECT_EQ(Clock.SleepCount(), 0u);
}

TEST_F(LocalCursorRecordTest, ARecordWithABlobAndAShortTextIsDeletedAfterARereads) {
  Owner->MoveTo(1);
  Owner->BeginEdit();
  Owner->WriteDoc(std::string(3000, 'd'));
  Owner->SetNote("x");
  Owner->Post();
  ASSERT_EQ(Owner->Code(), 0);
  Owner->MoveTo(1);
  EXPECT_EQ(Owner->ReadDoc(), std::string(3000, 'd'));
  // Reading the BLOB refetched the record: its in-memory BLOB bytes now
  // name another cache than the first read's.
  Owner->MoveTo(1);
  Owner->Delete();
  EXPECT_EQ(Owner->Code(), 0) << Owner->Cursor().ErrorMessage();
  EXPECT_THROW(Owner->MoveTo(1), std::runtime_error);
  Owner->MoveTo(2);
}

TEST_F(LocalCursorRecordTest, ASecondEditOfOneSessionOnATableIsRefusedAtOnce) {
  Owner->MoveTo(1);
  Owner->BeginEdit();
  ASSERT_EQ(Owner->Code(), 0);
  std::unique_ptr<TQXLLocalCursor> second = Owner->NewCursor();
  TLocalCursorUser::Open(*second);
  ASSERT_EQ(second->GetRecordBuffer(grmNext), grrOK);
  second->InternalEdit();
  EXPECT_EQ(second->ErrorCode(), -13);
  EXPECT_EQ(Clock.SleepCount(), 0u);
  Owner->Cancel();
  second->InternalEdit();
  EXPECT_EQ(second->ErrorCode(), 0);
  second->InternalCancel(false);
}

TEST_F(LocalCursorRecordTest, AConstraintFailureKeepsTheLocksUntilACorrectedPost) {
  Owner->MoveTo(1);
  Owner->BeginEdit();
  Owner->SetNull(TLocalCursorUser::ValueField);
  Owner->Post();
  EXPECT_EQ(Owner->Code(), -8);
  EXPECT_NE(Owner->Cursor().ErrorMessage().find("cannot be null"), std::string::npos) << Owner->Cursor().ErrorMessage();
  EXPECT_EQ(EQXLEngineError(Owner->Code(), Owner->Cursor().ErrorMessage()).ErrorMessage(),
            Owner->Cursor().ErrorMessage());
  EXPECT_NE(Owner->Cursor().FEditRecordBuffer, nullptr);

  TLocalCursorUser Other(File, "-", "Other");
  Other.Open();
  Other.MoveTo(1);
  EXPECT_TRUE(Other.Cursor().IsRecordLocked());

  Owner->Set(TLocalCursorUser::ValueField, 11);
  Owner->Post();
  EXPECT_EQ(Owner->Code(), 0);
  Other.MoveTo(1);
  EXPECT_FALSE(Other.Cursor().IsRecordLocked());
  EXPECT_EQ(Other.Get(TLocalCursorUser::ValueField), 11);
}

TEST_F(LocalCursorRecordTest, ABatchCancelledLeavesNothingAndOneEndedCommitsAll) {
  TLocalCursorUser Other(File, "-", "Other");
  Other.Open();
  for (bool commit : {false, true}) {
    SCOPED_TRACE(commit);
    Owner->Cursor().BeginBatchUpdate();
    EXPECT_TRUE(Owner->Cursor().InBatchUpdate());
    Owner->Insert(3, 30);
    Owner->MoveTo(1);
    Owner->BeginEdit();
    Owner->Set(TLocalCursorUser::ValueField, 99);
    Owner->Post();
    ASSERT_EQ(Owner->Code(), 0);
    Other.MoveTo(1);
    EXPECT_EQ(Other.Get(TLocalCursorUser::ValueField), 10);
    if (commit)
      Owner->Cursor().EndBatchUpdate();
    else
      Owner->Cursor().CancelBatchUpdate();
    EXPECT_FALSE(Owner->Cursor().InBatchUpdate());
    Other.MoveTo(1);
    EXPECT_EQ(Other.Get(TLocalCursorUser::ValueField), commit ? 99 : 10);
    EXPECT_EQ(Other.Cursor().GetRecordCount(), commit ? 3 : 2);
  }
}

TEST_F(LocalCursorRecordTest, BlobStreamsAllowManyReadersAndOneWriterPerField) {
  Owner->MoveTo(1);
  TQXLLocalCursor& c = Owner->Cursor();
  EXPECT_NE(c.InternalCreateBlobStream(false, true, TLocalCursorUser::DocField, bomRead, true), nullptr);
  EXPECT_NE(c.InternalCreateBlobStream(false, true, TLocalCursorUser::DocField, bomRead, true), nullptr);
  EXPECT_NE(c.InternalCreateBlobStream(false, true, TLocalCursorUser::DocField, bomWrite, true), nullptr);
  EXPECT_EQ(MessageOf([&] { c.InternalCreateBlobStream(false, true, TLocalCursorUser::DocField, bomReadWrite, true); }),
            "BLOB field already opened. FieldNo = 3, FieldName = Doc - Native error: 10115");
  EXPECT_EQ(c.FBLOBStreams.size(), 3u);
  EXPECT_EQ(NativeCodeOf([&] { c.InternalCreateBlobStream(false, true, 4, bomRead, true); }), 10110);
  EXPECT_EQ(NativeCodeOf([&] { c.InternalCreateBlobStream(false, true, -1, bomRead, true); }), 10110);
  EXPECT_EQ(NativeCodeOf([&] { c.InternalCloseBLOB(4); }), 10118);
  c.InternalCloseBLOB(TLocalCursorUser::DocField);
  EXPECT_TRUE(c.FBLOBStreams.empty());
}
