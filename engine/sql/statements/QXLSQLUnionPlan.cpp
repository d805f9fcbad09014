// The plan of a query expression: each block into its own tree, each set
// operation into a set operator over its two sides, then the ORDER BY of
// the whole.
#include "engine/sql/operators/QXLAO.h"
#include "engine/sql/operators/QXLAOUnion.h"
#include "engine/sql/statements/QXLSQLSelect.h"
#include "engine/sql/statements/QXLSQLUnion.h"

namespace qxl {

std::unique_ptr<TQXLAO> TQXLSQLUnion::PlanNode(TQXLQueryExprNode& Node, TQXLDataSet* Query, bool RequestLive,
                                               TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor,
                                               bool AllowNotAppliedConditions) {
  if (Node.NodeType == qetSelect)
    return Node.SelectCommand->BuildAOTree(Query, RequestLive, ParentQueryAO, ParentCursor, AllowNotAppliedConditions);
  std::unique_ptr<TQXLAO> Left = PlanNode(*Node.Left, Query, true, ParentQueryAO, ParentCursor, AllowNotAppliedConditions);
  std::unique_ptr<TQXLAO> Right =
      PlanNode(*Node.Right, Query, true, ParentQueryAO, ParentCursor, AllowNotAppliedConditions);
  const TQXLUnionType Type =
      Node.NodeType == qetUnion ? autUnion : Node.NodeType == qetExcept ? autExcept : autIntersect;
  TQXLFields ByNames;
  for (const std::string& Name : Node.CorrespondingFields) {
    TQXLSelectListItem Item;
    Item.FieldName = Name;
    ByNames.Append(std::move(Item));
  }
  return std::make_unique<TQXLAOUnion>(std::move(Left), std::move(Right), Type, ParentQueryAO, ParentCursor,
                                       Node.Corresponding, !Node.All,
                                       Node.CorrespondingFields.empty() ? nullptr : &ByNames);
}

std::unique_ptr<TQXLAO> TQXLSQLUnion::BuildAOTree(TQXLDataSet* Query, bool RequestLive, TQXLAO* ParentQueryAO,
                                                  TQXLCursor* ParentCursor, bool AllowNotAppliedConditions) {
  ResultDataset = Query;
  std::unique_ptr<TQXLAO> Tree =
      PlanNode(*FRootNode, Query, RequestLive, ParentQueryAO, ParentCursor, AllowNotAppliedConditions);
  ApplyOrderBy(*Tree);
  return Tree;
}

}  // namespace qxl
