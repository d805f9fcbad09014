// The disk database data: a new file and its directory, opening it with its
// settings and password, sessions in single- and multi-user mode between
// objects that stand for processes of their own, the table list, the tables
// byte and object identifiers.
#include "engine/storage/disk/QXLDiskDatabaseData.h"

#include <functional>

#include "engine/storage/files/QXLSystemDirectory.h"
#include "engine/storage/files/QXLTableListFile.h"
#include "platform/Clock.h"
#include "tests/engine/storage/disk/DiskDatabaseTestSupport.h"

using namespace qxl;

namespace {

class DiskDatabaseDataTest : public ::testing::Test {
protected:
  void SetUp() override { DiskDatabase(Name, N)->CreateDatabase(); }

  static constexpr std::int32_t N = 3;
  TScratchDir Dir;
  std::string Name = Dir.File("db.qxl");
};

}  // namespace

TEST(DiskDatabaseDataCreate, WritesTheDirectoryAndLeavesTheFileClosed) {
  TScratchDir Dir;
  const std::string Name = Dir.File("new.qxl");
  auto D = DiskDatabase(Name, 7, 1024, 4);
  D->CreateDatabase();
  EXPECT_FALSE(D->IsOpen());
  {
    // Nobody has the file open: an exclusive open is granted.
    TQXLDiskPageManager M;
    bool ReadOnly = false, RepairNeeded = false, MultiUser = false;
    M.OpenDatabase(Name, {}, ReadOnly, RepairNeeded, true, MultiUser);
    EXPECT_FALSE(RepairNeeded);
    TQXLSystemDirectory Directory(M);
    Directory.LoadDirectory();
    ASSERT_EQ(Directory.FileList().size(), 2u);
    EXPECT_EQ(Directory.FileList()[0].FileID, dbftActiveSessionsList);
    EXPECT_EQ(Directory.FileList()[1].FileID, dbftTablesList);
  }
  // A new object learns the file's settings when its first session opens it.
  auto E = DiskDatabase(Name, 500, 4096, 8);
  TTestSession S;
  Connect(*E, S);
  EXPECT_TRUE(E->IsOpen());
  EXPECT_EQ(E->MaxSessionCount(), 7);
  EXPECT_EQ(E->PageSize(), 1024);
  EXPECT_EQ(E->PageCountInExtent(), 4);
  EXPECT_FALSE(E->Encrypted());
  EXPECT_FALSE(S.FRepairNeeded);
  EXPECT_TRUE(E->MultiUser());
  std::vector<std::string> Tables;
  E->GetTablesList(Tables);
  EXPECT_TRUE(Tables.empty());
  E->DisconnectSession(&S);
  EXPECT_FALSE(E->IsOpen());
  EXPECT_TRUE(E->SessionList().empty());
}

TEST(DiskDatabaseDataCreate, PasswordIsCheckedWhenTheFileIsOpened) {
  TScratchDir Dir;
  const std::string Name = Dir.File("secret.qxl");
  auto D = DiskDatabase(Name);
  D->SetPassword({"Rk#4w%", craBlowfish});
  D->CreateDatabase();

  auto Wrong = DiskDatabase(Name);
  Wrong->SetPassword({"guess", craBlowfish});
  TTestSession S;
  EXPECT_EQ(NativeCodeOf([&] { Connect(*Wrong, S); }), 30445);
  EXPECT_FALSE(Wrong->IsOpen());
  EXPECT_TRUE(Wrong->SessionList().empty());

  Wrong->SetPassword({"Rk#4w%", craRijndael_128});
  Connect(*Wrong, S);
  EXPECT_TRUE(Wrong->Encrypted());
  EXPECT_EQ(Wrong->Password().CryptoAlgorithm, craBlowfish);
  Wrong->DisconnectSession(&S);
}

