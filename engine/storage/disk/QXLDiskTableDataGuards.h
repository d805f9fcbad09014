#pragma once
// Scoped helpers of the disk table: the database's tables byte held for one
// change of the table list, and a flag set for the length of one operation.
// Thread rule: used inside one operation under the table lock.
#include "engine/storage/disk/QXLDiskDatabaseData.h"

namespace qxl {

// Takes the tables byte; Release gives it back and reports a failure to do
// so, the destructor gives it back on a way out by exception.
class TDiskTablesLock {
public:
  explicit TDiskTablesLock(TQXLDiskDatabaseData& Database) : FDatabase(Database) { Database.LockTables(); }
  ~TDiskTablesLock() {
    if (FHeld) try {
        FDatabase.UnlockTables();
      } catch (...) {
        // The error on the way out is the one to report.
      }
  }
  TDiskTablesLock(const TDiskTablesLock&) = delete;
  TDiskTablesLock& operator=(const TDiskTablesLock&) = delete;

  void Release() {
    FHeld = false;
    FDatabase.UnlockTables();
  }

private:
  TQXLDiskDatabaseData& FDatabase;
  bool FHeld = true;
};

class TFlagGuard {
public:
  TFlagGuard(bool& Flag, bool Value) : FFlag(Flag), FSaved(Flag) { Flag = Value; }
  ~TFlagGuard() { FFlag = FSaved; }
  TFlagGuard(const TFlagGuard&) = delete;
  TFlagGuard& operator=(const TFlagGuard&) = delete;

private:
  bool& FFlag;
  bool FSaved;
};

}  // namespace qxl
