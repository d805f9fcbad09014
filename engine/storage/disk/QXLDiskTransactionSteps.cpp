#include "engine/storage/disk/QXLDiskTransactionSteps.h"

#include <exception>
#include <string>

#include "engine/core/QXLException.h"
#include "engine/storage/pager/QXLDatabaseFile.h"

namespace qxl {

void CommitWithTableLocks(bool MultiUser, const TTransactionLockSteps& Locks,
                          const std::function<void()>& CommitPages) {
  if (MultiUser && !Locks.AddRWLocks())
    throw EQXLException(20233, "Cannot commit changes. Locks of modified tables failed");
  CommitPages();
  if (!MultiUser) return;
  bool Released = false;
  try {
    Released = TryRepeatedly(TransactionReleaseTries, TransactionReleaseDelayMS, Locks.ClearLocks);
  } catch (const std::exception& e) {
    throw EQXLException(CommittedWithLocksLeftCode, "Changes were committed, but some table locks still exist: %s",
                        {std::string(e.what())});
  }
  if (!Released)
    throw EQXLException(CommittedWithLocksLeftCode, "Changes were committed, but some table locks still exist");
}

void ReleaseTransactionLocks(const std::function<bool()>& ClearLocks) {
  if (!TryRepeatedly(TransactionReleaseTries, TransactionReleaseDelayMS, ClearLocks))
    throw EQXLException(20234, "Some table locks still exist");
}

void LockDatabaseTables(const std::function<bool()>& TryLock) {
  if (!TryRepeatedly(LockTablesTries, LockTablesDelayMS, TryLock))
    throw EQXLException(20210, "Database tables are locked");
}

void UnlockDatabaseTables(const std::function<bool()>& Unlock) {
  if (!Unlock()) throw EQXLException(20211, "Cannot unlock database tables");
}

}  // namespace qxl
