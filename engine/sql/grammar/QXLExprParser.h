#pragma once
// The expression grammar: recursive descent over the lexer's tokens, building
// the node tree of a search condition or a value expression. Alternatives are
// tried in a fixed order from the same token; a production fails silently
// until it has seen the token that identifies it, and raises after that.
//
// Parsing is linear in the text: each production at each token position is
// first recognised without building nodes, and its outcome (the winning
// alternative and where it ended, or the silent failure) is remembered; the
// tree is then built along the winning alternatives only. The order of
// alternatives and the first error are those of plain backtracking. Nesting
// deeper than MaxNestingDepth productions raises a parse error instead of
// exhausting the stack.
//
// Threads: one parser per parse, on the thread that parses.
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "engine/sql/lexer/QXLLexer.h"
#include "engine/sql/nodes/QXLDataOperator.h"

namespace qxl {

class TQXLExprNode;


class TQXLExpression;

// What a parsed value is at parse time, as far as the grammar asks: numeric
// primaries refuse a constant of another type.
enum class TConstKind : std::uint8_t { NotConst, Numeric, NonNumeric };

struct TParsed {
  bool Ok = false;
  TConstKind Kind = TConstKind::NotConst;
  std::int8_t Alt = -1;
  std::unique_ptr<TQXLExprNode> Node;  // only while building
  explicit operator bool() const { return Ok; }
};

class TQXLExprParser {
public:
  // Productions nested deeper than this raise 30510.
  static constexpr std::int32_t MaxNestingDepth = 1200;
  // A tree higher than this raises 30510 too: chains that lean left (OR,
  // "*", "/") are as high as they are long, and nodes are freed and
  // evaluated recursively.
  static constexpr std::int32_t MaxTreeHeight = 4000;

  TQXLExprParser(TQXLExpression& Expression, TQXLLexer& Lexer);
  ~TQXLExprParser();

  // The three productions the expression object's entries use. Each leaves
  // the lexer on the first token after what it used; nothing parsed gives
  // nullptr and leaves the lexer where it was.
  std::unique_ptr<TQXLExprNode> ParseSearchCondition();
  std::unique_ptr<TQXLExprNode> ParseValueExpression();
  std::unique_ptr<TQXLExprNode> ParseRowSubquery();

  std::int64_t ProductionCalls() const { return FProductionCalls; }

  enum TProd : std::uint8_t {
    pSearchCondition,
    pAndTerm,
    pNotTerm,
    pTruthTest,
    pBooleanPrimary,
    pPredicate,
    pOperand,
    pSubqueryOperand,
    pValueExpression,
    pNumericArithmetic,
    pTerm,
    pSignedFactor,
    pNumericPrimary,
    pPrimary,
    pDateValue,
    pStringLevel,
    pStringOperand,
    pNumericFunction,
    pStringFunction,
    pDateArithmetic,
  };

private:
  struct TMemo {
    bool Ok = false;
    std::int8_t Alt = -1;
    TConstKind Kind = TConstKind::NotConst;
    std::int32_t End = 0;
  };
  template <typename Body>
  TParsed Production(TProd P, std::uint8_t Param, Body&& Alternatives);
  template <typename... TAlternative>
  TParsed FirstOf(std::int8_t Only, TAlternative&&... Alternatives);
  TParsed Fail() const { return TParsed(); }
  static TParsed Success(std::unique_ptr<TQXLExprNode> Node, TConstKind Kind = TConstKind::NotConst);

  // Token access.
  const TToken& Tok() const { return FToken; }
  void Next();
  std::int32_t Pos() const;
  void SetPos(std::int32_t P);
  bool IsWord(const char* Text) const;
  bool IsKeyword(TReservedWord Word) const { return IsReservedWord(FToken, Word); }
  bool IsKind(TTokenType Type) const { return FToken.TokenType == Type; }
  bool Building() const { return FBuilding; }
  [[noreturn]] void Raise(std::int32_t Code, const char* Message) const;
  [[noreturn]] void RaiseFound(std::int32_t Code, const char* Message) const;
  [[noreturn]] void RaiseExpected(std::int32_t Code, const std::string& Expected) const;
  [[noreturn]] void RaiseArgument(std::int32_t Code, const std::string& Function) const;
  [[noreturn]] void RaiseUnavailable(const std::string& What) const { RaiseUnavailable(What, FToken); }
  [[noreturn]] void RaiseUnavailable(const std::string& What, const TToken& At) const;
  void Expect(bool Condition, std::int32_t Code, const std::string& Expected);
  // Raises 30510 at Start for a tree higher than MaxTreeHeight, freeing it
  // without recursion first.
  static void CheckTreeHeight(std::unique_ptr<TQXLExprNode>& Root, const TToken& Start);

  // Search conditions.
  TParsed SearchCondition();
  TParsed AndTerm();
  TParsed NotTerm();
  TParsed TruthTest();
  TParsed BooleanPrimary();
  TParsed Predicate();
  TParsed BooleanLiteral();
  TParsed QuantifiedComparison();
  TParsed Comparison();
  TParsed LikePredicate();
  TParsed IsNullPredicate();
  TParsed BetweenPredicate();
  TParsed InPredicate();
  TParsed ExistsPredicate();
  TParsed Operand();
  TParsed SubqueryOperand(std::uint8_t Limits);
  // A subquery node at the SELECT under the cursor, the lexer left after it.
  TParsed SubqueryAt(std::uint8_t Limits);
  bool SubqueriesAvailable() const;
  TParsed NullLiteral();
  std::unique_ptr<TQXLExprNode> BuildComparison(TQXLDataOperator Op, std::unique_ptr<TQXLExprNode> Left,
                                                std::unique_ptr<TQXLExprNode> Right);

  // Values.
  TParsed ValueExpression();
  TParsed DateArithmetic();
  TParsed NumericArithmetic();
  TParsed Term();
  TParsed SignedFactor();
  TParsed NumericPrimary();
  TParsed Primary();
  TParsed Literal();
  TParsed ColumnReference();
  TParsed DateValue();
  TParsed StringLevel();
  TParsed StringOperand();
  TParsed MimeToBin();
  TParsed Cast();
  TParsed CountAll();
  TParsed Aggregate();
  TParsed CoalesceOrCase();
  TParsed Coalesce();
  TParsed Case();
  TParsed ParenthesisedValue();

  // Functions.
  TParsed NumericFunction();
  TParsed StringFunction();
  TParsed Position();
  TParsed Extract();
  TParsed Length();
  TParsed LastAutoInc();
  TParsed OneArgumentMath();
  TParsed Power();
  TParsed Round();
  TParsed CaseFunction();
  TParsed Substring();
  TParsed ToString();
  TParsed ToDate();

  TQXLExpression& E;
  TQXLLexer& L;
  TToken FToken;
  bool FBuilding = true;
  std::int32_t FDepth = 0;
  std::int64_t FProductionCalls = 0;
  std::unordered_map<std::uint64_t, TMemo> FMemo;
};

}  // namespace qxl
