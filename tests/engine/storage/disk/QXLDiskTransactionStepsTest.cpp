// A disk commit's lock steps: RW refused commits nothing, a failed commit
// keeps the locks for the rollback, a release that fails is retried until the
// locks go and raised when they never do; the tables byte's bounded tries.
#include "engine/storage/disk/QXLDiskTransactionSteps.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/Clock.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace {

// Records the order of the steps; ClearLocks fails its first FailingClears calls.
struct TStepLog {
  std::string Steps;
  bool GrantRW = true;
  int FailingClears = 0;
  int Clears = 0;

  qxl::TTransactionLockSteps Locks() {
    return {[this] { Steps += "A"; return GrantRW; },
            [this] { Steps += "C"; ++Clears; return Clears > FailingClears; }};
  }
  std::function<void()> Pages() { return [this] { Steps += "P"; }; }
};

TEST(DiskTransactionSteps, CommitOrderInEachMode) {
  platform::FakeClock Clock;
  platform::ScopedClock Guard(Clock);
  TStepLog Multi, Single;
  qxl::CommitWithTableLocks(true, Multi.Locks(), Multi.Pages());
  qxl::CommitWithTableLocks(false, Single.Locks(), Single.Pages());
  EXPECT_EQ(Multi.Steps, "APC");
  EXPECT_EQ(Single.Steps, "P");
}

TEST(DiskTransactionSteps, RefusedRWLocksCommitNothing) {
  TStepLog Log;
  Log.GrantRW = false;
  EXPECT_EQ(NativeCodeOf([&] { qxl::CommitWithTableLocks(true, Log.Locks(), Log.Pages()); }), 20233);
  EXPECT_EQ(Log.Steps, "A");
}

TEST(DiskTransactionSteps, FailedPageCommitKeepsLocksForRollback) {
  TStepLog Log;
  auto Failing = [&] { Log.Steps += "P"; throw EQXLException(20001, "write failed"); };
  EXPECT_EQ(NativeCodeOf([&] { qxl::CommitWithTableLocks(true, Log.Locks(), Failing); }), 20001);
  EXPECT_EQ(Log.Steps, "AP");
}

// A release that fails a few times must not leave RW held after the commit.
TEST(DiskTransactionSteps, CommitRetriesReleaseUntilLocksGo) {
  platform::FakeClock Clock;
  platform::ScopedClock Guard(Clock);
  TStepLog Log;
  Log.FailingClears = 3;
  qxl::CommitWithTableLocks(true, Log.Locks(), Log.Pages());
  EXPECT_EQ(Log.Steps, "APCCCC");
  EXPECT_EQ(Clock.SleepCount(), 3u);
  EXPECT_EQ(Clock.SleptMs(), 3u * qxl::TransactionReleaseDelayMS);
}

// The pages are in the file by then: the error says so, and is not the one a
// failed commit raises, after which a rollback would follow.
TEST(DiskTransactionSteps, CommitRaisesWhenLocksCannotBeReleased) {
  platform::FakeClock Clock;
  platform::ScopedClock Guard(Clock);
  TStepLog Log;
  Log.FailingClears = qxl::TransactionReleaseTries;
  EXPECT_EQ(NativeCodeOf([&] { qxl::CommitWithTableLocks(true, Log.Locks(), Log.Pages()); }),
            qxl::CommittedWithLocksLeftCode);
  EXPECT_EQ(Log.Clears, qxl::TransactionReleaseTries);
  EXPECT_EQ(Log.Steps.substr(0, 3), "APC");

  TStepLog Raising;
  auto Locks = Raising.Locks();
  Locks.ClearLocks = [] () -> bool { throw EQXLException(20204, "Cannot unlock table"); };
  EXPECT_EQ(NativeCodeOf([&] { qxl::CommitWithTableLocks(true, Locks, Raising.Pages()); }),
            qxl::CommittedWithLocksLeftCode);
  EXPECT_EQ(Raising.Steps, "AP");
}

TEST(DiskTransactionSteps, TablesByteTriesThenRaises) {
  platform::FakeClock Clock;
  platform::ScopedClock Guard(Clock);
  int Tries = 0;
  qxl::LockDatabaseTables([&] { return ++Tries == 5; });
  EXPECT_EQ(Tries, 5);
  Tries = 0;
  EXPECT_EQ(NativeCodeOf([&] { qxl::LockDatabaseTables([&] { ++Tries; return false; }); }), 20210);
  EXPECT_EQ(Tries, qxl::LockTablesTries);
  EXPECT_EQ(NativeCodeOf([] { qxl::UnlockDatabaseTables([] { return false; }); }), 20211);
  EXPECT_EQ(NativeCodeOf([] { qxl::UnlockDatabaseTables([] { return true; }); }), 0);
}

}  // namespace
