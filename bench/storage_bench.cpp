// The disk engine beside SQLite on a file, phase by phase on the same table
// and the same values, so that each phase reads as a ratio from one run.
// SQLite writes pages of 4096 bytes, keeps 1,000 of them in its cache and
// neither flushes nor journals, since a commit here writes in place without
// a flush; the engine's file has pages of 4096 bytes and its cache holds
// 1,000. The engine's session is multi-user, as a shared file is opened, so
// every query runs under the table's shared lock and every change under its
// write lock, or in a transaction under the exclusive-intent lock that the
// commit releases. Phases: 100,000 rows inserted in one transaction, 100,000
// lookups by the unique integer, 1,000 key ranges of 100 rows read, 10,000
// indexed names changed in one transaction, 10,000 amounts changed each
// committed on its own, every tenth row deleted in one transaction, and the
// file opened again and read through, then ten cycles that delete a random
// tenth of the rows and insert them again, each half in one transaction. The
// file sizes are reported as counters: after the insert, after the phases
// that change the table and after the cycles.
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "bench/support/EngineTableBench.h"
#include "bench/support/ScratchFolder.h"
#include "engine/storage/disk/QXLDiskTableData.h"
#include "platform/TempFile.h"

using namespace qxl;

namespace {

using namespace enginebench;


std::string BenchFile(const char* Name) {
  static const qxl::enginebench::TScratchFolder folder("qxl-storage-bench");
  return folder.File(Name);
}

double MegaBytes(const std::string& File) { return static_cast<double>(std::filesystem::file_size(File)) / 1e6; }

class TDiskEngine : public TEngine {
public:
  static constexpr std::int32_t LockTries = 100;
  static constexpr std::int32_t LockDelayMS = 10;

  static std::unique_ptr<TDiskEngine> Create() { return std::unique_ptr<TDiskEngine>(new TDiskEngine(true)); }
  static std::unique_ptr<TDiskEngine> Open() { return std::unique_ptr<TDiskEngine>(new TDiskEngine(false)); }
  static double FileMegaBytes() { return MegaBytes(File()); }
  double StoredMegaBytes() const { return FileMegaBytes(); }

protected:
  // As the query and change statements of a shared file run: the table lock
  // for the whole statement, the counters other processes may have moved
  // reloaded before a change, the lock given back on every way out. A change
  // inside a transaction takes the exclusive-intent lock instead and keeps
  // it, counted, until the commit clears the transaction's locks. Reads
  // inside the statement find the lock held and touch no lock byte.
  void Statement(TQXLLockType Lock, const std::function<void()>& Run) override {
    auto& table = static_cast<TQXLDiskTableData&>(*FTable);
    const std::int32_t session = FSession.FSessionID;
    const bool untilCommit = Lock == ltRW && FSession.FInTransaction;
    const TQXLLockType held = untilCommit ? ltXIRW : Lock;
    if (!table.LockTable(session, held, LockTries, LockDelayMS, true))
      throw std::runtime_error("the table lock was refused");
    try {
      if (Lock == ltRW) table.LoadMostUpdated(session);
      Run();
    } catch (...) {
      if (!untilCommit) table.UnlockTable(session, held, true);
      throw;
    }
    if (!untilCommit) table.UnlockTable(session, held, false);
  }

private:
  static std::string File() { return BenchFile("engine.qxl"); }

  explicit TDiskEngine(bool CreateFile) : TEngine(DiskDatabaseCreator()) {
    FSession.FDatabaseName = File();
    FSession.FMultiUser = true;
    if (CreateFile) {
      std::filesystem::remove(File());
      FSession.CreateDatabase();
    }
    FSession.SetConnected(true);
    OpenTable(CreateFile);
  }
};

class TFileSqlite : public TSqlite {
public:
  static std::unique_ptr<TFileSqlite> Create() {
    std::filesystem::remove(File());
    return std::make_unique<TFileSqlite>(true);
  }
  static std::unique_ptr<TFileSqlite> Open() { return std::make_unique<TFileSqlite>(false); }
  static double FileMegaBytes() { return MegaBytes(File()); }

