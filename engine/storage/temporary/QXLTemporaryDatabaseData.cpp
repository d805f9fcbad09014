#include "engine/storage/temporary/QXLTemporaryDatabaseData.h"

#include <limits>
#include <mutex>

#include "engine/core/containers/QXLMemoryManager.h"
#include "engine/core/abstract/QXLCursor.h"

namespace qxl {

TQXLTemporaryDatabaseData::TQXLTemporaryDatabaseData(TQXLIndexFactory* IndexFactory, TQXLFreeMemorySource FreeMemory)
    : FIndexFactory(IndexFactory ? IndexFactory : &FBTreeIndexFactory), FFreeMemory(std::move(FreeMemory)) {
  if (!FFreeMemory) FFreeMemory = [] { return QXLMemoryManager().GetFreeMemorySize(); };
  SetDatabaseName("TEMP");
}

TQXLTemporaryDatabaseData::~TQXLTemporaryDatabaseData() {
  while (TableDataCount() > 0) {
    try {
      TableData(0)->DeleteTable(nullptr, false);
    } catch (...) {
      FreeTableData(TableData(0));
    }
  }
}

TQXLTableData* TQXLTemporaryDatabaseData::CreateTableData(TQXLCursor* Cursor) {
  auto table = std::make_unique<TQXLTemporaryTableData>(this, RecordsPerPage, AllocRecordsBy, FIndexFactory, FFreeMemory);
  if (Cursor) table->SetTableName(Cursor->FTableName);
  return RegisterTableData(std::move(table));
}

std::int32_t TQXLTemporaryDatabaseData::GetNewObjectId() {
  std::lock_guard guard(CriticalSection());
  if (FLastObjectID == std::numeric_limits<std::int32_t>::max())
    throw platform::Exception("The temporary database has no object ID left");
  return ++FLastObjectID;
}

}  // namespace qxl
