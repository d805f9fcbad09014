// The join operator composed by hand over two table operators on in-memory
// tables: every join kind with no, one and two key columns, with and without
// a residual condition, against nested loops over random tables that have
// duplicate keys, NULL keys, empty sides and runs of unmatched rows; the rows
// it reads; the smaller input driving; NATURAL and USING; and its errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/abstract/QXLDatabaseDataList.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/QXLMain.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/expr/QXLExpressionServices.h"
#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/lexer/QXLLexer.h"
#include "engine/sql/operators/QXLAOJoin.h"
#include "engine/sql/operators/QXLAOTable.h"
#include "engine/sql/operators/QXLAOTableExpr.h"
#include "tests/engine/sql/operators/JoinModel.h"

namespace qxl::jointest {
namespace {

// One output row as read from the join's result: both identities and both keys.
struct TOutRow {
  TJoinPair Pair;
  TOptInt LeftK;
  TOptInt RightK;
};

TOptInt ReadInt(TQXLDataSet& Result, std::int32_t FieldNo) {
  TQXLVariant v;
  Result.GetFieldValue(v, FieldNo, false);
  if (v.IsNull()) return std::nullopt;
  return v.GetAsInteger();
}

TQXLJoinType EngineJoin(TModelJoin Kind) {
  switch (Kind) {
    case TModelJoin::Cross: return ajtCross;
    case TModelJoin::Inner: return ajtInner;
    case TModelJoin::Left: return ajtLeftOuter;
    case TModelJoin::Right: return ajtRightOuter;
    case TModelJoin::Full: return ajtFullOuter;
  }
  return ajtCross;
}

TQXLSelectListItem Column(const std::string& Table, const std::string& Field) {
  TQXLSelectListItem item;
  item.TableName = Table;
  item.FieldName = Field;
  return item;
}

class JoinOperator : public ::testing::Test {
protected:
  JoinOperator() { RegisterSQLExpressions(); }
  ~JoinOperator() override {
    for (const std::string& name : FTables) {
      TQXLTable t;
      t.SetInMemory(true);
      t.SetTableName(name);
      try {
        t.DeleteTable();
      } catch (...) {
        // A table a failed test left open stays; the process ends soon.
      }
    }
    UnregisterSQLExpressions();
  }

  // An in-memory table with columns Id, K, K2 and V holding Rows, in order.
  std::string MakeTable(const std::vector<TJoinRow>& Rows) {
    const std::string name = "JoinInput" + std::to_string(FTables.size());
    FTables.push_back(name);
    TQXLTable t;
    t.SetInMemory(true);
    t.SetTableName(name);
    for (const char* f : {"Id", "K", "K2", "V"}) t.AdvFieldDefs().Add(f, aftInteger, 0, false);
    t.CreateTable();
    t.Open();
    for (const TJoinRow& r : Rows) {
      t.Append();
      t.FieldByName("Id").SetAsInteger(r.Id);
      if (r.K) t.FieldByName("K").SetAsInteger(*r.K);
      if (r.K2) t.FieldByName("K2").SetAsInteger(*r.K2);
      if (r.V) t.FieldByName("V").SetAsInteger(*r.V);
      t.Post();
    }
    t.Close();
    return name;
  }

  // A table operator over a new table of Rows under Alias; every record the
  // operator's table moves to is counted in Reads when given.
  std::unique_ptr<TQXLAO> Input(const std::string& Alias, const std::vector<TJoinRow>& Rows,
                                std::int64_t* Reads = nullptr) {
    const std::string name = MakeTable(Rows);
    auto t = std::make_unique<TQXLTable>();
    t->SetInMemory(true);
    t->SetTableName(name);
    if (Reads) t->AfterScroll = [Reads](TDataSet&) { ++*Reads; };
    return std::make_unique<TQXLAOTable>(name, Alias, nullptr, std::move(t));
  }

  static TQXLFields KeyList(const std::string& Alias, TModelKeys Keys) {
    TQXLFields list;
    if (Keys != TModelKeys::None) list.Append(Column(Alias, "K"));
    if (Keys == TModelKeys::Two) list.Append(Column(Alias, "K2"));
    return list;
  }

