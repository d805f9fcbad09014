// The local cursor's record protocol between operating-system processes on a
// plain and an encrypted database file: the other process is the storage
// worker working through its own session and cursor. Changes and deletions
// made elsewhere are seen at edit and delete, a record or table held
// elsewhere gives its code after the lock's tries (through the fake clock,
// so at once), a refused post keeps its record lock, and batches and
// transactions show their changes to others only when they end.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/datasets/QXLEngineError.h"
#include "platform/Clock.h"
#include "tests/engine/storage/StorageTestUtil.h"
#include "tests/engine/storage/WorkerProcess.h"
#include "tests/support/DiskTableUser.h"
#include "tests/support/LocalCursorUser.h"

using namespace qxl;
using qxl::testsupport::TLocalCursorUser;

namespace {

class LocalCursorProcessesTest : public ::testing::TestWithParam<const char*> {
protected:
  void SetUp() override {
    TQXLPassword password;
    if (Password() != "-") password.Password = Password();
    qxl::testsupport::CreateDatabaseFile(File, password, 8);
    Owner = std::make_unique<TLocalCursorUser>(File, Password());
    Owner->CreateTable();
    Owner->Open();
    for (std::int32_t id = 1; id <= 4; ++id) Owner->Insert(id, 10 * id);
  }

  std::string Password() const { return GetParam(); }
  std::unique_ptr<TWorker> Start(std::vector<std::string> Args) {
    Args.insert(Args.begin() + 1, {File, Password()});
    return std::make_unique<TWorker>(Args, Dir.File("worker" + std::to_string(++Workers) + ".out"));
  }
  ::testing::AssertionResult Run(std::vector<std::string> Args) { return Start(std::move(Args))->Succeeds(); }
  // Whether the worker sees record ID locked, its Value and the table's record count.
  std::vector<std::int32_t> Probe(std::int32_t Id) {
    std::unique_ptr<TWorker> w = Start({"cursor-probe", std::to_string(Id)});
    EXPECT_TRUE(w->Succeeds());
    return w->Output().Numbers;
  }
  static std::string MessageOfCode(TLocalCursorUser& U) {
    return EQXLEngineError(U.Code(), U.Cursor().ErrorMessage()).Message;
  }

  TScratchDir Dir;
  std::string File = Dir.File("shared.qxl");
  platform::FakeClock Clock;
  platform::ScopedClock UseClock{Clock};
  std::unique_ptr<TLocalCursorUser> Owner;
  int Workers = 0;
};

}  // namespace

TEST_P(LocalCursorProcessesTest, EditAndDeleteSeeWhatAnotherProcessChangedOrDeleted) {
  struct Case {
    bool Delete;       // else edit
    bool OtherDeletes;  // else it changes the record
    std::int32_t Code;
    const char* Text;
  };
  const Case cases[] = {
      {false, false, -4, "Error updating record - record was modified by other process"},
      {false, true, -6, "Error updating record - record was deleted by other process"},
      {true, false, -5, "Error deleting record - record was modified by other process"},
      {true, true, -7, "Error deleting record - record was deleted by other process"},
  };
  std::int32_t id = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Code);
    Owner->MoveTo(++id);
    if (c.OtherDeletes)
      ASSERT_TRUE(Run({"cursor-delete", std::to_string(id)}));
    else
      ASSERT_TRUE(Run({"cursor-change", std::to_string(id), "99"}));
    if (c.Delete)
      Owner->Delete();
    else
      Owner->BeginEdit();
    EXPECT_EQ(Owner->Code(), c.Code);
    EXPECT_EQ(MessageOfCode(*Owner), "Ostrel Engine Error # " + std::to_string(c.Code) + " " + c.Text);
    // Nothing stays held: the worker can lock the record and see the result.
    const std::vector<std::int32_t> seen = Probe(c.OtherDeletes ? 5 - id : id);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], 0);
  }
}

