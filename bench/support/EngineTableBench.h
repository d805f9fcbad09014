#pragma once
// What the engine benchmarks share: one table beside the same table in
// SQLite, the values of every phase made once, and the phases themselves.
// The table has an integer key, a unique integer, an indexed 50-character
// name, a 100-character note and a double. The engine is driven as the
// dataset layer drives it: a local cursor of a local session, its record
// buffers, and the table data's record, key and range services. Every phase
// counts what it found or changed and fails the benchmark when the count is
// wrong.
//
// Threads: one benchmark thread.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/core/schema/QXLConstraintDef.h"
#include "engine/core/schema/QXLFieldDef.h"
#include "engine/core/schema/QXLIndexDef.h"
#include "engine/core/containers/QXLMemoryManager.h"
#include "engine/core/abstract/QXLConstraintForIndex.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/abstract/QXLDatabaseDataList.h"
#include "engine/core/abstract/QXLTableData.h"
#include "engine/datasets/QXLLocalCursor.h"
#include "engine/datasets/QXLLocalSession.h"
#include "platform/Exception.h"

namespace qxl {

namespace enginebench {


constexpr std::int32_t RowCount = 100000;
constexpr std::int32_t LookupCount = 100000;
constexpr std::int32_t RangeCount = 1000;
constexpr std::int32_t RangeLength = 100;
constexpr std::int32_t UpdateCount = 10000;
constexpr std::int32_t DeleteEvery = 10;
constexpr std::int32_t NameLength = 50;
constexpr std::int32_t NoteLength = 100;
constexpr std::int32_t ReinsertCycles = 10;

struct TRow {
  std::int32_t Id = 0;
  std::int32_t Unique = 0;
  std::string Name;
  std::string Note;
  double Amount = 0;
};

inline std::string Letters(std::mt19937& Rng, std::int32_t Length) {
  std::uniform_int_distribution<int> letter('a', 'z');
  std::string s(static_cast<std::size_t>(Length), ' ');
  for (char& c : s) c = static_cast<char>(letter(Rng));
  return s;
}

// The values of every phase, made once so that both databases get the same.
struct TWorkload {
  std::vector<TRow> Rows;                 // in key order, key = position
  std::vector<std::int32_t> LookupRows;   // rows looked up by their unique integer
  std::vector<std::int32_t> RangeStarts;  // first key of each range
  std::vector<std::int32_t> UpdateRows;   // rows whose name or amount changes
  std::vector<std::string> NewNames;      // the changed names, one per update
  std::vector<std::int32_t> DeleteRows;   // every tenth row
  std::vector<std::vector<std::int32_t>> CycleRows;  // a random tenth of the rows, one set per cycle

  TWorkload() {
    std::mt19937 rng(20261211);
    std::vector<std::int32_t> unique(RowCount);
    for (std::int32_t i = 0; i < RowCount; ++i) unique[static_cast<std::size_t>(i)] = i * 3 + 7;
    std::shuffle(unique.begin(), unique.end(), rng);
    for (std::int32_t i = 0; i < RowCount; ++i)
      Rows.push_back({i, unique[static_cast<std::size_t>(i)], Letters(rng, NameLength), Letters(rng, NoteLength),
                      i * 1.25});
    std::uniform_int_distribution<std::int32_t> row(0, RowCount - 1);
    for (std::int32_t i = 0; i < LookupCount; ++i) LookupRows.push_back(row(rng));
    std::uniform_int_distribution<std::int32_t> start(0, RowCount - RangeLength);
    for (std::int32_t i = 0; i < RangeCount; ++i) RangeStarts.push_back(start(rng));
    std::vector<std::int32_t> all(RowCount);
    for (std::int32_t i = 0; i < RowCount; ++i) all[static_cast<std::size_t>(i)] = i;
    std::shuffle(all.begin(), all.end(), rng);
    UpdateRows.assign(all.begin(), all.begin() + UpdateCount);
    for (std::int32_t i = 0; i < UpdateCount; ++i) NewNames.push_back(Letters(rng, NameLength));
    for (std::int32_t i = 0; i < RowCount; i += DeleteEvery) DeleteRows.push_back(i);
    for (std::int32_t c = 0; c < ReinsertCycles; ++c) {
      std::shuffle(all.begin(), all.end(), rng);
      CycleRows.emplace_back(all.begin(), all.begin() + RowCount / DeleteEvery);
    }
  }

