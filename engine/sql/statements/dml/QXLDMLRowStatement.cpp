#include "engine/sql/statements/dml/QXLDMLRowStatement.h"

#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/dataset/QXLDataSet.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/statements/ddl/QXLStatementTable.h"

namespace qxl {

TQXLDMLRowStatement::TQXLDMLRowStatement(TQXLLexer& Lexer, TQXLDataSet* Query) : TQXLSQLCommand(Lexer, Query) {}

TQXLDMLRowStatement::~TQXLDMLRowStatement() = default;

TQXLDMLRowStatement::TRowTables::~TRowTables() {
  // The target goes first: the rows' view holds the condition it was given.
  Target.reset();
  Rows.reset();
}

void TQXLDMLRowStatement::ParseTarget() {
  TQXLTableNameParts Parts = ParseTableName();
  DatabaseFileName = std::move(Parts.DatabaseName);
  TableName = std::move(Parts.TableName);
  if (Parts.InMemory) IntoMemory = true;
  Password = std::move(Parts.Password);
  FTablePseudonym = std::move(Parts.Alias);
}

void TQXLDMLRowStatement::ParseWhere() {
  if (CurrentToken() && TokenIsKeyword(rwWHERE)) {
    NextToken();
    SearchCondition = std::make_unique<TQXLExpression>();
    SearchCondition->FInMemory = LQuery && LQuery->InMemory();
    SearchCondition->ParseForBooleanExpression(LQuery, LLex);
  }
  if (CurrentToken())
    RaiseAtToken(20260, "End of SQL command expected, but '%s' found at line %d, column %d", Token);
}

void TQXLDMLRowStatement::OpenRowTables(TQXLDataSet* Query, TRowTables& Tables) {
  Tables.Rows = std::make_unique<TQXLStatementTable>(Query, DatabaseFileName, TableName, Password, IntoMemory);
  Tables.Target = std::make_unique<TQXLStatementTable>(Query, DatabaseFileName, TableName, Password, IntoMemory);
  TQXLTable& Rows = Tables.Rows->Table();
  Rows.Open();
  if (SearchCondition) Rows.SetSQLFilter(SearchCondition.get(), nullptr, nullptr);
  Tables.Target->Table().Open();
}

bool TQXLDMLRowStatement::InTransaction(TQXLTable& Table) {
  return Table.Database() && Table.Database()->InTransaction();
}

}  // namespace qxl
