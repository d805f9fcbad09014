// The record search of a table: one plan of scan conditions, then one of four
// walks (the whole table, the cursor's own index range, an index range in
// physical order, another index's range in the cursor's order), each testing
// what the chosen range leaves open and filling the cursor's bitmap on request.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "engine/core/QXLException.h"
#include "engine/core/QXLExpression.h"
#include "engine/core/containers/QXLOwnedBlock.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/search/QXLCursorWalk.h"
#include "engine/core/search/QXLExtractedConditions.h"
#include "engine/core/search/QXLRecordIterator.h"
#include "engine/core/search/QXLSearchPlanner.h"
#include "engine/core/abstract/QXLRecordBitmap.h"
#include "engine/core/abstract/QXLTableData.h"

namespace qxl {

namespace {

// A record-sized work buffer of the engine memory manager.
class TWorkBuffer {
public:
  explicit TWorkBuffer(std::int32_t Size)
      : FBlock(QXLMemoryManager().AllocMem(std::max<std::int32_t>(Size, 1))) {}
  std::uint8_t* Get() const { return static_cast<std::uint8_t*>(FBlock.get()); }

private:
  TQXLOwnedBlock FBlock;
};

// An index's search state, freed on every way out.
class TSearchInfo {
public:
  explicit TSearchInfo(TQXLIndex& Index) : FIndex(Index), FInfo(Index.CreateSearchInfo()) {}
  ~TSearchInfo() { FIndex.FreeSearchInfo(FInfo); }
  TSearchInfo(const TSearchInfo&) = delete;
  TSearchInfo& operator=(const TSearchInfo&) = delete;
  void* Get() const { return FInfo; }

private:
  TQXLIndex& FIndex;
  void* FInfo;
};

void BindExpressions(const TQXLScanSearchConditionArray& Conditions, std::uint8_t* Buffer) {
  for (std::int32_t i = 0; i < Conditions.Count(); ++i)
    if (TQXLBaseExpression* e = Conditions.Item(i)->Expression) e->AssignCursorBuffer(Buffer, false);
}

// Whether a found record lies beyond the reference in the walk's direction.
bool IsAhead(std::int32_t Cmp, bool GoForward) { return GoForward ? Cmp > 0 : Cmp < 0; }

[[noreturn]] void NoIndexPosition(std::int32_t Code, std::int32_t IndexID, const TQXLPageItemID& RecordID) {
  const std::int32_t page = RecordID.PageNo;
  const std::int32_t item = RecordID.PageItemNo;
  throw EQXLException(Code, "Cannot find record position in index %d, RecordID = %d %d", {IndexID, page, item});
}

}  // namespace

bool TQXLTableData::FindRecord(TQXLCursor* Cursor, TQXLBaseExpression* SearchExpression,
                               const TQXLScanSearchCondition* KeyCondition, bool Restart, bool GoForward,
                               TQXLPageItemID* FoundRecordID, TQXLRecordBitmap* Bitmap, bool RebuildBitmap) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  if (!FRecordManager || FRecordManager->RecordCount() == 0) return false;
  if (Bitmap && (RebuildBitmap || Bitmap->Outdated())) ResetRecordBitmap(*Bitmap, Cursor->FIndexID);
  bool found = false;
  TQXLPageItemID id{};
  if (Bitmap && Bitmap->Active())
    found = FindRecordInBitmap(Cursor->SessionID(), Restart, GoForward, Cursor->CurrentRecordID, id, *Bitmap,
                               Cursor->FIndexID);
  else {
    TQXLRecordIterator walk(*this,
                            TQXLSearchPlanner(*this).Plan(Cursor, SearchExpression, KeyCondition, Restart, GoForward),
                            Cursor->SessionID());
    walk.SetFilter(&Cursor->FilterRecord, Cursor, Cursor->Dataset);
    walk.SetBitmap(Bitmap, RebuildBitmap, Cursor->FIndexPositionCache.get());
    walk.Seek(Restart, Cursor->CurrentRecordID);
    found = GoForward ? walk.Next() : walk.Prior();
    id = walk.RecordID();
    if (RebuildBitmap && Bitmap) Bitmap->SetActive(true);
    if (Restart) ApplyDistinctAfterRestart(Cursor);
  }
  if (found && FoundRecordID) *FoundRecordID = id;
  return found;
}

