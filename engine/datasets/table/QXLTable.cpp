// The table component's cursor and settings: the local cursor opened on the
// named table with the component's and its database's settings, the active
// index by name or by fields, the definitions read from the table, and the
// answers it passes on from its cursor.
#include "engine/datasets/table/QXLTable.h"

#include <algorithm>

#include "engine/core/schema/QXLConstraintDef.h"
#include "engine/core/QXLException.h"
#include "engine/core/schema/QXLFieldDef.h"
#include "engine/core/schema/QXLIndexDef.h"
#include "engine/core/QXLSession.h"
#include "engine/core/values/QXLShortString.h"
#include "engine/core/abstract/QXLFormEditorMode.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/QXLAdvIndexDefs.h"
#include "engine/datasets/QXLFieldDefConversion.h"
#include "engine/datasets/QXLIndexDefConversion.h"
#include "engine/datasets/QXLLocalCursor.h"
#include "engine/datasets/QXLWaitForm.h"
#include "engine/datasets/base/DataLink.h"
#include "engine/datasets/base/DatabaseError.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/dataset/QXLRecordUse.h"
#include "engine/datasets/export/QXLExportToSqlOptions.h"

namespace qxl {

namespace {

std::string Trimmed(const std::string& Text) {
  const auto first = Text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return Text.substr(first, Text.find_last_not_of(' ') - first + 1);
}

// Two column lists name the same columns in the same order, in any letter case.
bool SameColumns(const std::string& A, const std::string& B) {
  std::vector<std::string> left, right;
  SplitFieldList(left, A);
  SplitFieldList(right, B);
  if (left.size() != right.size()) return false;
  for (std::size_t i = 0; i < left.size(); ++i)
    if (!SameNameIgnoringCase(left[i], right[i])) return false;
  return true;
}

}  // namespace

TQXLTable::TQXLTable(const TComponent* Owner, bool OwnerInDesignMode)
    : TQXLDataSet(Owner, OwnerInDesignMode),
      FMasterLink(std::make_unique<TMasterDataLink>(this)),
      FExportToSqlOptions(std::make_unique<TQXLExportToSqlOptions>()) {
  FMasterLink->OnMasterChange = [this] { MasterChanged(); };
  FMasterLink->OnMasterDisable = [this] { MasterDisabled(); };
}

TQXLTable::~TQXLTable() {
  try {
    Close();
  } catch (...) {
    // A failed close at destruction cannot be reported.
  }
  FMasterLink.reset();
}

// ---- Settings ----------------------------------------------------------------

void TQXLTable::SetTableName(const std::string& Value) {
  CheckInactive();
  FTableName = Value;
  FIndexDefsOutdated = true;
  DataEvent(dePropertyChange);
}

void TQXLTable::SetExclusive(bool Value) {
  CheckInactive();
  FExclusive = Value;
}

void TQXLTable::SetTemporary(bool Value) {
  CheckInactive();
  FTemporary = Value;
  if (Value) SetDatabaseName("TEMP");
}

void TQXLTable::CheckTableName() const {
  if (Trimmed(FTableName).empty()) DatabaseError("Missing TableName property", this);
}

void TQXLTable::CheckNotInTransaction(std::int32_t Code, const char* Operation) const {
  TQXLDatabase* database = Database();
  TQXLBaseSession* session = database ? database->Handle() : nullptr;
  if (session && session->FInTransaction)
    throw EQXLException(Code, "Cannot perform '%s' operation on a database in transaction", {std::string(Operation)});
}

// ---- Cursors -------------------------------------------------------------------

std::unique_ptr<TQXLLocalCursor> TQXLTable::OpenLocalCursor(bool WithFieldDefs) {
  std::unique_ptr<TQXLLocalCursor> cursor = NewMaintenanceCursor();
  TQXLDatabase* database = Database();
  cursor->FExclusive = FExclusive;
  cursor->FReadOnly = ReadOnly() || database->ReadOnly;
  cursor->FIsRepairing = FIsRepairing;
  // Field objects made by the program name columns the definitions must show.
  for (std::int32_t i = 0; i < FieldCount(); ++i) {
    const TField& field = Fields(i);
    if (field.FieldKind == fkData && !FieldDefsContainName(FieldDefs(), field.FieldName))
      FieldDefs().Add(field.FieldName, field.DataType(), field.Size, field.Required);
  }
  if (FTemporary || InMemory()) {
    // Such a table is made from the component's definitions when a designer opens it.
    if (FieldDefs().Count() == 0) AdvFieldDefsToFieldDefs(AdvFieldDefs(), FieldDefs());
    if (FieldDefs().Count() > 0) FieldDefsToQXLFieldDefs(FieldDefs(), QXLFieldDefs());
    if (IndexDefs().Count() > 0) {
      IndexDefsToAdvIndexDefs(IndexDefs(), AdvIndexDefs());
      AdvIndexDefsToQXLIndexDefs(AdvIndexDefs(), QXLIndexDefs(), QXLFieldDefs());
    }
  }
  cursor->OpenTableByFieldDefs(&QXLFieldDefs(), &QXLIndexDefs(), &QXLConstraintDefs());
  if (WithFieldDefs) cursor->InternalInitFieldDefs();
  return cursor;
}

std::unique_ptr<TQXLLocalCursor> TQXLTable::NewMaintenanceCursor() {
  TQXLDatabase* database = Database();
  if (!database || !database->Handle()) throw EQXLException(10282, "Nil pointer occured");
  auto cursor = std::make_unique<TQXLLocalCursor>();
  cursor->FSession = database->Handle();
  cursor->FTableName = FTableName;
  cursor->FExclusive = true;
  cursor->FReadOnly = false;
  cursor->FInMemory = InMemory();
  cursor->FTemporary = FTemporary;
  if (InMemory())
    cursor->FDisableTempFiles = true;
  else
    cursor->FDisableTempFiles = database->Temporary() ? DisableTempFiles : database->DisableTempFiles;
  if (!FIgnoreDesignMode) cursor->FIsDesignMode = FormEditorMode;
  return cursor;
}

TQXLCursor* TQXLTable::CreateCursorHandle() {
  CheckTableName();
  FIndexDefsOutdated = true;
  TQXLCursor* cursor = FExternalHandle;
  if (!cursor) {
    std::unique_ptr<TQXLLocalCursor> local = OpenLocalCursor(false);
    TakeReadOnly(local->FReadOnly);
    cursor = AdoptHandle(std::move(local));
  }
  ReadIndexDefsFrom(*cursor);
  const std::string name = ResolveIndexName(FIndexName, FFieldsIndex, cursor);
  if (!name.empty()) cursor->SetIndexName(name);
  return cursor;
}

void TQXLTable::RepairOpen() {
  TDatabaseUseScope use(*this, duRepairOpen);
  FIsRepairing = true;
  struct TReset {
    bool& Flag;
    ~TReset() { Flag = false; }
  } reset{FIsRepairing};
  OpenLocalCursor(false).reset();
}

// ---- Definitions -------------------------------------------------------------

void TQXLTable::UpdateFieldDefs() {
  if (Handle()) return;
  TDatabaseUseScope use(*this, duFieldDefs);
  std::unique_ptr<TQXLLocalCursor> cursor = OpenLocalCursor(true);
  ReadFieldDefsFrom(*cursor);
}

void TQXLTable::UpdateIndexDefs() {
  if (!FIndexDefsOutdated) return;
  TDatabaseUseScope use(*this, duIndexDefs);
  UpdateFieldDefs();
  if (Handle()) {
    ReadIndexDefsFrom(*Handle());
    return;
  }
  std::unique_ptr<TQXLLocalCursor> temporary = OpenLocalCursor(true);
  ReadIndexDefsFrom(*temporary);
}

void TQXLTable::ReadIndexDefsFrom(TQXLCursor& Cursor) {
  TQXLIndexDefs* indexes = Cursor.GetIndexDefs();
  if (!indexes) throw EQXLException(10283, "Nil pointer occured");
  QXLIndexDefs().Assign(*indexes);
  QXLIndexDefsToAdvIndexDefs(*indexes, AdvIndexDefs());
  AdvIndexDefsToIndexDefs(AdvIndexDefs(), IndexDefs());
  RestructureIndexDefs().Assign(AdvIndexDefs(), false);
  FIndexDefsOutdated = false;
}

// ---- Index selection ---------------------------------------------------------

std::string TQXLTable::ResolveIndexName(const std::string& Value, bool FieldsIndex, TQXLCursor* Cursor) {
  if (Trimmed(Value).empty()) return {};
  if (!FieldsIndex) {
    if (Cursor && Cursor->GetIndexDefs() && !Cursor->GetIndexDefs()->GetIndexDefByName(Value))
      throw EQXLException(10325, "Cannot find index %s", {Value});
    return Value;
  }
  if (FIndexDefsOutdated && Cursor)
    ReadIndexDefsFrom(*Cursor);
  else
    UpdateIndexDefs();
  for (std::int32_t i = 0; i < IndexDefs().Count(); ++i)
    if (SameColumns(IndexDefs()[i].Fields, Value)) return IndexDefs()[i].Name;
  DatabaseErrorFmt(this, "No index for fields '%s'", Value);
}

void TQXLTable::SetIndex(const std::string& Value, bool FieldsIndex) {
  if (Active()) CheckBrowseMode();
  if (Active() && (Value != FIndexName || FieldsIndex != FFieldsIndex)) {
    const std::string name = ResolveIndexName(Value, FieldsIndex, Handle());
    SwitchToIndex(name);
    ApplyMasterRange();
  }
  FIndexName = Value;
  FFieldsIndex = FieldsIndex;
  if (Active()) Resync(false, false);
}

TField& TQXLTable::GetIndexField(std::int32_t Index) const {
  if (Index < 0 || Index >= IndexFieldCount()) DatabaseError("Field index out of range", this);
  const std::int32_t number = IndexFieldMap()[static_cast<std::size_t>(Index)];
  for (std::int32_t i = 0; i < FieldCount(); ++i)
    if (Fields(i).FieldNo() == number) return Fields(i);
  const std::string name =
      Handle() && number > 0 ? Handle()->FVisibleFieldDefs->GetDef(number - 1)->Name : std::to_string(number);
  DatabaseErrorFmt(this, "Cannot access index field '%s'", name);
}

// ---- Passed on to the cursor ---------------------------------------------------

std::string TQXLTable::FindOrCreateIndex(const std::vector<std::string>& FieldNamesList,
                                         const std::vector<std::string>& AscDescList,
                                         const std::vector<std::string>& CaseSensitivityList, bool& IsCreated) {
  return Cursor(10284).FindOrCreateIndex(FieldNamesList, AscDescList, CaseSensitivityList, IsCreated);
}

bool TQXLTable::IndexExists(const std::vector<std::string>& FieldNamesList, const std::vector<std::string>& AscDescList,
                            const std::vector<std::string>& CaseSensitivityList) {
  return Cursor(10285).IndexExists(FieldNamesList, AscDescList, CaseSensitivityList);
}

void TQXLTable::ApplyDistinct(const std::vector<std::string>& FieldNamesList,
                              const std::vector<std::string>& AscDescList,
                              const std::vector<std::string>& CaseSensitivityList) {
  TQXLCursor& cursor = Cursor(10286);
  cursor.ApplyDistinct(FieldNamesList, AscDescList, CaseSensitivityList);
  SetIndexName(cursor.IndexName());
}

void TQXLTable::ApplyDistinct(TQXLDataSet& DataSet) {
  TQXLCursor& other = DataSet.Handle() ? *DataSet.Handle() : Cursor(10287);
  TQXLCursor& cursor = Cursor(10287);
  SetIndexName(other.IndexName());
  cursor.FDistinctFieldCount = other.FDistinctFieldCount;
  cursor.DisableRecordBitmap();
}

std::int64_t TQXLTable::LastAutoincValue(std::int32_t FieldIndex) {
  return Cursor(10311).LastAutoincValue(FieldIndex);
}

std::int64_t TQXLTable::LastAutoincValue(const std::string& FieldName) {
  return LastAutoincValue(FieldByName(FieldName).FieldNo() - 1);
}

bool TQXLTable::IsRecordLocked() {
  if (!Handle() || !ActiveBuffer()) return false;
  TQXLRecordUse use(*Handle(), ActiveBuffer());
  return Handle()->IsRecordLocked();
}

bool TQXLTable::Exists() {
  if (DatabaseName().empty()) return false;
  try {
    TQXLDatabase* database = Database();
    if (database) return database->TableExists(FTableName);
    database = OpenDatabase();
    struct TClose {
      TQXLTable& Table;
      TQXLDatabase* Database;
      ~TClose() {
        try {
          Table.CloseDatabase(Database);
        } catch (...) {
        }
      }
    } close{*this, database};
    return database->TableExists(FTableName);
  } catch (...) {
    return false;
  }
}

}  // namespace qxl