  static std::unique_ptr<TQXLExpression> Condition(const std::string& Text) {
    TQXLLexer lexer(Text, nullptr, false);
    lexer.GetNextCommand();
    auto e = std::make_unique<TQXLExpression>();
    e->ParseForBooleanExpression(nullptr, &lexer);
    return e;
  }

  // Runs Join as the root of its tree and reads L.Id, R.Id, L.K and R.K of every row.
  static std::vector<TOutRow> Run(TQXLAOJoin& Join) {
    std::vector<TQXLSelectListItem> items;
    for (const char* side : {"L", "R"}) items.push_back(Column(side, "Id"));
    for (const char* side : {"L", "R"}) items.push_back(Column(side, "K"));
    Join.SetResultFields(items, false);
    EXPECT_TRUE(Join.LockTables());
    Join.Execute(true, nullptr, nullptr);
    EXPECT_TRUE(Join.UnlockTables());
    TQXLTable& result = *Join.ResultDataset();
    std::vector<TOutRow> rows;
    for (result.First(); !result.Eof(); result.Next())
      rows.push_back({{ReadInt(result, 0), ReadInt(result, 1)}, ReadInt(result, 2), ReadInt(result, 3)});
    return rows;
  }

  std::unique_ptr<TQXLAOJoin> MakeJoin(TModelJoin Kind, TModelKeys Keys, const std::vector<TJoinRow>& Left,
                                       const std::vector<TJoinRow>& Right, const char* Residual,
                                       std::int64_t* Reads = nullptr) {
    TQXLFields l = KeyList("L", Keys), r = KeyList("R", Keys);
    return std::make_unique<TQXLAOJoin>(Input("L", Left, Reads), Input("R", Right, Reads), EngineJoin(Kind), false, l,
                                        r, Residual ? Condition(Residual) : nullptr);
  }

  // The tables of the TEMP database, where results are materialised.
  static std::int32_t TempTables() {
    TQXLDatabaseData* temp =
        DatabaseDataList().Find([](const TQXLDatabaseData& D) { return D.DatabaseName() == "TEMP"; });
    return temp ? temp->TableDataCount() : -1;
  }

