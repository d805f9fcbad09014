// Tables of one database file shared by several operating-system processes
// (qxl_store_worker's table commands), plain and encrypted: a counter raised
// under the record lock, auto-increment inserts one at a time and several to
// a transaction, transfers and moves (a delete and an insert) inside
// transactions under concurrent scans, memos rewritten while others read
// them, and a table held exclusively. The
// workers start together behind a gate and are shown to overlap; the file's
// pages are checked afterwards.
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/engine/storage/StorageTestUtil.h"
#include "tests/engine/storage/WorkerProcess.h"
#include "tests/engine/storage/disk/TableStructureCheck.h"
#include "tests/support/DiskTableUser.h"
#include "tests/support/MemoWorkerCommands.h"

using namespace qxl;

namespace {

using qxl::testsupport::TDiskTableUser;

// The lines a worker printed.
std::vector<std::string> LinesOf(const std::string& OutFile) {
  std::vector<std::string> Lines;
  std::ifstream In(OutFile);
  for (std::string Line; std::getline(In, Line);)
    if (Line != "ready") Lines.push_back(Line);
  return Lines;
}

class DiskTableProcessesTest : public ::testing::TestWithParam<bool> {
protected:
  static constexpr std::int32_t MaxSessions = 12;

  void SetUp() override {
    if (GetParam()) Password = TQXLPassword{"Rk#4w%", craTwofish_256};
    qxl::testsupport::CreateDatabaseFile(Name, Password, MaxSessions);
  }

  std::string PasswordArg() const { return Password.Password.empty() ? "-" : Password.Password; }

  // Starts a worker on the file; gated commands get the test's gate.
  TWorker& Start(const std::string& Command, const std::vector<std::string>& Args, bool Gated = true) {
    std::vector<std::string> All{Command, Name, PasswordArg()};
    if (Gated) All.push_back(Gate);
    All.insert(All.end(), Args.begin(), Args.end());
    const std::string Out = Dir.File("w" + std::to_string(Workers.size()) + ".out");
    Workers.push_back(std::make_unique<TWorker>(All, Out));
    OutFiles.push_back(Out);
    return *Workers.back();
  }
  void OpenGate() { ASSERT_TRUE(OpenGateWhenReady(Workers, Gate)); }
  // Workers First to End - 1 (by default all from First on) ended well.
  void EndWell(std::size_t First = 0, std::size_t End = SIZE_MAX) {
    for (std::size_t i = First; i < std::min(End, Workers.size()); ++i) EXPECT_TRUE(Workers[i]->Succeeds());
  }
  // The same, for workers that print numbers and their period.
  std::vector<TWorkerOutput> Finish(std::size_t First = 0, std::size_t End = SIZE_MAX) {
    EndWell(First, End);
    std::vector<TWorkerOutput> Outputs;
    for (std::size_t i = First; i < std::min(End, Workers.size()); ++i) Outputs.push_back(Workers[i]->Output());
    return Outputs;
  }

