// The SELECT block's clauses, in the order they stand: DISTINCT, TOP, the
// select list, INTO, FROM with its table references and joins, WHERE,
// GROUP BY, HAVING and ORDER BY.
#include <charconv>

#include "engine/core/QXLException.h"
#include "engine/datasets/dataset/QXLDataSet.h"
#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/statements/QXLSQLSelect.h"
#include "engine/sql/statements/QXLSQLUnion.h"

namespace qxl {

namespace {

constexpr const char* TableNameExpected = "Table name expected, but '%s' found at line %d, column %d";
constexpr const char* UnexpectedToken = "Unexpected token '%s' found at line %d, column %d";
constexpr const char* IntegerExpected = "Integer expected, but '%s' found at line %d, column %d";

std::string UpperAscii(std::string Text) {
  for (char& C : Text)
    if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 'a' + 'A');
  return Text;
}

bool SameAscii(const std::string& A, const std::string& B) { return UpperAscii(A) == UpperAscii(B); }

}  // namespace

TQXLSQLSelect::TQXLSQLSelect(TQXLLexer& Lexer, TQXLDataSet* Query) : TQXLSQLCursorCommand(Lexer, Query) {}

TQXLSQLSelect::~TQXLSQLSelect() {
  // Conditions may refer to the derived tables' queries: they go first.
  HavingCondition.reset();
  SearchCondition.reset();
  SelectList.clear();
  GroupByFields.clear();
  FromTables.clear();
}

void TQXLSQLSelect::Parse() {
  if (!CurrentToken()) throw EQXLException(30155, "Blank SQL command");
  if (!TokenIsKeyword(rwSELECT)) RaiseAtToken(30156, "SQL token expected, but '%s' found at line %d, column %d", Token);
  ExpectNextToken(0, 0, nullptr);
  if (TokenIsKeyword(rwALL)) {
    Distinct = false;
    ExpectNextToken(0, 0, nullptr);
  } else if (TokenIsKeyword(rwDISTINCT)) {
    Distinct = true;
    ExpectNextToken(0, 0, nullptr);
  }
  if (TokenIsKeyword(rwTOP)) ParseTop();
  ParseSelectList();
  if (TokenIsKeyword(rwINTO)) ParseInto();
  ParseFrom();
  if (TokenIsKeyword(rwWHERE)) {
    ExpectNextToken(0, 0, nullptr);
    SearchCondition = ParseCondition();
  }
  if (TokenIsKeyword(rwGROUP)) {
    NextToken();
    if (!TokenIsKeyword(rwBY)) RaiseExpected(30185, "BY", Token);
    ExpectNextToken(0, 0, nullptr);
    ParseFieldList(GroupByFields);
    CurrentToken();
  }
  if (TokenIsKeyword(rwHAVING)) {
    ExpectNextToken(0, 0, nullptr);
    HavingCondition = ParseCondition();
  }
  ParseOrderBy();
}

std::int32_t TQXLSQLSelect::ParseInteger(std::int32_t Code) {
  std::int32_t Value = 0;
  if (Token.TokenType == tktInt) {
    const char* End = Token.Text.data() + Token.Text.size();
    const auto [Ptr, Error] = std::from_chars(Token.Text.data(), End, Value);
    if (Error != std::errc() || Ptr != End) RaiseAtToken(Code, IntegerExpected, Token);
    return Value;
  }
  // A parameter: its value must be a whole number.
  TToken Shown = Token;
  Shown.Text = ParameterText(Token);
  if (!Token.ParamValue || Token.ParamValue->IsNull()) RaiseAtToken(Code, IntegerExpected, Shown);
  try {
    const double Number = Token.ParamValue->GetAsDouble();
    Value = Token.ParamValue->GetAsInteger();
    if (static_cast<double>(Value) != Number) RaiseAtToken(Code, IntegerExpected, Shown);
  } catch (const EQXLException& Error) {
    if (Error.NativeError == Code) throw;
    RaiseAtToken(Code, IntegerExpected, Shown);
  }
  return Value;
}

void TQXLSQLSelect::ParseTop() {
  constexpr TTokenTypes IntegerKinds = TokenTypeBit(tktInt) | TokenTypeBit(tktParameter);
  ExpectNextToken(IntegerKinds, 30158, IntegerExpected);
  TopRowCount = ParseInteger(30158);
  ExpectNextToken(0, 0, nullptr);
  if (Token.TokenType == tktComma) {
    ExpectNextToken(IntegerKinds, 30159, IntegerExpected);
    FirstRowNo = ParseInteger(30159);
    ExpectNextToken(0, 0, nullptr);
  }
}

