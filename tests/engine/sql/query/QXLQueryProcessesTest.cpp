// A query beside another operating-system process (the storage worker) that
// holds the queried table under the exclusive or the write table lock: the
// query waits through the tries of opening the table and reading it, and
// runs once the other process lets go, or gives up after its tries and
// leaves nothing locked or open. The waits go through a clock the test
// controls.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "engine/core/QXLException.h"
#include "engine/datasets/QXLMain.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/expr/QXLExpressionServices.h"
#include "engine/sql/query/QXLQuery.h"
#include "platform/Clock.h"
#include "tests/engine/storage/StorageTestUtil.h"
#include "tests/engine/storage/WorkerProcess.h"
#include "tests/support/DiskTableUser.h"
#include "tests/support/LocalCursorUser.h"

using namespace qxl;
using qxl::testsupport::TLocalCursorUser;

namespace {

// A fake clock whose first pause runs OnFirstSleep.
class TGateClock : public platform::FakeClock {
public:
  std::function<void()> OnFirstSleep;
  void Sleep(std::uint32_t Ms) override {
    FakeClock::Sleep(Ms);
    if (SleepCount() == 1 && OnFirstSleep) OnFirstSleep();
  }
};

class QueryProcesses : public ::testing::Test {
protected:
  void SetUp() override {
    RegisterSQLExpressions();
    qxl::testsupport::CreateDatabaseFile(File, TQXLPassword(), 8);
    {
      TLocalCursorUser Maker(File, "-", "Maker");
      Maker.CreateTable();
      Maker.Open();
      for (std::int32_t Id = 1; Id <= 3; ++Id) Maker.Insert(Id, 10 * Id);
    }
    Db = std::make_unique<TQXLDatabase>();
    Db->SetDatabaseName("Db");
    Db->SetDatabaseFileName(File);
    Db->MultiUser = true;
    Db->Open();
    Query.SetDatabaseName("Db");
    Query.SQL().Add("SELECT ID, [Value] FROM Items ORDER BY ID DESC");
  }
  void TearDown() override {
    Query.Close();
    Db.reset();
    UnregisterSQLExpressions();
  }

  // A worker holding the table under Lock; with a stop file it lets go when
  // the file appears, else it holds until killed.
  std::unique_ptr<TWorker> Hold(TQXLLockType Lock, const std::string& Stop = std::string()) {
    std::vector<std::string> Args{Stop.empty() ? "cursor-hold-lock" : "cursor-hold-lock-until", File, "-",
                                  std::to_string(static_cast<int>(Lock)), Ready};
    if (!Stop.empty()) Args.push_back(Stop);
    auto W = std::make_unique<TWorker>(Args, Dir.File("worker.out"));
    EXPECT_TRUE(W->AwaitFile(Ready)) << W->Errors();
    return W;
  }

  // Opens the query while Lock is held elsewhere; the holder lets go at the
  // query's first pause. The number of pauses.
  std::uint64_t OpenWhileHeld(TQXLLockType Lock) {
    const std::string Stop = Dir.File("stop");
    std::unique_ptr<TWorker> Holder = Hold(Lock, Stop);
    TGateClock Clock;
    Clock.OnFirstSleep = [&] {
      std::ofstream(Stop) << "go\n";
      while (!Holder->Printed("released") && !Holder->Ended()) {
        // The holder releases as soon as it sees the file; nothing else to wait for.
      }
      EXPECT_TRUE(Holder->Printed("released")) << Holder->Errors();
    };
    platform::ScopedClock UseClock(Clock);
    Query.Open();
    EXPECT_TRUE(Holder->Succeeds()) << Holder->Errors();
    return Clock.SleepCount();
  }

  std::vector<std::int32_t> Ids() {
    std::vector<std::int32_t> Result;
    for (Query.First(); !Query.Eof(); Query.Next()) Result.push_back(Query.FieldByName("ID").AsInteger());
    return Result;
  }

  // Nothing of a failed query holds the table: it opens exclusively.
  void ExpectTableFree() {
    TQXLTable Table;
    Table.SetDatabaseName("Db");
    Table.SetTableName("Items");
    Table.SetExclusive(true);
    EXPECT_NO_THROW(Table.Open());
    Table.Close();
  }

  TQXLEngineScope Engine;
  TScratchDir Dir;
  std::string File = Dir.File("shared.qxl");
  std::string Ready = Dir.File("ready");
  std::unique_ptr<TQXLDatabase> Db;
  TQXLQuery Query;
};

TEST_F(QueryProcesses, AQueryWaitsForATableHeldExclusivelyElsewhere) {
  EXPECT_GE(OpenWhileHeld(ltX), 1u);
  EXPECT_EQ(Ids(), (std::vector<std::int32_t>{3, 2, 1}));
}

TEST_F(QueryProcesses, AQueryWaitsWhileAnotherHoldsTheWriteLock) {
  EXPECT_GE(OpenWhileHeld(ltRW), 1u);
  EXPECT_EQ(Ids(), (std::vector<std::int32_t>{3, 2, 1}));
}

TEST_F(QueryProcesses, AQueryGivesUpAfterItsTriesAndHoldsNothing) {
  struct Case {
    TQXLLockType Lock;
    std::int32_t Code;
    const char* Text;
  } Cases[] = {
      // The table cannot be opened (its first record not read): the open's own tries end first.
      {ltX, 10303, "Error on opening table \"Items\""},
      {ltRW, 10303, "Error on opening table \"Items\""},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(static_cast<int>(C.Lock));
    std::unique_ptr<TWorker> Holder = Hold(C.Lock);
    {
      platform::FakeClock Clock;
      platform::ScopedClock UseClock(Clock);
      try {
        Query.Open();
        ADD_FAILURE() << "the query ran on a table locked elsewhere";
      } catch (const EQXLException& E) {
        EXPECT_EQ(E.NativeError, C.Code) << E.Message;
        EXPECT_NE(E.Message.find(C.Text), std::string::npos) << E.Message;
      }
      EXPECT_GT(Clock.SleepCount(), 1u);
    }
    EXPECT_FALSE(Query.Active());
    EXPECT_EQ(Query.StmtHandle(), nullptr);
    Holder->Kill();
    std::filesystem::remove(Ready);
    ExpectTableFree();
  }
  // And the same query runs now.
  Query.Open();
  EXPECT_EQ(Ids(), (std::vector<std::int32_t>{3, 2, 1}));
}

}  // namespace
