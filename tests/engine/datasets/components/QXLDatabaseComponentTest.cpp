// The database component on database files: its defaults and the file's
// settings read back, the sharing of one database object, the password
// retry and the repair question through the user-interface seam, failures
// of delete and rename, transactions, and the shut-down with files still open.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <fstream>

#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/abstract/QXLDatabaseDataList.h"
#include "engine/core/values/QXLShortString.h"
#include "engine/datasets/QXLLocalSession.h"
#include "engine/datasets/QXLMain.h"
#include "engine/datasets/base/DatabaseError.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/components/QXLSessionComponent.h"
#include "engine/storage/pager/QXLDiskFormat.h"
#include "engine/storage/disk/QXLDiskDatabaseData.h"
#include "tests/engine/storage/StorageTestUtil.h"
#include "tests/engine/storage/WorkerProcess.h"
#include "tests/support/EngineErrors.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/ScriptedUserInterface.h"

using namespace qxl;

namespace {

const std::string RepairQuestion =
    "confirm Database file was not correctly closed last time. Do you want to repair it?";

class DatabaseComponentTest : public ::testing::Test {
protected:
  void SetUp() override {
    TQXLDatabase Maker;
    Maker.SetDatabaseName("Maker");
    Maker.SetDatabaseFileName(File);
    Maker.Password = "Rk#4w%";
    Maker.CryptoAlgorithm = craTwofish_128;
    Maker.PageSize = 1024;
    Maker.PageCountInExtent = 4;
    Maker.MaxConnections = 30;
    Maker.CreateDatabase();
  }

  // A component on the file with the right password.
  std::unique_ptr<TQXLDatabase> Db(const std::string& Name = "Db") {
    auto D = std::make_unique<TQXLDatabase>();
    D->Name = Name;
    D->SetDatabaseName(Name);
    D->SetDatabaseFileName(File);
    D->Password = "Rk#4w%";
    D->MultiUser = true;
    return D;
  }

  // Marks the closed file as left in the middle of a commit, or as written by an old version.
  void DamageHeader(std::size_t Offset, const void* Bytes, std::size_t Size) {
    std::fstream F(File, std::ios::in | std::ios::out | std::ios::binary);
    F.seekp(static_cast<std::streamoff>(Offset));
    F.write(static_cast<const char*>(Bytes), static_cast<std::streamsize>(Size));
  }
  void MarkNotClosedCleanly() {
    const std::uint8_t Writing = QXLWriteChangesWriting;
    DamageHeader(offsetof(TQXLDBHeader, WriteChangesState), &Writing, 1);
  }
  void MarkOldFormat() {
    const double Old = 2.5;
    DamageHeader(offsetof(TQXLDBHeader, Version), &Old, sizeof Old);
  }

  TQXLEngineScope Engine;
  TScratchDir Dir;
  std::string File = Dir.File("tasks.qxl");
};

}  // namespace

TEST_F(DatabaseComponentTest, DefaultsAndTheFilesSettingsAfterOpening) {
  TQXLDatabase Fresh;
  EXPECT_EQ(Fresh.PageSize, 4096);
  EXPECT_EQ(Fresh.PageCountInExtent, 8);
  EXPECT_EQ(Fresh.MaxConnections, 500);
  EXPECT_EQ(Fresh.CryptoAlgorithm, craRijndael_128);
  EXPECT_TRUE(Fresh.KeepConnection());
  EXPECT_FALSE(Fresh.MultiUser);
  EXPECT_EQ(Fresh.CurrentVersion(), "7.80 ");
  EXPECT_EQ(Fresh.Session(), DefaultSession());

  auto D = Db();
  std::vector<std::string> Events;
  DefaultSession()->OnDBNotify = [&](TQXLDatabaseEvent E, TQXLDatabase*) {
    Events.push_back(std::to_string(static_cast<int>(E)));
  };
  D->Open();
  EXPECT_TRUE(D->Connected());
  EXPECT_EQ(D->PageSize, 1024);
  EXPECT_EQ(D->PageCountInExtent, 4);
  EXPECT_EQ(D->MaxConnections, 30);
  EXPECT_EQ(D->CryptoAlgorithm, craTwofish_128);
  EXPECT_EQ(D->GetDBFileConnectionsCount(), 1);
  D->Close();
  EXPECT_FALSE(D->Connected());
  EXPECT_EQ(Events, (std::vector<std::string>{"0", "1"}));
  DefaultSession()->OnDBNotify = nullptr;
}

