// Subqueries and LASTAUTOINC parsed from SQL text over a query dataset that
// stands in for the statement layer: its subquery commands read the rows of
// in-memory tables named by the subquery's text, count how often they are
// parsed, planned and run, and see which outer row a run reads.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <string>

#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/QXLMain.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/expr/QXLExpressionServices.h"
#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/nodes/QXLExprNodeSubquery.h"
#include "engine/sql/nodes/QXLSubqueryCommand.h"
#include "tests/engine/sql/expr/ExpressionTestCursor.h"

using namespace qxl;

namespace qxl::exprtest {
namespace {

class FakeQuery;

// "SELECT <table> [OUTER]": the rows of the in-memory table; with OUTER the
// text refers to the outer query, so it plans completely only under one.
class FakeCommand : public TQXLSubqueryCommand {
public:
  FakeCommand(FakeQuery& Query, std::string Table, bool Outer) : Q(Query), FTable(std::move(Table)), FOuter(Outer) {}
  void BuildAOTree(TDataSet*, bool, TQXLAO* ParentQueryAO, TQXLCursor*, bool) override;
  bool AllConditionsApplied() override { return !FOuter || FPlannedUnderParent; }
  TQXLAdvancedFieldType ResultFieldType(std::int32_t) override;
  std::int32_t ResultFieldSize(std::int32_t) override { return 12; }
  void ExecSQL(TDataSet*, bool, bool, bool&, TQXLAO*, TQXLCursor* ParentCursor) override;
  TQXLDataSet* GetResultDataset() override { return FResult.get(); }

private:
  FakeQuery& Q;
  std::string FTable;
  bool FOuter;
  bool FPlannedUnderParent = false;
  std::unique_ptr<TQXLTable> FResult;
};

class FakeQuery : public TQXLTable, public TQXLSubqueryHost {
public:
  std::unique_ptr<TQXLSubqueryCommand> CreateSubqueryCommand(TQXLLexer& Lexer) override {
    TToken T;
    Lexer.GetCurrentToken(T);
    if (!IsReservedWord(T, rwSELECT)) throw EQXLException(30194, "Token 'SELECT' expected, but '%s' found", {T.Text});
    Lexer.GetNextToken(T);
    const std::string Table = T.Text;
    Lexer.GetNextToken(T);
    const bool Outer = T.Text == "OUTER";
    if (Outer) Lexer.GetNextToken(T);
    ++Parses;
    return std::make_unique<FakeCommand>(*this, Table, Outer);
  }
  int Parses = 0;
  int Runs = 0;
  bool FailRuns = false;
  // The outer cursor's record buffer as each run saw it.
  std::vector<std::uint8_t*> BuffersSeen;
};

void FakeCommand::BuildAOTree(TDataSet*, bool, TQXLAO* ParentQueryAO, TQXLCursor*, bool) {
  FPlannedUnderParent = ParentQueryAO != nullptr;
}

TQXLAdvancedFieldType FakeCommand::ResultFieldType(std::int32_t) {
  TQXLTable T;
  T.SetInMemory(true);
  T.SetTableName(FTable);
  T.Open();
  return T.AdvFieldDefs().Defs(0).DataType;
}

void FakeCommand::ExecSQL(TDataSet*, bool, bool, bool&, TQXLAO*, TQXLCursor* ParentCursor) {
  ++Q.Runs;
  Q.BuffersSeen.push_back(ParentCursor ? ParentCursor->FCurrentRecordBuffer : nullptr);
  if (Q.FailRuns) throw EQXLException(1, "The run failed");
  FResult = std::make_unique<TQXLTable>();
  FResult->SetInMemory(true);
  FResult->SetTableName(FTable);
  FResult->Open();
}

class ExprNodeSubquery : public ::testing::Test {
protected:
  ExprNodeSubquery() {
    RegisterSQLExpressions();
    Cursor.Standard();
    MakeTable("Nums", {1, 2, 3});
    MakeTable("Empty", {});
    MakeTable("One", {7});
    MakeTable("WithNull", {1, std::nullopt});
    TQXLTable Pair;
    Pair.SetInMemory(true);
    Pair.SetTableName("Pair");
    Pair.AdvFieldDefs().Add("A", aftInteger, 0, false);
    Pair.AdvFieldDefs().Add("B", aftString, 10, false);
    Pair.CreateTable();
    Pair.Open();
    Pair.Append();
    Pair.FieldByName("A").SetAsInteger(10);
    Pair.FieldByName("B").SetAsString("x");
    Pair.Post();
    Query.SetInMemory(true);
  }
  ~ExprNodeSubquery() override { UnregisterSQLExpressions(); }

