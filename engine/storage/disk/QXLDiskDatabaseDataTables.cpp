// The table list as the disk tables change it, the tables' data objects and
// the object identifiers of the database.
#include <mutex>

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/disk/QXLDiskDatabaseData.h"
#include "engine/storage/disk/QXLDiskTableData.h"
#include "engine/storage/files/QXLTableListFile.h"

namespace qxl {

TQXLTableListFile& TQXLDiskDatabaseData::OpenTableList(std::int32_t NilCode) const {
  if (!FTableListFile) throw EQXLException(NilCode, "Pointer is nil");
  return *FTableListFile;
}

void TQXLDiskDatabaseData::GetTablesList(std::vector<std::string>& List) {
  std::lock_guard guard(CriticalSection());
  if (FTableListFile) FTableListFile->GetTablesList(List);
}

void TQXLDiskDatabaseData::AddTableListItem(std::int32_t TableID, const std::string& TableName,
                                            std::int32_t MetadataFilePageNo, std::int32_t MostUpdatedFilePageNo,
                                            std::int32_t LocksFilePageNo) {
  std::lock_guard guard(CriticalSection());
  // The list saves each change itself, with the tables byte still held.
  FTableListFile->AddTable(TableID, TableName, MetadataFilePageNo, MostUpdatedFilePageNo, LocksFilePageNo);
}

void TQXLDiskDatabaseData::FindTableListItem(const std::string& TableName, std::int32_t& TableID,
                                             std::int32_t& MetadataFilePageNo, std::int32_t& MostUpdatedFilePageNo,
                                             std::int32_t& LocksFilePageNo) {
  std::lock_guard guard(CriticalSection());
  OpenTableList(20129).OpenTable(TableName, TableID, MetadataFilePageNo, MostUpdatedFilePageNo, LocksFilePageNo);
}

void TQXLDiskDatabaseData::RemoveTableListItem(const std::string& TableName) {
  std::lock_guard guard(CriticalSection());
  OpenTableList(20130).RemoveTable(TableName);
}

void TQXLDiskDatabaseData::RenameTableListItem(const std::string& TableName, const std::string& NewTableName) {
  std::lock_guard guard(CriticalSection());
  OpenTableList(20131).RenameTable(TableName, NewTableName);
}

std::int32_t TQXLDiskDatabaseData::GetNewObjectId() {
  std::lock_guard guard(CriticalSection());
  if (!FDiskPageManager) throw EQXLException(30399, "Error - database file is not opened.");
  return FDiskPageManager->GetNextObjectID();
}

TQXLTableData* TQXLDiskDatabaseData::CreateTableData(TQXLCursor* Cursor) {
  std::lock_guard guard(CriticalSection());
  auto Table = std::make_unique<TQXLDiskTableData>(this, LIndexFactory);
  if (Cursor) Table->SetTableName(Cursor->FTableName);
  return RegisterTableData(std::move(Table));
}

}  // namespace qxl
