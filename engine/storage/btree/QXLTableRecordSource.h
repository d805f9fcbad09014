#pragma once
// A table's record store as the source of whole records for a record index
// whose cut keys tie: reads through the table data's record manager.
// Thread rule: called under the table's lock, like the index itself.
#include "engine/storage/btree/QXLKeyRecordSource.h"

namespace qxl {

class TQXLTableData;


class TQXLTableRecordSource : public TQXLKeyRecordSource {
public:
  explicit TQXLTableRecordSource(TQXLTableData* TableData) : LTableData(TableData) {}

  std::int32_t RecordBufferSize() const override;
  bool ReadRecord(std::int32_t SessionID, const TQXLPageItemID& RecordID, std::uint8_t* RecordBuffer) override;

private:
  TQXLTableData* LTableData;
};

}  // namespace qxl
