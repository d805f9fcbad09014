#pragma once
// One change of a disk table as a whole: a record insert, update or delete,
// or a definition step in the changing cursor's session. It takes a page
// savepoint of the session in the database's pages and in the temporary
// indexes' pages, and keeps the table's counters and the cursor's record
// buffer (with the BLOB values it has changed) as they were. Unless Done is
// called, leaving the scope puts all of it back, so that a step that fails
// part way leaves nothing for the session's next commit. A commit that fails
// after it has begun to write or release the session's pages has changed the
// file under the change: the change then stays in the session, for its next
// commit to finish, rather than being taken back over pages that the file
// may already have handed back.
//
// Thread rule: inside one operation of the table, under the table lock.
#include <cstdint>
#include <functional>
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
  // Runs Apply, the commit that ends the change.
  void Commit(const std::function<void()>& Apply);

private:
  void PutBack();

  TQXLDiskTableData& FTable;
  TQXLCursor* FCursor;
  std::int32_t FSessionID;
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