  TQXLEngineScope FEngine;
  std::vector<std::string> FTables;
};

std::vector<TJoinPair> Pairs(const std::vector<TOutRow>& Rows) {
  std::vector<TJoinPair> pairs;
  for (const TOutRow& r : Rows) pairs.push_back(r.Pair);
  std::sort(pairs.begin(), pairs.end());
  return pairs;
}

// The key a row of a merge join is ordered by: the driving side's for LEFT
// and RIGHT, whichever side is present for FULL.
TOptInt OrderKey(const TOutRow& Row, TModelJoin Kind) {
  if (Kind == TModelJoin::Right) return Row.RightK;
  if (Kind == TModelJoin::Left) return Row.LeftK;
  return Row.Pair.L ? Row.LeftK : Row.RightK;
}

std::optional<bool> LessV(const TJoinRow& L, const TJoinRow& R) {
  if (!L.V || !R.V) return std::nullopt;
  return *L.V < *R.V;
}

TEST_F(JoinOperator, EveryKindMatchesNestedLoopsOnRandomTables) {
  struct TShapes {
    const char* Name;
    TTableShape Left, Right;
  } shapes[] = {
      {"duplicate keys", {14, 4, 0, 0}, {11, 4, 0, 0}},
      {"NULL keys", {15, 5, 0, 30}, {13, 5, 0, 30}},
      {"empty left", {0, 3, 0, 0}, {6, 3, 0, 0}},
      {"empty right", {7, 3, 0, 10}, {0, 3, 0, 0}},
      {"both empty", {0, 3, 0, 0}, {0, 3, 0, 0}},
      {"left runs unmatched", {20, 30, 0, 10}, {8, 5, 10, 10}},
      {"right runs unmatched", {8, 5, 10, 10}, {20, 30, 0, 10}},
      {"one row each", {1, 1, 0, 0}, {1, 1, 0, 0}},
      {"wide, few duplicates", {40, 60, 0, 15}, {35, 60, 0, 15}},
      {"mostly NULL keys", {12, 3, 0, 70}, {12, 3, 0, 70}},
  };
  const TModelJoin kinds[] = {TModelJoin::Cross, TModelJoin::Inner, TModelJoin::Left, TModelJoin::Right,
                              TModelJoin::Full};
  const TModelKeys keyChoices[] = {TModelKeys::None, TModelKeys::One, TModelKeys::Two};
  std::mt19937 rng(163);
  for (const TShapes& shape : shapes) {
    const std::vector<TJoinRow> left = RandomRows(rng, shape.Left, 1);
    const std::vector<TJoinRow> right = RandomRows(rng, shape.Right, 1001);
    for (TModelJoin kind : kinds)
      for (TModelKeys keys : keyChoices)
        for (bool residual : {false, true}) {
          if (kind == TModelJoin::Cross && (keys != TModelKeys::None || residual)) continue;
          SCOPED_TRACE(std::string(shape.Name) + " " + ModelJoinName(kind) + " keys=" +
                       std::to_string(static_cast<int>(keys)) + (residual ? " with L.V < R.V" : ""));
          std::unique_ptr<TQXLAOJoin> join = MakeJoin(kind, keys, left, right, residual ? "L.V < R.V" : nullptr);
          const std::vector<TOutRow> rows = Run(*join);
          EXPECT_EQ(Pairs(rows), ModelJoin(left, right, kind, keys, residual ? TResidual(LessV) : TResidual()));
          // A merge produces its rows in key order, NULL keys first.
          if (keys != TModelKeys::None && kind != TModelJoin::Inner && kind != TModelJoin::Cross) {
            for (std::size_t i = 1; i < rows.size(); ++i)
              EXPECT_LE(OrderKey(rows[i - 1], kind), OrderKey(rows[i], kind)) << "row " << i;
          }
        }
  }
}

TEST_F(JoinOperator, RowsAreCountedWhenNoColumnIsUsed) {
  // COUNT(*) over a join uses none of its columns; the rows still count.
  const std::vector<TJoinRow> left{{1, 1}, {2, 2}, {3, 2}};
  const std::vector<TJoinRow> right{{10, 2}, {11, 2}, {12, 5}};
  for (TModelJoin kind : {TModelJoin::Cross, TModelJoin::Left, TModelJoin::Full}) {
    SCOPED_TRACE(ModelJoinName(kind));
    std::unique_ptr<TQXLAOJoin> join = MakeJoin(kind, TModelKeys::None, left, right, nullptr);
    for (std::int32_t i = 0; i < join->FieldCount(); ++i) EXPECT_TRUE(join->FieldLink(i).IsHidden);
    join->Execute(false, nullptr, nullptr);
    EXPECT_EQ(join->RecordCount(),
              static_cast<std::int64_t>(ModelJoin(left, right, kind, TModelKeys::None, TResidual()).size()));
  }
}

TEST_F(JoinOperator, JoinOverAJoin) {
  // (L INNER JOIN R ON L.K = R.K) LEFT JOIN X ON L.K2 = X.K2: the inner join
  // is materialised and sorted on L.K2 before the outer one merges it.
  std::mt19937 rng(1631);
  const std::vector<TJoinRow> l = RandomRows(rng, {12, 4, 0, 20}, 1);
  const std::vector<TJoinRow> r = RandomRows(rng, {10, 4, 0, 20}, 101);
  const std::vector<TJoinRow> x = RandomRows(rng, {6, 3, 0, 0, 3}, 201);
  struct TTriple {
    TOptInt L, R, X;
    bool operator<(const TTriple& o) const { return std::tie(L, R, X) < std::tie(o.L, o.R, o.X); }
    bool operator==(const TTriple&) const = default;
  };
  std::vector<TTriple> expected;
  for (const TJoinRow& a : l)
    for (const TJoinRow& b : r) {
      if (!a.K || !b.K || *a.K != *b.K) continue;
      bool matched = false;
      for (const TJoinRow& c : x)
        if (a.K2 && c.K2 && *a.K2 == *c.K2) {
          expected.push_back({a.Id, b.Id, c.Id});
          matched = true;
        }
      if (!matched) expected.push_back({a.Id, b.Id, std::nullopt});
    }
  std::sort(expected.begin(), expected.end());

  TQXLFields k1, k2, j1, j2;
  k1.Append(Column("L", "K"));
  k2.Append(Column("R", "K"));
  j1.Append(Column("L", "K2"));
  j2.Append(Column("X", "K2"));
  auto inner = std::make_unique<TQXLAOJoin>(Input("L", l), Input("R", r), ajtInner, false, k1, k2, nullptr);
  TQXLAOJoin outer(std::move(inner), Input("X", x), ajtLeftOuter, false, j1, j2, nullptr);
  std::vector<TQXLSelectListItem> items;
  for (const char* side : {"L", "R", "X"}) items.push_back(Column(side, "Id"));
  outer.SetResultFields(items, false);
  outer.Execute(true, nullptr, nullptr);
  std::vector<TTriple> got;
  TQXLTable& result = *outer.ResultDataset();
  for (result.First(); !result.Eof(); result.Next())
    got.push_back({ReadInt(result, 0), ReadInt(result, 1), ReadInt(result, 2)});
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, expected);
}

TEST_F(JoinOperator, CrossJoinIsLeftMajorInInputOrder) {
  const std::vector<TJoinRow> left{{1, 5}, {2, 3}, {3, std::nullopt}};
  const std::vector<TJoinRow> right{{10, 2}, {11, 1}};
  std::unique_ptr<TQXLAOJoin> join = MakeJoin(TModelJoin::Cross, TModelKeys::None, left, right, nullptr);
  std::vector<TJoinPair> got;
  for (const TOutRow& r : Run(*join)) got.push_back(r.Pair);
  EXPECT_EQ(got, (std::vector<TJoinPair>{{1, 10}, {1, 11}, {2, 10}, {2, 11}, {3, 10}, {3, 11}}));
}

// Rows read by a merge join stay within a small multiple of both inputs and
// the output, also where long runs of scanned rows have no partner: the
// rescan position moves past rows no later driving row can match.
TEST_F(JoinOperator, RowsReadGrowWithInputsAndOutputOnly) {
  constexpr std::int32_t n = 300;
  std::vector<TJoinRow> low, high, even, odd, nulls, threes, tens;
  for (std::int32_t i = 0; i < n; ++i) {
    threes.push_back({5001 + i, i / 3});
    tens.push_back({6001 + i, i / 10});
    low.push_back({i + 1, i});
    high.push_back({1001 + i, 10000 + i});
    even.push_back({2001 + i, 2 * i});
    odd.push_back({3001 + i, 2 * i + 1});
    nulls.push_back({4001 + i, i % 10 == 0 ? TOptInt(2 * i) : std::nullopt});
  }
  struct TCase {
    const char* Name;
    TModelJoin Kind;
    const std::vector<TJoinRow>* Left;
    const std::vector<TJoinRow>* Right;
  } cases[] = {
      {"LEFT, every scanned row behind", TModelJoin::Left, &high, &low},
      {"RIGHT, every scanned row behind", TModelJoin::Right, &low, &high},
      {"LEFT, keys interleaved", TModelJoin::Left, &even, &odd},
      {"RIGHT, keys interleaved", TModelJoin::Right, &odd, &even},
      {"LEFT, a run of NULL keys scanned", TModelJoin::Left, &even, &nulls},
      {"RIGHT, a run of NULL keys scanned", TModelJoin::Right, &nulls, &even},
      {"INNER, keys interleaved", TModelJoin::Inner, &even, &odd},
      {"LEFT, some keys equal", TModelJoin::Left, &even, &low},
      {"FULL, keys interleaved", TModelJoin::Full, &even, &odd},
      {"LEFT, groups on both sides", TModelJoin::Left, &threes, &tens},
      {"RIGHT, groups on both sides", TModelJoin::Right, &tens, &threes},
      {"INNER, groups on both sides", TModelJoin::Inner, &threes, &tens},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::int64_t reads = 0;
    std::unique_ptr<TQXLAOJoin> join = MakeJoin(c.Kind, TModelKeys::One, *c.Left, *c.Right, nullptr, &reads);
    reads = 0;
    const std::vector<TOutRow> rows = Run(*join);
    EXPECT_EQ(Pairs(rows), ModelJoin(*c.Left, *c.Right, c.Kind, TModelKeys::One, TResidual()));
    const std::int64_t bound = 3 * (2 * n + static_cast<std::int64_t>(rows.size())) + 10;
    EXPECT_LE(reads, bound) << "rows read " << reads << " for " << rows.size() << " rows out";
  }
}

TEST_F(JoinOperator, EqualKeyGroupsPairLeftRowMajor) {
  // Keys 1, 1 on both sides: four pairs, each left row with both right rows.
  const std::vector<TJoinRow> left{{1, 1}, {2, 1}};
  const std::vector<TJoinRow> right{{10, 1}, {11, 1}};
  std::unique_ptr<TQXLAOJoin> join = MakeJoin(TModelJoin::Left, TModelKeys::One, left, right, nullptr);
  const std::vector<TOutRow> rows = Run(*join);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].Pair.L, rows[1].Pair.L);
  EXPECT_EQ(rows[2].Pair.L, rows[3].Pair.L);
  EXPECT_NE(rows[0].Pair.L, rows[2].Pair.L);
}

