// The set operator composed by hand over two table operators on in-memory
// tables: UNION, INTERSECT and EXCEPT with and without ALL against multisets
// of random rows with repeats and NULLs, the column pairing of CORRESPONDING
// [BY], the columns that cannot be compared, the output names and the errors.
#include <gtest/gtest.h>

#include <algorithm>
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
#include "engine/sql/operators/QXLAOTable.h"
#include "engine/sql/operators/QXLAOTableExpr.h"
#include "engine/sql/operators/QXLAOUnion.h"
#include "tests/engine/sql/operators/SetOperationModel.h"

namespace qxl::settest {
namespace {

TQXLUnionType EngineSet(TModelSet Kind) {
  switch (Kind) {
    case TModelSet::Union: return autUnion;
    case TModelSet::Intersect: return autIntersect;
    case TModelSet::Except: return autExcept;
  }
  return autUnion;
}

TQXLSelectListItem Column(const std::string& Field, const std::string& Alias = "") {
  TQXLSelectListItem item;
  item.FieldName = Field;
  item.Pseudonym = Alias;
  return item;
}

// A select list of plain columns: a name, or a name and its alias.
using TColumns = std::vector<std::pair<std::string, std::string>>;

using TInts = std::vector<std::optional<std::int32_t>>;

class SetOperator : public ::testing::Test {
protected:
  SetOperator() { RegisterSQLExpressions(); }
  ~SetOperator() override {
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

  // An in-memory table of columns A (integer), B (text) and, when asked, C
  // (integer) and M (BLOB), holding Rows in order.
  std::string MakeTable(const std::vector<TSetRow>& Rows, bool Extra = false) {
    const std::string name = "SetInput" + std::to_string(FTables.size());
    FTables.push_back(name);
    TQXLTable t;
    t.SetInMemory(true);
    t.SetTableName(name);
    t.AdvFieldDefs().Add("A", aftInteger, 0, false);
    t.AdvFieldDefs().Add("B", aftString, 10, false);
    if (Extra) {
      t.AdvFieldDefs().Add("C", aftInteger, 0, false);
      t.AdvFieldDefs().Add("M", aftBlob, 0, false);
    }
    t.CreateTable();
    t.Open();
    for (const TSetRow& r : Rows) {
      t.Append();
      if (r.A) t.FieldByName("A").SetAsInteger(*r.A);
      if (r.B) t.FieldByName("B").SetAsString(*r.B);
      if (Extra) {
        t.FieldByName("C").SetAsInteger(r.A.value_or(0) * 10);
        t.FieldByName("M").SetAsString("memo " + r.B.value_or("-"));
      }
      t.Post();
    }
    t.Close();
    return name;
  }

  // The query "SELECT <Columns> FROM <a new table of Rows>" as a table operator.
  std::unique_ptr<TQXLAO> Query(const std::vector<TSetRow>& Rows, const TColumns& Columns, bool Extra = false) {
    const std::string name = MakeTable(Rows, Extra);
    auto t = std::make_unique<TQXLTable>();
    t->SetInMemory(true);
    t->SetTableName(name);
    auto ao = std::make_unique<TQXLAOTable>(name, "", nullptr, std::move(t));
    std::vector<TQXLSelectListItem> items;
    for (const auto& [name, alias] : Columns) items.push_back(Column(name, alias));
    ao->SetResultFields(items, false);
    return ao;
  }
  std::unique_ptr<TQXLAO> Query(const std::vector<TSetRow>& Rows) { return Query(Rows, {{"A", ""}, {"B", ""}}); }

  // Runs Op as the root and reads its first two columns (one when it has one).
  static std::vector<TSetRow> Run(TQXLAOUnion& Op) {
    EXPECT_TRUE(Op.LockTables());
    Op.Execute(true, nullptr, nullptr);
    EXPECT_TRUE(Op.UnlockTables());
    TQXLTable& result = *Op.ResultDataset();
    std::vector<TSetRow> rows;
    TQXLVariant v;
    for (result.First(); !result.Eof(); result.Next()) {
      TSetRow r;
      result.GetFieldValue(v, 0, false);
      if (!v.IsNull()) r.A = v.GetAsInteger();
      if (result.FieldCount() > 1) {
        result.GetFieldValue(v, 1, false);
        if (!v.IsNull()) r.B = v.GetAsAnsiString();
      }
      rows.push_back(r);
    }
    return rows;
  }

  // A table of one row and one column, D (a date) or F (a Boolean), read
  // live or through a projection that materialises it.
  std::unique_ptr<TQXLAO> OneRow(const std::string& Name, TQXLAdvancedFieldType Type, bool Projected = false) {
    FTables.push_back(Name);
    const std::string column = Type == aftDate ? "D" : "F";
    TQXLTable t;
    t.SetInMemory(true);
    t.SetTableName(Name);
    t.AdvFieldDefs().Add(column, Type, 0, false);
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
    std::unique_ptr<TQXLAO> ao = std::make_unique<TQXLAOTable>(Name, "", nullptr, std::move(table));
    if (!Projected) return ao;
    auto projection = std::make_unique<TQXLAOTableExpr>(std::move(ao));
    std::vector<TQXLSelectListItem> items;
    items.push_back(Column(column));
    projection->SetResultFields(items, false);
    return projection;
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

std::vector<TSetRow> Sorted(std::vector<TSetRow> Rows) {
  std::sort(Rows.begin(), Rows.end());
  return Rows;
}

std::vector<TSetRow> Ints(const TInts& Values) {
  std::vector<TSetRow> rows;
  for (const auto& v : Values) rows.push_back({v, std::nullopt});
  return rows;
}

TEST_F(SetOperator, EveryOperationMatchesTheMultisetModel) {
  std::mt19937 rng(164);
  struct TSizes {
    std::int32_t Left, Right, Range;
  } sizes[] = {{12, 9, 3}, {20, 20, 5}, {0, 6, 3}, {6, 0, 3}, {0, 0, 2}, {1, 1, 1}, {30, 4, 8}};
  for (int round = 0; round < 3; ++round)
    for (const TSizes& s : sizes) {
      const std::vector<TSetRow> left = RandomSetRows(rng, s.Left, s.Range);
      const std::vector<TSetRow> right = RandomSetRows(rng, s.Right, s.Range);
      for (TModelSet kind : {TModelSet::Union, TModelSet::Intersect, TModelSet::Except})
        for (bool all : {false, true}) {
          SCOPED_TRACE(std::string(ModelSetName(kind)) + (all ? " ALL " : " ") + std::to_string(s.Left) + "x" +
                       std::to_string(s.Right) + " round " + std::to_string(round));
          TQXLAOUnion op(Query(left), Query(right), EngineSet(kind), nullptr, nullptr, false, !all, nullptr);
          EXPECT_EQ(Sorted(Run(op)), ModelSetOperation(left, right, kind, all));
        }
    }
}

TEST_F(SetOperator, DuplicateRulesWithNulls) {
  struct TCase {
    const char* Name;
    TModelSet Kind;
    bool All;
    TInts Left, Right, Expected;  // Expected sorted, NULL first
  } cases[] = {
      {"UNION", TModelSet::Union, false, {1, 2, 2, std::nullopt}, {2, 3, std::nullopt}, {std::nullopt, 1, 2, 3}},
      {"INTERSECT ALL", TModelSet::Intersect, true, {1, 1, 2}, {1}, {1, 1}},
      {"INTERSECT", TModelSet::Intersect, false, {1, 1, 2}, {1}, {1}},
      {"EXCEPT ALL", TModelSet::Except, true, {1, 1, 2, std::nullopt}, {1, std::nullopt}, {2}},
      {"EXCEPT", TModelSet::Except, false, {2, 2}, {3}, {2}},
      {"INTERSECT with an empty right input", TModelSet::Intersect, false, {1, 2}, {}, {}},
      {"EXCEPT of NULLs", TModelSet::Except, true, {std::nullopt, std::nullopt, 5}, {std::nullopt}, {5}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TQXLAOUnion op(Query(Ints(c.Left), {{"A", ""}}), Query(Ints(c.Right), {{"A", ""}}), EngineSet(c.Kind),
                   nullptr, nullptr, false, !c.All, nullptr);
    EXPECT_EQ(Sorted(Run(op)), Ints(c.Expected));
  }
}

TEST_F(SetOperator, UnionAllKeepsBothInputsInTheirOrder) {
  const TInts left{2, 1, 2, std::nullopt}, right{3, 2, std::nullopt};
  TQXLAOUnion op(Query(Ints(left), {{"A", ""}}), Query(Ints(right), {{"A", ""}}), autUnion, nullptr, nullptr,
                 false, false, nullptr);
  EXPECT_EQ(Run(op), Ints({2, 1, 2, std::nullopt, 3, 2, std::nullopt}));
}

TEST_F(SetOperator, ColumnsPairByPositionByNameOrByList) {
  const std::vector<TSetRow> rows{{1, "x"}, {2, "y"}};
  // Three columns against two, by position: two output columns.
  {
    TQXLAOUnion op(Query(rows, {{"A", ""}, {"B", ""}, {"C", ""}}, true), Query(rows), autUnion, nullptr, nullptr,
                   false, true, nullptr);
    EXPECT_EQ(op.FieldCount(), 2);
    EXPECT_EQ(Sorted(Run(op)), rows);
  }
  // CORRESPONDING pairs by name whatever the order; a name the right input
  // lacks is left out.
  {
    TQXLAOUnion op(Query(rows, {{"B", ""}, {"A", ""}, {"C", "Only"}}, true), Query(rows), autIntersect, nullptr,
                   nullptr, true, true, nullptr);
    ASSERT_EQ(op.FieldCount(), 2);
    EXPECT_EQ(op.LeftFields()[0], 0);
    EXPECT_EQ(op.RightFields()[0], 1);
    EXPECT_EQ(op.FieldLink(0).FieldName, "B");
  }
  // CORRESPONDING BY a list: names missing on either side are skipped.
  {
    TQXLFields by;
    by.Append(Column("Nope"));
    by.Append(Column("b"));
    TQXLAOUnion op(Query(rows), Query(rows, {{"B", ""}, {"A", ""}}), autExcept, nullptr, nullptr, true, true,
                   &by);
    ASSERT_EQ(op.FieldCount(), 1);
    EXPECT_EQ(op.LeftFields()[0], 1);
    EXPECT_EQ(op.RightFields()[0], 0);
  }
}

TEST_F(SetOperator, InputsAreSortedUnderTheirAliases) {
  // Each input shows its columns under aliases: a table read live with a
  // projection, or a projection materialised before the operator sorts it.
  std::mt19937 rng(5164);
  const std::vector<TSetRow> left = RandomSetRows(rng, 25, 4), right = RandomSetRows(rng, 20, 4);
  auto input = [&](bool Materialised, const std::vector<TSetRow>& Rows, const char* A,
                   const char* B) -> std::unique_ptr<TQXLAO> {
    if (!Materialised) return Query(Rows, {{"B", B}, {"A", A}});
    auto p = std::make_unique<TQXLAOTableExpr>(Query(Rows, {{"A", ""}, {"B", ""}}));
    std::vector<TQXLSelectListItem> items;
    items.push_back(Column("B", B));
    items.push_back(Column("A", A));
    p->SetResultFields(items, false);
    return p;
  };
  for (bool materialised : {false, true})
    for (TModelSet kind : {TModelSet::Union, TModelSet::Intersect, TModelSet::Except})
      for (bool all : {false, true}) {
        SCOPED_TRACE(std::string(materialised ? "projections " : "tables ") + ModelSetName(kind) + (all ? " ALL" : ""));
        TQXLAOUnion op(input(materialised, left, "X", "Y"), input(materialised, right, "P", "Q"), EngineSet(kind),
                       nullptr, nullptr, false, !all, nullptr);
        EXPECT_EQ(op.FieldLink(0).FieldName, "Y");
        op.Execute(true, nullptr, nullptr);
        std::vector<TSetRow> got;
        TQXLTable& result = *op.ResultDataset();
        TQXLVariant v;
        // The inputs show B first; the rows are read back as (A, B).
        for (result.First(); !result.Eof(); result.Next()) {
          TSetRow r;
          result.GetFieldValue(v, 1, false);
          if (!v.IsNull()) r.A = v.GetAsInteger();
          result.GetFieldValue(v, 0, false);
          if (!v.IsNull()) r.B = v.GetAsAnsiString();
          got.push_back(r);
        }
        EXPECT_EQ(Sorted(got), ModelSetOperation(left, right, kind, all));
      }
}

TEST_F(SetOperator, OutputNamesComeFromTheLeftQuery) {
  const std::vector<TSetRow> rows{{1, "x"}};
  TQXLAOUnion op(Query(rows, {{"A", "First"}, {"B", "Second"}}),
                 Query(rows, {{"A", "Other"}, {"B", ""}}), autUnion, nullptr, nullptr, false, false, nullptr);
  EXPECT_EQ(op.FieldLink(0).FieldName, "First");
  EXPECT_EQ(op.FieldLink(1).DisplayName, "Second");
  op.Execute(true, nullptr, nullptr);
  EXPECT_EQ(op.ResultDataset()->Fields(0).FieldName, "First");
  EXPECT_EQ(op.ResultDataset()->Fields(1).FieldName, "Second");
}

TEST_F(SetOperator, StarNamesTheOperatorsOwnColumns) {
  // SELECT * and SELECT u.* over the operator as derived table u, and a
  // qualifier that names something else.
  const std::vector<TSetRow> rows{{1, "x"}, {2, "y"}};
  struct TCase {
    const char* Qualifier;
    std::int32_t Columns;
  } cases[] = {{"", 2}, {"u", 2}, {"t", 0}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Qualifier);
    TQXLAOUnion op(Query(rows), Query(rows), autExcept, nullptr, nullptr, false, true, nullptr);
    op.SetTableAlias("u");
    TQXLIntegerArray numbers;
    EXPECT_EQ(op.FieldExists("*", c.Qualifier, true, numbers, false, false), c.Columns);
    EXPECT_EQ(numbers.ItemCount(), c.Columns);
  }
  TQXLAOUnion op(Query(rows), Query({{3, "z"}}), autUnion, nullptr, nullptr, false, true, nullptr);
  std::vector<TQXLSelectListItem> star(1);
  star[0].AllFields = true;
  star[0].FieldName = "*";
  op.SetResultFields(star, false);
  EXPECT_EQ(Sorted(Run(op)), (std::vector<TSetRow>{{1, "x"}, {2, "y"}, {3, "z"}}));
  EXPECT_EQ(op.ResultDataset()->FieldCount(), 2);
}

TEST_F(SetOperator, ColumnsThatCannotBeComparedStayOnlyInADistinctUnion) {
  const std::vector<TSetRow> rows{{1, "x"}, {2, "y"}};
  // UNION ALL leaves the BLOB column out.
  {
    TQXLAOUnion op(Query(rows, {{"A", ""}, {"M", ""}}, true), Query(rows, {{"A", ""}, {"M", ""}}, true), autUnion,
                   nullptr, nullptr, false, false, nullptr);
    EXPECT_EQ(op.FieldCount(), 1);
    EXPECT_EQ(Sorted(Run(op)), Sorted({{1, std::nullopt}, {1, std::nullopt}, {2, std::nullopt}, {2, std::nullopt}}));
    EXPECT_EQ(op.ResultDataset()->FieldCount(), 1);
  }
  // A distinct UNION keeps it; its inputs are then sorted on it, which the
  // indexes refuse with their own error.
  {
    TQXLAOUnion op(Query(rows, {{"A", ""}, {"M", ""}}, true), Query(rows, {{"A", ""}, {"M", ""}}, true), autUnion,
                   nullptr, nullptr, false, true, nullptr);
    EXPECT_EQ(op.FieldCount(), 2);
    try {
      op.Execute(true, nullptr, nullptr);
      ADD_FAILURE() << "a BLOB column was sorted";
    } catch (const EQXLException& E) {
      EXPECT_EQ(E.NativeError, 20295) << E.what();
    }
  }
}

TEST_F(SetOperator, ValuesThatCannotBeComparedAndUnknownTypesAreReported) {
  // A date column paired with a Boolean one: the two types have no common type.
  for (TQXLUnionType type : {autIntersect, autExcept}) {
    SCOPED_TRACE(static_cast<int>(type));
    const std::string n = std::to_string(static_cast<int>(type));
    TQXLAOUnion op(OneRow("SetDates" + n, aftDate), OneRow("SetFlags" + n, aftBoolean), type, nullptr, nullptr,
                   false, false, nullptr);
    try {
      op.Execute(true, nullptr, nullptr);
      ADD_FAILURE() << "no error";
    } catch (const EQXLException& E) {
      EXPECT_EQ(E.NativeError, 10335) << E.what();
      EXPECT_NE(std::string(E.what()).find("Cannot compare values for fields: D, F."), std::string::npos) << E.what();
    }
  }
  const std::vector<TSetRow> rows{{1, "x"}};
  TQXLAOUnion op(Query(rows), Query(rows), static_cast<TQXLUnionType>(7), nullptr, nullptr, false, true, nullptr);
  try {
    op.Execute(true, nullptr, nullptr);
    ADD_FAILURE() << "no error";
  } catch (const EQXLException& E) {
    EXPECT_EQ(E.NativeError, 10336) << E.what();
  }
}

TEST_F(SetOperator, AFailedOperationLeavesNoTemporaryTable) {
  const std::int32_t before = TempTables();
  // No common name under CORRESPONDING, found after both inputs were materialised.
  try {
    TQXLAOUnion op(OneRow("FailDates1", aftDate, true), OneRow("FailFlags1", aftBoolean, true), autUnion, nullptr,
                   nullptr, true, true, nullptr);
    ADD_FAILURE() << "no error";
  } catch (const EQXLException& E) {
    EXPECT_EQ(E.NativeError, 10339) << E.what();
  }
  EXPECT_EQ(TempTables(), before);
  // Values that cannot be compared, met while the rows are copied.
  {
    TQXLAOUnion op(OneRow("FailDates2", aftDate, true), OneRow("FailFlags2", aftBoolean, true), autIntersect, nullptr,
                   nullptr, false, true, nullptr);
    EXPECT_GT(TempTables(), before);
    try {
      op.Execute(true, nullptr, nullptr);
      ADD_FAILURE() << "no error";
    } catch (const EQXLException& E) {
      EXPECT_EQ(E.NativeError, 10335) << E.what();
    }
  }
  EXPECT_EQ(TempTables(), before);
}

TEST_F(SetOperator, NoColumnPairIsRefused) {
  const std::vector<TSetRow> rows{{1, "x"}};
  struct TCase {
    const char* Name;
    std::vector<const char*> By;
    std::int32_t Code;
  } cases[] = {{"empty BY list", {}, 10337}, {"BY a name only the left has", {"C"}, 10339}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TQXLFields by;
    for (const char* n : c.By) by.Append(Column(n));
    try {
      TQXLAOUnion op(Query(rows, {{"A", ""}, {"C", ""}}, true), Query(rows), autUnion, nullptr, nullptr, true,
                     true, &by);
      ADD_FAILURE() << "no error";
    } catch (const EQXLException& E) {
      EXPECT_EQ(E.NativeError, c.Code) << E.what();
    }
  }
  // CORRESPONDING without a common name.
  try {
    TQXLAOUnion op(Query(rows, {{"A", "X"}}), Query(rows, {{"A", "Y"}}), autIntersect, nullptr, nullptr,
                   true, false, nullptr);
    ADD_FAILURE() << "no error";
  } catch (const EQXLException& E) {
    EXPECT_EQ(E.NativeError, 10339) << E.what();
  }
}

}  // namespace
}  // namespace qxl::settest
