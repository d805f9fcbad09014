// Range work of a record index for the search: one step of an index scan
// between a start and an end key, comparisons of records and conditions by
// the index's columns, and the estimated size of a range.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/core/QXLException.h"
#include "engine/storage/btree/QXLBTreeRecordIndex.h"
#include "engine/storage/btree/QXLKeyCompareScope.h"

namespace qxl {

bool TQXLBTreeRecordIndex::FindByScanCondition(std::int32_t SessionID, bool First,
                                               const TQXLScanSearchCondition& Condition, bool PartialCompare,
                                               TQXLKeyPath& Position) {
  if (!Condition.KeyRecordBuffer) throw EQXLException(20077, "Pointer is nil");
  TQXLBTreePage Root = FetchRoot(SessionID, 20123);
  TQXLKeyCompareScope Scope(*FKeyRef);
  Scope.SetFieldCount(Condition.KeyFieldCount);
  TQXLOwnedBlock Key = FKeyRef->AllocShortKeyBuffer();
  auto* KeyBytes = static_cast<std::uint8_t*>(Key.get());
  FKeyRef->MakeShortKeyFromRecordBuffer(Condition.KeyRecordBuffer, KeyBytes);
  Scope.SetPartialCompare(Condition.KeyRecordBuffer, PartialCompare);
  Position.Clear();
  return Root.FindByCondition(SessionID, First, KeyBytes, Condition.Condition, Position);
}

bool TQXLBTreeRecordIndex::FindScanStart(std::int32_t SessionID, bool Restart, bool GoForward,
                                         TQXLScanSearchCondition* StartScanCondition, std::uint8_t* RecordBuffer,
                                         const TQXLPageItemID& RecordID, TQXLIndexSearchInfo& SearchInfo) {
  TQXLKeyPath& Position = SearchInfo.Position;
  if (!StartScanCondition) {
    if (Restart) return Navigate(SessionID, true, Position, GoForward);
    return GetIndexPosition(SessionID, RecordID, RecordBuffer, Position);
  }
  if (!FindByScanCondition(SessionID, GoForward, *StartScanCondition, StartScanCondition->PartialCompare, Position))
    return false;
  if (Restart) return true;
  // Continuing from the current record: from there, unless it lies before
  // the range, where the next step must land on the range's first entry.
  TQXLKeyPath Current;
  if (!GetIndexPosition(SessionID, RecordID, RecordBuffer, Current)) return false;
  const std::int32_t Order = Current.Compare(Position);
  if (GoForward ? Order < 0 : Order > 0) {
    if (GoForward) GotoPrior(SessionID, Position);
    else GotoNext(SessionID, Position);
  } else {
    Position.Assign(Current);
  }
  return true;
}

bool TQXLBTreeRecordIndex::FindScanEnd(std::int32_t SessionID, bool GoForward,
                                       TQXLScanSearchCondition* StartScanCondition,
                                       TQXLScanSearchCondition* EndScanCondition, TQXLIndexSearchInfo& SearchInfo) {
  if (!StartScanCondition) return true;
  SearchInfo.EndPosition = std::make_unique<TQXLKeyPath>();
  const TQXLScanSearchCondition& End = EndScanCondition ? *EndScanCondition : *StartScanCondition;
  return FindByScanCondition(SessionID, !GoForward, End, StartScanCondition->PartialCompare, *SearchInfo.EndPosition);
}

bool TQXLBTreeRecordIndex::FindRecord(std::int32_t SessionID, bool Restart, bool GoForward,
                                      TQXLScanSearchCondition* StartScanCondition,
                                      TQXLScanSearchCondition* EndScanCondition, std::uint8_t* RecordBuffer,
                                      TQXLPageItemID& RecordID, void* SearchInfo) {
  if (!SearchInfo) throw EQXLException(20077, "Pointer is nil");
  auto& Info = *static_cast<TQXLIndexSearchInfo*>(SearchInfo);
  if (Restart && Info.Started) throw EQXLException(20078, "Index error: invalid params");
  bool Result = true;
  if (Restart || !Info.Started)
    Result = FindScanStart(SessionID, Restart, GoForward, StartScanCondition, RecordBuffer, RecordID, Info);
  if (!Info.Started && Result) Result = FindScanEnd(SessionID, GoForward, StartScanCondition, EndScanCondition, Info);
  if (Result) {
    if (!Restart) Result = GoForward ? GotoNext(SessionID, Info.Position) : GotoPrior(SessionID, Info.Position);
    if (Result && Info.EndPosition) {
      const std::int32_t Order = CompareRecordPositionsInIndex(Info.Position, *Info.EndPosition);
      Result = GoForward ? Order <= 0 : Order >= 0;
    }
  }
  if (!Result) return false;
  RecordID = GetReferenceAtPosition(SessionID, Info.Position);
  if (!Info.Started) {
    Info.GoForward = GoForward;
    Info.Started = true;
  }
  return true;
}

bool TQXLBTreeRecordIndex::SeekRange(std::int32_t SessionID, bool Restart, bool GoForward,
                                     TQXLScanSearchCondition* StartScanCondition,
                                     TQXLScanSearchCondition* EndScanCondition, const std::uint8_t* RecordBuffer,
                                     const TQXLPageItemID& RecordID, std::unique_ptr<TQXLIndexPosition>& Position,
                                     std::unique_ptr<TQXLIndexPosition>& EndPosition, bool& AtCandidate) {
  auto Start = std::make_unique<TQXLKeyPath>();
  std::unique_ptr<TQXLKeyPath> End;
  AtCandidate = Restart;
  if (!StartScanCondition) {
    if (Restart ? !Navigate(SessionID, true, *Start, GoForward)
                : !GetIndexPosition(SessionID, RecordID, RecordBuffer, *Start))
      return false;
  } else {
    if (!FindByScanCondition(SessionID, GoForward, *StartScanCondition, StartScanCondition->PartialCompare, *Start))
      return false;
    End = std::make_unique<TQXLKeyPath>();
    const TQXLScanSearchCondition& Last = EndScanCondition ? *EndScanCondition : *StartScanCondition;
    if (!FindByScanCondition(SessionID, !GoForward, Last, StartScanCondition->PartialCompare, *End)) return false;
    if (!Restart) {
      // From a record inside the range (or past its start) the walk goes on
      // from there; from one before it, it begins at the range's first entry.
      TQXLKeyPath Current;
      if (!GetIndexPosition(SessionID, RecordID, RecordBuffer, Current)) return false;
      const std::int32_t Order = Current.Compare(*Start);
      AtCandidate = GoForward ? Order < 0 : Order > 0;
      if (!AtCandidate) Start->Assign(Current);
    }
  }
  Position = std::move(Start);
  EndPosition = std::move(End);
  return true;
}

bool TQXLBTreeRecordIndex::StepRange(std::int32_t SessionID, bool GoForward, bool Step, TQXLIndexPosition& Position,
                                     const TQXLIndexPosition* EndPosition, TQXLPageItemID& RecordID) {
  auto& Path = static_cast<TQXLKeyPath&>(Position);
  if (Step && !(GoForward ? GotoNext(SessionID, Path) : GotoPrior(SessionID, Path))) return false;
  if (EndPosition) {
    const std::int32_t Order = CompareRecordPositionsInIndex(Path, *EndPosition);
    if (GoForward ? Order > 0 : Order < 0) return false;
  }
  RecordID = GetReferenceAtPosition(SessionID, Path);
  return true;
}

bool TQXLBTreeRecordIndex::PositionHolds(std::int32_t SessionID, const TQXLIndexPosition& Position,
                                         const TQXLPageItemID& RecordID) {
  const auto* Path = dynamic_cast<const TQXLKeyPath*>(&Position);
  if (!Path || Path->Count() == 0 || RootPageNo() == -1 || Path->Item(0).PageNo != RootPageNo()) return false;
  const TQXLKeyPathItem& Item = Path->Item(Path->Count() - 1);
  TQXLBTreePage Leaf = FetchIndexPage(SessionID, Item.PageNo);
  if (!Leaf.IsLeaf() || Leaf.EntryCount() != Item.EntryCount || Item.EntryNo < 0 || Item.EntryNo >= Item.EntryCount)
    return false;
  TQXLPageItemID Reference;
  std::memcpy(&Reference, Leaf.GetPReference(Item.EntryNo), RecordReferenceSize);
  return Reference == RecordID;
}

std::int32_t TQXLBTreeRecordIndex::CompareRecordBuffersByIndex(const std::uint8_t* Buffer1,
                                                               const std::uint8_t* Buffer2,
                                                               std::int32_t IndexFieldCount) {
  const auto KeySize = static_cast<std::size_t>(std::max(FKeyRef->FullKeySize, 1));
  FCompareKey1.assign(KeySize, 0);
  FCompareKey2.assign(KeySize, 0);
  std::uint8_t* Bytes1 = FCompareKey1.data();
  std::uint8_t* Bytes2 = FCompareKey2.data();
  FKeyRef->MakeFullKeyFromRecordBuffer(Buffer1, Bytes1);
  FKeyRef->MakeFullKeyFromRecordBuffer(Buffer2, Bytes2);
  TQXLKeyCompareScope Scope(*FKeyRef);
  Scope.SetFieldCount(IndexFieldCount);
  return FKeyRef->CompareFullKeys(Bytes1, Bytes2);
}

std::int32_t TQXLBTreeRecordIndex::CompareConditions(TQXLScanSearchCondition* Condition1,
                                                     TQXLScanSearchCondition*) {
  if (!Condition1) return 0;
  switch (Condition1->Condition) {
    case scGreater:
    case scGreaterEqual: return -1;
    case scLower:
    case scLowerEqual: return 1;
    default: return 0;
  }
}

std::int64_t TQXLBTreeRecordIndex::GetApproxRangeRecordCount(std::int32_t SessionID, std::int64_t TableRecordCount,
                                                             TQXLScanSearchCondition* RangeCondition1,
                                                             TQXLScanSearchCondition* RangeCondition2) {
  if (RootPageNo() == -1) throw EQXLException(20125, "Invalid page number");
  if (!RangeCondition1 || !RangeCondition2) throw EQXLException(20077, "Pointer is nil");
  const bool FirstIsLower = CompareConditions(RangeCondition1, RangeCondition2) < 0;
  TQXLScanSearchCondition& Lower = FirstIsLower ? *RangeCondition1 : *RangeCondition2;
  TQXLScanSearchCondition& Upper = FirstIsLower ? *RangeCondition2 : *RangeCondition1;
  // Both searches compare over the lower bound's columns.
  TQXLScanSearchCondition UpperOverLowerColumns;
  UpperOverLowerColumns.Condition = Upper.Condition;
  UpperOverLowerColumns.KeyRecordBuffer = Upper.KeyRecordBuffer;
  UpperOverLowerColumns.KeyFieldCount = Lower.KeyFieldCount;
  UpperOverLowerColumns.FExternalKeyRecordBuffer = true;
  TQXLKeyPath From, To;
  if (!FindByScanCondition(SessionID, true, Lower, false, From)) return 0;
  if (!FindByScanCondition(SessionID, false, UpperOverLowerColumns, false, To)) return 0;
  const double Share = To.GetApproxRecNoInPercents() - From.GetApproxRecNoInPercents();
  const auto Count = static_cast<std::int64_t>(std::nearbyint(Share * static_cast<double>(TableRecordCount)));
  return std::clamp<std::int64_t>(Count, 0, TableRecordCount);
}

}  // namespace qxl
