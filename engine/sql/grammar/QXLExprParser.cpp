// The parsing discipline: productions remembered per token position, the
// token cursor, errors, and the three entry productions.
#include "engine/sql/grammar/QXLExprParser.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/grammar/QXLExprParserProductions.h"

namespace qxl {

TQXLExprParser::TQXLExprParser(TQXLExpression& Expression, TQXLLexer& Lexer) : E(Expression), L(Lexer) {
  if (!L.GetCurrentToken(FToken)) FToken.Text.clear();
}

TQXLExprParser::~TQXLExprParser() = default;

TParsed TQXLExprParser::Success(std::unique_ptr<TQXLExprNode> Node, TConstKind Kind) {
  TParsed R;
  R.Ok = true;
  R.Kind = Kind;
  R.Node = std::move(Node);
  return R;
}

void TQXLExprParser::Next() {
  if (!L.GetNextToken(FToken)) FToken.Text.clear();
}

std::int32_t TQXLExprParser::Pos() const { return L.GetCurrentTokenNo(); }

void TQXLExprParser::SetPos(std::int32_t P) {
  // Past the end the lexer sets only the kind; the text must not be the last
  // token's when an error names what was found.
  if (!L.SetCurrentTokenNo(P, FToken)) FToken.Text.clear();
}

bool TQXLExprParser::IsWord(const char* Text) const {
  return FToken.TokenType == tktString && FToken.Text == Text;
}

void TQXLExprParser::Raise(std::int32_t Code, const char* Message) const {
  throw EQXLException(Code, Message, {FToken.LineNum, FToken.ColumnNum});
}

void TQXLExprParser::RaiseFound(std::int32_t Code, const char* Message) const {
  throw EQXLException(Code, Message, {FToken.Text, FToken.LineNum, FToken.ColumnNum});
}

void TQXLExprParser::RaiseExpected(std::int32_t Code, const std::string& Expected) const {
  throw EQXLException(Code, "Token '%s' expected, but '%s' found at line %d, column %d",
                      {Expected, FToken.Text, FToken.LineNum, FToken.ColumnNum});
}

void TQXLExprParser::RaiseArgument(std::int32_t Code, const std::string& Function) const {
  throw EQXLException(Code, "Argument expected for function '%s' at line %d, column %d",
                      {Function, FToken.LineNum, FToken.ColumnNum});
}

void TQXLExprParser::RaiseUnavailable(const std::string& What, const TToken& At) const {
  throw EQXLException(30512, "'%s' cannot be used in this expression at line %d, column %d",
                      {What, At.LineNum, At.ColumnNum});
}

void TQXLExprParser::Expect(bool Condition, std::int32_t Code, const std::string& Expected) {
  if (!Condition) RaiseExpected(Code, Expected);
  Next();
}

void TQXLExprParser::CheckTreeHeight(std::unique_ptr<TQXLExprNode>& Root, const TToken& Start) {
  if (!Root) return;
  std::int32_t Height = 0;
  std::vector<std::pair<TQXLExprNode*, std::int32_t>> Pending{{Root.get(), 1}};
  while (!Pending.empty()) {
    const auto [Node, Level] = Pending.back();
    Pending.pop_back();
    Height = std::max(Height, Level);
    for (std::int32_t i = 0; i < Node->ChildCount(); ++i) Pending.emplace_back(Node->Child(i), Level + 1);
  }
  if (Height <= MaxTreeHeight) return;
  std::vector<std::unique_ptr<TQXLExprNode>> Parts;
  Parts.push_back(std::move(Root));
  while (!Parts.empty()) {
    std::unique_ptr<TQXLExprNode> Node = std::move(Parts.back());
    Parts.pop_back();
    while (Node->ChildCount() > 0) Parts.push_back(Node->DetachChild(Node->ChildCount() - 1));
  }
  throw EQXLException(30510, "Expression nested too deeply at line %d, column %d", {Start.LineNum, Start.ColumnNum});
}

std::unique_ptr<TQXLExprNode> TQXLExprParser::ParseSearchCondition() {
  FMemo.clear();
  FBuilding = true;
  const TToken Start = FToken;
  TParsed R = SearchCondition();
  E.Token = FToken;
  CheckTreeHeight(R.Node, Start);
  return std::move(R.Node);
}

std::unique_ptr<TQXLExprNode> TQXLExprParser::ParseValueExpression() {
  FMemo.clear();
  FBuilding = true;
  const TToken Start = FToken;
  TParsed R = ValueExpression();
  E.Token = FToken;
  CheckTreeHeight(R.Node, Start);
  return std::move(R.Node);
}

std::unique_ptr<TQXLExprNode> TQXLExprParser::ParseRowSubquery() {
  FMemo.clear();
  FBuilding = true;
  TParsed R = SubqueryOperand(SubqueryAnyRowsAnyColumns);
  E.Token = FToken;
  return std::move(R.Node);
}

}  // namespace qxl
