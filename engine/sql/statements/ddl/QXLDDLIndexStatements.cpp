#include "engine/sql/statements/ddl/QXLDDLIndexStatements.h"

#include "engine/core/QXLException.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/statements/ddl/QXLStatementTable.h"

namespace qxl {

namespace {

constexpr const char* UnexpectedEnd = "Unexpected end of SQL command found at line %d, column %d";
constexpr const char* PasswordExpected =
    "Quoted password expected (for PASSWORD \"passwordData\"), but '%s' found at line %d, column %d";

// Opens the table, runs Change on it and closes it again; the components go in every case.
template <typename TChange>
void ChangeIndexes(TQXLDataSet* Query, const std::string& DatabaseFileName, const std::string& TableName,
                   const std::string& Password, bool InMemory, TChange Change) {
  TQXLStatementTable Statement(Query, DatabaseFileName, TableName, Password, InMemory);
  TQXLTable& Table = Statement.Table();
  Table.Open();
  Change(Table);
  Table.Close();
}

}  // namespace

void TQXLDDLCreateIndex::Parse() {
  if (!CurrentToken()) throw EQXLException(30266, "Blank SQL command");
  if (TokenIsKeyword(rwUNIQUE)) {
    Unique = true;
    ExpectNextToken(TokenTypeBit(tktReservedWord), 30267,
                    "'INDEX' keyword expected, but '%s' found at line %d, column %d");
  }
  if (!TokenIsKeyword(rwINDEX))
    RaiseAtToken(30268, "'INDEX' keyword expected, but '%s' found at line %d, column %d", Token);
  ExpectNextToken(NameOrKeywordKinds, 30269, "index name expected, but '%s' found at line %d, column %d");
  IndexName = Token.Text;
  ExpectNextToken(TokenTypeBit(tktReservedWord), 30270, "'ON' keyword expected, but '%s' found at line %d, column %d");
  if (!TokenIsKeyword(rwON)) RaiseAtToken(30271, "'ON' keyword expected, but '%s' found at line %d, column %d", Token);
  NextToken();
  TQXLTableNameParts Parts = ParseTableName();
  DatabaseFileName = std::move(Parts.DatabaseName);
  TableName = std::move(Parts.TableName);
  TableAlias = std::move(Parts.Alias);
  Password = std::move(Parts.Password);
  InMemory = Parts.InMemory;
  if (!CurrentToken() || Token.TokenType != tktLeftParenthesis)
    RaiseAtToken(30273, "'(' symbol expected, but '%s' found at line %d, column %d", Token);
  for (;;) {
    ExpectNextToken(NameOrKeywordKinds, 30274, "Field name expected, but '%s' found at line %d, column %d");
    if (TokenIsKeyword(rwPASSWORD)) {
      ExpectNextToken(TokenTypeBit(tktQuotedString) | TokenTypeBit(tktParameter), 30275, PasswordExpected);
      Password = Token.TokenType == tktParameter ? ParameterText(Token) : Token.Text;
      ExpectNextToken(TokenTypeBit(tktComma) | TokenTypeBit(tktRightParenthesis), 30276,
                      "')' or ',' symbol expected, but '%s' found at line %d, column %d");
    } else {
      TQXLIndexField Field;
      Field.FieldName = Token.Text;
      for (;;) {
        const TToken Last = Token;
        if (!NextToken()) RaiseAtPosition(30277, UnexpectedEnd, Last);
        if (Token.TokenType == tktComma || Token.TokenType == tktRightParenthesis) break;
        if (TokenIsKeyword(rwASC))
          Field.desc = false;
        else if (TokenIsKeyword(rwDESC))
          Field.desc = true;
        else if (TokenIsKeyword(rwNOCASE))
          Field.nocase = true;
        else if (TokenIsKeyword(rwCASE))
          Field.nocase = false;
      }
      QXLIndexFields.push_back(std::move(Field));
    }
    if (Token.TokenType == tktRightParenthesis) return;
  }
}

void TQXLDDLCreateIndex::ExecSQL(TQXLDataSet* Query, bool, bool, bool&, TQXLAO*, TQXLCursor*) {
  const std::string Fields = JoinIndexFields(QXLIndexFields, ';');
  const std::string DescFields = JoinDescFields(QXLIndexFields, ';');
  const std::string CaseInsFields = JoinCaseInsFields(QXLIndexFields, ';');
  const TIndexOptions Options = Unique ? TIndexOptions{ixUnique} : TIndexOptions{};
  ChangeIndexes(Query, DatabaseFileName, TableName, Password, InMemory, [&](TQXLTable& Table) {
    Table.AddIndex(IndexName, Fields, Options, DescFields, CaseInsFields);
  });
}

void TQXLDDLDropIndex::Parse() {
  CurrentToken();
  const TToken Index = Token;
  if (!NextToken()) RaiseAtPosition(30278, UnexpectedEnd, Index);
  const TToken NameStart = Token;
  TQXLTableNameParts Parts = ParseTableName();
  InMemory = Parts.InMemory;
  TableAlias = std::move(Parts.Alias);
  Password = std::move(Parts.Password);
  if (CurrentToken() && Token.TokenType == tktDot) {
    const TToken Dot = Token;
    if (!NextToken()) RaiseAtPosition(30281, UnexpectedEnd, Dot);
    IndexName = Token.Text;
    DatabaseFileName = std::move(Parts.DatabaseName);
    TableName = std::move(Parts.TableName);
    NextToken();
  } else {
    IndexName = std::move(Parts.TableName);
    TableName = std::move(Parts.DatabaseName);
  }
  if (TableName.empty()) {
    TToken Shown = NameStart;
    Shown.Text = IndexName;
    RaiseAtToken(30498, "Table name expected, but '%s' found at line %d, column %d", Shown);
  }
  if (CurrentToken() && TokenIsKeyword(rwPASSWORD)) {
    ExpectNextToken(TokenTypeBit(tktQuotedString) | TokenTypeBit(tktParameter), 30282, PasswordExpected);
    Password = Token.TokenType == tktParameter ? ParameterText(Token) : Token.Text;
  }
}

void TQXLDDLDropIndex::ExecSQL(TQXLDataSet* Query, bool, bool, bool&, TQXLAO*, TQXLCursor*) {
  ChangeIndexes(Query, DatabaseFileName, TableName, Password, InMemory,
                [&](TQXLTable& Table) { Table.DeleteIndex(IndexName); });
}

}  // namespace qxl
