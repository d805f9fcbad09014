#include "engine/core/abstract/QXLTableData.h"

#include <algorithm>

#include "engine/core/QXLException.h"
#include "engine/core/QXLSession.h"
#include "engine/core/values/QXLShortString.h"
#include "engine/core/abstract/QXLBasePageManager.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/abstract/QXLFormEditorMode.h"

namespace qxl {

namespace {

// Restores and frees a cursor's saved position on every way out.
class TPositionGuard {
public:
  explicit TPositionGuard(TQXLCursor* Cursor) : FCursor(Cursor), FPos(Cursor ? Cursor->SavePosition() : nullptr) {}
  ~TPositionGuard() {
    if (FPos) FCursor->RestorePosition(*FPos);
  }
  TPositionGuard(const TPositionGuard&) = delete;
  TPositionGuard& operator=(const TPositionGuard&) = delete;

private:
  TQXLCursor* FCursor;
  std::unique_ptr<TQXLCursorPosition> FPos;
};

}  // namespace

TQXLTableData::TQXLTableData(TQXLDatabaseData* aDatabaseData) : FDatabaseData(aDatabaseData) {}

TQXLTableData::~TQXLTableData() {
  FFieldManager.reset();
  FIndexManager.reset();
  FConstraintManager.reset();
  FRecordManager.reset();
  if (FDatabaseData) FDatabaseData->DetachTableData(this);
}

void TQXLTableData::Lock() { FDatabaseData->Lock(); }

void TQXLTableData::Unlock() { FDatabaseData->Unlock(); }

void TQXLTableData::AssignObjectIds(TQXLMetaObjectDefs& Defs) {
  for (std::int32_t i = 0; i < Defs.Count(); ++i) Defs.GetDef(i)->ObjectID = FDatabaseData->GetNewObjectId();
}

std::int32_t TQXLTableData::GetRecordBufferSize() const {
  const bool noFields = !FFieldManager || FFieldManager->FieldDefs().Count() == 0;
  if (noFields && !FormEditorMode) throw EQXLException(10131, "Error creating table - no fields were specified");
  return noFields ? 0 : FFieldManager->FieldDefs().GetMemoryRecordBufferSize();
}

void TQXLTableData::EmptyIndex(std::int32_t IndexID, std::int32_t SessionID) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  FIndexManager->EmptyIndex(SessionID, IndexID);
}

void TQXLTableData::DeleteAllIndexes(TQXLCursor* Cursor) {
  if (!FIndexManager) return;
  while (FIndexManager->IndexDefs().Count() > 0) DeleteIndex(FIndexManager->IndexDefs().GetDef(0)->ObjectID, Cursor);
}

void TQXLTableData::EmptyAllIndexes(std::int32_t SessionID) {
  if (FIndexManager) FIndexManager->EmptyAllIndexes(SessionID);
}

std::string TQXLTableData::FindOrCreateIndex(TQXLCursor* Cursor, const TQXLNameList& FieldNamesList,
                                             const TQXLNameList& AscDescList,
                                             const TQXLNameList& CaseSensitivityList, bool& IsCreated) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  TPositionGuard position(Cursor);
  const bool inTransaction = Cursor->FSession && Cursor->FSession->FInTransaction;
  try {
    const std::int32_t id =
        FIndexManager->FindOrCreateIndex(Cursor, FieldNamesList, AscDescList, CaseSensitivityList, IsCreated);
    const TQXLIndexDef* def = FIndexManager->IndexDefs().GetIndexDefByObjectId(id);
    if (!def) throw EQXLException(10324, "Cannot find index by ID = %d", {id});
    std::string name = def->Name;
    ApplyChanges(Cursor->SessionID(), inTransaction);
    return name;
  } catch (...) {
    CancelChanges(Cursor->SessionID(), inTransaction);
    throw;
  }
}

