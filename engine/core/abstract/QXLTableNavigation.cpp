// Moving a cursor through a table: reads in physical or index order, the
// restricted view through the search and the record bitmap, Locate and
// FindKey, counts and record numbers of the view.
#include <algorithm>
#include <mutex>

#include "engine/core/QXLException.h"
#include "engine/core/QXLExpression.h"
#include "engine/core/containers/QXLOwnedBlock.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/abstract/QXLRecordBitmap.h"
#include "engine/core/abstract/QXLTableData.h"

namespace qxl {

namespace {

// Puts a cursor back where it stood unless the move it guards succeeded.
class TPositionKeeper {
public:
  explicit TPositionKeeper(TQXLCursor* Cursor) : FCursor(Cursor), FPos(Cursor->SavePosition()) {}
  ~TPositionKeeper() {
    if (FPos) FCursor->RestorePosition(*FPos);
  }
  TPositionKeeper(const TPositionKeeper&) = delete;
  TPositionKeeper& operator=(const TPositionKeeper&) = delete;
  void Keep() { FPos.reset(); }

private:
  TQXLCursor* FCursor;
  std::unique_ptr<TQXLCursorPosition> FPos;
};

}  // namespace

void TQXLTableData::ReadRecordBuffer(std::int32_t SessionID, TQXLNavigationInfo& NavigationInfo,
                                     TQXLIndexPositionCache* IndexPositionCache, std::int32_t TableState) {
  if (!FRecordManager) throw EQXLException(10015, "Nil pointer occured");
  if (!FIndexManager) throw EQXLException(10380, "Nil pointer occured");
  if (!NavigationInfo.RecordBuffer) throw EQXLException(10016, "Nil pointer occured");
  if (NavigationInfo.IndexID != -1 && NavigationInfo.GetRecordMode != grmCurrent)
    FIndexManager->GetRecordBuffer(SessionID, NavigationInfo, IndexPositionCache, TableState);
  else
    FRecordManager->GetRecordBuffer(SessionID, NavigationInfo);
}

bool TQXLTableData::FindRecordInBitmap(std::int32_t SessionID, bool Restart, bool GoForward,
                                       const TQXLPageItemID& CurrentRecordID, TQXLPageItemID& FoundRecordID,
                                       TQXLRecordBitmap& Bitmap, std::int32_t IndexID) {
  if (!Bitmap.IndexBased()) return Bitmap.FindRecord(Restart, GoForward, CurrentRecordID, FoundRecordID);
  TQXLIndex& index = ConditionIndex(IndexID, 20058);
  std::unique_ptr<TQXLIndexPosition> current = index.CreateIndexPosition();
  std::unique_ptr<TQXLIndexPosition> found = index.CreateIndexPosition();
  if (!Restart && !RecordIDToIndexPosition(SessionID, IndexID, CurrentRecordID, *current)) return false;
  if (!Bitmap.FindRecord(Restart, GoForward, Restart ? nullptr : current.get(), *found, IndexID)) return false;
  IndexPositionToRecordID(SessionID, IndexID, *found, FoundRecordID);
  return true;
}

bool TQXLTableData::RecordIDToIndexPosition(std::int32_t SessionID, std::int32_t IndexID,
                                            const TQXLPageItemID& RecordID, TQXLIndexPosition& IndexPos) {
  TQXLOwnedBlock buffer(QXLMemoryManager().AllocMem(std::max<std::int32_t>(FRecordManager->RecordBufferSize(), 1)));
  auto* bytes = static_cast<std::uint8_t*>(buffer.get());
  if (!ReadRecordByID(SessionID, RecordID, bytes)) return false;
  return ConditionIndex(IndexID, 20058).GetIndexPosition(SessionID, RecordID, bytes, IndexPos);
}

void TQXLTableData::IndexPositionToRecordID(std::int32_t SessionID, std::int32_t IndexID,
                                            const TQXLIndexPosition& IndexPos, TQXLPageItemID& RecordID) {
  ConditionIndex(IndexID, 20058).GetRecordIDByIndexPosition(SessionID, IndexPos, RecordID);
}

void TQXLTableData::ResetRecordBitmap(TQXLRecordBitmap& Bitmap, std::int32_t IndexID) {
  Bitmap.Clear();
  Bitmap.SetTableState(FRecordManager ? FRecordManager->TableState() : -1);
  Bitmap.SetIndexBased(IndexID != -1);
}

void TQXLTableData::RefreshRecordBitmap(TQXLCursor* Cursor) {
  TQXLRecordBitmap* bitmap = Cursor->FRecordBitmap.get();
  if (!bitmap) return;
  if (bitmap->Active() ? bitmap->Outdated() : Cursor->IsViewRestricted()) RebuildRecordBitmap(Cursor);
}

void TQXLTableData::RebuildRecordBitmap(TQXLCursor* Cursor) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  TQXLRecordBitmap* bitmap = Cursor->FRecordBitmap.get();
  if (!bitmap) return;
  bitmap->Clear();
  bitmap->SetSize(GetRecordBitmapSize(Cursor->SessionID()));
  if (!FRecordManager || FRecordManager->RecordCount() == 0) return;
  // The walk must not overwrite the record the cursor shows.
  struct TRestore {
    TQXLCursor* Cursor;
    std::uint8_t* Buffer;
    TQXLCursorPosition Pos;
    ~TRestore() {
      Cursor->FCurrentRecordBuffer = Buffer;
      Cursor->RestorePosition(Pos);
    }
  } restore{Cursor, Cursor->FCurrentRecordBuffer, *Cursor->SavePosition()};
  Cursor->FCurrentRecordBuffer = nullptr;
  Cursor->FirstPosition = true;
  Cursor->LastPosition = false;
  FindRecord(Cursor, nullptr, nullptr, true, true, nullptr, bitmap, true);
}

