#pragma once
// The process-wide temporary database "TEMP": append-only tables, such as
// query results, that spill to temporary files beyond their share of free
// memory. It has no page cache of its own. Thread rule: the database lock
// guards its table list and object IDs.
#include <cstdint>

#include <memory>

#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/storage/btree/QXLBTreeRecordIndex.h"
#include "engine/storage/temporary/QXLTemporaryTableData.h"

namespace qxl {

class TQXLIndexFactory;


class TQXLTemporaryDatabaseData : public TQXLDatabaseData {
public:
  static constexpr std::int32_t RecordsPerPage = 10;
  static constexpr std::int32_t AllocRecordsBy = 1000;

  // IndexFactory makes the tables' index objects (the B-tree record index
  // when null) and must outlive the
  // database; FreeMemory sizes each new table's memory shares (the engine
  // memory manager's free memory when empty).
  explicit TQXLTemporaryDatabaseData(TQXLIndexFactory* IndexFactory = nullptr, TQXLFreeMemorySource FreeMemory = {});
  // Frees every table. Raises nothing.
  ~TQXLTemporaryDatabaseData() override;

  TQXLTableData* CreateTableData(TQXLCursor* Cursor) override;
  std::int32_t GetNewObjectId() override;

private:
  std::int32_t FLastObjectID = 0;
  // The B-tree record index, unless the maker of the database gives another.
  TQXLBTreeIndexFactory FBTreeIndexFactory;
  TQXLIndexFactory* FIndexFactory;
  TQXLFreeMemorySource FFreeMemory;
};

}  // namespace qxl
