#include "engine/sql/statements/QXLSQLCommand.h"

#include "engine/core/QXLException.h"
#include "engine/core/schema/QXLUniqueName.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/dataset/QXLDataSet.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/expr/QXLExpressions.h"

namespace qxl {

TQXLSQLCommand::TQXLSQLCommand(TQXLLexer& Lexer, TQXLDataSet* Query) : LLex(&Lexer), LQuery(Query) {}

TQXLSQLCommand::~TQXLSQLCommand() = default;

bool TQXLSQLCommand::CurrentToken() { return LLex->GetCurrentToken(Token); }

bool TQXLSQLCommand::NextToken() {
  LLex->SetCurrentTokenNo(LLex->GetCurrentTokenNo() + 1);
  return CurrentToken();
}

bool TQXLSQLCommand::ExpectNextToken(TTokenTypes TokenTypes, std::int32_t ErrorCode, const char* ErrorMessage) {
  const TToken Last = Token;
  if (!NextToken()) {
    if (ErrorCode == -1) return false;
    RaiseAtPosition(30161, "Unexpected end of SQL command found at line %d, column %d", Last);
  }
  if (TokenTypes != 0 && ErrorCode != -1 && !TokenIs(TokenTypes)) RaiseAtToken(ErrorCode, ErrorMessage, Token);
  return true;
}

bool TQXLSQLCommand::IsNameWord(const TToken& Token) {
  if (Token.TokenType != tktString || Token.Text.empty()) return false;
  switch (Token.Text[0]) {
    case '-':
    case '+':
    case '*':
    case '/':
    case '=':
    case '|':
    case '<':
    case '>':
      return false;
    default:
      return true;
  }
}

void TQXLSQLCommand::RaiseAtToken(std::int32_t Code, const char* Message, const TToken& At) {
  throw EQXLException(Code, Message, {At.Text, At.LineNum, At.ColumnNum});
}

void TQXLSQLCommand::RaiseAtPosition(std::int32_t Code, const char* Message, const TToken& At) {
  throw EQXLException(Code, Message, {At.LineNum, At.ColumnNum});
}

void TQXLSQLCommand::RaiseExpected(std::int32_t Code, const std::string& Expected, const TToken& At) {
  throw EQXLException(Code, "Token '%s' expected, but '%s' found at line %d, column %d",
                      {Expected, At.Text, At.LineNum, At.ColumnNum});
}

std::string TQXLSQLCommand::ParameterText(const TToken& Token) {
  if (!Token.ParamValue || Token.ParamValue->IsNull()) return std::string();
  return Token.ParamValue->GetAsAnsiString();
}

namespace {

// The inside of a name wholly enclosed in Open ... Close (a doubled Close
// standing for one), or false when Text is not exactly one such name.
bool UnwrapDelimited(const std::string& Text, char Open, char Close, std::string& Name) {
  if (Text.size() < 2 || Text.front() != Open || Text.back() != Close) return false;
  Name.clear();
  for (std::size_t I = 1; I + 1 < Text.size(); ++I) {
    if (Text[I] == Close) {
      if (I + 2 < Text.size() && Text[I + 1] == Close) {
        Name += Close;
        ++I;
        continue;
      }
      return false;
    }
    Name += Text[I];
  }
  return true;
}

}  // namespace

std::string TQXLSQLCommand::NameOf(const TToken& Token, std::int32_t Code, const char* Message) {
  if (Token.TokenType != tktParameter) return Token.Text;
  const std::string Value = ParameterText(Token);
  std::string Name;
  if (UnwrapDelimited(Value, '"', '"', Name) || UnwrapDelimited(Value, '[', ']', Name)) {
    if (!Name.empty()) return Name;
  } else if (!Value.empty() && Value.find('"') == std::string::npos) {
    return Value;
  }
  // A value that is not one name would otherwise lose part of itself.
  TToken Shown = Token;
  Shown.Text = Value;
  RaiseAtToken(Code, Message, Shown);
}

bool TQXLSQLCommand::CheckPseudonym(std::string& Pseudonym) {
  if (TokenIsKeyword(rwAS)) {
    ExpectNextToken(NameKinds | TokenTypeBit(tktParameter), 30177,
                    "Field pseudonym expected, but '%s' found at line %d, column %d");
    if (Token.TokenType == tktString && !IsNameWord(Token))
      RaiseAtToken(30177, "Field pseudonym expected, but '%s' found at line %d, column %d", Token);
    Pseudonym = Token.TokenType == tktParameter ? ParameterText(Token) : Token.Text;
    NextToken();
    return true;
  }
  if (IsNameWord(Token) || Token.TokenType == tktBracketedString || Token.TokenType == tktParameter) {
    Pseudonym = Token.TokenType == tktParameter ? ParameterText(Token) : Token.Text;
    NextToken();
    return true;
  }
  return false;
}

void TQXLSQLCommand::ParseFieldNameList(std::vector<std::string>& List) {
  CurrentToken();
  if (!(IsNameWord(Token) || Token.TokenType == tktQuotedString || Token.TokenType == tktBracketedString))
    RaiseAtToken(10408, "Field name expected, but expression '%s...' found at line %d, column %d", Token);
  for (;;) {
    List.push_back(Token.Text);
    if (!NextToken() || Token.TokenType != tktComma) return;
    NextToken();
    if (!(IsNameWord(Token) || Token.TokenType == tktQuotedString || Token.TokenType == tktBracketedString))
      RaiseAtToken(10406, "Unexpected token '%s' found at line %d, column %d", Token);
  }
}

void TQXLSQLCommand::ParseFieldList(std::vector<TQXLSelectListItem>& Fields) {
  CurrentToken();
  for (;;) {
    const TToken Start = Token;
    TQXLExpression Expr;
    Expr.FInMemory = LQuery && LQuery->InMemory();
    Expr.ParseForValueExpression(LQuery, LLex);
    if (Expr.IsEmpty() || !Expr.IsField())
      RaiseAtToken(10409, "Field name expected, but expression '%s...' found at line %d, column %d", Start);
    TQXLSelectListItem Item;
    Expr.GetFieldInfo(Item.TableName, Item.FieldName);
    Fields.push_back(std::move(Item));
    if (!CurrentToken() || Token.TokenType != tktComma) return;
    NextToken();
    if (!(TokenIs(NameOrKeywordKinds)))
      RaiseAtToken(10410, "Unexpected token '%s' found at line %d, column %d", Token);
  }
}

TQXLTableNameParts TQXLSQLCommand::ParseTableName() {
  static constexpr const char* TableNameExpected = "Table name expected, but '%s' found at line %d, column %d";
  TQXLTableNameParts Parts;
  CurrentToken();
  if (!TokenIs(TableNameKinds) || (Token.TokenType == tktString && !IsNameWord(Token)))
    RaiseAtToken(30230, TableNameExpected, Token);
  std::int32_t NameCode = 30230;
  if (TokenIsKeyword(rwMEMORY)) {
    Parts.InMemory = true;
    NameCode = 30231;
    ExpectNextToken(TableNameKinds, 30231, TableNameExpected);
  }
  Parts.TableName = NameOf(Token, NameCode, TableNameExpected);
  if (NextToken() && Token.TokenType == tktDot) {
    Parts.DatabaseName = Parts.TableName;
    ExpectNextToken(TableNameKinds, NameCode, TableNameExpected);
    Parts.TableName = NameOf(Token, NameCode, TableNameExpected);
    NextToken();
  }
  CheckPseudonym(Parts.Alias);
  if (TokenIsKeyword(rwPASSWORD)) {
    ExpectNextToken(TokenTypeBit(tktQuotedString) | TokenTypeBit(tktParameter), 30238,
                    "Quoted password expected (for PASSWORD \"passwordData\"), but '%s' found at line %d, column %d");
    Parts.Password = Token.TokenType == tktParameter ? ParameterText(Token) : Token.Text;
    NextToken();
  }
  return Parts;
}

namespace {
constexpr std::int32_t MaxNameTries = 100;
}  // namespace

void TQXLSQLCommand::OpenExternalTable(TQXLDataSet* Query, const std::string& DatabaseFileName,
                                       const std::string& TableName, const std::string& Password, bool InMemory,
                                       std::unique_ptr<TQXLTable>& Table, std::unique_ptr<TQXLDatabase>& Database) {
  auto Db = std::make_unique<TQXLDatabase>();
  if (TQXLDatabase* Own = Query->Database()) {
    Db->MultiUser = Own->MultiUser;
    Db->DisableTempFiles = Own->DisableTempFiles;
    // The query's database may stand on a test's file system; the other files are found there too.
    Db->SetFileSystem(Own->FileSystem());
  }
  Db->SetDatabaseFileName(DatabaseFileName);
  Db->SetSessionName(Query->SessionName());
  for (std::int32_t Try = 1;; ++Try) {
    try {
      Db->SetDatabaseName(UniqueNameWithGuid("TEMP_DB"));
      break;
    } catch (const std::exception&) {
      // A name already in use: another GUID; a refusal that is not about the name repeats.
      if (Try == MaxNameTries) throw;
    }
  }
  Db->Password = Password;
  Db->SilentMode = true;

  auto T = std::make_unique<TQXLTable>();
  T->SetSessionName(Query->SessionName());
  T->SetDatabaseName(DatabaseFileName.empty() ? Query->DatabaseName() : Db->DatabaseName());
  T->SetTableName(TableName);
  if (InMemory || Query->InMemory()) T->SetInMemory(true);
  Database = std::move(Db);
  Table = std::move(T);
}

void TQXLSQLCommand::FreeExternalTable(std::unique_ptr<TQXLTable>& Table, std::unique_ptr<TQXLDatabase>& Database) {
  Table.reset();
  Database.reset();
}

}  // namespace qxl
