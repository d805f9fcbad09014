#pragma once
// The process-wide in-memory database "MEMORY": its tables keep their
// records, indexes and BLOB values in process memory. It has no page cache
// of its own (each table has one), so commit and rollback touch no pages of
// it; every session that connects is session 0. Thread rule: the database
// lock guards its table list and object IDs.
#include <cstdint>

#include <memory>

#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/storage/btree/QXLBTreeRecordIndex.h"

namespace qxl {

class TQXLIndexFactory;


class TQXLMemoryDatabaseData : public TQXLDatabaseData {
public:
  static constexpr std::int32_t AllocRecordsBy = 1000;

  // IndexFactory makes the tables' index objects (the B-tree record index
  // when null); it must outlive the database.
  explicit TQXLMemoryDatabaseData(TQXLIndexFactory* IndexFactory = nullptr);
  // Frees every table. Raises nothing.
  ~TQXLMemoryDatabaseData() override;

  void ConnectSession(TQXLBaseSession* Session) override;
  // A new memory table named after the cursor's table, added to the list.
  TQXLTableData* CreateTableData(TQXLCursor* Cursor) override;
  std::int32_t GetNewObjectId() override;

private:
  std::int32_t FLastObjectID = 0;
  // The B-tree record index, unless the maker of the database gives another.
  TQXLBTreeIndexFactory FBTreeIndexFactory;
  TQXLIndexFactory* FIndexFactory;
};

}  // namespace qxl
