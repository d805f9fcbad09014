// The table component beside another operating-system process (the storage
// worker, through its own session and cursor), on a plain and an encrypted
// file: an edit refused because the other process changed or holds the
// record, a BLOB read or written while the other holds the table's write
// lock raising instead of losing the content, and an index refused while the
// other has the table open. Lock waits go through the fake clock.
#include <gtest/gtest.h>

#include "engine/core/QXLException.h"
#include "engine/datasets/QXLEngineError.h"
#include "engine/datasets/QXLMain.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/dataset/QXLBLOBStream.h"
#include "engine/datasets/table/QXLTable.h"
#include "platform/Clock.h"
#include "tests/engine/storage/StorageTestUtil.h"
#include "tests/engine/storage/WorkerProcess.h"
#include "tests/support/DiskTableUser.h"
#include "tests/support/LocalCursorUser.h"

using namespace qxl;
using qxl::testsupport::TLocalCursorUser;

namespace {

class TableProcessesTest : public ::testing::TestWithParam<const char*> {
protected:
  void SetUp() override {
    TQXLPassword password;
    if (Password() != "-") password.Password = Password();
    qxl::testsupport::CreateDatabaseFile(File, password, 8);
    {
      TLocalCursorUser Maker(File, Password(), "Maker");
      Maker.CreateTable();
      Maker.Open();
      for (std::int32_t id = 1; id <= 3; ++id) Maker.Insert(id, 10 * id);
    }
    Db = std::make_unique<TQXLDatabase>();
    Db->SetDatabaseName("Db");
    Db->SetDatabaseFileName(File);
    if (Password() != "-") Db->Password = Password();
    Db->MultiUser = true;
    Db->Open();
    T = std::make_unique<TQXLTable>();
    T->SetDatabaseName("Db");
    T->SetTableName("Items");
  }
  void TearDown() override {
    T.reset();
    Db.reset();
  }

  std::string Password() const { return GetParam(); }
  std::unique_ptr<TWorker> Start(std::vector<std::string> Args) {
    Args.insert(Args.begin() + 1, {File, Password()});
    return std::make_unique<TWorker>(Args, Dir.File("worker" + std::to_string(++Workers) + ".out"));
  }
  // A worker that holds its table open with the lock Lock until it is killed.
  std::unique_ptr<TWorker> HoldLock(TQXLLockType Lock) {
    const std::string Ready = Dir.File("ready" + std::to_string(Workers + 1));
    std::unique_ptr<TWorker> W = Start({"cursor-hold-lock", std::to_string(static_cast<int>(Lock)), Ready});
    EXPECT_TRUE(W->AwaitFile(Ready)) << W->Errors();
    return W;
  }
  void MoveTo(std::int32_t Id) {
    for (T->First(); !T->Eof(); T->Next())
      if (T->FieldByName("ID").AsInteger() == Id) return;
    FAIL() << "no record " << Id;
  }
  // The content of the binary BLOB Doc of the current record.
  std::string Doc() {
    TQXLBLOBStream S(T->FieldByName("Doc"), bmRead);
    std::string Text(static_cast<std::size_t>(S.GetSize()), '\0');
    S.Read(Text.data(), static_cast<std::int32_t>(Text.size()));
    return Text;
  }
  // The engine error that F raises: its code and message.
  template <typename F>
  std::pair<std::int32_t, std::string> EngineErrorOf(F&& f) {
    try {
      f();
    } catch (const EQXLEngineError& E) {
      return {E.ErrorCode(), E.Message};
    }
    return {0, ""};
  }

  TQXLEngineScope Engine;
  TScratchDir Dir;
  std::string File = Dir.File("shared.qxl");
  platform::FakeClock Clock;
  platform::ScopedClock UseClock{Clock};
  std::unique_ptr<TQXLDatabase> Db;
  std::unique_ptr<TQXLTable> T;
  int Workers = 0;
};

}  // namespace

