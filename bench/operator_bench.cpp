// The relational operators beside SQLite on the same rows: INNER and LEFT
// joins of 100,000 x 10,000 rows on an integer key, once where every row of
// the small side has ten partners and once where only one in a hundred has
// any (the other keys fall between the big side's, so that a merge passes
// long runs of unmatched rows), a GROUP BY into 1,000 groups with COUNT(*),
// a UNION of two 100,000-row tables that share half their rows, and a
// DISTINCT of the 10,000 keys of the big table. The engine's operators are
// composed by hand over table operators on in-memory tables, as the SELECT
// planner would compose them; SQLite runs the SQL text on an in-memory
// database with an index on every key column (the engine's sort-merge leaves
// an index of the key on each input table after the first run, so both read
// sorted keys). Every phase reads every result row and checks the count and
// the sum of the first column.
//
// Threads: one benchmark thread.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/core/values/QXLVariant.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/QXLMain.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/expr/QXLExpressionServices.h"
#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/lexer/QXLLexer.h"
#include "engine/sql/operators/QXLAOGroupBy.h"
#include "engine/sql/operators/QXLAOJoin.h"
#include "engine/sql/operators/QXLAOTable.h"
#include "engine/sql/operators/QXLAOTableExpr.h"
#include "engine/sql/operators/QXLAOUnion.h"
#include "platform/Exception.h"

using namespace qxl;

namespace {

constexpr std::int32_t BigRows = 100000;
constexpr std::int32_t SmallRows = 10000;
constexpr std::int32_t Groups = 1000;
constexpr std::int32_t SecondBigFirstId = BigRows / 2;

// Row i of each table: (Id, K, G).
struct TRowMaker {
  const char* Name;
  std::int32_t Rows;
  std::function<std::int32_t(std::int32_t)> Id, K;
};

const std::vector<TRowMaker>& Tables() {
  static const std::vector<TRowMaker> tables{
      // Keys 0 .. 9,990 in steps of 10, ten rows each; G in 1,000 groups.
      {"Big", BigRows, [](std::int32_t i) { return i; }, [](std::int32_t i) { return i % SmallRows * 10; }},
      // Half the rows of Big again, and as many new ones.
      {"Big2", BigRows, [](std::int32_t i) { return SecondBigFirstId + i; },
       [](std::int32_t i) { return (SecondBigFirstId + i) % SmallRows * 10; }},
      // Every key of Big once.
      {"Small", SmallRows, [](std::int32_t i) { return i; }, [](std::int32_t i) { return i * 10; }},
      // One key in a hundred is Big's; the others lie between Big's keys.
      {"Sparse", SmallRows, [](std::int32_t i) { return i; },
       [](std::int32_t i) { return i % 100 == 0 ? i * 10 : i * 10 + 5; }},
  };
  return tables;
}

std::int32_t GroupOf(std::int32_t Id) { return Id % Groups; }

// What a query gave: its rows and the sum of its first column.
struct TQueryResult {
  std::int64_t Rows = 0;
  std::int64_t Sum = 0;
};

// ---------------------------------------------------------------- SQLite

class TSqliteDb {
public:
  TSqliteDb() {
    if (sqlite3_open(":memory:", &FDb) != SQLITE_OK) throw std::runtime_error("sqlite3_open failed");
    Exec("BEGIN");
    for (const TRowMaker& t : Tables()) {
      Exec(std::string("CREATE TABLE ") + t.Name + " (Id INTEGER, K INTEGER, G INTEGER)");
      Exec(std::string("CREATE INDEX ") + t.Name + "K ON " + t.Name + " (K)");
      sqlite3_stmt* insert = Prepare(std::string("INSERT INTO ") + t.Name + " VALUES (?, ?, ?)");
      for (std::int32_t i = 0; i < t.Rows; ++i) {
        sqlite3_bind_int(insert, 1, t.Id(i));
        sqlite3_bind_int(insert, 2, t.K(i));
        sqlite3_bind_int(insert, 3, GroupOf(t.Id(i)));
        if (sqlite3_step(insert) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(FDb));
        sqlite3_reset(insert);
      }
      sqlite3_finalize(insert);
    }
    Exec("CREATE INDEX BigG ON Big (G)");
    Exec("COMMIT");
  }
  ~TSqliteDb() { sqlite3_close(FDb); }
  TSqliteDb(const TSqliteDb&) = delete;
  TSqliteDb& operator=(const TSqliteDb&) = delete;