  const TRow& Row(std::int32_t Id) const { return Rows[static_cast<std::size_t>(Id)]; }
};

inline const TWorkload& Workload() {
  static const TWorkload w;
  return w;
}

// What a full scan read: the rows and the sum of their keys.
struct TScanResult {
  std::int64_t Rows = 0;
  std::int64_t KeySum = 0;
};

// ---------------------------------------------------------------- SQLite

class TSqlite {
public:
  // Path ":memory:" for the in-memory database; Pragmas run before the table is made.
  TSqlite(const std::string& Path, const std::vector<std::string>& Pragmas, bool Create) {
    Check(sqlite3_open(Path.c_str(), &FDb));
    for (const std::string& p : Pragmas) Exec(p.c_str());
    if (Create) {
      Exec("CREATE TABLE t (id INTEGER PRIMARY KEY, u INTEGER NOT NULL, name TEXT, note TEXT, amount REAL)");
      Exec("CREATE UNIQUE INDEX t_u ON t (u)");
      Exec("CREATE INDEX t_name ON t (name)");
    }
    FInsert = Prepare("INSERT INTO t (id, u, name, note, amount) VALUES (?, ?, ?, ?, ?)");
    FByUnique = Prepare("SELECT id, u, name, note, amount FROM t WHERE u = ?");
    FRange = Prepare("SELECT id, u, name, note, amount FROM t WHERE id BETWEEN ? AND ? ORDER BY id");
    FUpdateName = Prepare("UPDATE t SET name = ? WHERE id = ?");
    FUpdateAmount = Prepare("UPDATE t SET amount = ? WHERE id = ?");
    FDelete = Prepare("DELETE FROM t WHERE id = ?");
    FCount = Prepare("SELECT COUNT(*) FROM t");
    FPageCount = Prepare("PRAGMA page_count");
    FPageSize = Prepare("PRAGMA page_size");
    FScan = Prepare("SELECT id, u, name, note, amount FROM t");
    FScanByName = Prepare("SELECT id, u, name, note, amount FROM t ORDER BY name");
    FByNote = Prepare("SELECT id, u, name, note, amount FROM t WHERE note = ? LIMIT 1");
    FByName = Prepare("SELECT id, u, name, note, amount FROM t WHERE name = ? LIMIT 1");
  }
  ~TSqlite() {
    for (sqlite3_stmt* s :
         {FInsert, FByUnique, FRange, FUpdateName, FUpdateAmount, FDelete, FCount, FScan, FPageCount, FPageSize,
          FScanByName, FByNote, FByName})
      sqlite3_finalize(s);
    sqlite3_close(FDb);
  }
  TSqlite(const TSqlite&) = delete;
  TSqlite& operator=(const TSqlite&) = delete;

  void Begin() { Exec("BEGIN"); }
  void Commit() { Exec("COMMIT"); }

