// The ORDER BY of a query statement as it is read.
#include "engine/sql/statements/QXLSQLCursorCommand.h"

#include "engine/core/QXLException.h"

namespace qxl {

void TQXLSQLCursorCommand::ParseOrderBy() {
  if (!CurrentToken() || !TokenIsKeyword(rwORDER)) return;
  NextToken();
  if (!TokenIsKeyword(rwBY)) RaiseExpected(30188, "BY", Token);
  constexpr TTokenTypes ColumnKinds = NameOrKeywordKinds | TokenTypeBit(tktInt) | TokenTypeBit(tktParameter);
  ExpectNextToken(ColumnKinds, 30187, "Field name expected, but '%s' found at line %d, column %d");
  for (;;) {
    if (Token.TokenType == tktString && !IsNameWord(Token))
      RaiseAtToken(30187, "Field name expected, but '%s' found at line %d, column %d", Token);
    TQXLSortSpecification Spec;
    Spec.ColumnName = Token.TokenType == tktParameter ? ParameterText(Token) : Token.Text;
    if (NextToken() && Token.TokenType == tktDot) {
      Spec.TableName = Spec.ColumnName;
      ExpectNextToken(NameOrKeywordKinds | TokenTypeBit(tktParameter), 30186,
                      "Unexpected token '%s' found at line %d, column %d");
      Spec.ColumnName = Token.TokenType == tktParameter ? ParameterText(Token) : Token.Text;
      NextToken();
    }
    if (TokenIsKeyword(rwASC)) {
      NextToken();
    } else if (TokenIsKeyword(rwDESC)) {
      Spec.Descending = true;
      NextToken();
    }
    OrderBySpecs.push_back(std::move(Spec));
    if (!CurrentToken() || Token.TokenType != tktComma) return;
    ExpectNextToken(NameOrKeywordKinds | TokenTypeBit(tktInt), 30189, "Unexpected token '%s' found at line %d, column %d");
  }
}

}  // namespace qxl