bool TQXLTableData::IsCurrentRecordInRange(TQXLCursor* Cursor) {
  if (!Cursor->IsRangeApplied()) return true;
  TQXLIndex& index = ConditionIndex(Cursor->FIndexID, 20058);
  if (Cursor->FRangeStartBuffer) {
    const std::int32_t cmp = index.CompareRecordBuffersByIndex(Cursor->FCurrentRecordBuffer, Cursor->FRangeStartBuffer,
                                                               Cursor->FRangeStartKeyFieldCount);
    if (Cursor->FRangeStartExclusive ? cmp <= 0 : cmp < 0) return false;
  }
  if (Cursor->FRangeEndBuffer) {
    const std::int32_t cmp = index.CompareRecordBuffersByIndex(Cursor->FCurrentRecordBuffer, Cursor->FRangeEndBuffer,
                                                               Cursor->FRangeEndKeyFieldCount);
    if (Cursor->FRangeEndExclusive ? cmp >= 0 : cmp > 0) return false;
  }
  return true;
}

bool TQXLTableData::IsExpressionTrue(TQXLBaseExpression* Expression, std::uint8_t* RecordBuffer) {
  if (!Expression) return true;
  Expression->AssignCursorBuffer(RecordBuffer, false);
  return Expression->GetResult();
}

bool TQXLTableData::IsCurrentRecordVisible(TQXLCursor* Cursor) {
  std::uint8_t* record = Cursor->FCurrentRecordBuffer;
  return IsCurrentRecordInRange(Cursor) && IsExpressionTrue(Cursor->FFilterExpression.get(), record) &&
         IsExpressionTrue(Cursor->FSQLFilterExpression, record) &&
         (!Cursor->FilterRecord || Cursor->FilterRecord(record, Cursor->Dataset));
}