  bool Insert(const TRow& Row) {
    sqlite3_bind_int(FInsert, 1, Row.Id);
    sqlite3_bind_int(FInsert, 2, Row.Unique);
    sqlite3_bind_text(FInsert, 3, Row.Name.data(), static_cast<int>(Row.Name.size()), SQLITE_STATIC);
    sqlite3_bind_text(FInsert, 4, Row.Note.data(), static_cast<int>(Row.Note.size()), SQLITE_STATIC);
    sqlite3_bind_double(FInsert, 5, Row.Amount);
    return StepChange(FInsert);
  }
  // The key of the row holding Unique, after reading all its columns; -1 when none.
  std::int32_t FindByUnique(std::int32_t Unique) {
    sqlite3_bind_int(FByUnique, 1, Unique);
    std::int32_t id = -1;
    if (sqlite3_step(FByUnique) == SQLITE_ROW && ReadRow(FByUnique).Unique == Unique) id = sqlite3_column_int(FByUnique, 0);
    sqlite3_reset(FByUnique);
    return id;
  }
  // The rows of keys First .. Last read in key order; -1 when a key is out of order.
  std::int32_t ReadRange(std::int32_t First, std::int32_t Last) {
    sqlite3_bind_int(FRange, 1, First);
    sqlite3_bind_int(FRange, 2, Last);
    std::int32_t count = 0;
    std::int32_t expected = First;
    while (sqlite3_step(FRange) == SQLITE_ROW) {
      if (ReadRow(FRange).Id < expected) count = -RowCount;
      expected = sqlite3_column_int(FRange, 0) + 1;
      ++count;
    }
    sqlite3_reset(FRange);
    return count < 0 ? -1 : count;
  }
  bool UpdateName(std::int32_t Id, const std::string& Name) {
    sqlite3_bind_text(FUpdateName, 1, Name.data(), static_cast<int>(Name.size()), SQLITE_STATIC);
    sqlite3_bind_int(FUpdateName, 2, Id);
    return StepChange(FUpdateName);
  }
  bool UpdateAmount(std::int32_t Id, double Amount) {
    sqlite3_bind_double(FUpdateAmount, 1, Amount);
    sqlite3_bind_int(FUpdateAmount, 2, Id);
    return StepChange(FUpdateAmount);
  }
  bool Delete(std::int32_t Id) {
    sqlite3_bind_int(FDelete, 1, Id);
    return StepChange(FDelete);
  }
  std::int64_t Count() {
    std::int64_t n = -1;
    if (sqlite3_step(FCount) == SQLITE_ROW) n = sqlite3_column_int64(FCount, 0);
    sqlite3_reset(FCount);
    return n;
  }
  // The pages the database holds, in megabytes.
  double StoredMegaBytes() { return static_cast<double>(Single(FPageCount) * Single(FPageSize)) / 1e6; }
  // Every row read, every column, in the table's own order or by name.
  TScanResult Scan() { return ScanWith(FScan); }
  TScanResult ScanByName() { return ScanWith(FScanByName); }
  // The key of the first row whose note (not indexed) or name (indexed) is Text; -1 when none.
  std::int32_t FindByNote(const std::string& Text) { return FindText(FByNote, Text); }
  std::int32_t FindByName(const std::string& Text) { return FindText(FByName, Text); }

private:
  void Check(int Rc) {
    if (Rc != SQLITE_OK) throw std::runtime_error(std::string("SQLite: ") + (FDb ? sqlite3_errmsg(FDb) : "open"));
  }
  void Exec(const char* Sql) { Check(sqlite3_exec(FDb, Sql, nullptr, nullptr, nullptr)); }
  sqlite3_stmt* Prepare(const char* Sql) {
    sqlite3_stmt* s = nullptr;
    Check(sqlite3_prepare_v3(FDb, Sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr));
    return s;
  }
  std::int64_t Single(sqlite3_stmt* S) {
    std::int64_t n = -1;
    if (sqlite3_step(S) == SQLITE_ROW) n = sqlite3_column_int64(S, 0);
    sqlite3_reset(S);
    return n;
  }
  TScanResult ScanWith(sqlite3_stmt* S) {
    TScanResult r;
    while (sqlite3_step(S) == SQLITE_ROW) {
      r.KeySum += ReadRow(S).Id;
      ++r.Rows;
    }
    sqlite3_reset(S);
    return r;
  }
  std::int32_t FindText(sqlite3_stmt* S, const std::string& Text) {
    sqlite3_bind_text(S, 1, Text.data(), static_cast<int>(Text.size()), SQLITE_STATIC);
    std::int32_t id = -1;
    if (sqlite3_step(S) == SQLITE_ROW) id = ReadRow(S).Id;
    sqlite3_reset(S);
    return id;
  }
  // A statement that changes one row.
  bool StepChange(sqlite3_stmt* S) {
    const bool done = sqlite3_step(S) == SQLITE_DONE && sqlite3_changes(FDb) == 1;
    sqlite3_reset(S);
    return done;
  }
  // Every column read, as an application would.
  static TRow ReadRow(sqlite3_stmt* S) {
    TRow r;
    r.Id = sqlite3_column_int(S, 0);
    r.Unique = sqlite3_column_int(S, 1);
    r.Name.assign(reinterpret_cast<const char*>(sqlite3_column_text(S, 2)), static_cast<std::size_t>(sqlite3_column_bytes(S, 2)));
    r.Note.assign(reinterpret_cast<const char*>(sqlite3_column_text(S, 3)), static_cast<std::size_t>(sqlite3_column_bytes(S, 3)));
    r.Amount = sqlite3_column_double(S, 4);
    return r;
  }