bool TQXLTableData::WalkView(TQXLCursor* Cursor, bool Restart, bool GoForward, TQXLPageItemID& Found, bool& Read) {
  Read = false;
  if (!FRecordManager || FRecordManager->RecordCount() == 0) return false;
  TQXLRecordBitmap* bitmap = Cursor->FRecordBitmap.get();
  if (bitmap && bitmap->Outdated()) ResetRecordBitmap(*bitmap, Cursor->FIndexID);
  if (bitmap && bitmap->Active()) {
    Cursor->FWalk.reset();
    return FindRecordInBitmap(Cursor->SessionID(), Restart, GoForward, Cursor->CurrentRecordID, Found, *bitmap,
                              Cursor->FIndexID);
  }
  std::shared_ptr<TQXLCursorWalk> walk = std::move(Cursor->FWalk);
  if (Restart || !walk || !walk->Fits(*this, *Cursor)) {
    walk.reset();
    auto iterator = std::make_unique<TQXLRecordIterator>(
        *this, TQXLSearchPlanner(*this).Plan(Cursor, nullptr, nullptr, Restart, GoForward), Cursor->SessionID());
    iterator->SetFilter(&Cursor->FilterRecord, Cursor, Cursor->Dataset);
    iterator->SetBitmap(bitmap, false, Cursor->FIndexPositionCache.get());
    iterator->Seek(Restart, Cursor->CurrentRecordID);
    walk = std::make_shared<TQXLCursorWalk>(*this, *Cursor, std::move(iterator));
  }
  TQXLRecordIterator& iterator = walk->Iterator();
  iterator.SetRecordBuffer(Cursor->FCurrentRecordBuffer);
  const bool found = GoForward ? iterator.Next() : iterator.Prior();
  iterator.SetRecordBuffer(nullptr);
  if (found) {
    Found = iterator.RecordID();
    Read = true;
  }
  if (Restart) ApplyDistinctAfterRestart(Cursor);
  // Only a walk that keeps its place saves anything by being kept.
  if (iterator.KeepsPlace() && TQXLCursorWalk::CanKeep(*Cursor)) Cursor->FWalk = std::move(walk);
  return found;
}

void TQXLTableData::ApplyDistinctAfterRestart(TQXLCursor* Cursor) {
  TQXLRecordBitmap* bitmap = Cursor->FRecordBitmap.get();
  if (!bitmap || !bitmap->Active() || !Cursor->IsDistinctApplied()) return;
  ConditionIndex(Cursor->FIndexID, 20058)
      .ApplyDistinctToRecordBitmap(Cursor->SessionID(), *bitmap, Cursor->FDistinctFieldCount);
}

bool TQXLTableData::FindRecordByScanConditions(TQXLRecordSearch& Search) {
  const std::int32_t count = Search.Conditions->Count();
  const std::int32_t no = Search.ScanConditionNo;
  if (no == -1) return FindRecordByFullScan(Search);
  if (no < -1 || no >= count || Search.ScanEndConditionNo < -1 || Search.ScanEndConditionNo >= count)
    throw EQXLException(10382, "Invalid condition number = %d, count = %d", {no, count});
  if (Search.CursorIndexID == -1) return FindRecordByIndexRangeInPhysicalOrder(Search);
  if (Search.Conditions->Item(no)->IndexID == Search.CursorIndexID) return FindRecordByCursorIndexRange(Search);
  return FindRecordByOtherIndexRange(Search);
}

void TQXLTableData::ShowFound(TQXLRecordSearch& Search, const TQXLPageItemID& RecordID) {
  if (Search.Bitmap) Search.Bitmap->ShowRecord(RecordID);
}

