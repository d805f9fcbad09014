#include "engine/sql/nodes/QXLExprNode.h"

#include "engine/core/QXLException.h"
#include "engine/sql/nodes/QXLExprNodeConst.h"
#include "engine/sql/nodes/QXLExprNodeField.h"
#include "engine/sql/nodes/QXLExprNodeStringFunction.h"

namespace qxl {

namespace {
constexpr std::int32_t InvalidChildCode = 20279;

void CheckChildIndex(std::int32_t Index, std::int32_t Count) {
  if (Index < 0 || Index >= Count)
    throw EQXLException(InvalidChildCode, "Invalid child node index %d, child count %d", {Index, Count});
}
}  // namespace

TQXLExprNode::TQXLExprNode(bool CaseInsensitive, bool PartialKey)
    : TQXLExprNode(doUNDEFINED, CaseInsensitive, PartialKey) {}

TQXLExprNode::TQXLExprNode(TQXLDataOperator Op, bool CaseInsensitive, bool PartialKey)
    : FOperator(Op), FValue(bftUnknown), FCaseInsensitive(CaseInsensitive), FPartialKey(PartialKey) {}

TQXLExprNode::TQXLExprNode(TQXLDataOperator Op, TNodePtr Node, bool CaseInsensitive, bool PartialKey)
    : TQXLExprNode(Op, CaseInsensitive, PartialKey) {
  AddChild(std::move(Node));
}

TQXLExprNode::TQXLExprNode(TQXLDataOperator Op, TNodePtr Node1, TNodePtr Node2, bool CaseInsensitive,
                           bool PartialKey)
    : TQXLExprNode(Op, CaseInsensitive, PartialKey) {
  AddChild(std::move(Node1));
  AddChild(std::move(Node2));
}

TQXLExprNode::TQXLExprNode(TQXLDataOperator Op, TNodePtr Node1, TNodePtr Node2, TNodePtr Node3,
                           bool CaseInsensitive, bool PartialKey)
    : TQXLExprNode(Op, CaseInsensitive, PartialKey) {
  AddChild(std::move(Node1));
  AddChild(std::move(Node2));
  AddChild(std::move(Node3));
}

TQXLExprNode::~TQXLExprNode() = default;

TQXLExprNode* TQXLExprNode::Child(std::int32_t Index) const {
  CheckChildIndex(Index, ChildCount());
  return FChildren[static_cast<std::size_t>(Index)].get();
}

void TQXLExprNode::AddChild(TNodePtr Node) {
  if (Node) FChildren.push_back(std::move(Node));
}

void TQXLExprNode::InsertChild(std::int32_t Index, TNodePtr Node) {
  if (!Node) return;
  if (Index < 0) Index = 0;
  if (Index >= ChildCount())
    FChildren.push_back(std::move(Node));
  else
    FChildren.insert(FChildren.begin() + Index, std::move(Node));
}

TQXLExprNode::TNodePtr TQXLExprNode::DetachChild(std::int32_t Index) {
  CheckChildIndex(Index, ChildCount());
  TNodePtr node = std::move(FChildren[static_cast<std::size_t>(Index)]);
  FChildren.erase(FChildren.begin() + Index);
  return node;
}

TQXLExprNode::TNodePtr TQXLExprNode::DetachChild(const TQXLExprNode* Node) {
  const std::int32_t i = IndexOfChild(Node);
  return i < 0 ? nullptr : DetachChild(i);
}

TQXLExprNode::TNodePtr TQXLExprNode::ReplaceChild(std::int32_t Index, TNodePtr Node) {
  CheckChildIndex(Index, ChildCount());
  if (!Node) throw EQXLException(InvalidChildCode, "A child node cannot be replaced by no node");
  TNodePtr old = std::move(FChildren[static_cast<std::size_t>(Index)]);
  FChildren[static_cast<std::size_t>(Index)] = std::move(Node);
  return old;
}

std::int32_t TQXLExprNode::IndexOfChild(const TQXLExprNode* Node) const {
  for (std::size_t i = 0; i < FChildren.size(); ++i)
    if (FChildren[i].get() == Node) return static_cast<std::int32_t>(i);
  return -1;
}

void TQXLExprNode::AfterAssign() {
  for (auto& c : FChildren) c->AfterAssign();
}

void TQXLExprNode::ResetSubqueryFieldValues() {}

TQXLVariant* TQXLExprNode::GetSubqueryFieldValue(std::int32_t) { return nullptr; }

bool TQXLExprNode::IsAggregated() {
  for (auto& c : FChildren)
    if (c->IsAggregated()) return true;
  return false;
}

bool TQXLExprNode::IsAggregatedCountAll() { return false; }

void TQXLExprNode::Init() {
  for (auto& c : FChildren) c->Init();
}

void TQXLExprNode::Accumulate() {
  for (auto& c : FChildren) c->Accumulate();
}

void TQXLExprNode::SetCountAll(std::int32_t) {}

void TQXLExprNode::AssignAO(TQXLAO* AO, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor) {
  for (auto& c : FChildren) c->AssignAO(AO, ParentQueryAO, ParentCursor);
}

void TQXLExprNode::AssignCursor(TQXLCursor* Cursor, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor) {
  for (auto& c : FChildren) c->AssignCursor(Cursor, ParentQueryAO, ParentCursor);
}

void TQXLExprNode::AssignCursorBuffer(std::uint8_t* Buffer, bool ApplyToParentQueryFields) {
  for (auto& c : FChildren) c->AssignCursorBuffer(Buffer, ApplyToParentQueryFields);
}

TQXLAdvancedFieldType TQXLExprNode::GetDataType() {
  TQXLAdvancedFieldType type = aftUnknown;
  for (std::size_t i = 0; i < FChildren.size(); ++i) {
    const TQXLAdvancedFieldType t = FChildren[i]->GetDataType();
    type = i == 0 ? t : qxl::GetCommonAdvancedFieldType(type, t, false);
  }
  if (type == aftUnknown) throw EQXLException(30283, "Cannot determine expression type");
  return type;
}

std::int32_t TQXLExprNode::GetDataSize() {
  if (!qxl::IsStringBaseFieldType(qxl::AdvancedToBaseFieldType(GetDataType()))) return 0;
  if (FOperator != doADD && FOperator != doCONCAT && FOperator != doCAST) return 0;
  std::int32_t size = 0;
  for (auto& c : FChildren) size += c->GetDataSize();
  return size;
}

std::int32_t TQXLExprNode::GetPrecision() { return 0; }

bool TQXLExprNode::CanBeAssigned(TQXLAO* AO, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor, bool ForHavingClause) {
  for (auto& c : FChildren)
    if (!c->CanBeAssigned(AO, ParentQueryAO, ParentCursor, ForHavingClause)) return false;
  return true;
}

bool TQXLExprNode::CanUseIndex(std::int32_t, TQXLSearchCondition, TQXLIndexDef*, std::int32_t) { return false; }

void TQXLExprNode::AddAsIndexScanCondition(TQXLScanSearchConditionArray*, TQXLIndexDef*, TQXLBaseExpression*) {}

void TQXLExprNode::ExtendIndexScanCondition(TQXLScanSearchCondition*, TQXLIndexDef*, TQXLBaseExpression*) {}

bool TQXLExprNode::IsJoinCondition(TQXLAO*, TQXLAO*) { return false; }

void TQXLExprNode::ReplacePseudonyms(std::span<TQXLSelectListItem> SelectList) {
  for (auto& c : FChildren) c->ReplacePseudonyms(SelectList);
}

bool TQXLExprNode::CanBeUsedInGroupBy(const std::string& GroupByFields) {
  for (auto& c : FChildren)
    if (!c->CanBeUsedInGroupBy(GroupByFields)) return false;
  return true;
}

bool TQXLExprNode::CanUseNodeAsField(const TQXLExprNode* Node) {
  if (!Node) return false;
  if (auto* f = dynamic_cast<const qxl::TQXLExprNodeField*>(Node)) return f->Cursor() && !f->GetFromParent();
  if (dynamic_cast<const qxl::TQXLExprNodeStringFunction*>(Node) &&
      (Node->Operator() == doUPPER || Node->Operator() == doLOWER) && Node->ChildCount() == 1) {
    auto* f = dynamic_cast<const qxl::TQXLExprNodeField*>(Node->Child(0));
    return f && f->Cursor() && !f->GetFromParent();
  }
  return false;
}

bool TQXLExprNode::CanUseNodeAsConst(const TQXLExprNode* Node) {
  if (!Node) return false;
  if (dynamic_cast<const qxl::TQXLExprNodeConst*>(Node)) return true;
  auto* f = dynamic_cast<const qxl::TQXLExprNodeField*>(Node);
  return f && f->GetFromParent();
}

void TQXLExprNode::RaiseUnknownOperator(std::int32_t Code) const {
  throw EQXLException(Code, "Unknown operator: '%s'", {qxl::OperatorText(FOperator)});
}

}  // namespace qxl
