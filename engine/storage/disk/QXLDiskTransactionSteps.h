#pragma once
// The steps of a disk database's commit, rollback and tables byte that wrap
// the lock manager and the page manager: write locks taken before a session's
// pages are committed, the transaction's locks released after it (retrying
// until they go, since a held RW lock blocks every other session's reads),
// and the bounded tries at the database's tables byte.
// Thread rule: free functions without state; the caller holds whatever lock
// its steps need. Pauses go through the clock seam.
#include <cstdint>
#include <functional>

#include "engine/core/abstract/QXLDatabaseData.h"

namespace qxl {

// How many times, and how far apart, the transaction's locks are released.
constexpr std::int32_t TransactionReleaseTries = 4500;
constexpr std::int32_t TransactionReleaseDelayMS = 20;
// How many times, and how far apart, the tables byte is tried.
constexpr std::int32_t LockTablesTries = 200;
constexpr std::int32_t LockTablesDelayMS = 20;

// The lock side of a multi-user commit; both are called only in multi-user mode.
struct TTransactionLockSteps {
  std::function<bool()> AddRWLocks;  // AddRWLocksBeforeCommit of the session
  std::function<bool()> ClearLocks;  // ClearTransactionLocks of the session
};

// Takes the RW locks (20233 when refused, nothing committed), commits the
// pages, then releases the transaction's locks (CommittedWithLocksLeftCode
// when they stay). A failing CommitPages leaves the locks held for the
// rollback that follows.
void CommitWithTableLocks(bool MultiUser, const TTransactionLockSteps& Locks,
                          const std::function<void()>& CommitPages);

// Calls ClearLocks until it succeeds, pausing between tries; 20234 when the
// locks are still held after every try.
void ReleaseTransactionLocks(const std::function<bool()>& ClearLocks);

// Tries the tables byte with pauses between tries; 20210 when every try failed.
void LockDatabaseTables(const std::function<bool()>& TryLock);
// 20211 when the tables byte could not be released.
void UnlockDatabaseTables(const std::function<bool()>& Unlock);

}  // namespace qxl
