#pragma once
// CASE in its two forms (a value tested against WHEN values, or WHEN
// conditions tested in turn) and COALESCE (the first argument that is not
// NULL). The node's lists name nodes that are its children. Asking for the
// size rewrites the tree once: every result whose type differs from the
// common type is wrapped in a CAST to it.
// Thread rule: as every node (one thread per tree).
#include <vector>

#include "engine/sql/nodes/QXLExprNode.h"

namespace qxl {

class TQXLExprNodeCase : public TQXLExprNode {
public:
  // CASE Input WHEN ...: the input becomes child 0.
  static std::unique_ptr<TQXLExprNodeCase> CreateSimpleCase(TNodePtr InputExpression);
  static std::unique_ptr<TQXLExprNodeCase> CreateSearchedCase();
  static std::unique_ptr<TQXLExprNodeCase> CreateCoalesce(std::vector<TNodePtr> Nodes);

  // WHEN i pairs with RESULT i; each is appended to the children.
  void AddWhenExpression(TNodePtr Node);
  void AddResultExpression(TNodePtr Node);
  void SetElseResultExpression(TNodePtr Node);

  TQXLVariant* GetDataValue() override;
  // The common type of the results and ELSE, or of the COALESCE arguments.
  TQXLAdvancedFieldType GetDataType() override;
  std::int32_t GetDataSize() override;

  bool IsCoalesceExpression() const { return FIsCoalesceExpression; }
  bool IsSimpleCase() const { return FInputExpression != nullptr; }

private:
  TQXLExprNodeCase();
  // The node in Slot, unless it already has type Type or is a CAST, becomes
  // the child of a new CAST to Type that takes its place.
  void CastTo(TQXLExprNode*& Slot, TQXLAdvancedFieldType Type);

  std::vector<TQXLExprNode*> FWhenExpressions;
  std::vector<TQXLExprNode*> FResultExpressions;
  TQXLExprNode* FElseResultExpression = nullptr;
  TQXLExprNode* FInputExpression = nullptr;
  std::vector<TQXLExprNode*> FCoalesceNodes;
  bool FIsCoalesceExpression = false;
};

}  // namespace qxl