TEST_F(JoinOperator, ResidualConditionPicksWithinTheEqualKeyGroup) {
  // The condition fails for the group's first right row and holds for the
  // second; left row 3 finds no qualifying row and comes alone.
  const std::vector<TJoinRow> left{{1, 7, 0, 5}, {2, 7, 0, 6}, {3, 7, 0, 9}};
  const std::vector<TJoinRow> right{{10, 7, 0, 1}, {11, 7, 0, 8}};
  for (TModelJoin kind : {TModelJoin::Left, TModelJoin::Full}) {
    SCOPED_TRACE(ModelJoinName(kind));
    std::unique_ptr<TQXLAOJoin> join = MakeJoin(kind, TModelKeys::One, left, right, "L.V < R.V");
    const std::vector<TJoinPair> expected =
        kind == TModelJoin::Left ? std::vector<TJoinPair>{{1, 11}, {2, 11}, {3, std::nullopt}}
                                 : std::vector<TJoinPair>{{std::nullopt, 10}, {1, 11}, {2, 11}, {3, std::nullopt}};
    EXPECT_EQ(Pairs(Run(*join)), expected);
  }
}

TEST_F(JoinOperator, NullKeysNeverMatch) {
  const std::vector<TJoinRow> left{{1, std::nullopt}, {2, 4}, {3, std::nullopt}};
  const std::vector<TJoinRow> right{{10, std::nullopt}, {11, 4}};
  struct TCase {
    TModelJoin Kind;
    std::vector<TJoinPair> Expected;  // in output order
  } cases[] = {
      {TModelJoin::Inner, {{2, 11}}},
      {TModelJoin::Left, {{1, std::nullopt}, {3, std::nullopt}, {2, 11}}},
      {TModelJoin::Right, {{std::nullopt, 10}, {2, 11}}},
      // At a both-NULL step the left row comes first, then the right one.
      {TModelJoin::Full, {{1, std::nullopt}, {std::nullopt, 10}, {3, std::nullopt}, {2, 11}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(ModelJoinName(c.Kind));
    std::unique_ptr<TQXLAOJoin> join = MakeJoin(c.Kind, TModelKeys::One, left, right, nullptr);
    std::vector<TJoinPair> got;
    for (const TOutRow& r : Run(*join)) got.push_back(r.Pair);
    // NULL keys of one side tie in the sort; compare their rows as a set.
    std::vector<TJoinPair> a = got, b = c.Expected;
    ASSERT_EQ(a.size(), b.size());
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    EXPECT_EQ(a, b);
    EXPECT_EQ(got.back(), c.Expected.back());
  }
}

TEST_F(JoinOperator, EmptySides) {
  const std::vector<TJoinRow> rows{{1, 1}, {2, std::nullopt}};
  struct TCase {
    TModelJoin Kind;
    bool LeftEmpty;
    std::size_t Expected;
  } cases[] = {
      {TModelJoin::Inner, true, 0}, {TModelJoin::Inner, false, 0}, {TModelJoin::Left, false, 2},
      {TModelJoin::Left, true, 0},  {TModelJoin::Right, true, 2},  {TModelJoin::Full, true, 2},
      {TModelJoin::Full, false, 2}, {TModelJoin::Cross, true, 0},
  };
  for (const TCase& c : cases)
    for (TModelKeys keys : {TModelKeys::None, TModelKeys::One}) {
      SCOPED_TRACE(std::string(ModelJoinName(c.Kind)) + (c.LeftEmpty ? " empty left" : " empty right"));
      if (c.Kind == TModelJoin::Cross && keys != TModelKeys::None) continue;
      const std::vector<TJoinRow> none;
      std::unique_ptr<TQXLAOJoin> join =
          MakeJoin(c.Kind, keys, c.LeftEmpty ? none : rows, c.LeftEmpty ? rows : none, nullptr);
      const std::vector<TOutRow> out = Run(*join);
      EXPECT_EQ(out.size(), c.Expected);
      // No row made of NULLs only.
      for (const TOutRow& r : out) EXPECT_TRUE(r.Pair.L || r.Pair.R);
    }
}

TEST_F(JoinOperator, NestedLoopWithoutKeysTestsEveryPair) {
  // LEFT JOIN ON L.V < R.V: no equality, every pair tested.
  const std::vector<TJoinRow> left{{1, 0, 0, 1}, {2, 0, 0, 5}, {3, 0, 0, 3}};
  const std::vector<TJoinRow> right{{10, 0, 0, 2}, {11, 0, 0, 4}};
  std::unique_ptr<TQXLAOJoin> join = MakeJoin(TModelJoin::Left, TModelKeys::None, left, right, "L.V < R.V");
  EXPECT_EQ(Pairs(Run(*join)), (std::vector<TJoinPair>{{1, 10}, {1, 11}, {2, std::nullopt}, {3, 11}}));
}

TEST_F(JoinOperator, SmallerInputDrivesInnerAndFull) {
  // Three left rows and two right rows of one key: after the exchange the
  // right side drives, so each right row's pairs come together.
  const std::vector<TJoinRow> left{{1, 1}, {2, 1}, {3, 1}};
  const std::vector<TJoinRow> right{{10, 1}, {11, 1}};
  for (TModelJoin kind : {TModelJoin::Inner, TModelJoin::Full}) {
    SCOPED_TRACE(ModelJoinName(kind));
    std::unique_ptr<TQXLAOJoin> join = MakeJoin(kind, TModelKeys::One, left, right, nullptr);
    const std::vector<TOutRow> rows = Run(*join);
    ASSERT_EQ(rows.size(), 6u);
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].Pair.R, rows[i / 3 * 3].Pair.R) << i;
    // The columns keep their places: the left table's Id is still first.
    EXPECT_LT(*rows[0].Pair.L, 10);
  }
  // LEFT keeps its left side driving.
  std::unique_ptr<TQXLAOJoin> join = MakeJoin(TModelJoin::Left, TModelKeys::One, left, right, nullptr);
  const std::vector<TOutRow> rows = Run(*join);
  ASSERT_EQ(rows.size(), 6u);
  for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].Pair.L, rows[i / 2 * 2].Pair.L) << i;
}

