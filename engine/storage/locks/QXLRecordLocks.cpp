// The record locks of the lock manager: one record per session and table,
// its identity in the table's locks file beside the session's record byte.
#include "engine/core/QXLException.h"
#include "engine/storage/locks/QXLDatabaseTableLockManager.h"
#include "engine/storage/locks/QXLTableLocksFile.h"
#include "platform/Clock.h"

namespace qxl {

bool TQXLDatabaseTableLockManager::TryRecordLock(std::int32_t SessionID, TQXLTableLocksFile& File,
                                                 const TQXLPageItemID& RecordID) {
  if (!File.LockFile()) return false;
  bool Locked = false;
  try {
    if (!File.IsRecordLockedByAnyOtherSession(SessionID, RecordID)) {
      if (!File.LockRecord(SessionID, RecordID)) throw EQXLException(20205, "Cannot lock record");
      List(SessionID).AddLock(ltU, File.StartPageNo(), true, true);
      Locked = true;
    }
  } catch (...) {
    File.UnlockFile();
    throw;
  }
  File.UnlockFile();
  return Locked;
}

bool TQXLDatabaseTableLockManager::LockRecord(std::int32_t SessionID, TQXLTableLocksFile& TableLocksFile,
                                              const TQXLPageItemID& RecordID, std::int32_t aTryCount,
                                              std::int32_t aDelayMS) {
  const std::uint32_t Start = platform::GetTickCount();
  std::lock_guard Guard(FCSect);
  TQXLTableLockList& Locks = List(SessionID);
  const std::int32_t Table = TableLocksFile.StartPageNo();
  if (Locks.LockExists(ltU, Table)) return false;
  if (Locks.LockExists(ltX, Table) || Locks.LockExists(ltXIRW, Table, false)) {
    // Nobody else can lock a record here now; the identity is stored all the
    // same, so that a hand-over of the record byte names the right record.
    TableLocksFile.WriteRecordID(SessionID, RecordID);
    Locks.AddLock(ltU, Table, false, true);
    return true;
  }
  const auto Limit = static_cast<std::int64_t>(aDelayMS) * aTryCount;
  for (std::int32_t i = 0; i < aTryCount; ++i) {
    if (TryRecordLock(SessionID, TableLocksFile, RecordID)) return true;
    // A record held by another session waits like a file lock held by one.
    Pause(aDelayMS);
    if (static_cast<std::int64_t>(platform::GetTickCount() - Start) >= Limit) break;
  }
  return false;
}

bool TQXLDatabaseTableLockManager::UnlockRecord(std::int32_t SessionID, TQXLTableLocksFile& TableLocksFile,
                                                const TQXLPageItemID& RecordID) {
  std::lock_guard Guard(FCSect);
  TQXLTableLockList& Locks = List(SessionID);
  const std::int32_t Table = TableLocksFile.StartPageNo();
  if (!Locks.LockExists(ltU, Table)) return false;
  bool HasPhysicalLock = false;
  Locks.RemoveLock(ltU, Table, HasPhysicalLock, false);
  if (!HasPhysicalLock) return true;
  for (std::int32_t i = 0; i < ReleaseTries; ++i) {
    if (TableLocksFile.LockFile()) {
      const bool Released = TableLocksFile.UnlockRecord(SessionID, RecordID);
      TableLocksFile.UnlockFile();
      if (!Released) throw EQXLException(20206, "Cannot unlock record");
      return true;
    }
    Pause(ReleaseDelayMS);
  }
  return false;
}

bool TQXLDatabaseTableLockManager::IsRecordLocked(std::int32_t SessionID, TQXLTableLocksFile& TableLocksFile,
                                                  const TQXLPageItemID& RecordID) {
  std::lock_guard Guard(FCSect);
  List(SessionID);
  return TableLocksFile.IsRecordLockedByAnyOtherSession(SessionID, RecordID);
}

}  // namespace qxl
