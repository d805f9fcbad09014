#include "engine/datasets/QXLAdvIndexDefs.h"

#include "engine/core/QXLException.h"
#include "engine/core/values/QXLShortString.h"
#include "platform/CaseMap.h"

namespace qxl {

TQXLAdvIndexDef& TQXLAdvIndexDefs::AddIndexDef() {
  FItems.push_back(std::make_unique<TQXLAdvIndexDef>());
  return *FItems.back();
}

TQXLAdvIndexDef& TQXLAdvIndexDefs::Add(const std::string& Name, const std::string& Fields, TIndexOptions Options,
                                       bool Temporary, const std::string& DescFields,
                                       const std::string& CaseInsFields, const std::string& MaxIndexedSizes) {
  TQXLAdvIndexDef& def = AddIndexDef();
  def = TQXLAdvIndexDef{Name, Fields, DescFields, CaseInsFields, Options, MaxIndexedSizes, Temporary};
  return def;
}

void TQXLAdvIndexDefs::DeleteIndexDef(std::string_view IndexName) {
  for (auto it = FItems.begin(); it != FItems.end(); ++it)
    if (SameNameIgnoringCase((*it)->Name, IndexName)) {
      FItems.erase(it);
      return;
    }
  throw EQXLException(20190, "Index '%s' not found", {IndexName});
}

TQXLAdvIndexDef* TQXLAdvIndexDefs::Find(std::string_view Name) const {
  for (const auto& d : FItems)
    if (SameNameIgnoringCase(d->Name, Name)) return d.get();
  return nullptr;
}

void TQXLAdvIndexDefs::Assign(const TQXLAdvIndexDefs& Source, bool SkipTemporaryIndexes) {
  if (&Source == this) return;
  Clear();
  for (const auto& d : Source.FItems) {
    if (SkipTemporaryIndexes &&
        (d->Temporary || platform::UpperCaseAscii(d->Name).find("TEMPORARY") != std::string::npos))
      continue;
    AddIndexDef().Assign(*d);
  }
}

void TQXLAdvIndexDefs::Update() {
  if (FOnUpdate) FOnUpdate();
}

}  // namespace qxl