TEST_F(JoinOperator, NaturalJoinKeysEverySharedName) {
  // Both tables have Id, K, K2 and V: NATURAL pairs on all four, and the
  // right columns carry a suffix in the join's row.
  const std::vector<TJoinRow> left{{1, 1, 1, 1}, {2, 2, 2, 2}, {3, 3, 3, 3}};
  const std::vector<TJoinRow> right{{1, 1, 1, 1}, {2, 2, 0, 2}, {3, 3, 3, 3}, {4, 4, 4, 4}};
  TQXLAOJoin join(Input("L", left), Input("R", right), ajtInner, true, TQXLFields(), TQXLFields(), nullptr);
  EXPECT_EQ(join.LeftKeyFields().ItemCount(), 4);
  std::vector<std::string> names;
  for (std::int32_t i = 0; i < join.FieldCount(); ++i) names.push_back(join.FieldLink(i).FieldName);
  EXPECT_EQ(names, (std::vector<std::string>{"Id", "K", "K2", "V", "Id_1", "K_1", "K2_1", "V_1"}));
  EXPECT_EQ(Pairs(Run(join)), (std::vector<TJoinPair>{{1, 1}, {3, 3}}));
}

TEST_F(JoinOperator, UsingColumnsResolveOnEachSide) {
  const std::vector<TJoinRow> rows{{1, 1}, {2, 2}};
  TQXLFields l, r;
  l.Append(Column("L", "K"));
  r.Append(Column("R", "K"));
  TQXLAOJoin join(Input("L", rows), Input("R", rows), ajtInner, false, l, r, nullptr);
  EXPECT_EQ(Pairs(Run(join)), (std::vector<TJoinPair>{{1, 1}, {2, 2}}));
}