bool TQXLTableData::ReadRecordByID(std::int32_t SessionID, const TQXLPageItemID& RecordID,
                                   std::uint8_t* RecordBuffer) {
  TQXLNavigationInfo nav;
  nav.GetRecordMode = grmCurrent;
  nav.IndexID = -1;
  nav.RecordID = RecordID;
  nav.RecordBuffer = RecordBuffer;
  ReadRecordBuffer(SessionID, nav, nullptr, FRecordManager ? FRecordManager->TableState() : 0);
  return nav.GetRecordResult == grrOK;
}

bool TQXLTableData::FindRecordByFullScan(TQXLRecordSearch& Search) {
  TWorkBuffer buffer(FRecordManager->RecordBufferSize());
  BindExpressions(*Search.Conditions, buffer.Get());
  TQXLNavigationInfo nav;
  nav.RecordID = Search.CurrentRecordID;
  nav.FirstPosition = Search.Restart && Search.GoForward;
  nav.LastPosition = Search.Restart && !Search.GoForward;
  nav.GetRecordMode = Search.GoForward ? grmNext : grmPrior;
  nav.IndexID = Search.CursorIndexID;
  nav.RecordBuffer = buffer.Get();
  TQXLIndexPositionCache cache;
  const bool byIndex = Search.Bitmap && Search.Bitmap->IndexBased() && Search.CursorIndexID != -1;
  std::unique_ptr<TQXLIndexPosition> position;
  while (true) {
    ReadRecordBuffer(Search.SessionID, nav, &cache, FRecordManager->TableState());
    if (nav.GetRecordResult != grrOK) break;
    const TQXLPageItemID id = nav.RecordID;
    if (!RecordMatchesConditions(Search, buffer.Get(), id)) continue;
    if (byIndex) {
      TQXLIndex& index = ConditionIndex(Search.CursorIndexID, 20058);
      if (!position) position = index.CreateIndexPosition();
      // The walk's cache holds the place; an index that keeps none is asked.
      const TQXLIndexPosition* at = cache.Position ? cache.Position.get() : position.get();
      if (!cache.Position && !index.GetIndexPosition(Search.SessionID, id, buffer.Get(), *position))
        NoIndexPosition(10432, Search.CursorIndexID, id);
      Search.Bitmap->ShowRecord(Search.CursorIndexID, *at);
    } else
      ShowFound(Search, id);
    if (!Search.RebuildBitmap) break;
  }
  Search.FoundRecordID = nav.RecordID;
  return nav.GetRecordResult == grrOK;
}

bool TQXLTableData::FindRecordByCursorIndexRange(TQXLRecordSearch& Search) {
  TQXLScanSearchConditionArray& conditions = *Search.Conditions;
  TQXLIndex& index = ConditionIndex(conditions.Item(Search.ScanConditionNo)->IndexID, 20058);
  TWorkBuffer buffer(FRecordManager->RecordBufferSize());
  BindExpressions(conditions, buffer.Get());
  TQXLPageItemID id = Search.CurrentRecordID;
  if (!Search.Restart && !ReadRecordByID(Search.SessionID, id, buffer.Get())) return false;
  TQXLScanSearchCondition* start = conditions.Item(Search.ScanConditionNo);
  TQXLScanSearchCondition* end = Search.ScanEndConditionNo == -1 ? nullptr : conditions.Item(Search.ScanEndConditionNo);
  const bool remaining =
      HasRemainingConditions(conditions, Search.ScanConditionNo, Search.ScanEndConditionNo, Search.FilterRecord);
  if (!remaining && CanStepWithinRange(Search, buffer.Get())) return StepWithinRange(Search, buffer.Get());
  TSearchInfo info(index);
  std::unique_ptr<TQXLIndexPosition> position;
  bool restart = Search.Restart;
  bool found = false;
  while ((found = index.FindRecord(Search.SessionID, restart, Search.GoForward, start, end, buffer.Get(), id,
                                   info.Get()))) {
    restart = false;
    bool read = remaining && ReadRecordByID(Search.SessionID, id, buffer.Get());
    if (remaining && !(read && RecordMatchesConditions(Search, buffer.Get(), id))) continue;
    // The bitmap is never active here, and whatever activates it resets it
    // first, so only a walk that builds it needs its records placed: for a
    // walk that stops at its first match the placing would cost a read of
    // the record and a descent of the tree for a bit nobody reads.
    if (Search.Bitmap && Search.RebuildBitmap) {
      // The index places a record by its values, which a walk with nothing
      // left to test has not read.
      if (!read) read = ReadRecordByID(Search.SessionID, id, buffer.Get());
      if (!position) position = index.CreateIndexPosition();
      if (!read || !index.GetIndexPosition(Search.SessionID, id, buffer.Get(), *position))
        NoIndexPosition(10432, Search.CursorIndexID, id);
      Search.Bitmap->ShowRecord(Search.CursorIndexID, *position);
    }
    if (!Search.RebuildBitmap) break;
  }
  Search.FoundRecordID = id;
  return found;
}

