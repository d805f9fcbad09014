// The record protocol of the local cursor: edit, post, cancel and delete
// under the cross-process table and record locks, the detection of records
// another process changed or deleted meanwhile, and batches.
#include <cstring>
#include <mutex>

#include "engine/core/QXLException.h"
#include "engine/core/QXLSession.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/abstract/QXLTableData.h"
#include "engine/datasets/QXLLocalCursor.h"
#include "engine/storage/disk/QXLDiskTableData.h"
#include "engine/storage/temporary/QXLTemporaryTableData.h"
#include "platform/Clock.h"

namespace qxl {

namespace {

// Holds the table object's lock for a scope; the lock loops leave it while they pause.
class TTableDataGuard {
public:
  explicit TTableDataGuard(TQXLCursor& Cursor) : FCursor(Cursor) { FCursor.LockTableData(); }
  ~TTableDataGuard() { FCursor.UnlockTableData(); }
  TTableDataGuard(const TTableDataGuard&) = delete;
  TTableDataGuard& operator=(const TTableDataGuard&) = delete;

private:
  TQXLCursor& FCursor;
};

}  // namespace

TQXLDiskTableData* TQXLLocalCursor::SharedDiskTable() const {
  if (!IsMultiUser()) return nullptr;
  return dynamic_cast<TQXLDiskTableData*>(FTableData);
}

bool TQXLLocalCursor::IsTemporaryTable() const { return dynamic_cast<TQXLTemporaryTableData*>(FTableData) != nullptr; }

bool TQXLLocalCursor::InTransaction() const { return FSession && FSession->FInTransaction; }

bool TQXLLocalCursor::IsMultiUser() const { return FSession && FSession->FMultiUser; }

bool TQXLLocalCursor::LockTable(TQXLLockType LockType, std::int32_t TryCount, std::int32_t Delay,
                                bool AllowXIRWAfterSIRW) {
  if (!FTableData) throw EQXLException(20221, "Pointer is nil");
  auto* disk = dynamic_cast<TQXLDiskTableData*>(FTableData);
  return !disk || disk->LockTable(SessionID(), LockType, TryCount, Delay, AllowXIRWAfterSIRW);
}

bool TQXLLocalCursor::UnlockTable(TQXLLockType LockType, bool IgnoreIfNoLock) {
  if (!FTableData) throw EQXLException(20222, "Pointer is nil");
  auto* disk = dynamic_cast<TQXLDiskTableData*>(FTableData);
  return !disk || disk->UnlockTable(SessionID(), LockType, IgnoreIfNoLock);
}

bool TQXLLocalCursor::LockTableByPauses(TQXLLockType Lock, std::int32_t Tries, std::int32_t PauseMS) {
  for (std::int32_t i = 0; i < Tries; ++i) {
    if (LockTable(Lock, 1, 0, true)) return true;
    // Other cursors of the process work on the table while this one waits.
    UnlockTableData();
    platform::Sleep(static_cast<std::uint32_t>(PauseMS));
    LockTableData();
  }
  return false;
}

TQXLPageItemID TQXLLocalCursor::BookmarkRecordID() const {
  TQXLPageItemID id{};
  std::memcpy(&id, FCurrentRecordBuffer + FBookmarkOffset, sizeof id);
  return id;
}

// The stored record is read into a buffer of its own: reading into the
// current one would drop the BLOB values the user changed there.
TQXLLocalCursor::TRefetch TQXLLocalCursor::RefetchCurrent(const std::uint8_t* Expected) {
  if (FRefetchBuffer && FRefetchBufferSize != FRecordBufferSize) FreeRecordBuffer(FRefetchBuffer);
  if (!FRefetchBuffer) {
    FRefetchBuffer = AllocateRecordBuffer();
    FRefetchBufferSize = FRecordBufferSize;
  }
  struct TRestore {
    TQXLLocalCursor& Cursor;
    std::uint8_t* Current;
    ~TRestore() {
      Cursor.FCurrentRecordBuffer = Current;
      Cursor.FTableData->ClearBlobsCacheInRecordBuffer(Cursor.FRefetchBuffer);
    }
  } restore{*this, FCurrentRecordBuffer};
  FCurrentRecordBuffer = FRefetchBuffer;
  if (Table().GetRecordBuffer(this, grmCurrent) != grrOK) return TRefetch::Missing;
  const TQXLBaseFieldManager* fields = Table().FieldManager();
  // The stored form only: a BLOB's in-memory bytes name a cache of this
  // read, and the bookmark flag says how the dataset came to the record.
  if (fields && !fields->CompareRecordBuffers(Expected, FRefetchBuffer)) return TRefetch::Changed;
  return TRefetch::Same;
}

void TQXLLocalCursor::InternalEdit() {
  TTableDataGuard guard(*this);
  FErrorCode = 0;
  if (IsTemporaryTable()) {
    FErrorCode = -9;
    return;
  }
  TQXLDiskTableData* disk = SharedDiskTable();
  if (!disk) return;
  const TQXLLockType lock = InTransaction() ? ltXIRW : ltSIRW;
  if (!LockTable(lock, EditTableLockTries, EditTableLockDelayMS, true)) {
    FErrorCode = -13;
    return;
  }
  if (!disk->LockRecord(SessionID(), CurrentRecordID, RecordLockTries, RecordLockDelayMS)) {
    UnlockTable(lock, false);
    FErrorCode = -12;
    return;
  }
  const TQXLPageItemID locked = CurrentRecordID;
  try {
    const TRefetch found = RefetchCurrent(FCurrentRecordBuffer);
    if (found != TRefetch::Same) FErrorCode = found == TRefetch::Missing ? -6 : -4;
  } catch (...) {
    disk->UnlockRecord(SessionID(), locked);
    UnlockTable(lock, false);
    throw;
  }
  if (FErrorCode == 0) return;
  disk->UnlockRecord(SessionID(), locked);
  UnlockTable(lock, false);
}

void TQXLLocalCursor::InternalPost(bool ToInsert) {
  TTableDataGuard guard(*this);
  if (!IsMultiUser()) {
    PostBody(ToInsert);
    return;
  }
  TQXLDiskTableData* disk = SharedDiskTable();
  const bool transaction = InTransaction();
  const TQXLLockType lock = transaction ? ltXIRW : ltRW;
  if (disk && !LockTableByPauses(lock, PostLockTries, PostLockPauseMS)) {
    FErrorCode = -13;
    return;
  }
  const TQXLPageItemID record = ToInsert ? CurrentRecordID : BookmarkRecordID();
  auto release = [&] {
    if (!disk) return;
    if (!ToInsert && FErrorCode != -8) {
      disk->UnlockRecord(SessionID(), record);
      UnlockTable(ltSIRW, transaction);
    }
    if (!transaction) UnlockTable(ltRW, false);
  };
  try {
    PostBody(ToInsert);
  } catch (...) {
    release();
    throw;
  }
  release();
}

void TQXLLocalCursor::PostBody(bool ToInsert) {
  FErrorMessage.clear();
  try {
    auto* disk = dynamic_cast<TQXLDiskTableData*>(FTableData);
    if (ToInsert) {
      if (disk) disk->LoadMostUpdated(SessionID());
      if (Table().FieldManager()) Table().FieldManager()->ApplyAutoincsToRecordBuffer(FSession, FCurrentRecordBuffer);
    }
    if (!IsTemporaryTable() && Table().ConstraintManager())
      Table().ConstraintManager()->CheckConstraints(SessionID(), FCurrentRecordBuffer, FEditRecordBuffer, ToInsert,
                                                    CurrentRecordID, true, true);
  } catch (const platform::Exception& e) {
    FErrorCode = -8;
    FErrorMessage = e.Message;
    return;
  }
  ClearBLOBStreams(true);
  if (ToInsert) {
    TQXLCursor* self = this;
    FErrorCode = Table().InsertRecord(self) ? 0 : -1;
    std::memcpy(FCurrentRecordBuffer + FBookmarkOffset, &CurrentRecordID, sizeof CurrentRecordID);
    FCurrentRecordBuffer[FBookmarkOffset + 6] = bfInserted;
  } else {
    CurrentRecordID = BookmarkRecordID();
    const TRefetch found = RefetchCurrent(FEditRecordBuffer ? FEditRecordBuffer : FCurrentRecordBuffer);
    if (found == TRefetch::Missing)
      FErrorCode = -6;
    else if (found == TRefetch::Changed)
      FErrorCode = -4;
    else
      FErrorCode = Table().UpdateRecord(this) ? 0 : -2;
  }
  // The dataset's edit copy lives only until the record is stored.
  if (FErrorCode == 0 && FEditRecordBuffer) FreeRecordBuffer(FEditRecordBuffer);
}

void TQXLLocalCursor::InternalCancel(bool ToInsert) {
  TTableDataGuard guard(*this);
  FErrorCode = 0;
  ClearBLOBStreams(true);
  auto* disk = dynamic_cast<TQXLDiskTableData*>(FTableData);
  if (disk && FCurrentRecordBuffer) disk->ClearModifiedBLOBFieldsInRecordBuffer(FCurrentRecordBuffer);
  if (ToInsert && FCurrentRecordBuffer) Table().ClearBLOBFieldsInRecordBuffer(FCurrentRecordBuffer);
  if (FEditRecordBuffer) FreeRecordBuffer(FEditRecordBuffer);
  if (ToInsert || !(disk = SharedDiskTable())) return;
  disk->UnlockRecord(SessionID(), BookmarkRecordID());
  if (!InTransaction()) UnlockTable(ltSIRW, true);
}

void TQXLLocalCursor::InternalDelete() {
  TTableDataGuard guard(*this);
  if (!IsMultiUser()) {
    DeleteBody();
    return;
  }
  TQXLDiskTableData* disk = SharedDiskTable();
  if (!disk) {
    DeleteBody();
    return;
  }
  const bool transaction = InTransaction();
  const TQXLLockType lock = transaction ? ltXIRW : ltRW;
  if (!LockTableByPauses(lock, DeleteLockTries, DeleteLockPauseMS)) {
    FErrorCode = -13;
    return;
  }
  const TQXLPageItemID record = BookmarkRecordID();
  if (!disk->LockRecord(SessionID(), record, RecordLockTries, RecordLockDelayMS)) {
    FErrorCode = -12;
    UnlockTable(lock, false);
    return;
  }
  auto release = [&] {
    disk->UnlockRecord(SessionID(), record);
    if (!transaction) UnlockTable(ltRW, false);
  };
  try {
    DeleteBody();
  } catch (...) {
    release();
    throw;
  }
  release();
}

void TQXLLocalCursor::DeleteBody() {
  if (IsTemporaryTable()) {
    FErrorCode = -10;
    return;
  }
  CurrentRecordID = BookmarkRecordID();
  const TRefetch found = RefetchCurrent(FCurrentRecordBuffer);
  if (found == TRefetch::Missing)
    FErrorCode = -7;
  else if (found == TRefetch::Changed)
    FErrorCode = -5;
  else
    FErrorCode = Table().DeleteRecord(this) ? 0 : -3;
}

bool TQXLLocalCursor::IsRecordLocked() {
  TTableDataGuard guard(*this);
  CurrentRecordID = BookmarkRecordID();
  auto* disk = dynamic_cast<TQXLDiskTableData*>(FTableData);
  return disk && disk->IsRecordLocked(SessionID(), CurrentRecordID);
}

bool TQXLLocalCursor::CheckConstraints(bool ToInsert) {
  FErrorCode = 0;
  FErrorMessage.clear();
  if (FTemporary || !Table().ConstraintManager()) return true;
  std::lock_guard guard(Database().CriticalSection());
  try {
    return Table().ConstraintManager()->CheckConstraints(SessionID(), FCurrentRecordBuffer, FEditRecordBuffer, ToInsert,
                                                         CurrentRecordID, true, true);
  } catch (const platform::Exception& e) {
    FErrorCode = -8;
    FErrorMessage = e.Message;
    return false;
  }
}

void TQXLLocalCursor::BeginBatchUpdate() {
  if (!InTransaction()) FBatchUpdate = true;
}

void TQXLLocalCursor::EndBatchUpdate() {
  if (InTransaction() || !FBatchUpdate) return;
  if (dynamic_cast<TQXLDiskTableData*>(FTableData)) Table().ApplyChanges(SessionID(), false);
  FBatchUpdate = false;
}

void TQXLLocalCursor::CancelBatchUpdate() {
  if (InTransaction() || !FBatchUpdate) return;
  if (dynamic_cast<TQXLDiskTableData*>(FTableData)) Table().CancelChanges(SessionID(), false);
  FBatchUpdate = false;
}

}  // namespace qxl
