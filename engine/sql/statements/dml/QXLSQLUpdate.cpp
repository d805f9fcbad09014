#include "engine/sql/statements/dml/QXLSQLUpdate.h"

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/dataset/QXLDataSet.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/statements/ddl/QXLStatementTable.h"
#include "engine/sql/statements/dml/QXLStoreValueInField.h"
#include "engine/sql/statements/dml/QXLTableWriteLock.h"
#include "platform/CaseMap.h"
#include "platform/Clock.h"

namespace qxl {

namespace {

bool IsEquals(const TToken& Token) { return Token.TokenType == tktString && Token.Text == "="; }

}  // namespace

TQXLSQLUpdate::TQXLSQLUpdate(TQXLLexer& Lexer, TQXLDataSet* Query) : TQXLDMLRowStatement(Lexer, Query) {}

TQXLSQLUpdate::~TQXLSQLUpdate() = default;

void TQXLSQLUpdate::Parse() {
  if (!CurrentToken()) throw EQXLException(30216, "Blank SQL command");
  ExpectNextToken(TableNameKinds, 30217, "Table name expected, but '%s' found at line %d, column %d");
  ParseTarget();
  CurrentToken();
  if (!TokenIsKeyword(rwSET)) RaiseExpected(30220, "SET", Token);
  TToken Next;
  if (LLex->LookNextToken(Next) && Next.TokenType == tktLeftParenthesis)
    ParseRowForm();
  else
    ParseValueForm();
  ParseWhere();
}

void TQXLSQLUpdate::ParseRowForm() {
  IsFieldValuesSubquery = true;
  NextToken();
  NextToken();
  ParseFieldNameList(FieldNames);
  if (!CurrentToken() || Token.TokenType != tktRightParenthesis) RaiseExpected(30494, ")", Token);
  ExpectNextToken(0, 0, nullptr);
  if (!IsEquals(Token)) RaiseExpected(30495, "=", Token);
  NextToken();
  FieldValuesSubqueryExpr = std::make_unique<TQXLExpression>();
  FieldValuesSubqueryExpr->FInMemory = LQuery && LQuery->InMemory();
  FieldValuesSubqueryExpr->ParseForRowSubqueryExpression(LQuery, LLex);
}

void TQXLSQLUpdate::ParseValueForm() {
  ExpectNextToken(NameOrKeywordKinds, 2156, "Field name expected, but '%s' found at line %d, column %d");
  for (;;) {
    std::string Name = Token.Text;
    ExpectNextToken(0, 0, nullptr);
    // table.column; an alias is not taken as the prefix.
    if (Token.TokenType == tktDot && platform::UpperCaseAscii(Name) == platform::UpperCaseAscii(TableName)) {
      ExpectNextToken(NameOrKeywordKinds, 2156, "Field name expected, but '%s' found at line %d, column %d");
      Name = Token.Text;
      ExpectNextToken(0, 0, nullptr);
    }
    if (!IsEquals(Token)) RaiseExpected(30221, "=", Token);
    const TToken Equals = Token;
    if (!NextToken()) RaiseAtPosition(30161, "Unexpected end of SQL command found at line %d, column %d", Equals);
    const TToken Start = Token;
    auto Value = std::make_unique<TQXLExpression>();
    Value->FInMemory = LQuery && LQuery->InMemory();
    Value->ParseForValueExpression(LQuery, LLex);
    if (Value->IsEmpty()) RaiseAtToken(30357, "Error parsing parameter '%s' at line %d, column %d", Start);
    FieldNames.push_back(std::move(Name));
    FieldValues.push_back(std::move(Value));
    if (!CurrentToken() || TokenIsKeyword(rwWHERE)) return;
    if (Token.TokenType != tktComma) RaiseExpected(30222, ",", Token);
    const TToken Comma = Token;
    if (!NextToken()) RaiseAtPosition(30223, "Unexpected end of SQL command found at line %d, column %d", Comma);
  }
}

void TQXLSQLUpdate::ExecSQL(TQXLDataSet* Query, bool, bool, bool&, TQXLAO*, TQXLCursor*) {
  RowsAffected = 0;
  TRowTables Tables;
  OpenRowTables(Query, Tables);
  TQXLTable& Rows = Tables.Rows->Table();
  TQXLTable& Target = Tables.Target->Table();
  TQXLTableDataLock DataLock(*Rows.Handle());
  // An unknown column is refused before any run.
  for (const std::string& Name : FieldNames) Target.FieldByName(Name);
  for (auto& Value : FieldValues) Value->AssignCursor(Target.Handle(), nullptr, nullptr);

  if (InTransaction(Rows)) {
    ChangeRows(Rows, Target);
    return;
  }
  for (std::int32_t Run = 1;; ++Run) {
    {
      TQXLTableWriteLock WriteLock(*Rows.Handle(), 20223);
      TQXLCursor& Batch = *Target.Handle();
      Batch.BeginBatchUpdate();
      try {
        ChangeRows(Rows, Target);
        Batch.EndBatchUpdate();
        return;
      } catch (...) {
        try {
          Batch.CancelBatchUpdate();
        } catch (...) {
          // The change's own failure is the one reported.
        }
        if (Run == BatchRuns) throw;
      }
    }
    // A run that failed leaves nothing; the next one starts after a pause.
    platform::Sleep(RunPauseMS);
  }
}

void TQXLSQLUpdate::ChangeRows(TQXLTable& Rows, TQXLTable& Target) {
  RowsAffected = 0;
  Rows.First();
  while (!Rows.Eof()) {
    const TBookmark Bookmark = Rows.GetBookmark();
    Target.GotoBookmark(Bookmark);
    Rows.Next();
    Target.Edit();
    try {
      SetRowValues(Target);
      Target.Post();
    } catch (...) {
      // The row's edit ends before the failure passes on.
      Target.Cancel();
      throw;
    }
    ++RowsAffected;
  }
}

void TQXLSQLUpdate::SetRowValues(TQXLTable& Target) {
  if (IsFieldValuesSubquery) {
    FieldValuesSubqueryExpr->AssignCursor(Target.Handle(), nullptr, nullptr);
    FieldValuesSubqueryExpr->AssignCursorBuffer(Target.ActiveBuffer(), false);
    FieldValuesSubqueryExpr->ResetSubqueryFieldValues();
    for (std::size_t I = 0; I < FieldNames.size(); ++I)
      StoreValueInField(FieldValuesSubqueryExpr->GetSubqueryFieldValue(static_cast<std::int32_t>(I)),
                        Target.FieldByName(FieldNames[I]));
    return;
  }
  // Every value reads the row as it was before this statement changed it:
  // the edited record, read again from the table when the edit began.
  std::uint8_t* Record = Target.ActiveBuffer();
  for (auto& Value : FieldValues) Value->AssignCursorBuffer(Record, false);
  std::vector<TQXLVariant> Values(FieldNames.size());
  std::vector<bool> Given(FieldNames.size());
  for (std::size_t I = 0; I < FieldNames.size(); ++I) {
    const TQXLVariant* Value = FieldValues[I]->GetValue(true);
    Given[I] = Value != nullptr;
    if (Value) Values[I].Assign(*Value, true);
  }
  for (std::size_t I = 0; I < FieldNames.size(); ++I)
    StoreValueInField(Given[I] ? &Values[I] : nullptr, Target.FieldByName(FieldNames[I]));
}

}  // namespace qxl
