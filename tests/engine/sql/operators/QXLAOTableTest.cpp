// The table operator and the projection over it: name resolution with
// aliases, projection, expressions, the pushed filter, order and DISTINCT.
#include <algorithm>

#include "tests/engine/sql/operators/OperatorFixture.h"

namespace qxl::optest {
namespace {

const std::vector<Column> PeopleColumns = {{"ID", aftInteger}, {"Name", aftString, 10}, {"Score", aftInteger}};
const Rows People = {"1|amy|10", "2|bob|30", "3|cy|20", "4|NULL|30", "5|bob|10"};

class TableOperator : public OperatorTest {
protected:
  void SetUp() override { MakeTable("P", PeopleColumns, People); }
};

TEST_F(TableOperator, AnAliasHidesTheTableNameInNameResolution) {
  struct Case {
    const char* Alias;
    const char* Qualifier;
    std::int32_t Found;
  } Cases[] = {
      {"", "", 1}, {"", "P", 1}, {"", "p", 1}, {"", "X", 0},
      // With an alias only the alias names the table, so that an inner
      // reference to the table's own name reaches the enclosing query.
      {"X", "", 1}, {"X", "x", 1}, {"X", "P", 0},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::string(C.Alias) + " / " + C.Qualifier);
    auto T = Scan("P", C.Alias);
    TQXLIntegerArray Numbers;
    EXPECT_EQ(T->FieldExists("score", C.Qualifier, false, Numbers, false, false), C.Found);
    // The projection above answers for its child the same way.
    TQXLAOTableExpr Projection(std::move(T));
    TQXLIntegerArray Above;
    EXPECT_EQ(Projection.FieldExists("Score", C.Qualifier, false, Above, false, false), C.Found);
    if (C.Found == 1) {
      EXPECT_EQ(Projection.GetFieldNameByColumnNo(Above[0]), "Score");
    }
  }
  // A qualified select item that names the table behind its alias is refused.
  auto T = Scan("P", "X");
  auto List = Items(Col("Name", "P"));
  EXPECT_EQ(CodeOf([&] { T->SetResultFields(List, false); }), 30327);
}

TEST_F(TableOperator, ColumnsStartHiddenAndNameResolutionShowsThem) {
  auto T = Scan("P");
  ASSERT_EQ(T->FieldCount(), 3);
  TQXLVariant V;
  EXPECT_EQ(CodeOf([&] { T->GetFieldValue(V, 1, false, false); }), 10310);
  EXPECT_EQ(CodeOf([&] { T->GetFieldValue(V, 3, false, false); }), 10307);
  EXPECT_EQ(CodeOf([&] { T->GetFieldType(-1); }), 10376);
  TQXLIntegerArray Numbers;
  EXPECT_EQ(T->FieldExists("NAME", "", true, Numbers, false, false), 1);
  EXPECT_FALSE(T->FieldLink(1).IsHidden);
  EXPECT_TRUE(T->FieldLink(0).IsHidden);
  // Unhiding for the children only leaves this operator's column hidden.
  EXPECT_EQ(T->FieldExists("ID", "", true, Numbers, true, false), 1);
  EXPECT_TRUE(T->FieldLink(0).IsHidden);
  EXPECT_EQ(T->FieldExists("ID", "", false, Numbers, false, true), 0);
  T->First();
  T->GetFieldValue(V, 1, true, false);
  EXPECT_EQ(V.GetAsAnsiString(), "amy");
}

TEST_F(TableOperator, ProjectionComputesExpressionsUnderTheirAliases) {
  auto Projection = std::make_unique<TQXLAOTableExpr>(Scan("P", "Q"));
  auto List = Items(Col("Name", "Q", "Who"), Expr("Score * 2 + ID", "Points"), Col("ID"));
  Projection->SetResultFields(List, false);
  // An expression item now refers to the column that carries it.
  EXPECT_FALSE(List[1].IsExpression);
  EXPECT_EQ(List[1].FieldName, "Points");
  EXPECT_EQ(Run(*Projection), (Rows{"amy|21|1", "bob|62|2", "cy|43|3", "NULL|64|4", "bob|25|5"}));
  EXPECT_EQ(Header(*Projection->ResultDataset()), "Who|Points|ID");
  const std::string Name = Projection->ResultDataset()->TableName();
  EXPECT_EQ(Name.rfind("TEMPORARY_TABLE_{", 0), 0u) << Name;
  EXPECT_TRUE(Projection->IsMaterialized());
  // The links now read the result table.
  Projection->ResultDataset()->First();
  TQXLVariant V;
  Projection->GetFieldValue(V, Projection->GetFieldNoByVisibleNumber(1), true, false);
  EXPECT_EQ(V.GetAsInteger(), 21);
  EXPECT_EQ(Projection->GetFieldNameByVisibleNumber(0), "Who");
  EXPECT_EQ(CodeOf([&] { Projection->GetFieldNameByVisibleNumber(3); }), 20243);
}

TEST_F(TableOperator, AnExpressionWithoutAliasIsNamedByAGuid) {
  auto Projection = std::make_unique<TQXLAOTableExpr>(Scan("P"));
  auto List = Items(Expr("ID + 1"));
  Projection->SetResultFields(List, false);
  const std::string Name = Projection->FieldLink(Projection->GetFieldNoByVisibleNumber(0)).FieldName;
  EXPECT_EQ(Name.size(), 4u + 38u) << Name;
  EXPECT_EQ(Name.rfind("Expr{", 0), 0u) << Name;
  EXPECT_EQ(Projection->GetFieldNameByVisibleNumber(0), Name);
}

TEST_F(TableOperator, UnknownColumnsAreRefusedWithTheirName) {
  auto Projection = std::make_unique<TQXLAOTableExpr>(Scan("P"));
  auto List = Items(Col("ID"), Col("Missing"));
  try {
    Projection->SetResultFields(List, false);
    ADD_FAILURE() << "no error";
  } catch (const EQXLException& E) {
    EXPECT_EQ(E.NativeError, 10305);
    EXPECT_NE(std::string(E.what()).find("Missing"), std::string::npos) << E.what();
  }
  auto Other = std::make_unique<TQXLAOTableExpr>(Scan("P", "X"));
  auto Qualified = Items(Col("ID", "P"));
  EXPECT_EQ(CodeOf([&] { Other->SetResultFields(Qualified, false); }), 10305);
}

TEST_F(TableOperator, StarSelectsEveryColumn) {
  auto Projection = std::make_unique<TQXLAOTableExpr>(Scan("P", "X"));
  auto List = Items(Star("X"), Expr("ID * 10", "Tens"));
  Projection->SetResultFields(List, false);
  EXPECT_EQ(Run(*Projection)[1], "2|bob|30|20");
  EXPECT_EQ(Header(*Projection->ResultDataset()), "ID|Name|Score|Tens");
}

TEST_F(TableOperator, PushedFilterOrderAndDistinctOnTheLiveTable) {
  // The table operator as the root of a live query: no row is copied.
  auto T = Scan("P");
  auto List = Items(Col("Name", "", "N"), Col("Score"));
  T->SetResultFields(List, false);
  T->SetFilter(Condition("Score >= 20"));
  T->SetIndex("Score;Name", "Score", "");
  EXPECT_EQ(Run(*T), (Rows{"NULL|30", "bob|30", "cy|20"}));
  EXPECT_EQ(Header(*T->ResultDataset()), "N|Score");

  auto D = Scan("P");
  auto Names = Items(Col("Name"));
  D->SetResultFields(Names, true);
  D->SetIndex("Name", "Name", "");
  EXPECT_EQ(Run(*D), (Rows{"cy", "bob", "amy", "NULL"}));
}

TEST_F(TableOperator, ProjectionSortsAnOrderThatNoIndexServesAndCarriesUnselectedColumns) {
  auto T = Scan("P");
  T->SetIndex("Score;ID", "ID", "");
  auto Projection = std::make_unique<TQXLAOTableExpr>(std::move(T));
  auto List = Items(Col("Name"));
  Projection->SetResultFields(List, false);
  EXPECT_EQ(Run(*Projection), (Rows{"bob", "amy", "cy", "NULL", "bob"}));
  EXPECT_EQ(Header(*Projection->ResultDataset()), "Name");
}

TEST_F(TableOperator, DistinctProjectionOverUnsortedRows) {
  auto Projection = std::make_unique<TQXLAOTableExpr>(Scan("P"));
  auto List = Items(Col("Score"), Expr("Score / 10", "Tens"));
  Projection->SetResultFields(List, true);
  Rows Got = Run(*Projection);
  std::sort(Got.begin(), Got.end());
  EXPECT_EQ(Got, (Rows{"10|1", "20|2", "30|3"}));
}

}  // namespace
}  // namespace qxl::optest