  TScratchDir Dir;
  std::string Name = Dir.File("shared.qxl");
  std::string Gate = Dir.File("gate");
  TQXLPassword Password;
  std::vector<std::unique_ptr<TWorker>> Workers;
  std::vector<std::string> OutFiles;
};

TEST_P(DiskTableProcessesTest, CounterRaisedUnderTheRecordLockLosesNoIncrement) {
  constexpr int K = 4, M = 60;
  {
    TDiskTableUser U(Name, Password);
    U.CreateTable("Counter", {"ID", "Value"});
    U.Open("Counter");
    U.Post({1, 0});
  }
  for (int i = 0; i < K; ++i) Start("table-count", {"Counter", std::to_string(M)});
  OpenGate();
  EXPECT_TRUE(PeriodsOverlap(Finish()));

  TDiskTableUser U(Name, Password);
  U.Open("Counter");
  U.Rewind();
  ASSERT_TRUE(U.Next());
  EXPECT_EQ(U.Get(1), K * M);
  EXPECT_FALSE(U.Next());
  U.Close();
  EXPECT_TRUE(tablecheck::TableFileIsSound(Name, Password));
}

TEST_P(DiskTableProcessesTest, ConcurrentInsertsGetUniqueKeysAndLeaveEveryPageAccountedFor) {
  constexpr int K = 4, M = 150;
  {
    TDiskTableUser U(Name, Password);
    U.CreateTable("Items", {"ID", "Worker", "Seq"}, {"ID"});
  }
  for (int i = 0; i < K; ++i) Start("table-append", {"Items", std::to_string(i), std::to_string(M)});
  OpenGate();
  EXPECT_TRUE(PeriodsOverlap(Finish()));

  TDiskTableUser U(Name, Password);
  U.Open("Items");
  std::set<std::int32_t> Keys;
  std::set<std::pair<std::int32_t, std::int32_t>> Rows;
  std::int64_t Scanned = 0;
  U.Rewind();
  while (U.Next()) {
    ++Scanned;
    Keys.insert(U.Get(0));
    Rows.insert({U.Get(1), U.Get(2)});
  }
  // The key range below reads the first and last key, so an empty table ends the test here.
  ASSERT_EQ(Scanned, K * M);
  EXPECT_EQ(Rows.size(), static_cast<std::size_t>(K * M)) << "a worker's record is missing or doubled";
  ASSERT_EQ(Keys.size(), static_cast<std::size_t>(Scanned)) << "two records share a key";
  EXPECT_EQ(*Keys.rbegin() - *Keys.begin() + 1, K * M) << "the keys leave gaps";
  EXPECT_EQ(U.Table().InternalGetRecordCount(&U.Cursor()), Scanned);
  U.Close();
  EXPECT_TRUE(tablecheck::TableFileIsSound(Name, Password));
}

// Eight processes, each inserting several records to a transaction.
TEST_P(DiskTableProcessesTest, TransactionsOfSeveralInsertsGiveEveryAutoIncrementValueOnce) {
  constexpr int K = 8, Transactions = 5, Rows = 4;
  {
    TDiskTableUser U(Name, Password);
    U.CreateTable("Items", {"ID", "Worker", "Seq"}, {"ID"});
  }
  for (int i = 0; i < K; ++i)
    Start("table-batch", {"Items", std::to_string(i), std::to_string(Transactions), std::to_string(Rows)});
  OpenGate();
  EXPECT_TRUE(PeriodsOverlap(Finish()));

  TDiskTableUser U(Name, Password);
  U.Open("Items");
  std::set<std::int32_t> Keys;
  std::set<std::pair<std::int32_t, std::int32_t>> Inserted;
  std::int64_t Scanned = 0;
  U.Rewind();
  while (U.Next()) {
    ++Scanned;
    Keys.insert(U.Get(0));
    Inserted.insert({U.Get(1), U.Get(2)});
  }
  constexpr int Total = K * Transactions * Rows;
  ASSERT_EQ(Scanned, Total);
  EXPECT_EQ(Inserted.size(), static_cast<std::size_t>(Total)) << "a worker's record is missing or doubled";
  ASSERT_EQ(Keys.size(), static_cast<std::size_t>(Scanned)) << "two records share an auto-increment value";
  EXPECT_EQ(*Keys.rbegin() - *Keys.begin() + 1, Total) << "the values leave gaps";
  EXPECT_EQ(U.Table().InternalGetRecordCount(&U.Cursor()), Scanned) << "the stored count is not the records'";
  U.Close();
  EXPECT_TRUE(tablecheck::TableFileIsSound(Name, Password));
}

TEST_P(DiskTableProcessesTest, ScansNeverSeeAMoveHalfDone) {
  constexpr int Movers = 4, Scanners = 2, Rows = 20, Moves = 15;
  std::int64_t Total = 0;
  {
    TDiskTableUser U(Name, Password);
    U.CreateTable("Accounts", {"ID", "Value"});
    U.Open("Accounts");
    for (int Id = 1; Id <= Rows; ++Id) {
      U.Post({Id, 1000 + Id});
      Total += 1000 + Id;
    }
  }
  const std::string Stop = Dir.File("stop");
  for (int i = 0; i < Scanners; ++i)
    Start("table-scan", {"Accounts", std::to_string(Rows), std::to_string(Total), Stop});
  for (int i = 0; i < Movers; ++i)
    Start("table-move",
          {"Accounts", std::to_string(Rows), std::to_string(Moves), std::to_string(i), std::to_string(31 + i)});
  OpenGate();
  std::vector<TWorkerOutput> Outputs = Finish(Scanners);
  std::ofstream(Stop) << "stop\n";
  for (const TWorkerOutput& O : Finish(0, Scanners)) {
    EXPECT_GT(O.Seen, 1) << "a scanner scanned only once";
    Outputs.push_back(O);
  }
  EXPECT_TRUE(PeriodsOverlap(Outputs));

  TDiskTableUser U(Name, Password);
  U.Open("Accounts");
  std::int64_t Sum = 0, Moved = 0, Scanned = 0;
  std::set<std::int32_t> Ids;
  U.Rewind();
  while (U.Next()) {
    ++Scanned;
    Sum += U.Get(1);
    Ids.insert(U.Get(0));
    Moved += U.Get(0) > Rows;
  }
  EXPECT_EQ(Scanned, Rows);
  EXPECT_EQ(Ids.size(), static_cast<std::size_t>(Rows));
  EXPECT_EQ(Sum, Total);
  EXPECT_GT(Moved, 0) << "no move reached the file";
  EXPECT_EQ(U.Table().InternalGetRecordCount(&U.Cursor()), Scanned);
  U.Close();
  EXPECT_TRUE(tablecheck::TableFileIsSound(Name, Password));
}

// One process rewrites memos, from a few bytes to several pages, while
// others read every memo and check each byte.
TEST_P(DiskTableProcessesTest, MemosRewrittenByOneProcessAreReadWholeByTheOthers) {
  constexpr int Readers = 2, Rows = 12, Rounds = 60;
  {
    TDiskTableUser U(Name, Password);
    U.CreateTable("Memos", {"ID"}, {}, {"Memo"});
    U.Open("Memos");
    for (std::int32_t Id = 1; Id <= Rows; ++Id) {
      U.Lock(ltRW);
      U.BeginInsert();
      U.Set(0, Id);
      U.WriteMemo(1, qxl::testsupport::MemoText(Id, 0));
      U.Insert();
      U.Unlock(ltRW);
    }
  }
  const std::string Stop = Dir.File("stop");
  for (int i = 0; i < Readers; ++i) Start("table-memo-read", {"Memos", std::to_string(Rows), Stop});
  Start("table-memo-write", {"Memos", std::to_string(Rows), std::to_string(Rounds)});
  OpenGate();
  std::vector<TWorkerOutput> Outputs = Finish(Readers);
  std::ofstream(Stop) << "stop\n";
  for (const TWorkerOutput& O : Finish(0, Readers)) {
    EXPECT_GT(O.Seen, 1) << "a reader read only once";
    Outputs.push_back(O);
  }
  EXPECT_TRUE(PeriodsOverlap(Outputs));

  TDiskTableUser U(Name, Password);
  U.Open("Memos");
  std::int64_t Scanned = 0;
  U.Rewind();
  while (U.Next()) {
    const std::int32_t Id = U.Get(0);
    // The last round that rewrote this record's memo.
    std::int32_t Last = 0;
    for (std::int32_t Round = 1; Round <= Rounds; ++Round)
      if (Round % Rows + 1 == Id) Last = Round;
    // Compared as a truth: a memo printed whole would bury the failure.
    EXPECT_TRUE(U.ReadMemo(1) == qxl::testsupport::MemoText(Id, Last)) << "record " << Id << ", version " << Last;
    ++Scanned;
  }
  EXPECT_EQ(Scanned, Rows);
  U.Close();
  EXPECT_TRUE(tablecheck::TableFileIsSound(Name, Password));
}

TEST_P(DiskTableProcessesTest, ScansNeverSeeATransferHalfDone) {
  constexpr int Transferrers = 4, Scanners = 2, Rows = 20, Transfers = 20;
  std::int64_t Total = 0;
  {
    TDiskTableUser U(Name, Password);
    U.CreateTable("Accounts", {"ID", "Value"});
    U.Open("Accounts");
    for (int Id = 1; Id <= Rows; ++Id) {
      U.Post({Id, 1000 + Id});
      Total += 1000 + Id;
    }
  }
  const std::string Stop = Dir.File("stop");
  for (int i = 0; i < Scanners; ++i)
    Start("table-scan", {"Accounts", std::to_string(Rows), std::to_string(Total), Stop});
  for (int i = 0; i < Transferrers; ++i)
    Start("table-transfer", {"Accounts", std::to_string(Rows), std::to_string(Transfers), std::to_string(17 + i)});
  OpenGate();
  std::vector<TWorkerOutput> Outputs = Finish(Scanners);
  std::ofstream(Stop) << "stop\n";
  for (const TWorkerOutput& O : Finish(0, Scanners)) {
    EXPECT_GT(O.Seen, 1) << "a scanner scanned only once";
    Outputs.push_back(O);
  }
  EXPECT_TRUE(PeriodsOverlap(Outputs));

  TDiskTableUser U(Name, Password);
  U.Open("Accounts");
  std::int64_t Sum = 0, Changed = 0;
  U.Rewind();
  while (U.Next()) {
    Sum += U.Get(1);
    Changed += U.Get(1) != 1000 + U.Get(0);
  }
  EXPECT_EQ(Sum, Total);
  EXPECT_GT(Changed, 0) << "no transfer reached the file";
  U.Close();
  EXPECT_TRUE(tablecheck::TableFileIsSound(Name, Password));
}

TEST_P(DiskTableProcessesTest, ExclusiveHolderKeepsOthersOutAndNewTablesAreSeen) {
  {
    TDiskTableUser U(Name, Password);
    U.CreateTable("Held", {"ID", "Value"});
    U.Open("Held");
    U.Post({1, 10});
  }
  const std::string Ready = Dir.File("held.ready");
  TWorker& Holder = Start("table-keep", {"Held", Ready}, false);
  Holder.AwaitFile(Ready);
  ASSERT_EQ(LinesOf(OutFiles[0]), std::vector<std::string>{"granted"}) << Holder.Errors();

  // One after another: an open waits for its table lock holding the tables
  // byte, so openers side by side would also refuse each other that byte.
  constexpr int Probers = 3;
  for (int i = 1; i <= Probers; ++i) {
    Start("table-probe", {"Held"}, false);
    EndWell(i);
    EXPECT_EQ(LinesOf(OutFiles[i]), (std::vector<std::string>{"open 20209", "exclusive 20208"}));
  }

  // A killed holder's lock goes with its process; a table one process makes
  // is there for every other.
  Holder.Kill();
  Start("table-make", {"Made", "3"}, false);
  EndWell(Workers.size() - 1);
  for (const std::string Table : {"Held", "Made"}) {
    Start("table-probe", {Table}, false);
    EndWell(Workers.size() - 1);
    const std::string Rows = Table == "Held" ? "rows 1" : "rows 3";
    EXPECT_EQ(LinesOf(OutFiles.back()), (std::vector<std::string>{"open ok", Rows, "exclusive ok"})) << Table;
  }
  TDiskTableUser U(Name, Password);
  U.Open("Made");
  std::vector<std::int32_t> Values;
  U.Rewind();
  while (U.Next()) Values.push_back(U.Get(1));
  EXPECT_EQ(Values, (std::vector<std::int32_t>{10, 20, 30}));
  U.Close();
  EXPECT_TRUE(tablecheck::TableFileIsSound(Name, Password));
}

INSTANTIATE_TEST_SUITE_P(PlainAndEncrypted, DiskTableProcessesTest, ::testing::Bool(),
                         [](const auto& Info) { return Info.param ? "Encrypted" : "Plain"; });

}  // namespace
