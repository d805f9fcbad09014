// The sessions file between handles of one process, each of which stands for
// a process of its own: session numbers, the connection limit, single-user
// against multi-user, the count, and a file lock that cannot be had or given
// back.
#include "engine/storage/files/QXLActiveSessionsFile.h"

#include "engine/storage/files/QXLInternalDBDirectAccessFile.h"
#include "platform/Clock.h"
#include "tests/engine/storage/StorageTestUtil.h"
#include "tests/engine/storage/files/DatabaseStructureSupport.h"

using namespace qxl;

namespace {

constexpr std::int32_t N = 4;

// A sessions file whose chosen lock calls report failure.
class TFailingSessionsFile : public TQXLActiveSessionsFile {
public:
  using TQXLActiveSessionsFile::TQXLActiveSessionsFile;
  std::int32_t RefusedByte = -1;
  bool ReleaseFails = false;

protected:
  bool LockSessionByte(std::int32_t SessionID) override {
    return SessionID != RefusedByte && TQXLActiveSessionsFile::LockSessionByte(SessionID);
  }
  bool UnlockFileLock() override {
    const bool Released = TQXLActiveSessionsFile::UnlockFileLock();
    return Released && !ReleaseFails;
  }
};

class SessionsFileTest : public ::testing::Test {
protected:
  void SetUp() override { Structure = CreateStructuredDatabase(Name, N); }
  template <typename T = TQXLActiveSessionsFile>
  struct THandle {
    TQXLDiskPageManager M;
    T Sessions{M};
  };
  template <typename T = TQXLActiveSessionsFile>
  std::unique_ptr<THandle<T>> Open(bool MultiUser = true) {
    auto H = std::make_unique<THandle<T>>();
    bool ReadOnly = false, RepairNeeded = false;
    H->M.OpenDatabase(Name, {}, ReadOnly, RepairNeeded, false, MultiUser);
    H->Sessions.OpenFile(Structure.SessionsPageNo);
    return H;
  }
  // Whether any session byte is held, seen from a handle of its own.
  bool AnyByteHeld() {
    TQXLDiskPageManager M;
    OpenShared(M, Name);
    TQXLInternalDBDirectAccessFile File(M, ptActiveSessionList);
    File.OpenFile(Structure.SessionsPageNo);
    return File.IsRegionLocked(0, N);
  }

