#pragma once
// The locks a data statement holds outside a transaction: the table data
// lock of the process for the whole statement, and the table's write lock
// (RW, with XIRW when it can be had at once) for the statement's batch.
// Waiting for the write lock gives the table data lock up between tries, so
// that other cursors of the process on the table get on meanwhile. Both
// are released on every way out of their scope.
//
// Threads: used by the thread that runs the statement.
#include <cstdint>

namespace qxl {

class TQXLCursor;

class TQXLTableDataLock {
public:
  explicit TQXLTableDataLock(TQXLCursor& Cursor);
  ~TQXLTableDataLock();
  TQXLTableDataLock(const TQXLTableDataLock&) = delete;
  TQXLTableDataLock& operator=(const TQXLTableDataLock&) = delete;

private:
  TQXLCursor& FCursor;
};

class TQXLTableWriteLock {
public:
  static constexpr std::int32_t Tries = 1125;
  static constexpr std::int32_t DelayMS = 80;

  // Needs the table data lock held. Raises Code "Table is locked" when
  // every try failed.
  TQXLTableWriteLock(TQXLCursor& Cursor, std::int32_t Code);
  ~TQXLTableWriteLock();
  TQXLTableWriteLock(const TQXLTableWriteLock&) = delete;
  TQXLTableWriteLock& operator=(const TQXLTableWriteLock&) = delete;

private:
  TQXLCursor& FCursor;
  bool FXIRW = false;
};

}  // namespace qxl
