#include "engine/storage/memory/QXLMemoryTableData.h"

#include <mutex>

#include "engine/core/QXLException.h"
#include "engine/core/QXLSession.h"
#include "engine/core/values/QXLShortString.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/abstract/QXLFormEditorMode.h"
#include "engine/storage/memory/QXLMemoryPageManager.h"
#include "engine/storage/memory/QXLMemoryRecordManager.h"

namespace qxl {

TQXLMemoryTableData::TQXLMemoryTableData(TQXLDatabaseData* aDatabaseData, std::int32_t AllocRecordsBy,
                                         TQXLIndexFactory* IndexFactory)
    : TQXLVolatileTableData(aDatabaseData, IndexFactory),
      FAllocRecordsBy(AllocRecordsBy),
      FMemoryPageManager(std::make_unique<TQXLMemoryPageManager>()) {
  SetPageManager(FMemoryPageManager.get());
  SetDisableTempFiles(true);
}

TQXLMemoryTableData::~TQXLMemoryTableData() { TearDown(); }

TQXLMemoryRecordManager& TQXLMemoryTableData::Records(std::int32_t NilCode) const {
  return RecordsAs<TQXLMemoryRecordManager>(NilCode);
}

void TQXLMemoryTableData::RefuseInTransaction(const TQXLCursor* Cursor, const char* Operation) {
  if (Cursor && Cursor->FSession && Cursor->FSession->FInTransaction)
    throw EQXLException(20182, "Cannot perform '%s' operation on a database in transaction", {Operation});
}

void TQXLMemoryTableData::CreateRecordManager() {
  FRecordManager.reset();
  FRecordManager = std::make_unique<TQXLMemoryRecordManager>(GetRecordBufferSize(), FAllocRecordsBy);
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
  ApplyOwnPages(Cursor);
}

void TQXLMemoryTableData::EmptyTable(TQXLCursor* Cursor) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  RefuseInTransaction(Cursor, "EmptyTable");
  TQXLTableData::EmptyTable(nullptr);
  if (!FRecordManager) return;
  auto& records = static_cast<TQXLMemoryRecordManager&>(*FRecordManager);
  if (FFieldManager && FFieldManager->BlobFieldsPresent())
    for (std::int64_t p = records.FirstRecordID(); records.RecordCount() > 0 && p <= records.LastRecordID(); ++p)
      if (const std::uint8_t* stored = records.StoredRecord(p))
        for (void* b : BlobsOf(stored)) FBlobBlocks.ReleaseStoredRef(b);
  records.Empty(QXLSystemSessionID);
  FMemoryPageManager->ApplyChanges(QXLSystemSessionID);
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
