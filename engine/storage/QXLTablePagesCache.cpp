#include "engine/storage/QXLTablePagesCache.h"

#include <algorithm>

#include "engine/core/QXLException.h"

void TQXLDTPCTableInfo::Reset() {
  IsMostUpdatedLoaded = false;
  TableState = -1;
}

void TQXLDTPCTableInfo::TableIsSLocked() {
  if (TableSLockCount == 0 && TableRWLockCount == 0) Reset();
  ++TableSLockCount;
}

void TQXLDTPCTableInfo::TableIsRWLocked() {
  if (TableSLockCount == 0 && TableRWLockCount == 0) Reset();
  ++TableRWLockCount;
}

void TQXLDTPCTableInfo::TableIsSUnlocked() {
  if (TableSLockCount > 0) --TableSLockCount;
  if (TableSLockCount == 0 && TableRWLockCount == 0) Reset();
}

void TQXLDTPCTableInfo::TableIsRWUnlocked() {
  if (TableRWLockCount > 0) --TableRWLockCount;
  if (TableSLockCount == 0 && TableRWLockCount == 0) Reset();
}

void TQXLDTPCTableInfo::SetIsMostUpdatedLoaded(std::int32_t aTableState) {
  if (IsMostUpdatedLoaded) return;
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
bool TQXLDiskTablePagesCacheManager::GetIsMostUpdatedLoaded(std::int32_t SessionID, std::int32_t TableID) {
  return Session(SessionID).GetTableInfo(TableID).GetIsMostUpdatedLoaded();
}
void TQXLDiskTablePagesCacheManager::SetIsMostUpdatedLoaded(std::int32_t SessionID, std::int32_t TableID,
                                                            std::int32_t TableState) {
  Session(SessionID).GetTableInfo(TableID).SetIsMostUpdatedLoaded(TableState);
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
