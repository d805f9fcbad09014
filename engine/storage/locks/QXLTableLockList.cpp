#include "engine/storage/locks/QXLTableLockList.h"

#include "engine/core/QXLException.h"
#include "engine/storage/locks/QXLLockCompatibility.h"

namespace qxl {

std::int32_t TQXLTableLockList::Find(TQXLLockType LockType, std::int32_t LocksFilePageNo) const {
  for (std::size_t i = 0; i < FLockList.size(); ++i)
    if (FLockList[i].LockType == LockType && FLockList[i].LocksFilePageNo == LocksFilePageNo)
      return static_cast<std::int32_t>(i);
  return -1;
}

void TQXLTableLockList::AddLock(TQXLLockType LockType, std::int32_t LocksFilePageNo, bool HasPhysicalLock,
                                bool IsXIRWAfterSIRWAllowed) {
  const std::int32_t At = Find(LockType, LocksFilePageNo);
  if (At >= 0) {
    ++FLockList[static_cast<std::size_t>(At)].LockCount;
    return;
  }
  FLockList.push_back({LockType, LocksFilePageNo, 1, HasPhysicalLock, IsXIRWAfterSIRWAllowed});
}

void TQXLTableLockList::RemoveLock(TQXLLockType LockType, std::int32_t LocksFilePageNo, bool& HasPhysicalLock,
                                   bool IgnoreCount) {
  const std::int32_t At = Find(LockType, LocksFilePageNo);
  if (At < 0) throw EQXLException(20202, "Cannot remove table lock. Lock not found");
  TQXLTableLockItem& Item = FLockList[static_cast<std::size_t>(At)];
  HasPhysicalLock = false;
  if (--Item.LockCount > 0 && !IgnoreCount) return;
  HasPhysicalLock = Item.HasPhysicalLock;
  FLockList.erase(FLockList.begin() + At);
}

bool TQXLTableLockList::LockExists(TQXLLockType LockType, std::int32_t LocksFilePageNo) const {
  return Find(LockType, LocksFilePageNo) >= 0;
}

bool TQXLTableLockList::LockExists(TQXLLockType LockType, std::int32_t LocksFilePageNo,
                                   bool IsXIRWAfterSIRWAllowed) const {
  const std::int32_t At = Find(LockType, LocksFilePageNo);
  return At >= 0 && FLockList[static_cast<std::size_t>(At)].IsXIRWAfterSIRWAllowed == IsXIRWAfterSIRWAllowed;
}

bool TQXLTableLockList::StrongerLockExists(TQXLLockType LockType, std::int32_t LocksFilePageNo) const {
  for (const TQXLTableLockItem& Item : FLockList)
    if (Item.LocksFilePageNo == LocksFilePageNo && Item.LockType != LockType && qxl::LockCovers(Item.LockType, LockType))
      return true;
  return false;
}

void TQXLTableLockList::SetPhysicalLock(std::int32_t ItemNo) {
  FLockList.at(static_cast<std::size_t>(ItemNo)).HasPhysicalLock = true;
}

bool TQXLTableLockList::IsWeakerNonPhysicalLock(std::int32_t ItemNo, TQXLLockType LockType) const {
  const TQXLTableLockItem& Item = FLockList.at(static_cast<std::size_t>(ItemNo));
  return qxl::LockCovers(LockType, Item.LockType) && !Item.HasPhysicalLock;
}

void TQXLTableLockList::CheckEmpty() const {
  if (!FLockList.empty()) throw EQXLException(20201, "Some table locks still exist");
}

}  // namespace qxl
