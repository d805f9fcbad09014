#pragma once
// One change of a disk table as a whole: a record insert, update or delete,
// or a definition step in the changing cursor's session. It takes a page
// savepoint of the session in the database's pages and in the temporary
// indexes' pages, and keeps the table's counters and the cursor's record
// buffer (with the BLOB values it has changed) as they were. Unless Done is
// called, leaving the scope puts all of it back, so that a step that fails
// part way leaves nothing for the session's next commit.
//
// Thread rule: inside one operation of the table, under the table lock.
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/storage/pager/QXLPageSavepoint.h"
#include "engine/storage/blobs/QXLDiskBlobManager.h"

namespace qxl {

class TQXLCursor;
class TQXLDiskTableData;


class TQXLDiskTableChange {
public:
  // Cursor may be null for a step without a record buffer.
  TQXLDiskTableChange(TQXLDiskTableData& Table, std::int32_t SessionID, TQXLCursor* Cursor);
  ~TQXLDiskTableChange();
  TQXLDiskTableChange(const TQXLDiskTableChange&) = delete;
  TQXLDiskTableChange& operator=(const TQXLDiskTableChange&) = delete;

  void Done();

private:
  void PutBack();

  TQXLDiskTableData& FTable;
  TQXLCursor* FCursor;
  std::optional<TQXLPageSavepoint> FPages;
  std::optional<TQXLPageSavepoint> FTemporaryPages;
  std::vector<std::uint8_t> FCounters;
  std::int32_t FLastUsedTableState;
  std::vector<std::uint8_t> FRecordBuffer;
  TQXLPageItemID FRecordID{};
  TQXLBlobCacheSnapshot FBlobCaches;
  bool FDone = false;
};

}  // namespace qxl
