// The in-memory database "MEMORY" beside SQLite's in-memory database, phase
// by phase on the same table and the same values, so that each phase reads as
// a ratio from one run. Phases: 100,000 rows inserted in one transaction,
// 100,000 lookups by the unique integer, 1,000 key ranges of 100 rows read,
// 10,000 names changed and every tenth row deleted by its key, each change
// committed on its own, then ten cycles that delete a random tenth of the
// rows and insert them again, with the memory the table then holds (its
// records and its index pages) beside SQLite's pages as a counter.
#include <memory>

#include "bench/support/EngineTableBench.h"
#include "engine/storage/memory/QXLMemoryDatabaseData.h"
#include "engine/storage/memory/QXLMemoryPageManager.h"
#include "engine/storage/memory/QXLMemoryRecordManager.h"
#include "engine/storage/memory/QXLMemoryTableData.h"

using namespace qxl;

namespace {

using namespace enginebench;

class TMemoryEngine : public TEngine {
public:
  static std::unique_ptr<TMemoryEngine> Create() { return std::unique_ptr<TMemoryEngine>(new TMemoryEngine); }
  // An in-memory table refuses changes inside a transaction and has nothing
  // to commit: the phases' transaction brackets do nothing here.
  void Begin() {}
  void Commit() {}
  double StoredMegaBytes() const {
    auto& table = static_cast<TQXLMemoryTableData&>(*FTable);
    auto& records = static_cast<TQXLMemoryRecordManager&>(*table.RecordManager());
    const double recordBytes = static_cast<double>(records.AllocatedRecordCount()) * records.RecordBufferSize();
    TQXLMemoryPageManager& pages = table.MemoryPageManager();
    return (recordBytes + static_cast<double>(pages.GetPageCount()) * pages.PageSize()) / 1e6;
  }

private:
  TMemoryEngine() {
    // The database makes B-tree record indexes for its tables.
    FList.Add(std::make_unique<TQXLMemoryDatabaseData>());
    FSession.FDatabaseName = "MEMORY";
    FSession.SetConnected(true);
    OpenTable(true);
  }
};

class TMemorySqlite : public TSqlite {
public:
  static std::unique_ptr<TMemorySqlite> Create() { return std::make_unique<TMemorySqlite>(); }
  TMemorySqlite() : TSqlite(":memory:", {}, true) {}
};

}  // namespace

// Pairs in phase order; the phases after the insert share one filled table of each kind.
BENCHMARK(Guarded<Insert<TMemoryEngine>>)->Name("Insert/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<Insert<TMemorySqlite>>)->Name("Insert/sqlite")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<Lookup<TMemoryEngine>>)->Name("UniqueLookup/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<Lookup<TMemorySqlite>>)->Name("UniqueLookup/sqlite")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<Range<TMemoryEngine>>)->Name("KeyRange/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<Range<TMemorySqlite>>)->Name("KeyRange/sqlite")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<Update<TMemoryEngine, false>>)->Name("IndexedUpdate/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<Update<TMemorySqlite, false>>)->Name("IndexedUpdate/sqlite")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<Delete<TMemoryEngine, false>>)->Name("Delete/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<Delete<TMemorySqlite, false>>)->Name("Delete/sqlite")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<DeleteInsertCycles<TMemoryEngine, false>>)->Name("DeleteInsertCycles/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<DeleteInsertCycles<TMemorySqlite, false>>)->Name("DeleteInsertCycles/sqlite")->Unit(benchmark::kMillisecond);