  static void MakeTable(const std::string& Name, const std::vector<std::optional<std::int32_t>>& Values) {
    TQXLTable T;
    T.SetInMemory(true);
    T.SetTableName(Name);
    T.AdvFieldDefs().Add("V", aftInteger, 0, false);
    T.CreateTable();
    T.Open();
    for (const auto& V : Values) {
      T.Append();
      if (V) T.FieldByName("V").SetAsInteger(*V);
      T.Post();
    }
  }

  // A condition parsed as a statement parses it, bound to the cursor.
  std::unique_ptr<TQXLExpression> Parse(const std::string& Sql) {
    Lexer = std::make_unique<TQXLLexer>(Sql, nullptr, false);
    Lexer->GetNextCommand();
    auto E = std::make_unique<TQXLExpression>();
    E->ParseForBooleanExpression(&Query, Lexer.get());
    E->AssignCursor(&Cursor, nullptr, nullptr);
    return E;
  }
  std::string Result(TQXLExpression& E) {
    try {
      const TQXLVariant* V = E.GetValue(true);
      if (!V || V->IsNull()) return "NULL";
      return V->GetAsBoolean() ? "TRUE" : "FALSE";
    } catch (const EQXLException& Ex) {
      return std::to_string(Ex.NativeError) + ": " + Ex.what();
    }
  }
  std::string Evaluate(const std::string& Sql) {
    try {
      auto E = Parse(Sql);
      return Result(*E);
    } catch (const EQXLException& Ex) {
      return std::to_string(Ex.NativeError) + ": " + Ex.what();
    }
  }

