#include <gtest/gtest.h>

#include "FileTestSupport.h"

using namespace platform;
using platform::test::HoldingChild;
using platform::test::OpenShared;
using platform::test::RunInChild;
using platform::test::ScratchPath;

TEST(FileLock, TwoHandlesOfOneProcessExcludeEachOther) {
  ScratchPath path;
  for (AccessMode access : {AccessMode::ReadWrite, AccessMode::ReadOnly}) {
    SCOPED_TRACE(access == AccessMode::ReadWrite ? "read-write" : "read-only");
    File a = OpenShared(path, access), b = OpenShared(path, access);
    ASSERT_TRUE(a.Lock(100, 1));
    EXPECT_FALSE(b.Lock(100, 1));
    EXPECT_FALSE(b.Lock(90, 20));  // overlaps
    EXPECT_TRUE(b.Lock(101, 1));
    EXPECT_TRUE(b.IsByteLocked(100));
    EXPECT_TRUE(a.IsByteLocked(101));
    EXPECT_FALSE(a.IsRegionLocked(102, 10));
    ASSERT_TRUE(a.Unlock(100, 1));
    EXPECT_TRUE(b.Lock(100, 1));
  }
}

TEST(FileLock, ReadOnlyAndReadWriteHandlesExcludeEachOther) {
  ScratchPath path;
  File reader = OpenShared(path, AccessMode::ReadOnly), writer = OpenShared(path);
  ASSERT_TRUE(reader.Lock(5, 1));
  EXPECT_FALSE(writer.Lock(5, 1));
  ASSERT_TRUE(writer.Lock(6, 1));
  EXPECT_FALSE(reader.Lock(6, 1));
  EXPECT_TRUE(reader.IsByteLocked(6));
  EXPECT_TRUE(writer.IsByteLocked(5));
}

TEST(FileLock, HandleIsRefusedASecondLockOnWhatItHolds) {
  ScratchPath path;
  File f = OpenShared(path);
  ASSERT_TRUE(f.Lock(10, 5));
  EXPECT_FALSE(f.Lock(10, 5));
  EXPECT_FALSE(f.Lock(12, 1));
  EXPECT_FALSE(f.Lock(14, 3));
  EXPECT_FALSE(f.Lock(0, 11));
  EXPECT_TRUE(f.IsByteLocked(12));  // its own lock counts as locked
  EXPECT_TRUE(f.Lock(15, 1));
  EXPECT_TRUE(f.Lock(9, 1));
  // The refused attempts did not widen or drop the lock.
  ASSERT_TRUE(f.Unlock(10, 5));
  File other = OpenShared(path);
  EXPECT_TRUE(other.Lock(10, 5));
  EXPECT_FALSE(other.Lock(15, 1));
}

TEST(FileLock, UnlockingWhatIsNotHeldFails) {
  ScratchPath path;
  File a = OpenShared(path), b = OpenShared(path);
  EXPECT_FALSE(a.Unlock(0, 1));
  ASSERT_TRUE(a.Lock(0, 4));
  EXPECT_FALSE(a.Unlock(0, 2));  // not the locked bounds
  EXPECT_FALSE(a.Unlock(1, 4));
  EXPECT_FALSE(b.Unlock(0, 4));  // another handle's lock
  EXPECT_FALSE(b.Lock(0, 1));    // ...which is still in place
  EXPECT_TRUE(a.Unlock(0, 4));
  EXPECT_FALSE(a.Unlock(0, 4));
  EXPECT_TRUE(b.Lock(0, 1));
}

TEST(FileLock, InvalidRangesAreNeverGranted) {
  ScratchPath path;
  File f = OpenShared(path);
  struct Case {
    std::int64_t offset, count;
  } cases[] = {{-1, 1}, {0, 0}, {0, -5}, {File::ShareBytesOffset, 1}, {File::ShareBytesOffset - 1, 2},
               {INT64_MAX, 1}, {1, INT64_MAX}};
  for (const Case& c : cases) {
    EXPECT_FALSE(f.Lock(c.offset, c.count)) << c.offset << "," << c.count;
    EXPECT_TRUE(f.IsRegionLocked(c.offset, c.count)) << c.offset << "," << c.count;
  }
  // A lock just below the share bytes is fine and leaves sharing intact.
  EXPECT_TRUE(f.Lock(File::ShareBytesOffset - 1, 1));
  File exclusive;
  EXPECT_THROW(exclusive.Open(path, AccessMode::ReadOnly, ShareMode::Exclusive), EOSError);
}

TEST(FileLock, ClosingOneHandleLeavesAnotherHandlesLocks) {
  ScratchPath path;
  File a = OpenShared(path), b = OpenShared(path), c = OpenShared(path);
  ASSERT_TRUE(a.Lock(5, 1));
  ASSERT_TRUE(c.Lock(6, 1));
  b.Close();
  c.Close();
  File d = OpenShared(path);
  EXPECT_FALSE(d.Lock(5, 1));
  EXPECT_TRUE(d.Lock(6, 1));  // the closed handle's lock went with it
}

TEST(FileLock, SecondProcessIsExcluded) {
  ScratchPath path;
  File f = OpenShared(path);
  ASSERT_TRUE(f.Lock(7, 1));
  int code = RunInChild([&] {
    File g = OpenShared(path);
    if (g.Lock(7, 1)) return 1;
    if (!g.IsByteLocked(7)) return 2;
    if (!g.Lock(8, 1)) return 3;
    return 0;  // the lock on 8 goes when the child exits
  });
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(f.Lock(8, 1));

  // And the other way round: a lock of the child keeps this process out.
  HoldingChild holder(path, [](File& g) { return g.Lock(20, 4) ? 'y' : 'n'; });
  EXPECT_EQ(holder.Report(), 'y');
  EXPECT_FALSE(f.Lock(22, 1));
  EXPECT_TRUE(f.IsRegionLocked(0, 21));
  holder.Release();
  EXPECT_TRUE(f.Lock(22, 1));
}

TEST(FileLock, ProcessThatDiesReleasesItsLocksAtOnce) {
  ScratchPath path;
  HoldingChild holder(path, [](File& g) { return g.Lock(9, 1) ? 'y' : 'n'; });
  ASSERT_EQ(holder.Report(), 'y');
  File f = OpenShared(path);
  EXPECT_FALSE(f.Lock(9, 1));
  holder.Kill();
  EXPECT_TRUE(f.Lock(9, 1));
}

TEST(FileLock, ProbeNeverDisturbsALockBeingTaken) {
  ScratchPath path;
  HoldingChild prober(
      path, [](File&) { return 'r'; },
      [](File& g) {
        for (;;) (void)g.IsByteLocked(3);  // probe as fast as possible
      });
  ASSERT_EQ(prober.Report(), 'r');
  File f = OpenShared(path);
  int refused = 0;
  for (int i = 0; i < 20000; ++i) {
    if (!f.Lock(3, 1)) ++refused;
    else f.Unlock(3, 1);
  }
  prober.Kill();
  EXPECT_EQ(refused, 0);
}

TEST(FileLock, ProbeLeavesTheProbingHandlesOwnLock) {
  ScratchPath path;
  File a = OpenShared(path), b = OpenShared(path);
  ASSERT_TRUE(a.Lock(3, 1));
  EXPECT_TRUE(a.IsByteLocked(3));
  EXPECT_TRUE(b.IsByteLocked(3));
  EXPECT_FALSE(b.Lock(3, 1));
  EXPECT_TRUE(a.Unlock(3, 1));
}