TEST_F(DatabaseComponentTest, MisuseIsRefusedWithTheComponentsTexts) {
  TQXLDatabase Unnamed;
  Unnamed.Name = "U";
  EXPECT_EQ(MessageOf([&] { Unnamed.Open(); }), "U: Database name missing");
  auto Missing = Db("Missing");
  Missing->SetDatabaseFileName(Dir.File("absent.qxl"));
  EXPECT_EQ(MessageOf([&] { Missing->Open(); }), "Missing: Database file '" + Dir.File("absent.qxl") + "' does not exist");
  EXPECT_FALSE(Missing->Connected());
  EXPECT_EQ(MessageOf([&] { Missing->StartTransaction(); }),
            "Missing: Cannot perform this operation on a closed database");
  EXPECT_EQ(MessageOf([&] { Missing->SetSessionName("Nobody"); Missing->Open(); }),
            "Invalid session name 'Nobody' - Native error: 20002");

  auto D = Db();
  D->Open();
  EXPECT_EQ(MessageOf([&] { D->CreateDatabase(); }), "Db: Cannot perform this operation on an open database");
  EXPECT_EQ(MessageOf([&] { D->DeleteDatabase(); }), "Db: Cannot perform this operation on an open database");
  EXPECT_EQ(MessageOf([&] { D->SetDatabaseName("Other"); }), "Db: Cannot perform this operation on an open database");
  D->StartTransaction();
  EXPECT_TRUE(D->InTransaction());
  EXPECT_EQ(MessageOf([&] { D->StartTransaction(); }), "Db: Database is already within a transaction");
  D->Rollback();
  EXPECT_EQ(NativeCodeOf([&] { D->Commit(false); }), 20229);
}

TEST_F(DatabaseComponentTest, ComponentsOfOneSessionNameShareOneDatabaseObject) {
  auto A = Db("A"), B = Db("B");
  A->Open();
  B->Open();
  auto Data = [](TQXLDatabase& D) { return static_cast<TQXLLocalSession*>(D.Handle())->DatabaseData(); };
  EXPECT_EQ(Data(*A), Data(*B));
  EXPECT_NE(A->Handle(), B->Handle());
  EXPECT_EQ(A->GetDBFileConnectionsCount(), 2);
  EXPECT_EQ(DatabaseDataList().Count(), 3u);

  // Another session name has an object, and a file handle, of its own.
  TQXLSession* Other = SessionList().OpenSession("Other");
  auto C = Db("C");
  C->SetSessionName("Other");
  C->Open();
  EXPECT_EQ(C->Session(), Other);
  EXPECT_NE(Data(*C), Data(*A));
  EXPECT_EQ(DatabaseDataList().Count(), 4u);
  C->Close();

  // The last close frees the object and closes the file.
  A->Close();
  EXPECT_EQ(DatabaseDataList().Count(), 3u);
  B->Close();
  EXPECT_EQ(DatabaseDataList().Count(), 2u);
}

TEST_F(DatabaseComponentTest, TheProcessDatabasesAreFoundByNameInAnyLetterCase) {
  for (const char* Name : {"memory", "Temp"}) {
    SCOPED_TRACE(Name);
    TQXLDatabase* D = DefaultSession()->OpenDatabase(Name);
    // No file is made or opened: the handle reaches the process's own database.
    TQXLDatabaseData* Data = static_cast<TQXLLocalSession*>(D->Handle())->DatabaseData();
    ASSERT_NE(Data, nullptr);
    EXPECT_TRUE(SameNameIgnoringCase(Data->DatabaseName(), Name));
    EXPECT_EQ(DatabaseDataList().Count(), 2u);
    DefaultSession()->CloseDatabase(D);
  }
}