TEST_F(JoinOperator, BadKeyColumnsAreRefused) {
  const std::vector<TJoinRow> rows{{1, 1}};
  struct TCase {
    const char* Name;
    TQXLSelectListItem Left, Right;
    std::int32_t Code;
    const char* Text;
  } cases[] = {
      {"unknown left column", Column("L", "Nope"), Column("R", "K"), 10331, "FieldExists = 0"},
      {"unknown right column", Column("L", "K"), Column("R", "Nope"), 10332, "FieldExists = 0"},
      {"unqualified name on both sides", Column("", "K"), Column("R", "K"), 10331, "FieldExists = 2"},
      {"both columns of one side", Column("L", "K"), Column("L", "V"), 10334, "Both join fields are from the same"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TQXLFields l, r;
    l.Append(c.Left);
    r.Append(c.Right);
    try {
      TQXLAOJoin join(Input("L", rows), Input("R", rows), ajtLeftOuter, false, l, r, nullptr);
      ADD_FAILURE() << "no error";
    } catch (const EQXLException& E) {
      EXPECT_EQ(E.NativeError, c.Code) << E.what();
      EXPECT_NE(std::string(E.what()).find(c.Text), std::string::npos) << E.what();
    }
  }
  // Lists of different lengths.
  TQXLFields l, r;
  l.Append(Column("L", "K"));
  try {
    TQXLAOJoin join(Input("L", rows), Input("R", rows), ajtInner, false, l, r, nullptr);
    ADD_FAILURE() << "no error";
  } catch (const EQXLException& E) {
    EXPECT_EQ(E.NativeError, 10330) << E.what();
  }
}

TEST_F(JoinOperator, KeysThatCannotBeComparedAreReported) {
  // A date key against a Boolean one: the two types have no common type.
  // The inputs are read live, or materialised by a projection first; the
  // failed join leaves no temporary table once it is freed.
  auto oneRow = [&](const std::string& Name, const std::string& Alias, TQXLAdvancedFieldType Type,
                    bool Projected) -> std::unique_ptr<TQXLAO> {
    FTables.push_back(Name);
    TQXLTable t;
    t.SetInMemory(true);
    t.SetTableName(Name);
    t.AdvFieldDefs().Add("C" + Alias, Type, 0, false);
    t.CreateTable();
    t.Open();
    t.Append();
    if (Type == aftDate)
      t.Fields(0).SetAsDateTime(45000);
    else
      t.Fields(0).SetAsBoolean(true);
    t.Post();
    t.Close();
    auto table = std::make_unique<TQXLTable>();
    table->SetInMemory(true);
    table->SetTableName(Name);
    std::unique_ptr<TQXLAO> ao = std::make_unique<TQXLAOTable>(Name, Alias, nullptr, std::move(table));
    if (!Projected) return ao;
    auto projection = std::make_unique<TQXLAOTableExpr>(std::move(ao));
    std::vector<TQXLSelectListItem> items;
    items.push_back(Column(Alias, "C" + Alias));
    projection->SetResultFields(items, false);
    return projection;
  };
  const std::int32_t before = TempTables();
  for (bool projected : {false, true}) {
    SCOPED_TRACE(projected ? "materialised inputs" : "live inputs");
    const std::string n = projected ? "1" : "0";
    {
      TQXLFields l, r;
      l.Append(Column("L", "CL"));
      r.Append(Column("R", "CR"));
      TQXLAOJoin join(oneRow("JoinDates" + n, "L", aftDate, projected),
                      oneRow("JoinFlags" + n, "R", aftBoolean, projected), ajtLeftOuter, false, l, r, nullptr);
      std::vector<TQXLSelectListItem> items;
      items.push_back(Column("L", "CL"));
      join.SetResultFields(items, false);
      try {
        join.Execute(true, nullptr, nullptr);
        ADD_FAILURE() << "no error";
      } catch (const EQXLException& E) {
        EXPECT_EQ(E.NativeError, 10328) << E.what();
        EXPECT_NE(std::string(E.what()).find("Cannot compare values for fields: CL, CR. Error: "), std::string::npos)
            << E.what();
      }
    }
    EXPECT_EQ(TempTables(), before);
  }
}

TEST_F(JoinOperator, DistinctReachesTheInputsOnlyWithoutResidualCondition) {
  // SELECT DISTINCT L.K, R.Id FROM (SELECT * FROM l) L LEFT JOIN r R ON L.K =
  // R.K [AND L.V < R.V]: the two left rows share K; only the first meets the
  // condition, so with it both results rows remain.
  const std::vector<TJoinRow> left{{1, 1, 0, 1}, {2, 1, 0, 5}};
  const std::vector<TJoinRow> right{{10, 1, 0, 3}};
  for (bool residual : {false, true}) {
    SCOPED_TRACE(residual ? "with L.V < R.V" : "keys only");
    TQXLFields l, r;
    l.Append(Column("L", "K"));
    r.Append(Column("R", "K"));
    TQXLAOJoin join(std::make_unique<TQXLAOTableExpr>(Input("L", left)), Input("R", right), ajtLeftOuter, false, l, r,
                    residual ? Condition("L.V < R.V") : nullptr);
    std::vector<TQXLSelectListItem> items;
    items.push_back(Column("L", "K"));
    items.push_back(Column("R", "Id"));
    join.SetResultFields(items, true);
    join.Execute(true, nullptr, nullptr);
    std::vector<TJoinPair> got;
    TQXLTable& result = *join.ResultDataset();
    for (result.First(); !result.Eof(); result.Next()) got.push_back({ReadInt(result, 0), ReadInt(result, 1)});
    std::sort(got.begin(), got.end());
    const std::vector<TJoinPair> expected =
        residual ? std::vector<TJoinPair>{{1, std::nullopt}, {1, 10}} : std::vector<TJoinPair>{{1, 10}};
    EXPECT_EQ(got, expected);
  }
}

TEST_F(JoinOperator, RightKeyWrittenFirstIsSwapped) {
  // ON R.K = L.K: the pair is turned round so that the left list holds left columns.
  const std::vector<TJoinRow> left{{1, 1}, {2, 2}};
  const std::vector<TJoinRow> right{{10, 2}};
  TQXLFields l, r;
  l.Append(Column("R", "K"));
  r.Append(Column("L", "K"));
  TQXLAOJoin join(Input("L", left), Input("R", right), ajtLeftOuter, false, l, r, nullptr);
  EXPECT_LT(join.LeftKeyFields()[0], join.RightKeyFields()[0]);
  EXPECT_EQ(Pairs(Run(join)), (std::vector<TJoinPair>{{1, std::nullopt}, {2, 10}}));
}

}  // namespace
}  // namespace qxl::jointest