namespace qxl::optest {
namespace {

TEST_F(TableOperator, TopRowsAreTakenOnceWhateverTheLevels) {
  struct Case {
    const char* Order;  // descending on it; nullptr: input order
    bool Distinct;
    std::int64_t First, Count;
    Rows Expected;
  } Cases[] = {
      {nullptr, false, -1, 2, {"1|amy", "2|bob"}},
      // Both the projection and the TOP operator accept the pair; the
      // leading rows are skipped once.
      {nullptr, false, 3, 2, {"3|cy", "4|NULL"}},
      {nullptr, false, 4, 9, {"4|NULL", "5|bob"}},
      {nullptr, false, 1, 0, {}},
      {"ID", false, -1, 2, {"5|bob", "4|NULL"}},
      {"ID", false, 2, 3, {"4|NULL", "3|cy", "2|bob"}},
      {"ID", false, 6, 1, {}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::string(C.Order ? C.Order : "-") + " " + std::to_string(C.First) + "," + std::to_string(C.Count));
    auto Projection = std::make_unique<TQXLAOTableExpr>(Scan("P"));
    auto List = Items(Col("ID"), Col("Name"));
    Projection->SetResultFields(List, C.Distinct);
    if (C.Order) Projection->SetIndex(C.Order, C.Order, "");
    auto Top = std::make_unique<TQXLAOSQLTopRowCount>(std::move(Projection));
    Top->SetTopRowCount(C.First, C.Count);
    EXPECT_EQ(Run(*Top), C.Expected);
  }
  // A DISTINCT projection leaves the pair to the TOP operator.
  auto Projection = std::make_unique<TQXLAOTableExpr>(Scan("P"));
  auto List = Items(Col("Score"));
  Projection->SetResultFields(List, true);
  Projection->SetIndex("Score", "", "");
  auto Top = std::make_unique<TQXLAOSQLTopRowCount>(std::move(Projection));
  Top->SetTopRowCount(2, 2);
  EXPECT_EQ(Run(*Top), (Rows{"20", "30"}));
}

TEST_F(TableOperator, AFirstRowNumberCountsRowsBeforeTheFilter) {
  // Rows 1 and 2 are skipped by position although the filter refuses 1.
  auto Projection = std::make_unique<TQXLAOTableExpr>(Scan("P"));
  auto List = Items(Col("ID"));
  Projection->SetResultFields(List, false);
  Projection->SetFilter(Condition("ID <> 1 AND ID <> 4"));
  Projection->SetTopRowCount(3, 5);
  EXPECT_EQ(Run(*Projection), (Rows{"3", "5"}));
}

}  // namespace
}  // namespace qxl::optest