  TQueryResult Query(const std::string& Sql) {
    sqlite3_stmt* s = Prepare(Sql);
    TQueryResult r;
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
      ++r.Rows;
      r.Sum += sqlite3_column_int64(s, 0);
    }
    sqlite3_finalize(s);
    if (rc != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(FDb));
    return r;
  }

private:
  void Exec(const std::string& Sql) {
    char* error = nullptr;
    if (sqlite3_exec(FDb, Sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      std::string message = error ? error : "sqlite3_exec failed";
      sqlite3_free(error);
      throw std::runtime_error(message);
    }
  }
  sqlite3_stmt* Prepare(const std::string& Sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(FDb, Sql.c_str(), -1, &s, nullptr) != SQLITE_OK) throw std::runtime_error(sqlite3_errmsg(FDb));
    return s;
  }

  sqlite3* FDb = nullptr;
};

TSqliteDb& Sqlite() {
  static TSqliteDb db;
  return db;
}

// ---------------------------------------------------------------- engine

class TEngineDb {
public:
  TEngineDb() {
    RegisterSQLExpressions();
    for (const TRowMaker& t : Tables()) {
      TQXLTable table;
      table.SetInMemory(true);
      table.SetTableName(std::string("Bench") + t.Name);
      for (const char* f : {"Id", "K", "G"}) table.AdvFieldDefs().Add(f, aftInteger, 0, false);
      table.CreateTable();
      table.Open();
      for (std::int32_t i = 0; i < t.Rows; ++i) {
        table.Append();
        table.Fields(0).SetAsInteger(t.Id(i));
        table.Fields(1).SetAsInteger(t.K(i));
        table.Fields(2).SetAsInteger(GroupOf(t.Id(i)));
        table.Post();
      }
      table.Close();
    }
  }

  static std::unique_ptr<TQXLAO> Input(const std::string& Table, const std::string& Alias) {
    auto t = std::make_unique<TQXLTable>();
    t->SetInMemory(true);
    t->SetTableName("Bench" + Table);
    return std::make_unique<TQXLAOTable>("Bench" + Table, Alias, nullptr, std::move(t));
  }
  static TQXLSelectListItem Column(const std::string& Table, const std::string& Field) {
    TQXLSelectListItem item;
    item.TableName = Table;
    item.FieldName = Field;
    return item;
  }
  static std::vector<TQXLSelectListItem> Columns(const std::vector<std::pair<std::string, std::string>>& Names) {
    std::vector<TQXLSelectListItem> items;
    for (const auto& [table, field] : Names) items.push_back(Column(table, field));
    return items;
  }

  // Executes Root as the root of its tree and reads every row of its result.
  static TQueryResult Run(TQXLAO& Root) {
    Root.Execute(true, nullptr, nullptr);
    TQXLTable& result = *Root.ResultDataset();
    TQueryResult r;
    TQXLVariant v;
    for (result.First(); !result.Eof(); result.Next()) {
      ++r.Rows;
      result.GetFieldValue(v, 0, false);
      if (!v.IsNull()) r.Sum += v.GetAsInt64();
    }
    return r;
  }

  // SELECT b.Id, x.Id FROM Big b [LEFT] JOIN <Other> x ON b.K = x.K
  TQueryResult Join(TQXLJoinType Type, const std::string& Other) {
    TQXLFields left, right;
    left.Append(Column("b", "K"));
    right.Append(Column("x", "K"));
    TQXLAOJoin join(Input("Big", "b"), Input(Other, "x"), Type, false, left, right, nullptr);
    std::vector<TQXLSelectListItem> items = Columns({{"b", "Id"}, {"x", "Id"}});
    join.SetResultFields(items, false);
    return Run(join);
  }

  // SELECT G, COUNT(*) FROM Big GROUP BY G
  TQueryResult GroupBy() {
    TQXLFields groups;
    groups.Append(Column("", "G"));
    std::vector<TQXLSelectListItem> items = Columns({{"", "G"}});
    TQXLSelectListItem count;
    count.IsExpression = true;
    count.Pseudonym = "N";
    TQXLLexer lexer("COUNT(*)", nullptr, false);
    lexer.GetNextCommand();
    auto e = std::make_unique<TQXLExpression>();
    e->ParseForValueExpression(nullptr, &lexer);
    count.ValueExpr = std::move(e);
    items.push_back(std::move(count));
    TQXLAOGroupBy group(Input("Big", ""), &groups, items);
    group.SetResultFields(items, false);
    return Run(group);
  }

  // SELECT Id, K FROM Big UNION SELECT Id, K FROM Big2
  TQueryResult Union() {
    std::unique_ptr<TQXLAO> left = Input("Big", ""), right = Input("Big2", "");
    for (TQXLAO* side : {left.get(), right.get()}) {
      std::vector<TQXLSelectListItem> items = Columns({{"", "Id"}, {"", "K"}});
      side->SetResultFields(items, false);
    }
    TQXLAOUnion op(std::move(left), std::move(right), autUnion, nullptr, nullptr, false, true, nullptr);
    return Run(op);
  }

