// The disk table's locks: table and record locks taken through the
// database's lock manager in the table's locks file, with the session's page
// state told when a lock that fixes the table's pages is taken or released;
// and the numbering of records in cursor bitmaps.
#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/disk/QXLDiskDatabaseData.h"
#include "engine/storage/disk/QXLDiskTableData.h"
#include "engine/storage/locks/QXLDatabaseTableLockManager.h"
#include "engine/storage/locks/QXLTableLocksFile.h"
#include "engine/storage/records/QXLDiskRecordManager.h"

namespace qxl {

namespace {

[[noreturn]] void RaiseNotOpen(const std::string& TableName) {
  throw platform::Exception(platform::Format("Table '%s' is not open", TableName));
}

}  // namespace

bool TQXLDiskTableData::LockTable(std::int32_t SessionID, TQXLLockType LockType, std::int32_t TryCount,
                                  std::int32_t Delay, bool AllowXIRWAfterSIRW) {
  if (!IsMultiUser()) return true;
  if (!FTableLocksFile) RaiseNotOpen(FTableName);
  if (!Database().TableLockManager()->LockTable(SessionID, LockType, *FTableLocksFile, TryCount, Delay, false,
                                                AllowXIRWAfterSIRW))
    return false;
  DiskPageManager().TablePagesCacheManager().TableIsLocked(SessionID, FTableID, LockType);
  return true;
}

bool TQXLDiskTableData::UnlockTable(std::int32_t SessionID, TQXLLockType LockType, bool IgnoreIfNoLock) {
  if (!IsMultiUser()) return true;
  if (!FTableLocksFile) RaiseNotOpen(FTableName);
  if (!Database().TableLockManager()->UnlockTable(SessionID, LockType, *FTableLocksFile, IgnoreIfNoLock, false))
    return false;
  DiskPageManager().TablePagesCacheManager().TableIsUnlocked(SessionID, FTableID, LockType);
  return true;
}

bool TQXLDiskTableData::LockRecord(std::int32_t SessionID, const TQXLPageItemID& RecordID, std::int32_t TryCount,
                                   std::int32_t Delay) {
  if (!IsMultiUser()) return true;
  if (!FTableLocksFile) RaiseNotOpen(FTableName);
  return Database().TableLockManager()->LockRecord(SessionID, *FTableLocksFile, RecordID, TryCount, Delay);
}

bool TQXLDiskTableData::UnlockRecord(std::int32_t SessionID, const TQXLPageItemID& RecordID) {
  if (!IsMultiUser()) return true;
  if (!FTableLocksFile) RaiseNotOpen(FTableName);
  return Database().TableLockManager()->UnlockRecord(SessionID, *FTableLocksFile, RecordID);
}

bool TQXLDiskTableData::IsRecordLocked(std::int32_t SessionID, const TQXLPageItemID& RecordID) {
  if (!IsMultiUser()) return false;
  if (!FTableLocksFile) RaiseNotOpen(FTableName);
  return Database().TableLockManager()->IsRecordLocked(SessionID, *FTableLocksFile, RecordID);
}

std::int64_t TQXLDiskTableData::GetRecordBitmapSize(std::int32_t SessionID) {
  qxl::TQXLDiskRecordManager& Records = OpenRecords();
  std::int32_t LastPageNo = -1;
  if (!Records.RecordPageIndex().GetLastRecordPage(SessionID, LastPageNo)) return 1;
  return (std::int64_t{LastPageNo} + 1) * Records.MaxRecordsOnPage();
}

std::int64_t TQXLDiskTableData::RecordIDToBitNo(const TQXLPageItemID& RecordID) {
  return std::int64_t{RecordID.PageNo} * OpenRecords().MaxRecordsOnPage() + RecordID.PageItemNo;
}

TQXLPageItemID TQXLDiskTableData::BitNoToRecordID(std::int64_t BitNo) {
  const std::int64_t PerPage = OpenRecords().MaxRecordsOnPage();
  return TQXLPageItemID{static_cast<std::int32_t>(BitNo / PerPage), static_cast<std::uint16_t>(BitNo % PerPage)};
}

}  // namespace qxl
