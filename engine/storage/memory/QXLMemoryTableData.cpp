#include "engine/storage/memory/QXLMemoryTableData.h"

#include <mutex>

#include "engine/core/QXLException.h"
#include "engine/core/QXLSession.h"
#include "engine/core/QXLShortString.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/abstract/QXLFormEditorMode.h"
#include "engine/storage/memory/QXLMemoryPageManager.h"
#include "engine/storage/memory/QXLMemoryRecordManager.h"

namespace qxl {

TQXLMemoryTableData::TQXLMemoryTableData(TQXLDatabaseData* aDatabaseData, std::int32_t AllocRecordsBy,
                                         TQXLIndexFactory* IndexFactory)
    : TQXLTableData(aDatabaseData),
      FAllocRecordsBy(AllocRecordsBy),
      FIndexFactory(IndexFactory),
      FMemoryPageManager(std::make_unique<TQXLMemoryPageManager>()) {
  SetPageManager(FMemoryPageManager.get());
  SetDisableTempFiles(true);
}

TQXLMemoryTableData::~TQXLMemoryTableData() {
  try {
    EmptyTable(nullptr);
    DeleteAllIndexes(nullptr);
    FMemoryPageManager->ApplyChanges(-2);
  } catch (...) {
    // Everything the table holds is in memory and goes with it below.
  }
  // The indexes use the page manager; they go first.
  FIndexManager.reset();
  SetPageManager(nullptr);
}

TQXLMemoryRecordManager& TQXLMemoryTableData::Records(std::int32_t NilCode) const {
  if (!FRecordManager) throw EQXLException(NilCode, "Nil pointer occured");
  return static_cast<TQXLMemoryRecordManager&>(*FRecordManager);
}

void TQXLMemoryTableData::CreateRecordManager() {
  FRecordManager.reset();
  FRecordManager = std::make_unique<TQXLMemoryRecordManager>(GetRecordBufferSize(), FAllocRecordsBy);
}

void TQXLMemoryTableData::CreateFieldManager(TQXLFieldDefs& FieldDefs) {
  FFieldManager.reset();
  TQXLTableData::CreateFieldManager(FieldDefs);
}

void TQXLMemoryTableData::CreateIndexManager(TQXLIndexDefs& IndexDefs) {
  FIndexManager.reset();
  FIndexManager = std::make_unique<TQXLBaseIndexManager>(this, PageManager(), FIndexFactory);
  TQXLTableData::CreateIndexManager(IndexDefs);
}

void TQXLMemoryTableData::CreateConstraintManager(TQXLConstraintDefs& ConstraintDefs) {
  for (std::int32_t i = 0; i < ConstraintDefs.Count(); ++i) {
    const TQXLConstraintType t = ConstraintDefs.GetDef(i)->ConstraintType;
    if (t != ctPK && t != ctUnique && t != ctNotNull && t != ctCheck) throw EQXLException(30040, "Not implemented yet");
  }
  FConstraintManager.reset();
  TQXLTableData::CreateConstraintManager(ConstraintDefs);
}

void TQXLMemoryTableData::CreateTable(TQXLCursor* Cursor, TQXLFieldDefs& FieldDefs, TQXLIndexDefs& IndexDefs,
                                      TQXLConstraintDefs& ConstraintDefs) {
  if (FieldDefs.Count() == 0 && !FormEditorMode)
    throw EQXLException(10025, "Error creating table - no fields were specified");
  if (Cursor) SetTableName(Cursor->FTableName);
  CreateFieldManager(FieldDefs);
  CreateIndexManager(IndexDefs);
  CreateConstraintManager(ConstraintDefs);
  CreateRecordManager();
  if (Cursor) InitCursorRecordSize(Cursor);
  FIndexManager->CreateIndexesByIndexDefs(Cursor);
  ApplyOutsideTransaction(Cursor);
}

void TQXLMemoryTableData::DeleteTable(TQXLCursor* Cursor, bool DesignMode) {
  TQXLTableData::DeleteTable(Cursor, DesignMode);
  if (DesignMode && !FCursorList.empty()) return;
  FDatabaseData->FreeTableData(this);
}

void TQXLMemoryTableData::EmptyTable(TQXLCursor*) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  TQXLTableData::EmptyTable(nullptr);
  if (!FRecordManager) return;
  auto& records = static_cast<TQXLMemoryRecordManager&>(*FRecordManager);
  if (FFieldManager && FFieldManager->BlobFieldsPresent())
    for (std::int64_t p = records.FirstRecordID(); records.RecordCount() > 0 && p <= records.LastRecordID(); ++p)
      if (const std::uint8_t* stored = records.StoredRecord(p))
        for (void* b : BlobsOf(stored)) FBlobBlocks.ReleaseStoredRef(b);
  records.Empty(-2);
  FMemoryPageManager->ApplyChanges(-2);
}

void TQXLMemoryTableData::OpenTable(TQXLCursor* Cursor) {
  SetTableName(Cursor->FTableName);
  TQXLTableData::OpenTable(Cursor);
}

void TQXLMemoryTableData::AddIndex(TQXLIndexDef& IndexDef, TQXLCursor* Cursor) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  TQXLTableData::AddIndex(IndexDef, Cursor);
  ApplyOutsideTransaction(Cursor);
}

void TQXLMemoryTableData::DeleteIndex(std::int32_t IndexID, TQXLCursor* Cursor) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  TQXLTableData::DeleteIndex(IndexID, Cursor);
  if (!Cursor)
    FMemoryPageManager->ApplyChanges(-2);
  else
    ApplyOutsideTransaction(Cursor);
}

void TQXLMemoryTableData::ApplyOutsideTransaction(TQXLCursor* Cursor) {
  if (!Cursor) return;
  const bool inTransaction = Cursor->FSession && Cursor->FSession->FInTransaction;
  TQXLTableData::ApplyChanges(Cursor->SessionID(), inTransaction);
}

std::int64_t TQXLMemoryTableData::GetRecordBitmapSize(std::int32_t) {
  if (!FRecordManager || FRecordManager->RecordCount() == 0) return 0;
  return std::int64_t{static_cast<TQXLMemoryRecordManager&>(*FRecordManager).LastRecordID()} + 1;
}

std::int64_t TQXLMemoryTableData::RecordIDToBitNo(const TQXLPageItemID& RecordID) { return RecordID.PageNo; }

TQXLPageItemID TQXLMemoryTableData::BitNoToRecordID(std::int64_t BitNo) {
  return TQXLPageItemID{static_cast<std::int32_t>(BitNo & 0xFFFFFFFF), 0};
}

void TQXLMemoryTableData::InternalSetRecNo(TQXLCursor* Cursor, std::int64_t RecNo) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  const std::int64_t p = Records(10074).RecNoToRecordPosition(RecNo - 1);
  if (p != -1) Cursor->CurrentRecordID = TQXLPageItemID{static_cast<std::int32_t>(p), 0};
}

std::int64_t TQXLMemoryTableData::InternalGetRecNo(TQXLCursor* Cursor) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  return Records(10033).RecordPositionToRecNo(Cursor->CurrentRecordID.PageNo);
}

std::int64_t TQXLMemoryTableData::InternalGetRecordCount(TQXLCursor*) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  return Records(10009).RecordCount();
}

std::int64_t TQXLMemoryTableData::LastAutoincValue(std::int32_t FieldNo, TQXLBaseSession* Session) {
  return FFieldManager->GetLastAutoinc(Session, FieldNo);
}

}  // namespace qxl
