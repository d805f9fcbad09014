#include "engine/storage/disk/QXLDiskTableChange.h"

#include <cstring>

#include "engine/core/abstract/QXLCursor.h"
#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/disk/QXLCommitProgress.h"
#include "engine/storage/disk/QXLDiskDatabaseData.h"
#include "engine/storage/disk/QXLDiskTableData.h"
#include "engine/storage/temporary/QXLTemporaryPageManager.h"

namespace qxl {

TQXLDiskTableChange::TQXLDiskTableChange(TQXLDiskTableData& Table, std::int32_t SessionID, TQXLCursor* Cursor)
    : FTable(Table), FCursor(Cursor), FSessionID(SessionID), FLastUsedTableState(Table.FLastUsedTableState) {
  if (Table.FRecordManager && Table.FFieldManager) FCounters = Table.MostUpdatedBytes();
  if (Cursor && Cursor->FCurrentRecordBuffer) {
    const auto Size = static_cast<std::size_t>(Table.GetRecordBufferSize());
    FRecordBuffer.assign(Cursor->FCurrentRecordBuffer, Cursor->FCurrentRecordBuffer + Size);
    FRecordID = Cursor->CurrentRecordID;
    if (Table.FBlobManager) FBlobCaches = Table.FBlobManager->SnapshotModifiedCaches(Cursor->FCurrentRecordBuffer);
  }
  FPages.emplace(Table.DiskPageManager(), SessionID);
  if (Table.FTemporaryPageManager) FTemporaryPages.emplace(*Table.FTemporaryPageManager, SessionID);
}

TQXLDiskTableChange::~TQXLDiskTableChange() {
  if (FDone) return;
  try {
    PutBack();
  } catch (...) {
    // The step's own error is the one to report.
  }
}

void TQXLDiskTableChange::Done() {
  FDone = true;
  if (FTemporaryPages) FTemporaryPages->Release();
  if (FPages) FPages->Release();
}

void TQXLDiskTableChange::Commit(const std::function<void()>& Apply) {
  TQXLCommitProgress Progress(FTable.DiskPageManager(), FSessionID);
  try {
    Apply();
  } catch (...) {
    if (Progress.Began()) Done();
    throw;
  }
}

void TQXLDiskTableChange::PutBack() {
  // The savepoints go first (the temporary one was taken last), then what
  // lives outside the pages.
  FTemporaryPages.reset();
  FPages.reset();
  FTable.FLastUsedTableState = FLastUsedTableState;
  if (!FCounters.empty() && FTable.FRecordManager && FTable.FFieldManager) FTable.SetMostUpdatedBytes(FCounters);
  if (FCursor && FCursor->FCurrentRecordBuffer && !FRecordBuffer.empty()) {
    std::memcpy(FCursor->FCurrentRecordBuffer, FRecordBuffer.data(), FRecordBuffer.size());
    FCursor->CurrentRecordID = FRecordID;
    if (FTable.FBlobManager) FTable.FBlobManager->RestoreCaches(FBlobCaches);
  }
}

}  // namespace qxl
