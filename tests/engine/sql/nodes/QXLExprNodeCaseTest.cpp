#include <gtest/gtest.h>

#include <string>

#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/nodes/QXLExprNodeCase.h"
#include "engine/sql/nodes/QXLExprNodeCast.h"
#include "engine/sql/nodes/QXLExprNodeSystem.h"
#include "tests/engine/sql/expr/ExpressionTestCursor.h"

using namespace qxl;

namespace qxl::exprtest {
namespace {

class ExprNodeCase : public ::testing::Test {
protected:
  TExpressionTestCursor Cursor;
  void SetUp() override { Cursor.Standard(); }

  // The value of a value expression over the cursor's record (its text, with
  // the value's type), or the error.
  std::string Value(const std::string& Sql, TQXLBaseFieldType* Type = nullptr) {
    try {
      TQXLLexer L(Sql, nullptr, false);
      L.GetNextCommand();
      TQXLExpression E;
      E.ParseForValueExpression(nullptr, &L);
      if (E.IsEmpty()) return "nothing parsed";
      E.AssignCursor(&Cursor, nullptr, nullptr);
      const TQXLVariant* V = E.GetValue(true);
      if (Type) *Type = V->DataType();
      return Text(V);
    } catch (const EQXLException& Ex) {
      return std::to_string(Ex.NativeError) + ": " + Ex.what();
    }
  }
  // TRUE, FALSE or NULL of a condition over the record, or the error.
  std::string Condition(const std::string& Filter) {
    try {
      TQXLExpression E;
      E.ParseForFilter(&Cursor, Filter, false, false);
      const TQXLVariant* V = E.GetValue(true);
      if (!V || V->IsNull()) return "NULL";
      return V->GetAsBoolean() ? "TRUE" : "FALSE";
    } catch (const EQXLException& Ex) {
      return std::to_string(Ex.NativeError) + ": " + Ex.what();
    }
  }
};

// The record: NAME 'Smith', ID 7, QTY NULL, PRICE 2.5, FLAG true, NOTE NULL.
TEST_F(ExprNodeCase, SimpleAndSearchedCaseAndCoalesce) {
  struct Case {
    const char* Sql;
    const char* Expected;
  } Cases[] = {
      {"CASE NULL WHEN NULL THEN 1 ELSE 2 END", "1"},
      {"CASE 'a' WHEN 'A' THEN 1 END", "1"},
      {"CASE 5 WHEN 6 THEN 1 END", "NULL"},
      {"CASE ID WHEN 6 THEN 'six' WHEN 7 THEN 'seven' WHEN 7 THEN 'again' ELSE 'other' END", "seven"},
      {"CASE QTY WHEN 1 THEN 'one' ELSE 'none' END", "none"},
      {"CASE UPPER(NAME) WHEN 'smith' THEN 'found' END", "found"},
      {"CASE WHEN ID > 10 THEN 'big' WHEN ID > 5 THEN 'mid' ELSE 'small' END", "mid"},
      {"CASE WHEN ID > 10 THEN 'big' END", "NULL"},
      // A condition that is NULL is not true: the next WHEN decides.
      {"CASE WHEN QTY IN (1, 2) THEN 1 ELSE 2 END", "2"},
      {"CASE WHEN QTY IN (1, 2) THEN 1 WHEN FLAG THEN 3 END", "3"},
      {"CASE WHEN QTY > 1 OR QTY < 1 THEN 1 END", "NULL"},
      {"COALESCE(NULL, NULL, 3, 4)", "3"},
      {"COALESCE(NULL, NULL)", "NULL"},
      {"COALESCE(QTY, NOTE, NAME)", "Smith"},
      {"COALESCE(QTY, ID * 2)", "14"},
  };
  for (const Case& C : Cases) EXPECT_EQ(Value(C.Sql), C.Expected) << C.Sql;

  EXPECT_EQ(Condition("CASE WHEN QTY IN (1, 2) THEN 1 ELSE 2 END = 2"), "TRUE");
  EXPECT_EQ(Condition("COALESCE(QTY, 0) = 0 AND CASE NAME WHEN 'SMITH' THEN TRUE END"), "TRUE");
}

TEST_F(ExprNodeCase, ResultsTakeTheCommonTypeOnceTheSizeIsAsked) {
  TQXLLexer L("CASE ID WHEN 7 THEN 2 WHEN 8 THEN 1.5 ELSE 'abcdef' END", nullptr, false);
  L.GetNextCommand();
  TQXLExpression E;
  E.ParseForValueExpression(nullptr, &L);
  auto* Node = dynamic_cast<TQXLExprNodeCase*>(E.Root());
  ASSERT_NE(Node, nullptr);
  EXPECT_TRUE(Node->IsSimpleCase());
  const TQXLAdvancedFieldType Type = E.GetDataType();
  EXPECT_TRUE(IsStringAdvancedFieldType(Type)) << AdvancedFieldTypeName(Type);
  const std::int32_t Children = Node->ChildCount();
  const std::int32_t Size = E.GetDataSize();
  EXPECT_GE(Size, 6);
  // Input and WHEN values stay; the results of another type are wrapped.
  EXPECT_EQ(Node->ChildCount(), Children);
  std::int32_t Casts = 0;
  for (std::int32_t i = 0; i < Node->ChildCount(); ++i)
    if (dynamic_cast<TQXLExprNodeCast*>(Node->Child(i))) ++Casts;
  EXPECT_EQ(Casts, 2);
  EXPECT_EQ(dynamic_cast<TQXLExprNodeCast*>(Node->Child(0)), nullptr);
  // Asking again wraps nothing more.
  EXPECT_EQ(E.GetDataSize(), Size);
  std::int32_t CastsAgain = 0;
  for (std::int32_t i = 0; i < Node->ChildCount(); ++i)
    if (dynamic_cast<TQXLExprNodeCast*>(Node->Child(i))) ++CastsAgain;
  EXPECT_EQ(CastsAgain, 2);
  E.AssignCursor(&Cursor, nullptr, nullptr);
  const TQXLVariant* V = E.GetValue(true);
  EXPECT_EQ(Text(V), "2");
  EXPECT_TRUE(V->IsStringDataType());

  TQXLBaseFieldType Got = bftUnknown;
  EXPECT_EQ(Value("COALESCE(QTY, PRICE, 1)", &Got), "2.5");
  EXPECT_EQ(Got, bftDouble);
}

TEST_F(ExprNodeCase, RownumCountsTheEvaluationsOfItsNode) {
  TQXLLexer L("ROWNUM", nullptr, false);
  L.GetNextCommand();
  TQXLExpression E;
  E.ParseForValueExpression(nullptr, &L);
  ASSERT_NE(dynamic_cast<TQXLExprNodeSystem*>(E.Root()), nullptr);
  EXPECT_EQ(E.GetDataType(), aftInteger);
  std::string Seen;
  for (int i = 0; i < 3; ++i) Seen += Text(E.GetValue(true)) + " ";
  EXPECT_EQ(Seen, "1 2 3 ");
}

}  // namespace
}  // namespace qxl::exprtest
