// Record locks of sessions on separate handles, and the locks of a
// transaction around its commit.
#include "engine/storage/locks/QXLDatabaseTableLockManager.h"
#include "platform/Clock.h"
#include "tests/engine/storage/locks/LocksTestSupport.h"

using namespace qxl;

namespace {

const TQXLPageItemID R1{10, 1}, R2{10, 2};

bool LockRecord(LocksTest::THandle& H, std::int32_t Session, const TQXLPageItemID& Record) {
  return H.Manager->LockRecord(Session, H.A, Record, 1, 0);
}

TEST_F(LocksTest, ARecordIsLockedByOneSessionAtATime) {
  auto H = Open(), R = Open();
  ASSERT_TRUE(LockRecord(*H, 0, R1));
  EXPECT_FALSE(LockRecord(*H, 0, R2));  // one record per session and table
  EXPECT_FALSE(LockRecord(*R, 1, R1));
  EXPECT_TRUE(R->Manager->IsRecordLocked(1, R->A, R1));
  EXPECT_FALSE(R->Manager->IsRecordLocked(1, R->A, R2));
  EXPECT_FALSE(H->Manager->IsRecordLocked(0, H->A, R1));  // one's own lock never counts
  ASSERT_TRUE(LockRecord(*R, 1, R2));
  EXPECT_TRUE(H->Manager->IsRecordLocked(0, H->A, R2));
  EXPECT_TRUE(H->Manager->UnlockRecord(0, H->A, R1));
  EXPECT_FALSE(H->Manager->UnlockRecord(0, H->A, R1));
  EXPECT_FALSE(R->Manager->IsRecordLocked(1, R->A, R1));
  EXPECT_TRUE(LockRecord(*R, 2, R1));
  // A record lock leaves table locks of others alone.
  EXPECT_TRUE(Try(*H, 0, ltRW));
}

TEST_F(LocksTest, RecordLockRetriesPauseAfterEveryRefusal) {
  auto H = Open(), R = Open();
  ASSERT_TRUE(LockRecord(*H, 0, R1));
  platform::FakeClock Clock;
  platform::ScopedClock UseClock(Clock);
  EXPECT_FALSE(R->Manager->LockRecord(1, R->A, R1, 15, 100));
  EXPECT_EQ(Clock.SleepCount(), 15u);
  EXPECT_EQ(Clock.SleptMs(), 1500u);
  // The time limit ends the tries too: here every look at the clock finds a
  // second gone, so the second pause ends them.
  struct TSlowClock : platform::FakeClock {
    std::uint32_t GetTickCount() override {
      Advance(1000);
      return FakeClock::GetTickCount();
    }
  } Slow;
  platform::ScopedClock UseSlow(Slow);
  EXPECT_FALSE(R->Manager->LockRecord(1, R->A, R1, 15, 100));
  EXPECT_EQ(Slow.SleepCount(), 2u);
}

TEST_F(LocksTest, TheRecordIsStoredBeforeItsByteIsTaken) {
  // Whoever finds a session's record byte locked reads the record beside it
  // without the file lock; the record must be in place by the time the byte
  // can be seen. Here another handle holds the byte, so that the moment of
  // taking it shows.
  auto H = Open();
  ASSERT_TRUE(LockRecord(*H, 0, R1));
  ASSERT_TRUE(H->Manager->UnlockRecord(0, H->A, R1));
  auto Other = Open();
  TQXLInternalDBDirectAccessFile Bytes(Other->M, ptTableLocks);
  Bytes.OpenFile(TablePageA);
  ASSERT_TRUE(Bytes.LockByte(ltU * N + 0));
  EXPECT_FALSE(H->A.LockRecord(0, R2));
  TQXLPageItemID Stored;
  Bytes.ReadBuffer(&Stored, sizeof Stored, ltX * N + 0);
  EXPECT_EQ(Stored, R2);
  EXPECT_TRUE(Other->A.IsRecordLockedByAnyOtherSession(1, R2));
}

TEST_F(LocksTest, RecordLockUnderExclusiveOrStrictWriteIntentTakesNoByte) {
  auto H = Open();
  ASSERT_TRUE(Try(*H, 0, ltXIRW, false));
  ASSERT_TRUE(LockRecord(*H, 0, R1));
  EXPECT_FALSE(ByteHeld(0, ltU));
  // When the write intent goes, the record lock gets its byte and its record.
  ASSERT_TRUE(Release(*H, 0, ltXIRW));
  EXPECT_TRUE(ByteHeld(0, ltU));
  auto R = Open();
  EXPECT_TRUE(R->Manager->IsRecordLocked(1, R->A, R1));
}

TEST_F(LocksTest, CommitTurnsWriteIntentIntoWriteLocksAndClearsThemAfterwards) {
  auto H = Open(), R = Open();
  ASSERT_TRUE(H->Manager->LockTable(0, ltXIRW, H->A, 1, 0, false, true));
  ASSERT_TRUE(H->Manager->LockTable(0, ltXIRW, H->B, 1, 0, false, true));
  ASSERT_TRUE(H->Manager->LockRecord(0, H->A, R1, 1, 0));
  ASSERT_TRUE(H->Manager->AddRWLocksBeforeCommit(0));
  EXPECT_TRUE(ByteHeld(0, ltRW));
  EXPECT_FALSE(Try(*R, 1, ltS));
  ASSERT_TRUE(H->Manager->ClearTransactionLocks(0));
  // Left: the record lock and the read intent that keeps it company.
  const auto& Items = H->Manager->SessionLocks(0).Items();
  ASSERT_EQ(Items.size(), 2u);
  EXPECT_EQ(Items[0].LockType, ltU);
  EXPECT_EQ(Items[1].LockType, ltSIRW);
  EXPECT_FALSE(ByteHeld(0, ltRW));
  EXPECT_FALSE(ByteHeld(0, ltXIRW));
  EXPECT_TRUE(ByteHeld(0, ltSIRW));
  EXPECT_TRUE(Try(*R, 1, ltS));
}

TEST_F(LocksTest, CommitLocksThatCannotBeHadAreAllGivenBack) {
  auto H = Open(), R = Open();
  ASSERT_TRUE(H->Manager->LockTable(0, ltXIRW, H->A, 1, 0, false, true));
  ASSERT_TRUE(H->Manager->LockTable(0, ltXIRW, H->B, 1, 0, false, true));
  ASSERT_TRUE(R->Manager->LockTable(1, ltS, R->B, 1, 0, false, true));
  platform::FakeClock Clock;
  platform::ScopedClock UseClock(Clock);
  EXPECT_FALSE(H->Manager->AddRWLocksBeforeCommit(0));
  EXPECT_EQ(Clock.SleepCount(), 900u);
  for (const TQXLTableLockItem& Item : H->Manager->SessionLocks(0).Items()) EXPECT_NE(Item.LockType, ltRW);
  EXPECT_FALSE(ByteHeld(0, ltRW));
}

}  // namespace
