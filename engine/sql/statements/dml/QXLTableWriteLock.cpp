#include "engine/sql/statements/dml/QXLTableWriteLock.h"

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLCursor.h"
#include "platform/Clock.h"

namespace qxl {

TQXLTableDataLock::TQXLTableDataLock(TQXLCursor& Cursor) : FCursor(Cursor) { FCursor.LockTableData(); }

TQXLTableDataLock::~TQXLTableDataLock() {
  try {
    FCursor.UnlockTableData();
  } catch (...) {
    // Leaving a scope never raises; the statement's own error is the one reported.
  }
}

TQXLTableWriteLock::TQXLTableWriteLock(TQXLCursor& Cursor, std::int32_t Code) : FCursor(Cursor) {
  bool Locked = false;
  for (std::int32_t Try = 0; Try < Tries && !Locked; ++Try) {
    Locked = FCursor.LockTable(ltRW, 1, 0, true);
    if (Locked || Try + 1 == Tries) break;
    FCursor.UnlockTableData();
    platform::Sleep(DelayMS);
    FCursor.LockTableData();
  }
  if (!Locked) throw EQXLException(Code, "Table is locked");
  try {
    FXIRW = FCursor.LockTable(ltXIRW, 1, 0, false);
  } catch (...) {
    FCursor.UnlockTable(ltRW, true);
    throw;
  }
}

TQXLTableWriteLock::~TQXLTableWriteLock() {
  try {
    if (FXIRW) FCursor.UnlockTable(ltXIRW, true);
  } catch (...) {
    // As above; the write lock is released all the same.
  }
  try {
    FCursor.UnlockTable(ltRW, true);
  } catch (...) {
    // As above.
  }
}

}  // namespace qxl
