// The SQL layer beside SQLite on the task database of the user program: the
// same tables, rows and indexes in a disk file of each, and the statements
// the program runs, phase by phase, so that each phase reads as a ratio from
// one run. The engine gets the SQL text as the program writes it, through a
// query component on a multi-user database; SQLite runs prepared statements
// of the same SQL (its dialect's spelling of a NULL test, string quotes and
// the last inserted key), on a file that neither flushes nor journals, with
// pages of 4096 bytes. Phases: the task list query with each view's WHERE
// clause and its sort (own open tasks, unassigned open tasks, all open
// tasks), 1,000 tasks read by Id, 20 tasks inserted each followed by the
// read of the new key with LASTAUTOINC (the program's query answers it once
// per row of the task table and reads the first), 1,000 editor updates by
// Id, 20 deletes by Id, the tasks counted per state with GROUP BY, a LIKE on the
// subject's beginning and an IN subquery. Every phase reads every column of
// every row and fails the benchmark when it finds another number of rows
// than the data holds.
//
// Threads: one benchmark thread.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/support/ScratchFolder.h"
#include "bench/support/TaskListData.h"
#include "engine/core/QXLException.h"
#include "engine/datasets/QXLMain.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/expr/QXLExpressionServices.h"
#include "engine/sql/query/QXLQuery.h"
#include "platform/Exception.h"
#include "platform/TempFile.h"

using namespace qxl;
using namespace qxl::tasklist;

namespace {

// The user whose views are listed.
constexpr std::int32_t Me = 7;
constexpr std::int32_t ByIdCount = 1000;
constexpr std::int32_t InsertCount = 20;
constexpr std::int32_t UpdateCount = 1000;
const std::string SubjectPrefix = "Fix";

// What a query read: its rows and the sum of its first column.
struct TRead {
  std::int64_t Rows = 0;
  std::int64_t FirstSum = 0;
};


std::string BenchFile(const char* Name) {
  static const qxl::enginebench::TScratchFolder folder("qxl-sql-bench");
  return folder.File(Name);
}

// The ids of the tasks read, updated and the values of the inserted tasks,
// made once.
struct TPicks {
  std::vector<std::int32_t> Ids;  // ByIdCount and UpdateCount ids of existing tasks
  TPicks() {
    std::mt19937 rng(1211);
    std::uniform_int_distribution<std::int32_t> id(1, TaskCount);
    for (std::int32_t i = 0; i < std::max(ByIdCount, UpdateCount); ++i) Ids.push_back(id(rng));
  }
};
const TPicks& Picks() {
  static const TPicks p;
  return p;
}
const TTask& TaskOf(std::int32_t Id) { return Data().Tasks[static_cast<std::size_t>(Id - 1)]; }

// A text as a quoted SQL literal, inner quotes doubled.
std::string Quoted(const std::string& Text) {
  std::string q = "'";
  for (char c : Text) q += c == '\'' ? std::string("''") : std::string(1, c);
  return q + "'";
}

// ---------------------------------------------------------------- SQLite

class TSqliteTasks {
public:
  static std::unique_ptr<TSqliteTasks> Create() { return std::make_unique<TSqliteTasks>(); }