// The range is one run of the cursor's index, so from a record inside it the
// next record of the range is the index's next entry or none: a search that
// would descend the index three times to find that out steps once.
bool TQXLTableData::CanStepWithinRange(const TQXLRecordSearch& Search, const std::uint8_t* CurrentRecord) {
  if (Search.Restart || Search.RebuildBitmap) return false;
  const TQXLScanSearchConditionArray& conditions = *Search.Conditions;
  for (std::int32_t no : {Search.ScanConditionNo, Search.ScanEndConditionNo}) {
    if (no == -1) continue;
    const TQXLScanSearchCondition& c = *conditions.Item(no);
    // A prefix of a text key is not what the whole-key comparison tests.
    if (c.PartialCompare || !IsKeyConditionMet(c, CurrentRecord)) return false;
  }
  return true;
}

bool TQXLTableData::StepWithinRange(TQXLRecordSearch& Search, std::uint8_t* Buffer) {
  TQXLNavigationInfo nav;
  nav.GetRecordMode = Search.GoForward ? grmNext : grmPrior;
  nav.IndexID = Search.CursorIndexID;
  nav.RecordID = Search.CurrentRecordID;
  nav.RecordBuffer = Buffer;
  ReadRecordBuffer(Search.SessionID, nav, Search.PositionCache, FRecordManager->TableState());
  if (nav.GetRecordResult != grrOK) return false;
  const TQXLScanSearchConditionArray& conditions = *Search.Conditions;
  for (std::int32_t no : {Search.ScanConditionNo, Search.ScanEndConditionNo})
    if (no != -1 && !IsKeyConditionMet(*conditions.Item(no), Buffer)) return false;
  Search.FoundRecordID = nav.RecordID;
  return true;
}

