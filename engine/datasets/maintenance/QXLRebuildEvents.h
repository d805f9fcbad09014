#pragma once
// The before, progress and after handlers that a maintenance operation of the
// database component hands to the rebuild: the component's own events when
// the program set them; otherwise, unless the database is silent, a wait
// window whose Abort button stops the rebuild. The window lives from the
// before handler to the after handler (or to the end of this object).
// Thread rule: one thread, the one that runs the operation.
#include <memory>

#include "engine/datasets/components/QXLDatabase.h"

namespace qxl {

class TQXLWaitForm;

enum class TQXLRebuildOperation : std::uint8_t { Repair, Compact, ChangePassword, ChangeSettings };

class TQXLRebuildEvents {
public:
  TQXLRebuildEvents(TQXLDatabase& Database, TQXLRebuildOperation Operation);
  // Closes a window still shown. Raises nothing.
  ~TQXLRebuildEvents();
  TQXLRebuildEvents(const TQXLRebuildEvents&) = delete;
  TQXLRebuildEvents& operator=(const TQXLRebuildEvents&) = delete;

  TQXLMaintenanceEvent Before();
  TQXLMaintenanceProgressEvent Progress();
  TQXLMaintenanceEvent After();

private:
  void DoBefore(TQXLDatabase& Sender);
  void DoProgress(TQXLDatabase& Sender, std::int32_t PercentDone, bool& Continue);
  void DoAfter(TQXLDatabase& Sender);

  TQXLDatabase& LDatabase;
  TQXLRebuildOperation FOperation;
  std::unique_ptr<TQXLWaitForm> FWaitForm;
};

}  // namespace qxl