TEST_F(DatabaseComponentTest, SharedHandlesAndReferenceCounts) {
  auto A = Db("Shared"), B = Db("B");
  A->HandleShared = true;
  EXPECT_THROW(B->SetDatabaseName("SHARED"), EDatabaseError);
  B->HandleShared = true;
  B->SetDatabaseName("SHARED");
  A->Open();
  B->Open();
  EXPECT_EQ(B->Handle(), A->Handle());
  B->Close();
  EXPECT_TRUE(A->Connected());

  TQXLDatabase* Used = DefaultSession()->OpenDatabase("shared");
  EXPECT_EQ(Used, A.get());
  DefaultSession()->OpenDatabase("Shared");
  EXPECT_EQ(A->RefCount(), 2);
  DefaultSession()->CloseDatabase(A.get());
  A->SetKeepConnection(false);
  EXPECT_TRUE(A->Connected());  // still used once
  DefaultSession()->CloseDatabase(A.get());
  EXPECT_EQ(A->RefCount(), 0);
  EXPECT_FALSE(A->Connected());
}

TEST_F(DatabaseComponentTest, WrongPasswordIsAskedForAgainUntilRightOrCancelled) {
  struct Case {
    const char* Title;
    bool Silent;
    std::deque<std::optional<std::string>> Typed;
    bool Opens;
    std::vector<std::string> Log;
  };
  const std::vector<Case> Cases{
      {"wrong then right", false, {"guess", "Rk#4w%"}, true, {"password ", "password "}},
      {"cancel", false, {std::nullopt}, false, {"password "}},
      {"silent asks nothing", true, {}, false, {}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Title);
    ScriptedUserInterface Ui;
    Ui.Passwords = C.Typed;
    auto D = Db();
    D->Password = "wrong";
    D->SilentMode = C.Silent;
    if (C.Opens) {
      D->Open();
      EXPECT_TRUE(D->Connected());
      EXPECT_EQ(D->Password, "Rk#4w%");
    } else {
      EXPECT_EQ(NativeCodeOf([&] { D->Open(); }), 30445);
      EXPECT_FALSE(D->Connected());
      EXPECT_EQ(D->Password, "wrong");
    }
    EXPECT_EQ(Ui.Log, C.Log);
    EXPECT_EQ(DatabaseDataList().Count(), C.Opens ? 3u : 2u);
  }
}

TEST_F(DatabaseComponentTest, OnPasswordTakesThePlaceOfThePrompt) {
  ScriptedUserInterface Ui;
  auto D = Db();
  D->Password = "wrong";
  int Asked = 0;
  D->OnPassword = [&](TQXLDatabase& Database, bool& Continue) {
    EXPECT_FALSE(Continue);
    Database.Password = ++Asked == 1 ? "still wrong" : "Rk#4w%";
    Continue = Asked < 5;
  };
  D->Open();
  EXPECT_EQ(Asked, 2);
  EXPECT_TRUE(Ui.Log.empty());
}

TEST_F(DatabaseComponentTest, AFileHeldExclusivelyElsewhereIsNotOpened) {
  auto Holder = platform::RealFileSystem().Open(File, platform::AccessMode::ReadWrite, platform::ShareMode::Exclusive);
  ScriptedUserInterface Ui;
  auto D = Db();
  EXPECT_ANY_THROW(D->Open());
  EXPECT_FALSE(D->Connected());
  EXPECT_TRUE(Ui.Log.empty());
  EXPECT_EQ(DatabaseDataList().Count(), 2u);
  Holder->Close();
  D->Open();
  EXPECT_TRUE(D->Connected());
}