bool TQXLTableData::FindRecordByIndexRangeInPhysicalOrder(TQXLRecordSearch& Search) {
  TQXLScanSearchConditionArray& conditions = *Search.Conditions;
  TQXLScanSearchCondition* start = conditions.Item(Search.ScanConditionNo);
  TQXLScanSearchCondition* end = Search.ScanEndConditionNo == -1 ? nullptr : conditions.Item(Search.ScanEndConditionNo);
  TQXLIndex& index = ConditionIndex(start->IndexID, 20058);
  const bool oneColumnEqual = start->Condition == scEqual && index.IndexDef()->ColumnCount() == 1;
  const bool uniqueLookup = oneColumnEqual && !start->PartialCompare;
  TWorkBuffer buffer(FRecordManager->RecordBufferSize());
  BindExpressions(conditions, buffer.Get());
  TQXLPageItemID id = Search.CurrentRecordID;
  // Equal keys lie in physical order, so an equality goes on from the current
  // record; one that no longer holds the key lies outside the range, and the
  // range is walked from its start.
  bool restart = Search.Restart || !oneColumnEqual || !ReadRecordByID(Search.SessionID, id, buffer.Get()) ||
                 !IsKeyConditionMet(*start, buffer.Get());
  if (Search.Bitmap && Search.Restart) ResetRecordBitmap(*Search.Bitmap, -1);
  const bool remaining =
      HasRemainingConditions(conditions, Search.ScanConditionNo, Search.ScanEndConditionNo, Search.FilterRecord);
  TSearchInfo info(index);
  bool haveBest = false;
  TQXLPageItemID best{};
  while (index.FindRecord(Search.SessionID, restart, Search.GoForward, start, end, buffer.Get(), id, info.Get())) {
    restart = false;
    if (remaining &&
        !(ReadRecordByID(Search.SessionID, id, buffer.Get()) && RecordMatchesConditions(Search, buffer.Get(), id)))
      continue;
    ShowFound(Search, id);
    if (Search.RebuildBitmap) continue;
    if (!Search.Restart && !IsAhead(FRecordManager->CompareRecordID(id, Search.CurrentRecordID), Search.GoForward))
      continue;
    if (!haveBest) {
      haveBest = true;
      best = id;
      if (uniqueLookup) break;
    } else if (IsAhead(FRecordManager->CompareRecordID(best, id), Search.GoForward))
      best = id;
  }
  if (Search.Bitmap && Search.Restart && !Search.RebuildBitmap && !uniqueLookup) Search.Bitmap->SetActive(true);
  Search.FoundRecordID = best;
  return haveBest && !Search.RebuildBitmap;
}

bool TQXLTableData::FindRecordByOtherIndexRange(TQXLRecordSearch& Search) {
  TQXLScanSearchConditionArray& conditions = *Search.Conditions;
  TQXLScanSearchCondition* start = conditions.Item(Search.ScanConditionNo);
  TQXLScanSearchCondition* end = Search.ScanEndConditionNo == -1 ? nullptr : conditions.Item(Search.ScanEndConditionNo);
  const std::int32_t cursorIndexID = Search.CursorIndexID;
  TQXLIndex& order = ConditionIndex(cursorIndexID, 20058);
  TQXLIndex& index = ConditionIndex(start->IndexID, 20058);
  TWorkBuffer buffer(FRecordManager->RecordBufferSize());
  BindExpressions(conditions, buffer.Get());
  std::unique_ptr<TQXLIndexPosition> current = order.CreateIndexPosition();
  if (!Search.Restart) {
    TQXLNavigationInfo nav;
    nav.RecordID = Search.CurrentRecordID;
    nav.RecordBuffer = buffer.Get();
    ReadRecordBuffer(Search.SessionID, nav, nullptr, FRecordManager->TableState());
    if (nav.GetRecordResult != grrOK) NoIndexPosition(10387, cursorIndexID, Search.CurrentRecordID);
    if (!(nav.RecordID == Search.CurrentRecordID)) NoIndexPosition(10415, cursorIndexID, Search.CurrentRecordID);
    if (!order.GetIndexPosition(Search.SessionID, Search.CurrentRecordID, buffer.Get(), *current))
      NoIndexPosition(10386, cursorIndexID, Search.CurrentRecordID);
    // The nearest match is judged from this place: it must hold the record.
    TQXLPageItemID placed{};
    IndexPositionToRecordID(Search.SessionID, cursorIndexID, *current, placed);
    if (!(placed == Search.CurrentRecordID)) NoIndexPosition(10414, cursorIndexID, Search.CurrentRecordID);
  }
  if (Search.Bitmap && Search.Restart) ResetRecordBitmap(*Search.Bitmap, cursorIndexID);
  TSearchInfo info(index);
  std::unique_ptr<TQXLIndexPosition> position = order.CreateIndexPosition();
  std::unique_ptr<TQXLIndexPosition> best;
  TQXLPageItemID bestID{};
  TQXLPageItemID id = Search.CurrentRecordID;
  bool restart = true;
  while (index.FindRecord(Search.SessionID, restart, Search.GoForward, start, end, buffer.Get(), id, info.Get())) {
    restart = false;
    if (!ReadRecordByID(Search.SessionID, id, buffer.Get()) || !RecordMatchesConditions(Search, buffer.Get(), id))
      continue;
    if (!order.GetIndexPosition(Search.SessionID, id, buffer.Get(), *position))
      NoIndexPosition(10432, cursorIndexID, id);
    if (Search.Bitmap) Search.Bitmap->ShowRecord(cursorIndexID, *position);
    if (Search.RebuildBitmap) continue;
    if (!Search.Restart && !IsAhead(order.CompareRecordPositionsInIndex(*position, *current), Search.GoForward))
      continue;
    if (best && !IsAhead(order.CompareRecordPositionsInIndex(*best, *position), Search.GoForward)) continue;
    std::swap(best, position);
    if (!position) position = order.CreateIndexPosition();
    bestID = id;
  }
  if (Search.Bitmap && Search.Restart && !Search.RebuildBitmap) Search.Bitmap->SetActive(true);
  Search.FoundRecordID = bestID;
  return best && !Search.RebuildBitmap;
}