  TQXLEngineScope Engine;
  TExpressionTestCursor Cursor;
  FakeQuery Query;
  std::unique_ptr<TQXLLexer> Lexer;
};

// The record: ID 7, QTY NULL, PRICE 2.5.
TEST_F(ExprNodeSubquery, AnswersOfInExistsQuantifiedAndScalarSubqueries) {
  struct Case {
    const char* Sql;
    const char* Expected;
  } Cases[] = {
      {"ID IN (SELECT One)", "TRUE"},
      {"ID IN (SELECT Nums)", "FALSE"},
      {"ID NOT IN (SELECT Nums)", "TRUE"},
      {"ID IN (SELECT Empty)", "FALSE"},
      // NULL is found nowhere: unknown among rows, absent from no rows.
      {"QTY IN (SELECT WithNull)", "NULL"},
      {"QTY NOT IN (SELECT WithNull)", "NULL"},
      {"QTY IN (SELECT Empty)", "FALSE"},
      {"QTY NOT IN (SELECT Empty)", "TRUE"},
      {"EXISTS (SELECT Nums)", "TRUE"},
      {"EXISTS ((SELECT Empty))", "FALSE"},
      {"NOT EXISTS (SELECT Empty)", "TRUE"},
      {"ID > ALL (SELECT Empty)", "TRUE"},
      {"ID > ANY (SELECT Empty)", "FALSE"},
      {"ID > ALL (SELECT Nums)", "TRUE"},
      {"2 > ALL (SELECT Nums)", "FALSE"},
      {"2 > ANY (SELECT Nums)", "TRUE"},
      {"1 > SOME (SELECT Nums)", "FALSE"},
      {"3 >= ALL (SELECT Nums)", "TRUE"},
      {"1 = ANY (SELECT Nums)", "TRUE"},
      {"0 <> ALL (SELECT Nums)", "TRUE"},
      {"ID = (SELECT One)", "TRUE"},
      {"ID + 1 = 1 + (SELECT One)", "TRUE"},
      {"(SELECT One) = 7", "TRUE"},
      // As an operand a subquery must give one row of one column.
      {"ID = (SELECT Empty)", "20249: Subquery must have one row, but it contains 0 rows"},
      {"ID = (SELECT Nums)", "20247: Subquery must have only one row"},
      {"ID = (SELECT Pair)", "20246: Subquery must have only one result field, but subquery's FieldCount=2"},
      {"ID IN (SELECT Pair)", "20246: Subquery must have only one result field, but subquery's FieldCount=2"},
      // As a value elsewhere it may have no rows: NULL.
      {"COALESCE((SELECT Empty), 5) = 5", "TRUE"},
      {"EXISTS (SELECT Pair)", "TRUE"},
      {"EXISTS ((SELECT Nums) AND (ID = 7))", "30492: Missing symbol ')' at line 1, column 23"},
  };
  for (const Case& C : Cases) {
    const std::string Got = Evaluate(C.Sql);
    EXPECT_EQ(Got.substr(0, std::string(C.Expected).size()), C.Expected) << C.Sql << " -> " << Got;
  }
}

TEST_F(ExprNodeSubquery, AnUncorrelatedSubqueryRunsOnceACorrelatedOneForEveryRow) {
  auto Uncorrelated = Parse("ID IN (SELECT Nums) OR EXISTS (SELECT One)");
  const int Parsed = Query.Parses;
  for (std::int32_t Id : {1, 5, 3, 3, 9}) {
    Cursor.SetInt("ID", Id);
    EXPECT_EQ(Result(*Uncorrelated), "TRUE");
  }
  // One run each; no parse after the tree was built.
  EXPECT_EQ(Query.Runs, 2);
  EXPECT_EQ(Query.Parses, Parsed + 2);
  EXPECT_FALSE(dynamic_cast<TQXLExprNodeSubquery*>(Uncorrelated->Root()->Child(0)->Child(1))->Correlated());

  Query.Runs = 0;
  auto Correlated = Parse("ID IN (SELECT Nums OUTER)");
  auto* Node = dynamic_cast<TQXLExprNodeSubquery*>(Correlated->Root()->Child(1));
  ASSERT_NE(Node, nullptr);
  EXPECT_TRUE(Node->Correlated());
  std::string Seen;
  for (std::int32_t Id : {1, 5, 3}) {
    Cursor.SetInt("ID", Id);
    Seen += Result(*Correlated) + " ";
  }
  EXPECT_EQ(Seen, "TRUE FALSE TRUE ");
  EXPECT_EQ(Query.Runs, 3);
  // Planned under an outer operator, the same text is complete.
  EXPECT_FALSE(Node->CanBeAssigned(nullptr, nullptr, nullptr, false));
}

// The answers found for earlier rows are kept per value: values that come
// back in any order, between others, get their own answer again.
TEST_F(ExprNodeSubquery, AnUncorrelatedInAnswersValuesThatComeBackInAnyOrder) {
  auto In = Parse("ID IN (SELECT Nums)");
  std::string Seen;
  for (std::int32_t Id : {5, 1, 5, 3, 1, 9, 2, 9, 3, -1, 2}) {
    Cursor.SetInt("ID", Id);
    Seen += Result(*In) + " ";
  }
  EXPECT_EQ(Seen, "FALSE TRUE FALSE TRUE TRUE FALSE TRUE FALSE TRUE FALSE TRUE ");
  EXPECT_EQ(Query.Runs, 1);
}

TEST_F(ExprNodeSubquery, ACorrelatedRunReadsTheBoundOuterRowAndGivesTheCursorItsOwnBack) {
  auto E = Parse("EXISTS (SELECT Nums OUTER)");
  std::uint8_t* Own = Cursor.FCurrentRecordBuffer;
  std::uint8_t* Outer = Cursor.AllocateRecordBuffer();
  E->AssignCursorBuffer(Outer, false);
  EXPECT_EQ(Result(*E), "TRUE");
  Query.FailRuns = true;
  EXPECT_EQ(Result(*E).rfind("1: The run failed", 0), 0u);
  ASSERT_EQ(Query.BuffersSeen.size(), 2u);
  EXPECT_EQ(Query.BuffersSeen[0], Outer);
  EXPECT_EQ(Query.BuffersSeen[1], Outer);
  EXPECT_EQ(Cursor.FCurrentRecordBuffer, Own);
  // A failed run of an uncorrelated subquery is not taken for its result.
  auto Scalar = Parse("ID = (SELECT One)");
  EXPECT_EQ(Result(*Scalar).rfind("1: The run failed", 0), 0u);
  Query.FailRuns = false;
  EXPECT_EQ(Result(*Scalar), "TRUE");
  Cursor.FreeRecordBuffer(Outer);
}

TEST_F(ExprNodeSubquery, TheLexerIsLeftAfterTheSubqueryAndPutBackAfterEachReparse) {
  auto E = Parse("ID IN (SELECT One) AND PRICE > 2 rest");
  TToken T;
  Lexer->GetCurrentToken(T);
  EXPECT_EQ(T.Text, "rest");
  const std::int32_t At = Lexer->GetCurrentTokenNo();
  EXPECT_EQ(Result(*E), "TRUE");
  EXPECT_EQ(Lexer->GetCurrentTokenNo(), At);
  auto* In = E->Root()->Child(0)->Child(1);
  EXPECT_EQ(In->GetDataType(), aftInteger);
  EXPECT_EQ(In->GetDataSize(), 12);
  EXPECT_EQ(Lexer->GetCurrentTokenNo(), At);
}

TEST_F(ExprNodeSubquery, ARowSubqueryGivesTheValuesOfItsFirstRow) {
  Lexer = std::make_unique<TQXLLexer>("(SELECT Pair)", nullptr, false);
  Lexer->GetNextCommand();
  TQXLExpression E;
  E.ParseForRowSubqueryExpression(&Query, Lexer.get());
  E.ResetSubqueryFieldValues();
  EXPECT_EQ(Text(E.GetSubqueryFieldValue(0)), "10");
  EXPECT_EQ(Text(E.GetSubqueryFieldValue(1)), "x");
  EXPECT_EQ(E.GetSubqueryFieldValue(2), nullptr);

  Lexer = std::make_unique<TQXLLexer>("(SELECT Empty)", nullptr, false);
  Lexer->GetNextCommand();
  E.ParseForRowSubqueryExpression(&Query, Lexer.get());
  E.ResetSubqueryFieldValues();
  EXPECT_EQ(Text(E.GetSubqueryFieldValue(0)), "NULL");
  EXPECT_EQ(E.GetSubqueryFieldValue(1), nullptr);
}

TEST_F(ExprNodeSubquery, LastAutoincResolvesInTheQuerysDatabaseAlsoInASearchCondition) {
  TQXLTable T;
  T.SetInMemory(true);
  T.SetTableName("Counted");
  T.AdvFieldDefs().Add("ID", aftAutoInc, 0, false);
  T.AdvFieldDefs().Add("Name", aftString, 10, false);
  T.CreateTable();
  T.Open();
  for (const char* Name : {"a", "b", "c"}) {
    T.Append();
    T.FieldByName("Name").SetAsString(Name);
    T.Post();
  }
  EXPECT_EQ(Evaluate("LASTAUTOINC(Counted, ID) = 3"), "TRUE");
  EXPECT_EQ(Evaluate("LASTAUTOINC(Counted MEMORY, ID) = 3"), "TRUE");
  EXPECT_EQ(Evaluate("LASTAUTOINC(Counted, Nope) = 3").rfind("30337: Field 'Nope' not found", 0), 0u);

  Lexer = std::make_unique<TQXLLexer>("LASTAUTOINC(Counted, ID)", nullptr, false);
  Lexer->GetNextCommand();
  TQXLExpression Value;
  Value.ParseForValueExpression(&Query, Lexer.get());
  T.Append();
  T.FieldByName("Name").SetAsString("d");
  T.Post();
  EXPECT_EQ(Text(Value.GetValue(true)), "4");
  EXPECT_EQ(Value.GetDataType(), aftAutoInc);
}

}  // namespace
}  // namespace qxl::exprtest