TEST_F(DatabaseComponentTest, AFileNotClosedCleanlyAsksForRepair) {
  MarkNotClosedCleanly();
  struct Case {
    const char* Title;
    bool Silent;
    std::deque<bool> Answers;
    bool Repairs;
  };
  for (const Case& C : std::vector<Case>{{"no", false, {false}, false},
                                         {"silent", true, {}, false},
                                         {"yes", false, {true}, true}}) {
    SCOPED_TRACE(C.Title);
    ScriptedUserInterface Ui;
    Ui.Answers = C.Answers;
    auto D = Db();
    D->SilentMode = C.Silent;
    int Repairs = 0;
    D->RepairHook = [&](TQXLDatabase& Database, std::string& Log) {
      EXPECT_TRUE(Database.NoRequestAutoRepair);
      EXPECT_FALSE(Database.Connected());
      ++Repairs;
      Log = "2 records lost";
    };
    D->Open();
    EXPECT_TRUE(D->Connected());
    EXPECT_FALSE(D->NoRequestAutoRepair);
    EXPECT_EQ(Repairs, C.Repairs ? 1 : 0);
    std::vector<std::string> Expected;
    if (!C.Silent) Expected.push_back(RepairQuestion);
    if (C.Repairs) Expected.push_back("warn 2 records lost");
    EXPECT_EQ(Ui.Log, Expected);
  }
}

TEST_F(DatabaseComponentTest, AFailedRepairLeavesTheDatabaseClosed) {
  MarkNotClosedCleanly();
  {
    ScriptedUserInterface Ui;
    Ui.Answers = {true};
    auto D = Db();
    D->RepairHook = [](TQXLDatabase&, std::string&) { throw EQXLException(1, "broken"); };
    EXPECT_EQ(NativeCodeOf([&] { D->Open(); }), 20238);
    EXPECT_FALSE(D->Connected());
    EXPECT_FALSE(D->NoRequestAutoRepair);
    EXPECT_EQ(DatabaseDataList().Count(), 2u);
  }
}

TEST_F(DatabaseComponentTest, AnOldFormatIsAnnouncedAndAlwaysConverted) {
  MarkOldFormat();
  ScriptedUserInterface Ui;
  auto D = Db();
  bool Repaired = false;
  D->RepairHook = [&](TQXLDatabase&, std::string&) { Repaired = true; };
  D->Open();
  EXPECT_TRUE(Repaired);
  ASSERT_EQ(Ui.Log.size(), 1u);
  EXPECT_EQ(Ui.Log[0],
            "inform Database file you are opening is of old format. It will be converted to the current Ostrel "
            "Database format now. It is recommended to make a backup of the database before continuing.");
}

TEST_F(DatabaseComponentTest, AProcessKilledWhileHoldingTheFileLeavesItToBeRepaired) {
  // The worker opens the file without a password.
  const std::string Plain = Dir.File("plain.qxl");
  auto D = Db();
  D->SetDatabaseFileName(Plain);
  D->Password.clear();
  D->CreateDatabase();
  const std::string Ready = Dir.File("hang.ready");
  TWorker Hanging({"hang-commit", Plain, Ready}, Dir.File("hang.out"));
  ASSERT_TRUE(Hanging.AwaitFile(Ready)) << Hanging.Errors();
  Hanging.Kill();

  ScriptedUserInterface Ui;
  Ui.Answers = {false};
  D->Open();
  EXPECT_TRUE(D->Connected());
  EXPECT_EQ(Ui.Log, std::vector<std::string>{RepairQuestion});
}