TEST_P(LocalCursorProcessesTest, ARecordInEditElsewhereIsLockedForEditAndDelete) {
  std::unique_ptr<TWorker> holder = Start({"cursor-hold-record", "2", Dir.File("held")});
  ASSERT_TRUE(holder->AwaitFile(Dir.File("held"))) << holder->Errors();
  Owner->MoveTo(2);
  EXPECT_TRUE(Owner->Cursor().IsRecordLocked());
  Owner->BeginEdit();
  EXPECT_EQ(Owner->Code(), -12);
  EXPECT_EQ(MessageOfCode(*Owner), "Ostrel Engine Error # -12 Record is locked");
  const std::uint64_t sleeps = Clock.SleepCount();
  EXPECT_GT(sleeps, 0u);
  Owner->Delete();
  EXPECT_EQ(Owner->Code(), -12);
  EXPECT_GT(Clock.SleepCount(), sleeps);
  // The edit's table lock went with the refused record lock.
  Owner->MoveTo(3);
  Owner->BeginEdit();
  EXPECT_EQ(Owner->Code(), 0);
  Owner->Cancel();
  holder->Kill();
  Owner->MoveTo(2);
  Owner->Delete();
  EXPECT_EQ(Owner->Code(), 0);
}

TEST_P(LocalCursorProcessesTest, ARefusedPostKeepsTheRecordLockedUntilACorrectedOne) {
  Owner->MoveTo(1);
  Owner->BeginEdit();
  ASSERT_EQ(Owner->Code(), 0);
  Owner->SetNull(TLocalCursorUser::ValueField);
  Owner->Post();
  EXPECT_EQ(Owner->Code(), -8);
  EXPECT_EQ(Probe(1), (std::vector<std::int32_t>{1, 10, 4}));
  Owner->Set(TLocalCursorUser::ValueField, 12);
  Owner->Post();
  EXPECT_EQ(Owner->Code(), 0);
  EXPECT_EQ(Probe(1), (std::vector<std::int32_t>{0, 12, 4}));
}

TEST_P(LocalCursorProcessesTest, ABatchShowsNothingUntilItsEndAndNothingAfterItsCancel) {
  for (bool end : {false, true}) {
    SCOPED_TRACE(end);
    Owner->Cursor().BeginBatchUpdate();
    Owner->Insert(5, 50);
    Owner->MoveTo(1);
    Owner->BeginEdit();
    Owner->Set(TLocalCursorUser::ValueField, 13);
    Owner->Post();
    ASSERT_EQ(Owner->Code(), 0);
    EXPECT_EQ(Probe(1), (std::vector<std::int32_t>{0, 10, 4}));
    if (end)
      Owner->Cursor().EndBatchUpdate();
    else
      Owner->Cursor().CancelBatchUpdate();
    EXPECT_EQ(Probe(1), (std::vector<std::int32_t>{0, end ? 13 : 10, end ? 5 : 4}));
  }
}

TEST_P(LocalCursorProcessesTest, ATransactionsWritesHoldTheTableUntilItsCommit) {
  std::unique_ptr<TWorker> writer =
      Start({"cursor-transaction", "1", "77", Dir.File("written"), Dir.File("commit")});
  ASSERT_TRUE(writer->AwaitFile(Dir.File("written"))) << writer->Errors();
  Owner->MoveTo(2);
  Owner->BeginEdit();
  EXPECT_EQ(Owner->Code(), -13);
  EXPECT_EQ(MessageOfCode(*Owner), "Ostrel Engine Error # -13 Table is locked");
  Owner->Delete();
  EXPECT_EQ(Owner->Code(), -13);
  Owner->MoveTo(1);
  EXPECT_EQ(Owner->Get(TLocalCursorUser::ValueField), 10);

  std::ofstream(Dir.File("commit")) << "go\n";
  ASSERT_TRUE(writer->Succeeds());
  Owner->MoveTo(1);
  EXPECT_EQ(Owner->Get(TLocalCursorUser::ValueField), 77);
  Owner->BeginEdit();
  EXPECT_EQ(Owner->Code(), 0);
  Owner->Cancel();
}

INSTANTIATE_TEST_SUITE_P(PlainAndEncrypted, LocalCursorProcessesTest, ::testing::Values("-", "secret"),
                         [](const auto& Info) { return std::string(Info.param) == "-" ? "Plain" : "Encrypted"; });
