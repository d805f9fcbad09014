#pragma once
// Where a record index reads a whole record when two cut keys agree on their
// prefixes: the table's record store, seen from the B-tree layer.
// Thread rule: called under the table's lock, like the index itself.
#include <cstdint>

#include "engine/core/containers/QXLPageItemID.h"

namespace qxl {

class TQXLKeyRecordSource {
public:
  virtual ~TQXLKeyRecordSource() = default;
  // Bytes of one memory record buffer of the table.
  virtual std::int32_t RecordBufferSize() const = 0;
  // Fills RecordBuffer with the record RecordID as SessionID sees it; false
  // when the record cannot be read.
  virtual bool ReadRecord(std::int32_t SessionID, const TQXLPageItemID& RecordID, std::uint8_t* RecordBuffer) = 0;
};

}  // namespace qxl
