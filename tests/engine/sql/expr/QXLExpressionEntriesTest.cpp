#include <gtest/gtest.h>

#include <string>

#include "engine/core/QXLExpression.h"
#include "engine/sql/expr/QXLExpressionServices.h"
#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/lexer/QXLSQLParams.h"
#include "engine/sql/nodes/QXLExprNodeBoolean.h"
#include "engine/sql/nodes/QXLExprNodeComparison.h"
#include "engine/sql/nodes/QXLExprNodeConst.h"
#include "tests/engine/sql/expr/ExpressionTestCursor.h"

using namespace qxl;

namespace qxl::exprtest {
namespace {

class ExpressionEntries : public ::testing::Test {
protected:
  TExpressionTestCursor Cursor;
  void SetUp() override { Cursor.Standard(); }

  bool Holds(qxl::TQXLExpression& E) {
    E.AssignCursorBuffer(Cursor.FCurrentRecordBuffer, false);
    return E.GetResult();
  }
};

TEST_F(ExpressionEntries, LocateFindsByEqualityWithNullEqualToNull) {
  struct Case {
    const char* Names;
    Variant Key;
    bool CaseInsensitive, PartialKey;
    bool Found;
  } Cases[] = {
      {"id", Variant(std::int32_t(7)), false, false, true},
      {" Id ", Variant(std::int32_t(8)), false, false, false},
      {"QTY", Variant::Null(), false, false, true},
      {"ID", Variant::Null(), false, false, false},
      {"NAME", Variant("smith"), false, false, false},
      {"NAME", Variant("smith"), true, false, true},
      {"NAME", Variant("Smi"), false, true, true},
      {"NOTE", Variant::Null(), false, false, true},
      {"DUE", Variant::Date(platform::EncodeDate(2020, 1, 31)), false, false, true},
      {"DUE", Variant(static_cast<double>(platform::EncodeDate(2020, 1, 31))), false, false, true},
  };
  for (const Case& C : Cases) {
    qxl::TQXLExpression E;
    E.ParseForLocate(&Cursor, C.Names, C.Key, C.CaseInsensitive, C.PartialKey);
    EXPECT_EQ(Holds(E), C.Found) << C.Names;
  }
  qxl::TQXLExpression E;
  EXPECT_EQ(ErrorOf([&] { E.ParseForLocate(&Cursor, "Name;City", Variant("x"), false, false); }),
            "30112: Count of FieldNames (2) not equal counts of KeyValues (1) - Native error: 30112");
}

TEST_F(ExpressionEntries, RecordMatchConditionComparesOneColumnTwoValued) {
  struct Case {
    const char* Field;
    TQXLDataOperator Op;
    std::int32_t Value;
    bool Null;
    bool Holds;
  } Cases[] = {{"ID", doEQ, 7, false, true},  {"ID", doGT, 6, false, true},   {"ID", doLT, 7, false, false},
               {"QTY", doEQ, 0, true, true},  {"QTY", doLT, 1, false, true},  {"ID", doNE, 0, true, true}};
  for (const Case& C : Cases) {
    TQXLVariant V(bftSignedInt32);
    if (!C.Null) V.SetAsInteger(C.Value);
    qxl::TQXLExpression E;
    E.ParseForIsAnyRecordMatchCondition(&Cursor, C.Field, C.Op, V);
    EXPECT_EQ(Holds(E), C.Holds) << C.Field << " " << OperatorText(C.Op);
  }
}

TEST_F(ExpressionEntries, ParametersBecomeConstantsOfTheirType) {
  TQXLSQLParams Params;
  TQXLSQLParam* Id = Params.AddCreated();
  Id->Name = "ID";
  Id->SetAsInteger(7);
  TQXLSQLParam* NullText = Params.AddCreated();
  NullText->Name = "T";
  NullText->Clear(bftVarchar);
  TQXLSQLParam* Flag = Params.AddCreated();
  Flag->Name = "F";
  Flag->SetAsBoolean(true);
  TQXLSQLParam* Day = Params.AddCreated();
  Day->Name = "D";
  Day->Clear(bftDate);
  Day->SetAsTDate(platform::EncodeDate(2020, 1, 31));
  TQXLSQLParam* Pattern = Params.AddCreated();
  Pattern->Name = "E";
  Pattern->SetAsAnsiString("!");

  struct Case {
    const char* Sql;
    bool Holds;
  } Cases[] = {{"ID = :id", true},       {"NOTE = :t", true},        {"NAME = :t", false},
               {"NAME <> :t", true},     {":f", true},               {"FLAG = :f", true},
               {"DUE = :d", true},       {":d - 1 < DUE", true},     {"NAME LIKE 'S!%' ESCAPE :e", false},
               {"ID + :id = 14", true},  {"NAME LIKE 'Sm%' ESCAPE :e", true}};
  for (const Case& C : Cases) {
    TQXLLexer L(C.Sql, &Params, false);
    ASSERT_TRUE(L.GetNextCommand());
    qxl::TQXLExpression E;
    E.ParseForBooleanExpression(nullptr, &L);
    E.AssignCursor(&Cursor, nullptr, nullptr);
    EXPECT_EQ(Holds(E), C.Holds) << C.Sql;
  }
}

TEST_F(ExpressionEntries, BooleanExpressionLeavesTheLexerAfterTheCondition) {
  TQXLLexer L("ID = 7 AND FLAG ORDER BY ID", nullptr, false);
  ASSERT_TRUE(L.GetNextCommand());
  qxl::TQXLExpression E;
  E.ParseForBooleanExpression(nullptr, &L);
  TToken T;
  ASSERT_TRUE(L.GetCurrentToken(T));
  EXPECT_EQ(T.Text, "ORDER");
  E.AssignCursor(&Cursor, nullptr, nullptr);
  EXPECT_TRUE(Holds(E));

  TQXLLexer End("x", nullptr, false);
  ASSERT_TRUE(End.GetNextCommand());
  End.SetCurrentTokenNo(1);
  EXPECT_EQ(ErrorOf([&] { E.ParseForBooleanExpression(nullptr, &End); }).substr(0, 6), "30118:");
  EXPECT_EQ(ErrorOf([&] { E.ParseForValueExpression(nullptr, &End); }).substr(0, 6), "30136:");
  EXPECT_EQ(ErrorOf([&] { E.ParseForRowSubqueryExpression(nullptr, &End); }).substr(0, 6), "30497:");
  TQXLLexer NoValue("ORDER BY", nullptr, false);
  ASSERT_TRUE(NoValue.GetNextCommand());
  E.ParseForValueExpression(nullptr, &NoValue);
  EXPECT_TRUE(E.IsEmpty());
}

TEST_F(ExpressionEntries, ResultsNullsAndEmptyExpressions) {
  qxl::TQXLExpression E;
  EXPECT_TRUE(E.IsEmpty());
  EXPECT_EQ(E.GetValue(true), nullptr);
  EXPECT_EQ(ErrorOf([&] { E.GetResult(); }), "30110: Value is Null - Native error: 30110");

  E.ParseForFilter(&Cursor, "QTY IN (1, 2)", false, false);
  E.AssignCursorBuffer(Cursor.FCurrentRecordBuffer, false);
  EXPECT_EQ(Text(E.GetValue(true)), "NULL");
  const TQXLVariant* AsFalse = E.GetValue(false);
  ASSERT_NE(AsFalse, nullptr);
  EXPECT_EQ(AsFalse->DataType(), bftLogical);
  EXPECT_FALSE(AsFalse->GetAsBoolean());
  EXPECT_FALSE(E.GetResult());

  std::string Table, Field;
  EXPECT_EQ(ErrorOf([&] { E.GetFieldInfo(Table, Field); }), "30198: Node is not a field - Native error: 30198");
  TQXLLexer L("T.NAME", nullptr, false);
  L.GetNextCommand();
  E.ParseForValueExpression(nullptr, &L);
  EXPECT_TRUE(E.IsField());
  E.GetFieldInfo(Table, Field);
  EXPECT_EQ(Table + "." + Field, "T.NAME");
}

TEST_F(ExpressionEntries, DefaultValuesThatStayExpressions) {
  struct Case {
    const char* Text;
    bool Parses;
    bool StaysExpression;
  } Cases[] = {{"1 + 2", true, true},      {"Name", true, false},     {"1 2", false, false},
               {"'abc", false, false},     {"'abc'", true, true},     {"SYSDATE", true, true},
               {"5", true, false},         {"abc", true, false},      {"1; 2", false, false},
               {":x", true, false},        {"UPPER('a')", true, true}, {"", false, false}};
  for (const Case& C : Cases) {
    qxl::TQXLExpression E;
    EXPECT_EQ(E.ParseForDefaultValueExpression(C.Text), C.Parses) << C.Text;
    TQXLVariant V(bftVarchar);
    V.SetAsAnsiString(C.Text);
    EXPECT_EQ(IsSQLDefaultValueExpression(V), C.StaysExpression) << C.Text;
  }
}

TEST_F(ExpressionEntries, TheCoreCreatesTheRealExpressionOnceRegistered) {
  RegisterSQLExpressions();
  std::unique_ptr<TQXLBaseExpression> E = qxl::CreateExpression();
  ASSERT_NE(E, nullptr);
  E->ParseForFilter(&Cursor, "NAME LIKE 'Sm%' AND ID BETWEEN 1 AND 9", false, false);
  E->AssignCursorBuffer(Cursor.FCurrentRecordBuffer, false);
  EXPECT_TRUE(E->GetResult());
  TQXLVariant Default(bftVarchar);
  Default.SetAsAnsiString("SYSDATE");
  EXPECT_TRUE(qxl::IsDefaultValueExpression(Default));
  UnregisterSQLExpressions();
  EXPECT_EQ(qxl::CreateExpression(), nullptr);
}

TEST_F(ExpressionEntries, AndGroupsFlattenAndMergeIntoOneGroup) {
  qxl::TQXLExpression A, B;
  A.ParseForFilter(&Cursor, "ID = 7 AND (FLAG AND (NAME = 'Smith' OR ID = 1))", false, false);
  EXPECT_EQ(A.Root()->ChildCount(), 3);
  B.ParseForFilter(&Cursor, "QTY IS NULL AND BIG > 1", false, false);
  A.AddAndMoveNodesFromExpression(B);
  EXPECT_EQ(B.Root(), nullptr);
  EXPECT_EQ(A.Root()->Operator(), doAND);
  EXPECT_EQ(A.Root()->ChildCount(), 5);
  EXPECT_TRUE(Holds(A));

  qxl::TQXLExpression Single, Other;
  Single.ParseForFilter(&Cursor, "ID = 7", false, false);
  Other.ParseForFilter(&Cursor, "FLAG", false, false);
  Single.AddAndMoveNodesFromExpression(Other);
  EXPECT_EQ(Single.Root()->Operator(), doAND);
  EXPECT_EQ(Single.Root()->ChildCount(), 2);
  EXPECT_TRUE(Holds(Single));
}

}  // namespace
}  // namespace qxl::exprtest