namespace qxl::optest {
namespace {

TEST_F(TableOperator, DistinctTakesNullsAsEqualAndMemosAreCopied) {
  MakeTable("M", {{"K", aftInteger}, {"Tag", aftString, 5}, {"Note", aftMemo}},
            {"NULL|x|m1", "1|t|long text", "NULL|x|m2", "1|t|long text", "2|NULL|NULL", "2|NULL|m3", "NULL|y|m4"});
  auto Projection = std::make_unique<TQXLAOTableExpr>(Scan("M"));
  auto List = Items(Col("K"), Col("Tag"));
  Projection->SetResultFields(List, true);
  Rows Got = Run(*Projection);
  std::sort(Got.begin(), Got.end());
  EXPECT_EQ(Got, (Rows{"1|t", "2|NULL", "NULL|x", "NULL|y"}));

  auto Memos = std::make_unique<TQXLAOTableExpr>(Scan("M"));
  auto Columns = Items(Col("Note"), Expr("K + 1", "Next"));
  Memos->SetResultFields(Columns, false);
  EXPECT_EQ(Run(*Memos), (Rows{"m1|NULL", "long text|2", "m2|NULL", "long text|2", "NULL|3", "m3|3", "m4|NULL"}));
}

TEST_F(TableOperator, AnImmediateSelectIntoFillsTheNamedTableWhichStays) {
  for (bool Immediate : {false, true}) {
    SCOPED_TRACE(Immediate);
    {
      auto Projection = std::make_unique<TQXLAOTableExpr>(Scan("P"));
      auto List = Items(Col("ID"), Expr("Score + 1", "Next"));
      Projection->SetResultFields(List, false);
      Projection->SetFilter(Condition("ID > 3"));
      Projection->SetResultTable(true, Immediate, "Target", "MEMORY");
      EXPECT_EQ(Run(*Projection), (Rows{"4|31", "5|11"}));
      EXPECT_EQ(Projection->ResultDataset()->TableName() == "Target", Immediate);
    }
    TQXLTable Target;
    Target.SetInMemory(true);
    Target.SetTableName("Target");
    EXPECT_EQ(Target.Exists(), Immediate);
    if (!Immediate) continue;
    FTables.push_back("Target");
    Target.Open();
    EXPECT_EQ(Read(Target), (Rows{"4|31", "5|11"}));
    Target.Close();
  }
}

}  // namespace
}  // namespace qxl::optest

