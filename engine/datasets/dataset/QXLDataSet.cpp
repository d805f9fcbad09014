// The engine dataset's life: its database held through its reasons, the
// cursor made and freed with the dataset, the definitions read from the open
// table, the index field map and the key buffers.
#include "engine/datasets/dataset/QXLDataSet.h"

#include <cstring>

#include "engine/core/schema/QXLConstraintDef.h"
#include "engine/core/QXLException.h"
#include "engine/core/schema/QXLFieldDef.h"
#include "engine/core/schema/QXLIndexDef.h"
#include "engine/core/values/QXLShortString.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/core/abstract/QXLFormEditorMode.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/QXLAdvIndexDefs.h"
#include "engine/datasets/QXLEngineError.h"
#include "engine/datasets/QXLFieldDefConversion.h"
#include "engine/datasets/QXLUserInterface.h"
#include "engine/datasets/base/DatabaseError.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/components/QXLSessionComponent.h"

namespace qxl {

TQXLDataSet::TQXLDataSet(const TComponent* Owner, bool OwnerInDesignMode)
    : FOwner(Owner),
      FQXLFieldDefs(std::make_unique<TQXLFieldDefs>()),
      FQXLIndexDefs(std::make_unique<TQXLIndexDefs>()),
      FQXLConstraintDefs(std::make_unique<TQXLConstraintDefs>()),
      FAdvFieldDefs(std::make_unique<TQXLAdvFieldDefs>()),
      FAdvIndexDefs(std::make_unique<TQXLAdvIndexDefs>()),
      FRestructureFieldDefs(std::make_unique<TQXLAdvFieldDefs>()),
      FRestructureIndexDefs(std::make_unique<TQXLAdvIndexDefs>()) {
  if (OwnerInDesignMode) FormEditorMode = true;
}

TQXLDataSet::~TQXLDataSet() {
  try {
    Close();
  } catch (...) {
    // A failed close at destruction cannot be reported.
  }
  // A close that failed half-way leaves nothing held.
  try {
    FreeKeyBuffers();
    DestroyCursorHandle();
    for (std::int32_t reason = 0; reason < 16; ++reason) SetDatabaseUse(reason, false);
  } catch (...) {
  }
}

// ---- Database use ----------------------------------------------------------

TQXLSession* TQXLDataSet::DBSession() const {
  if (FDatabase) return FDatabase->Session();
  TQXLSession* named = SessionList().FindSession(FSessionName);
  return named ? named : DefaultSession();
}

TQXLDatabase* TQXLDataSet::OpenDatabase() {
  TQXLSession* session = SessionList().FindSession(FSessionName);
  if (!session) DatabaseErrorFmt(this, "Invalid session name '%s'", FSessionName);
  // A database component left in the default session joins the session the
  // dataset names, when that one has none of the name.
  if (!FSessionName.empty() && !FDatabaseName.empty() && !session->FindDatabase(FDatabaseName)) {
    TQXLSession* fallback = DefaultSession();
    TQXLDatabase* stray = fallback && fallback != session ? fallback->FindDatabase(FDatabaseName) : nullptr;
    if (stray && !stray->Temporary()) {
      stray->SetSessionName(FSessionName);
      stray->AttachSession(true);
    }
  }
  return session->OpenDatabaseForOwner(FDatabaseName, FOwner);
}

void TQXLDataSet::CloseDatabase(TQXLDatabase* Database) {
  if (Database && Database->Session()) Database->Session()->CloseDatabase(Database);
}

void TQXLDataSet::SetDatabaseUse(std::int32_t Reason, bool On) {
  if (Reason < 0 || Reason > 15) DatabaseErrorFmt(this, "Invalid database use %d", Reason);
  const auto bit = static_cast<std::uint16_t>(1u << Reason);
  if (On) {
    if (FDBFlags & bit) return;
    if (FDBFlags == 0) {
      FDatabase = OpenDatabase();
      FDatabase->AddDataSet(this);
    }
    FDBFlags = static_cast<std::uint16_t>(FDBFlags | bit);
    return;
  }
  if (!(FDBFlags & bit)) return;
  FDBFlags = static_cast<std::uint16_t>(FDBFlags & ~bit);
  if (FDBFlags != 0 || !FDatabase) return;
  TQXLDatabase* database = FDatabase;
  FDatabase = nullptr;
  database->RemoveDataSet(this);
  if (TQXLSession* session = database->Session()) {
    TQXLSessionLock lock(*session);
    CloseDatabase(database);
  }
}

void TQXLDataSet::CloseByDatabase() { Close(); }

void TQXLDataSet::GetDatabaseNameList(std::vector<std::string>& List) const {
  List.clear();
  if (TQXLSession* session = DBSession()) session->GetDatabaseNames(List);
}

// ---- Properties ------------------------------------------------------------

void TQXLDataSet::SetDatabaseName(const std::string& Value) {
  if (Value != FDatabaseName) {
    CheckInactive();
    if (FDatabase) DatabaseError("Cannot perform this operation on an open database", this);
    FDatabaseName = Value;
    DataEvent(dePropertyChange);
  }
  FInMemory = SameNameIgnoringCase(FDatabaseName, "MEMORY");
}

void TQXLDataSet::SetSessionName(const std::string& Value) {
  CheckInactive();
  FSessionName = Value;
  DataEvent(dePropertyChange);
}

void TQXLDataSet::SetInMemory(bool Value) {
  CheckInactive();
  if (Value)
    SetDatabaseName("MEMORY");
  else
    FInMemory = false;
}

void TQXLDataSet::SetReadOnly(bool Value) {
  CheckInactive();
  FReadOnly = Value;
}

bool TQXLDataSet::CanModify() const { return TDataSet::CanModify() && !FReadOnly; }

// ---- Cursor ------------------------------------------------------------------

TQXLCursor& TQXLDataSet::Cursor(std::int32_t Code) const {
  if (!FHandle) throw EQXLException(Code, "Nil pointer occured");
  return *FHandle;
}

TQXLCursor* TQXLDataSet::AdoptHandle(std::unique_ptr<TQXLCursor> Cursor) {
  FOwnedHandle = std::move(Cursor);
  return FOwnedHandle.get();
}

void TQXLDataSet::DestroyCursorHandle() {
  FHandle = nullptr;
  if (FOwnedHandle && FOwnedHandle.get() != FExternalHandle) {
    // A projection's visible fields go with the cursor.
    FOwnedHandle->FSettingProjection = false;
    FOwnedHandle.reset();
  }
}

void TQXLDataSet::CheckCursorError() const {
  CheckEngineError(FHandle->ErrorCode(), FHandle->ErrorMessage());
}

std::int32_t TQXLDataSet::BookmarkOffset() const { return Cursor(10034).FBookmarkOffset; }

void TQXLDataSet::InternalOpen() {
  if (FDatabaseName.empty()) DatabaseError("DatabaseName property is blank", this);
  SetDatabaseUse(duOpenCursor, true);
  try {
    if (!FHandle) FHandle = CreateCursorHandle();
    if (!FHandle) throw EQXLException(20001, "Error creating table handle");
    BookmarkSize = BookmarkBytes;
    InternalInitFieldDefs();
    BuildIndexFieldMap();
    if (FHandle->FEditRecordBuffer) FHandle->FreeRecordBuffer(FHandle->FEditRecordBuffer);
    for (std::int32_t i = 0; i < FieldDefs().Count(); ++i)
      if (FieldDefs()[i].DataType == ftGuid) FieldDefs()[i].Size = 38;
    FHandle->Dataset = this;
    // The calculated fields live behind the bookmark of every record buffer.
    std::int32_t calculated = 0;
    for (std::int32_t i = 0; i < FieldCount(); ++i)
      if (Fields(i).Calculated()) calculated += 1 + Fields(i).DataSize();
    FHandle->FRecordBufferSize = FHandle->FRecordSize + calculated;
    if (Filtered())
      ActivateFilters();
    else
      DeactivateFilters();
    for (TRecordBuffer& key : FKeyBuffers) {
      key = FHandle->AllocateKeyRecordBuffer();
      InitKeyBuffer(key);
    }
    ResetCursorRange();
    ApplyMasterRange();
  } catch (...) {
    FreeKeyBuffers();
    DestroyCursorHandle();
    SetDatabaseUse(duOpenCursor, false);
    throw;
  }
}

void TQXLDataSet::InternalClose() {
  FreeKeyBuffers();
  if (FHandle && FHandle->FEditRecordBuffer) FHandle->FreeRecordBuffer(FHandle->FEditRecordBuffer);
  if (FHandle) {
    FHandle->FilterRecord = nullptr;
    FHandle->Dataset = nullptr;
  }
  FAdvFieldDefs->Clear();
  FQXLFieldDefs->Clear();
  FAdvIndexDefs->Clear();
  FQXLIndexDefs->Clear();
  FIndexFieldMap.clear();
  FKeySize = 0;
  if (FReopening) return;
  DestroyCursorHandle();
  SetDatabaseUse(duOpenCursor, false);
}

void TQXLDataSet::InternalInitFieldDefs() {
  TQXLCursor& cursor = Cursor(10266);
  FieldDefs().Clear();
  if (!FIgnoreDesignMode) cursor.FIsDesignMode = FormEditorMode;
  cursor.InternalInitFieldDefs();
  ReadFieldDefsFrom(cursor);
}

void TQXLDataSet::ReadFieldDefsFrom(TQXLCursor& Cursor) {
  if (!Cursor.FVisibleFieldDefs || !Cursor.FFieldDefs) throw EQXLException(10267, "Nil pointer occured");
  static const TQXLConstraintDefs NoConstraints;
  const TQXLConstraintDefs& constraints = Cursor.FConstraintDefs ? *Cursor.FConstraintDefs : NoConstraints;
  FQXLFieldDefs->Assign(*Cursor.FVisibleFieldDefs);
  FQXLConstraintDefs->Assign(constraints);
  QXLFieldDefsToFieldDefs(*Cursor.FVisibleFieldDefs, constraints, FieldDefs());
  QXLFieldDefsToAdvFieldDefs(*Cursor.FVisibleFieldDefs, *Cursor.FFieldDefs, constraints, *FAdvFieldDefs);
  FRestructureFieldDefs->Assign(*FAdvFieldDefs);
}

// ---- Index field map and key buffers -------------------------------------

void TQXLDataSet::BuildIndexFieldMap() {
  FIndexFieldMap.clear();
  FKeySize = 0;
  if (!FHandle || FHandle->IndexName().empty()) return;
  TQXLIndexDefs* indexes = FHandle->GetIndexDefs();
  const TQXLIndexDef* index = indexes ? indexes->GetIndexDefByName(FHandle->IndexName()) : nullptr;
  if (!index) throw EQXLException(10325, "Cannot find index %s", {FHandle->IndexName()});
  for (std::int32_t i = 0; i < index->ColumnCount(); ++i) {
    const std::string& name = index->GetIndexColumn(i).FieldName;
    const std::int32_t visible = FHandle->FVisibleFieldDefs->GetDefNumberByName(name);
    FIndexFieldMap.push_back(static_cast<std::uint16_t>(visible + 1));
    if (const TQXLFieldDef* field = FHandle->FFieldDefs->GetFieldDefByName(name)) FKeySize += field->MemoryDataSize;
  }
}

bool TQXLDataSet::IsIndexField(const TField& Field) const {
  if (Field.FieldNo() <= 0) return false;
  for (std::uint16_t n : FIndexFieldMap)
    if (n == Field.FieldNo()) return true;
  return false;
}

void TQXLDataSet::SwitchToIndex(const std::string& Name) {
  ResetCursorRange();
  UpdateCursorPos();
  Cursor(10268).SetIndexName(Name);
  BuildIndexFieldMap();
}

void TQXLDataSet::InitKeyBuffer(TRecordBuffer Buffer) { Cursor(10269).InternalInitKeyBuffer(Buffer); }

void TQXLDataSet::FreeKeyBuffers() {
  for (TRecordBuffer& key : FKeyBuffers) {
    if (!key) continue;
    if (FHandle)
      FHandle->FreeRecordBuffer(key);
    else
      key = nullptr;
  }
  FKeyBuffer = nullptr;
}

bool TQXLDataSet::ResetCursorRange() {
  TRecordBuffer start = KeyBuffer(kiCurRangeStart), end = KeyBuffer(kiCurRangeEnd);
  TQXLCursor& cursor = Cursor(10270);
  const std::int32_t at = cursor.FKeyOffset;
  if ((!start || !start[at]) && (!end || !end[at])) {
    cursor.ResetRange();
    return false;
  }
  InitKeyBuffer(start);
  InitKeyBuffer(end);
  cursor.ResetRange();
  return true;
}

// ---- Exceptions ------------------------------------------------------------

void TQXLDataSet::InternalHandleException(const std::exception& Error) {
  if (OnHandleException) {
    OnHandleException(*this, Error);
    return;
  }
  UserInterface().Warn(Error.what());
}

}  // namespace qxl
