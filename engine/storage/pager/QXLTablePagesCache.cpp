#include "engine/storage/pager/QXLTablePagesCache.h"

#include <algorithm>

#include "engine/core/QXLException.h"

namespace qxl {

void TQXLDTPCTableInfo::Reset() {
  IsMostUpdatedLoaded = false;
  TableState = -1;
}

namespace {

bool KeepsWritersOut(TQXLLockType LockType) {
  return LockType == ltS || LockType == ltXIRW || LockType == ltRW || LockType == ltX;
}

}  // namespace

bool TQXLDTPCTableInfo::IsTableLockedFromModification() const {
  for (std::int32_t Count : FLockCounts)
    if (Count > 0) return true;
  return false;
}

void TQXLDTPCTableInfo::TableIsLocked(TQXLLockType LockType) {
  if (!KeepsWritersOut(LockType)) return;
  // A period begins: what was loaded before it may be stale by now.
  if (!IsTableLockedFromModification()) Reset();
  ++FLockCounts[LockType];
}

void TQXLDTPCTableInfo::TableIsUnlocked(TQXLLockType LockType) {
  if (!KeepsWritersOut(LockType)) return;
  if (FLockCounts[LockType] > 0) --FLockCounts[LockType];
  if (!IsTableLockedFromModification()) Reset();
}

void TQXLDTPCTableInfo::TableIsSLocked() { TableIsLocked(ltS); }
void TQXLDTPCTableInfo::TableIsRWLocked() { TableIsLocked(ltRW); }
void TQXLDTPCTableInfo::TableIsSUnlocked() { TableIsUnlocked(ltS); }
void TQXLDTPCTableInfo::TableIsRWUnlocked() { TableIsUnlocked(ltRW); }

void TQXLDTPCTableInfo::TransactionLocksReleased() {
  FLockCounts[ltXIRW] = 0;
  FLockCounts[ltRW] = 0;
  // Its own uncommitted counters went with a rollback, and a commit's are
  // reread at once anyway.
  Reset();
}

void TQXLDTPCTableInfo::SetIsMostUpdatedLoaded(std::int32_t aTableState) {
  if (IsMostUpdatedLoaded || !IsTableLockedFromModification()) return;
  IsMostUpdatedLoaded = true;
  TableState = aTableState;
}

TQXLDTPCTableInfo& TQXLDTPCSessionInfo::GetTableInfo(std::int32_t TableID) {
  for (auto& Info : FTableInfo)
    if (Info->TableID == TableID) return *Info;
  FTableInfo.push_back(std::make_unique<TQXLDTPCTableInfo>(TableID));
  return *FTableInfo.back();
}

void TQXLDTPCSessionInfo::BeginWorkWithTable(std::int32_t TableID) {
  GetTableInfo(TableID);
  FWorkTableIDs.push_back(TableID);
}

void TQXLDTPCSessionInfo::EndWorkWithTable(std::int32_t TableID) {
  auto It = std::find(FWorkTableIDs.begin(), FWorkTableIDs.end(), TableID);
  if (It != FWorkTableIDs.end()) FWorkTableIDs.erase(It);
}

bool TQXLDTPCSessionInfo::GetWorkTableState(std::int32_t& WorkTableState) {
  std::int32_t WorkTableID;
  return GetWorkTableState(WorkTableID, WorkTableState);
}

bool TQXLDTPCSessionInfo::GetWorkTableState(std::int32_t& WorkTableID, std::int32_t& WorkTableState) {
  if (FWorkTableIDs.empty()) return false;
  const TQXLDTPCTableInfo& Info = GetTableInfo(FWorkTableIDs.back());
  WorkTableID = Info.TableID;
  WorkTableState = Info.TableState;
  return Info.IsTableLockedFromModification() && Info.IsMostUpdatedLoaded;
}

TQXLDTPCSessionInfo& TQXLDiskTablePagesCacheManager::Session(std::int32_t SessionID) {
  if (SessionID < -2) throw EQXLException(20186, "Invalid Session ID");
  const std::size_t Index = static_cast<std::size_t>(SessionID + 2);
  while (FSessionInfo.size() <= Index) FSessionInfo.push_back(std::make_unique<TQXLDTPCSessionInfo>());
  return *FSessionInfo[Index];
}

void TQXLDiskTablePagesCacheManager::TableIsSLocked(std::int32_t SessionID, std::int32_t TableID) {
  Session(SessionID).GetTableInfo(TableID).TableIsSLocked();
}
void TQXLDiskTablePagesCacheManager::TableIsSUnlocked(std::int32_t SessionID, std::int32_t TableID) {
  Session(SessionID).GetTableInfo(TableID).TableIsSUnlocked();
}
void TQXLDiskTablePagesCacheManager::TableIsRWLocked(std::int32_t SessionID, std::int32_t TableID) {
  Session(SessionID).GetTableInfo(TableID).TableIsRWLocked();
}
void TQXLDiskTablePagesCacheManager::TableIsRWUnlocked(std::int32_t SessionID, std::int32_t TableID) {
  Session(SessionID).GetTableInfo(TableID).TableIsRWUnlocked();
}
void TQXLDiskTablePagesCacheManager::TableIsLocked(std::int32_t SessionID, std::int32_t TableID,
                                                   TQXLLockType LockType) {
  Session(SessionID).GetTableInfo(TableID).TableIsLocked(LockType);
}
void TQXLDiskTablePagesCacheManager::TableIsUnlocked(std::int32_t SessionID, std::int32_t TableID,
                                                     TQXLLockType LockType) {
  Session(SessionID).GetTableInfo(TableID).TableIsUnlocked(LockType);
}
void TQXLDiskTablePagesCacheManager::TransactionEnded(std::int32_t SessionID) {
  for (const auto& Info : Session(SessionID).Tables()) Info->TransactionLocksReleased();
}
bool TQXLDiskTablePagesCacheManager::GetIsMostUpdatedLoaded(std::int32_t SessionID, std::int32_t TableID) {
  return Session(SessionID).GetTableInfo(TableID).GetIsMostUpdatedLoaded();
}
void TQXLDiskTablePagesCacheManager::SetIsMostUpdatedLoaded(std::int32_t SessionID, std::int32_t TableID,
                                                            std::int32_t TableState) {
  TQXLDTPCTableInfo& Own = Session(SessionID).GetTableInfo(TableID);
  for (const auto& Other : FSessionInfo)
    for (const auto& Info : Other->Tables())
      if (Info->TableID == TableID && Info.get() != &Own) Info->ForgetMostUpdated();
  Own.SetIsMostUpdatedLoaded(TableState);
}
void TQXLDiskTablePagesCacheManager::BeginWorkWithTable(std::int32_t SessionID, std::int32_t TableID) {
  Session(SessionID).BeginWorkWithTable(TableID);
}
void TQXLDiskTablePagesCacheManager::EndWorkWithTable(std::int32_t SessionID, std::int32_t TableID) {
  Session(SessionID).EndWorkWithTable(TableID);
}
bool TQXLDiskTablePagesCacheManager::GetWorkTableState(std::int32_t SessionID, std::int32_t& WorkTableState) {
  return Session(SessionID).GetWorkTableState(WorkTableState);
}

bool TQXLDiskTablePagesCacheManager::GetWorkTableState(std::int32_t SessionID, std::int32_t& WorkTableID,
                                                       std::int32_t& WorkTableState) {
  return Session(SessionID).GetWorkTableState(WorkTableID, WorkTableState);
}

}  // namespace qxl