TEST_P(TableProcessesTest, AnEditIsRefusedForARecordChangedOrHeldElsewhere) {
  T->Open();
  MoveTo(1);
  ASSERT_TRUE(Start({"cursor-change", "1", "99"})->Succeeds());
  EXPECT_EQ(EngineErrorOf([&] { T->Edit(); }),
            std::make_pair(-4, std::string("Ostrel Engine Error # -4 Error updating record - record was modified by "
                                           "other process")));
  EXPECT_EQ(T->State(), dsBrowse);
  T->Refresh();
  MoveTo(1);
  EXPECT_EQ(T->FieldByName("Value").AsInteger(), 99);
  T->Edit();
  T->FieldByName("Value").SetAsInteger(100);
  T->Post();

  std::unique_ptr<TWorker> Holder = Start({"cursor-hold-record", "2", Dir.File("held")});
  ASSERT_TRUE(Holder->AwaitFile(Dir.File("held"))) << Holder->Errors();
  MoveTo(2);
  EXPECT_TRUE(T->IsRecordLocked());
  EXPECT_EQ(EngineErrorOf([&] { T->Edit(); }),
            std::make_pair(-12, std::string("Ostrel Engine Error # -12 Record is locked")));
  EXPECT_EQ(T->State(), dsBrowse);
  Holder->Kill();
  T->Edit();
  T->FieldByName("Value").SetAsInteger(21);
  T->Post();
  MoveTo(2);
  EXPECT_EQ(T->FieldByName("Value").AsInteger(), 21);
}

TEST_P(TableProcessesTest, ABLOBReadOrWrittenWhileAnotherProcessWritesTheTableRaises) {
  T->Open();
  MoveTo(1);
  T->Edit();
  T->FieldByName("Doc").SetAsString("stored before");
  T->Post();

  // The record is read before: the other process's lock keeps every read out.
  MoveTo(1);
  std::unique_ptr<TWorker> Writer = HoldLock(ltRW);
  const auto Locked = std::make_pair(-13, std::string("Ostrel Engine Error # -13 Table is locked"));
  // Read without the lock, the content would be empty and the field NULL.
  EXPECT_EQ(EngineErrorOf([&] { Doc(); }), Locked);
  T->Insert();
  T->FieldByName("ID").SetAsInteger(4);
  T->FieldByName("Value").SetAsInteger(40);
  // Written without the lock, the content would be dropped while the post succeeds.
  EXPECT_EQ(EngineErrorOf([&] { T->FieldByName("Doc").SetAsString("new memo"); }), Locked);
  EXPECT_EQ(EngineErrorOf([&] { TQXLBLOBStream S(T->FieldByName("Doc"), bmWrite); }), Locked);
  EXPECT_EQ(T->State(), dsInsert);

  Writer->Kill();
  T->FieldByName("Doc").SetAsString("new memo");
  T->Post();
  MoveTo(4);
  EXPECT_EQ(Doc(), "new memo");
  MoveTo(1);
  EXPECT_EQ(Doc(), "stored before");
}

TEST_P(TableProcessesTest, AnIndexIsRefusedWhileAnotherProcessHasTheTableOpen) {
  std::unique_ptr<TWorker> Reader = HoldLock(ltIS);
  const EQXLException Refused = Raised([&] { T->AddIndex("ByValue", "Value", {}); });
  EXPECT_EQ(Refused.NativeError, 20228);
  EXPECT_EQ(Refused.Message,
            "Cannot access table 'Items' in exclusive mode. Table is open by another user - Native error: 20228");
  T->UpdateIndexDefs();
  EXPECT_LT(T->IndexDefs().IndexOf("ByValue"), 0);
  Reader->Kill();
  T->AddIndex("ByValue", "Value", {});
  T->UpdateIndexDefs();
  EXPECT_GE(T->IndexDefs().IndexOf("ByValue"), 0);
}

INSTANTIATE_TEST_SUITE_P(PlainAndEncrypted, TableProcessesTest, ::testing::Values("-", "Rk#4w%"));