bool TQXLTableData::IndexExists(TQXLCursor* Cursor, const TQXLNameList& FieldNamesList,
                                const TQXLNameList& AscDescList, const TQXLNameList& CaseSensitivityList) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  return FIndexManager->IsIndexExists(FieldNamesList, AscDescList, CaseSensitivityList, Cursor->SessionID(),
                                      Cursor->FFieldDefs.get());
}

bool TQXLTableData::IsUniqueConstraintFailed(std::int32_t SessionID, std::int32_t IndexID,
                                             const std::uint8_t* NewRecordBuffer, const std::uint8_t* OldRecordBuffer,
                                             bool ToInsert, const TQXLPageItemID&) {
  if (!FRecordManager || FRecordManager->RecordCount() <= 0) return false;
  TQXLIndex* index = FIndexManager->OpenIndex(IndexID);
  return ToInsert ? !index->CanInsertRecord(SessionID, NewRecordBuffer)
                  : !index->CanUpdateRecord(SessionID, OldRecordBuffer, NewRecordBuffer);
}

void TQXLTableData::RebuildTemporaryIndexes(std::int32_t SessionID) {
  if (!FIndexManager) return;
  // A copy: a rebuild moves cursors but must not change the list it walks.
  const std::vector<TQXLCursor*> cursors = FCursorList;
  for (TQXLCursor* cursor : cursors) {
    if (!cursor->FSession || cursor->FSession->FSessionID != SessionID) continue;
    bool changed = false;
    FIndexManager->SynchronizeTemporaryIndexes(cursor, changed);
  }
}

std::int64_t TQXLTableData::IndexPositionToBitNo(std::int32_t IndexID, const TQXLKeyPathBase& IndexPos) {
  return FIndexManager->OpenIndex(IndexID)->IndexPositionToBitNo(IndexPos);
}

void TQXLTableData::BitNoToIndexPosition(std::int32_t IndexID, TQXLKeyPathBase& IndexPos, std::int64_t BitNo) {
  FIndexManager->OpenIndex(IndexID)->BitNoToIndexPosition(BitNo, IndexPos);
}

void TQXLTableData::CreateFieldManager(TQXLFieldDefs& FieldDefs) {
  if (!FFieldManager) FFieldManager = std::make_unique<TQXLBaseFieldManager>(this);
  AssignObjectIds(FieldDefs);
  FFieldManager->FieldDefs().Assign(FieldDefs);
  FFieldManager->RecalcFieldOffsets();
  FFieldManager->InitLastAutoIncValues();
}

void TQXLTableData::CreateIndexManager(TQXLIndexDefs& IndexDefs) {
  if (!FIndexManager) FIndexManager = std::make_unique<TQXLBaseIndexManager>(this, nullptr, nullptr);
  AssignObjectIds(IndexDefs);
  FIndexManager->CreateIndexDefs(IndexDefs);
}

void TQXLTableData::CreateConstraintManager(TQXLConstraintDefs& ConstraintDefs) {
  if (!FConstraintManager) FConstraintManager = std::make_unique<TQXLBaseConstraintManager>(this);
  AssignObjectIds(ConstraintDefs);
  for (std::int32_t i = 0; i < ConstraintDefs.Count(); ++i) {
    TQXLConstraintDef* def = ConstraintDefs.GetDef(i);
    if (def->ConstraintType == ctFK || def->ConstraintType > ctCheck)
      throw EQXLException(30058, "Not implemented yet");
    static_cast<TQXLTableConstraintDef*>(def)->TableName = FTableName;
  }
  FConstraintManager->ConstraintDefs().Assign(ConstraintDefs);
  FConstraintManager->LinkObjectIds();
  FConstraintManager->FillConstraintAutoNames();
}

void TQXLTableData::InitCursorRecordSize(TQXLCursor* Cursor) {
  const bool fields = FFieldManager && FFieldManager->FieldDefs().Count() > 0;
  Cursor->FFieldValuesOffset = fields ? FFieldManager->FieldDefs().GetDef(0)->MemoryOffset : 0;
  Cursor->FRecordSize = GetRecordBufferSize();
}

