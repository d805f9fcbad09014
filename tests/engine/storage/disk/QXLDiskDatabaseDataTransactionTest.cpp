// Commit and rollback of the disk database data: a session's pages reach
// other processes only with its commit and go back with its rollback; in
// multi-user mode the commit takes write locks on the transaction's tables
// first and gives up all its table locks afterwards, waiting for them to go.
#include "engine/storage/disk/QXLDiskDatabaseData.h"

#include <functional>

#include "engine/storage/locks/QXLDatabaseTableLockManager.h"
#include "engine/storage/locks/QXLTableLocksFile.h"
#include "platform/Clock.h"
#include "tests/engine/storage/disk/DiskDatabaseTestSupport.h"

using namespace qxl;

namespace {

class DiskDatabaseTransactionTest : public ::testing::Test {
protected:
  void SetUp() override {
    auto D = DiskDatabase(Name, N);
    D->CreateDatabase();
    TTestSession S;
    Connect(*D, S);
    TablePage = TQXLTableLocksFile(*D->DiskPageManager()).CreateFile(N);
    D->DiskPageManager()->ApplyChanges(QXLSystemSessionID);
    D->DisconnectSession(&S);
  }
  // The locks file of the one table, opened in D's file.
  std::unique_ptr<TQXLTableLocksFile> Table(TQXLDiskDatabaseData& D) {
    auto File = std::make_unique<TQXLTableLocksFile>(*D.DiskPageManager());
    File->OpenFile(TablePage);
    return File;
  }
  // A transaction's locks on the table, taken at the first try.
  void Lock(TQXLDiskDatabaseData& D, std::int32_t SessionID, TQXLLockType Type, TQXLTableLocksFile& File) {
    ASSERT_TRUE(D.TableLockManager()->LockTable(SessionID, Type, File, 1, 0, false, false));
  }

  static constexpr std::int32_t N = 4;
  TScratchDir Dir;
  std::string Name = Dir.File("tx.qxl");
  std::int32_t TablePage = -1;
};

// Runs Action once the clock has been asked to sleep After times.
class TTriggerClock : public platform::FakeClock {
public:
  TTriggerClock(std::uint64_t After, std::function<void()> Action) : FAfter(After), FAction(std::move(Action)) {}
  void Sleep(std::uint32_t ms) override {
    platform::FakeClock::Sleep(ms);
    if (SleepCount() == FAfter) FAction();
  }

private:
  std::uint64_t FAfter;
  std::function<void()> FAction;
};

}  // namespace

TEST_F(DiskDatabaseTransactionTest, CommitPublishesPagesAndRollbackGivesThemBack) {
  TTwoProcesses Processes(Name);
  auto& [A, B, SA, SB] = Processes;
  const std::int32_t Kept = WriteTaggedPage(*A, SA.FSessionID, "kept");
  A->Commit(SA.FSessionID, true);
  EXPECT_EQ(ReadTag(*B, SB.FSessionID, Kept), "kept");

  const std::int32_t Dropped = WriteTaggedPage(*A, SA.FSessionID, "dropped");
  A->Rollback(SA.FSessionID);
  EXPECT_EQ(A->DiskPageManager()->FindSession(SA.FSessionID)->AddedPageNumbers.ItemCount(), 0);
  // The number is free again: the next page of any process takes it.
  EXPECT_EQ(WriteTaggedPage(*B, SB.FSessionID, "reused"), Dropped);
  B->Commit(SB.FSessionID, false);
  EXPECT_EQ(ReadTag(*A, SA.FSessionID, Dropped), "reused");
  Processes.Disconnect();
}

TEST_F(DiskDatabaseTransactionTest, CommitWaitsForWriteLocksThenCommitsNothing) {
  platform::FakeClock Clock;
  platform::ScopedClock UseClock(Clock);
  TTwoProcesses Processes(Name);
  auto& [A, B, SA, SB] = Processes;
  auto TableA = Table(*A), TableB = Table(*B);
  Lock(*A, SA.FSessionID, ltXIRW, *TableA);
  Lock(*B, SB.FSessionID, ltS, *TableB);
  const std::int32_t Page = WriteTaggedPage(*A, SA.FSessionID, "held back");

  EXPECT_EQ(MessageOf([&] { A->Commit(SA.FSessionID, false); }),
            "Cannot commit changes. Locks of modified tables failed - Native error: 20233");
  EXPECT_GE(Clock.SleepCount(), std::uint64_t(TQXLDatabaseTableLockManager::CommitTries) - 1);
  EXPECT_NE(ReadTag(*B, SB.FSessionID, Page), "held back");
  // The transaction goes on: once the reader leaves, the same commit passes.
  ASSERT_TRUE(B->TableLockManager()->UnlockTable(SB.FSessionID, ltS, *TableB, false, false));
  A->Commit(SA.FSessionID, false);
  EXPECT_EQ(ReadTag(*B, SB.FSessionID, Page), "held back");
  EXPECT_EQ(A->TableLockManager()->SessionLocks(SA.FSessionID).Count(), 0);
  Processes.Disconnect();
}

