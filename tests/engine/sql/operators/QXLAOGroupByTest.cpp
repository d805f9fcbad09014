// Grouping, HAVING, the aggregates, DISTINCT over groups and TOP, composed
// by hand over in-memory tables.
#include <algorithm>

#include "tests/engine/sql/operators/OperatorFixture.h"

namespace qxl::optest {
namespace {

const std::vector<Column> SalesColumns = {{"X", aftInteger}, {"Y", aftString, 10}, {"Z", aftInteger}};
// X has NULLs; Z has a NULL in group 2.
const Rows Sales = {"2|b|5", "NULL|a|1", "1|a|4", "2|c|NULL", "1|b|6", "NULL|b|2", "2|a|7", "3|c|3"};

TQXLFields GroupBy(std::vector<TQXLSelectListItem> Columns) {
  TQXLFields F;
  for (TQXLSelectListItem& C : Columns) F.Append(std::move(C));
  return F;
}

class Grouping : public OperatorTest {
protected:
  void SetUp() override { MakeTable("S", SalesColumns, Sales); }

  // SELECT <List> FROM S [WHERE] GROUP BY <Columns> [HAVING]
  std::unique_ptr<TQXLAOGroupBy> Group(std::vector<TQXLSelectListItem>& List, std::vector<TQXLSelectListItem> Columns,
                                       const char* Having = nullptr, bool Distinct = false,
                                       const char* Where = nullptr, const std::string& Table = "S") {
    auto T = Scan(Table);
    if (Where) T->SetFilter(Condition(Where));
    TQXLFields Fields = GroupBy(std::move(Columns));
    auto G = std::make_unique<TQXLAOGroupBy>(std::move(T), Fields.ItemCount() ? &Fields : nullptr, List);
    if (Having) G->SetFilter(Condition(Having));
    G->SetResultFields(List, Distinct);
    return G;
  }
};

TEST_F(Grouping, GroupsComeInOrderWithTheNullGroupFirst) {
  auto List = Items(Col("X"), Expr("COUNT(*)", "N"), Expr("COUNT(Z)"), Expr("SUM(Z)"), Expr("MIN(Y)"),
                    Expr("MAX(Z)"), Expr("AVG(Z)"), Expr("COUNT DISTINCT(Y)"));
  auto G = Group(List, Items(Col("X")));
  EXPECT_EQ(Run(*G), (Rows{"NULL|2|2|3|a|2|1.5|2", "1|2|2|10|a|6|5|2", "2|3|2|12|a|7|6|3", "3|1|1|3|c|3|3|1"}));
  EXPECT_EQ(G->GroupByFields(), "X");
}

TEST_F(Grouping, GroupingByTwoColumnsAndByAnAlias) {
  auto List = Items(Col("Y", "", "Letter"), Col("X"), Expr("SUM(Z)", "Total"));
  auto G = Group(List, Items(Col("Letter"), Col("X")));
  EXPECT_EQ(Run(*G), (Rows{"a|NULL|1", "a|1|4", "a|2|7", "b|NULL|2", "b|1|6", "b|2|5", "c|2|NULL", "c|3|3"}));
  EXPECT_EQ(Header(*G->ResultDataset()), "Letter|X|Total");
  // An alias of an aggregate cannot be grouped by.
  auto Bad = Items(Col("X"), Expr("SUM(Z)", "Total"));
  EXPECT_EQ(CodeOf([&] { Group(Bad, Items(Col("Total"))); }), 20245);
  auto Unknown = Items(Col("X"));
  EXPECT_EQ(CodeOf([&] { Group(Unknown, Items(Col("W"))); }), 20245);
}

TEST_F(Grouping, HavingKeepsTheGroupsItAccepts) {
  struct Case {
    const char* Having;
    Rows Expected;
  } Cases[] = {
      {"SUM(Z) > 10", {"2|12"}},
      {"SUM(Z) <= 10", {"NULL|3", "1|10", "3|3"}},
      {"COUNT(*) > 1 AND MAX(Z) < 7", {"NULL|3", "1|10"}},
      {"X IS NULL OR AVG(Z) = 3", {"NULL|3", "3|3"}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Having);
    auto List = Items(Col("X"), Expr("SUM(Z)"));
    auto G = Group(List, Items(Col("X")), C.Having);
    EXPECT_EQ(Run(*G), C.Expected);
  }
}

TEST_F(Grouping, WithoutGroupByTheWholeInputIsOneRow) {
  MakeTable("Empty", SalesColumns, {});
  struct Case {
    std::vector<const char*> Aggregates;
    const char* Where;
    std::string Table;
    const char* Having;
    Rows Expected;
  } Cases[] = {
      {{"COUNT(*)", "COUNT(*)"}, nullptr, "S", nullptr, {"8|8"}},
      {{"COUNT(*)"}, nullptr, "Empty", nullptr, {"0"}},
      {{"COUNT(*)", "SUM(Z)", "MIN(Y)", "AVG(X)"}, nullptr, "Empty", nullptr, {"0|NULL|NULL|NULL"}},
      {{"COUNT(*)", "SUM(Z)", "MAX(Y)"}, "X = 2", "S", nullptr, {"3|12|c"}},
      {{"COUNT(*)"}, "Z > 4", "S", nullptr, {"3"}},
      {{"COUNT(*)"}, nullptr, "S", "SUM(Z) > 100", {}},
      {{"COUNT(*)"}, nullptr, "S", "SUM(Z) > 10", {"8"}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::string(C.Aggregates[0]) + " " + (C.Where ? C.Where : "") + " " + C.Table);
    std::vector<TQXLSelectListItem> List;
    for (const char* A : C.Aggregates) List.push_back(Expr(A));
    auto G = Group(List, {}, C.Having, false, C.Where, C.Table);
    EXPECT_EQ(Run(*G), C.Expected);
  }
}

TEST_F(Grouping, EmptyAndSingleRowInputs) {
  MakeTable("Empty", SalesColumns, {});
  MakeTable("One", SalesColumns, {"7|q|1"});
  for (const auto& [Table, Expected] : {std::pair<std::string, Rows>{"Empty", {}}, {"One", {"7|1"}}}) {
    SCOPED_TRACE(Table);
    auto List = Items(Col("X"), Expr("COUNT(*)"));
    auto G = Group(List, Items(Col("X")), nullptr, false, nullptr, Table);
    EXPECT_EQ(Run(*G), Expected);
  }
  // A filter pushed into the table leaves groups of the rows it passes.
  auto List = Items(Col("X"), Expr("COUNT(*)"), Expr("SUM(Z)"));
  auto G = Group(List, Items(Col("X")), nullptr, false, "Z >= 4 OR Z IS NULL");
  EXPECT_EQ(Run(*G), (Rows{"1|2|10", "2|3|12"}));
}

TEST_F(Grouping, SelectListMustFitTheGroups) {
  struct Case {
    std::function<std::vector<TQXLSelectListItem>()> List;
    bool GroupByX;
    std::int32_t Code;
  } Cases[] = {
      {[] { return Items(Col("X"), Col("Y"), Expr("COUNT(*)")); }, true, 10342},
      {[] { return Items(Expr("Z + 1"), Expr("COUNT(*)")); }, true, 20269},
      {[] { return Items(Col("X"), Expr("COUNT(*)")); }, false, 10342},
      {[] { return Items(Col("W"), Expr("COUNT(*)")); }, true, 10305},
      {[] { return Items(Expr("X + 1"), Expr("COUNT(*) * 2"), Expr("'k'")); }, true, 0},
  };
  for (std::size_t i = 0; i < std::size(Cases); ++i) {
    SCOPED_TRACE(i);
    auto List = Cases[i].List();
    EXPECT_EQ(CodeOf([&] { Group(List, Cases[i].GroupByX ? Items(Col("X")) : Items()); }), Cases[i].Code);
  }
}

TEST_F(Grouping, DistinctAppliesToTheGroupedRows) {
  // Groups NULL, 1, 2, 3 have 2, 2, 3 and 1 rows.
  auto List = Items(Expr("COUNT(*)", "N"));
  auto G = Group(List, Items(Col("X")), nullptr, true);
  Rows Got = Run(*G);
  std::sort(Got.begin(), Got.end());
  EXPECT_EQ(Got, (Rows{"1", "2", "3"}));
}

TEST_F(Grouping, TopOverGroupsTakesItsRowsOnce) {
  struct Case {
    std::int64_t First, Count;
    Rows Expected;
  } Cases[] = {
      {-1, 2, {"NULL|2", "1|2"}},
      {2, 2, {"1|2", "2|3"}},
      {3, 5, {"2|3", "3|1"}},
      {1, 0, {}},
      {5, 1, {}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::to_string(C.First) + "," + std::to_string(C.Count));
    auto List = Items(Col("X"), Expr("COUNT(*)"));
    auto Top = std::make_unique<TQXLAOSQLTopRowCount>(Group(List, Items(Col("X"))));
    Top->SetTopRowCount(C.First, C.Count);
    EXPECT_EQ(Run(*Top), C.Expected);
  }
}

}  // namespace
}  // namespace qxl::optest