void TQXLSQLSelect::ParseSelectList() {
  if (Token.TokenType == tktString && Token.Text == "*") {
    AllFields = true;
    NextToken();
    return;
  }
  const bool InMemory = LQuery && LQuery->InMemory();
  for (;;) {
    const TToken Start = Token;
    auto Expr = std::make_unique<TQXLExpression>();
    Expr->FInMemory = InMemory;
    Expr->ParseForValueExpression(LQuery, LLex);
    if (Expr->IsEmpty()) RaiseAtToken(30160, "Expression expected, but '%s' found at line %d, column %d", Start);
    TQXLSelectListItem Item;
    CurrentToken();
    if (TokenIsKeyword(rwAS)) {
      ExpectNextToken(NameKinds, 30162, "Field pseudonym expected, but '%s' found at line %d, column %d");
      if (Token.TokenType == tktString && !IsNameWord(Token))
        RaiseAtToken(30162, "Field pseudonym expected, but '%s' found at line %d, column %d", Token);
      Item.Pseudonym = Token.Text;
      NextToken();
    } else if (IsNameWord(Token) || Token.TokenType == tktQuotedString || Token.TokenType == tktBracketedString) {
      Item.Pseudonym = Token.Text;
      NextToken();
    }
    if (Expr->IsField()) {
      Expr->GetFieldInfo(Item.TableName, Item.FieldName);
      if (Item.FieldName == "*") Item.AllFields = true;
      bool Duplicate = false;
      if (!Item.AllFields)
        for (const TQXLSelectListItem& Earlier : SelectList)
          if (!Earlier.IsExpression && !Earlier.AllFields && SameAscii(Earlier.TableName, Item.TableName) &&
              SameAscii(Earlier.FieldName, Item.FieldName)) {
            Duplicate = true;
            break;
          }
      if (Duplicate) {
        Item.IsExpression = true;
        Item.IsDuplicatedField = true;
        Item.ValueExpr = std::move(Expr);
      }
    } else {
      Item.IsExpression = true;
      Item.ValueExpr = std::move(Expr);
    }
    SelectList.push_back(std::move(Item));
    if (!CurrentToken() || Token.TokenType != tktComma) break;
    ExpectNextToken(0, 0, nullptr);
  }
  NameDuplicatedColumns();
}

void TQXLSQLSelect::NameDuplicatedColumns() {
  for (TQXLSelectListItem& Item : SelectList) {
    if (!Item.IsDuplicatedField || !Item.Pseudonym.empty()) continue;
    for (std::int32_t N = 1;; ++N) {
      const std::string Candidate = Item.FieldName + "_" + std::to_string(N);
      bool Taken = false;
      for (const TQXLSelectListItem& Other : SelectList)
        if (SameAscii(Other.TableName, Item.TableName) &&
            (SameAscii(Other.FieldName, Candidate) || SameAscii(Other.Pseudonym, Candidate))) {
          Taken = true;
          break;
        }
      if (!Taken) {
        Item.Pseudonym = Candidate;
        break;
      }
    }
  }
}

void TQXLSQLSelect::ParseInto() {
  ExpectNextToken(TableNameKinds, 30165, TableNameExpected);
  if (TokenIsKeyword(rwMEMORY)) {
    IntoMemory = true;
    ExpectNextToken(TableNameKinds, 30165, TableNameExpected);
    if (TokenIsKeyword(rwIMMEDIATE)) {
      IntoImmediate = true;
      ExpectNextToken(TableNameKinds, 30165, TableNameExpected);
    }
  }
  if (Token.TokenType == tktString && !IsNameWord(Token)) RaiseAtToken(30165, TableNameExpected, Token);
  IntoTable = NameOf(Token, 30165, TableNameExpected);
  if (NextToken() && Token.TokenType == tktDot) {
    IntoDatabase = IntoTable;
    ExpectNextToken(NameKinds | TokenTypeBit(tktParameter), 30166, TableNameExpected);
    IntoTable = NameOf(Token, 30166, TableNameExpected);
    NextToken();
  }
}

void TQXLSQLSelect::ParseFrom() {
  if (!CurrentToken()) {
    // The end of the text: nothing was found, at the place after the last token.
    Token.Text.clear();
    RaiseExpected(30184, "FROM", Token);
  }
  if (!TokenIsKeyword(rwFROM)) RaiseExpected(30184, "FROM", Token);
  constexpr TTokenTypes ReferenceKinds = TableNameKinds | TokenTypeBit(tktLeftParenthesis);
  ExpectNextToken(ReferenceKinds, 30180, TableNameExpected);
  for (;;) {
    FromTables.push_back(ParseTableReference());
    if (!CurrentToken() || Token.TokenType != tktComma) break;
    ExpectNextToken(ReferenceKinds, 30181, TableNameExpected);
  }
}

std::unique_ptr<TQXLTableReference> TQXLSQLSelect::ParseTableReference() {
  std::unique_ptr<TQXLTableReference> Reference = ParsePrimaryTableReference();
  while (CurrentToken() && Token.TokenType == tktReservedWord) {
    switch (Token.ReservedWord) {
      case rwCROSS:
      case rwNATURAL:
      case rwINNER:
      case rwLEFT:
      case rwRIGHT:
      case rwFULL:
      case rwJOIN:
        ParseJoin(*Reference);
        continue;
      default:
        break;
    }
    break;
  }
  return Reference;
}

