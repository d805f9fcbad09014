// The disk database data against separate operating-system processes (the
// qxl_store_worker program): the session byte of a process that dies is free
// at once, and a process killed inside a commit leaves the others working and
// the file marked for repair.

#include "engine/storage/disk/QXLDiskDatabaseData.h"
#include "tests/engine/storage/StorageStructureCheck.h"
#include "tests/engine/storage/disk/DiskDatabaseTestSupport.h"
#include "tests/engine/storage/files/AnnouncingWorker.h"

using namespace qxl;

namespace {

class DiskDatabaseMultiProcessTest : public ::testing::Test {
protected:
  void SetUp() override { DiskDatabase(Name, N)->CreateDatabase(); }

  static constexpr std::int32_t N = 2;
  TScratchDir Dir;
  std::string Name = Dir.File("shared.qxl");
};

}  // namespace

TEST_F(DiskDatabaseMultiProcessTest, SessionOfAKilledProcessIsFreeAtOnce) {
  auto Worker = StartAnnouncing(Dir, "w", {"connect", Name, "multi"});
  ASSERT_EQ(Worker.Line, "session 0");
  auto D = DiskDatabase(Name);
  TTestSession First, Second;
  Connect(*D, First);
  EXPECT_EQ(First.FSessionID, 1);
  EXPECT_EQ(NativeCodeOf([&] { Connect(*D, Second); }), 20094);
  Worker.Worker->Kill();
  Connect(*D, Second);
  EXPECT_EQ(Second.FSessionID, 0);
  EXPECT_EQ(D->GetDBFileConnectionsCount(), 2);

  // A process asking for the file to itself is refused while this one is in.
  auto Single = StartAnnouncing(Dir, "single", {"connect", Name, "single"});
  EXPECT_EQ(Single.Line, "refused");
  D->DisconnectSession(&First);
  D->DisconnectSession(&Second);
}

TEST_F(DiskDatabaseMultiProcessTest, ProcessKilledInsideACommit) {
  auto A = DiskDatabase(Name), B = DiskDatabase(Name);
  TTestSession SA, SB;
  Connect(*A, SA);
  Connect(*B, SB);
  EXPECT_FALSE(SA.FRepairNeeded);

  const std::string Ready = Dir.File("hang.ready");
  TWorker Hanging({"hang-commit", Name, Ready}, Dir.File("hang.out"));
  ASSERT_TRUE(Hanging.AwaitFile(Ready)) << Hanging.Errors();
  Hanging.Kill();

  // The survivors go on committing and see each other's work.
  const std::int32_t FromA = WriteTaggedPage(*A, SA.FSessionID, "from A");
  A->Commit(SA.FSessionID, true);
  const std::int32_t FromB = WriteTaggedPage(*B, SB.FSessionID, "from B");
  B->Commit(SB.FSessionID, false);
  EXPECT_EQ(ReadTag(*B, SB.FSessionID, FromA), "from A");
  EXPECT_EQ(ReadTag(*A, SA.FSessionID, FromB), "from B");
  B->DisconnectSession(&SB);

  // Whoever opens the file now is told that it needs repair.
  auto Late = DiskDatabase(Name);
  TTestSession SL;
  Connect(*Late, SL);
  EXPECT_TRUE(SL.FRepairNeeded);
  EXPECT_EQ(ReadTag(*Late, SL.FSessionID, FromB), "from B");
  Late->DisconnectSession(&SL);
  A->DisconnectSession(&SA);
  EXPECT_TRUE(FileStructureIsSound(Name, {FromA, FromB}, {}, true));
}