  sqlite3* FDb = nullptr;
  sqlite3_stmt* FInsert = nullptr;
  sqlite3_stmt* FByUnique = nullptr;
  sqlite3_stmt* FRange = nullptr;
  sqlite3_stmt* FUpdateName = nullptr;
  sqlite3_stmt* FUpdateAmount = nullptr;
  sqlite3_stmt* FDelete = nullptr;
  sqlite3_stmt* FCount = nullptr;
  sqlite3_stmt* FScan = nullptr;
  sqlite3_stmt* FPageCount = nullptr;
  sqlite3_stmt* FPageSize = nullptr;
  sqlite3_stmt* FScanByName = nullptr;
  sqlite3_stmt* FByNote = nullptr;
  sqlite3_stmt* FByName = nullptr;
};

// ---------------------------------------------------------------- engine

// A buffer of the engine memory manager, freed on every way out.
struct TEngineBuffer {
  std::uint8_t* Bytes = nullptr;
  ~TEngineBuffer() {
    if (Bytes) QXLMemoryManager().FreeAndNillMem(Bytes);
  }
};

// The table "t" of one database through one session and one cursor. A
// derived engine connects the session and then calls OpenTable; it may hold
// a table lock around each statement, as a shared file's statements do.
class TEngine {
public:
  static constexpr std::int32_t IdField = 0;
  static constexpr std::int32_t UniqueField = 1;
  static constexpr std::int32_t NameField = 2;
  static constexpr std::int32_t NoteField = 3;
  static constexpr std::int32_t AmountField = 4;

  virtual ~TEngine() {
    if (!FTable) return;
    FCursor.ResetRange();
    FCursor.FKeyBuffer = nullptr;
    FCursor.CloseTable();
  }
  TEngine(const TEngine&) = delete;
  TEngine& operator=(const TEngine&) = delete;

  void Begin() { FSession.StartTransaction(); }
  void Commit() { FSession.Commit(false); }

  bool Insert(const TRow& Row) {
    bool done = false;
    Statement(ltRW, [&] {
      std::uint8_t* r = FCursor.FCurrentRecordBuffer;
      FCursor.InternalInitRecord(r, true);
      Store(Row, r);
      TQXLCursor* c = &FCursor;
      done = FCursor.CheckConstraints(true) && FTable->InsertRecord(c);
    });
    return done;
  }
  // The key of the row holding Unique, after reading its record; -1 when none.
  std::int32_t FindByUnique(std::int32_t Unique) {
    std::int32_t id = -1;
    Statement(ltS, [&] {
      if (SeekKey("ByU", UniqueField, Unique) && IntField(UniqueField) == Unique) id = IntField(IdField);
    });
    return id;
  }
  // The rows of keys First .. Last read in key order; -1 when a key is out of order.
  std::int32_t ReadRange(std::int32_t First, std::int32_t Last) {
    std::int32_t count = 0;
    Statement(ltS, [&] { count = WalkRange(First, Last); });
    return count;
  }
  bool UpdateName(std::int32_t Id, const std::string& Name) {
    return UpdateField(Id, NameField, Name.c_str());
  }
  bool UpdateAmount(std::int32_t Id, double Amount) { return UpdateField(Id, AmountField, &Amount); }
  bool Delete(std::int32_t Id) {
    bool done = false;
    Statement(ltRW, [&] { done = SeekKey("PK", IdField, Id) && FTable->DeleteRecord(&FCursor); });
    return done;
  }
  std::int64_t Count() {
    std::int64_t count = -1;
    Statement(ltS, [&] { count = FTable->GetRecordCount(&FCursor); });
    return count;
  }
  // Every record read, every field, in the table's own order or in Index's.
  TScanResult Scan(const char* Index = "") {
    TScanResult r;
    Statement(ltS, [&] {
      UseIndex(Index);
      FCursor.FirstPosition = true;
      FCursor.LastPosition = false;
      TRow row;
      while (FCursor.GetRecordBuffer(grmNext) == grrOK) {
        Load(row);
        r.KeySum += row.Id;
        ++r.Rows;
      }
    });
    return r;
  }

