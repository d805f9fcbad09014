#pragma once
// A statement savepoint of one session in one page manager, held for one
// change of several steps: the change calls Release once all its steps are
// done; leaving the scope otherwise (by exception) takes back every page
// change made since the savepoint.
//
// Threads: under the same lock as the page manager's other callers; every
// page the change took must be given back before the savepoint goes.
#include <cstdint>

#include "engine/storage/pager/QXLPageManager.h"

namespace qxl {

class TQXLPageSavepoint {
public:
  TQXLPageSavepoint(TQXLPageManager& Manager, std::int32_t SessionID) : FManager(Manager), FSessionID(SessionID) {
    Manager.BeginSavepoint(SessionID);
  }
  ~TQXLPageSavepoint() {
    if (FActive) try {
        FManager.RollbackToSavepoint(FSessionID);
      } catch (...) {
        // Only memory can fail here; the change's own error is the one to report.
      }
  }
  TQXLPageSavepoint(const TQXLPageSavepoint&) = delete;
  TQXLPageSavepoint& operator=(const TQXLPageSavepoint&) = delete;

  void Release() {
    if (!FActive) return;
    FActive = false;
    FManager.ReleaseSavepoint(FSessionID);
  }

private:
  TQXLPageManager& FManager;
  std::int32_t FSessionID;
  bool FActive = true;
};

}  // namespace qxl
