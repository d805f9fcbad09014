#include "engine/storage/temporary/QXLTemporaryTableData.h"

#include <mutex>

#include "engine/core/QXLException.h"
#include "engine/core/QXLSession.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/storage/temporary/QXLTemporaryPageManager.h"
#include "engine/storage/temporary/QXLTemporaryRecordManager.h"

namespace qxl {

TQXLTemporaryTableData::TQXLTemporaryTableData(TQXLDatabaseData* aDatabaseData, std::int32_t RecordsPerPage,
                                               std::int32_t AllocRecordsBy, TQXLIndexFactory* IndexFactory,
                                               TQXLFreeMemorySource FreeMemory)
    : TQXLVolatileTableData(aDatabaseData, IndexFactory),
      FRecordsPerPage(RecordsPerPage),
      FAllocRecordsBy(AllocRecordsBy),
      FFreeMemory(std::move(FreeMemory)) {}

TQXLTemporaryTableData::~TQXLTemporaryTableData() { TearDown(); }

TQXLTemporaryRecordManager& TQXLTemporaryTableData::Records(std::int32_t NilCode) const {
  return RecordsAs<TQXLTemporaryRecordManager>(NilCode);
}

void TQXLTemporaryTableData::CreateRecordManager() {
  FRecordManager.reset();
  FRecordManager = std::make_unique<TQXLTemporaryRecordManager>(GetRecordBufferSize(), FRecordsPerPage,
                                                                FAllocRecordsBy, DisableTempFiles(), FFreeMemory());
}

void TQXLTemporaryTableData::CreateConstraintManager(TQXLConstraintDefs& ConstraintDefs) {
  FConstraintManager.reset();
  TQXLTableData::CreateConstraintManager(ConstraintDefs);
}

void TQXLTemporaryTableData::CreateTable(TQXLCursor* Cursor, TQXLFieldDefs& FieldDefs, TQXLIndexDefs& IndexDefs,
                                         TQXLConstraintDefs& ConstraintDefs) {
  if (FieldDefs.Count() == 0) throw EQXLException(10132, "Error creating table - no fields were specified");
  if (Cursor) {
    SetTableName(Cursor->FTableName);
    SetDisableTempFiles(Cursor->FDisableTempFiles);
  }
  // The indexes of an earlier definition use the pages about to go.
  FIndexManager.reset();
  SetPageManager(nullptr);
  FTemporaryPageManager = std::make_unique<TQXLTemporaryPageManager>(DisableTempFiles(), FFreeMemory());
  SetPageManager(FTemporaryPageManager.get());
  CreateFieldManager(FieldDefs);
  CreateIndexManager(IndexDefs);
  CreateConstraintManager(ConstraintDefs);
  CreateRecordManager();
  if (Cursor) InitCursorRecordSize(Cursor);
  CreateBLOBFile();
  FIndexManager->CreateIndexesByIndexDefs(Cursor);
  ApplyOwnPages(Cursor);
}

void TQXLTemporaryTableData::EmptyTable(TQXLCursor*) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  TQXLTableData::EmptyTable(nullptr);
  if (FRecordManager) FRecordManager->Empty(QXLSystemSessionID);
  if (FTemporaryPageManager) FTemporaryPageManager->ApplyChanges(QXLSystemSessionID);
}

std::int64_t TQXLTemporaryTableData::GetRecordBitmapSize(std::int32_t) {
  return FRecordManager ? FRecordManager->RecordCount() : 0;
}

std::int64_t TQXLTemporaryTableData::RecordIDToBitNo(const TQXLPageItemID& RecordID) {
  return TemporaryRecordNo(RecordID);
}

TQXLPageItemID TQXLTemporaryTableData::BitNoToRecordID(std::int64_t BitNo) { return TemporaryRecordID(BitNo); }

bool TQXLTemporaryTableData::InsertRecord(TQXLCursor*& Cursor) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  TQXLTemporaryRecordManager& records = Records(10134);
  if (!Cursor->FCurrentRecordBuffer) throw EQXLException(10135, "Nil pointer occured");
  const TQXLPageItemID before = Cursor->CurrentRecordID;
  const bool done = ChangeWhole(Cursor, [&](const TUndo& undo) {
    TQXLPageItemID id{};
    if (!records.AddRecord(Cursor->SessionID(), Cursor->FCurrentRecordBuffer, id)) return false;
    undo([&records, Cursor, before] {
      records.RemoveLastRecord();
      Cursor->CurrentRecordID = before;
    });
    Cursor->CurrentRecordID = id;
    // Whether the record belongs to a restricted view is for the search to
    // judge: the bitmap's table state now lags, so the next search rebuilds it.
    FIndexManager->InsertRecord(Cursor);
    return true;
  });
  if (!done) return false;
  Cursor->FirstPosition = false;
  Cursor->LastPosition = false;
  ApplyOwnPages(Cursor);
  return true;
}

bool TQXLTemporaryTableData::DeleteRecord(TQXLCursor*) { return false; }

bool TQXLTemporaryTableData::UpdateRecord(TQXLCursor*) { return false; }

void TQXLTemporaryTableData::InternalSetRecNo(TQXLCursor* Cursor, std::int64_t RecNo) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  Records(10136);
  Cursor->CurrentRecordID = TemporaryRecordID(std::max<std::int64_t>(RecNo - 1, 0));
}

std::int64_t TQXLTemporaryTableData::InternalGetRecNo(TQXLCursor* Cursor) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  Records(10137);
  return TemporaryRecordNo(Cursor->CurrentRecordID) + 1;
}

std::int64_t TQXLTemporaryTableData::InternalGetRecordCount(TQXLCursor*) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  return Records(10133).RecordCount();
}

}  // namespace qxl
