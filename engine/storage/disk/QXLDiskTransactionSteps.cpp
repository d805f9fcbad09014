#include "engine/storage/disk/QXLDiskTransactionSteps.h"

#include "engine/core/QXLException.h"
#include "platform/Clock.h"

namespace qxl {

namespace {

// True as soon as Try succeeds; pauses DelayMS after each failed try.
bool TryRepeatedly(const std::function<bool()>& Try, std::int32_t Tries, std::int32_t DelayMS) {
  for (std::int32_t I = 0; I < Tries; ++I) {
    if (Try()) return true;
    platform::Sleep(static_cast<std::uint32_t>(DelayMS));
  }
  return false;
}

}  // namespace

void CommitWithTableLocks(bool MultiUser, const TTransactionLockSteps& Locks,
                          const std::function<void()>& CommitPages) {
  if (MultiUser && !Locks.AddRWLocks())
    throw EQXLException(20233, "Cannot commit changes. Locks of modified tables failed");
  CommitPages();
  if (MultiUser) ReleaseTransactionLocks(Locks.ClearLocks);
}

void ReleaseTransactionLocks(const std::function<bool()>& ClearLocks) {
  if (!TryRepeatedly(ClearLocks, TransactionReleaseTries, TransactionReleaseDelayMS))
    throw EQXLException(20234, "Some table locks still exist");
}

void LockDatabaseTables(const std::function<bool()>& TryLock) {
  if (!TryRepeatedly(TryLock, LockTablesTries, LockTablesDelayMS))
    throw EQXLException(20210, "Database tables are locked");
}

void UnlockDatabaseTables(const std::function<bool()>& Unlock) {
  if (!Unlock()) throw EQXLException(20211, "Cannot unlock database tables");
}

}  // namespace qxl
