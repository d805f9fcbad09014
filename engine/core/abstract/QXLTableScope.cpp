#include "engine/core/abstract/QXLTableScope.h"

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLTableData.h"

namespace qxl {

TQXLTableReadScope::TQXLTableReadScope(TQXLTableData& Table, TQXLCursor& Cursor, std::int32_t LockedCode)
    : FTable(Table), FCursor(Cursor) {
  if (!FTable.BeginReadScope(&FCursor)) throw EQXLException(LockedCode, "Table is locked");
}

TQXLTableReadScope::~TQXLTableReadScope() {
  try {
    FTable.EndReadScope(&FCursor);
  } catch (...) {
    // A lock that cannot be given back stays to the session's next release.
  }
}

TQXLTableWriteScope::TQXLTableWriteScope(TQXLTableData& Table, TQXLCursor& Cursor, std::int32_t LockedCode)
    : FTable(Table), FCursor(Cursor) {
  if (!FTable.BeginWriteScope(&FCursor)) throw EQXLException(LockedCode, "Table is locked");
}

TQXLTableWriteScope::~TQXLTableWriteScope() {
  try {
    FTable.EndWriteScope(&FCursor);
  } catch (...) {
    // A lock that cannot be given back stays to the session's next release.
  }
}

}  // namespace qxl
