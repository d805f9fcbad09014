// Data statements of several processes on one database file
// (qxl_store_worker's sql-repeat): a counter raised by UPDATE ... SET N =
// N + 1 outside a transaction loses no increment, inserts with an
// auto-increment key from several processes are all there once, and an
// UPDATE or DELETE that cannot get the table's write lock from a process
// holding it gives up with 20223 and changes nothing. The workers start
// together behind a gate and are shown to overlap.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "engine/datasets/base/Field.h"
#include "platform/Clock.h"
#include "tests/engine/sql/statements/ddl/SqlRunFixture.h"
#include "tests/engine/storage/WorkerProcess.h"

using namespace qxl;

namespace {

class SqlProcesses : public qxl::testsupport::SqlRunFixture {
protected:
  TWorker& Start(const std::vector<std::string>& Args) {
    const std::string Out = Dir.File("w" + std::to_string(Workers.size()) + ".out");
    Workers.push_back(std::make_unique<TWorker>(Args, Out));
    return *Workers.back();
  }
  TWorker& Repeat(int Times, const std::string& Sql) {
    return Start({"sql-repeat", File, "-", Gate, Sql, std::to_string(Times)});
  }

  std::string Gate = Dir.File("gate");
  std::vector<std::unique_ptr<TWorker>> Workers;
};

TEST_F(SqlProcesses, ACounterRaisedByUpdateLosesNoIncrement) {
  constexpr int K = 4, M = 25;
  Run("CREATE TABLE Counter (Id INTEGER, N INTEGER, PRIMARY KEY (Id))");
  Run("INSERT INTO Counter VALUES (1, 0), (2, 0)");
  for (int i = 0; i < K; ++i) Repeat(M, "UPDATE Counter SET N = N + 1 WHERE Id = 1");
  std::vector<TWorkerOutput> Outputs;
  ASSERT_TRUE(RunThroughGate(Workers, Gate, Outputs));
  EXPECT_TRUE(PeriodsOverlap(Outputs));

  std::unique_ptr<TQXLTable> T = Opened("Counter");
  T->First();
  EXPECT_EQ(T->FieldByName("N").AsInteger(), K * M);
  T->Next();
  EXPECT_EQ(T->FieldByName("N").AsInteger(), 0);
}

TEST_F(SqlProcesses, AutoIncrementInsertsOfSeveralProcessesAreAllThereOnce) {
  constexpr int K = 4, M = 30;
  Run("CREATE TABLE Items (Id AUTOINC, Worker INTEGER, Seq INTEGER, PRIMARY KEY (Id))");
  for (int w = 0; w < K; ++w)
    Repeat(M, "INSERT INTO Items (Worker, Seq) VALUES (" + std::to_string(w) + ", :i), (" + std::to_string(w) +
                  ", :i + 1000)");
  std::vector<TWorkerOutput> Outputs;
  ASSERT_TRUE(RunThroughGate(Workers, Gate, Outputs));
  EXPECT_TRUE(PeriodsOverlap(Outputs));

  std::unique_ptr<TQXLTable> T = Opened("Items");
  std::set<std::int32_t> Ids;
  std::map<std::pair<std::int32_t, std::int32_t>, int> Seen;
  for (T->First(); !T->Eof(); T->Next()) {
    Ids.insert(T->FieldByName("Id").AsInteger());
    ++Seen[{T->FieldByName("Worker").AsInteger(), T->FieldByName("Seq").AsInteger()}];
  }
  EXPECT_EQ(Ids.size(), static_cast<std::size_t>(2 * K * M));
  EXPECT_EQ(Seen.size(), static_cast<std::size_t>(2 * K * M));
  for (int w = 0; w < K; ++w)
    for (int i = 0; i < M; ++i) {
      EXPECT_EQ((Seen[{w, i}]), 1) << w << " " << i;
      EXPECT_EQ((Seen[{w, i + 1000}]), 1) << w << " " << i;
    }
  // The keys were given out without gaps or repeats.
  EXPECT_EQ(*Ids.begin(), 1);
  EXPECT_EQ(*Ids.rbegin(), 2 * K * M);
}

TEST_F(SqlProcesses, AStatementThatCannotGetTheWriteLockChangesNothing) {
  Run("CREATE TABLE Items (ID INTEGER, Amount INTEGER)");
  Run("INSERT INTO Items VALUES (1, 10), (2, 20)");
  // A reader's shared lock and another writer's intent let the statement
  // read its rows but not take the write lock; a writer's lock keeps it from
  // reading them at all.
  struct Case {
    TQXLLockType Held;
    std::int32_t Code;
  } Cases[] = {{ltS, 20223}, {ltXIRW, 20223}, {ltRW, 0}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(static_cast<int>(C.Held));
    const std::string Ready = Dir.File("lock" + std::to_string(C.Held) + ".ready");
    TWorker& Holder = Start({"cursor-hold-lock", File, "-", std::to_string(C.Held), Ready});
    ASSERT_TRUE(Holder.AwaitFile(Ready)) << Holder.Errors();
    {
      // The tries pass at once.
      platform::FakeClock Quick;
      platform::ScopedClock UseQuick(Quick);
      for (const char* Sql : {"UPDATE Items SET Amount = Amount + 1", "DELETE FROM Items WHERE ID = 1"}) {
        SCOPED_TRACE(Sql);
        const std::uint64_t Before = Quick.SleptMs();
        const auto [Code, Message] = Failure(Sql);
        if (C.Code == 0) {
          EXPECT_NE(Code, 0);
          continue;
        }
        EXPECT_EQ(Code, C.Code);
        EXPECT_EQ(Message.rfind("Table is locked", 0), 0u) << Message;
        // 1125 tries with a pause between two.
        EXPECT_EQ(Quick.SleptMs() - Before, 1124u * 80u);
      }
    }
    Holder.Kill();
    std::unique_ptr<TQXLTable> T = Opened("Items");
    EXPECT_EQ(Forward(*T, "Amount"), (std::vector<std::int32_t>{10, 20}));
  }
  // With the holders gone the same statement runs.
  EXPECT_EQ(Run("UPDATE Items SET Amount = Amount + 1"), 2);
}

}  // namespace