std::unique_ptr<TQXLTableReference> TQXLSQLSelect::ParsePrimaryTableReference() {
  auto Reference = std::make_unique<TQXLTableReference>();
  if (TokenIsKeyword(rwSELECT)) {
    Reference->MakeSubQuery(*LLex, LQuery);
    CurrentToken();
    return Reference;
  }
  if (Token.TokenType == tktLeftParenthesis) {
    if (!NextToken() ||
        !(TokenIs(TableNameKinds | TokenTypeBit(tktLeftParenthesis)) && (Token.TokenType != tktString || IsNameWord(Token))))
      RaiseAtToken(30179, "Field name expected, but '%s' found at line %d, column %d", Token);
    Reference = ParseTableReference();
    if (CurrentToken() && Token.TokenType == tktRightParenthesis) NextToken();
    std::string Alias;
    if (CheckPseudonym(Alias)) Reference->Pseudonym = Alias;
    return Reference;
  }
  if (Token.TokenType == tktString && !IsNameWord(Token)) RaiseAtToken(30180, TableNameExpected, Token);
  Reference->InMemory = LQuery && LQuery->InMemory();
  if (TokenIsKeyword(rwMEMORY)) {
    Reference->InMemory = true;
    ExpectNextToken(TableNameKinds, 30180, TableNameExpected);
  }
  Reference->TableName = NameOf(Token, 30180, TableNameExpected);
  if (NextToken() && Token.TokenType == tktDot) {
    Reference->DatabaseName = Reference->TableName;
    ExpectNextToken(TableNameKinds, 30180, TableNameExpected);
    Reference->TableName = NameOf(Token, 30180, TableNameExpected);
    NextToken();
  }
  CheckPseudonym(Reference->Pseudonym);
  if (TokenIsKeyword(rwPASSWORD)) {
    ExpectNextToken(TokenTypeBit(tktQuotedString) | TokenTypeBit(tktParameter), 30178,
                    "Quoted password expected (for PASSWORD \"passwordData\"), but '%s' found at line %d, column %d");
    Reference->Password = Token.TokenType == tktParameter ? ParameterText(Token) : Token.Text;
    NextToken();
  }
  return Reference;
}

void TQXLSQLSelect::ParseJoin(TQXLTableReference& Reference) {
  constexpr TTokenTypes Keyword = TokenTypeBit(tktReservedWord);
  TQXLJoinType JoinType = ajtInner;
  bool Natural = false;
  if (TokenIsKeyword(rwCROSS)) {
    JoinType = ajtCross;
    ExpectNextToken(Keyword, 30168, UnexpectedToken);
  } else {
    if (TokenIsKeyword(rwNATURAL)) {
      Natural = true;
      ExpectNextToken(Keyword, 30169, UnexpectedToken);
    }
    if (TokenIsKeyword(rwINNER)) {
      ExpectNextToken(Keyword, 30170, UnexpectedToken);
    } else if (TokenIsKeyword(rwLEFT) || TokenIsKeyword(rwRIGHT) || TokenIsKeyword(rwFULL)) {
      const TReservedWord Side = Token.ReservedWord;
      JoinType = Side == rwLEFT ? ajtLeftOuter : Side == rwRIGHT ? ajtRightOuter : ajtFullOuter;
      ExpectNextToken(Keyword, Side == rwLEFT ? 30171 : Side == rwRIGHT ? 30172 : 30173, UnexpectedToken);
      if (TokenIsKeyword(rwOUTER)) ExpectNextToken(Keyword, 30174, UnexpectedToken);
    }
  }
  if (!TokenIsKeyword(rwJOIN)) RaiseExpected(30175, "JOIN", Token);
  ExpectNextToken(TableNameKinds | TokenTypeBit(tktLeftParenthesis), 30176, TableNameExpected);
  if (Token.TokenType == tktString && !IsNameWord(Token)) RaiseAtToken(30176, TableNameExpected, Token);
  std::unique_ptr<TQXLTableReference> Right = ParseTableReference();
  std::vector<std::string> Using;
  std::unique_ptr<TQXLExpression> On;
  if (CurrentToken() && TokenIsKeyword(rwON)) {
    ExpectNextToken(0, 0, nullptr);
    On = ParseCondition();
  } else if (TokenIsKeyword(rwUSING)) {
    NextToken();
    if (Token.TokenType != tktLeftParenthesis) RaiseExpected(30167, "(", Token);
    ExpectNextToken(0, 0, nullptr);
    ParseFieldNameList(Using);
    if (CurrentToken() && Token.TokenType == tktRightParenthesis) NextToken();
  }
  Reference.MakeJoin(std::move(Right), JoinType, Natural, std::move(Using), std::move(On));
}

std::unique_ptr<TQXLExpression> TQXLSQLSelect::ParseCondition() {
  auto Condition = std::make_unique<TQXLExpression>();
  Condition->FInMemory = LQuery && LQuery->InMemory();
  Condition->ParseForBooleanExpression(LQuery, LLex);
  if (!AllFields) Condition->ReplacePseudonyms(SelectList);
  CurrentToken();
  return Condition;
}

}  // namespace qxl
