// The table component's long operations report their progress to the
// program's events, or, without them, through a wait window whose Abort
// button stops the work.
#include "engine/datasets/QXLWaitForm.h"
#include "engine/datasets/components/QXLSessionComponent.h"
#include "engine/datasets/table/QXLTable.h"

namespace qxl {

namespace {

const char* Caption(TQXLTableOperation Operation) {
  switch (Operation) {
    case TQXLTableOperation::Copy: return "Copy Table...";
    case TQXLTableOperation::Import: return "Import Table...";
    case TQXLTableOperation::Export: return "Export Table...";
    case TQXLTableOperation::Restructure: return "Restructure Table...";
    default: return "Batch Moving...";
  }
}

}  // namespace

bool TQXLTable::QuietProgress() {
  if (FTemporary) return true;
  TQXLDatabase* database = Database();
  if (!database) {
    TQXLSession* session = DBSession();
    database = session ? session->FindDatabase(DatabaseName()) : nullptr;
  }
  return database && database->SilentMode;
}

void TQXLTable::DoBeforeOperation(TQXLTableOperation Operation) {
  const TQXLDataSetNotifyEvent* before[] = {&BeforeCopy, &BeforeImport, &BeforeExport, &BeforeRestructure,
                                            &BeforeBatchMove};
  const TQXLDataSetNotifyEvent& event = *before[static_cast<std::size_t>(Operation)];
  if (event) {
    event(*this);
    return;
  }
  if (QuietProgress()) return;
  FWaitForm = std::make_unique<TQXLWaitForm>();
  FWaitForm->SetPercent(0);
  FWaitForm->Show(Caption(Operation));
  if (Operation == TQXLTableOperation::Copy) FWaitForm->ProcessMessages();
}

bool TQXLTable::DoOperationProgress(TQXLTableOperation Operation, std::int32_t PercentDone) {
  const TQXLProgressEvent* progress[] = {&OnCopyProgress, &OnImportProgress, &OnExportProgress,
                                         &OnRestructureProgress, &OnBatchMoveProgress};
  const TQXLProgressEvent& event = *progress[static_cast<std::size_t>(Operation)];
  bool Continue = true;
  if (event) {
    event(*this, PercentDone, Continue);
    return Continue;
  }
  if (!FWaitForm) return true;
  FWaitForm->SetPercent(PercentDone);
  FWaitForm->ProcessMessages();
  return !FWaitForm->Terminated();
}

void TQXLTable::DoAfterOperation(TQXLTableOperation Operation) {
  const TQXLDataSetNotifyEvent* after[] = {&AfterCopy, &AfterImport, &AfterExport, &AfterRestructure,
                                           &AfterBatchMove};
  const TQXLDataSetNotifyEvent& event = *after[static_cast<std::size_t>(Operation)];
  if (event) {
    event(*this);
    return;
  }
  if (!FWaitForm) return;
  std::unique_ptr<TQXLWaitForm> window = std::move(FWaitForm);
  window->Close();
}

}  // namespace qxl
