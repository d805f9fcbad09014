#pragma once
// Per session and table: the shared and read-write table locks a session holds
// and the table state it loaded under them, so that cached pages already
// validated at that state need no new look at the file.
//
// Threads: none of its own; used under the lock of the disk page manager's
// caller.
#include <cstdint>
#include <memory>
#include <vector>

class TQXLDTPCTableInfo {
public:
  explicit TQXLDTPCTableInfo(std::int32_t aTableID) : TableID(aTableID) {}

  void TableIsSLocked();
  void TableIsSUnlocked();
  void TableIsRWLocked();
  void TableIsRWUnlocked();
  bool GetIsMostUpdatedLoaded() const { return IsMostUpdatedLoaded; }
  // Only the first load of a lock period fixes the state.
  void SetIsMostUpdatedLoaded(std::int32_t aTableState);
  bool IsTableLockedFromModification() const { return TableSLockCount + TableRWLockCount > 0; }

  std::int32_t TableID;
  std::int32_t TableSLockCount = 0;
  std::int32_t TableRWLockCount = 0;
  bool IsMostUpdatedLoaded = false;
  std::int32_t TableState = -1;

private:
  void Reset();
};

class TQXLDTPCSessionInfo {
public:
  TQXLDTPCTableInfo& GetTableInfo(std::int32_t TableID);
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
  bool GetIsMostUpdatedLoaded(std::int32_t SessionID, std::int32_t TableID);
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
