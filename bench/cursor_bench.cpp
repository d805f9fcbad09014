// The local cursor beside SQLite on a file, on the benchmarks' table of
// 100,000 rows: every row read with every column in physical order and in
// the order of the name index, rows found by Locate on the note (a column
// without index, so that both read the table through) and on the unique
// number (a column with an index, which both search), and 10,000 amounts changed one
// by one through the cursor's edit and post on a multi-user file (table and
// record locks, the stored record read back and compared, a commit per
// record) against UPDATE by rowid in autocommit. SQLite writes pages of 4096
// bytes, keeps 1,000 in its cache and neither flushes nor journals, as in the
// disk benchmark. Locate's condition is the SQL layer's expression, whose
// equality on an indexed column becomes a key range of that index. The
// table component reads the same file's rows as a
// program does (First, Next until Eof, every field read through its field
// object) and changes the amounts through Edit and Post, each row found by
// FindKey on the primary index, beside the cursor alone.
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "bench/support/EngineTableBench.h"
#include "bench/support/ScratchFolder.h"
#include "engine/datasets/QXLMain.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/expr/QXLExpressionServices.h"
#include "engine/storage/disk/QXLDiskTableData.h"
#include "platform/TempFile.h"

using namespace qxl;

namespace {

using namespace enginebench;

constexpr std::int32_t LocateCount = 20;
// An indexed Locate costs a search of the index, not a pass over the table:
// more of them make a phase long enough to time.
constexpr std::int32_t IndexedLocateCount = 2000;

std::string BenchFile(const char* Name) {
  static const TScratchFolder folder("qxl-cursor-bench");
  return folder.File(Name);
}

// Count rows, spread over the table, for Locate to look for.
std::vector<std::int32_t> SpreadRows(std::int32_t Count) {
  std::vector<std::int32_t> r;
  for (std::int32_t i = 0; i < Count; ++i) r.push_back(static_cast<std::int32_t>((std::int64_t{i} * 7919 + 13) % RowCount));
  return r;
}

// The rows whose notes Locate looks for.
const std::vector<std::int32_t>& LocateRows() {
  static const std::vector<std::int32_t> rows = SpreadRows(LocateCount);
  return rows;
}

// The rows whose unique numbers Locate looks for.
const std::vector<std::int32_t>& IndexedLocateRows() {
  static const std::vector<std::int32_t> rows = SpreadRows(IndexedLocateCount);
  return rows;
}

// The SQL layer's expressions lent to the core for the program's length.
struct TSQLExpressionsScope {
  TSQLExpressionsScope() { RegisterSQLExpressions(); }
  ~TSQLExpressionsScope() { UnregisterSQLExpressions(); }
  TSQLExpressionsScope(const TSQLExpressionsScope&) = delete;
  TSQLExpressionsScope& operator=(const TSQLExpressionsScope&) = delete;
};

class TCursorEngine : public TEngine {
public:
  static std::unique_ptr<TCursorEngine> Create() { return std::unique_ptr<TCursorEngine>(new TCursorEngine()); }
  ~TCursorEngine() override = default;

  TScanResult ScanByName() { return Scan("ByName"); }
  std::int32_t FindByNote(const std::string& Text) { return LocateText("note", Text); }
  // The key of the record holding Unique, found by Locate on the indexed
  // column from physical order, so that only the search chooses the index;
  // -1 when none.
  std::int32_t LocateUnique(std::int32_t Unique) {
    std::int32_t id = -1;
    Statement(ltS, [&] {
      if (!FCursor.IndexName().empty()) FCursor.SetIndexName("");
      if (FCursor.Locate("u", Variant(Unique), false, false))
        FCursor.GetFieldData(IdField, &id, FCursor.FCurrentRecordBuffer);
    });
    return id;
  }
  bool ChangeAmount(std::int32_t Id, double Amount) { return EditAmount(Id, Amount); }

protected:
  // Queries hold the table's shared lock for their length, as a shared file's do.
  void Statement(TQXLLockType Lock, const std::function<void()>& Run) override {
    auto& table = static_cast<TQXLDiskTableData&>(*FTable);
    const std::int32_t session = FSession.FSessionID;
    if (Lock == ltRW && FSession.FInTransaction) Lock = ltXIRW;
    if (!table.LockTable(session, Lock, 100, 10, true)) throw std::runtime_error("the table lock was refused");
    try {
      if (Lock != ltS) table.LoadMostUpdated(session);
      Run();
    } catch (...) {
      if (Lock != ltXIRW) table.UnlockTable(session, Lock, true);
      throw;
    }
    if (Lock != ltXIRW) table.UnlockTable(session, Lock, false);
  }

private:
  TCursorEngine() : TEngine(DiskDatabaseCreator()) {
    FSession.FDatabaseName = BenchFile("engine.qxl");
    FSession.FMultiUser = true;
    std::filesystem::remove(FSession.FDatabaseName);
    FSession.CreateDatabase();
    FSession.SetConnected(true);
    OpenTable(true);
  }

