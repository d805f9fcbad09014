#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/core/schema/QXLIndexDef.h"
#include "engine/core/search/QXLScanSearchCondition.h"
#include "engine/sql/expr/QXLExpressions.h"
#include "tests/engine/sql/expr/ExpressionTestCursor.h"

using namespace qxl;

namespace qxl::exprtest {
namespace {

const char* ConditionText(TQXLSearchCondition C) {
  switch (C) {
    case scEqual: return "=";
    case scLower: return "<";
    case scGreater: return ">";
    case scLowerEqual: return "<=";
    case scGreaterEqual: return ">=";
    default: return "?";
  }
}

class ExpressionIndexScan : public ::testing::Test {
protected:
  TExpressionTestCursor Cursor;
  TQXLIndexDefs Indexes;

  void SetUp() override {
    Cursor.Standard();
    Add("BY_ID", 1, {"ID"}, {"ASC"}, {"CASE"});
    Add("BY_NAME", 2, {"NAME"}, {"ASC"}, {"CASE"});
    Add("BY_NAME_NOCASE", 3, {"NAME"}, {"ASC"}, {"NO_CASE"});
    Add("BY_ID_QTY", 4, {"ID", "QTY"}, {"ASC", "ASC"}, {"CASE", "CASE"});
    Add("BY_PRICE_DOWN", 5, {"PRICE"}, {"DESC"}, {"CASE"});
  }
  void Add(const char* Name, std::int32_t ID, std::vector<std::string> Columns, std::vector<std::string> Order,
           std::vector<std::string> Case) {
    TQXLIndexDef* D = Indexes.AddCreated();
    D->Name = Name;
    D->ObjectID = ID;
    D->AssignByNames(Columns, Order, Case);
  }
  // The conditions the search engine draws from the filter: index, bound and
  // key count, in order.
  std::string Conditions(qxl::TQXLExpression& E) {
    TQXLScanSearchConditionArray Array;
    Array.AddExpression(&E);
    Array.CreateIndexScanConditionsFromExpressions(&Indexes, 0);
    std::string S;
    for (std::int32_t i = 0; i < Array.Count(); ++i) {
      const TQXLScanSearchCondition* C = Array.Item(i);
      if (!C->CreatedFromExpression) continue;
      S += (S.empty() ? "" : " ") + std::to_string(C->IndexID) + ConditionText(C->Condition) +
           std::to_string(C->KeyFieldCount);
    }
    return S;
  }
};

TEST_F(ExpressionIndexScan, ComparisonsOnIndexedColumnsBecomeScanConditions) {
  struct Case {
    const char* Filter;
    const char* Conditions;
  } Cases[] = {
      {"ID = 5", "1=1 4=1"},
      {"ID = 5 AND QTY = 2", "1=1 4=2"},
      {"QTY = 2 AND ID = 5", "1=1 4=2"},
      {"ID > 1 AND QTY = 2", "1>1 4>1"},
      {"5 < ID", "1>1 4>1"},
      {"ID <= 9", "1<=1 4<=1"},
      {"ID <> 5", ""},
      {"ID = 5 OR QTY = 2", ""},
      {"NOT ID = 5", ""},
      {"ID IN (1, 2)", ""},
      {"ID = -5", ""},
      {"ID IS NULL", "1=1 4=1"},
      {"ID IS NOT NULL AND FLAG", "1>1 4>1"},
      {"NAME = 'Smith'", "2=1"},
      {"UPPER(NAME) = 'SMITH'", "3=1"},
      {"UPPER(NAME) = 'Smith'", ""},
      {"PRICE > 1", "5<1"},
      {"FLAG AND (ID = 5 AND PRICE <= 2)", "1=1 4=1 5>=1"},
  };
  for (const Case& C : Cases) {
    qxl::TQXLExpression E;
    E.ParseForFilter(&Cursor, C.Filter, false, false);
    EXPECT_EQ(Conditions(E), C.Conditions) << C.Filter;
  }
}

TEST_F(ExpressionIndexScan, NodesOfTheChosenConditionAreLentOutAndGivenBack) {
  struct Case {
    const char* Filter;
    std::int32_t ChildrenWhileLent;  // -1: the root itself is lent
  } Cases[] = {{"ID = 5 AND FLAG", 1}, {"ID = 7", -1}, {"FLAG AND NAME = 'x' AND ID > 3", 2}};
  for (const Case& C : Cases) {
    qxl::TQXLExpression E;
    E.ParseForFilter(&Cursor, C.Filter, false, false);
    const bool Before = (E.AssignCursorBuffer(Cursor.FCurrentRecordBuffer, false), E.GetResult());
    TQXLScanSearchConditionArray Array;
    Array.AddExpression(&E);
    Array.CreateIndexScanConditionsFromExpressions(&Indexes, 0);
    std::int32_t Chosen = -1;
    for (std::int32_t i = 0; i < Array.Count() && Chosen < 0; ++i)
      if (Array.Item(i)->IndexID == 1) Chosen = i;
    ASSERT_GE(Chosen, 0) << C.Filter;
    Array.ExtractChosenConditionsFromExpressions(Chosen, -1);
    if (C.ChildrenWhileLent < 0) {
      EXPECT_TRUE(E.IsEmpty()) << C.Filter;
    } else {
      ASSERT_NE(E.Root(), nullptr);
      EXPECT_EQ(E.Root()->ChildCount(), C.ChildrenWhileLent) << C.Filter;
    }
    // Giving a node back twice, or one never lent, changes nothing.
    Array.ReturnExtractedConditionsToExpressions(Chosen, -1);
    Array.ReturnExtractedConditionsToExpressions(Chosen, -1);
    E.AddNode(nullptr);
    EXPECT_FALSE(E.IsEmpty());
    EXPECT_EQ(E.GetResult(), Before) << C.Filter;
  }
}

}  // namespace
}  // namespace qxl::exprtest