TQXLGetRecordResult TQXLTableData::InternalGetRecordBuffer(TQXLCursor* Cursor, TQXLGetRecordMode GetRecordMode,
                                                           bool RebuildBitmap) {
  const std::int32_t session = Cursor->SessionID();
  if (GetRecordMode != grmCurrent && Cursor->IsViewRestricted()) {
    const bool forward = GetRecordMode == grmNext;
    const TQXLGetRecordResult end = forward ? grrEOF : grrBOF;
    // Before the first record nothing lies behind, after the last nothing ahead.
    if ((forward && Cursor->LastPosition) || (!forward && Cursor->FirstPosition)) return end;
    TQXLPageItemID found{};
    const bool restart = Cursor->FirstPosition || Cursor->LastPosition;
    bool read = false;
    if (RebuildBitmap) {
      if (!FindRecord(Cursor, nullptr, nullptr, restart, forward, &found, Cursor->FRecordBitmap.get(), true))
        return end;
    } else {
      std::lock_guard guard(FDatabaseData->CriticalSection());
      if (!WalkView(Cursor, restart, forward, found, read)) return end;
    }
    if (read) {
      Cursor->CurrentRecordID = found;
      Cursor->FirstPosition = false;
      Cursor->LastPosition = false;
      return grrOK;
    }
    TQXLNavigationInfo nav;
    nav.RecordID = found;
    nav.RecordBuffer = Cursor->FCurrentRecordBuffer;
    ReadRecordBuffer(session, nav, nullptr, FRecordManager->TableState());
    if (nav.GetRecordResult == grrOK) {
      Cursor->CurrentRecordID = found;
      Cursor->FirstPosition = false;
      Cursor->LastPosition = false;
    }
    return nav.GetRecordResult;
  }
  TQXLNavigationInfo nav;
  nav.GetRecordMode = GetRecordMode;
  nav.IndexID = Cursor->FIndexID;
  nav.RecordID = Cursor->CurrentRecordID;
  nav.RecordBuffer = Cursor->FCurrentRecordBuffer;
  nav.FirstPosition = Cursor->FirstPosition;
  nav.LastPosition = Cursor->LastPosition;
  ReadRecordBuffer(session, nav, Cursor->FIndexPositionCache.get(), FRecordManager->TableState());
  if (nav.GetRecordResult == grrOK && Cursor->IsViewRestricted() && !IsCurrentRecordVisible(Cursor)) return grrError;
  Cursor->CurrentRecordID = nav.RecordID;
  Cursor->FirstPosition = nav.FirstPosition;
  Cursor->LastPosition = nav.LastPosition;
  return nav.GetRecordResult;
}

TQXLGetRecordResult TQXLTableData::GetRecordBuffer(TQXLCursor* Cursor, TQXLGetRecordMode GetRecordMode) {
  if (!FRecordManager || FRecordManager->RecordCount() == 0) return grrEOF;
  const bool distinct = Cursor->IsDistinctApplied() && GetRecordMode != grmCurrent && !Cursor->FirstPosition &&
                        !Cursor->LastPosition;
  if (!distinct) return InternalGetRecordBuffer(Cursor, GetRecordMode, false);
  // The current record's key bounds the search so that its repeats are skipped.
  Cursor->FDistinctRecordBuffer = Cursor->AllocateRecordBuffer();
  struct TRelease {
    TQXLCursor* Cursor;
    ~TRelease() { Cursor->FreeRecordBuffer(Cursor->FDistinctRecordBuffer); }
  } release{Cursor};
  if (!ReadRecordByID(Cursor->SessionID(), Cursor->CurrentRecordID, Cursor->FDistinctRecordBuffer)) return grrError;
  return InternalGetRecordBuffer(Cursor, GetRecordMode, false);
}

bool TQXLTableData::Locate(TQXLCursor* Cursor, TQXLBaseExpression* SearchExpression) {
  if (!SearchExpression) throw EQXLException(10272, "Nil pointer occured");
  std::lock_guard guard(FDatabaseData->CriticalSection());
  TPositionKeeper position(Cursor);
  TQXLPageItemID found{};
  if (!FindRecord(Cursor, SearchExpression, nullptr, true, true, &found, nullptr, false)) return false;
  Cursor->FirstPosition = false;
  Cursor->LastPosition = false;
  Cursor->CurrentRecordID = found;
  GetRecordBuffer(Cursor, grmCurrent);
  position.Keep();
  return true;
}