  // The key of the first record, in physical order, whose Field holds Text,
  // found by the cursor's Locate; -1 when none.
  std::int32_t LocateText(const char* Field, const std::string& Text) {
    std::int32_t id = -1;
    Statement(ltS, [&] {
      UseIndex("");
      if (FCursor.Locate(Field, Variant(Text), false, false)) id = IntField(IdField);
    });
    return id;
  }
  // The amount of the record Id changed through the cursor's edit and post,
  // as a dataset posts one record: the post takes its own table lock.
  bool EditAmount(std::int32_t Id, double Amount) {
    bool found = false;
    Statement(ltS, [&] { found = SeekKey("PK", IdField, Id); });
    if (!found) return false;
    std::uint8_t* r = FCursor.FCurrentRecordBuffer;
    std::memcpy(r + FCursor.FBookmarkOffset, &FCursor.CurrentRecordID, sizeof FCursor.CurrentRecordID);
    r[FCursor.FBookmarkOffset + 6] = 0;
    if (!FCursor.FEditRecordBuffer) FCursor.FEditRecordBuffer = FCursor.AllocateRecordBuffer();
    std::memcpy(FCursor.FEditRecordBuffer, r, static_cast<std::size_t>(FCursor.FRecordBufferSize));
    FCursor.InternalEdit();
    if (FCursor.ErrorCode() != 0) return false;
    FCursor.SetFieldData(AmountField, &Amount, r);
    FCursor.InternalPost(false);
    return FCursor.ErrorCode() == 0;
  }

protected:
  explicit TEngine(TQXLDatabaseDataCreator Creator = nullptr) : FSession(FList, std::move(Creator)) {}

  // Opens table "t" of the connected session's database, made first when Create.
  void OpenTable(bool Create) {
    FCursor.FSession = &FSession;
    FCursor.FTableName = "t";
    FTable = FSession.DatabaseData()->FindOrCreateTableData(&FCursor);
    if (Create) CreateTable();
    FCursor.OpenTable(FTable);
    FCursor.FCurrentRecordBuffer = FCursor.AllocateRecordBuffer();
    FCursor.FEditRecordBuffer = FCursor.AllocateRecordBuffer();
    for (TEngineBuffer* b : {&FKey, &FRangeStart, &FRangeEnd}) b->Bytes = FCursor.AllocateRecordBuffer();
    for (std::int32_t field : {NameField, NoteField})
      FText.resize(std::max(FText.size(), static_cast<std::size_t>(FCursor.FFieldDefs->GetDef(field)->MemoryDataSize)));
  }
  // Runs one statement on the table: Lock is the table lock that a query
  // (ltS) or a change (ltRW) of a table shared between processes holds for
  // the statement's length.
  virtual void Statement(TQXLLockType Lock, const std::function<void()>& Run) {
    static_cast<void>(Lock);
    Run();
  }

