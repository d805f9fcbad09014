// Commit and rollback of one session's pages, with the transaction's table
// locks in multi-user mode, the file's flush, and the tables byte.
#include <mutex>

#include "engine/core/QXLException.h"
#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/disk/QXLDiskDatabaseData.h"
#include "engine/storage/disk/QXLDiskTransactionSteps.h"
#include "engine/storage/locks/QXLDatabaseTableLockManager.h"

namespace qxl {

void TQXLDiskDatabaseData::Commit(std::int32_t SessionID, bool DoFlushBuffers) {
  std::lock_guard guard(CriticalSection());
  qxl::TTransactionLockSteps Locks{
      [&] { return FTableLockManager->AddRWLocksBeforeCommit(SessionID); },
      [&] { return FTableLockManager->ClearTransactionLocks(SessionID); },
  };
  bool Stored = false;
  try {
    qxl::CommitWithTableLocks(MultiUser() && FTableLockManager, Locks, [&] {
      TQXLDatabaseData::Commit(SessionID, DoFlushBuffers);
      Stored = true;
      if (DoFlushBuffers) FlushBuffers();
    });
  } catch (...) {
    if (Stored) TransactionEnded(SessionID);
    throw;
  }
  TransactionEnded(SessionID);
}

void TQXLDiskDatabaseData::TransactionEnded(std::int32_t SessionID) {
  if (FDiskPageManager) FDiskPageManager->TablePagesCacheManager().TransactionEnded(SessionID);
}

void TQXLDiskDatabaseData::Rollback(std::int32_t SessionID) {
  std::lock_guard guard(CriticalSection());
  // The tables reload their counters below, past what the session loaded.
  TransactionEnded(SessionID);
  try {
    if (MultiUser() && FTableLockManager)
      qxl::ReleaseTransactionLocks([&] { return FTableLockManager->ClearTransactionLocks(SessionID); });
  } catch (...) {
    // The session's changes go even when its locks stay held.
    TQXLDatabaseData::Rollback(SessionID);
    throw;
  }
  TQXLDatabaseData::Rollback(SessionID);
}

void TQXLDiskDatabaseData::FlushBuffers() {
  if (FDiskPageManager) FDiskPageManager->DatabaseFile().FlushFileBuffers();
}

void TQXLDiskDatabaseData::TruncateDatabase() {
  if (FDiskPageManager) FDiskPageManager->TruncateDatabase();
}

void TQXLDiskDatabaseData::LockTables() {
  if (!FDiskPageManager) throw EQXLException(20210, "Database tables are locked");
  qxl::LockDatabaseTables([this] { return FDiskPageManager->LockTables(); });
}

void TQXLDiskDatabaseData::UnlockTables() {
  if (!FDiskPageManager) throw EQXLException(20211, "Cannot unlock database tables");
  qxl::UnlockDatabaseTables([this] { return FDiskPageManager->UnlockTables(); });
}

bool TQXLDiskDatabaseData::GetSuppressDBHeaderErrors() const {
  return FDiskPageManager && FDiskPageManager->FreeSpaceManager() &&
         FDiskPageManager->FreeSpaceManager()->SuppressDBHeaderErrors();
}

void TQXLDiskDatabaseData::SetSuppressDBHeaderErrors(bool Value) {
  if (FDiskPageManager && FDiskPageManager->FreeSpaceManager())
    FDiskPageManager->FreeSpaceManager()->SetSuppressDBHeaderErrors(Value);
}

}  // namespace qxl
