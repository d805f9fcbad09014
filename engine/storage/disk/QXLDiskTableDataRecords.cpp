// Record changes of a disk table: BLOB values, the record, the indexes, the
// changing cursor's bitmap and the most-updated counters kept in step, and
// committed at once outside a transaction and a batch. Each change is whole
// or not at all: a step that fails takes back the steps before it, the
// commit included.
#include <mutex>

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/QXLSession.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/core/abstract/QXLRecordBitmap.h"
#include "engine/storage/blobs/QXLDiskBlobManager.h"
#include "engine/storage/disk/QXLDiskTableChange.h"
#include "engine/storage/disk/QXLDiskTableData.h"
#include "engine/storage/records/QXLDiskRecordManager.h"

namespace qxl {

TQXLDiskRecordManager& TQXLDiskTableData::Records(std::int32_t NilCode) const {
  if (!FRecordManager) throw EQXLException(NilCode, "Nil pointer occured");
  return *DiskRecordManager();
}

TQXLDiskRecordManager& TQXLDiskTableData::OpenRecords() const {
  if (!FRecordManager) throw platform::Exception(platform::Format("Table '%s' is not open", FTableName));
  return *DiskRecordManager();
}

TQXLDiskBlobManager& TQXLDiskTableData::Blobs() const {
  if (!FBlobManager) throw platform::Exception(platform::Format("Table '%s' is not open", FTableName));
  return *FBlobManager;
}

void TQXLDiskTableData::PrepareChange(TQXLCursor* Cursor) {
  if (!IsMultiUser()) return;
  // Under a statement's write scope the counters were loaded once and no
  // other process has written since.
  const TScopes* Scopes = ScopesOf(Cursor->SessionID());
  if (!Scopes || Scopes->Writes == 0) LoadMostUpdated(Cursor->SessionID());
  SynchronizeTemporaryIndexes(Cursor);
}

void TQXLDiskTableData::AfterChange(TQXLCursor* Cursor, qxl::TQXLDiskTableChange& Change) {
  SaveMostUpdated(Cursor->SessionID());
  if (!Cursor->FBatchUpdate) Change.Commit([&] { ApplyForCursor(Cursor); });
}

void TQXLDiskTableData::ShowChangedRecord(TQXLCursor* Cursor) {
  TQXLRecordBitmap* Bitmap = Cursor->FRecordBitmap.get();
  if (!Bitmap || !Bitmap->Active()) return;
  if (IsCurrentRecordVisible(Cursor))
    Bitmap->ShowRecord(Cursor->CurrentRecordID);
  else
    Bitmap->HideRecord(Cursor->CurrentRecordID);
}

bool TQXLDiskTableData::InsertRecord(TQXLCursor*& Cursor) {
  std::lock_guard Guard(FDatabaseData->CriticalSection());
  qxl::TQXLDiskRecordManager& Records = this->Records(20135);
  if (!Cursor->FCurrentRecordBuffer) throw EQXLException(20136, "Nil pointer occured");
  PrepareChange(Cursor);
  // The caller gave the record its auto-increment values from the counters
  // before they were reloaded: they are not given again.
  FFieldManager->KeepSuppliedAutoincs(Cursor->FSession, Cursor->FCurrentRecordBuffer);
  const std::int32_t SessionID = Cursor->SessionID();
  qxl::TQXLDiskTableChange Change(*this, SessionID, Cursor);
  Blobs().WriteBlobs(SessionID, Cursor->FCurrentRecordBuffer);
  TQXLPageItemID RecordID = Cursor->CurrentRecordID;
  if (!Records.AddRecord(SessionID, Cursor->FCurrentRecordBuffer, RecordID)) return false;
  Cursor->CurrentRecordID = RecordID;
  FIndexManager->InsertRecord(Cursor);
  AfterChange(Cursor, Change);
  Change.Done();
  ShowChangedRecord(Cursor);
  Cursor->FirstPosition = false;
  Cursor->LastPosition = false;
  return true;
}

bool TQXLDiskTableData::UpdateRecord(TQXLCursor* Cursor) {
  std::lock_guard Guard(FDatabaseData->CriticalSection());
  qxl::TQXLDiskRecordManager& Records = this->Records(20138);
  if (!Cursor->FCurrentRecordBuffer) throw EQXLException(20139, "Nil pointer occured");
  PrepareChange(Cursor);
  const std::int32_t SessionID = Cursor->SessionID();
  qxl::TQXLDiskTableChange Change(*this, SessionID, Cursor);
  FIndexManager->UpdateRecord(Cursor, true);
  Blobs().WriteBlobs(SessionID, Cursor->FCurrentRecordBuffer);
  const bool Done = Records.UpdateRecord(SessionID, Cursor->FCurrentRecordBuffer, Cursor->CurrentRecordID);
  FIndexManager->UpdateRecord(Cursor, false);
  if (!Done) return false;
  AfterChange(Cursor, Change);
  Change.Done();
  ShowChangedRecord(Cursor);
  return true;
}

bool TQXLDiskTableData::FindNeighbour(TQXLCursor* Cursor, TQXLPageItemID& Neighbour) {
  const TQXLPageItemID Kept = Cursor->CurrentRecordID;
  std::uint8_t* KeptBuffer = Cursor->FCurrentRecordBuffer;
  std::unique_ptr<TQXLCursorPosition> Position = Cursor->SavePosition();
  Cursor->FCurrentRecordBuffer = Cursor->AllocateRecordBuffer();
  struct TRestore {
    TQXLCursor* Cursor;
    std::uint8_t* Buffer;
    TQXLPageItemID RecordID;
    TQXLCursorPosition& Position;
    ~TRestore() {
      Cursor->RestorePosition(Position);
      try {
        Cursor->FreeRecordBuffer(Cursor->FCurrentRecordBuffer);
      } catch (...) {
        // A scratch buffer holds no changed value; losing its caches loses nothing.
      }
      Cursor->FCurrentRecordBuffer = Buffer;
      Cursor->CurrentRecordID = RecordID;
    }
  } Restore{Cursor, KeptBuffer, Kept, *Position};
  bool Found = GetRecordBuffer(Cursor, grmNext) == grrOK;
  if (!Found) {
    Cursor->RestorePosition(*Position);
    Found = GetRecordBuffer(Cursor, grmPrior) == grrOK;
  }
  if (Found) Neighbour = Cursor->CurrentRecordID;
  return Found;
}

bool TQXLDiskTableData::DeleteRecord(TQXLCursor* Cursor) {
  std::lock_guard Guard(FDatabaseData->CriticalSection());
  qxl::TQXLDiskRecordManager& Records = this->Records(20137);
  PrepareChange(Cursor);
  const std::int32_t SessionID = Cursor->SessionID();
  TQXLPageItemID Neighbour{};
  const bool HasNeighbour = FindNeighbour(Cursor, Neighbour);
  const std::int32_t StateBefore = Records.TableState();
  TQXLPageItemID RecordID = Cursor->CurrentRecordID;
  {
    qxl::TQXLDiskTableChange Change(*this, SessionID, Cursor);
    if (Cursor->FCurrentRecordBuffer) {
      ClearBLOBFieldsInRecordBuffer(Cursor->FCurrentRecordBuffer);
      Blobs().DeleteBlobs(SessionID, Cursor->FCurrentRecordBuffer);
    }
    FIndexManager->DeleteRecord(Cursor);
    if (!Records.DeleteRecord(SessionID, RecordID)) return false;
    AfterChange(Cursor, Change);
    Change.Done();
  }
  if (TQXLRecordBitmap* Bitmap = Cursor->FRecordBitmap.get(); Bitmap && Bitmap->Active()) {
    Bitmap->HideRecord(RecordID);
    // Nothing but this delete changed since the bitmap was built, so it stays valid.
    if (Bitmap->TableState() == StateBefore && !Cursor->IsDistinctApplied())
      Bitmap->SetTableState(Records.TableState());
  }
  Cursor->FirstPosition = !HasNeighbour;
  Cursor->LastPosition = false;
  if (HasNeighbour) Cursor->CurrentRecordID = Neighbour;
  return true;
}

}  // namespace qxl