void TQXLTableData::ApplyChanges(std::int32_t SessionID, bool InTransaction) {
  if (!InTransaction && FPageManager) FPageManager->ApplyChanges(SessionID);
}

void TQXLTableData::CancelChanges(std::int32_t SessionID, bool InTransaction) {
  if (!InTransaction && FPageManager) FPageManager->CancelChanges(SessionID);
}

void TQXLTableData::DeleteTable(TQXLCursor*, bool DesignMode) {
  if (!DesignMode && !FCursorList.empty())
    throw EQXLException(20017, "Cannot delete table '%s'. Table is open by another dataset", {FTableName});
}

void TQXLTableData::EmptyTable(TQXLCursor* Cursor) {
  if (FFieldManager) FFieldManager->InitLastAutoIncValues();
  EmptyAllIndexes(Cursor ? Cursor->SessionID() : -2);
}

void TQXLTableData::RenameTable(const std::string& NewTableName, TQXLCursor*) {
  if (!FCursorList.empty())
    throw EQXLException(10150, "Cannot rename table '%s'. Table is open by another dataset", {FTableName});
  FTableName = NewTableName;
}

void TQXLTableData::OpenTable(TQXLCursor* Cursor) {
  Cursor->FWalk.reset();
  FCursorList.push_back(Cursor);
}

void TQXLTableData::CloseTable(TQXLCursor* Cursor) {
  if (Cursor) Cursor->FWalk.reset();
  auto it = std::find(FCursorList.begin(), FCursorList.end(), Cursor);
  if (it != FCursorList.end()) FCursorList.erase(it);
}

void TQXLTableData::RenameField(const std::string& FieldName, const std::string& NewFieldName) {
  TQXLFieldDefs& fields = FFieldManager->FieldDefs();
  TQXLFieldDef* field = fields.GetFieldDefByName(FieldName);
  if (!field) throw EQXLException(30343, "Field '%s' not found", {FieldName});
  if (fields.GetFieldDefByName(NewFieldName))
    throw EQXLException(30344, "Cannot rename field '%s'. Field '%s' already exists", {FieldName, NewFieldName});
  field->Name = qxl::CutToAnsiLength(NewFieldName);
  if (FIndexManager) FIndexManager->RenameField(FieldName, field->Name);
}

void TQXLTableData::AddIndex(TQXLIndexDef& IndexDef, TQXLCursor* Cursor) {
  TPositionGuard position(Cursor);
  FIndexManager->CreateIndex(Cursor, IndexDef);
  if (!IndexDef.Temporary && !(Cursor && Cursor->FTemporary) && FConstraintManager)
    FConstraintManager->AddConstraintFromIndex(IndexDef);
}

void TQXLTableData::DeleteIndex(std::int32_t IndexID, TQXLCursor* Cursor) {
  std::int32_t session = -2;
  if (Cursor) {
    const TQXLIndexDef* def = FIndexManager->IndexDefs().GetIndexDefByObjectId(IndexID);
    if (def && !def->Temporary && !Cursor->FTemporary && FConstraintManager)
      FConstraintManager->DeleteConstraintForIndexID(IndexID);
    session = Cursor->SessionID();
  }
  FIndexManager->DropIndex(session, IndexID);
}

void TQXLTableData::ClearBLOBFieldsInRecordBuffer(std::uint8_t* RecordBuffer) {
  if (!FFieldManager || !FFieldManager->BlobFieldsPresent()) return;
  const TQXLFieldDefs& fields = FFieldManager->FieldDefs();
  for (std::int32_t i = 0; i < fields.Count(); ++i) {
    const TQXLBaseFieldType t = fields.GetDef(i)->BaseFieldType;
    if (t == bftBlob || t == bftClob || t == bftWideClob) ClearBLOBFieldInRecordBuffer(RecordBuffer, i);
  }
}

void TQXLTableData::Rollback(std::int32_t SessionID) { RebuildTemporaryIndexes(SessionID); }

}  // namespace qxl