  TSQLExpressionsScope FExpressions;
};

// The cursor engine's filled file through a database and a table component
// of their own, as a second user of the file.
class TTableEngine {
public:
  static std::unique_ptr<TTableEngine> Create() {
    Filled<TCursorEngine>();
    return std::unique_ptr<TTableEngine>(new TTableEngine());
  }

  // As a program reads: each record fetched under a shared table lock of its own.
  TScanResult Scan() { return ReadRows(); }
  // The same with the shared table lock held around the whole read, as the
  // cursor engine's statement holds it: what the dataset layer itself adds.
  TScanResult ScanLocked() {
    TQXLCursor& cursor = *FTable.Handle();
    if (!cursor.LockTable(ltS, 100, 10, true)) throw std::runtime_error("the table lock was refused");
    try {
      const TScanResult r = ReadRows();
      cursor.UnlockTable(ltS, false);
      return r;
    } catch (...) {
      cursor.UnlockTable(ltS, true);
      throw;
    }
  }

private:
  TScanResult ReadRows() {
    TScanResult r;
    std::string text;
    double amount = 0;
    for (FTable.First(); !FTable.Eof(); FTable.Next()) {
      r.KeySum += FId->AsInteger();
      amount += FAmount->AsFloat() + FUnique->AsInteger();
      text = FName->AsString();
      text = FNote->AsString();
      ++r.Rows;
    }
    benchmark::DoNotOptimize(amount);
    benchmark::DoNotOptimize(text);
    return r;
  }

public:
  TScanResult ScanByName() {
    FTable.SetIndexName("ByName");
    const TScanResult r = Scan();
    FTable.SetIndexName("PK");
    return r;
  }
  bool ChangeAmount(std::int32_t Id, double Amount) {
    if (!FTable.FindKey({Variant(Id)})) return false;
    FTable.Edit();
    FAmount->SetAsFloat(Amount);
    FTable.Post();
    return true;
  }

private:
  TTableEngine() {
    FDb.SetDatabaseName("Bench");
    FDb.SetDatabaseFileName(BenchFile("engine.qxl"));
    FDb.MultiUser = true;
    FDb.Open();
    FTable.SetDatabaseName("Bench");
    FTable.SetTableName("t");
    FTable.SetIndexName("PK");
    FTable.Open();
    FId = &FTable.FieldByName("id");
    FUnique = &FTable.FieldByName("u");
    FName = &FTable.FieldByName("name");
    FNote = &FTable.FieldByName("note");
    FAmount = &FTable.FieldByName("amount");
  }

  TQXLEngineScope FEngine;
  TQXLDatabase FDb;
  TQXLTable FTable;
  TField *FId, *FUnique, *FName, *FNote, *FAmount;
};

}  // namespace

// The table component reads the file the cursor engine filled.
template <>
std::unique_ptr<TTableEngine>& enginebench::Filled<TTableEngine>() {
  static std::unique_ptr<TTableEngine> db = TTableEngine::Create();
  return db;
}