TEST_F(DiskDatabaseTransactionTest, CommitKeepsReleasingItsLocksUntilTheyGo) {
  TTwoProcesses Processes(Name);
  auto& [A, Blocker, SA, SB] = Processes;
  auto TableA = Table(*A), Held = Table(*Blocker);
  Lock(*A, SA.FSessionID, ltXIRW, *TableA);
  Lock(*A, SA.FSessionID, ltRW, *TableA);
  WriteTaggedPage(*A, SA.FSessionID, "changed");
  // Another process holds the locks file's own lock through one whole round
  // of the lock manager's release tries, and lets go well into the next.
  ASSERT_TRUE(Held->LockFile());
  TTriggerClock Clock(3 * TQXLDatabaseTableLockManager::ReleaseTries, [&] { Held->UnlockFile(); });
  platform::ScopedClock UseClock(Clock);

  A->Commit(SA.FSessionID, false);
  EXPECT_EQ(A->TableLockManager()->SessionLocks(SA.FSessionID).Count(), 0);
  // Nothing of the transaction is left to keep another session out.
  auto TableB = Table(*Blocker);
  EXPECT_TRUE(Blocker->TableLockManager()->LockTable(SB.FSessionID, ltX, *TableB, 1, 0, false, false));
  Blocker->TableLockManager()->UnlockTable(SB.FSessionID, ltX, *TableB, false, false);
  Processes.Disconnect();
}

TEST_F(DiskDatabaseTransactionTest, RollbackDropsTheTransactionsLocksAndPages) {
  TTwoProcesses Processes(Name);
  auto& [A, B, SA, SB] = Processes;
  auto TableA = Table(*A), TableB = Table(*B);
  Lock(*A, SA.FSessionID, ltXIRW, *TableA);
  WriteTaggedPage(*A, SA.FSessionID, "dropped");
  A->Rollback(SA.FSessionID);
  EXPECT_EQ(A->TableLockManager()->SessionLocks(SA.FSessionID).Count(), 0);
  EXPECT_EQ(A->DiskPageManager()->FindSession(SA.FSessionID)->AddedPageNumbers.ItemCount(), 0);
  EXPECT_TRUE(B->TableLockManager()->LockTable(SB.FSessionID, ltXIRW, *TableB, 1, 0, false, false));
  Processes.Disconnect();
}

TEST_F(DiskDatabaseTransactionTest, ASessionLeavingInsideATransactionLeavesNothingToTheNextOfItsNumber) {
  auto D = DiskDatabase(Name, N);
  TTestSession Stays, Leaves, Next;
  Connect(*D, Stays);
  Connect(*D, Leaves);
  const std::int32_t Number = Leaves.FSessionID;
  auto File = Table(*D);
  ASSERT_TRUE(D->TableLockManager()->LockRecord(Number, *File, TQXLPageItemID{5, 1}, 1, 0));
  Lock(*D, Number, ltXIRW, *File);
  const std::int32_t Page = WriteTaggedPage(*D, Number, "uncommitted");
  Leaves.FInTransaction = true;
  D->DisconnectSession(&Leaves);
  EXPECT_EQ(Leaves.Rollbacks, 1);
  EXPECT_FALSE(Leaves.FInTransaction);
  EXPECT_EQ(D->TableLockManager()->SessionLocks(Number).Count(), 0);

  Connect(*D, Next);
  ASSERT_EQ(Next.FSessionID, Number);
  D->Commit(Next.FSessionID, false);
  auto Other = DiskDatabase(Name, N);
  TTestSession Elsewhere;
  Connect(*Other, Elsewhere);
  EXPECT_NE(ReadTag(*Other, Elsewhere.FSessionID, Page), "uncommitted");
  auto OtherFile = Table(*Other);
  EXPECT_FALSE(Other->TableLockManager()->IsRecordLocked(Elsewhere.FSessionID, *OtherFile, TQXLPageItemID{5, 1}));
  EXPECT_TRUE(Other->TableLockManager()->LockTable(Elsewhere.FSessionID, ltX, *OtherFile, 1, 0, false, false));
  Other->TableLockManager()->UnlockTable(Elsewhere.FSessionID, ltX, *OtherFile, false, false);
  Other->DisconnectSession(&Elsewhere);
  D->DisconnectSession(&Next);
  D->DisconnectSession(&Stays);
}
