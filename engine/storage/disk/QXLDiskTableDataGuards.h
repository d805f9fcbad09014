#pragma once
// Scoped helpers of the disk table: the database's tables byte held for one
// change of the table list, the system session's pages of one definition
// step, and a flag set for the length of one operation.
// Thread rule: used inside one operation under the table lock.
#include "engine/storage/disk/QXLCommitProgress.h"
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

// The pages a definition step changes in the shared system session are
// committed by Commit; a step left any other way cancels them all, so that
// the next step of anybody does not commit what this one left half done. A
// commit that failed after it began to change the file keeps them instead,
// for the next commit to finish: cancelled, they would describe a file whose
// released pages are handed out again.
class TSystemPagesGuard {
public:
  explicit TSystemPagesGuard(TQXLDiskPageManager& Pages) : FPages(Pages) {}
  ~TSystemPagesGuard() {
    if (!FCommitted) try {
        FPages.CancelChanges(QXLSystemSessionID);
      } catch (...) {
        // The step's own error is the one to report.
      }
  }
  TSystemPagesGuard(const TSystemPagesGuard&) = delete;
  TSystemPagesGuard& operator=(const TSystemPagesGuard&) = delete;

  void Commit() {
    TQXLCommitProgress Progress(FPages, QXLSystemSessionID);
    try {
      FPages.ApplyChanges(QXLSystemSessionID);
    } catch (...) {
      FCommitted = Progress.Began();
      throw;
    }
    FCommitted = true;
  }

private:
  TQXLDiskPageManager& FPages;
  bool FCommitted = false;
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