  TSqliteTasks() {
    std::filesystem::remove(File());
    Check(sqlite3_open(File().c_str(), &FDb));
    for (const char* p : {"PRAGMA page_size = 4096", "PRAGMA cache_size = 1000", "PRAGMA synchronous = OFF",
                          "PRAGMA journal_mode = OFF"})
      Exec(p);
    for (const std::string& s : SqliteSchema()) Exec(s.c_str());
    Fill();
    FOwn = Prepare(TaskListQuery(OwnTasksWhere(Me, true)));
    FUnassigned = Prepare(TaskListQuery(UnassignedWhere(Me, true)));
    FAllOpen = Prepare(TaskListQuery(AllOpenWhere(Me)));
    FById = Prepare("SELECT * FROM TaskList WHERE Id = ?");
    FInsert = Prepare(
        "INSERT INTO TaskList(UpdateCounter,Registered,RegisteredSet,TargetDate,TargetDateSet,Finished,Subject, "
        "Author_Id, Memo_Id, Client_Id, Category_Id, Priority_Id, Responsible_Id, State_Id) "
        "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    FLastId = Prepare("SELECT last_insert_rowid() AS LastId FROM TaskList");
    FUpdate = Prepare(
        "UPDATE TaskList SET UpdateCounter = ?, Registered = ?, TargetDate = ?, TargetDateSet = ?, Finished = ?, "
        "Subject = ? WHERE Id = ?");
    FDelete = Prepare("DELETE FROM TaskList WHERE Id = ?");
    FPerState = Prepare("SELECT State_Id, COUNT(*) AS Tasks FROM TaskList GROUP BY State_Id");
    FLike = Prepare("SELECT TaskList.Id, TaskList.Subject FROM TaskList WHERE (TaskList.Subject LIKE ?)");
    FIn = Prepare(
        "SELECT Id, Subject FROM TaskList WHERE State_Id IN (SELECT Id FROM States WHERE Extension > 99999)");
  }
  ~TSqliteTasks() {
    for (sqlite3_stmt* s : FStatements) sqlite3_finalize(s);
    sqlite3_close(FDb);
  }
  TSqliteTasks(const TSqliteTasks&) = delete;
  TSqliteTasks& operator=(const TSqliteTasks&) = delete;

  TRead OwnTasks() { return ReadAll(FOwn); }
  TRead UnassignedTasks() { return ReadAll(FUnassigned); }
  TRead AllOpenTasks() { return ReadAll(FAllOpen); }
  TRead TaskById(std::int32_t Id) {
    sqlite3_bind_int(FById, 1, Id);
    return ReadAll(FById);
  }
  // The key the new task got; -1 when the insert failed.
  std::int64_t InsertTask(const TTask& T) {
    int k = 1;
    sqlite3_bind_int(FInsert, k++, 0);
    BindText(FInsert, k++, IsoDate(T.Registered));
    sqlite3_bind_int(FInsert, k++, 1);
    BindDate(FInsert, k++, T.TargetDate);
    sqlite3_bind_int(FInsert, k++, T.TargetDate ? 1 : 0);
    BindDate(FInsert, k++, T.Finished);
    BindText(FInsert, k++, T.Subject);
    for (std::int32_t v : {T.Author, T.Memo, T.Client, T.Category, T.Priority, T.Responsible, T.State})
      sqlite3_bind_int(FInsert, k++, v);
    if (!StepChange(FInsert)) return -1;
    std::int64_t id = -1;
    if (sqlite3_step(FLastId) == SQLITE_ROW) id = sqlite3_column_int64(FLastId, 0);
    sqlite3_reset(FLastId);
    return id;
  }
  bool UpdateTask(std::int32_t Id, std::int32_t Counter, const TTask& T) {
    int k = 1;
    sqlite3_bind_int(FUpdate, k++, Counter);
    BindText(FUpdate, k++, IsoDate(T.Registered));
    BindDate(FUpdate, k++, T.TargetDate);
    sqlite3_bind_int(FUpdate, k++, T.TargetDate ? 1 : 0);
    BindDate(FUpdate, k++, T.Finished);
    BindText(FUpdate, k++, T.Subject);
    sqlite3_bind_int(FUpdate, k++, Id);
    return StepChange(FUpdate);
  }
  bool DeleteTask(std::int64_t Id) {
    sqlite3_bind_int64(FDelete, 1, Id);
    return StepChange(FDelete);
  }
  // Rows: the groups; FirstSum: the sum of the counts.
  TRead TasksPerState() {
    TRead r;
    while (sqlite3_step(FPerState) == SQLITE_ROW) {
      ++r.Rows;
      r.FirstSum += sqlite3_column_int64(FPerState, 1);
    }
    sqlite3_reset(FPerState);
    return r;
  }
  TRead SubjectLike(const std::string& Prefix) {
    const std::string pattern = Prefix + "%";
    BindText(FLike, 1, pattern);
    return ReadAll(FLike);
  }
  TRead ClosedTasks() { return ReadAll(FIn); }

private:
  static std::string File() { return BenchFile("sqlite.db"); }

  void Check(int Rc) {
    if (Rc != SQLITE_OK) throw std::runtime_error(std::string("SQLite: ") + (FDb ? sqlite3_errmsg(FDb) : "open"));
  }
  void Exec(const char* Sql) { Check(sqlite3_exec(FDb, Sql, nullptr, nullptr, nullptr)); }
  sqlite3_stmt* Prepare(const std::string& Sql) {
    sqlite3_stmt* s = nullptr;
    Check(sqlite3_prepare_v3(FDb, Sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr));
    FStatements.push_back(s);
    return s;
  }
  static void BindText(sqlite3_stmt* S, int K, const std::string& Text) {
    sqlite3_bind_text(S, K, Text.data(), static_cast<int>(Text.size()), SQLITE_TRANSIENT);
  }
  static void BindDate(sqlite3_stmt* S, int K, const std::optional<platform::TDateTime>& Date) {
    if (Date)
      BindText(S, K, IsoDate(*Date));
    else
      sqlite3_bind_null(S, K);
  }
  bool StepChange(sqlite3_stmt* S) {
    const bool done = sqlite3_step(S) == SQLITE_DONE && sqlite3_changes(FDb) == 1;
    sqlite3_reset(S);
    return done;
  }
  // Every column of every row read as text, as a grid shows it.
  TRead ReadAll(sqlite3_stmt* S) {
    TRead r;
    const int columns = sqlite3_column_count(S);
    while (sqlite3_step(S) == SQLITE_ROW) {
      ++r.Rows;
      r.FirstSum += sqlite3_column_int64(S, 0);
      for (int c = 0; c < columns; ++c) {
        const unsigned char* text = sqlite3_column_text(S, c);
        FText.assign(text ? reinterpret_cast<const char*>(text) : "");
      }
    }
    sqlite3_reset(S);
    return r;
  }

  void Fill() {
    Exec("BEGIN");
    sqlite3_stmt* lookup = nullptr;
    auto lookups = [&](const char* Sql, const std::vector<TLookup>& Rows, bool WithPrivate) {
      Check(sqlite3_prepare_v2(FDb, Sql, -1, &lookup, nullptr));
      for (const TLookup& l : Rows) {
        sqlite3_bind_int(lookup, 1, l.Id);
        BindText(lookup, 2, l.Name);
        sqlite3_bind_int(lookup, 3, l.Extension);
        if (WithPrivate) sqlite3_bind_int(lookup, 4, l.Private);
        if (sqlite3_step(lookup) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(FDb));
        sqlite3_reset(lookup);
      }
      sqlite3_finalize(lookup);
    };
    lookups("INSERT INTO Users (Id, Name, Extension) VALUES (?, ?, ?)", Data().Users, false);
    lookups("INSERT INTO Clients (Id, Client, Extension) VALUES (?, ?, ?)", Data().Clients, false);
    lookups("INSERT INTO Categories (Id, Category, Extension, Private) VALUES (?, ?, ?, ?)", Data().Categories, true);
    lookups("INSERT INTO Priorities (Id, Priority, Extension) VALUES (?, ?, ?)", Data().Priorities, false);
    lookups("INSERT INTO States (Id, State, Extension) VALUES (?, ?, ?)", Data().States, false);
    for (const TInternalRow& row : Internals())
      Exec(("INSERT INTO AppInternals (Id, Data) VALUES (" + std::to_string(row.Id) + ", " + Quoted(row.Data) + ")")
               .c_str());
    sqlite3_stmt* insert = nullptr;
    Check(sqlite3_prepare_v2(FDb,
                             "INSERT INTO TaskList(Id,UpdateCounter,Registered,RegisteredSet,TargetDate,TargetDateSet,"
                             "Finished,Subject,Author_Id,Memo_Id,Client_Id,Category_Id,Priority_Id,Responsible_Id,"
                             "State_Id) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                             -1, &insert, nullptr));
    for (const TTask& t : Data().Tasks) {
      int k = 1;
      sqlite3_bind_int(insert, k++, t.Id);
      sqlite3_bind_int(insert, k++, t.UpdateCounter);
      BindText(insert, k++, IsoDate(t.Registered));
      sqlite3_bind_int(insert, k++, 1);
      BindDate(insert, k++, t.TargetDate);
      sqlite3_bind_int(insert, k++, t.TargetDate ? 1 : 0);
      BindDate(insert, k++, t.Finished);
      BindText(insert, k++, t.Subject);
      for (std::int32_t v : {t.Author, t.Memo, t.Client, t.Category, t.Priority, t.Responsible, t.State})
        sqlite3_bind_int(insert, k++, v);
      if (sqlite3_step(insert) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(FDb));
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Exec("COMMIT");
  }

  sqlite3* FDb = nullptr;
  std::vector<sqlite3_stmt*> FStatements;
  sqlite3_stmt* FOwn = nullptr;
  sqlite3_stmt* FUnassigned = nullptr;
  sqlite3_stmt* FAllOpen = nullptr;
  sqlite3_stmt* FById = nullptr;
  sqlite3_stmt* FInsert = nullptr;
  sqlite3_stmt* FLastId = nullptr;
  sqlite3_stmt* FUpdate = nullptr;
  sqlite3_stmt* FDelete = nullptr;
  sqlite3_stmt* FPerState = nullptr;
  sqlite3_stmt* FLike = nullptr;
  sqlite3_stmt* FIn = nullptr;
  std::string FText;
};

// ---------------------------------------------------------------- engine

// The database "Db" on a disk file, opened multi-user as the program opens
// its shared file, and one query component that every statement goes
// through with its SQL text, as the program's components do.
class TEngineTasks {
public:
  static std::unique_ptr<TEngineTasks> Create() { return std::make_unique<TEngineTasks>(); }

  TEngineTasks() {
    RegisterSQLExpressions();
    std::filesystem::remove(File());
    {
      TQXLDatabase maker;
      maker.SetDatabaseName("Maker");
      maker.SetDatabaseFileName(File());
      maker.PageSize = 4096;
      maker.CreateDatabase();
    }
    FDb = std::make_unique<TQXLDatabase>();
    FDb->Name = "Db";
    FDb->SetDatabaseName("Db");
    FDb->SetDatabaseFileName(File());
    FDb->MultiUser = true;
    FDb->Open();
    FQuery.SetDatabaseName("Db");
    for (const std::string& s : EngineSchema()) Exec(s);
    Fill();
  }
  ~TEngineTasks() {
    FQuery.Close();
    FQuery.UnPrepare();
    FDb.reset();
  }
  TEngineTasks(const TEngineTasks&) = delete;
  TEngineTasks& operator=(const TEngineTasks&) = delete;

  TRead OwnTasks() { return Read(TaskListQuery(OwnTasksWhere(Me, false)), true); }
  TRead UnassignedTasks() { return Read(TaskListQuery(UnassignedWhere(Me, false)), true); }
  TRead AllOpenTasks() { return Read(TaskListQuery(AllOpenWhere(Me)), true); }
  TRead TaskById(std::int32_t Id) { return Read("SELECT * FROM TaskList WHERE Id = " + std::to_string(Id), false); }
  // As the task editor inserts: the row in the program's SQL, then its key
  // read with LASTAUTOINC from the first row of the answer.
  std::int64_t InsertTask(const TTask& T) {
    Exec("INSERT INTO TaskList(UpdateCounter,Registered,RegisteredSet,TargetDate,TargetDateSet,Finished,Subject, "
         "Author_Id, Memo_Id, Client_Id, Category_Id, Priority_Id, Responsible_Id, State_Id)\r\nVALUES (0," +
         Quoted(ShortDate(T.Registered)) + ",1," + DateLiteral(T.TargetDate) + "," + (T.TargetDate ? "1" : "0") +
         "," + DateLiteral(T.Finished) + "," + Quoted(T.Subject) + "," + std::to_string(T.Author) + "," +
         std::to_string(T.Memo) + "," + std::to_string(T.Client) + "," + std::to_string(T.Category) + "," +
         std::to_string(T.Priority) + "," + std::to_string(T.Responsible) + "," + std::to_string(T.State) + ")");
    if (FQuery.RowsAffected() != 1) return -1;
    FQuery.SetRequestLive(true);
    FQuery.SetSQL({"SELECT LastAutoinc(TaskList, Id) AS LastId FROM TaskList"});
    FQuery.Open();
    const std::int64_t id = FQuery.Eof() ? -1 : FQuery.FieldByName("LastId").AsInteger();
    FQuery.Close();
    return id;
  }
  // The editor's update of an unchanged task: its values written again with
  // the next counter; the lookup columns are written only when changed.
  bool UpdateTask(std::int32_t Id, std::int32_t Counter, const TTask& T) {
    FQuery.SetSQL({"UPDATE TaskList SET", "UpdateCounter = " + std::to_string(Counter),
                   ",Registered = " + Quoted(ShortDate(T.Registered)), ",TargetDate = " + DateLiteral(T.TargetDate),
                   std::string(",TargetDateSet = ") + (T.TargetDate ? "1" : "0"),
                   ",Finished = " + DateLiteral(T.Finished), ",Subject = " + Quoted(T.Subject),
                   "WHERE Id = " + std::to_string(Id)});
    FQuery.ExecSQL();
    return FQuery.RowsAffected() == 1;
  }
  bool DeleteTask(std::int64_t Id) {
    Exec("DELETE FROM TaskList WHERE Id = " + std::to_string(Id));
    return FQuery.RowsAffected() == 1;
  }
  TRead TasksPerState() {
    TRead r;
    FQuery.SetRequestLive(false);
    FQuery.SetSQL({"SELECT State_Id, COUNT(*) AS Tasks FROM TaskList GROUP BY State_Id"});
    FQuery.Open();
    for (FQuery.First(); !FQuery.Eof(); FQuery.Next()) {
      ++r.Rows;
      r.FirstSum += FQuery.Fields(1).AsInteger();
    }
    FQuery.Close();
    return r;
  }
  // The all-tasks view's subject filter: a double-quoted literal.
  TRead SubjectLike(const std::string& Prefix) {
    return Read("SELECT TaskList.Id, TaskList.Subject FROM TaskList WHERE (TaskList.Subject LIKE \"" + Prefix + "%\")",
                false);
  }
  TRead ClosedTasks() {
    return Read("SELECT Id, Subject FROM TaskList WHERE State_Id IN (SELECT Id FROM States WHERE Extension > 99999)",
                false);
  }

private:
  static std::string File() { return BenchFile("engine.qxl"); }
  // A date literal as the editor writes it: two quotes for no date.
  static std::string DateLiteral(const std::optional<platform::TDateTime>& Date) {
    return Date ? Quoted(ShortDate(*Date)) : std::string("''");
  }

  void Exec(const std::string& Sql) {
    FQuery.SetSQL({Sql});
    FQuery.ExecSQL();
  }
  // Every column of every row read as text, as a grid shows it.
  TRead Read(const std::string& Sql, bool Live) {
    TRead r;
    FQuery.SetRequestLive(Live);
    FQuery.SetSQL({Sql});
    FQuery.Open();
    const std::int32_t columns = FQuery.FieldCount();
    for (FQuery.First(); !FQuery.Eof(); FQuery.Next()) {
      ++r.Rows;
      r.FirstSum += FQuery.Fields(0).AsInteger();
      for (std::int32_t c = 0; c < columns; ++c) FText = FQuery.Fields(c).AsString();
    }
    FQuery.Close();
    return r;
  }

  // The rows through table components in one transaction; the tasks' keys
  // are given by the auto-increment column in insert order.
  void Fill() {
    FDb->StartTransaction();
    try {
      auto lookups = [&](const char* Table, const char* NameField, const std::vector<TLookup>& Rows, bool WithPrivate) {
        TQXLTable t;
        t.SetDatabaseName("Db");
        t.SetTableName(Table);
        t.Open();
        for (const TLookup& l : Rows) {
          t.Append();
          t.FieldByName("Id").SetAsInteger(l.Id);
          t.FieldByName(NameField).SetAsString(l.Name);
          t.FieldByName("Extension").SetAsInteger(l.Extension);
          if (WithPrivate) t.FieldByName("Private").SetAsInteger(l.Private);
          t.Post();
        }
        t.Close();
      };
      lookups("Clients", "Client", Data().Clients, false);
      lookups("Categories", "Category", Data().Categories, true);
      lookups("Priorities", "Priority", Data().Priorities, false);
      lookups("States", "State", Data().States, false);
      lookups("Users", "Name", Data().Users, false);
      {
        TQXLTable t;
        t.SetDatabaseName("Db");
        t.SetTableName("AppInternals");
        t.Open();
        for (const TInternalRow& row : Internals()) {
          t.Append();
          t.FieldByName("Id").SetAsInteger(row.Id);
          t.FieldByName("Data").SetAsString(row.Data);
          t.Post();
        }
      }
      TQXLTable t;
      t.SetDatabaseName("Db");
      t.SetTableName("TaskList");
      t.Open();
      TField* fields[15];
      const char* names[15] = {"Id",      "UpdateCounter", "Registered", "RegisteredSet", "TargetDate",
                               "TargetDateSet", "Finished", "Subject",   "Author_Id",     "Memo_Id",
                               "Client_Id", "Category_Id", "Priority_Id", "Responsible_Id", "State_Id"};
      for (int k = 0; k < 15; ++k) fields[k] = &t.FieldByName(names[k]);
      for (const TTask& task : Data().Tasks) {
        t.Append();
        fields[1]->SetAsInteger(task.UpdateCounter);
        fields[2]->SetAsDateTime(task.Registered);
        fields[3]->SetAsInteger(1);
        if (task.TargetDate) fields[4]->SetAsDateTime(*task.TargetDate);
        fields[5]->SetAsInteger(task.TargetDate ? 1 : 0);
        if (task.Finished) fields[6]->SetAsDateTime(*task.Finished);
        fields[7]->SetAsString(task.Subject);
        const std::int32_t values[7] = {task.Author,   task.Memo,        task.Client, task.Category,
                                        task.Priority, task.Responsible, task.State};
        for (int k = 0; k < 7; ++k) fields[8 + k]->SetAsInteger(values[k]);
        t.Post();
        if (fields[0]->AsInteger() != task.Id) throw std::runtime_error("a task got another key than its place");
      }
      t.Close();
      FDb->Commit(false);
    } catch (...) {
      FDb->Rollback();
      throw;
    }
  }

  TQXLEngineScope FEngine;
  std::unique_ptr<TQXLDatabase> FDb;
  TQXLQuery FQuery;
  std::string FText;
};

// ---------------------------------------------------------------- phases

// One filled database of a kind, shared by all phases; the phases that change
// rows leave the tasks as the data has them.
template <class TDb>
TDb& Filled() {
  static std::unique_ptr<TDb> db = TDb::Create();
  return *db;
}

void Fail(benchmark::State& State, const std::string& What, std::int64_t Got, std::int64_t Expected) {
  const std::string text = What + ": " + std::to_string(Got) + " instead of " + std::to_string(Expected);
  State.SkipWithError(text.c_str());
}

template <class TDb, TRead (TDb::*View)(), std::int64_t (TTaskListData::*Expected)(std::int32_t) const>
void TaskListView(benchmark::State& State) {
  TDb& db = Filled<TDb>();
  const std::int64_t expected = (Data().*Expected)(Me);
  for (auto _ : State) {
    const TRead read = (db.*View)();
    if (read.Rows != expected) return Fail(State, "tasks listed", read.Rows, expected);
  }
  State.counters["rows"] = static_cast<double>(expected);
}

template <class TDb>
void TaskById(benchmark::State& State) {
  TDb& db = Filled<TDb>();
  for (auto _ : State) {
    std::int64_t found = 0;
    for (std::int32_t i = 0; i < ByIdCount; ++i) {
      const std::int32_t id = Picks().Ids[static_cast<std::size_t>(i)];
      const TRead read = db.TaskById(id);
      found += read.Rows == 1 && read.FirstSum == id;
    }
    if (found != ByIdCount) return Fail(State, "tasks read by Id", found, ByIdCount);
  }
  State.SetItemsProcessed(State.iterations() * ByIdCount);
}

// Inserts InsertCount copies of existing tasks; the keys they got, each one
// above the one before, or an empty list.
template <class TDb>
std::vector<std::int64_t> InsertTasks(TDb& Db) {
  std::vector<std::int64_t> ids;
  for (std::int32_t i = 0; i < InsertCount; ++i) {
    const std::int64_t id = Db.InsertTask(TaskOf(Picks().Ids[static_cast<std::size_t>(i)]));
    if (id <= TaskCount || (!ids.empty() && id <= ids.back())) return {};
    ids.push_back(id);
  }
  return ids;
}

template <class TDb>
std::int64_t DeleteTasks(TDb& Db, const std::vector<std::int64_t>& Ids) {
  std::int64_t deleted = 0;
  for (std::int64_t id : Ids) deleted += Db.DeleteTask(id);
  return deleted;
}

// The inserted tasks are deleted again, untimed.
template <class TDb>
void InsertTask(benchmark::State& State) {
  TDb& db = Filled<TDb>();
  for (auto _ : State) {
    const std::vector<std::int64_t> ids = InsertTasks(db);
    State.PauseTiming();
    const std::int64_t deleted = DeleteTasks(db, ids);
    State.ResumeTiming();
    if (static_cast<std::int64_t>(ids.size()) != InsertCount)
      return Fail(State, "tasks inserted with a new key", static_cast<std::int64_t>(ids.size()), InsertCount);
    if (deleted != InsertCount) return Fail(State, "inserted tasks deleted again", deleted, InsertCount);
  }
  State.SetItemsProcessed(State.iterations() * InsertCount);
}

// Tasks inserted untimed, then deleted by Id.
template <class TDb>
void DeleteTask(benchmark::State& State) {
  TDb& db = Filled<TDb>();
  for (auto _ : State) {
    State.PauseTiming();
    const std::vector<std::int64_t> ids = InsertTasks(db);
    State.ResumeTiming();
    const std::int64_t deleted = DeleteTasks(db, ids);
    if (static_cast<std::int64_t>(ids.size()) != InsertCount)
      return Fail(State, "tasks inserted to be deleted", static_cast<std::int64_t>(ids.size()), InsertCount);
    if (deleted != InsertCount) return Fail(State, "tasks deleted", deleted, InsertCount);
  }
  State.SetItemsProcessed(State.iterations() * InsertCount);
}

// Each pass writes the next update counter; the other values stay the data's.
template <class TDb>
void UpdateTask(benchmark::State& State) {
  TDb& db = Filled<TDb>();
  std::int32_t counter = 0;
  for (auto _ : State) {
    ++counter;
    std::int64_t changed = 0;
    for (std::int32_t i = 0; i < UpdateCount; ++i) {
      const std::int32_t id = Picks().Ids[static_cast<std::size_t>(i)];
      changed += db.UpdateTask(id, counter, TaskOf(id));
    }
    if (changed != UpdateCount) return Fail(State, "tasks updated", changed, UpdateCount);
  }
  State.SetItemsProcessed(State.iterations() * UpdateCount);
}

template <class TDb>
void CountPerState(benchmark::State& State) {
  TDb& db = Filled<TDb>();
  for (auto _ : State) {
    const TRead read = db.TasksPerState();
    if (read.Rows != Data().StatesInUse()) return Fail(State, "states counted", read.Rows, Data().StatesInUse());
    if (read.FirstSum != TaskCount) return Fail(State, "tasks counted", read.FirstSum, TaskCount);
  }
}

template <class TDb>
void SubjectLike(benchmark::State& State) {
  TDb& db = Filled<TDb>();
  const std::int64_t expected = Data().SubjectsStartingWith(SubjectPrefix);
  for (auto _ : State) {
    const TRead read = db.SubjectLike(SubjectPrefix);
    if (read.Rows != expected) return Fail(State, "subjects found", read.Rows, expected);
  }
  State.counters["rows"] = static_cast<double>(expected);
}

template <class TDb>
void InSubquery(benchmark::State& State) {
  TDb& db = Filled<TDb>();
  const std::int64_t expected = Data().ClosedTasks();
  for (auto _ : State) {
    const TRead read = db.ClosedTasks();
    if (read.Rows != expected) return Fail(State, "tasks of a closing state", read.Rows, expected);
  }
  State.counters["rows"] = static_cast<double>(expected);
}

// An engine or SQLite failure ends the benchmark with its message.
template <void (*Phase)(benchmark::State&)>
void Guarded(benchmark::State& State) {
  try {
    Phase(State);
  } catch (const EQXLException& e) {
    State.SkipWithError((std::to_string(e.NativeError) + ": " + e.Message).c_str());
  } catch (const platform::Exception& e) {
    State.SkipWithError(e.Message.c_str());
  } catch (const std::exception& e) {
    State.SkipWithError(e.what());
  }
}

using TE = TEngineTasks;
using TS = TSqliteTasks;

}  // namespace

// Pairs in phase order on one filled file of each kind.
#define QXL_PAIR(Label, EnginePhase, SqlitePhase)                                                \
  BENCHMARK(Guarded<EnginePhase>)->Name(Label "/engine")->Unit(benchmark::kMillisecond);         \
  BENCHMARK(Guarded<SqlitePhase>)->Name(Label "/sqlite")->Unit(benchmark::kMillisecond)

QXL_PAIR("TaskListOwn", (TaskListView<TE, &TE::OwnTasks, &TTaskListData::OwnTasks>),
         (TaskListView<TS, &TS::OwnTasks, &TTaskListData::OwnTasks>));
QXL_PAIR("TaskListUnassigned", (TaskListView<TE, &TE::UnassignedTasks, &TTaskListData::UnassignedTasks>),
         (TaskListView<TS, &TS::UnassignedTasks, &TTaskListData::UnassignedTasks>));
QXL_PAIR("TaskListAllOpen", (TaskListView<TE, &TE::AllOpenTasks, &TTaskListData::AllOpenTasks>),
         (TaskListView<TS, &TS::AllOpenTasks, &TTaskListData::AllOpenTasks>));
QXL_PAIR("TaskById", TaskById<TE>, TaskById<TS>);
QXL_PAIR("InsertLastAutoinc", InsertTask<TE>, InsertTask<TS>);
QXL_PAIR("UpdateById", UpdateTask<TE>, UpdateTask<TS>);
QXL_PAIR("DeleteById", DeleteTask<TE>, DeleteTask<TS>);
QXL_PAIR("CountPerState", CountPerState<TE>, CountPerState<TS>);
QXL_PAIR("SubjectLike", SubjectLike<TE>, SubjectLike<TS>);
QXL_PAIR("InSubquery", InSubquery<TE>, InSubquery<TS>);
