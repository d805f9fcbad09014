// The lock manager's part in a transaction's commit: write locks on every
// table the transaction changed before its pages are written, and afterwards
// the transaction's locks dropped, record-locked tables keeping a read lock.
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/storage/locks/QXLDatabaseTableLockManager.h"
#include "engine/storage/locks/QXLTableLocksFile.h"

namespace qxl {

namespace {

// The tables of the session's locks of one mode, in list order.
std::vector<std::int32_t> TablesWith(const TQXLTableLockList& Locks, TQXLLockType LockType) {
  std::vector<std::int32_t> Tables;
  for (const TQXLTableLockItem& Item : Locks.Items())
    if (Item.LockType == LockType) Tables.push_back(Item.LocksFilePageNo);
  return Tables;
}

}  // namespace

bool TQXLDatabaseTableLockManager::AddRWLocksBeforeCommit(std::int32_t SessionID) {
  std::lock_guard Guard(FCSect);
  TQXLTableLockList& Locks = List(SessionID);
  if (Locks.Count() == 0) return true;
  for (std::int32_t Table : TablesWith(Locks, ltXIRW)) {
    if (Locks.StrongerLockExists(ltRW, Table)) continue;
    TQXLTableLocksFile File(LPageManager);
    File.OpenFile(Table);
    if (!LockTable(SessionID, ltRW, File, CommitTries, CommitDelayMS, true, true)) {
      DropRWLocks(SessionID);
      return false;
    }
  }
  return true;
}

void TQXLDatabaseTableLockManager::DropRWLocks(std::int32_t SessionID) {
  TQXLTableLockList& Locks = List(SessionID);
  for (std::int32_t Table : TablesWith(Locks, ltRW)) {
    TQXLTableLocksFile File(LPageManager);
    File.OpenFile(Table);
    UnlockTable(SessionID, ltRW, File, false, false);
  }
  if (!TablesWith(Locks, ltRW).empty()) throw EQXLException(20234, "Some table locks still exist");
}

bool TQXLDatabaseTableLockManager::ClearTransactionLocks(std::int32_t SessionID) {
  std::lock_guard Guard(FCSect);
  TQXLTableLockList& Locks = List(SessionID);
  for (std::int32_t Table : TablesWith(Locks, ltU)) {
    if (Locks.LockExists(ltSIRW, Table)) continue;
    TQXLTableLocksFile File(LPageManager);
    File.OpenFile(Table);
    if (!LockTable(SessionID, ltSIRW, File, CommitTries, CommitDelayMS, true, true)) return false;
  }
  // A release that fails puts its lock back at the end of the list; passes go
  // on while they release something.
  bool Progress = true;
  while (Progress && (!TablesWith(Locks, ltXIRW).empty() || !TablesWith(Locks, ltRW).empty()))
    Progress = ReleaseTransactionLocks(SessionID);
  return Progress;
}

bool TQXLDatabaseTableLockManager::ReleaseTransactionLocks(std::int32_t SessionID) {
  TQXLTableLockList& Locks = List(SessionID);
  bool Released = false;
  for (TQXLLockType LockType : {ltXIRW, ltRW}) {
    for (std::int32_t Table : TablesWith(Locks, LockType)) {
      TQXLTableLocksFile File(LPageManager);
      File.OpenFile(Table);
      if (UnlockTable(SessionID, LockType, File, false, true)) Released = true;
    }
  }
  return Released;
}

bool TQXLDatabaseTableLockManager::ReleaseLeftLocks(std::int32_t SessionID) {
  std::lock_guard Guard(FCSect);
  TQXLTableLockList& Locks = List(SessionID);
  auto Left = [&] {
    std::vector<TQXLTableLockItem> Items;
    for (const TQXLTableLockItem& Item : Locks.Items())
      if (Item.LockType != ltIS && Item.LockType != ltX) Items.push_back(Item);
    return Items;
  };
  for (const TQXLTableLockItem& Item : Left()) {
    TQXLTableLocksFile File(LPageManager);
    File.OpenFile(Item.LocksFilePageNo);
    // A record lock's byte is the session's, whichever record it names.
    if (Item.LockType == ltU)
      UnlockRecord(SessionID, File, TQXLPageItemID{});
    else
      UnlockTable(SessionID, Item.LockType, File, true, true);
  }
  return Left().empty();
}

}  // namespace qxl
