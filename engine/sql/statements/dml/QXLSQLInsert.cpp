#include "engine/sql/statements/dml/QXLSQLInsert.h"

#include "engine/core/QXLException.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/dataset/QXLDataSet.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/statements/ddl/QXLStatementTable.h"
#include "engine/sql/statements/dml/QXLStoreValueInField.h"

namespace qxl {

namespace {

constexpr const char* UnexpectedEnd = "Unexpected end of SQL command found at line %d, column %d";
constexpr const char* TableNameExpected = "Table name expected, but '%s' found at line %d, column %d";
constexpr const char* SymbolExpected = "')' or ',' symbol expected, but '%s' found at line %d, column %d";
constexpr const char* CountsDiffer =
    "Number of field names does not equal the number of field values: %d <> %d. Found at line %d, column %d";

[[noreturn]] void RaiseCountsDiffer(std::size_t Names, std::size_t Values, const TToken& At) {
  throw EQXLException(20259, CountsDiffer,
                      {static_cast<std::int32_t>(Names), static_cast<std::int32_t>(Values), At.LineNum, At.ColumnNum});
}

}  // namespace

TQXLSQLInsert::TQXLSQLInsert(TQXLLexer& Lexer, TQXLDataSet* Query) : TQXLSQLCommand(Lexer, Query) {}

TQXLSQLInsert::~TQXLSQLInsert() = default;

void TQXLSQLInsert::Parse() {
  if (!CurrentToken()) throw EQXLException(30204, "Blank SQL command");
  const TToken Insert = Token;
  if (!NextToken()) RaiseAtPosition(30205, UnexpectedEnd, Insert);
  if (!TokenIsKeyword(rwINTO)) RaiseExpected(30206, "INTO", Token);
  ParseTarget();
  if (Token.TokenType == tktLeftParenthesis) {
    TToken Next;
    if (LLex->LookNextToken(Next) && IsReservedWord(Next, rwSELECT))
      RaiseAtToken(30153, "SQL statement '%s' is not supported at line %d, column %d", Next);
    ParseColumnNames();
  }
  if (TokenIsKeyword(rwVALUES)) {
    ParseValues();
    return;
  }
  if (TokenIsKeyword(rwSELECT))
    RaiseAtToken(30153, "SQL statement '%s' is not supported at line %d, column %d", Token);
  RaiseAtPosition(30213, UnexpectedEnd, Token);
}

void TQXLSQLInsert::ParseTarget() {
  ExpectNextToken(TableNameKinds, 30207, TableNameExpected);
  std::int32_t NameCode = 30207;
  if (TokenIsKeyword(rwMEMORY)) {
    IntoMemory = true;
    NameCode = 30208;
    ExpectNextToken(TableNameKinds, 30208, TableNameExpected);
  }
  TableName = NameOf(Token, NameCode, TableNameExpected);
  TToken Last = Token;
  if (!NextToken()) RaiseAtPosition(30209, UnexpectedEnd, Last);
  if (Token.TokenType == tktDot) {
    DatabaseFileName = TableName;
    ExpectNextToken(NameKinds | TokenTypeBit(tktParameter), 30493, TableNameExpected);
    TableName = NameOf(Token, 30493, TableNameExpected);
    Last = Token;
    if (!NextToken()) RaiseAtPosition(30209, UnexpectedEnd, Last);
  }
  if (TokenIsKeyword(rwPASSWORD)) {
    ExpectNextToken(TokenTypeBit(tktQuotedString) | TokenTypeBit(tktParameter), 30210,
                    "Quoted password expected (for PASSWORD \"passwordData\"), but '%s' found at line %d, column %d");
    Password = Token.TokenType == tktParameter ? ParameterText(Token) : Token.Text;
    Last = Token;
    if (!NextToken()) RaiseAtPosition(30211, UnexpectedEnd, Last);
  }
}

void TQXLSQLInsert::ParseColumnNames() {
  for (;;) {
    ExpectNextToken(NameOrKeywordKinds, 2156, "Field name expected, but '%s' found at line %d, column %d");
    FieldNames.push_back(Token.Text);
    ExpectNextToken(TokenTypeBit(tktComma) | TokenTypeBit(tktRightParenthesis), 30212, SymbolExpected);
    if (Token.TokenType == tktRightParenthesis) break;
  }
  const TToken Close = Token;
  if (!NextToken()) RaiseAtPosition(30213, UnexpectedEnd, Close);
}

void TQXLSQLInsert::ParseValues() {
  ExpectNextToken(TokenTypeBit(tktLeftParenthesis), 30214, "'(' symbol expected, but '%s' found at line %d, column %d");
  for (;;) {
    const TToken Open = Token;
    std::vector<std::unique_ptr<TQXLExpression>> Row;
    for (;;) {
      const TToken Before = Token;
      if (!NextToken()) RaiseAtPosition(30203, UnexpectedEnd, Before);
      const TToken Start = Token;
      auto Value = std::make_unique<TQXLExpression>();
      Value->FInMemory = LQuery && LQuery->InMemory();
      Value->ParseForValueExpression(LQuery, LLex);
      if (Value->IsEmpty()) RaiseAtToken(30357, "Error parsing parameter '%s' at line %d, column %d", Start);
      Row.push_back(std::move(Value));
      if (!CurrentToken()) RaiseAtPosition(30203, UnexpectedEnd, Start);
      if (Token.TokenType == tktRightParenthesis) break;
      if (Token.TokenType != tktComma) RaiseAtToken(30212, SymbolExpected, Token);
    }
    // Every row must fit the column list: a row of another length would be
    // stored by position into the wrong columns.
    if (!FieldNames.empty() && FieldNames.size() != Row.size()) RaiseCountsDiffer(FieldNames.size(), Row.size(), Open);
    FieldValues.push_back(std::move(Row));
    FRowStarts.push_back(Open);
    if (!NextToken()) return;
    if (Token.TokenType != tktComma)
      RaiseAtToken(20260, "End of SQL command expected, but '%s' found at line %d, column %d", Token);
    ExpectNextToken(TokenTypeBit(tktLeftParenthesis), 30214,
                    "'(' symbol expected, but '%s' found at line %d, column %d");
  }
}

void TQXLSQLInsert::ExecSQL(TQXLDataSet* Query, bool, bool, bool&, TQXLAO*, TQXLCursor*) {
  RowsAffected = 0;
  TQXLStatementTable Statement(Query, DatabaseFileName, TableName, Password, IntoMemory);
  Statement->Open();
  InsertValues(Statement.Table());
}

void TQXLSQLInsert::InsertValues(TQXLTable& Table) {
  for (std::size_t R = 0; R < FieldValues.size(); ++R) {
    const auto& Row = FieldValues[R];
    // Without a column list a row may not have more values than the table has columns.
    if (FieldNames.empty() && Row.size() > static_cast<std::size_t>(Table.FieldCount()))
      RaiseCountsDiffer(static_cast<std::size_t>(Table.FieldCount()), Row.size(), FRowStarts[R]);
    Table.Insert();
    try {
      for (std::size_t I = 0; I < Row.size(); ++I) {
        const bool ByName = Row.size() == FieldNames.size() && !FieldNames[I].empty();
        TField& Field = ByName ? Table.FieldByName(FieldNames[I]) : Table.Fields(static_cast<std::int32_t>(I));
        const TQXLVariant* Value = Row[I]->GetValue(true);
        if (!Value) {
          const TQXLAdvFieldDef* Def = Table.AdvFieldDefs().Find(Field.FieldName);
          throw EQXLException(30356, "Parameter Value undefined (FieldName='%s', Type='%s')",
                              {ByName ? FieldNames[I] : Field.FieldName,
                               Def ? AdvancedFieldTypeName(Def->DataType) : std::string()});
        }
        StoreValueInField(Value, Field);
      }
      Table.Post();
    } catch (...) {
      Table.Cancel();
      throw;
    }
    ++RowsAffected;
  }
}

}  // namespace qxl