  // SELECT DISTINCT K FROM Big, not live: a projection with DISTINCT above the table.
  TQueryResult Distinct() {
    TQXLAOTableExpr projection(Input("Big", ""));
    std::vector<TQXLSelectListItem> items = Columns({{"", "K"}});
    projection.SetResultFields(items, true);
    return Run(projection);
  }

private:
  TQXLEngineScope FEngine;
};

TEngineDb& Engine() {
  static TEngineDb db;
  return db;
}

void Check(benchmark::State& State, const char* What, const TQueryResult& Got, std::int64_t Rows, std::int64_t Sum) {
  if (Got.Rows != Rows || Got.Sum != Sum)
    State.SkipWithError((std::string(What) + ": " + std::to_string(Got.Rows) + " rows summing to " +
                         std::to_string(Got.Sum) + " instead of " + std::to_string(Rows) + " and " +
                         std::to_string(Sum))
                            .c_str());
}

constexpr std::int64_t BigIdSum = std::int64_t{BigRows} * (BigRows - 1) / 2;
// Big's rows whose key Sparse has: the keys that are multiples of 1,000.
constexpr std::int64_t SparseMatches = BigRows / 100;
std::int64_t SparseMatchIdSum() {
  std::int64_t sum = 0;
  for (std::int32_t i = 0; i < BigRows; ++i)
    if (i % SmallRows % 100 == 0) sum += i;
  return sum;
}

struct TPhase {
  const char* Name;
  std::string Sql;
  std::function<TQueryResult()> Engine;
  std::int64_t Rows;
  std::function<std::int64_t()> Sum;
};

const std::vector<TPhase>& Phases() {
  static const std::vector<TPhase> phases{
      {"InnerJoinMatching", "SELECT b.Id, x.Id FROM Big b JOIN Small x ON b.K = x.K",
       [] { return Engine().Join(ajtInner, "Small"); }, BigRows, [] { return BigIdSum; }},
      {"LeftJoinMatching", "SELECT b.Id, x.Id FROM Big b LEFT JOIN Small x ON b.K = x.K",
       [] { return Engine().Join(ajtLeftOuter, "Small"); }, BigRows, [] { return BigIdSum; }},
      {"InnerJoinMostlyUnmatched", "SELECT b.Id, x.Id FROM Big b JOIN Sparse x ON b.K = x.K",
       [] { return Engine().Join(ajtInner, "Sparse"); }, SparseMatches, SparseMatchIdSum},
      {"LeftJoinMostlyUnmatched", "SELECT b.Id, x.Id FROM Big b LEFT JOIN Sparse x ON b.K = x.K",
       [] { return Engine().Join(ajtLeftOuter, "Sparse"); }, BigRows, [] { return BigIdSum; }},
      {"GroupBy1000", "SELECT G, COUNT(*) FROM Big GROUP BY G", [] { return Engine().GroupBy(); }, Groups,
       [] { return std::int64_t{Groups} * (Groups - 1) / 2; }},
      {"Union", "SELECT Id, K FROM Big UNION SELECT Id, K FROM Big2", [] { return Engine().Union(); },
       SecondBigFirstId + BigRows,
       [] {
         const std::int64_t n = SecondBigFirstId + BigRows;
         return n * (n - 1) / 2;
       }},
      {"Distinct", "SELECT DISTINCT K FROM Big", [] { return Engine().Distinct(); }, SmallRows,
       [] { return std::int64_t{10} * SmallRows * (SmallRows - 1) / 2; }},
  };
  return phases;
}

void RunPhase(benchmark::State& State, std::size_t Index, bool OnEngine) {
  const TPhase& phase = Phases()[Index];
  try {
    const std::int64_t sum = phase.Sum();
    if (OnEngine)
      Engine();
    else
      Sqlite();
    for (auto _ : State) {
      const TQueryResult r = OnEngine ? phase.Engine() : Sqlite().Query(phase.Sql);
      Check(State, phase.Name, r, phase.Rows, sum);
      if (r.Rows != phase.Rows || r.Sum != sum) return;
    }
    State.SetItemsProcessed(State.iterations() * phase.Rows);
  } catch (const platform::Exception& e) {
    State.SkipWithError(e.Message.c_str());
  } catch (const std::exception& e) {
    State.SkipWithError(e.what());
  }
}

const bool Registered = [] {
  for (std::size_t i = 0; i < Phases().size(); ++i) {
    const std::string name = Phases()[i].Name;
    benchmark::RegisterBenchmark((name + "/engine").c_str(), [i](benchmark::State& s) { RunPhase(s, i, true); })
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((name + "/sqlite").c_str(), [i](benchmark::State& s) { RunPhase(s, i, false); })
        ->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace
