#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/expr/QXLFilterTarget.h"
#include "engine/sql/nodes/QXLSelectListItem.h"
#include "tests/engine/sql/expr/ExpressionTestCursor.h"
#include "tests/engine/sql/nodes/NodeTestSupport.h"

using namespace qxl;

namespace qxl::exprtest {
namespace {

using Column = nodetest::TestAO::Column;

// An operator of a query tree: its columns are those of its children (or its
// own for a table), and it keeps the condition part it is handed.
class TFilterAO : public nodetest::TestAO, public TQXLFilterTarget {
public:
  TFilterAO(std::vector<Column> Columns, TFilterAO* Left = nullptr, TFilterAO* Right = nullptr, bool Outer = false)
      : TestAO(std::move(Columns)), Left(Left), Right(Right), Outer(Outer) {}
  TQXLAO* LeftChildAO() const override { return Left; }
  TQXLAO* RightChildAO() const override { return Right; }
  bool IsOuterJoin() const override { return Outer; }
  void SetFilterExpression(std::unique_ptr<qxl::TQXLExpression> F) override { Filter = std::move(F); }

  TFilterAO* Left;
  TFilterAO* Right;
  bool Outer;
  std::unique_ptr<qxl::TQXLExpression> Filter;
};

std::string Parts(const TFilterAO& AO) { return AO.Filter && AO.Filter->Root() ? std::to_string(AO.Filter->Root()->ChildCount()) : "-"; }

// A search condition of SQL text, not bound to any cursor.
void Parse(qxl::TQXLExpression& E, const std::string& Sql) {
  TQXLLexer L(Sql, nullptr, false);
  ASSERT_TRUE(L.GetNextCommand());
  E.ParseForBooleanExpression(nullptr, &L);
}

const std::vector<Column> ColumnsOfA = {{"A", "X", aftInteger, 0}, {"A", "K", aftInteger, 0}};
const std::vector<Column> ColumnsOfB = {{"B", "Y", aftInteger, 0}, {"B", "K", aftInteger, 0}, {"B", "F", aftBoolean, 0}};

std::vector<Column> Both() {
  std::vector<Column> All = ColumnsOfA;
  All.insert(All.end(), ColumnsOfB.begin(), ColumnsOfB.end());
  return All;
}

TEST(ExpressionPushDown, ConditionPartsLandOnTheDeepestOperatorThatCanTestThem) {
  struct Case {
    const char* Condition;
    bool Outer;
    const char* Left;   // the part handed to A: "-" none, else the root's child count
    const char* Right;  // to B
    const char* Join;   // to the join
    bool RootLeft;      // whether anything stays in the expression
  } Cases[] = {
      {"A.X = 1 AND B.Y = 2", false, "2", "2", "-", false},
      {"A.X = 1 AND B.Y = 2 AND A.K = B.K", false, "2", "2", "2", false},
      {"A.X = 1 AND A.K = 2", false, "2", "-", "-", false},
      {"A.X = 1 AND B.Y = 2", true, "-", "-", "2", false},
      {"A.X = 1 AND C.Z = 3", false, "2", "-", "-", true},
      {"B.F", false, "-", "0", "-", false},
  };
  for (const Case& C : Cases) {
    TFilterAO A(ColumnsOfA), B(ColumnsOfB);
    TFilterAO Join(Both(), &A, &B, C.Outer);
    qxl::TQXLExpression E;
    Parse(E, C.Condition);
    E.ApplyFilterParts(&Join, nullptr, nullptr, true, false);
    EXPECT_EQ(Parts(A), C.Left) << C.Condition;
    EXPECT_EQ(Parts(B), C.Right) << C.Condition;
    EXPECT_EQ(Parts(Join), C.Join) << C.Condition;
    EXPECT_EQ(E.Root() != nullptr, C.RootLeft) << C.Condition;
  }
  // Offered to the left operator alone, a condition on the right-hand table stays.
  TFilterAO A(ColumnsOfA);
  qxl::TQXLExpression E;
  Parse(E, "B.F");
  E.ApplyFilterParts(&A, nullptr, nullptr, false, false);
  EXPECT_EQ(A.Filter, nullptr);
  EXPECT_NE(E.Root(), nullptr);
}

TEST(ExpressionPushDown, EqualitiesOfOneColumnOfEachSideBecomeJoinPairs) {
  struct Case {
    const char* Condition;
    std::int32_t Pairs;
    const char* Left;
    const char* Right;
    bool RootLeft;
  } Cases[] = {
      {"A.K = B.K", 1, "A.K", "B.K", false},
      {"A.K = B.K AND A.X = B.Y AND A.X = 1", 2, "A.K A.X", "B.K B.Y", true},
      {"A.K = B.K OR A.X = B.Y", 0, "", "", true},
      {"A.K < B.K", 0, "", "", true},
      {"UPPER(A.K) = B.K", 0, "", "", true},
  };
  for (const Case& C : Cases) {
    TFilterAO A(ColumnsOfA), B(ColumnsOfB);
    qxl::TQXLExpression E;
    Parse(E, C.Condition);
    std::vector<TQXLSelectListItem> L, R;
    EXPECT_EQ(E.ExtractJoinConditions(&A, &B, L, R), C.Pairs) << C.Condition;
    std::string Ls, Rs;
    for (const auto& I : L) Ls += (Ls.empty() ? "" : " ") + I.TableName + "." + I.FieldName;
    for (const auto& I : R) Rs += (Rs.empty() ? "" : " ") + I.TableName + "." + I.FieldName;
    EXPECT_EQ(Ls, C.Left) << C.Condition;
    EXPECT_EQ(Rs, C.Right) << C.Condition;
    EXPECT_EQ(E.Root() != nullptr, C.RootLeft) << C.Condition;
  }
  // A column both sides have is ambiguous without its table.
  TFilterAO A(ColumnsOfA), B(ColumnsOfB);
  qxl::TQXLExpression E;
  Parse(E, "K = B.Y");
  std::vector<TQXLSelectListItem> L, R;
  EXPECT_EQ(ErrorOf([&] { E.ExtractJoinConditions(&A, &B, L, R); }).substr(0, 6), "10404:");
}

}  // namespace
}  // namespace qxl::exprtest