bool TQXLTableData::FindKey(TQXLCursor* Cursor, TQXLSearchCondition SearchCondition) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  TPositionKeeper position(Cursor);
  TQXLScanSearchCondition key(true);
  key.KeyRecordBuffer = Cursor->FKeyBuffer;
  key.KeyFieldCount = Cursor->FKeyFieldCount;
  key.KeyRecordBufferSize = Cursor->FKeyBufferSize;
  key.Condition = SearchCondition;
  key.IndexID = Cursor->FIndexID;
  TQXLPageItemID found{};
  if (!FindRecord(Cursor, nullptr, &key, true, true, &found, nullptr, false)) return false;
  Cursor->FirstPosition = false;
  Cursor->LastPosition = false;
  Cursor->CurrentRecordID = found;
  position.Keep();
  return true;
}

std::int64_t TQXLTableData::GetRecordCount(TQXLCursor* Cursor) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  if (!Cursor->IsViewRestricted() || !Cursor->FRecordBitmap) return InternalGetRecordCount(Cursor);
  RefreshRecordBitmap(Cursor);
  return Cursor->FRecordBitmap->GetRecordCount();
}

void TQXLTableData::SetRecNo(TQXLCursor* Cursor, std::int64_t RecNo) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  const std::int64_t count = GetRecordCount(Cursor);
  if (count == 0) return;
  RecNo = std::clamp<std::int64_t>(RecNo, 1, count);
  Cursor->FirstPosition = false;
  Cursor->LastPosition = false;
  const bool restricted = Cursor->IsViewRestricted() && Cursor->FRecordBitmap;
  const std::int32_t indexID = Cursor->FIndexID;
  if (indexID == -1) {
    if (restricted)
      Cursor->CurrentRecordID = Cursor->FRecordBitmap->GetRecordIDByRecNo(RecNo);
    else
      InternalSetRecNo(Cursor, RecNo);
    return;
  }
  TQXLIndex& index = ConditionIndex(indexID, 20058);
  if (!restricted) {
    Cursor->CurrentRecordID = index.GetRecordIDByRecNo(Cursor->SessionID(), RecNo);
    return;
  }
  std::unique_ptr<TQXLIndexPosition> position = index.CreateIndexPosition();
  Cursor->FRecordBitmap->GetIndexPosByRecNo(indexID, RecNo, *position);
  IndexPositionToRecordID(Cursor->SessionID(), indexID, *position, Cursor->CurrentRecordID);
}

std::int64_t TQXLTableData::GetRecNo(TQXLCursor* Cursor) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  if (Cursor->FirstPosition || Cursor->LastPosition || GetRecordCount(Cursor) == 0) return -1;
  RefreshRecordBitmap(Cursor);
  const bool restricted = Cursor->IsViewRestricted() && Cursor->FRecordBitmap;
  const std::int32_t indexID = Cursor->FIndexID;
  if (indexID == -1)
    return restricted ? Cursor->FRecordBitmap->GetRecNoByRecordID(Cursor->CurrentRecordID) : InternalGetRecNo(Cursor);
  const std::int32_t size = std::max({GetRecordBufferSize(), FRecordManager->RecordBufferSize(), 1});
  TQXLOwnedBlock buffer(QXLMemoryManager().AllocMem(size));
  auto* bytes = static_cast<std::uint8_t*>(buffer.get());
  if (!ReadRecordByID(Cursor->SessionID(), Cursor->CurrentRecordID, bytes)) return -1;
  TQXLIndex& index = ConditionIndex(indexID, 20058);
  if (!restricted) return index.GetRecNoByRecordID(Cursor->SessionID(), Cursor->CurrentRecordID, bytes);
  std::unique_ptr<TQXLIndexPosition> position = index.CreateIndexPosition();
  if (!RecordIDToIndexPosition(Cursor->SessionID(), indexID, Cursor->CurrentRecordID, *position)) return -1;
  return Cursor->FRecordBitmap->GetRecNoByIndexPos(indexID, *position);
}

}  // namespace qxl
