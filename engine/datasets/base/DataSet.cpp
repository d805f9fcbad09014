#include "engine/datasets/base/DataSet.h"

#include <algorithm>

#include "engine/core/values/QXLShortString.h"
#include "engine/datasets/base/DataLink.h"
#include "engine/datasets/base/DatabaseError.h"
#include "engine/datasets/base/FieldKinds.h"

namespace qxl {

TDataSet::TDataSet() : FFieldDefs(this), FIndexDefs(this) {}

TDataSet::~TDataSet() {
  // Closing calls the descendant's hooks, which are gone by now: a
  // descendant closes in its own destructor.
  for (TDataSource* source : std::vector<TDataSource*>(FDataSources)) source->SetDataSet(nullptr);
  for (TField* f : FFields) f->FDataSet = nullptr;
}

void TDataSet::CheckActive() const {
  if (!Active()) DatabaseError("Cannot perform this operation on a closed dataset", this);
}

void TDataSet::CheckInactive() const {
  if (Active()) DatabaseError("Cannot perform this operation on an open dataset", this);
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(deCheckBrowseMode);
  if (FState == dsEdit || FState == dsInsert) {
    UpdateRecord();
    if (FModified)
      Post();
    else
      Cancel();
  } else if (FState == dsSetKey) {
    Post();
  }
}

void TDataSet::SetActive(bool Value) {
  if (Value == Active()) return;
  if (Value) {
    Run(BeforeOpen);
    try {
      OpenCursor();
    } catch (...) {
      CloseCursor();
      throw;
    }
    Run(AfterOpen);
  } else {
    Run(BeforeClose);
    if (FState == dsEdit || FState == dsInsert) Cancel();
    CloseCursor();
    Run(AfterClose);
  }
}

void TDataSet::OpenCursor() {
  // The links hear of the dataset only once its first records are read.
  FState = dsOpening;
  DoInternalOpen();
  LayoutCalcFields();
  AllocateBuffers();
  FState = dsBrowse;
  ClearBuffers();
  InternalFirst();
  GetNextRecords();
  FBOF = true;
  FEOF = FBufferRecords == 0;
  DataEvent(deUpdateState);
}

void TDataSet::DoInternalOpen() {
  InternalOpen();
  if (FFields.empty()) CreateFields();
  BindFields(true);
}

void TDataSet::CloseCursor() {
  FreeBuffers();
  if (IsCursorOpen()) InternalClose();
  BindFields(false);
  FOwnedFields.clear();
  FDefaultFields = false;
  FBufferRecords = 0;
  FActiveRecord = 0;
  FBOF = FEOF = true;
  FModified = false;
  FState = dsInactive;
  DataEvent(deUpdateState);
}

void TDataSet::CreateFields() {
  for (std::int32_t i = 0; i < FFieldDefs.Count(); ++i) {
    const TFieldDef& def = FFieldDefs[i];
    std::unique_ptr<TField> field = CreateField(def.DataType);
    field->FieldName = def.Name;
    field->Size = def.Size;
    field->Required = def.Required;
    field->SetDataSet(this);
    FOwnedFields.push_back(std::move(field));
  }
  FDefaultFields = !FOwnedFields.empty();
}

void TDataSet::BindFields(bool Binding) {
  for (TField* f : FFields) {
    f->FFieldNo = 0;
    if (!Binding || f->FieldKind != fkData) continue;
    const std::int32_t n = FFieldDefs.IndexOf(f->FieldName);
    if (n < 0) DatabaseErrorFmt(this, "Field '%s' not found", f->DisplayName());
    f->FFieldNo = n + 1;
  }
}

void TDataSet::LayoutCalcFields() {
  FCalcFieldsSize = 0;
  for (TField* f : FFields)
    if (f->Calculated()) {
      f->FOffset = FCalcFieldsSize;
      FCalcFieldsSize += 1 + f->DataSize();
    }
}

TField& TDataSet::Fields(std::int32_t Index) const {
  if (Index < 0 || Index >= FieldCount()) DatabaseErrorFmt(this, "Field index out of range (%d)", Index);
  return *FFields[static_cast<std::size_t>(Index)];
}

TField* TDataSet::FindField(std::string_view FieldName) const {
  for (TField* f : FFields)
    if (SameNameIgnoringCase(f->FieldName, FieldName)) return f;
  return nullptr;
}

TField& TDataSet::FieldByName(std::string_view FieldName) const {
  TField* f = FindField(FieldName);
  if (!f) DatabaseErrorFmt(this, "Field '%s' not found", FieldName);
  return *f;
}

void TDataSet::AddField(TField& Field) {
  if (FState != dsOpening) CheckInactive();
  if (FindField(Field.FieldName)) DatabaseErrorFmt(this, "Duplicate field name '%s'", Field.FieldName);
  FFields.push_back(&Field);
}

void TDataSet::RemoveField(TField& Field) {
  FFields.erase(std::remove(FFields.begin(), FFields.end(), &Field), FFields.end());
}

void TDataSet::SetState(TDataSetState Value) {
  if (FState == Value) return;
  FState = Value;
  FModified = false;
  DataEvent(deUpdateState);
}

TDataSet::TTempState::TTempState(TDataSet& DataSet, TDataSetState State, TRecordBuffer Buffer)
    : FDataSet(DataSet), FOldState(DataSet.FState), FOldBuffer(DataSet.FStateBuffer) {
  DataSet.FState = State;
  DataSet.FStateBuffer = Buffer;
}

TDataSet::TTempState::~TTempState() {
  FDataSet.FState = FOldState;
  FDataSet.FStateBuffer = FOldBuffer;
}

TRecordBuffer TDataSet::ActiveBuffer() const {
  switch (FState) {
    case dsBrowse: return IsEmpty() ? nullptr : Buffer(FActiveRecord);
    case dsEdit:
    case dsInsert: return Buffer(FActiveRecord);
    case dsCalcFields:
    case dsInternalCalc:
    case dsFilter: return FStateBuffer;
    default: return nullptr;
  }
}

void TDataSet::DisableControls() {
  if (FDisableCount++ == 0) FEventsWhileDisabled = false;
}

void TDataSet::EnableControls() {
  if (FDisableCount == 0) return;
  if (--FDisableCount == 0 && FEventsWhileDisabled) DataEvent(deDataSetChange);
}

void TDataSet::DataEvent(TDataEvent Event, const void* Info) {
  if (Event == deFieldChange) {
    auto* field = static_cast<TField*>(const_cast<void*>(Info));
    if (field && field->OnChange) field->OnChange(*field);
  }
  // State changes reach the links even while controls are disabled.
  if (FDisableCount > 0 && Event != deUpdateState) {
    FEventsWhileDisabled = true;
    return;
  }
  NotifyLinks(Event, Info);
}

void TDataSet::NotifyLinks(TDataEvent Event, const void* Info) {
  for (TDataSource* source : std::vector<TDataSource*>(FDataSources)) source->DataEvent(Event, Info);
}

void TDataSet::AddDataSource(TDataSource& Source) { FDataSources.push_back(&Source); }

void TDataSet::RemoveDataSource(TDataSource& Source) {
  FDataSources.erase(std::remove(FDataSources.begin(), FDataSources.end(), &Source), FDataSources.end());
}

void TDataSet::UpdateBufferCount() {
  std::int32_t count = 1;
  for (TDataSource* source : FDataSources)
    for (TDataLink* link : source->FLinks) count = std::max(count, link->BufferCount());
  SetBufferCount(count);
}

bool TDataSet::IsLinkedTo(const TDataSource* Source) const {
  // A chain of masters longer than the links that exist is a loop.
  for (std::size_t steps = 0; Source && steps < 1024; ++steps) {
    const TDataSet* master = Source->DataSet();
    if (master == this) return true;
    Source = master ? master->GetDataSource() : nullptr;
  }
  return false;
}

std::unique_ptr<TQXLStream> TDataSet::CreateBlobStream(TField& Field, TBlobStreamMode) {
  DatabaseErrorFmt(this, "Field '%s' has no BLOB stream", Field.DisplayName());
}

}  // namespace qxl
