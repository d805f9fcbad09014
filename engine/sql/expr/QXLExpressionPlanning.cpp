// The expression-level planning: push-down of condition parts, join pairs,
// and index scan conditions with the nodes they lend out of the tree.
#include "engine/core/QXLException.h"
#include "engine/core/schema/QXLIndexDef.h"
#include "engine/core/search/QXLScanSearchCondition.h"
#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/expr/QXLFilterTarget.h"
#include "engine/sql/nodes/QXLAO.h"
#include "engine/sql/nodes/QXLDataOperator.h"
#include "engine/sql/nodes/QXLExprNode.h"
#include "engine/sql/nodes/QXLExprNodeArithmetic.h"
#include "engine/sql/nodes/QXLExprNodeBlob.h"
#include "engine/sql/nodes/QXLExprNodeBoolean.h"
#include "engine/sql/nodes/QXLExprNodeCast.h"
#include "engine/sql/nodes/QXLExprNodeComparison.h"
#include "engine/sql/nodes/QXLExprNodeConst.h"
#include "engine/sql/nodes/QXLExprNodeDateFunction.h"
#include "engine/sql/nodes/QXLExprNodeField.h"
#include "engine/sql/nodes/QXLExprNodeStringFunction.h"
#include "engine/sql/nodes/QXLSelectListItem.h"

