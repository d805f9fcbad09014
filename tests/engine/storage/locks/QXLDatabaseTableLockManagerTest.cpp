// Table locks of sessions on separate handles: grants and refusals as the
// compatibility table says, counted and covered requests, hand-over on
// release, the exclusive mode, randomised pauses and bad input.
#include "engine/storage/locks/QXLDatabaseTableLockManager.h"

#include "engine/storage/locks/QXLLockCompatibility.h"
#include "platform/Clock.h"
#include "tests/engine/storage/locks/LocksTestSupport.h"

using namespace qxl;

namespace {

const TQXLLockType Modes[] = {ltIS, ltS, ltSIRW, ltXIRW, ltRW, ltU, ltX};

TEST_F(LocksTest, AnotherSessionIsGrantedWhatTheTableAllows) {
  auto H = Open(), R = Open();
  ExpectGrantsAsTheTableSays(*H, *R);
  // XIRW after SIRW only when the request allows it.
  ASSERT_TRUE(Try(*H, 0, ltSIRW));
  EXPECT_FALSE(Try(*R, 1, ltXIRW, false));
  EXPECT_TRUE(Try(*R, 1, ltXIRW, true));
  H->Manager->UnlockTable(0, ltSIRW, H->A, false, false);
  R->Manager->UnlockTable(1, ltXIRW, R->A, false, false);
  H->Manager->CheckNoLocks();
  R->Manager->CheckNoLocks();
}

// Sessions of one process share its handle: each sees the other's bytes and
// never its own, alone and beside a session of another handle.
TEST_F(LocksTest, SessionsSharingAHandleSeeEachOthersLocksButNotTheirOwn) {
  auto H = Open(), R = Open();
  ExpectGrantsAsTheTableSays(*H, *H);
  // A session holding S is granted RW over its own byte, unless another
  // session holds S as well, on its handle or on another one.
  ASSERT_TRUE(Try(*H, 0, ltS));
  ASSERT_TRUE(Try(*H, 0, ltRW));
  ASSERT_TRUE(Release(*H, 0, ltRW));
  ASSERT_TRUE(Try(*R, 2, ltS));
  EXPECT_FALSE(Try(*H, 0, ltRW));
  ASSERT_TRUE(Release(*R, 2, ltS));
  ASSERT_TRUE(Try(*H, 1, ltS));
  EXPECT_FALSE(Try(*H, 0, ltRW));
  ASSERT_TRUE(Release(*H, 1, ltS));
  ASSERT_TRUE(Release(*H, 0, ltS));
  H->Manager->CheckNoLocks();
  R->Manager->CheckNoLocks();
}

TEST_F(LocksTest, RepeatedRequestsAreCountedOnOneByte) {
  auto H = Open();
  ASSERT_TRUE(Try(*H, 0, ltIS));
  ASSERT_TRUE(Try(*H, 0, ltIS));
  ASSERT_EQ(H->Manager->SessionLocks(0).Count(), 1);
  EXPECT_EQ(H->Manager->SessionLocks(0).Items()[0].LockCount, 2);
  EXPECT_TRUE(ByteHeld(0, ltIS));
  EXPECT_TRUE(Release(*H, 0, ltIS));
  EXPECT_TRUE(ByteHeld(0, ltIS));
  EXPECT_TRUE(Release(*H, 0, ltIS));
  EXPECT_FALSE(ByteHeld(0, ltIS));
  EXPECT_EQ(MessageOf([&] { Release(*H, 0, ltIS); }), "Cannot remove table lock. Lock not found - Native error: 20202");
  EXPECT_TRUE(H->Manager->UnlockTable(0, ltIS, H->A, true, false));

  // A second SIRW is refused; a lock on another table takes a byte there.
  ASSERT_TRUE(Try(*H, 0, ltSIRW));
  EXPECT_FALSE(Try(*H, 0, ltSIRW));
  ASSERT_TRUE(H->Manager->LockTable(0, ltSIRW, H->B, 1, 0, false, true));
  EXPECT_EQ(H->Manager->SessionLocks(0).Count(), 2);
  EXPECT_TRUE(H->Manager->SessionLocks(0).Items()[1].HasPhysicalLock);
  EXPECT_EQ(MessageOf([&] { H->Manager->CheckNoLocks(); }), "Some table locks still exist - Native error: 20201");
}

TEST_F(LocksTest, ACoveredLockTakesItsOwnByteWhenTheCoveringOneGoes) {
  auto H = Open(), R = Open();
  ASSERT_TRUE(Try(*H, 0, ltXIRW));
  ASSERT_TRUE(Try(*H, 0, ltS));
  EXPECT_FALSE(ByteHeld(0, ltS));
  EXPECT_FALSE(H->Manager->SessionLocks(0).Items()[1].HasPhysicalLock);
  ASSERT_TRUE(Release(*H, 0, ltXIRW));
  EXPECT_TRUE(ByteHeld(0, ltS));
  EXPECT_FALSE(ByteHeld(0, ltXIRW));
  EXPECT_TRUE(H->Manager->SessionLocks(0).Items()[0].HasPhysicalLock);
  // The table still shows the S lock: RW stays refused.
  EXPECT_FALSE(Try(*R, 1, ltRW));
  ASSERT_TRUE(Release(*H, 0, ltS));
  EXPECT_TRUE(Try(*R, 1, ltRW));
}

TEST_F(LocksTest, ExclusiveLockIsTheFileLockHeldOverTime) {
  auto H = Open(), R = Open();
  ASSERT_TRUE(Try(*R, 1, ltIS));
  EXPECT_FALSE(Try(*H, 0, ltX));
  ASSERT_TRUE(Release(*R, 1, ltIS));
  ASSERT_TRUE(Try(*H, 0, ltX));
  for (TQXLLockType Mode : Modes) EXPECT_FALSE(Try(*R, 1, Mode)) << int(Mode);
  // Requests of the holder rest on X.
  ASSERT_TRUE(Try(*H, 0, ltS));
  ASSERT_TRUE(Release(*H, 0, ltX));
  EXPECT_TRUE(ByteHeld(0, ltS));
  EXPECT_TRUE(Try(*R, 1, ltIS));
  EXPECT_FALSE(Try(*R, 1, ltRW));
}

TEST_F(LocksTest, RetriesPauseARandomTimeBetweenHalfAndAllOfTheDelay) {
  auto H = Open(), R = Open();
  ASSERT_TRUE(Try(*H, 0, ltX));
  platform::FakeClock Clock;
  platform::ScopedClock UseClock(Clock);
  EXPECT_FALSE(R->Manager->LockTable(1, ltIS, R->A, 50, 100, false, true));
  EXPECT_EQ(Clock.SleepCount(), 50u);
  EXPECT_GE(Clock.SleptMs(), 50u * 50);
  EXPECT_LE(Clock.SleptMs(), 50u * 99);
  EXPECT_GT(Clock.SleptMs(), 50u * 50);  // not every pause the shortest
  EXPECT_FALSE(R->Manager->LockTable(1, ltIS, R->A, 0, 100, false, true));
  EXPECT_EQ(Clock.SleepCount(), 50u);
}

TEST_F(LocksTest, ExclusivelyOpenedDatabaseRecordsNoLocks) {
  auto H = Open(true);
  EXPECT_TRUE(Try(*H, 0, ltX));
  EXPECT_TRUE(Release(*H, 0, ltS));
  EXPECT_EQ(H->Manager->SessionLocks(0).Count(), 0);
}

TEST_F(LocksTest, BadSessionsAndClosedFilesAreRefused) {
  auto H = Open();
  EXPECT_EQ(NativeCodeOf([&] { Try(*H, N, ltIS); }), 20186);
  EXPECT_EQ(NativeCodeOf([&] { Try(*H, -1, ltIS); }), 20186);
  EXPECT_EQ(MessageOf([&] { H->A.LockTable(N, ltIS); }),
            "Cannot set table lock. Try to repair database or to increase number of allowed connections - Native "
            "error: 20200");
  EXPECT_EQ(NativeCodeOf([&] { H->A.UnlockTable(-1, ltIS); }), 20186);
  EXPECT_EQ(NativeCodeOf([&] { H->A.IsRecordLockedByAnyOtherSession(N, {}); }), 20186);
  EXPECT_FALSE(H->A.LockTable(0, ltX));
  EXPECT_FALSE(H->A.IsTableLockedByAnyOtherSession(0, ltX));
  TQXLTableLocksFile Closed(H->M);
  EXPECT_EQ(MessageOf([&] { Closed.StartPageNo(); }), "Nil pointer occured - Native error: 10483");
  EXPECT_EQ(NativeCodeOf([&] { Closed.LockTable(0, ltIS); }), 10489);
  EXPECT_EQ(NativeCodeOf([&] { Closed.UnlockTable(0, ltIS); }), 10494);
  EXPECT_EQ(NativeCodeOf([&] { Closed.IsTableLockedByAnyOtherSession(0, ltIS); }), 10490);
  EXPECT_EQ(NativeCodeOf([&] { Closed.LockRecord(0, {}); }), 10491);
  EXPECT_EQ(NativeCodeOf([&] { Closed.UnlockRecord(0, {}); }), 10492);
  EXPECT_EQ(NativeCodeOf([&] { Closed.IsRecordLockedByAnyOtherSession(0, {}); }), 10493);
  EXPECT_EQ(NativeCodeOf([&] { H->Manager->LockTable(0, ltIS, Closed, 1, 0, false, true); }), 10483);
}

TEST_F(LocksTest, LocksFileHoldsTwelveBytesPerSession) {
  auto H = Open();
  EXPECT_EQ(H->A.MaxSessionCount(), N);
  TQXLTableLocksFile New(H->M);
  New.CreateFile(100);
  H->M.ApplyChanges(QXLSystemSessionID);
  TQXLTableLocksFile Again(H->M);
  Again.OpenFile(New.StartPageNo());
  EXPECT_EQ(Again.MaxSessionCount(), 100);
  EXPECT_TRUE(Again.LockTable(99, ltRW));
  EXPECT_TRUE(Again.LockRecord(99, {7, 3}));
  New.DeleteFile();
  H->M.ApplyChanges(QXLSystemSessionID);
  EXPECT_EQ(NativeCodeOf([&] { New.CreateFile(-1); }), 20304);
}

}  // namespace