TEST_F(DiskDatabaseDataTest, MultiUserSessionsTakeOneByteEachUpToTheLimit) {
  auto D = DiskDatabase(Name);
  TTestSession S[N + 1];
  for (std::int32_t i = 0; i < N; ++i) Connect(*D, S[i]);
  EXPECT_EQ(S[0].FSessionID, 0);
  EXPECT_EQ(S[1].FSessionID, 1);
  EXPECT_EQ(S[2].FSessionID, 2);
  EXPECT_EQ(NativeCodeOf([&] { Connect(*D, S[N]); }), 20094);
  EXPECT_EQ(D->SessionList().size(), std::size_t(N));
  EXPECT_EQ(D->GetDBFileConnectionsCount(), N);

  // Another process sees the same bytes taken.
  auto Other = DiskDatabase(Name);
  TTestSession Late;
  EXPECT_EQ(NativeCodeOf([&] { Connect(*Other, Late); }), 20094);
  EXPECT_FALSE(Other->IsOpen());

  TTestSession Single(false);
  EXPECT_EQ(MessageOf([&] { Connect(*D, Single); }),
            "Cannot open database in multi-user and signle-user mode at the same time - Native error: 20235");

  D->DisconnectSession(&S[1]);
  Connect(*Other, Late);
  EXPECT_EQ(Late.FSessionID, 1);
  EXPECT_EQ(D->GetDBFileConnectionsCount(), N);
  Other->DisconnectSession(&Late);
  D->DisconnectSession(&S[0]);
  D->DisconnectSession(&S[2]);
  EXPECT_FALSE(D->IsOpen());
}

TEST_F(DiskDatabaseDataTest, SingleUserHoldsEveryByteAndRefusedObjectsStayReadOnly) {
  auto A = DiskDatabase(Name);
  TTestSession A1(false), A2(false);
  Connect(*A, A1);
  Connect(*A, A2);
  EXPECT_TRUE(A->SingleUserConnected());
  EXPECT_FALSE(A->ReadOnly());
  EXPECT_EQ(A1.FSessionID, 0);
  EXPECT_EQ(A2.FSessionID, 0);
  EXPECT_FALSE(A1.FMultiUser);

  auto Multi = DiskDatabase(Name);
  TTestSession M;
  EXPECT_EQ(NativeCodeOf([&] { Connect(*Multi, M); }), 20094);

  // A single-user object that cannot have the file to itself may only read it.
  auto B = DiskDatabase(Name);
  TTestSession B1(false), B2(false);
  Connect(*B, B1);
  EXPECT_FALSE(B->SingleUserConnected());
  EXPECT_TRUE(B->ReadOnly());

  // Only the last session gives the bytes back.
  A->DisconnectSession(&A2);
  EXPECT_EQ(NativeCodeOf([&] { Connect(*Multi, M); }), 20094);
  A->DisconnectSession(&A1);
  EXPECT_FALSE(A->IsOpen());
  // Now B's next session gets the file to itself, but B stays read-only.
  Connect(*B, B2);
  EXPECT_TRUE(B->SingleUserConnected());
  EXPECT_TRUE(B->ReadOnly());
  EXPECT_EQ(NativeCodeOf([&] { Connect(*Multi, M); }), 20094);
  B->DisconnectSession(&B2);
  B->DisconnectSession(&B1);
  Connect(*Multi, M);
  EXPECT_EQ(M.FSessionID, 0);
  Multi->DisconnectSession(&M);
}

TEST_F(DiskDatabaseDataTest, ReopenedSingleUserObjectTakesTheBytesAgain) {
  auto A = DiskDatabase(Name);
  TTestSession First(false), Again(false);
  Connect(*A, First);
  A->DisconnectSession(&First);
  Connect(*A, Again);
  EXPECT_TRUE(A->SingleUserConnected());
  auto Multi = DiskDatabase(Name);
  TTestSession M;
  EXPECT_EQ(NativeCodeOf([&] { Connect(*Multi, M); }), 20094);
  A->DisconnectSession(&Again);
}