bool TQXLTableData::IsKeyConditionMet(const TQXLScanSearchCondition& Condition, const std::uint8_t* RecordBuffer) {
  const std::int32_t cmp = ConditionIndex(Condition.IndexID, 20058)
                               .CompareRecordBuffersByIndex(RecordBuffer, Condition.KeyRecordBuffer,
                                                            Condition.KeyFieldCount);
  switch (Condition.Condition) {
    case scEqual: return cmp == 0;
    case scLower: return cmp < 0;
    case scGreater: return cmp > 0;
    case scLowerEqual: return cmp <= 0;
    case scGreaterEqual: return cmp >= 0;
    default: return false;
  }
}

bool TQXLTableData::RecordMatchesConditions(const TQXLRecordSearch& Search, std::uint8_t* RecordBuffer,
                                            const TQXLPageItemID& RecordID) {
  const TQXLScanSearchConditionArray& conditions = *Search.Conditions;
  for (std::int32_t i = 0; i < conditions.Count(); ++i) {
    if (i == Search.ScanConditionNo || i == Search.ScanEndConditionNo) continue;
    const TQXLScanSearchCondition& c = *conditions.Item(i);
    if (!c.Expression) {
      if (!IsKeyConditionMet(c, RecordBuffer)) return false;
    } else if (!c.Expression->IsEmpty() && !c.Expression->GetResult())
      return false;
  }
  return !Search.FilterRecord || !*Search.FilterRecord || PassesFilterRecord(Search, RecordBuffer, RecordID);
}

bool TQXLTableData::PassesFilterRecord(const TQXLRecordSearch& Search, const std::uint8_t* RecordBuffer,
                                       const TQXLPageItemID& RecordID) {
  TQXLCursor* handle = Search.FilterCursor;
  std::uint8_t* buffer = handle->AllocateRecordBuffer();
  struct TRelease {
    TQXLTableData* Table;
    TQXLCursor* Handle;
    std::uint8_t*& Buffer;
    ~TRelease() {
      Table->ClearBlobsCacheInRecordBuffer(Buffer);
      Handle->FreeRecordBuffer(Buffer);
    }
  } release{this, handle, buffer};
  // The dataset's buffer holds the record and, after it, the bookmark.
  const std::int32_t size = std::min(FRecordManager->RecordBufferSize(), handle->FRecordBufferSize);
  if (size > 0) std::memcpy(buffer, RecordBuffer, static_cast<std::size_t>(size));
  if (handle->FBookmarkOffset >= size && handle->FBookmarkOffset + 6 <= handle->FRecordBufferSize)
    std::memcpy(buffer + handle->FBookmarkOffset, &RecordID, 6);
  return (*Search.FilterRecord)(buffer, Search.Dataset);
}

}  // namespace qxl