TEST_F(DatabaseComponentTest, FailedDeleteAndRenameReportTheFileAndChangeNothing) {
  platform::test::FaultyFileSystem Files;
  auto D = Db();
  D->SetFileSystem(Files);
  const std::string NewName = Dir.File("renamed.qxl");

  Files.FailNextNameChange(EACCES);
  EXPECT_EQ(MessageOf([&] { D->DeleteDatabase(); }), platform::DescribeFailure("Delete", File, EACCES));
  Files.FailNextNameChange(EIO);
  EXPECT_EQ(MessageOf([&] { D->RenameDatabase(NewName); }), platform::DescribeFailure("Rename", File, EIO));
  EXPECT_EQ(D->DatabaseFileName(), File);
  EXPECT_TRUE(Files.Exists(File));
  EXPECT_FALSE(Files.Exists(NewName));

  // A file another component holds open is neither deleted nor renamed.
  auto Holder = Db("Holder");
  Holder->Open();
  EXPECT_EQ(MessageOf([&] { D->DeleteDatabase(); }),
            platform::DescribeFailure("Delete", File, platform::ErrorSharingViolation));
  EXPECT_EQ(MessageOf([&] { D->RenameDatabase(NewName); }),
            platform::DescribeFailure("Rename", File, platform::ErrorSharingViolation));
  Holder->Close();
  EXPECT_TRUE(Files.Exists(File));

  D->RenameDatabase(NewName);
  EXPECT_EQ(D->DatabaseFileName(), NewName);
  EXPECT_FALSE(Files.Exists(File));
  D->Open();
  D->Close();
  D->DeleteDatabase();
  EXPECT_FALSE(D->Exists());
}

TEST_F(DatabaseComponentTest, CreateRefusesAFileThisProcessHasOpen) {
  auto A = Db("A");
  A->Open();
  auto B = Db("B");
  EXPECT_EQ(NativeCodeOf([&] { B->CreateDatabase(); }), 20092);
  EXPECT_TRUE(A->TableExists("nothing") == false);
}

TEST_F(DatabaseComponentTest, MakeExecutableDatabasePutsTheFileBehindTheStub) {
  const std::string Stub = Dir.File("stub.bin"), Exe = Dir.File("tasks.exe");
  std::ofstream(Stub, std::ios::binary) << "STUB-PROGRAM";
  auto D = Db();
  D->MakeExecutableDatabase(Stub, Exe);
  auto E = Db("Exe");
  E->SetDatabaseFileName(Exe);
  E->Open();
  EXPECT_EQ(E->PageSize, 1024);
  E->Close();
  D->TruncateDatabase();
  EXPECT_FALSE(D->Connected());
}

TEST_F(DatabaseComponentTest, ShutDownClosesEveryFileEvenWithDatasetsOpen) {
  class TOpenDataSet : public TQXLDatabaseDataSet {
  public:
    bool IsQuery() const override { return Query; }
    void CloseByDatabase() override { Closed->push_back(Name); }
    bool Query = false;
    std::string Name;
    std::vector<std::string>* Closed = nullptr;
  };
  std::vector<std::string> Closed;
  TOpenDataSet Table1{}, Query1{}, Table2{};
  Table1.Name = "table1";
  Query1.Name = "query1";
  Query1.Query = true;
  Table2.Name = "table2";
  for (TOpenDataSet* S : {&Table1, &Query1, &Table2}) S->Closed = &Closed;

  auto Kept = Db();
  Kept->Open();
  TQXLDatabase* Temporary = DefaultSession()->OpenDatabase("MEMORY");
  Kept->AddDataSet(&Table1);
  Kept->AddDataSet(&Query1);
  Kept->AddDataSet(&Table2);
  ASSERT_EQ(DatabaseDataList().Count(), 3u);
  (void)Temporary;

  ShutdownEngine();
  EXPECT_EQ(Closed, (std::vector<std::string>{"query1", "table2", "table1"}));
  EXPECT_FALSE(Kept->Connected());
  EXPECT_EQ(DatabaseDataList().Count(), 0u);
  // The file is free again: another handle may open it exclusively.
  EXPECT_NO_THROW(platform::RealFileSystem()
                      .Open(File, platform::AccessMode::ReadWrite, platform::ShareMode::Exclusive)
                      ->Close());
  StartEngine();  // balances the fixture's scope
}
