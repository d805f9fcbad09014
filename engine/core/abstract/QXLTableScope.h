#pragma once
// A statement's hold on a table, for the statement's length. A read scope:
// in a file shared between processes, the shared table lock, the counters
// loaded and the session's temporary indexes brought up to date, once; the
// record reads inside take no lock and reload nothing. A write scope: the
// table's write lock (RW, in a transaction XIRW kept until it ends) and the
// counters loaded once; the changes inside reload nothing. Both give back
// what they took on every way out; a lock that cannot be had raises
// LockedCode "Table is locked" with nothing held.
// Thread rule: on the stack of the statement's thread.
#include <cstdint>

namespace qxl {

class TQXLCursor;
class TQXLTableData;

class TQXLTableReadScope {
public:
  TQXLTableReadScope(TQXLTableData& Table, TQXLCursor& Cursor, std::int32_t LockedCode);
  ~TQXLTableReadScope();
  TQXLTableReadScope(const TQXLTableReadScope&) = delete;
  TQXLTableReadScope& operator=(const TQXLTableReadScope&) = delete;

private:
  TQXLTableData& FTable;
  TQXLCursor& FCursor;
};

class TQXLTableWriteScope {
public:
  TQXLTableWriteScope(TQXLTableData& Table, TQXLCursor& Cursor, std::int32_t LockedCode);
  ~TQXLTableWriteScope();
  TQXLTableWriteScope(const TQXLTableWriteScope&) = delete;
  TQXLTableWriteScope& operator=(const TQXLTableWriteScope&) = delete;

private:
  TQXLTableData& FTable;
  TQXLCursor& FCursor;
};

}  // namespace qxl
