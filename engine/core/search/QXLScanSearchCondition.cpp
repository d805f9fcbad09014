#include "engine/core/search/QXLScanSearchCondition.h"

#include <cstring>

#include "engine/core/QXLException.h"
#include "engine/core/QXLExpression.h"
#include "engine/core/schema/QXLIndexDef.h"
#include "engine/core/containers/QXLListError.h"
#include "engine/core/containers/QXLMemoryManager.h"

namespace qxl {

void TQXLScanSearchCondition::ClearKeyRecordBuffer() {
  if (KeyRecordBuffer && !FExternalKeyRecordBuffer) QXLMemoryManager().FreeAndNillMem(KeyRecordBuffer);
  KeyRecordBuffer = nullptr;
  KeyRecordBufferSize = 0;
}

void TQXLScanSearchCondition::Assign(const TQXLScanSearchCondition& Source) {
  if (&Source == this) return;
  ClearKeyRecordBuffer();
  FExternalKeyRecordBuffer = false;
  if (Source.KeyRecordBuffer && Source.KeyRecordBufferSize > 0) {
    KeyRecordBuffer = static_cast<std::uint8_t*>(QXLMemoryManager().GetMem(Source.KeyRecordBufferSize));
    std::memcpy(KeyRecordBuffer, Source.KeyRecordBuffer, static_cast<std::size_t>(Source.KeyRecordBufferSize));
    KeyRecordBufferSize = Source.KeyRecordBufferSize;
  }
  Expression = Source.Expression;
  Condition = Source.Condition;
  KeyFieldCount = Source.KeyFieldCount;
  IndexID = Source.IndexID;
  CreatedFromExpression = Source.CreatedFromExpression;
  ParentExpressions = Source.ParentExpressions;
  ParentExpressionNodes = Source.ParentExpressionNodes;
  PartialCompare = Source.PartialCompare;
}

TQXLScanSearchCondition* TQXLScanSearchConditionArray::Item(std::int32_t ItemNo) const {
  qxl::CheckListIndex(ItemNo, Count());
  return FItems[static_cast<std::size_t>(ItemNo)].get();
}

void TQXLScanSearchConditionArray::Delete(std::int32_t ItemNo) {
  if (ItemNo < 0 || ItemNo >= Count())
    throw EQXLException(10413, "Invalid item number - ItemNo = %d, ItemCount = %d", {ItemNo, Count()});
  FItems.erase(FItems.begin() + ItemNo);
}

void TQXLScanSearchConditionArray::AddExpression(TQXLBaseExpression* Expression) {
  auto item = std::make_unique<TQXLScanSearchCondition>();
  item->Expression = Expression;
  FItems.push_back(std::move(item));
}

void TQXLScanSearchConditionArray::AddCondition(const TQXLScanSearchCondition& ScanSearchCondition) {
  if (!ScanSearchCondition.Expression && ScanSearchCondition.IndexID == -1)
    throw EQXLException(10388, "Invalid scan condition - indexID = %d, count = %d",
                        {ScanSearchCondition.IndexID, Count()});
  auto item = std::make_unique<TQXLScanSearchCondition>();
  item->Assign(ScanSearchCondition);
  FItems.push_back(std::move(item));
}

void TQXLScanSearchConditionArray::CreateIndexScanConditionsFromExpressions(TQXLIndexDefs* IndexDefs,
                                                                           std::int32_t SessionID) {
  // Only the items present now: the conditions added on the way hold no expression.
  std::int32_t initial = Count();
  for (std::int32_t i = 0; i < initial; ++i)
    if (auto* e = FItems[static_cast<std::size_t>(i)]->Expression) e->CreateIndexScanConditions(IndexDefs, this, SessionID);

  std::vector<TQXLBaseExpression*> expressions;
  for (auto& item : FItems)
    if (item->Expression) expressions.push_back(item->Expression);
  if (expressions.empty() || !IndexDefs) return;
  for (std::int32_t i = 0; i < Count(); ++i) {
    auto& item = *FItems[static_cast<std::size_t>(i)];
    if (item.Expression) continue;
    if (auto* def = IndexDefs->GetIndexDefByObjectId(item.IndexID)) ExtendIndexCondition(i, def, expressions);
  }
}

void TQXLScanSearchConditionArray::ExtendIndexCondition(std::int32_t ItemNo, TQXLIndexDef* IndexDef,
                                                        const std::vector<TQXLBaseExpression*>& Expressions) {
  if (!IndexDef || IndexDef->ColumnCount() < 2) return;
  TQXLScanSearchCondition* condition = Item(ItemNo);
  // Each pass that succeeds sets one more key field, so the index's column
  // count bounds the passes even if an expression misreports.
  for (std::int32_t pass = 0; pass < IndexDef->ColumnCount(); ++pass) {
    bool extended = false;
    for (auto* e : Expressions)
      if (e->ExtendMultiFieldIndexCondition(condition, IndexDef)) {
        extended = true;
        break;
      }
    if (!extended) return;
  }
}

void TQXLScanSearchConditionArray::RemoveUnusedConditionsCreatedFromExpressions(std::int32_t& ScanConditionNo,
                                                                               std::int32_t& ScanEndConditionNo) {
  for (std::int32_t i = 0; i < Count();) {
    if (!FItems[static_cast<std::size_t>(i)]->CreatedFromExpression || i == ScanConditionNo ||
        i == ScanEndConditionNo) {
      ++i;
      continue;
    }
    Delete(i);
    if (ScanConditionNo > i) --ScanConditionNo;
    if (ScanEndConditionNo > i) --ScanEndConditionNo;
  }
}

void TQXLScanSearchConditionArray::ExtractChosenConditionsFromExpressions(std::int32_t ScanConditionNo,
                                                                         std::int32_t ScanEndConditionNo) {
  for (auto& item : FItems)
    if (item->Expression) item->Expression->RemoveExtractedNodes(this, ScanConditionNo, ScanEndConditionNo);
}

void TQXLScanSearchConditionArray::ReturnExtractedConditionsToExpressions(std::int32_t ScanConditionNo,
                                                                         std::int32_t ScanEndConditionNo) {
  auto giveBack = [this](std::int32_t no) {
    if (no < 0 || no >= Count()) return;
    auto& item = *FItems[static_cast<std::size_t>(no)];
    for (std::size_t i = 0; i < item.ParentExpressions.size() && i < item.ParentExpressionNodes.size(); ++i)
      item.ParentExpressions[i]->AddNode(item.ParentExpressionNodes[i]);
  };
  giveBack(ScanConditionNo);
  // One condition chosen for both ends gives its nodes back once.
  if (ScanEndConditionNo != ScanConditionNo) giveBack(ScanEndConditionNo);
}

}  // namespace qxl
