#include "engine/sql/nodes/QXLExprNodeCase.h"

#include <algorithm>

#include "engine/core/values/QXLConversion.h"
#include "engine/sql/nodes/QXLExprNodeCast.h"
#include "engine/sql/nodes/QXLNodeText.h"

namespace qxl {

TQXLExprNodeCase::TQXLExprNodeCase() : TQXLExprNode(true, false) {}

std::unique_ptr<TQXLExprNodeCase> TQXLExprNodeCase::CreateSimpleCase(TNodePtr InputExpression) {
  std::unique_ptr<TQXLExprNodeCase> Node(new TQXLExprNodeCase());
  Node->FInputExpression = InputExpression.get();
  Node->AddChild(std::move(InputExpression));
  return Node;
}

std::unique_ptr<TQXLExprNodeCase> TQXLExprNodeCase::CreateSearchedCase() {
  return std::unique_ptr<TQXLExprNodeCase>(new TQXLExprNodeCase());
}

std::unique_ptr<TQXLExprNodeCase> TQXLExprNodeCase::CreateCoalesce(std::vector<TNodePtr> Nodes) {
  std::unique_ptr<TQXLExprNodeCase> Node(new TQXLExprNodeCase());
  Node->FIsCoalesceExpression = true;
  Node->FCoalesceNodes.reserve(Nodes.size());
  for (TNodePtr& N : Nodes) {
    TQXLExprNode* Raw = N.get();
    Node->AddChild(std::move(N));
    Node->FCoalesceNodes.push_back(Raw);
  }
  return Node;
}

void TQXLExprNodeCase::AddWhenExpression(TNodePtr Node) {
  FWhenExpressions.reserve(FWhenExpressions.size() + 1);
  TQXLExprNode* Raw = Node.get();
  AddChild(std::move(Node));
  FWhenExpressions.push_back(Raw);
}

void TQXLExprNodeCase::AddResultExpression(TNodePtr Node) {
  FResultExpressions.reserve(FResultExpressions.size() + 1);
  TQXLExprNode* Raw = Node.get();
  AddChild(std::move(Node));
  FResultExpressions.push_back(Raw);
}

void TQXLExprNodeCase::SetElseResultExpression(TNodePtr Node) {
  TQXLExprNode* Raw = Node.get();
  AddChild(std::move(Node));
  FElseResultExpression = Raw;
}

TQXLVariant* TQXLExprNodeCase::GetDataValue() {
  TQXLVariant& Result = Value();
  Result.Clear();
  if (FIsCoalesceExpression) {
    for (TQXLExprNode* Argument : FCoalesceNodes) {
      const TQXLVariant* V = Argument->GetDataValue();
      CopyValue(Result, *V);
      if (!V->IsNull()) break;
    }
    return &Result;
  }
  const TQXLVariant* Input = FInputExpression ? FInputExpression->GetDataValue() : nullptr;
  for (std::size_t i = 0; i < FWhenExpressions.size() && i < FResultExpressions.size(); ++i) {
    const TQXLVariant* When = FWhenExpressions[i]->GetDataValue();
    // A NULL condition is not true: the next WHEN is tried. A simple CASE
    // compares with NULL equal to NULL and text without regard to case.
    const bool Chosen = Input ? Input->Compare(*When, false, true, false) == cmprEqual
                              : !When->IsNull() && When->GetAsBoolean();
    if (Chosen) {
      CopyValue(Result, *FResultExpressions[i]->GetDataValue());
      return &Result;
    }
  }
  if (FElseResultExpression) CopyValue(Result, *FElseResultExpression->GetDataValue());
  return &Result;
}

TQXLAdvancedFieldType TQXLExprNodeCase::GetDataType() {
  const std::vector<TQXLExprNode*>& Values = FIsCoalesceExpression ? FCoalesceNodes : FResultExpressions;
  TQXLAdvancedFieldType Type = aftUnknown;
  for (std::size_t i = 0; i < Values.size(); ++i) {
    const TQXLAdvancedFieldType T = Values[i]->GetDataType();
    Type = i == 0 ? T : GetCommonAdvancedFieldType(Type, T, false);
  }
  if (!FIsCoalesceExpression && FElseResultExpression) {
    const TQXLAdvancedFieldType T = FElseResultExpression->GetDataType();
    Type = Values.empty() ? T : GetCommonAdvancedFieldType(Type, T, false);
  }
  return Type;
}

void TQXLExprNodeCase::CastTo(TQXLExprNode*& Slot, TQXLAdvancedFieldType Type) {
  if (!Slot || dynamic_cast<TQXLExprNodeCast*>(Slot) || Slot->GetDataType() == Type) return;
  const std::int32_t Index = IndexOfChild(Slot);
  if (Index < 0) return;
  auto Cast = std::make_unique<TQXLExprNodeCast>(nullptr, Type, nullptr);
  TQXLExprNodeCast* Raw = Cast.get();
  TNodePtr Old = ReplaceChild(Index, std::move(Cast));
  Slot = Raw;
  Raw->AddChild(std::move(Old));
}

std::int32_t TQXLExprNodeCase::GetDataSize() {
  const TQXLAdvancedFieldType Type = GetDataType();
  std::int32_t Size = 0;
  auto Visit = [&](TQXLExprNode*& Slot) {
    CastTo(Slot, Type);
    if (Slot) Size = std::max(Size, Slot->GetDataSize());
  };
  if (FIsCoalesceExpression) {
    for (TQXLExprNode*& Argument : FCoalesceNodes) Visit(Argument);
    return Size;
  }
  for (TQXLExprNode*& Result : FResultExpressions) Visit(Result);
  Visit(FElseResultExpression);
  return Size;
}

}  // namespace qxl
