// The engine dataset's filters and searches: the filter text and the
// OnFilterRecord handler given to the cursor, Locate and Lookup through the
// cursor's search, the find calls; and the SQL layer's services on the
// dataset's cursor.
#include <memory>

#include "engine/core/QXLException.h"
#include "engine/core/schema/QXLFieldDef.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/datasets/base/DatabaseError.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/dataset/QXLDataSet.h"
#include "engine/datasets/dataset/QXLRecordUse.h"

namespace qxl {

namespace {

void ApplyFilterText(TQXLCursor& Cursor, const std::string& Text, TFilterOptions Options) {
  if (Text.empty())
    Cursor.DeactivateFilters();
  else
    Cursor.ActivateFilters(Text, Options.Contains(foCaseInsensitive), !Options.Contains(foNoPartialCompare));
}

}  // namespace

void TQXLDataSet::ActivateFilters() {
  TQXLCursor& cursor = Cursor(10272);
  ApplyFilterText(cursor, Filter(), FilterOptions());
  if (HasOnFilterRecord())
    cursor.FilterRecord = [this](std::uint8_t* Buffer, void*) { return FilterRecord(Buffer); };
  else
    cursor.FilterRecord = nullptr;
}

void TQXLDataSet::DeactivateFilters() {
  TQXLCursor& cursor = Cursor(10273);
  cursor.DeactivateFilters();
  cursor.FilterRecord = nullptr;
}

void TQXLDataSet::SetFiltered(bool Value) {
  if (Value == Filtered()) return;
  if (Active()) {
    CheckBrowseMode();
    if (Value) {
      // The filter's text is parsed before the dataset counts as filtered.
      ApplyFilterText(Cursor(10274), Filter(), FilterOptions());
    } else {
      DeactivateFilters();
    }
  }
  TDataSet::SetFiltered(Value);
  if (Active() && Value) ActivateFilters();
}

void TQXLDataSet::SetFilterText(const std::string& Value) {
  if (Active() && Filtered()) {
    CheckBrowseMode();
    ApplyFilterText(Cursor(10275), Value, FilterOptions());
  }
  TDataSet::SetFilterText(Value);
}

void TQXLDataSet::SetFilterOptions(TFilterOptions Value) {
  if (Active() && Filtered()) {
    CheckBrowseMode();
    ApplyFilterText(Cursor(10276), Filter(), Value);
  }
  TDataSet::SetFilterOptions(Value);
}

void TQXLDataSet::SetOnFilterRecord(TFilterRecordEvent Handler) {
  if (Active()) {
    CheckBrowseMode();
    if (Handler)
      Cursor(10277).FilterRecord = [this](std::uint8_t* Buffer, void*) { return FilterRecord(Buffer); };
    else
      Cursor(10277).FilterRecord = nullptr;
    FHandle->DisableRecordBitmap();
  }
  TDataSet::SetOnFilterRecord(std::move(Handler));
}

bool TQXLDataSet::FindRecord(bool Restart, bool GoForward) {
  if (Filtered() || !FHandle) return TDataSet::FindRecord(Restart, GoForward);
  CheckBrowseMode();
  // The filter holds for this search only.
  struct TTemporaryFilters {
    TQXLDataSet& DataSet;
    ~TTemporaryFilters() {
      try {
        DataSet.DeactivateFilters();
      } catch (...) {
        // Removing a filter frees it; nothing of it can fail that matters here.
      }
    }
  } temporary{*this};
  ActivateFilters();
  return TDataSet::FindRecord(Restart, GoForward);
}

bool TQXLDataSet::Locate(const std::string& KeyFields, const std::vector<Variant>& KeyValues,
                         TLocateOptions Options) {
  if (!FHandle) throw EQXLException(10271, "Cannot perform LOCATE on a closed dataset");
  // The cursor's search takes one value; several are matched by the dataset's scan.
  if (KeyValues.size() != 1) return TDataSet::Locate(KeyFields, KeyValues, Options);
  CheckBrowseMode();
  if (BeforeScroll) BeforeScroll(*this);
  UpdateCursorPos();
  bool found;
  {
    TTempState filtering(*this, dsFilter, TempBuffer());
    TQXLRecordUse use(*FHandle, TempBuffer());
    found = FHandle->Locate(KeyFields, KeyValues[0], Options.Contains(loCaseInsensitive),
                            Options.Contains(loPartialKey));
  }
  if (!found) {
    UpdateCursorPos();
    return false;
  }
  Resync(true, true);
  if (AfterScroll) AfterScroll(*this);
  return true;
}

Variant TQXLDataSet::Lookup(const std::string& KeyFields, const std::vector<Variant>& KeyValues,
                            const std::string& ResultFields) {
  if (!FHandle) throw EQXLException(10271, "Cannot perform LOCATE on a closed dataset");
  if (KeyValues.size() != 1) return TDataSet::Lookup(KeyFields, KeyValues, ResultFields);
  CheckBrowseMode();
  TField& result = FieldByName(ResultFields);
  UpdateCursorPos();
  TRecordBuffer scratch = TempBuffer();
  Variant answer = Variant::Null();
  bool found;
  {
    TTempState filtering(*this, dsFilter, scratch);
    TQXLRecordUse use(*FHandle, scratch);
    found = FHandle->Locate(KeyFields, KeyValues[0], false, false) && FHandle->GetRecordBuffer(grmCurrent) == grrOK;
  }
  if (found) {
    CalculateFields(scratch);
    TTempState calculating(*this, dsCalcFields, scratch);
    if (!result.IsNull()) answer = result.AsVariant();
  }
  // The current record does not move.
  UpdateCursorPos();
  return answer;
}

// ---- What the SQL layer works with ------------------------------------------

void TQXLDataSet::SetSQLFilter(TQXLBaseExpression* FilterExpr, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor) {
  Cursor(10278).SetSQLFilter(FilterExpr, ParentQueryAO, ParentCursor);
}

void TQXLDataSet::ApplyProjection(const std::vector<std::string>& FieldNamesList,
                                  const std::vector<std::string>& AliasList) {
  TQXLCursor& cursor = Cursor(10279);
  cursor.FSettingProjection = true;
  cursor.ApplyProjection(FieldNamesList, AliasList);
  // The dataset reopens on the same cursor, which keeps the projection,
  // and the database stays held meanwhile.
  if (!Active()) return;
  FReopening = true;
  struct TEndReopen {
    bool& Flag;
    ~TEndReopen() { Flag = false; }
  } endReopen{FReopening};
  Close();
  Open();
}

bool TQXLDataSet::IsDistinctApplied() const { return FHandle && FHandle->IsDistinctApplied(); }

TField* TQXLDataSet::VisibleFieldOf(std::int32_t FieldNo, bool DirectAccess) const {
  std::int32_t visible = FieldNo;
  if (DirectAccess) {
    visible = -1;
    for (std::int32_t i = 0; FHandle->FVisibleFieldDefs && i < FHandle->FVisibleFieldDefs->Count(); ++i)
      if (FHandle->FVisibleFieldDefs->GetDef(i)->FieldNoReference == FieldNo) visible = i;
  }
  for (std::int32_t i = 0; i < FieldCount(); ++i)
    if (Fields(i).FieldNo() == visible + 1 && Fields(i).FieldKind == fkData) return &Fields(i);
  return nullptr;
}

void TQXLDataSet::GetFieldValue(TQXLVariant& Value, std::int32_t FieldNo, bool DirectAccess) {
  TQXLCursor& cursor = Cursor(10500);
  TRecordBuffer buffer = ActiveBuffer();
  if (!buffer) throw EQXLException(10503, "Nil pointer occured");
  TQXLRecordUse use(cursor, buffer);
  const TQXLFieldDefs* list = DirectAccess ? cursor.FFieldDefs.get() : cursor.FVisibleFieldDefs.get();
  const TQXLFieldDef* def = list && FieldNo >= 0 && FieldNo < list->Count() ? list->GetDef(FieldNo) : nullptr;
  if (def && IsBlobBaseFieldType(def->BaseFieldType)) {
    TField* field = VisibleFieldOf(FieldNo, DirectAccess);
    if (!field) throw EQXLException(10504, "Nil pointer occured");
    BlobValueOf(*field, Value);
    if (Value.IsNull()) Value.Clear(def->BaseFieldType);
    return;
  }
  cursor.GetFieldValue(Value, FieldNo, DirectAccess);
}

void TQXLDataSet::SetFieldValue(TQXLVariant& Value, std::int32_t FieldNo, bool DirectAccess) {
  TQXLCursor& cursor = Cursor(10501);
  TRecordBuffer buffer = ActiveBuffer();
  if (!buffer) throw EQXLException(10502, "Nil pointer occured");
  const TQXLFieldDefs* list = DirectAccess ? cursor.FFieldDefs.get() : cursor.FVisibleFieldDefs.get();
  const TQXLFieldDef* def = list && FieldNo >= 0 && FieldNo < list->Count() ? list->GetDef(FieldNo) : nullptr;
  if (def && IsBlobBaseFieldType(def->BaseFieldType) && !Value.IsNull()) {
    TField* field = VisibleFieldOf(FieldNo, DirectAccess);
    if (!field) throw EQXLException(10504, "Nil pointer occured");
    WriteBlobValue(*field, Value);
    return;
  }
  TQXLRecordUse use(cursor, buffer);
  cursor.SetFieldValue(Value, FieldNo, DirectAccess, buffer);
}

void TQXLDataSet::CopyFieldValue(std::int32_t SrcFieldNo, bool UseDirectFieldAccess, std::int32_t DestFieldNo,
                                 TQXLDataSet& DestDataset) {
  TQXLCursor& source = Cursor(10381);
  TQXLCursor& dest = DestDataset.Cursor(10381);
  TRecordBuffer from = ActiveBuffer(), to = DestDataset.ActiveBuffer();
  if (!from || !to) throw EQXLException(10381, "Nil pointer occured");
  TQXLRecordUse useSource(source, from);
  TQXLRecordUse useDest(dest, to);
  source.CopyFieldValue(SrcFieldNo, UseDirectFieldAccess, DestFieldNo, &dest);
}

}  // namespace qxl
