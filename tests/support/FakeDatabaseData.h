#pragma once
// Stands in for an engine's database data: table data objects are
// FakeTableData, named after the cursor that opens them, and object IDs count
// up from 1000.
#include <cstdint>
#include <memory>

#include "engine/core/abstract/QXLCursor.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "tests/support/FakeTableData.h"

namespace qxl {

class FakeDatabaseData : public TQXLDatabaseData {
public:
  TQXLTableData* CreateTableData(TQXLCursor* Cursor) override {
    ++TablesCreated;
    auto table = std::make_unique<FakeTableData>(this);
    table->SetTableName(Cursor->FTableName);
    return RegisterTableData(std::move(table));
  }
  std::int32_t GetNewObjectId() override { return NextObjectId++; }

  std::int32_t TablesCreated = 0;
  std::int32_t NextObjectId = 1000;
};

}  // namespace qxl
