// Tables of one database file used by separate operating-system processes
// (the qxl_store_worker program): processes inserting into one table at the
// same time lose no row, a process that dies holding a table exclusively
// frees it at once, and one that dies inside a commit leaves the others
// working on their tables and the file marked for repair.
#include <algorithm>

#include "tests/engine/storage/StorageStructureCheck.h"
#include "tests/engine/storage/WorkerProcess.h"
#include "tests/engine/storage/disk/DiskTableFixture.h"

using namespace qxl;

namespace qxl::disktable {
namespace {

class DiskTablesMultiProcessTest : public DiskTableFixture {
protected:
  void SetUp() override { CreateDatabaseFile(); }

  // Starts a worker that announces itself through a ready file and waits for it.
  std::unique_ptr<TWorker> StartHolding(const std::vector<std::string>& Args, const std::string& Tag) {
    const std::string Ready = Dir.File(Tag + ".ready");
    std::vector<std::string> All = Args;
    All.push_back(Ready);
    auto Worker = std::make_unique<TWorker>(All, Dir.File(Tag + ".out"));
    EXPECT_TRUE(Worker->AwaitFile(Ready)) << "the worker never got there; " << Worker->Errors();
    return Worker;
  }
  // The IDs of the table as a new process reads them.
  std::vector<std::int32_t> Ids(const std::string& Name) {
    auto User = Connect(true);
    std::vector<std::int32_t> Result;
    {
      TQXLDiskTableData Table(User->Database.get());
      DiskCursor C(Name);
      Open(Table, C, *User);
      C.FirstPosition = true;
      while (Table.GetRecordBuffer(&C, grmNext) == grrOK) Result.push_back(IdOf(C));
      Close(Table, C);
    }
    Disconnect(*User);
    return Result;
  }
};

}  // namespace

TEST_F(DiskTablesMultiProcessTest, ProcessesInsertingIntoOneTableLoseNoRow) {
  TWorker Creator({"table-create", FileName(), "Rows"}, Dir.File("create.out"));
  ASSERT_TRUE(Creator.Succeeds());
  constexpr int Workers = 2, Each = 400;
  const std::string Gate = Dir.File("gate");
  std::vector<std::unique_ptr<TWorker>> Started;
  for (int w = 0; w < Workers; ++w)
    Started.push_back(std::make_unique<TWorker>(
        std::vector<std::string>{"table-insert", FileName(), "Rows", std::to_string(1000 * (w + 1)),
                                 std::to_string(Each), Gate},
        Dir.File("insert" + std::to_string(w))));
  std::vector<TWorkerOutput> Outputs;
  ASSERT_TRUE(RunThroughGate(Started, Gate, Outputs));
  EXPECT_TRUE(PeriodsOverlap(Outputs));

  std::vector<std::int32_t> Seen = Ids("Rows"), Expected;
  for (int w = 0; w < Workers; ++w)
    for (int i = 0; i < Each; ++i) Expected.push_back(1000 * (w + 1) + i);
  std::sort(Seen.begin(), Seen.end());
  EXPECT_EQ(Seen, Expected);
  EXPECT_TRUE(FileStructureIsSound(FileName(), {}));
}

TEST_F(DiskTablesMultiProcessTest, TableHeldExclusivelyByAKilledProcessIsFreeAtOnce) {
  auto User = Connect(true);
  CreateNotes(*User);
  auto Holder = StartHolding({"table-hold", FileName(), "Notes"}, "hold");
  {
    TQXLDiskTableData Table(User->Database.get());
    DiskCursor C("Notes");
    C.FSession = &User->Session;
    Table.SetTableName("Notes");
    EXPECT_EQ(NativeCodeOf([&] { Table.OpenTable(&C); }), 20209);
    Holder->Kill();
    Open(Table, C, *User);
    EXPECT_TRUE(Insert(Table, C, 5));
    Close(Table, C);
  }
  Disconnect(*User);
  EXPECT_EQ(Ids("Notes"), std::vector<std::int32_t>{5});
}

TEST_F(DiskTablesMultiProcessTest, ProcessDyingInsideACommitLeavesTheOthersWorking) {
  auto Survivor = Connect(true);
  CreateNotes(*Survivor);
  TWorker Creator({"table-create", FileName(), "Crashed"}, Dir.File("create.out"));
  ASSERT_TRUE(Creator.Succeeds());
  {
    TQXLDiskTableData Table(Survivor->Database.get());
    DiskCursor C("Notes");
    Open(Table, C, *Survivor);
    ASSERT_TRUE(Insert(Table, C, 1));
    auto Dying = StartHolding({"table-crash-commit", FileName(), "Crashed"}, "crash");
    Dying->Kill();
    // The survivor goes on with its table and reads what it wrote.
    ASSERT_TRUE(Insert(Table, C, 2));
    EXPECT_EQ(Walk(Table, C), (std::vector<std::string>{"1:<NULL>", "2:<NULL>"}));
    Close(Table, C);
  }
  // A process opening the file now is told that it needs repair, and finds
  // the survivor's rows.
  auto Late = Connect(true);
  EXPECT_TRUE(Late->Session.FRepairNeeded);
  Disconnect(*Late);
  EXPECT_EQ(Ids("Notes"), (std::vector<std::int32_t>{1, 2}));
  Disconnect(*Survivor);
}

}  // namespace disktable