namespace qxl::optest {
namespace {

TEST_F(TableOperator, ADerivedTableAnswersToItsAliasWithItsColumnNames) {
  // SELECT Q.D + Q.K AS S, K FROM (SELECT ID AS K, Score * 2 AS D FROM P WHERE ID < 4) AS Q ORDER BY S DESC
  auto Inner = std::make_unique<TQXLAOTableExpr>(Scan("P"));
  auto InnerList = Items(Col("ID", "", "K"), Expr("Score * 2", "D"));
  Inner->SetResultFields(InnerList, false);
  Inner->SetFilter(Condition("ID < 4"));
  Inner->SetTableAlias("Q");
  auto Outer = std::make_unique<TQXLAOTableExpr>(std::move(Inner));
  auto List = Items(Expr("Q.D + Q.K", "S"), Col("K"));
  Outer->SetResultFields(List, false);
  Outer->SetIndex("S", "S", "");
  EXPECT_EQ(Run(*Outer), (Rows{"62|2", "43|3", "21|1"}));
  EXPECT_EQ(Header(*Outer->ResultDataset()), "S|K");

  // Q.* gives the derived table's columns; a table name behind it gives nothing.
  auto Again = std::make_unique<TQXLAOTableExpr>(Scan("P"));
  auto AgainList = Items(Col("ID", "", "K"), Expr("Score * 2", "D"));
  Again->SetResultFields(AgainList, false);
  Again->SetTableAlias("Q");
  TQXLAOTableExpr Above(std::move(Again));
  TQXLIntegerArray Numbers;
  EXPECT_EQ(Above.FieldExists("*", "Q", false, Numbers, false, false), 2);
  EXPECT_EQ(Above.FieldExists("K", "P", false, Numbers, false, false), 0);
}

TEST_F(TableOperator, ProjectionAboveATableThatSetItsResultFields) {
  auto T = Scan("P", "T");
  auto Columns = Items(Col("Score", "T", "Points"), Col("Name"));
  T->SetResultFields(Columns, false);
  auto Projection = std::make_unique<TQXLAOTableExpr>(std::move(T));
  // Only the columns the table shows are linked, under the names it shows.
  ASSERT_EQ(Projection->FieldCount(), 2);
  EXPECT_EQ(Projection->FieldLink(0).FieldName, "Points");
  auto List = Items(Col("Name"), Expr("Points + 1", "More"));
  Projection->SetResultFields(List, false);
  EXPECT_EQ(Run(*Projection), (Rows{"amy|11", "bob|31", "cy|21", "NULL|31", "bob|11"}));
}

}  // namespace
}  // namespace qxl::optest

namespace qxl::optest {
namespace {

TEST_F(TableOperator, ATableThatCannotBeOpenedAndTheTableLocks) {
  try {
    Scan("Missing");
    ADD_FAILURE() << "a missing table was opened";
  } catch (const EQXLException& E) {
    EXPECT_EQ(E.NativeError, 10303);
    EXPECT_NE(std::string(E.what()).find("\"Missing\" (InMemory = 1)"), std::string::npos) << E.what();
  }
  auto Projection = std::make_unique<TQXLAOTableExpr>(Scan("P"));
  // Unlocking what is not locked succeeds; a closed table cannot be locked.
  EXPECT_TRUE(Projection->UnlockTables());
  EXPECT_TRUE(Projection->LockTables());
  EXPECT_TRUE(Projection->UnlockTables());
  EXPECT_TRUE(Projection->CloseTables());
  EXPECT_FALSE(Projection->LockTables());
  EXPECT_TRUE(Projection->OpenTables());
  EXPECT_TRUE(Projection->LockTables());
  // The lock held at destruction is given back with the tree.
}

}  // namespace
}  // namespace qxl::optest