namespace {

class TFileSqlite : public TSqlite {
public:
  static std::unique_ptr<TFileSqlite> Create() {
    std::filesystem::remove(BenchFile("sqlite.db"));
    return std::make_unique<TFileSqlite>();
  }
  TFileSqlite()
      : TSqlite(BenchFile("sqlite.db"),
                {"PRAGMA page_size = 4096", "PRAGMA cache_size = 1000", "PRAGMA synchronous = OFF",
                 "PRAGMA journal_mode = OFF"},
                true) {}
  bool ChangeAmount(std::int32_t Id, double Amount) { return UpdateAmount(Id, Amount); }
  std::int32_t LocateUnique(std::int32_t Unique) { return FindByUnique(Unique); }
};

constexpr std::int64_t KeySum = std::int64_t{RowCount} * (RowCount - 1) / 2;

template <class TDb, bool ByName>
void ReadAll(benchmark::State& State) {
  TDb& db = *Filled<TDb>();
  for (auto _ : State) {
    const TScanResult read = ByName ? db.ScanByName() : db.Scan();
    if (read.Rows != RowCount) return Fail(State, "rows read", read.Rows, RowCount);
    if (read.KeySum != KeySum) return Fail(State, "sum of the keys read", read.KeySum, KeySum);
  }
  State.SetItemsProcessed(State.iterations() * RowCount);
}

void ReadTableLocked(benchmark::State& State) {
  TTableEngine& db = *Filled<TTableEngine>();
  for (auto _ : State) {
    const TScanResult read = db.ScanLocked();
    if (read.Rows != RowCount) return Fail(State, "rows read", read.Rows, RowCount);
    if (read.KeySum != KeySum) return Fail(State, "sum of the keys read", read.KeySum, KeySum);
  }
  State.SetItemsProcessed(State.iterations() * RowCount);
}

template <class TDb>
void LocateNote(benchmark::State& State) {
  const TWorkload& w = Workload();
  TDb& db = *Filled<TDb>();
  for (auto _ : State) {
    std::int64_t found = 0;
    for (std::int32_t row : LocateRows()) found += db.FindByNote(w.Row(row).Note) == row;
    if (found != LocateCount) return Fail(State, "rows found by their note", found, LocateCount);
  }
  State.SetItemsProcessed(State.iterations() * LocateCount);
}

template <class TDb>
void LocateUnique(benchmark::State& State) {
  const TWorkload& w = Workload();
  TDb& db = *Filled<TDb>();
  for (auto _ : State) {
    std::int64_t found = 0;
    for (std::int32_t row : IndexedLocateRows()) found += db.LocateUnique(w.Row(row).Unique) == row;
    if (found != IndexedLocateCount) return Fail(State, "rows found by their unique number", found, IndexedLocateCount);
  }
  State.SetItemsProcessed(State.iterations() * IndexedLocateCount);
}

// Odd passes put the former amounts back.
template <class TDb>
void EditAndPost(benchmark::State& State) {
  const TWorkload& w = Workload();
  TDb& db = *Filled<TDb>();
  bool restore = false;
  for (auto _ : State) {
    std::int64_t changed = 0;
    for (std::int32_t row : w.UpdateRows) changed += db.ChangeAmount(row, w.Row(row).Amount + (restore ? 0 : 0.5));
    restore = !restore;
    if (changed != UpdateCount) return Fail(State, "amounts changed", changed, UpdateCount);
  }
  if (restore) {
    for (std::int32_t row : w.UpdateRows) db.ChangeAmount(row, w.Row(row).Amount);
  }
  State.SetItemsProcessed(State.iterations() * UpdateCount);
}

}  // namespace

BENCHMARK(Guarded<ReadAll<TCursorEngine, false>>)->Name("PhysicalOrder/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<ReadAll<TFileSqlite, false>>)->Name("PhysicalOrder/sqlite")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<ReadAll<TTableEngine, false>>)->Name("PhysicalOrder/table")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<ReadTableLocked>)->Name("PhysicalOrder/table-locked")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<ReadAll<TCursorEngine, true>>)->Name("IndexOrder/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<ReadAll<TFileSqlite, true>>)->Name("IndexOrder/sqlite")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<ReadAll<TTableEngine, true>>)->Name("IndexOrder/table")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<LocateNote<TCursorEngine>>)->Name("LocateUnindexed/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<LocateNote<TFileSqlite>>)->Name("LocateUnindexed/sqlite")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<LocateUnique<TCursorEngine>>)->Name("LocateIndexed/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<LocateUnique<TFileSqlite>>)->Name("LocateIndexed/sqlite")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<EditAndPost<TCursorEngine>>)->Name("EditPost/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<EditAndPost<TFileSqlite>>)->Name("EditPost/sqlite")->Unit(benchmark::kMillisecond);
BENCHMARK(Guarded<EditAndPost<TTableEngine>>)->Name("EditPost/table")->Unit(benchmark::kMillisecond);
