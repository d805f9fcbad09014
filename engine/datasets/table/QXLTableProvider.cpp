// What the table component answers a provider: its name, default order, key
// fields and parameters as a range.
#include "engine/core/values/QXLShortString.h"
#include "engine/datasets/QXLIndexDefConversion.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/table/QXLTable.h"

namespace qxl {

namespace {

bool AllFieldsIn(const std::string& Fields, const std::function<bool(const std::string&)>& Present) {
  std::vector<std::string> names;
  SplitFieldList(names, Fields);
  if (names.empty()) return false;
  for (const std::string& name : names)
    if (!Present(name)) return false;
  return true;
}

// The first primary index whose fields are all Present, else the first unique one.
const TIndexDef* FirstKeyIndex(const TIndexDefs& Indexes, const std::function<bool(const std::string&)>& Present) {
  for (TIndexOption kind : {ixPrimary, ixUnique})
    for (std::int32_t i = 0; i < Indexes.Count(); ++i)
      if (Indexes[i].Options.Contains(kind) && AllFieldsIn(Indexes[i].Fields, Present)) return &Indexes[i];
  return nullptr;
}

}  // namespace

const TIndexDef* TQXLTable::PSGetDefaultOrder() {
  UpdateIndexDefs();
  if (!FIndexName.empty()) {
    for (std::int32_t i = 0; i < IndexDefs().Count(); ++i) {
      const TIndexDef& index = IndexDefs()[i];
      if (SameNameIgnoringCase(FFieldsIndex ? index.Fields : index.Name, FIndexName)) return &index;
    }
  }
  UpdateFieldDefs();
  return FirstKeyIndex(IndexDefs(), [this](const std::string& Name) { return FieldDefs().IndexOf(Name) >= 0; });
}

std::string TQXLTable::PSGetKeyFields() {
  if (Exists()) {
    UpdateIndexDefs();
    const TIndexDef* key =
        FirstKeyIndex(IndexDefs(), [this](const std::string& Name) { return FindField(Name) != nullptr; });
    if (key) return key->Fields;
  }
  std::string names;
  for (std::int32_t i = 0; i < FieldCount(); ++i) {
    if (i > 0) names += ';';
    names += Fields(i).FieldName;
  }
  return names;
}

void TQXLTable::PSSetParams(const std::vector<Variant>& Values) {
  if (Values.empty()) {
    if (Active()) CancelRange();
    return;
  }
  Open();
  SetRange(Values, Values);
}

}  // namespace qxl
