// Searches and filters: Locate, Lookup and the find calls scan the records
// through the descendant's fetch; OnFilterRecord decides which records a
// filtered dataset shows.
#include "engine/core/values/QXLVariant.h"
#include "engine/datasets/base/DataSet.h"
#include "engine/datasets/base/DatabaseError.h"
#include "engine/datasets/base/Field.h"

namespace qxl {

std::vector<TField*> TDataSet::FieldList(const std::string& Names) const {
  std::vector<TField*> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = Names.find(';', start);
    std::string name = Names.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const auto first = name.find_first_not_of(' ');
    name = first == std::string::npos ? "" : name.substr(first, name.find_last_not_of(' ') - first + 1);
    if (!name.empty()) fields.push_back(&FieldByName(name));
    if (end == std::string::npos) return fields;
    start = end + 1;
  }
}

bool TDataSet::KeyMatches(const std::vector<TField*>& Fields, const std::vector<Variant>& KeyValues,
                          TLocateOptions Options) {
  for (std::size_t i = 0; i < Fields.size(); ++i) {
    TQXLVariant field;
    Fields[i]->GetValue(field);
    TQXLVariant key;
    key.SetAsVariant(KeyValues[i]);
    if (key.IsNull() || field.IsNull()) {
      if (key.IsNull() != field.IsNull()) return false;
      continue;
    }
    const bool text = field.IsStringDataType() && key.IsStringDataType();
    if (field.Compare(key, false, Options.Contains(loCaseInsensitive), text && Options.Contains(loPartialKey)) !=
        cmprEqual)
      return false;
  }
  return true;
}

bool TDataSet::ScanForRecord(const std::function<bool()>& Match) {
  UpdateCursorPos();
  InternalFirst();
  while (Fetch(FTempBuffer, gmNext, false) == grOK) {
    TTempState filtering(*this, dsFilter, FTempBuffer);
    if (Match()) {
      InternalSetToRecord(FTempBuffer);
      return true;
    }
  }
  UpdateCursorPos();
  return false;
}

bool TDataSet::Locate(const std::string& KeyFields, const std::vector<Variant>& KeyValues, TLocateOptions Options) {
  CheckBrowseMode();
  const std::vector<TField*> fields = FieldList(KeyFields);
  if (fields.empty() || fields.size() != KeyValues.size())
    DatabaseError("The key values do not match the key fields", this);
  Run(BeforeScroll);
  const bool found = ScanForRecord([&] { return KeyMatches(fields, KeyValues, Options); });
  if (found) {
    Resync(true, true);
    Run(AfterScroll);
  }
  return found;
}

Variant TDataSet::Lookup(const std::string& KeyFields, const std::vector<Variant>& KeyValues,
                         const std::string& ResultFields) {
  CheckBrowseMode();
  const std::vector<TField*> fields = FieldList(KeyFields);
  const std::vector<TField*> results = FieldList(ResultFields);
  if (fields.empty() || fields.size() != KeyValues.size())
    DatabaseError("The key values do not match the key fields", this);
  if (results.size() != 1) DatabaseError("Lookup answers one result field", this);
  Variant result = Variant::Null();
  const bool found = ScanForRecord([&] {
    if (!KeyMatches(fields, KeyValues, {})) return false;
    result = results[0]->IsNull() ? Variant::Null() : results[0]->AsVariant();
    return true;
  });
  // The current record does not move.
  if (found) UpdateCursorPos();
  return result;
}

bool TDataSet::FindRecord(bool Restart, bool GoForward) {
  CheckBrowseMode();
  Run(BeforeScroll);
  FFound = false;
  UpdateCursorPos();
  TGetResult result;
  {
    FFindingRecord = true;
    struct Reset {
      bool& Flag;
      ~Reset() { Flag = false; }
    } reset{FFindingRecord};
    if (Restart) {
      if (GoForward)
        InternalFirst();
      else
        InternalLast();
    }
    result = Fetch(FTempBuffer, GoForward ? gmNext : gmPrior, false);
  }
  if (result != grOK) {
    UpdateCursorPos();
    return false;
  }
  InternalSetToRecord(FTempBuffer);
  Resync(true, true);
  FFound = true;
  Run(AfterScroll);
  return true;
}

bool TDataSet::FilterInForce() const { return FOnFilterRecord && (FFiltered || FFindingRecord); }

bool TDataSet::FilterRecord(TRecordBuffer Buffer) {
  if (!FilterInForce()) return true;
  TTempState filtering(*this, dsFilter, Buffer);
  bool accept = true;
  try {
    FOnFilterRecord(*this, accept);
  } catch (const std::exception& e) {
    // A failing handler must not stop the scan; the application hears of it.
    InternalHandleException(e);
  }
  return accept;
}

void TDataSet::SetFiltered(bool Value) {
  if (Value == FFiltered) return;
  if (Active()) CheckBrowseMode();
  FFiltered = Value;
  if (!Active()) return;
  if (Value)
    First();
  else
    Refresh();
}

void TDataSet::SetFilterText(const std::string& Value) {
  if (Active()) CheckBrowseMode();
  FFilterText = Value;
  if (Active() && FFiltered) First();
}

void TDataSet::SetFilterOptions(TFilterOptions Value) {
  if (Active()) CheckBrowseMode();
  FFilterOptions = Value;
  if (Active() && FFiltered) First();
}

void TDataSet::SetOnFilterRecord(TFilterRecordEvent Handler) {
  if (Active()) CheckBrowseMode();
  FOnFilterRecord = std::move(Handler);
  if (Active() && FFiltered) First();
}

}  // namespace qxl
