#pragma once
// The table locks one session holds, one item per (mode, table) with a count
// of how often it was asked for and whether it holds its own byte in the
// table's locks file or rests on a stronger lock of the session.
// Thread rule: guarded by the lock manager's critical section.
#include <cstdint>
#include <vector>

#include "engine/core/values/QXLTypes.h"

namespace qxl {

struct TQXLTableLockItem {
  TQXLLockType LockType;
  std::int32_t LocksFilePageNo;
  std::int32_t LockCount;
  bool HasPhysicalLock;
  bool IsXIRWAfterSIRWAllowed;
};

class TQXLTableLockList {
public:
  const std::vector<TQXLTableLockItem>& Items() const { return FLockList; }
  std::int32_t Count() const { return static_cast<std::int32_t>(FLockList.size()); }

  // Counts a lock held already; its flags stay as they are.
  void AddLock(TQXLLockType LockType, std::int32_t LocksFilePageNo, bool HasPhysicalLock,
               bool IsXIRWAfterSIRWAllowed);
  // Raises 20202 for a lock not held. HasPhysicalLock tells whether the item
  // went and held a byte that must now be released.
  void RemoveLock(TQXLLockType LockType, std::int32_t LocksFilePageNo, bool& HasPhysicalLock, bool IgnoreCount);
  bool LockExists(TQXLLockType LockType, std::int32_t LocksFilePageNo) const;
  bool LockExists(TQXLLockType LockType, std::int32_t LocksFilePageNo, bool IsXIRWAfterSIRWAllowed) const;
  // Another lock of the session on the table whose mode covers LockType.
  bool StrongerLockExists(TQXLLockType LockType, std::int32_t LocksFilePageNo) const;
  void SetPhysicalLock(std::int32_t ItemNo);
  bool IsWeakerNonPhysicalLock(std::int32_t ItemNo, TQXLLockType LockType) const;
  // Raises 20201 while locks remain: a list must be empty when it goes.
  void CheckEmpty() const;

private:
  // The position of (LockType, table), or -1.
  std::int32_t Find(TQXLLockType LockType, std::int32_t LocksFilePageNo) const;

  std::vector<TQXLTableLockItem> FLockList;
};

}  // namespace qxl
