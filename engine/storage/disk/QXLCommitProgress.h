#pragma once
// How far a failed commit of one session got, seen from outside the page
// manager: taken before the commit, it tells afterwards whether the commit
// may have changed the file. A commit marks the stored header before it
// releases or writes any of the session's pages, and takes each page off the
// session's lists as it reaches the file; a commit that failed before its
// mark reached the file changed nothing.
//
// Thread rule: under the lock of the commit it watches.
#include <cstdint>
#include <utility>

#include "engine/storage/pager/QXLDiskPageManager.h"

namespace qxl {

class TQXLCommitProgress {
public:
  TQXLCommitProgress(TQXLDiskPageManager& Pages, std::int32_t SessionID)
      : FPages(Pages), FSessionID(SessionID), FPending(Pending()),
        FMarkedBefore(Pages.DBHeader().WriteChangesState != QXLWriteChangesDone) {}

  // After the commit failed: true when it may have changed the file, so
  // that the session's pages describe the file better than their rollback.
  bool Began() {
    if (Pending() != FPending) return true;
    // A mark left by an earlier cut commit says nothing about this one.
    if (FMarkedBefore) return false;
    // The commit marks the header in memory once it holds the header lock
    // and before it writes the mark: one refused the lock got no further.
    if (FPages.DBHeader().WriteChangesState == QXLWriteChangesDone) return false;
    // Whether the mark reached the file, read under the header lock, so
    // that another process's commit is not taken for this one.
    try {
      if (!FPages.LockDBHeader()) return true;
      bool Marked = true;
      try {
        FPages.ReadDBHeader();
        Marked = FPages.DBHeader().WriteChangesState != QXLWriteChangesDone;
      } catch (...) {
        // A header that cannot be read tells nothing: the file may have changed.
      }
      FPages.UnlockDBHeader();
      return Marked;
    } catch (...) {
      return true;
    }
  }

private:
  std::pair<std::int64_t, std::int64_t> Pending() const {
    const TQXLSessionPageInfo* Info = FPages.FindSession(FSessionID);
    if (!Info) return {0, 0};
    return {Info->DirtyPages.Count(), Info->RemovedPageNumbers.ItemCount()};
  }

  TQXLDiskPageManager& FPages;
  std::int32_t FSessionID;
  std::pair<std::int64_t, std::int64_t> FPending;
  bool FMarkedBefore;
};

}  // namespace qxl