namespace qxl {

namespace {

bool IsBooleanGroup(const TQXLExprNode* Node, TQXLDataOperator Op) {
  return Node && Node->Operator() == Op && dynamic_cast<const TQXLExprNodeBoolean*>(Node) != nullptr;
}

std::unique_ptr<TQXLExprNodeBoolean> NewAndGroup() {
  return std::make_unique<TQXLExprNodeBoolean>(doAND, true, false, std::string());
}

// A comparison, or an IS [NOT] NULL test: the nodes an index can answer.
bool OffersIndexCondition(const TQXLExprNode* Node) {
  if (dynamic_cast<const TQXLExprNodeComparison*>(Node)) return true;
  return Node->Operator() == doISNULL || Node->Operator() == doISNOTNULL
             ? dynamic_cast<const TQXLExprNodeBoolean*>(Node) != nullptr
             : false;
}

}  // namespace

void TQXLExpression::ApplyFilterParts(TQXLAO* AO, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor, bool AllowRecurse,
                                      bool ForHavingClause) {
  auto* Target = dynamic_cast<TQXLFilterTarget*>(AO);
  if (AllowRecurse && Target && !Target->IsOuterJoin()) {
    // Conditions land on the deepest operator that can test them.
    if (TQXLAO* Left = Target->LeftChildAO())
      ApplyFilterParts(Left, ParentQueryAO, ParentCursor, AllowRecurse, ForHavingClause);
    if (TQXLAO* Right = Target->RightChildAO())
      ApplyFilterParts(Right, ParentQueryAO, ParentCursor, AllowRecurse, ForHavingClause);
  }
  if (!FRootExprNode || !Target) return;

  std::unique_ptr<TQXLExprNode> Taken;
  if (IsBooleanGroup(FRootExprNode.get(), doAND)) {
    TQXLExprNode& Root = *FRootExprNode;
    for (std::int32_t i = 0; i < Root.ChildCount();) {
      if (!Root.Child(i)->CanBeAssigned(AO, ParentQueryAO, ParentCursor, ForHavingClause)) {
        ++i;
        continue;
      }
      std::unique_ptr<TQXLExprNode> Part = Root.DetachChild(i);
      if (!Taken) {
        Taken = std::move(Part);
      } else if (IsBooleanGroup(Taken.get(), doAND)) {
        Taken->AddChild(std::move(Part));
      } else {
        auto Group = NewAndGroup();
        Group->AddChild(std::move(Taken));
        Group->AddChild(std::move(Part));
        Taken = std::move(Group);
      }
    }
    if (Root.ChildCount() == 0) FRootExprNode.reset();
  } else if (FRootExprNode->CanBeAssigned(AO, ParentQueryAO, ParentCursor, ForHavingClause)) {
    Taken = std::move(FRootExprNode);
  }
  if (Taken) Target->SetFilterExpression(std::make_unique<TQXLExpression>(std::move(Taken)));
}

std::int32_t TQXLExpression::ExtractJoinConditions(TQXLAO* AO1, TQXLAO* AO2,
                                                   std::vector<TQXLSelectListItem>& FieldList1,
                                                   std::vector<TQXLSelectListItem>& FieldList2) {
  if (!FRootExprNode) return 0;
  const auto TakePair = [&](TQXLExprNode& Equality) {
    TQXLSelectListItem Item1, Item2;
    static_cast<TQXLExprNodeField*>(Equality.Child(0))->FillItem(Item1);
    static_cast<TQXLExprNodeField*>(Equality.Child(1))->FillItem(Item2);
    FieldList1.push_back(std::move(Item1));
    FieldList2.push_back(std::move(Item2));
  };
  if (IsBooleanGroup(FRootExprNode.get(), doAND)) {
    TQXLExprNode& Root = *FRootExprNode;
    std::int32_t Pairs = 0;
    for (std::int32_t i = 0; i < Root.ChildCount();) {
      if (!Root.Child(i)->IsJoinCondition(AO1, AO2)) {
        ++i;
        continue;
      }
      TakePair(*Root.Child(i));
      Root.DetachChild(i);
      ++Pairs;
    }
    if (Root.ChildCount() == 0) FRootExprNode.reset();
    return Pairs;
  }
  if (FRootExprNode->Operator() == doEQ && FRootExprNode->IsJoinCondition(AO1, AO2)) {
    TakePair(*FRootExprNode);
    FRootExprNode.reset();
    return 1;
  }
  return 0;
}

void TQXLExpression::CreateIndexScanConditions(TQXLIndexDefs* IndexDefs, TQXLScanSearchConditionArray* ScanConditions,
                                               std::int32_t SessionID) {
  if (!FRootExprNode || !IndexDefs || !ScanConditions) return;
  // Depth-first through AND groups, children in order.
  std::vector<TQXLExprNode*> Pending{FRootExprNode.get()};
  std::vector<TQXLExprNode*> Offered;
  while (!Pending.empty()) {
    TQXLExprNode* Node = Pending.back();
    Pending.pop_back();
    if (IsBooleanGroup(Node, doAND)) {
      for (std::int32_t i = Node->ChildCount(); i-- > 0;) Pending.push_back(Node->Child(i));
    } else if (OffersIndexCondition(Node)) {
      Offered.push_back(Node);
    }
  }
  for (TQXLExprNode* Node : Offered) TryCreateIndexScanConditionsFromNode(Node, IndexDefs, ScanConditions, SessionID);
}

void TQXLExpression::TryCreateIndexScanConditionsFromNode(TQXLExprNode* Node, TQXLIndexDefs* IndexDefs,
                                                          TQXLScanSearchConditionArray* ScanConditions,
                                                          std::int32_t SessionID) {
  for (std::int32_t i = 0; i < IndexDefs->Count(); ++i) {
    TQXLIndexDef* IndexDef = IndexDefs->GetIndexDef(i);
    if (Node->CanUseIndex(0, scNone, IndexDef, SessionID)) Node->AddAsIndexScanCondition(ScanConditions, IndexDef, this);
  }
}

bool TQXLExpression::ExtendMultiFieldIndexCondition(TQXLScanSearchCondition* ScanCondition, TQXLIndexDef* IndexDef) {
  if (!FRootExprNode || !ScanCondition || !IndexDef) return false;
  std::vector<TQXLExprNode*> Pending{FRootExprNode.get()};
  while (!Pending.empty()) {
    TQXLExprNode* Node = Pending.back();
    Pending.pop_back();
    if (IsBooleanGroup(Node, doAND)) {
      for (std::int32_t i = Node->ChildCount(); i-- > 0;) Pending.push_back(Node->Child(i));
    } else if (OffersIndexCondition(Node) && ExtendMultiFieldIndexConditionFromNode(Node, ScanCondition, IndexDef)) {
      return true;
    }
  }
  return false;
}

bool TQXLExpression::ExtendMultiFieldIndexConditionFromNode(TQXLExprNode* Node, TQXLScanSearchCondition* ScanCondition,
                                                            TQXLIndexDef* IndexDef) {
  if (ScanCondition->KeyFieldCount >= IndexDef->ColumnCount()) return false;
  if (!Node->CanUseIndex(ScanCondition->KeyFieldCount, ScanCondition->Condition, IndexDef, -1)) return false;
  Node->ExtendIndexScanCondition(ScanCondition, IndexDef, this);
  return true;
}

bool TQXLExpression::DetachFromTree(TQXLExprNode* Node, std::unique_ptr<TQXLExprNode>& Taken) {
  if (!FRootExprNode) return false;
  if (FRootExprNode.get() == Node) {
    Taken = std::move(FRootExprNode);
    return true;
  }
  std::vector<TQXLExprNode*> Pending{FRootExprNode.get()};
  while (!Pending.empty()) {
    TQXLExprNode* Parent = Pending.back();
    Pending.pop_back();
    for (std::int32_t i = 0; i < Parent->ChildCount(); ++i) {
      if (Parent->Child(i) == Node) {
        Taken = Parent->DetachChild(i);
        return true;
      }
      if (IsBooleanGroup(Parent->Child(i), doAND)) Pending.push_back(Parent->Child(i));
    }
  }
  return false;
}

void TQXLExpression::RemoveExtractedNodes(TQXLScanSearchConditionArray* ScanConditions, std::int32_t ScanConditionNo,
                                          std::int32_t ScanEndConditionNo) {
  if (!ScanConditions) return;
  for (const std::int32_t No : {ScanConditionNo, ScanEndConditionNo}) {
    if (No < 0 || No >= ScanConditions->Count()) continue;
    const TQXLScanSearchCondition* Condition = ScanConditions->Item(No);
    for (std::size_t i = 0; i < Condition->ParentExpressions.size() && i < Condition->ParentExpressionNodes.size();
         ++i) {
      if (Condition->ParentExpressions[i] != this) continue;
      std::unique_ptr<TQXLExprNode> Taken;
      // A node met by both chosen conditions is lent once.
      if (DetachFromTree(Condition->ParentExpressionNodes[i], Taken)) FLentNodes.push_back(std::move(Taken));
    }
  }
}

void TQXLExpression::AddNode(TQXLExprNode* Node) {
  for (auto It = FLentNodes.begin(); It != FLentNodes.end(); ++It) {
    if (It->get() != Node) continue;
    std::unique_ptr<TQXLExprNode> Back = std::move(*It);
    FLentNodes.erase(It);
    AddOwnedNode(std::move(Back));
    return;
  }
}

void TQXLExpression::AddOwnedNode(std::unique_ptr<TQXLExprNode> Node) {
  if (!Node) return;
  if (!FRootExprNode) {
    FRootExprNode = std::move(Node);
  } else if (IsBooleanGroup(FRootExprNode.get(), doAND)) {
    FRootExprNode->AddChild(std::move(Node));
  } else {
    // A root of another kind keeps its own operands: both become parts of one
    // AND group.
    auto Group = NewAndGroup();
    Group->AddChild(std::move(FRootExprNode));
    Group->AddChild(std::move(Node));
    FRootExprNode = std::move(Group);
  }
}

void TQXLExpression::AddAndMoveNodesFromExpression(TQXLExpression& Expr) {
  if (!FRootExprNode) {
    FRootExprNode = std::move(Expr.FRootExprNode);
    return;
  }
  if (!IsBooleanGroup(FRootExprNode.get(), doAND)) {
    auto Group = NewAndGroup();
    Group->AddChild(std::move(FRootExprNode));
    FRootExprNode = std::move(Group);
  }
  if (Expr.FRootExprNode) FRootExprNode->AddChild(std::move(Expr.FRootExprNode));
  MoveAndNodesToRoot();
}

}  // namespace qxl
