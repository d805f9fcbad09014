#pragma once
// Per session and table: the table locks a session holds that keep other
// writers out (S, RW, XIRW and X) and the table state it loaded under them,
// so that cached pages already validated at that state need no new look at
// the file. Counters loaded while no such lock is held are never trusted:
// another process may commit at any moment.
//
// Threads: none of its own; used under the lock of the disk page manager's
// caller.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/values/QXLTypes.h"

namespace qxl {

class TQXLDTPCTableInfo {
public:
  explicit TQXLDTPCTableInfo(std::int32_t aTableID) : TableID(aTableID) {}

  void TableIsSLocked();
  void TableIsSUnlocked();
  void TableIsRWLocked();
  void TableIsRWUnlocked();
  // Any lock type; those that let other writers in are not counted.
  void TableIsLocked(TQXLLockType LockType);
  void TableIsUnlocked(TQXLLockType LockType);
  // The lock manager dropped the transaction's XIRW and RW locks at once.
  void TransactionLocksReleased();
  // True only inside the lock period in which the counters were loaded.
  bool GetIsMostUpdatedLoaded() const { return IsMostUpdatedLoaded && IsTableLockedFromModification(); }
  // Only the first load of a lock period fixes the state; a load outside a
  // period fixes nothing.
  void SetIsMostUpdatedLoaded(std::int32_t aTableState);
  // The counters in memory are no longer the ones this session loaded.
  void ForgetMostUpdated() { IsMostUpdatedLoaded = false; }
  bool IsTableLockedFromModification() const;

  std::int32_t TableID;
  bool IsMostUpdatedLoaded = false;
  std::int32_t TableState = -1;

private:
  void Reset();
  // The count of each lock type, by its value; only S, XIRW, RW and X move.
  std::array<std::int32_t, ltX + 1> FLockCounts{};
};

class TQXLDTPCSessionInfo {
public:
  TQXLDTPCTableInfo& GetTableInfo(std::int32_t TableID);
  const std::vector<std::unique_ptr<TQXLDTPCTableInfo>>& Tables() const { return FTableInfo; }
  void BeginWorkWithTable(std::int32_t TableID);
  void EndWorkWithTable(std::int32_t TableID);
  // The state of the current (last begun) work table; true only while that
  // table is locked against change and its state was loaded.
  bool GetWorkTableState(std::int32_t& WorkTableState);
  // The same, naming the work table too.
  bool GetWorkTableState(std::int32_t& WorkTableID, std::int32_t& WorkTableState);

private:
  std::vector<std::unique_ptr<TQXLDTPCTableInfo>> FTableInfo;
  std::vector<std::int32_t> FWorkTableIDs;
};

class TQXLDiskTablePagesCacheManager {
public:
  void TableIsSLocked(std::int32_t SessionID, std::int32_t TableID);
  void TableIsSUnlocked(std::int32_t SessionID, std::int32_t TableID);
  void TableIsRWLocked(std::int32_t SessionID, std::int32_t TableID);
  void TableIsRWUnlocked(std::int32_t SessionID, std::int32_t TableID);
  void TableIsLocked(std::int32_t SessionID, std::int32_t TableID, TQXLLockType LockType);
  void TableIsUnlocked(std::int32_t SessionID, std::int32_t TableID, TQXLLockType LockType);
  // The session's transaction ended: its XIRW and RW locks are gone, and the
  // counters it loaded are to be read again.
  void TransactionEnded(std::int32_t SessionID);
  bool GetIsMostUpdatedLoaded(std::int32_t SessionID, std::int32_t TableID);
  // The table's counters in memory are shared by the sessions of this
  // manager: a load by one session is the others' cue to load again.
  void SetIsMostUpdatedLoaded(std::int32_t SessionID, std::int32_t TableID, std::int32_t TableState);
  void BeginWorkWithTable(std::int32_t SessionID, std::int32_t TableID);
  void EndWorkWithTable(std::int32_t SessionID, std::int32_t TableID);
  bool GetWorkTableState(std::int32_t SessionID, std::int32_t& WorkTableState);
  bool GetWorkTableState(std::int32_t SessionID, std::int32_t& WorkTableID, std::int32_t& WorkTableState);

private:
  // Indexed by session number + 2; grows on first use of a session.
  TQXLDTPCSessionInfo& Session(std::int32_t SessionID);
  std::vector<std::unique_ptr<TQXLDTPCSessionInfo>> FSessionInfo;
};

}  // namespace qxl