TEST_F(DiskDatabaseDataTest, SessionsLeavingInATransactionRollItBack) {
  auto D = DiskDatabase(Name);
  TTestSession Stays, Leaves;
  Connect(*D, Stays);
  Connect(*D, Leaves);
  Leaves.FInTransaction = true;
  D->DisconnectSession(&Leaves);
  EXPECT_EQ(Leaves.Rollbacks, 1);  // though another session still has the file open
  EXPECT_TRUE(D->IsOpen());

  Stays.FInTransaction = true;
  const std::int32_t Page = WriteTaggedPage(*D, Stays.FSessionID, "never committed");
  D->DisconnectSession(&Stays);
  EXPECT_EQ(Stays.Rollbacks, 1);
  EXPECT_FALSE(D->IsOpen());
  // The rolled-back page went back to the free space.
  TTestSession Next;
  Connect(*D, Next);
  EXPECT_EQ(WriteTaggedPage(*D, Next.FSessionID, "next"), Page);
  D->DiskPageManager()->CancelChanges(Next.FSessionID);
  D->DisconnectSession(&Next);
}

TEST_F(DiskDatabaseDataTest, TableListChangesReachOtherProcesses) {
  TTwoProcesses Processes(Name);
  auto& [D, Other, S, T] = Processes;
  D->LockTables();
  D->AddTableListItem(41, "Tasks", 10, 11, 12);
  D->AddTableListItem(42, "Clients", 20, 21, 22);
  D->DiskPageManager()->ApplyChanges(QXLSystemSessionID);
  D->UnlockTables();

  std::vector<std::string> Seen;
  Other->GetTablesList(Seen);
  EXPECT_EQ(Seen, (std::vector<std::string>{"Tasks", "Clients"}));
  std::int32_t ID = 0, Meta = 0, Most = 0, Locks = 0;
  Other->FindTableListItem("TASKS", ID, Meta, Most, Locks);
  EXPECT_EQ((std::vector<std::int32_t>{ID, Meta, Most, Locks}), (std::vector<std::int32_t>{41, 10, 11, 12}));

  Other->RenameTableListItem("Tasks", "Jobs");
  Other->RemoveTableListItem("Clients");
  Other->DiskPageManager()->ApplyChanges(QXLSystemSessionID);
  Seen.clear();
  D->GetTablesList(Seen);
  EXPECT_EQ(Seen, std::vector<std::string>{"Jobs"});
  Processes.Disconnect();
}

TEST_F(DiskDatabaseDataTest, TableListNeedsAnOpenFile) {
  auto D = DiskDatabase(Name);
  std::int32_t ID, Meta, Most, Locks;
  const std::vector<std::pair<std::int32_t, std::function<void()>>> Cases{
      {20129, [&] { D->FindTableListItem("Tasks", ID, Meta, Most, Locks); }},
      {20130, [&] { D->RemoveTableListItem("Tasks"); }},
      {20131, [&] { D->RenameTableListItem("Tasks", "Jobs"); }},
  };
  for (const auto& [Code, Call] : Cases) {
    EXPECT_EQ(MessageOf(Call), "Pointer is nil - Native error: " + std::to_string(Code));
  }
}

TEST_F(DiskDatabaseDataTest, TablesByteIsTriedThenRefused) {
  platform::FakeClock Clock;
  platform::ScopedClock UseClock(Clock);
  TTwoProcesses Processes(Name);
  auto& [A, B, SA, SB] = Processes;
  A->LockTables();
  EXPECT_EQ(MessageOf([&] { B->LockTables(); }), "Database tables are locked - Native error: 20210");
  EXPECT_EQ(Clock.SleepCount(), 200u);
  EXPECT_EQ(NativeCodeOf([&] { B->UnlockTables(); }), 20211);
  A->UnlockTables();
  B->LockTables();
  B->UnlockTables();
  Processes.Disconnect();
}

TEST_F(DiskDatabaseDataTest, ObjectIdentifiersAreUniqueAcrossProcesses) {
  TTwoProcesses Processes(Name);
  auto& [A, B, SA, SB] = Processes;
  const std::int32_t First = A->GetNewObjectId();
  EXPECT_EQ(B->GetNewObjectId(), First + 1);
  EXPECT_EQ(A->GetNewObjectId(), First + 2);
  Processes.Disconnect();
}
