#include "engine/storage/memory/QXLMemoryDatabaseData.h"

#include <limits>
#include <mutex>

#include "engine/core/QXLException.h"
#include "engine/core/QXLSession.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/storage/memory/QXLMemoryTableData.h"

namespace qxl {

TQXLMemoryDatabaseData::TQXLMemoryDatabaseData(TQXLIndexFactory* IndexFactory) : FIndexFactory(IndexFactory ? IndexFactory : &FBTreeIndexFactory) {
  SetDatabaseName("MEMORY");
}

TQXLMemoryDatabaseData::~TQXLMemoryDatabaseData() {
  // The tables go while the engine's table data still knows its database.
  while (TableDataCount() > 0) {
    try {
      TableData(0)->DeleteTable(nullptr, false);
    } catch (...) {
      FreeTableData(TableData(0));
    }
  }
}

void TQXLMemoryDatabaseData::ConnectSession(TQXLBaseSession* Session) {
  Session->FSessionID = 0;
  TQXLDatabaseData::ConnectSession(Session);
}

TQXLTableData* TQXLMemoryDatabaseData::CreateTableData(TQXLCursor* Cursor) {
  auto table = std::make_unique<TQXLMemoryTableData>(this, AllocRecordsBy, FIndexFactory);
  if (Cursor) table->SetTableName(Cursor->FTableName);
  return RegisterTableData(std::move(table));
}

std::int32_t TQXLMemoryDatabaseData::GetNewObjectId() {
  std::lock_guard guard(CriticalSection());
  if (FLastObjectID == std::numeric_limits<std::int32_t>::max())
    throw platform::Exception("The in-memory database has no object ID left");
  return ++FLastObjectID;
}

}  // namespace qxl
