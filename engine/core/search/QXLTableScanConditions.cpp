// Search planning of a table: what restricts a cursor's records, gathered as
// scan conditions; bounds on one index intersected; and the cheapest range
// of one index, or the whole table, chosen to walk.
#include <algorithm>
#include <array>
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/core/QXLExpression.h"
#include "engine/core/abstract/QXLBasePageManager.h"
#include "engine/core/search/QXLExtractedConditions.h"
#include "engine/core/abstract/QXLTableData.h"

namespace qxl {

namespace {

// Adds a bound over the first KeyFieldCount columns of IndexID, copying Buffer.
void AddBound(TQXLScanSearchConditionArray& Conditions, std::int32_t IndexID, TQXLSearchCondition Condition,
              std::uint8_t* Buffer, std::int32_t BufferSize, std::int32_t KeyFieldCount) {
  TQXLScanSearchCondition bound(true);
  bound.IndexID = IndexID;
  bound.Condition = Condition;
  bound.KeyRecordBuffer = Buffer;
  bound.KeyRecordBufferSize = BufferSize;
  bound.KeyFieldCount = KeyFieldCount;
  Conditions.AddCondition(bound);
}

bool IsIndexCondition(const TQXLScanSearchCondition& Condition) {
  return !Condition.Expression && Condition.IndexID != -1;
}

// What intersecting two bounds on one index gives.
enum TMerge : std::uint8_t {
  mEmpty,
  mC1,
  mC2,
  mFewer,
  mMore,
  mMoreEq,
  mBoth,
  mC1IfC1Max,     // c1 when c1 has Max, else both
  mC2IfC2Max,     // c2 when c2 has Max, else both
  mEmptyIfC1Min,  // empty when c1 has Min, else both
  mEmptyIfC2Min,  // empty when c2 has Min, else both
  mMoreEqIfSame,  // more as equal when Min = Max, else both
};

using TMergeCell = std::array<TMerge, 3>;  // cmp < 0, cmp = 0, cmp > 0

// Rows c1, columns c2, both in the order scEqual, scLower, scGreater,
// scLowerEqual, scGreaterEqual.
constexpr TMergeCell MergeTable[5][5] = {
    {{mEmpty, mMore, mEmpty},
     {mC1, mEmpty, mEmpty},
     {mEmpty, mEmpty, mC1},
     {mC1, mC1IfC1Max, mEmpty},
     {mEmpty, mC1IfC1Max, mC1}},
    {{mEmpty, mEmpty, mC2},
     {mC1, mFewer, mC2},
     {mEmpty, mEmpty, mBoth},
     {mC1, mC1, mC2},
     {mEmpty, mEmptyIfC1Min, mBoth}},
    {{mC2, mEmpty, mEmpty},
     {mBoth, mEmpty, mEmpty},
     {mC2, mFewer, mC1},
     {mBoth, mEmptyIfC1Min, mEmpty},
     {mC2, mC1, mC1}},
    {{mEmpty, mC2IfC2Max, mC2},
     {mC1, mBoth, mC2},
     {mEmpty, mEmptyIfC2Min, mBoth},
     {mC1, mMore, mC2},
     {mEmpty, mMoreEqIfSame, mBoth}},
    {{mC2, mC2IfC2Max, mEmpty},
     {mBoth, mEmptyIfC2Min, mEmpty},
     {mC2, mC2, mC1},
     {mBoth, mMoreEqIfSame, mEmpty},
     {mC2, mMore, mC1}},
};

// Resolves the conditional outcomes to plain ones.
TMerge Resolve(TMerge Outcome, std::int32_t Count1, std::int32_t Count2) {
  const std::int32_t lo = std::min(Count1, Count2);
  const std::int32_t hi = std::max(Count1, Count2);
  switch (Outcome) {
    case mC1IfC1Max: return Count1 == hi ? mC1 : mBoth;
    case mC2IfC2Max: return Count2 == hi ? mC2 : mBoth;
    case mEmptyIfC1Min: return Count1 == lo ? mEmpty : mBoth;
    case mEmptyIfC2Min: return Count2 == lo ? mEmpty : mBoth;
    case mMoreEqIfSame: return lo == hi ? mMoreEq : mBoth;
    case mFewer: return Count1 == lo ? mC1 : mC2;
    case mMore: return Count1 == hi ? mC1 : mC2;
    default: return Outcome;
  }
}

}  // namespace

void TQXLTableData::AddCursorScanConditions(TQXLCursor* Cursor, TQXLScanSearchConditionArray& Conditions,
                                            const TQXLScanSearchCondition* KeyCondition,
                                            TQXLBaseExpression* SearchExpression, bool GoForward) {
  if (KeyCondition) {
    if (KeyCondition->IndexID == -1)
      throw EQXLException(20258,
                          "No active index is set for Key search. Set Table.IndexName to the index on search fields.");
    Conditions.AddCondition(*KeyCondition);
  }
  if (SearchExpression) Conditions.AddExpression(SearchExpression);
  if (Cursor->FFilterExpression) Conditions.AddExpression(Cursor->FFilterExpression.get());
  if (Cursor->FSQLFilterExpression) Conditions.AddExpression(Cursor->FSQLFilterExpression);
  const std::int32_t index = Cursor->FIndexID;
  if (Cursor->IsRangeApplied()) {
    if (Cursor->FRangeStartBuffer)
      AddBound(Conditions, index, Cursor->FRangeStartExclusive ? scGreater : scGreaterEqual, Cursor->FRangeStartBuffer,
               Cursor->FKeyBufferSize, Cursor->FRangeStartKeyFieldCount);
    if (Cursor->FRangeEndBuffer)
      AddBound(Conditions, index, Cursor->FRangeEndExclusive ? scLower : scLowerEqual, Cursor->FRangeEndBuffer,
               Cursor->FKeyBufferSize, Cursor->FRangeEndKeyFieldCount);
  }
  if (Cursor->IsDistinctApplied() && Cursor->FDistinctRecordBuffer && !Cursor->FirstPosition &&
      !Cursor->LastPosition)
    AddBound(Conditions, index, GoForward ? scGreater : scLower, Cursor->FDistinctRecordBuffer,
             Cursor->FRecordBufferSize, Cursor->FDistinctFieldCount);
  // A bound over more columns than its index has, or without its key, would
  // compare beyond the key.
  for (std::int32_t i = 0; i < Conditions.Count(); ++i) {
    const TQXLScanSearchCondition& c = *Conditions.Item(i);
    if (!IsIndexCondition(c)) continue;
    const TQXLIndexDef* def = FIndexManager ? FIndexManager->IndexDefs().GetIndexDefByObjectId(c.IndexID) : nullptr;
    if (!def || c.KeyFieldCount < 0 || c.KeyFieldCount > def->ColumnCount() || (c.KeyFieldCount > 0 && !c.KeyRecordBuffer))
      throw EQXLException(10388, "Invalid scan condition - indexID = %d, count = %d", {c.IndexID, c.KeyFieldCount});
  }
}

bool TQXLTableData::CanIntersectScanConditions(const TQXLScanSearchCondition& Condition1,
                                               const TQXLScanSearchCondition& Condition2) const {
  auto strict = [](TQXLSearchCondition c) { return c == scLower || c == scGreater; };
  auto blocks = [&](const TQXLScanSearchCondition& eq, const TQXLScanSearchCondition& other) {
    return eq.Condition == scEqual && strict(other.Condition) && eq.KeyFieldCount < other.KeyFieldCount;
  };
  return !blocks(Condition1, Condition2) && !blocks(Condition2, Condition1);
}

void TQXLTableData::IntersectScanConditions(TQXLScanSearchCondition& Condition1, TQXLScanSearchCondition& Condition2,
                                            bool& IsEmptyRange, bool& IsMerged) {
  IsEmptyRange = false;
  IsMerged = false;
  if (Condition1.Condition == scNone || Condition2.Condition == scNone) return;
  const std::int32_t lo = std::min(Condition1.KeyFieldCount, Condition2.KeyFieldCount);
  const std::int32_t cmp = ConditionIndex(Condition1.IndexID, 20058)
                               .CompareRecordBuffersByIndex(Condition1.KeyRecordBuffer, Condition2.KeyRecordBuffer, lo);
  const TMergeCell& cell = MergeTable[Condition1.Condition - scEqual][Condition2.Condition - scEqual];
  const TMerge outcome =
      Resolve(cell[cmp < 0 ? 0 : cmp == 0 ? 1 : 2], Condition1.KeyFieldCount, Condition2.KeyFieldCount);
  if (outcome == mEmpty) {
    IsEmptyRange = true;
    return;
  }
  if (outcome == mBoth) return;
  IsMerged = true;
  if (outcome == mC2) Condition1.Assign(Condition2);
  if (outcome == mMoreEq) {
    if (Condition2.KeyFieldCount > Condition1.KeyFieldCount) Condition1.Assign(Condition2);
    Condition1.Condition = scEqual;
  }
}

bool TQXLTableData::AreScanConditionsEqual(const TQXLScanSearchCondition& Condition1,
                                           const TQXLScanSearchCondition& Condition2) {
  if (Condition1.IndexID != Condition2.IndexID || Condition1.Condition != Condition2.Condition ||
      Condition1.Condition == scNone || Condition1.KeyFieldCount != Condition2.KeyFieldCount)
    return false;
  return ConditionIndex(Condition1.IndexID, 20058)
             .CompareRecordBuffersByIndex(Condition1.KeyRecordBuffer, Condition2.KeyRecordBuffer,
                                          Condition1.KeyFieldCount) == 0;
}

void TQXLTableData::RemoveDuplicateScanConditions(TQXLScanSearchConditionArray& Conditions) {
  std::int32_t i = 0;
  while (i < Conditions.Count() && Conditions.Count() > 1) {
    bool duplicate = false;
    for (std::int32_t j = 0; j < Conditions.Count() && !duplicate; ++j)
      duplicate = j != i && AreScanConditionsEqual(*Conditions.Item(i), *Conditions.Item(j));
    if (duplicate)
      Conditions.Delete(i);
    else
      ++i;
  }
}

void TQXLTableData::MergeScanConditions(TQXLScanSearchConditionArray& Conditions, bool& IsEmptyRange) {
  IsEmptyRange = false;
  std::vector<std::int32_t> indexes;
  for (std::int32_t i = 0; i < Conditions.Count(); ++i) {
    const TQXLScanSearchCondition& c = *Conditions.Item(i);
    if (IsIndexCondition(c) && std::find(indexes.begin(), indexes.end(), c.IndexID) == indexes.end())
      indexes.push_back(c.IndexID);
  }
  TQXLScanSearchConditionArray merged;
  for (std::int32_t index : indexes)
    for (std::int32_t i = 0; i < Conditions.Count(); ++i) {
      TQXLScanSearchCondition& c2 = *Conditions.Item(i);
      if (!IsIndexCondition(c2) || c2.IndexID != index) continue;
      bool mergedIntoAny = false;
      for (std::int32_t j = 0; j < merged.Count(); ++j) {
        TQXLScanSearchCondition& c1 = *merged.Item(j);
        if (c1.IndexID != index || !CanIntersectScanConditions(c1, c2)) continue;
        bool isMerged = false;
        IntersectScanConditions(c1, c2, IsEmptyRange, isMerged);
        if (IsEmptyRange) return;
        mergedIntoAny = mergedIntoAny || isMerged;
      }
      if (!mergedIntoAny) merged.AddCondition(c2);
    }
  RemoveDuplicateScanConditions(merged);
  for (std::int32_t i = 0; i < Conditions.Count(); ++i)
    if (Conditions.Item(i)->Expression) merged.AddCondition(*Conditions.Item(i));
  Conditions = std::move(merged);
}

TQXLIndex& TQXLTableData::ConditionIndex(std::int32_t IndexID, std::int32_t NilCode) {
  if (!FIndexManager || !FIndexManager->IndexDefs().GetIndexDefByObjectId(IndexID))
    throw EQXLException(NilCode, "Pointer is nil");
  return *FIndexManager->OpenIndex(IndexID);
}

bool TQXLTableData::IsUniqueKeyIndex(std::int32_t IndexID) {
  const TQXLIndexDef* def = FIndexManager ? FIndexManager->IndexDefs().GetIndexDefByObjectId(IndexID) : nullptr;
  if (!def) return false;
  if (def->Unique || def->Primary) return true;
  if (def->ColumnCount() == 0 || !FFieldManager) return false;
  const TQXLFieldDef* field = FFieldManager->FieldDefs().GetFieldDefByName(def->GetIndexColumn(0).FieldName);
  return field && qxl::IsAutoincFieldType(field->AdvancedFieldType);
}

bool TQXLTableData::HasRemainingConditions(const TQXLScanSearchConditionArray& Conditions,
                                           std::int32_t ScanConditionNo, std::int32_t ScanEndConditionNo,
                                           const TQXLFilterRecordEvent* FilterRecord) const {
  if (FilterRecord && *FilterRecord) return true;
  for (std::int32_t i = 0; i < Conditions.Count(); ++i) {
    if (i == ScanConditionNo || i == ScanEndConditionNo) continue;
    const TQXLScanSearchCondition& c = *Conditions.Item(i);
    if (c.CreatedFromExpression || (c.Expression && c.Expression->IsEmpty())) continue;
    return true;
  }
  return false;
}

bool TQXLTableData::ChooseObviousScanCondition(TQXLScanSearchConditionArray& Conditions, std::int32_t CursorIndexID,
                                               std::int32_t& ScanConditionNo) {
  std::int32_t indexConditions = 0;
  std::int32_t lone = -1;
  for (std::int32_t i = 0; i < Conditions.Count(); ++i) {
    const TQXLScanSearchCondition& c = *Conditions.Item(i);
    if (!IsIndexCondition(c)) continue;
    ++indexConditions;
    lone = i;
    const TQXLIndexDef* def = FIndexManager->IndexDefs().GetIndexDefByObjectId(c.IndexID);
    if (c.Condition == scEqual && def && def->ColumnCount() == 1 && IsUniqueKeyIndex(c.IndexID)) {
      ScanConditionNo = i;
      return true;
    }
  }
  if (indexConditions != 1 || Conditions.Item(lone)->IndexID != CursorIndexID) return false;
  ScanConditionNo = lone;
  return true;
}

bool TQXLTableData::ChooseCursorIndexRange(const TQXLScanSearchConditionArray& Conditions,
                                           std::int32_t CursorIndexID, std::int32_t& ScanConditionNo,
                                           std::int32_t& ScanEndConditionNo) {
  if (CursorIndexID == -1) return false;
  std::int32_t first = -1;
  std::int32_t count = 0;
  for (std::int32_t i = 0; i < Conditions.Count(); ++i) {
    const TQXLScanSearchCondition& c = *Conditions.Item(i);
    if (!IsIndexCondition(c)) continue;
    // A merged pair stands side by side; anything else is left to the costs.
    if (++count > 2 || c.IndexID != CursorIndexID || (count == 2 && i != first + 1)) return false;
    if (count == 1) first = i;
  }
  if (count != 2) return false;
  ScanConditionNo = first;
  ScanEndConditionNo = first + 1;
  return true;
}

double TQXLTableData::PageDataSize() const { return FPageManager ? FPageManager->PageDataSize() : 0.0; }

double TQXLTableData::IndexEntrySize(TQXLIndex& Index) {
  if (const std::int32_t size = Index.KeyEntrySize(); size > 0) return size;
  // Each column's value and its NULL flag, and the 6-byte record reference.
  double size = 6;
  const TQXLIndexDef* def = Index.IndexDef();
  for (std::int32_t i = 0; def && FFieldManager && i < def->ColumnCount(); ++i)
    if (const TQXLFieldDef* f = FFieldManager->FieldDefs().GetFieldDefByName(def->GetIndexColumn(i).FieldName))
      size += f->MemoryDataSize + 1;
  return size;
}

double TQXLTableData::CandidateCost(std::int32_t SessionID, TQXLScanSearchConditionArray& Conditions,
                                    std::int32_t Start, std::int32_t End, std::int32_t CursorIndexID,
                                    const TQXLFilterRecordEvent* FilterRecord) {
  const std::int32_t indexID = Conditions.Item(Start)->IndexID;
  TQXLIndex& index = ConditionIndex(indexID, 20058);
  const double pages = PageDataSize();
  const double n = static_cast<double>(index.GetApproxRangeRecordCount(
      SessionID, FRecordManager->RecordCount(), Conditions.Item(Start), Conditions.Item(End)));
  const double entry = IndexEntrySize(index);
  const double record = FFieldManager ? FFieldManager->FieldDefs().GetDiskRecordBufferSize() : 0;
  const bool otherOrder = CursorIndexID != -1 && CursorIndexID != indexID;
  double cost = n * entry / pages;
  bool remaining = false;
  {
    qxl::TQXLExtractedConditions extracted(Conditions, Start, End == Start ? -1 : End);
    remaining = HasRemainingConditions(Conditions, Start, End, FilterRecord);
  }
  if (remaining || otherOrder) cost += record / pages * n;
  if (otherOrder) cost += n * entry / pages;
  return cost;
}

// A walk of the whole table reads the records between where it starts and
// the end it goes to: all of them from an end of the table, else those after
// (going backward, before) the cursor's record.
double TQXLTableData::FullScanCost(std::int32_t SessionID, std::int32_t CursorIndexID,
                                   const TQXLPageItemID& CurrentRecordID, bool Restart, bool GoForward) {
  const std::int64_t count = FRecordManager->RecordCount();
  std::int64_t ahead = count;
  if (!Restart) {
    const std::int64_t recNo = FRecordManager->GetApproximateRecNo(SessionID, CurrentRecordID);
    // A record the table cannot place leaves the whole table to read.
    if (recNo >= 1 && recNo <= count) ahead = GoForward ? count - recNo : recNo - 1;
  }
  const double m = static_cast<double>(ahead);
  if (CursorIndexID != -1) return m;
  const double record = FFieldManager ? FFieldManager->FieldDefs().GetDiskRecordBufferSize() : 0;
  return m * record / PageDataSize();
}

void TQXLTableData::ChooseCheapestScanCondition(std::int32_t SessionID, TQXLScanSearchConditionArray& Conditions,
                                                std::int32_t CursorIndexID, const TQXLPageItemID& CurrentRecordID,
                                                bool Restart, bool GoForward,
                                                const TQXLFilterRecordEvent* FilterRecord,
                                                std::int32_t& ScanConditionNo, std::int32_t& ScanEndConditionNo) {
  // Without a page size no figure means anything: the table is walked.
  if (PageDataSize() <= 0) return;
  double best = static_cast<double>(FRecordManager->RecordCount());
  for (std::int32_t i = 0; i < Conditions.Count(); ++i) {
    const TQXLScanSearchCondition& c = *Conditions.Item(i);
    if (!IsIndexCondition(c)) continue;
    const bool pair = i + 1 < Conditions.Count() && IsIndexCondition(*Conditions.Item(i + 1)) &&
                      Conditions.Item(i + 1)->IndexID == c.IndexID;
    const std::int32_t end = pair ? i + 1 : i;
    const double cost = CandidateCost(SessionID, Conditions, i, end, CursorIndexID, FilterRecord);
    if (cost < best) {
      best = cost;
      ScanConditionNo = i;
      ScanEndConditionNo = pair ? end : -1;
    }
    i = end;
  }
  if (ScanConditionNo != -1 && FullScanCost(SessionID, CursorIndexID, CurrentRecordID, Restart, GoForward) < best) {
    ScanConditionNo = -1;
    ScanEndConditionNo = -1;
  }
}

void TQXLTableData::PutInScanOrder(TQXLScanSearchConditionArray& Conditions, bool GoForward,
                                   std::int32_t& ScanConditionNo, std::int32_t& ScanEndConditionNo) {
  TQXLScanSearchCondition* start = Conditions.Item(ScanConditionNo);
  TQXLScanSearchCondition* end = Conditions.Item(ScanEndConditionNo);
  TQXLIndex& index = ConditionIndex(start->IndexID, 20273);
  // An equality bounds the range on both sides; the bound paired with it
  // tells which side the equality stands for.
  const std::int32_t cmp = index.CompareConditions(start, end);
  const bool startIsLower = cmp < 0 || (cmp == 0 && index.CompareConditions(end, start) > 0);
  if (startIsLower != GoForward) std::swap(ScanConditionNo, ScanEndConditionNo);
}

void TQXLTableData::ChooseScanConditions(std::int32_t SessionID, TQXLScanSearchConditionArray& Conditions,
                                         std::int32_t CursorIndexID, const TQXLPageItemID& CurrentRecordID,
                                         bool Restart, bool GoForward, const TQXLFilterRecordEvent* FilterRecord,
                                         std::int32_t& ScanConditionNo, std::int32_t& ScanEndConditionNo) {
  ScanConditionNo = -1;
  ScanEndConditionNo = -1;
  if (ChooseObviousScanCondition(Conditions, CursorIndexID, ScanConditionNo)) return;
  // The walk of the cursor's own range is the cheapest walk in its order
  // whatever the figures say, and pricing it costs two descents of the index
  // at every step through the range.
  if (!ChooseCursorIndexRange(Conditions, CursorIndexID, ScanConditionNo, ScanEndConditionNo))
    ChooseCheapestScanCondition(SessionID, Conditions, CursorIndexID, CurrentRecordID, Restart, GoForward, FilterRecord,
                                ScanConditionNo, ScanEndConditionNo);
  if (ScanConditionNo != -1 && ScanEndConditionNo != -1)
    PutInScanOrder(Conditions, GoForward, ScanConditionNo, ScanEndConditionNo);
}

}  // namespace qxl
