#include "engine/datasets/maintenance/QXLRebuildEvents.h"

#include "engine/datasets/QXLWaitForm.h"

namespace qxl {

namespace {

struct TOperationEvents {
  TQXLMaintenanceEvent TQXLDatabase::*Before;
  TQXLMaintenanceProgressEvent TQXLDatabase::*Progress;
  TQXLMaintenanceEvent TQXLDatabase::*After;
  const char* WaitText;
};

const TOperationEvents& EventsOf(TQXLRebuildOperation Operation) {
  static const TOperationEvents Table[] = {
      {&TQXLDatabase::BeforeRepair, &TQXLDatabase::OnRepairProgress, &TQXLDatabase::AfterRepair,
       "Repairing Database..."},
      {&TQXLDatabase::BeforeCompact, &TQXLDatabase::OnCompactProgress, &TQXLDatabase::AfterCompact,
       "Compacting Database..."},
      {&TQXLDatabase::BeforeChangePassword, &TQXLDatabase::OnChangePasswordProgress,
       &TQXLDatabase::AfterChangePassword, "Changing Database Password..."},
      {&TQXLDatabase::BeforeChangeDatabaseSettings, &TQXLDatabase::OnChangeDatabaseSettingsProgress,
       &TQXLDatabase::AfterChangeDatabaseSettings, "Changing Database Settings..."},
  };
  return Table[static_cast<std::size_t>(Operation)];
}

}  // namespace

TQXLRebuildEvents::TQXLRebuildEvents(TQXLDatabase& Database, TQXLRebuildOperation Operation)
    : LDatabase(Database), FOperation(Operation) {}

TQXLRebuildEvents::~TQXLRebuildEvents() {
  try {
    if (FWaitForm) FWaitForm->Close();
  } catch (...) {
    // A window that fails to close at the end cannot be reported.
  }
}

TQXLMaintenanceEvent TQXLRebuildEvents::Before() {
  return [this](TQXLDatabase& Sender) { DoBefore(Sender); };
}

TQXLMaintenanceProgressEvent TQXLRebuildEvents::Progress() {
  return [this](TQXLDatabase& Sender, std::int32_t PercentDone, bool& Continue) {
    DoProgress(Sender, PercentDone, Continue);
  };
}

TQXLMaintenanceEvent TQXLRebuildEvents::After() {
  return [this](TQXLDatabase& Sender) { DoAfter(Sender); };
}

void TQXLRebuildEvents::DoBefore(TQXLDatabase& Sender) {
  const TOperationEvents& Events = EventsOf(FOperation);
  if (const TQXLMaintenanceEvent& Event = LDatabase.*Events.Before) {
    Event(Sender);
    return;
  }
  if (LDatabase.SilentMode) return;
  FWaitForm = std::make_unique<TQXLWaitForm>();
  FWaitForm->SetPercent(0);
  FWaitForm->Show(Events.WaitText);
  // A repair shows its window at once: it may run during an open that the
  // user is waiting for.
  if (FOperation == TQXLRebuildOperation::Repair) {
    FWaitForm->MakeVisible();
    FWaitForm->ProcessMessages();
  }
}

void TQXLRebuildEvents::DoProgress(TQXLDatabase& Sender, std::int32_t PercentDone, bool& Continue) {
  const TOperationEvents& Events = EventsOf(FOperation);
  if (const TQXLMaintenanceProgressEvent& Event = LDatabase.*Events.Progress) {
    Event(Sender, PercentDone, Continue);
    return;
  }
  if (LDatabase.SilentMode || !FWaitForm) return;
  if (FOperation == TQXLRebuildOperation::Repair) FWaitForm->MakeVisible();
  FWaitForm->SetPercent(PercentDone);
  FWaitForm->ProcessMessages();
  Continue = !FWaitForm->Terminated();
}

void TQXLRebuildEvents::DoAfter(TQXLDatabase& Sender) {
  const TOperationEvents& Events = EventsOf(FOperation);
  if (const TQXLMaintenanceEvent& Event = LDatabase.*Events.After) {
    Event(Sender);
    return;
  }
  if (LDatabase.SilentMode || !FWaitForm) return;
  std::unique_ptr<TQXLWaitForm> Window = std::move(FWaitForm);
  Window->Close();
}

}  // namespace qxl
