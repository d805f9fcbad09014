#include "engine/storage/locks/QXLDatabaseTableLockManager.h"

#include <optional>

#include "engine/core/QXLException.h"
#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/pager/QXLRandom.h"
#include "engine/storage/locks/QXLTableLocksFile.h"
#include "platform/Clock.h"

namespace qxl {

TQXLDatabaseTableLockManager::TQXLDatabaseTableLockManager(std::int32_t MaxSessionCount,
                                                           TQXLDiskPageManager& PageManager,
                                                           qxl::TQXLReentrantSection* DatabaseSection)
    : LPageManager(PageManager),
      FSessionLockList(static_cast<std::size_t>(std::max(MaxSessionCount, 0))),
      LDatabaseSection(DatabaseSection) {}

TQXLTableLockList& TQXLDatabaseTableLockManager::List(std::int32_t SessionID) {
  if (SessionID < 0 || SessionID >= MaxSessionCount()) throw EQXLException(20186, "Invalid Session ID");
  return FSessionLockList[static_cast<std::size_t>(SessionID)];
}

const TQXLTableLockList& TQXLDatabaseTableLockManager::SessionLocks(std::int32_t SessionID) const {
  return const_cast<TQXLDatabaseTableLockManager*>(this)->List(SessionID);
}

void TQXLDatabaseTableLockManager::CheckNoLocks() const {
  for (const TQXLTableLockList& Locks : FSessionLockList) Locks.CheckEmpty();
}

void TQXLDatabaseTableLockManager::Pause(std::int32_t ms) {
  // Left in this order, entered again in the other: the database's section
  // first, as every caller takes them.
  qxl::TQXLReentrantSection::TLeave LeaveOwn(FCSect);
  std::optional<qxl::TQXLReentrantSection::TLeave> LeaveDatabase;
  if (LDatabaseSection) LeaveDatabase.emplace(*LDatabaseSection);
  platform::Sleep(static_cast<std::uint32_t>(std::max(ms, 0)));
}

void TQXLDatabaseTableLockManager::RandomisedPause(std::int32_t DelayMS) {
  const std::int32_t Half = DelayMS / 2;
  Pause(Half < 1 ? 0 : Half + QXLRandom(Half));
}

bool TQXLDatabaseTableLockManager::WaitForFileLock(TQXLTableLocksFile& File) {
  for (std::int32_t i = 0; i < ReleaseTries; ++i) {
    if (File.LockFile()) return true;
    Pause(ReleaseDelayMS);
  }
  return false;
}

bool TQXLDatabaseTableLockManager::TryGrant(std::int32_t SessionID, TQXLLockType LockType,
                                            TQXLTableLocksFile& File, bool AllowXIRWAfterSIRW) {
  if (!File.LockFile()) return false;
  bool Granted = false;
  try {
    if (File.IsTableLockAllowed(SessionID, LockType, AllowXIRWAfterSIRW)) {
      if (LockType != ltX && !File.LockTable(SessionID, LockType))
        throw EQXLException(20203, "Cannot set table lock");
      List(SessionID).AddLock(LockType, File.StartPageNo(), true, AllowXIRWAfterSIRW);
      Granted = true;
    }
  } catch (...) {
    File.UnlockFile();
    throw;
  }
  // X is the file lock itself, kept until the lock is released.
  if (!Granted || LockType != ltX) File.UnlockFile();
  return Granted;
}

bool TQXLDatabaseTableLockManager::LockTable(std::int32_t SessionID, TQXLLockType LockType,
                                             TQXLTableLocksFile& TableLocksFile, std::int32_t aTryCount,
                                             std::int32_t aDelayMS, bool NoThreadLock, bool AllowXIRWAfterSIRW) {
  if (LPageManager.Exclusive()) return true;
  std::unique_lock Guard(FCSect, std::defer_lock);
  if (!NoThreadLock) Guard.lock();
  TQXLTableLockList& Locks = List(SessionID);
  const std::int32_t Table = TableLocksFile.StartPageNo();
  if (Locks.LockExists(LockType, Table)) {
    if (LockType == ltSIRW) return false;
    Locks.AddLock(LockType, Table, true, AllowXIRWAfterSIRW);
    return true;
  }
  if (Locks.StrongerLockExists(LockType, Table)) {
    Locks.AddLock(LockType, Table, false, true);
    return true;
  }
  for (std::int32_t i = 0; i < aTryCount; ++i) {
    if (TryGrant(SessionID, LockType, TableLocksFile, AllowXIRWAfterSIRW)) return true;
    RandomisedPause(aDelayMS);
  }
  return false;
}

bool TQXLDatabaseTableLockManager::HandOver(std::int32_t SessionID, TQXLLockType LockType,
                                            TQXLTableLocksFile& File) {
  TQXLTableLockList& Locks = List(SessionID);
  const std::int32_t Table = File.StartPageNo();
  auto Waiting = [&](std::int32_t i) {
    return Locks.Items()[static_cast<std::size_t>(i)].LocksFilePageNo == Table &&
           Locks.IsWeakerNonPhysicalLock(i, LockType);
  };
  // Most releases cover nothing; they need not take the file lock for it.
  bool AnyWaiting = false;
  for (std::int32_t i = 0; i < Locks.Count() && !AnyWaiting; ++i) AnyWaiting = Waiting(i);
  if (!AnyWaiting) return true;
  // Under X the file lock is held already.
  if (LockType != ltX && !WaitForFileLock(File)) return false;
  bool Result = true;
  try {
    for (std::int32_t i = 0; i < Locks.Count(); ++i) {
      const TQXLTableLockItem& Item = Locks.Items()[static_cast<std::size_t>(i)];
      if (!Waiting(i)) continue;
      // Only a lock that got its byte counts as physical; one that did not
      // keeps the covering lock from going.
      if (File.LockTable(SessionID, Item.LockType))
        Locks.SetPhysicalLock(i);
      else
        Result = false;
    }
  } catch (...) {
    if (LockType != ltX) File.UnlockFile();
    throw;
  }
  if (LockType != ltX) File.UnlockFile();
  return Result;
}

bool TQXLDatabaseTableLockManager::ReleasePhysical(std::int32_t SessionID, TQXLLockType LockType,
                                                   TQXLTableLocksFile& File) {
  for (std::int32_t i = 0; i < ReleaseTries; ++i) {
    if (LockType == ltX) {
      if (File.UnlockFile()) return true;
    } else if (File.LockFile()) {
      const bool Released = File.UnlockTable(SessionID, LockType);
      File.UnlockFile();
      if (!Released) throw EQXLException(20204, "Cannot unlock table");
      return true;
    }
    Pause(ReleaseDelayMS);
  }
  return false;
}

bool TQXLDatabaseTableLockManager::UnlockTable(std::int32_t SessionID, TQXLLockType LockType,
                                               TQXLTableLocksFile& TableLocksFile, bool IgnoreIfNoLock,
                                               bool IgnoreCount) {
  if (LPageManager.Exclusive()) return true;
  std::lock_guard Guard(FCSect);
  TQXLTableLockList& Locks = List(SessionID);
  const std::int32_t Table = TableLocksFile.StartPageNo();
  if (!Locks.LockExists(LockType, Table) && IgnoreIfNoLock) return true;
  bool HasPhysicalLock = false;
  Locks.RemoveLock(LockType, Table, HasPhysicalLock, IgnoreCount);
  if (!HasPhysicalLock) return true;
  if (HandOver(SessionID, LockType, TableLocksFile) && ReleasePhysical(SessionID, LockType, TableLocksFile))
    return true;
  Locks.AddLock(LockType, Table, true, true);
  return false;
}

}  // namespace qxl
