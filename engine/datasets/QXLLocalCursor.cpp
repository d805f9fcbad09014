#include "engine/datasets/QXLLocalCursor.h"

#include <cstring>
#include <mutex>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/QXLException.h"
#include "engine/core/containers/QXLMemoryManager.h"
#include "engine/core/QXLSession.h"
#include "engine/core/values/QXLShortString.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/abstract/QXLTableData.h"
#include "engine/datasets/QXLLocalBLOBStream.h"
#include "engine/datasets/QXLLocalSession.h"
#include "engine/storage/disk/QXLDiskDatabaseData.h"
#include "engine/storage/disk/QXLDiskTableData.h"

namespace qxl {

namespace {

bool IsBlobField(const TQXLFieldDef& f) {
  return f.BaseFieldType == bftBlob || f.BaseFieldType == bftClob || f.BaseFieldType == bftWideClob;
}

}  // namespace

TQXLLocalCursor::TQXLLocalCursor() {
  FIndexID = -1;
  FIndexPositionCache = std::make_unique<TQXLIndexPositionCache>();
}

TQXLLocalCursor::~TQXLLocalCursor() {
  try {
    TQXLLocalCursor::CloseTable();
  } catch (...) {
    // A close that fails at destruction cannot be reported.
  }
  try {
    if (FRefetchBuffer) QXLMemoryManager().FreeAndNillMem(FRefetchBuffer);
  } catch (...) {
    // A damaged guard block cannot be reported from a destructor.
  }
}

TQXLTableData& TQXLLocalCursor::Table() const {
  if (!FTableData) throw EQXLException(10436, "Table '%s' is not open", {FTableName});
  return *FTableData;
}

TQXLDatabaseData& TQXLLocalCursor::Database() const {
  if (FDatabaseData) return *FDatabaseData;
  auto* session = dynamic_cast<TQXLLocalSession*>(FSession);
  if (!session || !session->DatabaseData())
    throw EQXLException(10435, "Session is not connected to database '%s'", {FSession ? FSession->FDatabaseName : ""});
  return *session->DatabaseData();
}

void TQXLLocalCursor::OpenTable(TQXLTableData* TableData) {
  auto* session = dynamic_cast<TQXLLocalSession*>(FSession);
  TQXLDatabaseData* database = session && session->DatabaseData() ? session->DatabaseData() : TableData->DatabaseData();
  std::lock_guard guard(database->CriticalSection());
  FDatabaseData = database;
  TableData->OpenTable(this);
  FTableData = TableData;
  FirstPosition = true;
  LastPosition = false;
  RefreshDefinitions();
  FBLOBStreams.clear();
  InternalInitFieldDefs();
  FRecordBitmap = std::make_unique<TQXLRecordBitmap>(TableData);
  FIsOpen = true;
}

void TQXLLocalCursor::RefreshDefinitions() {
  FIndexDefs = std::make_unique<TQXLIndexDefs>();
  if (Table().IndexManager()) FIndexDefs->Assign(Table().IndexManager()->IndexDefs());
  FConstraintDefs = std::make_unique<TQXLConstraintDefs>();
  if (Table().ConstraintManager()) FConstraintDefs->Assign(Table().ConstraintManager()->ConstraintDefs());
}

void TQXLLocalCursor::InternalInitFieldDefs() {
  FFieldDefs = std::make_unique<TQXLFieldDefs>();
  if (Table().FieldManager()) FFieldDefs->Assign(Table().FieldManager()->FieldDefs());
  FFieldDefs->RecalcFieldOffsets();
  const std::int32_t count = FFieldDefs->Count();
  const TQXLFieldDef* last = count > 0 ? FFieldDefs->GetDef(count - 1) : nullptr;
  FFieldValuesOffset = count > 0 ? FFieldDefs->GetDef(0)->MemoryOffset : 0;
  FBookmarkOffset = last ? last->MemoryOffset + last->MemoryDataSize : 0;
  FKeyOffset = FBookmarkOffset;
  FKeyBufferSize = FBookmarkOffset + 6;
  FRecordSize = FRecordBufferSize = FCalculatedFieldsOffset = FBookmarkOffset + 7;
  if (!FSettingProjection) {
    FVisibleFieldDefs = std::make_unique<TQXLFieldDefs>();
    FVisibleFieldDefs->Assign(*FFieldDefs);
    for (std::int32_t i = 0; i < count; ++i) FVisibleFieldDefs->GetDef(i)->FieldNoReference = i;
  }
  FConstraintDefs = std::make_unique<TQXLConstraintDefs>();
  if (Table().ConstraintManager()) FConstraintDefs->Assign(Table().ConstraintManager()->ConstraintDefs());
}

// A disk table object made only for a table operation would otherwise stay
// in its database's list with nobody to free it.
void TQXLLocalCursor::ReleaseUnusedTableObject(TQXLTableData* Table) {
  auto* disk = dynamic_cast<TQXLDiskTableData*>(Table);
  if (disk && disk != FTableData) disk->FreeIfNoCursorsConnected();
}

void TQXLLocalCursor::RunTableOperation(std::int32_t NilCode, const std::function<void(TQXLTableData&)>& Operation) {
  CloseTable();
  TQXLTableData* table = Database().FindOrCreateTableData(this);
  if (!table) throw EQXLException(NilCode, NilCode == 20151 ? "Pointer is nil" : "Table not found, table name = %s",
                                  {FTableName});
  try {
    Operation(*table);
  } catch (...) {
    ReleaseUnusedTableObject(Database().FindTableData(this));
    throw;
  }
  ReleaseUnusedTableObject(Database().FindTableData(this));
}

void TQXLLocalCursor::CheckTableExists(std::int32_t Code) {
  if (!Database().TableExists(FTableName)) throw EQXLException(Code, "Table '%s' not found", {FTableName});
}

void TQXLLocalCursor::CreateTable(TQXLFieldDefs& FieldDefs, TQXLIndexDefs& IndexDefs,
                                  TQXLConstraintDefs& ConstraintDefs) {
  std::lock_guard guard(Database().CriticalSection());
  if (Database().TableExists(FTableName)) DeleteTable();
  RunTableOperation(20151, [&](TQXLTableData& Table) { Table.CreateTable(this, FieldDefs, IndexDefs, ConstraintDefs); });
}

void TQXLLocalCursor::DeleteTable() {
  std::lock_guard guard(Database().CriticalSection());
  CloseTable();
  CheckTableExists(20132);
  RunTableOperation(10027, [&](TQXLTableData& Table) {
    if (FSession && Table.FieldManager()) {
      const TQXLFieldDefs& fields = Table.FieldManager()->FieldDefs();
      for (std::int32_t i = 0; i < fields.Count(); ++i) FSession->DeleteObject(fields.GetDef(i)->ObjectID);
    }
    Table.DeleteTable(this, false);
  });
}

void TQXLLocalCursor::EmptyTable() {
  std::lock_guard guard(Database().CriticalSection());
  CloseTable();
  CheckTableExists(20133);
  RunTableOperation(10073, [&](TQXLTableData& Table) { Table.EmptyTable(this); });
}

void TQXLLocalCursor::RenameTable(const std::string& NewTableName) {
  std::lock_guard guard(Database().CriticalSection());
  CloseTable();
  CheckTableExists(20134);
  if (!SameNameIgnoringCase(NewTableName, FTableName) && Database().TableExists(NewTableName))
    throw EQXLException(30451, "Table %s already exists", {NewTableName});
  if (NewTableName == FTableName) throw EQXLException(30452, "Cannot rename table '%s' into itself", {FTableName});
  RunTableOperation(10151, [&](TQXLTableData& Table) {
    Table.RenameTable(NewTableName, this);
    FTableName = NewTableName;
  });
}

void TQXLLocalCursor::OpenTableByFieldDefs(TQXLFieldDefs* FieldDefs, TQXLIndexDefs* IndexDefs,
                                           TQXLConstraintDefs* ConstraintDefs) {
  if (FIsOpen) return;
  std::lock_guard guard(Database().CriticalSection());
  TQXLTableData* table = Database().FindTableData(this);
  if (!table && dynamic_cast<TQXLDiskDatabaseData*>(&Database())) {
    table = Database().CreateTableData(this);
  } else if (!table) {
    // Tables of the in-memory and temporary databases live only while a
    // designer shows them, made from the definitions it hands over.
    if (!FIsDesignMode || !FieldDefs || !IndexDefs || !ConstraintDefs)
      throw EQXLException(10028, "Table not found, table name = %s", {FTableName});
    table = Database().CreateTableData(this);
    table->CreateTable(this, *FieldDefs, *IndexDefs, *ConstraintDefs);
  }
  try {
    OpenTable(table);
  } catch (...) {
    ReleaseUnusedTableObject(table);
    throw;
  }
}

void TQXLLocalCursor::CloseTable() {
  if (!FTableData) {
    FIsOpen = false;
    return;
  }
  std::lock_guard guard(Database().CriticalSection());
  // Streams write into the current record when they close, and the buffers
  // hold BLOB caches of the table object: both go before the table object.
  try {
    ClearBLOBStreams(false);
  } catch (...) {
    FBLOBStreams.clear();
  }
  for (std::uint8_t** buffer : {&FCurrentRecordBuffer, &FDistinctRecordBuffer, &FEditRecordBuffer, &FRefetchBuffer})
    if (*buffer) FreeRecordBuffer(*buffer);
  FRecordBitmap.reset();
  FFilterExpression.reset();
  TQXLTableData* table = FTableData;
  FTableData = nullptr;
  FIsOpen = false;
  table->CloseTable(this);
  if (FIsDesignMode && !dynamic_cast<TQXLDiskTableData*>(table))
    table->DeleteTable(this, true);
  else
    ReleaseUnusedTableObject(table);
  FDatabaseData = nullptr;
}

void TQXLLocalCursor::LockTableData() {
  if (!FTableData) throw EQXLException(10260, "Nil pointer occured");
  FTableData->Lock();
}

void TQXLLocalCursor::UnlockTableData() {
  if (!FTableData) throw EQXLException(10261, "Nil pointer occured");
  FTableData->Unlock();
}

void TQXLLocalCursor::RenameField(const std::string& FieldName, const std::string& NewFieldName) {
  std::lock_guard guard(Database().CriticalSection());
  Table().RenameField(FieldName, NewFieldName);
  InternalInitFieldDefs();
  RefreshDefinitions();
}

TQXLIndexDefs* TQXLLocalCursor::GetIndexDefs() {
  if (FTableData) {
    std::lock_guard guard(Database().CriticalSection());
    RefreshDefinitions();
  }
  return FIndexDefs.get();
}

void TQXLLocalCursor::AddIndex(TQXLIndexDef& IndexDef) {
  std::lock_guard guard(Database().CriticalSection());
  if (FIndexDefs && FIndexDefs->GetIndexDefByName(IndexDef.Name))
    throw EQXLException(20022, "Cannot create index '%s'. Index already exists", {IndexDef.Name});
  Table().AddIndex(IndexDef, this);
  RefreshDefinitions();
}

void TQXLLocalCursor::DeleteIndex(const std::string& Name) {
  std::lock_guard guard(Database().CriticalSection());
  const TQXLIndexDef* def = Table().IndexManager() ? Table().IndexManager()->IndexDefs().GetIndexDefByName(Name) : nullptr;
  if (!def) throw EQXLException(20021, "Cannot delete index '%s'. Index not found", {Name});
  Table().DeleteIndex(def->ObjectID, this);
  RefreshDefinitions();
}

void TQXLLocalCursor::DeleteAllIndexes() {
  std::lock_guard guard(Database().CriticalSection());
  Table().DeleteAllIndexes(this);
  RefreshDefinitions();
}

std::string TQXLLocalCursor::FindOrCreateIndex(const std::vector<std::string>& FieldNamesList,
                                               const std::vector<std::string>& AscDescList,
                                               const std::vector<std::string>& CaseSensitivityList, bool& IsCreated) {
  std::string name = Table().FindOrCreateIndex(this, FieldNamesList, AscDescList, CaseSensitivityList, IsCreated);
  std::lock_guard guard(Database().CriticalSection());
  RefreshDefinitions();
  return name;
}

bool TQXLLocalCursor::IndexExists(const std::vector<std::string>& FieldNamesList,
                                  const std::vector<std::string>& AscDescList,
                                  const std::vector<std::string>& CaseSensitivityList) {
  return Table().IndexExists(this, FieldNamesList, AscDescList, CaseSensitivityList);
}

void TQXLLocalCursor::CopyFieldValue(std::int32_t SrcFieldNo, bool DirectAccess, std::int32_t DestFieldNo,
                                     TQXLCursor* DestCursor) {
  std::int32_t bit = 0;
  const TQXLFieldDef& source = ChooseField(SrcFieldNo, DirectAccess, 10317, 20191, bit);
  auto* dest = dynamic_cast<TQXLLocalCursor*>(DestCursor);
  if (!dest) throw EQXLException(10437, "Cannot copy field values to a cursor of another engine");
  std::int32_t destBit = 0;
  dest->ChooseField(DestFieldNo, false, 20193, 20192, destBit);
  if (GetBitInBuffer(bit, FCurrentRecordBuffer)) {
    SetBitInBuffer(true, destBit, dest->FCurrentRecordBuffer);
    return;
  }
  if (!IsBlobField(source)) {
    TQXLVariant value;
    GetFieldValue(value, SrcFieldNo, DirectAccess);
    dest->SetFieldValue(value, DestFieldNo, false);
    return;
  }
  TQXLPartialTemporaryBLOBDescriptor descriptor;
  void* data = nullptr;
  Table().GetDirectBlobData(this, bit, FCurrentRecordBuffer, descriptor, data);
  try {
    dest->Table().SetDirectBlobData(dest, destBit, dest->FCurrentRecordBuffer, descriptor, data);
  } catch (...) {
    Table().FreeDirectBlobData(this, bit, FCurrentRecordBuffer, descriptor, data);
    throw;
  }
  Table().FreeDirectBlobData(this, bit, FCurrentRecordBuffer, descriptor, data);
}

void TQXLLocalCursor::InternalInitRecord(std::uint8_t* RecordBuffer, bool InsertMode) {
  const std::int32_t bitmap = FFieldDefs ? FFieldDefs->NullBitmapSize() : 0;
  std::memset(RecordBuffer, 0xFF, static_cast<std::size_t>(bitmap));
  // Only the memory record: a key buffer keeps its key information where a
  // record buffer has its bookmark, and ends before the bookmark flag.
  if (FBookmarkOffset > bitmap) std::memset(RecordBuffer + bitmap, 0, static_cast<std::size_t>(FBookmarkOffset - bitmap));
  if (InsertMode && !FTemporary && Table().FieldManager())
    Table().FieldManager()->ApplyDefaultValuesToRecordBuffer(FSession, RecordBuffer);
}

void TQXLLocalCursor::FreeRecordBuffer(std::uint8_t*& Buffer) {
  if (FTableData && Buffer) FTableData->ClearBlobsCacheInRecordBuffer(Buffer);
  TQXLCursor::FreeRecordBuffer(Buffer);
}

TQXLGetRecordResult TQXLLocalCursor::GetRecordBuffer(TQXLGetRecordMode GetRecordMode) {
  std::lock_guard guard(Database().CriticalSection());
  return Table().GetRecordBuffer(this, GetRecordMode);
}

std::int64_t TQXLLocalCursor::LastAutoincValue(std::int32_t FieldNo) {
  LockTableData();
  struct Unlock {
    TQXLLocalCursor* Cursor;
    ~Unlock() { Cursor->UnlockTableData(); }
  } unlock{this};
  return Table().LastAutoincValue(FieldNo, FSession);
}

}  // namespace qxl
