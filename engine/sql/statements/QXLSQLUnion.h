#pragma once
// A whole query expression: SELECT blocks combined with UNION, EXCEPT (also
// MINUS) and INTERSECT, grouped by parentheses, with the ORDER BY of the
// whole. INTERSECT binds tighter than UNION and EXCEPT; operators of one
// level are read left to right. Every query the processor dispatches and
// every derived table is one; it plans each block into its own tree and each
// set operation into a set operator.
//
// Threads: a statement belongs to the processor that runs it and is used by
// the thread that runs the text.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/sql/statements/QXLSQLCursorCommand.h"

namespace qxl {

class TQXLSQLSelect;

enum TQXLQueryExprType : std::uint8_t { qetSelect, qetUnion, qetExcept, qetIntersect };

// One node of the expression's tree: a block, or a set operation of two nodes.
class TQXLQueryExprNode {
public:
  TQXLQueryExprNode();
  ~TQXLQueryExprNode();
  TQXLQueryExprNode(const TQXLQueryExprNode&) = delete;
  TQXLQueryExprNode& operator=(const TQXLQueryExprNode&) = delete;

  // The node's contents move into a new left operand; the node becomes the
  // set operation of that and RightNode (chains grow to the left).
  void AddNode(TQXLQueryExprType NewType, std::unique_ptr<TQXLQueryExprNode> RightNode, bool bAll,
               bool bCorresponding, std::vector<std::string> ColumnList);
  bool AllConditionsApplied() const;
  bool HasInto() const;

  TQXLQueryExprType NodeType = qetSelect;
  std::unique_ptr<TQXLQueryExprNode> Left;
  std::unique_ptr<TQXLQueryExprNode> Right;
  bool All = false;
  bool Corresponding = false;
  // The BY names; empty without BY.
  std::vector<std::string> CorrespondingFields;
  std::unique_ptr<TQXLSQLSelect> SelectCommand;
};

class TQXLSQLUnion : public TQXLSQLCursorCommand {
public:
  TQXLSQLUnion(TQXLLexer& Lexer, TQXLDataSet* Query);
  ~TQXLSQLUnion() override;

  bool AllConditionsApplied() override;
  std::unique_ptr<TQXLAO> BuildAOTree(TQXLDataSet* Query, bool RequestLive, TQXLAO* ParentQueryAO,
                                      TQXLCursor* ParentCursor, bool AllowNotAppliedConditions) override;

  const TQXLQueryExprNode* RootNode() const { return FRootNode.get(); }

protected:
  void Parse() override;

private:
  std::unique_ptr<TQXLQueryExprNode> ParseExpression();
  std::unique_ptr<TQXLQueryExprNode> ParseTerm();
  std::unique_ptr<TQXLQueryExprNode> ParsePrimary();
  // ALL and CORRESPONDING [BY (names)] after a set operator's word.
  void ParseSetOptions(bool& All, bool& Corresponding, std::vector<std::string>& Columns);
  std::unique_ptr<TQXLAO> PlanNode(TQXLQueryExprNode& Node, TQXLDataSet* Query, bool RequestLive,
                                   TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor, bool AllowNotAppliedConditions);

  std::unique_ptr<TQXLQueryExprNode> FRootNode;
};

}  // namespace qxl