namespace qxl::optest {
namespace {

TEST_F(Grouping, GroupsOverAMaterialisedInput) {
  // SELECT K, SUM(W), COUNT(*) FROM (SELECT X AS K, Z * 2 AS W FROM S) GROUP BY K HAVING COUNT(*) > 1
  for (bool Distinct : {false, true}) {
    SCOPED_TRACE(Distinct);
    auto Projection = std::make_unique<TQXLAOTableExpr>(Scan("S"));
    auto Inner = Items(Col("X", "", "K"), Expr("Z * 2", "W"));
    Projection->SetResultFields(Inner, Distinct);
    auto List = Items(Col("K"), Expr("SUM(W)"), Expr("COUNT(*)"));
    TQXLFields Fields = GroupBy(Items(Col("K")));
    auto G = std::make_unique<TQXLAOGroupBy>(std::move(Projection), &Fields, List);
    G->SetFilter(Condition("COUNT(*) > 1"));
    G->SetResultFields(List, false);
    EXPECT_EQ(Run(*G), (Rows{"NULL|6|2", "1|20|2", "2|24|3"}));
  }
}

}  // namespace
}  // namespace qxl::optest

namespace qxl::optest {
namespace {

TEST_F(Grouping, TheGroupedResultIsOrderedByDisplayNames) {
  struct Case {
    const char* Order;
    const char* Desc;
    Rows Expected;
  } Cases[] = {
      {"N;K", "N", {"2|3", "NULL|2", "1|2", "3|1"}},
      {"K", "K", {"3|1", "2|3", "1|2", "NULL|2"}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Order);
    auto List = Items(Col("X", "", "K"), Expr("COUNT(*)", "N"));
    auto G = Group(List, Items(Col("X")));
    G->SetIndex(C.Order, C.Desc, "");
    EXPECT_EQ(Run(*G), C.Expected);
    EXPECT_EQ(Header(*G->ResultDataset()), "K|N");
  }
}

}  // namespace
}  // namespace qxl::optest