  explicit TFileSqlite(bool CreateFile)
      : TSqlite(File(),
                {"PRAGMA page_size = 4096", "PRAGMA cache_size = 1000", "PRAGMA synchronous = OFF",
                 "PRAGMA journal_mode = OFF"},
                CreateFile) {}

private:
  static std::string File() { return BenchFile("sqlite.db"); }
};

// The inserted table's file.
template <class TDb>
void InsertWithSize(benchmark::State& State) {
  Insert<TDb>(State);
  State.counters["MB"] = TDb::FileMegaBytes();
}

// 10,000 amounts changed, each committed on its own; odd passes put the
// former amounts back.
template <class TDb>
void SingleRowUpdates(benchmark::State& State) {
  const TWorkload& w = Workload();
  TDb& db = *Filled<TDb>();
  bool restore = false;
  for (auto _ : State) {
    std::int64_t changed = 0;
    for (std::int32_t row : w.UpdateRows) changed += db.UpdateAmount(row, w.Row(row).Amount + (restore ? 0 : 0.5));
    restore = !restore;
    if (changed != UpdateCount) return Fail(State, "amounts changed", changed, UpdateCount);
  }
  if (restore) {
    for (std::int32_t row : w.UpdateRows) db.UpdateAmount(row, w.Row(row).Amount);
  }
  State.SetItemsProcessed(State.iterations() * UpdateCount);
}

// The shared database closed, opened again and every row read; the file
// then holds what every phase left in it.
template <class TDb>
void ColdScan(benchmark::State& State) {
  std::unique_ptr<TDb>& db = Filled<TDb>();
  const std::int64_t keySum = std::int64_t{RowCount} * (RowCount - 1) / 2;
  for (auto _ : State) {
    db.reset();
    db = TDb::Open();
    const TScanResult read = db->Scan();
    if (read.Rows != RowCount) return Fail(State, "rows read", read.Rows, RowCount);
    if (read.KeySum != keySum) return Fail(State, "sum of the keys read", read.KeySum, keySum);
  }
  State.counters["MB"] = TDb::FileMegaBytes();
  State.SetItemsProcessed(State.iterations() * RowCount);
}

}  // namespace

// Pairs in phase order; the phases after the insert share one filled file of each kind.
BENCHMARK(Guarded<InsertWithSize<TDiskEngine>>)->Name("Insert/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<InsertWithSize<TFileSqlite>>)->Name("Insert/sqlite")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<Lookup<TDiskEngine>>)->Name("UniqueLookup/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<Lookup<TFileSqlite>>)->Name("UniqueLookup/sqlite")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<Range<TDiskEngine>>)->Name("KeyRange/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<Range<TFileSqlite>>)->Name("KeyRange/sqlite")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<Update<TDiskEngine, true>>)->Name("IndexedUpdate/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<Update<TFileSqlite, true>>)->Name("IndexedUpdate/sqlite")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<SingleRowUpdates<TDiskEngine>>)->Name("SingleRowUpdate/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<SingleRowUpdates<TFileSqlite>>)->Name("SingleRowUpdate/sqlite")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<Delete<TDiskEngine, true>>)->Name("Delete/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<Delete<TFileSqlite, true>>)->Name("Delete/sqlite")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<ColdScan<TDiskEngine>>)->Name("ColdReopenScan/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<ColdScan<TFileSqlite>>)->Name("ColdReopenScan/sqlite")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<DeleteInsertCycles<TDiskEngine, true>>)->Name("DeleteInsertCycles/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<DeleteInsertCycles<TFileSqlite, true>>)->Name("DeleteInsertCycles/sqlite")->Unit(benchmark::kMillisecond);