  TQXLDatabaseDataList FList;
  TQXLLocalSession FSession;
  TQXLLocalCursor FCursor;
  TQXLTableData* FTable = nullptr;

private:
  static TQXLFieldDef& AddField(TQXLFieldDefs& Fields, const char* Name, TQXLAdvancedFieldType Type,
                                std::int32_t Size) {
    TQXLFieldDef* f = Fields.AddCreated();
    f->Name = Name;
    f->SetFieldDefDataType(Type, Size);
    return *f;
  }
  static void AddIndex(TQXLIndexDefs& Indexes, TQXLConstraintDefs& Constraints, const char* Name, const char* Field,
                       bool Primary, bool Unique) {
    TQXLIndexDef* ix = Indexes.AddCreated();
    ix->Name = Name;
    ix->AssignByNames({Field}, {"ASC"}, {"CASE"});
    ix->Primary = Primary;
    ix->Unique = Unique;
    AddConstraintDefForIndex(*ix, Constraints);
  }
  void CreateTable() {
    TQXLFieldDefs fields;
    AddField(fields, "id", aftInteger, 0);
    AddField(fields, "u", aftInteger, 0);
    AddField(fields, "name", aftString, NameLength);
    AddField(fields, "note", aftString, NoteLength);
    AddField(fields, "amount", aftDouble, 0);
    TQXLIndexDefs indexes;
    TQXLConstraintDefs constraints;
    AddIndex(indexes, constraints, "PK", "id", true, true);
    AddIndex(indexes, constraints, "ByU", "u", false, true);
    AddIndex(indexes, constraints, "ByName", "name", false, false);
    FTable->CreateTable(&FCursor, fields, indexes, constraints);
  }
  void Store(const TRow& Row, std::uint8_t* R) {
    FCursor.SetFieldData(IdField, &Row.Id, R);
    FCursor.SetFieldData(UniqueField, &Row.Unique, R);
    FCursor.SetFieldData(NameField, Row.Name.c_str(), R);
    FCursor.SetFieldData(NoteField, Row.Note.c_str(), R);
    FCursor.SetFieldData(AmountField, &Row.Amount, R);
  }
  // Every field of the current record, as an application would read them.
  void Load(TRow& Row) {
    std::uint8_t* r = FCursor.FCurrentRecordBuffer;
    FCursor.GetFieldData(IdField, &Row.Id, r);
    FCursor.GetFieldData(UniqueField, &Row.Unique, r);
    FCursor.GetFieldData(NameField, FText.data(), r);
    Row.Name.assign(FText.data(), strnlen(FText.data(), FText.size()));
    FCursor.GetFieldData(NoteField, FText.data(), r);
    Row.Note.assign(FText.data(), strnlen(FText.data(), FText.size()));
    FCursor.GetFieldData(AmountField, &Row.Amount, r);
  }
  bool UpdateField(std::int32_t Id, std::int32_t Field, const void* Value) {
    bool done = false;
    Statement(ltRW, [&] {
      if (!SeekKey("PK", IdField, Id)) return;
      if (!FCursor.FEditRecordBuffer) FCursor.FEditRecordBuffer = FCursor.AllocateRecordBuffer();
      std::memcpy(FCursor.FEditRecordBuffer, FCursor.FCurrentRecordBuffer,
                  static_cast<std::size_t>(FCursor.FRecordBufferSize));
      FCursor.SetFieldData(Field, Value, FCursor.FCurrentRecordBuffer);
      done = FCursor.CheckConstraints(false) && FTable->UpdateRecord(&FCursor);
    });
    return done;
  }
  std::int32_t WalkRange(std::int32_t First, std::int32_t Last) {
    UseIndex("PK");
    InitKey(FRangeStart.Bytes, IdField, First);
    InitKey(FRangeEnd.Bytes, IdField, Last);
    FCursor.ApplyRange(FRangeStart.Bytes, FRangeEnd.Bytes, 1, 1, false, false);
    // A failed walk must not leave the range on the cursor for the phases after it.
    struct TRangeReset {
      TQXLCursor& Cursor;
      ~TRangeReset() { Cursor.ResetRange(); }
    } reset{FCursor};
    FCursor.FirstPosition = true;
    FCursor.LastPosition = false;
    std::int32_t count = 0;
    std::int32_t expected = First;
    while (FCursor.GetRecordBuffer(grmNext) == grrOK) {
      const std::int32_t id = IntField(IdField);
      if (id < expected) count = -RowCount;
      expected = id + 1;
      ++count;
    }
    return count < 0 ? -1 : count;
  }
  void UseIndex(const char* Name) {
    if (FCursor.IndexName() != Name) FCursor.SetIndexName(Name);
  }
  void InitKey(std::uint8_t* Key, std::int32_t Field, std::int32_t Value) {
    FCursor.InternalInitRecord(Key, false);
    FCursor.SetFieldData(Field, &Value, Key);
  }
  // Finds the record whose Field (the first column of Index) holds Value and reads it.
  bool SeekKey(const char* Index, std::int32_t Field, std::int32_t Value) {
    UseIndex(Index);
    InitKey(FKey.Bytes, Field, Value);
    FCursor.FKeyBuffer = FKey.Bytes;
    FCursor.FKeyFieldCount = 1;
    return FTable->FindKey(&FCursor, scEqual) && FCursor.GetRecordBuffer(grmCurrent) == grrOK;
  }
  std::int32_t IntField(std::int32_t Field) {
    std::int32_t v = -1;
    FCursor.GetFieldData(Field, &v, FCursor.FCurrentRecordBuffer);
    return v;
  }