  TScratchDir Dir;
  std::string Name = Dir.File("sessions.qxl");
  TDatabaseStructure Structure;
};

TEST_F(SessionsFileTest, ConnectionsTakeTheFirstFreeNumberUpToTheLimit) {
  auto A = Open(), B = Open(), C = Open();
  EXPECT_EQ(A->Sessions.MaxSessionCount(), N);
  EXPECT_EQ(A->Sessions.MultiUserConnect(), 0);
  EXPECT_EQ(B->Sessions.MultiUserConnect(), 1);
  // Two connections of one handle hold two bytes.
  EXPECT_EQ(A->Sessions.MultiUserConnect(), 2);
  EXPECT_EQ(C->Sessions.GetDBFileConnectionsCount(), 3);
  A->Sessions.MultiUserDisconnect(0);
  EXPECT_EQ(C->Sessions.MultiUserConnect(), 0);
  EXPECT_EQ(C->Sessions.MultiUserConnect(), 3);
  EXPECT_EQ(MessageOf([&] { B->Sessions.MultiUserConnect(); }),
            "Cannot connect session. Maximum connections quantity exceeded or database is open in single-user "
            "mode - Native error: 20094");
  EXPECT_EQ(A->Sessions.GetDBFileConnectionsCount(), N);
  // A closed handle's bytes are free at once.
  C.reset();
  EXPECT_EQ(B->Sessions.MultiUserConnect(), 0);
}

TEST_F(SessionsFileTest, SessionNumbersOutsideTheFileAreRefused) {
  auto A = Open();
  A->Sessions.MultiUserConnect();
  EXPECT_EQ(NativeCodeOf([&] { A->Sessions.MultiUserDisconnect(-1); }), 20186);
  EXPECT_EQ(NativeCodeOf([&] { A->Sessions.MultiUserDisconnect(N); }), 20186);
  EXPECT_EQ(NativeCodeOf([&] { A->Sessions.MultiUserDisconnect(1); }), 20095);
}

TEST_F(SessionsFileTest, NotSharedConnectsAsSessionZeroWithoutALock) {
  auto A = Open(false);
  EXPECT_EQ(A->Sessions.MultiUserConnect(), 0);
  A->Sessions.MultiUserDisconnect(0);
  EXPECT_FALSE(AnyByteHeld());
}

TEST_F(SessionsFileTest, SingleUserExcludesEveryOtherConnection) {
  auto A = Open(), B = Open();
  EXPECT_EQ(A->Sessions.MultiUserConnect(), 0);
  EXPECT_FALSE(B->Sessions.SingleUserConnect());
  A->Sessions.MultiUserDisconnect(0);
  EXPECT_FALSE(AnyByteHeld());

  ASSERT_TRUE(B->Sessions.SingleUserConnect());
  EXPECT_TRUE(AnyByteHeld());
  EXPECT_EQ(NativeCodeOf([&] { A->Sessions.MultiUserConnect(); }), 20094);
  EXPECT_FALSE(A->Sessions.SingleUserConnect());
  EXPECT_EQ(A->Sessions.GetDBFileConnectionsCount(), N);
  B->Sessions.SingleUserDisconnect();
  EXPECT_FALSE(AnyByteHeld());
  EXPECT_EQ(A->Sessions.MultiUserConnect(), 0);
}

TEST_F(SessionsFileTest, AFileLockThatCannotBeHadFailsWithoutTouchingASessionByte) {
  auto Holder = Open(), A = Open();
  TQXLInternalDBDirectAccessFile File(Holder->M, ptActiveSessionList);
  File.OpenFile(Structure.SessionsPageNo);
  ASSERT_TRUE(File.LockFile());
  platform::FakeClock Clock;
  platform::ScopedClock UseClock(Clock);
  EXPECT_EQ(NativeCodeOf([&] { A->Sessions.MultiUserConnect(); }), 20093);
  EXPECT_EQ(Clock.SleepCount(), 4500u);
  EXPECT_EQ(Clock.SleptMs(), 4500u * 20);
  EXPECT_FALSE(AnyByteHeld());
  EXPECT_EQ(MessageOf([&] { A->Sessions.SingleUserConnect(); }), "Cannot unlock sessions file - Native error: 20240");
  EXPECT_FALSE(AnyByteHeld());
  EXPECT_EQ(NativeCodeOf([&] { A->Sessions.GetDBFileConnectionsCount(); }), 30484);
  EXPECT_EQ(NativeCodeOf([&] { A->Sessions.SingleUserDisconnect(); }), 20241);
  EXPECT_TRUE(File.UnlockFile());
  EXPECT_EQ(A->Sessions.MultiUserConnect(), 0);
  ASSERT_TRUE(File.LockFile());
  EXPECT_EQ(NativeCodeOf([&] { A->Sessions.MultiUserDisconnect(0); }), 20096);
}

TEST_F(SessionsFileTest, AConnectWhoseReleaseFailsHoldsNoSession) {
  auto A = Open<TFailingSessionsFile>();
  auto B = Open();
  A->Sessions.ReleaseFails = true;
  EXPECT_EQ(NativeCodeOf([&] { A->Sessions.MultiUserConnect(); }), 20093);
  EXPECT_FALSE(AnyByteHeld());
  EXPECT_EQ(B->Sessions.MultiUserConnect(), 0);
}

TEST_F(SessionsFileTest, SingleUserConnectIsAllOrNothing) {
  // A byte that the probe found free but that cannot be had: taken between
  // the probe and the lock by a process that does not wait for the file lock.
  auto A = Open<TFailingSessionsFile>();
  A->Sessions.RefusedByte = 2;
  EXPECT_FALSE(A->Sessions.SingleUserConnect());
  EXPECT_FALSE(AnyByteHeld());
  A->Sessions.RefusedByte = -1;
  EXPECT_TRUE(A->Sessions.SingleUserConnect());
  A->Sessions.SingleUserDisconnect();
}

}  // namespace
