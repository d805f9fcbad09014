#pragma once
// The table and record locks of every session of one open database: per
// session a list of the locks it holds, counted, resting on a stronger lock
// of the session where one covers them, taken in the tables' locks files with
// bounded, timed retries, and turned into write locks before a transaction's
// changes are committed.
// Thread rule: every operation runs under the manager's critical section.
// Each pause between tries leaves it, and the database's section given to
// the manager, entirely, so that another thread of the process can release
// the lock that is waited for (its release takes both sections).
#include <cstdint>
#include <vector>

#include "engine/core/containers/QXLPageItemID.h"
#include "engine/core/QXLReentrantSection.h"
#include "engine/core/values/QXLTypes.h"
#include "engine/storage/locks/QXLTableLockList.h"

namespace qxl {

class TQXLDiskPageManager;
class TQXLTableLocksFile;

class TQXLDatabaseTableLockManager {
public:
  // The wait for a release and for a hand-over's file lock.
  static constexpr std::int32_t ReleaseTries = 4500;
  static constexpr std::int32_t ReleaseDelayMS = 20;
  // The commit-time requests.
  static constexpr std::int32_t CommitTries = 900;
  static constexpr std::int32_t CommitDelayMS = 100;

  // DatabaseSection, when given, is the section of the database whose
  // callers hold it around their lock requests; it must outlive the manager.
  TQXLDatabaseTableLockManager(std::int32_t MaxSessionCount, TQXLDiskPageManager& PageManager,
                               qxl::TQXLReentrantSection* DatabaseSection = nullptr);
  TQXLDatabaseTableLockManager(const TQXLDatabaseTableLockManager&) = delete;
  TQXLDatabaseTableLockManager& operator=(const TQXLDatabaseTableLockManager&) = delete;

  std::int32_t MaxSessionCount() const { return static_cast<std::int32_t>(FSessionLockList.size()); }
  // The session's list; 20186 for a number outside 0 to N - 1.
  const TQXLTableLockList& SessionLocks(std::int32_t SessionID) const;
  // Raises 20201 while any session holds a lock.
  void CheckNoLocks() const;

  bool LockTable(std::int32_t SessionID, TQXLLockType LockType, TQXLTableLocksFile& TableLocksFile,
                 std::int32_t aTryCount, std::int32_t aDelayMS, bool NoThreadLock, bool AllowXIRWAfterSIRW);
  bool UnlockTable(std::int32_t SessionID, TQXLLockType LockType, TQXLTableLocksFile& TableLocksFile,
                   bool IgnoreIfNoLock, bool IgnoreCount);
  bool LockRecord(std::int32_t SessionID, TQXLTableLocksFile& TableLocksFile, const TQXLPageItemID& RecordID,
                  std::int32_t aTryCount, std::int32_t aDelayMS);
  bool UnlockRecord(std::int32_t SessionID, TQXLTableLocksFile& TableLocksFile, const TQXLPageItemID& RecordID);
  bool IsRecordLocked(std::int32_t SessionID, TQXLTableLocksFile& TableLocksFile, const TQXLPageItemID& RecordID);
  bool AddRWLocksBeforeCommit(std::int32_t SessionID);
  bool ClearTransactionLocks(std::int32_t SessionID);
  // For a session that leaves: releases every lock it holds but those of its
  // open tables (IS and X), which go as their cursors close; true when none
  // of them is left.
  bool ReleaseLeftLocks(std::int32_t SessionID);

private:
  TQXLTableLockList& List(std::int32_t SessionID);
  // Sleeps ms outside both sections.
  void Pause(std::int32_t ms);
  // Between half of DelayMS and DelayMS - 1, so that competing processes
  // spread their tries.
  void RandomisedPause(std::int32_t DelayMS);
  // One try at a physical grant under the file lock; true when granted.
  bool TryGrant(std::int32_t SessionID, TQXLLockType LockType, TQXLTableLocksFile& File, bool AllowXIRWAfterSIRW);
  // The locks the released one covered take bytes of their own.
  bool HandOver(std::int32_t SessionID, TQXLLockType LockType, TQXLTableLocksFile& File);
  bool ReleasePhysical(std::int32_t SessionID, TQXLLockType LockType, TQXLTableLocksFile& File);
  // Takes the file lock within the release tries; false when it cannot be had.
  bool WaitForFileLock(TQXLTableLocksFile& File);
  bool TryRecordLock(std::int32_t SessionID, TQXLTableLocksFile& File, const TQXLPageItemID& RecordID);
  // Releases the session's RW locks after a failed AddRWLocksBeforeCommit.
  void DropRWLocks(std::int32_t SessionID);
  // One pass over the session's XIRW and RW locks; false when none could go.
  bool ReleaseTransactionLocks(std::int32_t SessionID);

  TQXLDiskPageManager& LPageManager;
  std::vector<TQXLTableLockList> FSessionLockList;
  qxl::TQXLReentrantSection FCSect;
  qxl::TQXLReentrantSection* LDatabaseSection;
};

}  // namespace qxl
