// Compacting a database file in place beside SQLite's VACUUM on the same
// data: the benchmark table of 100,000 rows (an integer key, a unique
// integer, an indexed 50-character name, a 100-character note and a double,
// three indexes) written to a file, every second row deleted, the file
// closed. Each pass starts from a copy of that file, made untimed, and
// rebuilds it: the engine through the database component's CompactDatabase
// (every table copied into a new file that then takes the old one's place),
// SQLite through VACUUM. Counters: the file's size before and after in MB,
// the rows left, and on the SQLite line the ratio of the engine's mean time
// to SQLite's.
#include <chrono>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "bench/support/EngineTableBench.h"
#include "bench/support/ScratchFolder.h"
#include "engine/datasets/QXLMain.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "platform/TempFile.h"

using namespace qxl;

namespace {

using namespace enginebench;
using Clock = std::chrono::steady_clock;


const TScratchFolder& Folder() {
  static const qxl::enginebench::TScratchFolder folder("qxl-maintenance-bench");
  return folder;
}

double MegaBytes(const std::string& File) { return static_cast<double>(std::filesystem::file_size(File)) / 1e6; }

void CopyOver(const std::string& From, const std::string& To) {
  std::filesystem::copy_file(From, To, std::filesystem::copy_options::overwrite_existing);
}

// Every second row (the even keys) deleted in one transaction.
template <class TDb>
bool DeleteEverySecondRow(TDb& Db) {
  bool ok = true;
  Db.Begin();
  for (std::int32_t id = 0; id < RowCount; id += 2) ok = Db.Delete(id) && ok;
  Db.Commit();
  return ok;
}

constexpr std::int64_t RowsLeft = RowCount / 2;

// The engine's table in a new file of 4096-byte pages, single-user.
class TFileEngine : public TEngine {
public:
  explicit TFileEngine(const std::string& File) : TEngine(DiskDatabaseCreator()) {
    std::filesystem::remove(File);
    FSession.FDatabaseName = File;
    FSession.CreateDatabase();
    FSession.SetConnected(true);
    OpenTable(true);
  }
};

// The file with half its rows deleted, made once.
const std::string& EngineSource() {
  static const std::string file = [] {
    const std::string name = Folder().File("engine-source.qxl");
    TFileEngine db(name);
    if (!InsertAll(db) || !DeleteEverySecondRow(db) || db.Count() != RowsLeft)
      throw std::runtime_error("the engine's table could not be prepared");
    return name;
  }();
  return file;
}

const std::string& SqliteSource() {
  static const std::string file = [] {
    const std::string name = Folder().File("sqlite-source.db");
    std::filesystem::remove(name);
    TSqlite db(name, {"PRAGMA page_size = 4096", "PRAGMA synchronous = OFF", "PRAGMA journal_mode = OFF"}, true);
    if (!InsertAll(db) || !DeleteEverySecondRow(db) || db.Count() != RowsLeft)
      throw std::runtime_error("SQLite's table could not be prepared");
    return name;
  }();
  return file;
}

// The mean seconds of the engine's passes, for the ratio on SQLite's line.
double EngineSeconds = 0;

void CompactEngine(benchmark::State& State) {
  TQXLEngineScope engine;
  const std::string& source = EngineSource();
  const std::string file = Folder().File("engine.qxl");
  double seconds = 0;
  double after = 0;
  std::int64_t rows = 0;
  for (auto _ : State) {
    State.PauseTiming();
    CopyOver(source, file);
    TQXLDatabase db;
    db.SetDatabaseName("Bench");
    db.SetDatabaseFileName(file);
    db.SilentMode = true;
    State.ResumeTiming();
    const Clock::time_point start = Clock::now();
    const bool done = db.CompactDatabase();
    seconds += std::chrono::duration<double>(Clock::now() - start).count();
    State.PauseTiming();
    after = MegaBytes(file);
    {
      TQXLDatabaseDataList list;
      TQXLLocalSession session(list, DiskDatabaseCreator());
      session.FDatabaseName = file;
      session.SetConnected(true);
      TQXLLocalCursor cursor;
      cursor.FSession = &session;
      cursor.FTableName = "t";
      TQXLTableData* table = session.DatabaseData()->FindOrCreateTableData(&cursor);
      cursor.OpenTable(table);
      rows = table->GetRecordCount(&cursor);
      cursor.CloseTable();
    }
    State.ResumeTiming();
    if (!done || rows != RowsLeft) return Fail(State, "rows after compacting", rows, RowsLeft);
  }
  EngineSeconds = seconds / static_cast<double>(State.iterations());
  State.counters["MB_before"] = MegaBytes(source);
  State.counters["MB_after"] = after;
  State.counters["rows"] = static_cast<double>(rows);
}

void VacuumSqlite(benchmark::State& State) {
  const std::string& source = SqliteSource();
  const std::string file = Folder().File("sqlite.db");
  double seconds = 0;
  double after = 0;
  std::int64_t rows = 0;
  for (auto _ : State) {
    State.PauseTiming();
    CopyOver(source, file);
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) {
      sqlite3_close(db);
      return State.SkipWithError("SQLite could not open its file");
    }
    State.ResumeTiming();
    const Clock::time_point start = Clock::now();
    const int rc = sqlite3_exec(db, "VACUUM", nullptr, nullptr, nullptr);
    seconds += std::chrono::duration<double>(Clock::now() - start).count();
    State.PauseTiming();
    sqlite3_close(db);
    after = MegaBytes(file);
    {
      TSqlite check(file, {}, false);
      rows = check.Count();
    }
    State.ResumeTiming();
    if (rc != SQLITE_OK) return State.SkipWithError("VACUUM failed");
    if (rows != RowsLeft) return Fail(State, "rows after VACUUM", rows, RowsLeft);
  }
  const double sqliteSeconds = seconds / static_cast<double>(State.iterations());
  State.counters["MB_before"] = MegaBytes(source);
  State.counters["MB_after"] = after;
  State.counters["rows"] = static_cast<double>(rows);
  if (EngineSeconds > 0 && sqliteSeconds > 0) State.counters["engine_to_sqlite"] = EngineSeconds / sqliteSeconds;
}

}  // namespace

// The engine first: SQLite's line reports the ratio of the two.
BENCHMARK(Guarded<CompactEngine>)->Name("CompactHalfDeleted/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<VacuumSqlite>)->Name("CompactHalfDeleted/sqlite")->Unit(benchmark::kMillisecond);
