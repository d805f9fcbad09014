// Record changes of a memory table: the record manager, the indexes, the
// cursor's record bitmap and the stored records' hold on BLOB blocks kept in
// step, each change whole or not at all.
#include <cstring>
#include <mutex>
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/abstract/QXLRecordBitmap.h"
#include "engine/storage/memory/QXLMemoryRecordManager.h"
#include "engine/storage/memory/QXLMemoryTableData.h"

namespace qxl {

bool TQXLMemoryTableData::InsertRecord(TQXLCursor*& Cursor) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  TQXLMemoryRecordManager& records = Records(10010);
  if (!Cursor->FCurrentRecordBuffer) throw EQXLException(10018, "Nil pointer occured");
  RefuseInTransaction(Cursor, "Insert");
  const TQXLPageItemID before = Cursor->CurrentRecordID;
  const bool done = ChangeWhole(Cursor, [&](const TUndo& undo) {
    TQXLPageItemID id = before;
    if (!records.AddRecord(Cursor->SessionID(), Cursor->FCurrentRecordBuffer, id)) return false;
    undo([&records, Cursor, id, before] {
      TQXLPageItemID added = id;
      records.DeleteRecord(Cursor->SessionID(), added);
      Cursor->CurrentRecordID = before;
    });
    Cursor->CurrentRecordID = TQXLPageItemID{id.PageNo, 0};
    FIndexManager->InsertRecord(Cursor);
    return true;
  });
  if (!done) return false;
  for (void* b : BlobsOf(Cursor->FCurrentRecordBuffer)) FBlobBlocks.AddStoredRef(b);
  ShowChangedRecord(Cursor);
  Cursor->FirstPosition = false;
  Cursor->LastPosition = false;
  ApplyOwnPages(Cursor);
  return true;
}

bool TQXLMemoryTableData::UpdateRecord(TQXLCursor* Cursor) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  TQXLMemoryRecordManager& records = Records(10014);
  if (!Cursor->FCurrentRecordBuffer) throw EQXLException(10017, "Nil pointer occured");
  RefuseInTransaction(Cursor, "Update");
  const TQXLPageItemID id = Cursor->CurrentRecordID;
  const std::uint8_t* stored = records.StoredRecord(id.PageNo);
  const std::vector<void*> former = BlobsOf(stored);
  // The stored form as it was, to put back when the indexes refuse the new one.
  std::vector<std::uint8_t> kept;
  if (stored) kept.assign(stored, stored + records.RecordBufferSize());
  const bool done = ChangeWhole(Cursor, [&](const TUndo& undo) {
    FIndexManager->UpdateRecord(Cursor, true);
    const bool stored = records.UpdateRecord(Cursor->SessionID(), Cursor->FCurrentRecordBuffer, id);
    if (stored) undo([&] { records.UpdateRecord(Cursor->SessionID(), kept.data(), id); });
    // Told in any case, as the indexes expect; a refused update takes it back.
    FIndexManager->UpdateRecord(Cursor, false);
    return stored;
  });
  if (!done) return false;
  ShowChangedRecord(Cursor);
  // The new value's blocks are held before the former ones are let go, so a
  // block both name survives.
  for (void* b : BlobsOf(Cursor->FCurrentRecordBuffer)) FBlobBlocks.AddStoredRef(b);
  for (void* b : former) FBlobBlocks.ReleaseStoredRef(b);
  ApplyOwnPages(Cursor);
  return true;
}

void TQXLMemoryTableData::ShowChangedRecord(TQXLCursor* Cursor) {
  TQXLRecordBitmap* bitmap = Cursor->FRecordBitmap.get();
  if (!bitmap || !bitmap->Active()) return;
  try {
    if (IsCurrentRecordVisible(Cursor))
      bitmap->ShowRecord(Cursor->CurrentRecordID);
    else
      bitmap->HideRecord(Cursor->CurrentRecordID);
  } catch (...) {
    // The record is stored and indexed; a filter that cannot judge it now
    // leaves the bitmap to be rebuilt by the next search, which reports why.
    bitmap->Clear();
  }
}

bool TQXLMemoryTableData::FindNeighbour(TQXLCursor* Cursor, const TQXLPageItemID& D, TQXLPageItemID& Neighbour) {
  const TQXLRecordBitmap* bitmap = Cursor->FRecordBitmap.get();
  if (bitmap && bitmap->Active() && !bitmap->IndexBased() && !bitmap->Outdated())
    return bitmap->FindRecord(false, true, D, Neighbour) || bitmap->FindRecord(false, false, D, Neighbour);
  std::vector<std::uint8_t> scratch(static_cast<std::size_t>(FRecordManager->RecordBufferSize()) + 1);
  for (TQXLGetRecordMode mode : {grmNext, grmPrior}) {
    TQXLNavigationInfo nav;
    nav.GetRecordMode = mode;
    nav.IndexID = Cursor->FIndexID;
    nav.RecordID = D;
    nav.RecordBuffer = scratch.data();
    if (Cursor->FIndexID == -1)
      FRecordManager->GetRecordBuffer(Cursor->SessionID(), nav);
    else
      FIndexManager->GetRecordBuffer(Cursor->SessionID(), nav, Cursor->FIndexPositionCache.get(),
                                     FRecordManager->TableState());
    if (nav.GetRecordResult == grrOK) {
      Neighbour = nav.RecordID;
      return true;
    }
  }
  return false;
}

bool TQXLMemoryTableData::DeleteRecord(TQXLCursor* Cursor) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  TQXLMemoryRecordManager& records = Records(10013);
  RefuseInTransaction(Cursor, "Delete");
  TQXLPageItemID d = Cursor->CurrentRecordID;
  // Blocks the cursor's copy holds that no stored record names go now; the
  // stored record's own go once it is deleted.
  if (Cursor->FCurrentRecordBuffer) ClearBLOBFieldsInRecordBuffer(Cursor->FCurrentRecordBuffer);
  TQXLPageItemID neighbour{};
  const bool hasNeighbour = FindNeighbour(Cursor, d, neighbour);
  const std::vector<void*> former = BlobsOf(records.StoredRecord(d.PageNo));
  const std::int32_t stateBefore = records.TableState();
  const bool done = ChangeWhole(Cursor, [&](const TUndo&) {
    FIndexManager->DeleteRecord(Cursor);
    return records.DeleteRecord(Cursor->SessionID(), d);
  });
  if (!done) return false;
  for (void* b : former) FBlobBlocks.ReleaseStoredRef(b);
  if (TQXLRecordBitmap* bitmap = Cursor->FRecordBitmap.get(); bitmap && bitmap->Active()) {
    bitmap->HideRecord(d);
    if (bitmap->TableState() == stateBefore && !Cursor->IsDistinctApplied()) bitmap->SetTableState(records.TableState());
  }
  Cursor->FirstPosition = !hasNeighbour;
  Cursor->LastPosition = false;
  if (hasNeighbour) Cursor->CurrentRecordID = neighbour;
  ApplyOwnPages(Cursor);
  return true;
}

}  // namespace qxl