  TEngineBuffer FKey;
  TEngineBuffer FRangeStart;
  TEngineBuffer FRangeEnd;
  std::vector<char> FText;  // a text field as read out of a record
};

// ---------------------------------------------------------------- phases

// Every row inserted in one transaction; false when one is refused.
template <class TDb>
bool InsertAll(TDb& Db) {
  bool ok = true;
  Db.Begin();
  for (const TRow& r : Workload().Rows) ok = Db.Insert(r) && ok;
  Db.Commit();
  return ok;
}

// One filled database of a kind, shared by the phases after the insert; a
// phase may replace it by the same database opened again.
template <class TDb>
std::unique_ptr<TDb>& Filled() {
  static std::unique_ptr<TDb> db;
  if (!db) {
    db = TDb::Create();
    if (!InsertAll(*db)) throw std::runtime_error("the table could not be filled");
  }
  return db;
}

inline void Fail(benchmark::State& State, const std::string& What, std::int64_t Got, std::int64_t Expected) {
  const std::string text = What + ": " + std::to_string(Got) + " instead of " + std::to_string(Expected);
  State.SkipWithError(text.c_str());
}

template <class TDb>
void Insert(benchmark::State& State) {
  Workload();
  for (auto _ : State) {
    State.PauseTiming();
    std::unique_ptr<TDb> db = TDb::Create();
    State.ResumeTiming();
    const bool ok = InsertAll(*db);
    State.PauseTiming();
    const std::int64_t count = db->Count();
    db.reset();
    State.ResumeTiming();
    if (!ok || count != RowCount) return Fail(State, "rows after the insert", count, RowCount);
  }
  State.SetItemsProcessed(State.iterations() * RowCount);
}

template <class TDb>
void Lookup(benchmark::State& State) {
  const TWorkload& w = Workload();
  TDb& db = *Filled<TDb>();
  for (auto _ : State) {
    std::int64_t found = 0;
    for (std::int32_t row : w.LookupRows) found += db.FindByUnique(w.Row(row).Unique) == row;
    if (found != LookupCount) return Fail(State, "rows found by the unique integer", found, LookupCount);
  }
  State.SetItemsProcessed(State.iterations() * LookupCount);
}

template <class TDb>
void Range(benchmark::State& State) {
  const TWorkload& w = Workload();
  TDb& db = *Filled<TDb>();
  for (auto _ : State) {
    std::int64_t rows = 0;
    for (std::int32_t first : w.RangeStarts) rows += db.ReadRange(first, first + RangeLength - 1);
    if (rows != std::int64_t{RangeCount} * RangeLength)
      return Fail(State, "rows read in key ranges", rows, std::int64_t{RangeCount} * RangeLength);
  }
  State.SetItemsProcessed(State.iterations() * RangeCount * RangeLength);
}

// Runs Work in one transaction when InTransaction, each change on its own otherwise.
template <bool InTransaction, class TDb, class TWork>
auto Transacted(TDb& Db, TWork Work) {
  if constexpr (InTransaction) Db.Begin();
  auto result = Work();
  if constexpr (InTransaction) Db.Commit();
  return result;
}

// The indexed names changed; odd passes put the former names back, so that
// the table stays the workload's.
template <class TDb, bool InTransaction>
void Update(benchmark::State& State) {
  const TWorkload& w = Workload();
  TDb& db = *Filled<TDb>();
  bool restore = false;
  auto pass = [&] {
    std::int64_t changed = 0;
    for (std::int32_t i = 0; i < UpdateCount; ++i) {
      const std::int32_t row = w.UpdateRows[static_cast<std::size_t>(i)];
      changed += db.UpdateName(row, restore ? w.Row(row).Name : w.NewNames[static_cast<std::size_t>(i)]);
    }
    return changed;
  };
  for (auto _ : State) {
    const std::int64_t changed = Transacted<InTransaction>(db, pass);
    restore = !restore;
    if (changed != UpdateCount) return Fail(State, "names changed", changed, UpdateCount);
  }
  if (restore) Transacted<InTransaction>(db, pass);
  State.SetItemsProcessed(State.iterations() * UpdateCount);
}

// The deleted rows are inserted again, untimed, for the next pass.
template <class TDb, bool InTransaction>
void Delete(benchmark::State& State) {
  const TWorkload& w = Workload();
  TDb& db = *Filled<TDb>();
  const std::int64_t deletes = static_cast<std::int64_t>(w.DeleteRows.size());
  for (auto _ : State) {
    const std::int64_t deleted = Transacted<InTransaction>(db, [&] {
      std::int64_t n = 0;
      for (std::int32_t row : w.DeleteRows) n += db.Delete(row);
      return n;
    });
    State.PauseTiming();
    const std::int64_t left = db.Count();
    db.Begin();
    for (std::int32_t row : w.DeleteRows) db.Insert(w.Row(row));
    db.Commit();
    const std::int64_t restored = db.Count();
    State.ResumeTiming();
    if (deleted != deletes) return Fail(State, "rows deleted", deleted, deletes);
    if (left != RowCount - deletes) return Fail(State, "rows left after the deletes", left, RowCount - deletes);
    if (restored != RowCount) return Fail(State, "rows after inserting the deleted ones again", restored, RowCount);
  }
  State.SetItemsProcessed(State.iterations() * deletes);
}

// A random tenth of the rows deleted by key and the same rows inserted again,
// cycle after cycle, each half in one transaction or each change on its own;
// the rows stay the workload's. The database's size afterwards is a counter:
// with pages that keep finding the rows, it stays what the first cycle left.
template <class TDb, bool InTransaction>
void DeleteInsertCycles(benchmark::State& State) {
  const TWorkload& w = Workload();
  TDb& db = *Filled<TDb>();
  const std::int64_t perCycle = RowCount / DeleteEvery;
  for (auto _ : State) {
    for (const std::vector<std::int32_t>& rows : w.CycleRows) {
      const std::int64_t deleted = Transacted<InTransaction>(db, [&] {
        std::int64_t n = 0;
        for (std::int32_t row : rows) n += db.Delete(row);
        return n;
      });
      const std::int64_t inserted = Transacted<InTransaction>(db, [&] {
        std::int64_t n = 0;
        for (std::int32_t row : rows) n += db.Insert(w.Row(row));
        return n;
      });
      if (deleted != perCycle) return Fail(State, "rows deleted in a cycle", deleted, perCycle);
      if (inserted != perCycle) return Fail(State, "rows inserted again in a cycle", inserted, perCycle);
    }
  }
  State.counters["MB"] = db.StoredMegaBytes();
  State.SetItemsProcessed(State.iterations() * ReinsertCycles * perCycle * 2);
}

// An engine or SQLite failure ends the benchmark with its message.
template <void (*Phase)(benchmark::State&)>
void Guarded(benchmark::State& State) {
  try {
    Phase(State);
  } catch (const platform::Exception& e) {
    State.SkipWithError(e.Message.c_str());
  } catch (const std::exception& e) {
    State.SkipWithError(e.what());
  }
}

}  // namespace enginebench

}  // namespace qxl
