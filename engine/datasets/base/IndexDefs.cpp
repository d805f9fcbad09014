#include "engine/datasets/base/IndexDefs.h"

#include "engine/core/values/QXLShortString.h"
#include "engine/datasets/base/DatabaseError.h"

namespace qxl {

TIndexDef& TIndexDefs::Items(std::int32_t Index) const {
  if (Index < 0 || Index >= Count()) DatabaseErrorFmt(FOwner, "Index definition index out of range (%d)", Index);
  return *FItems[static_cast<std::size_t>(Index)];
}

TIndexDef& TIndexDefs::Add(const std::string& Name, const std::string& Fields, TIndexOptions Options) {
  if (Name.empty()) DatabaseError("Index definition has no name", FOwner);
  if (IndexOf(Name) >= 0) DatabaseErrorFmt(FOwner, "Duplicate index name '%s'", Name);
  auto def = std::make_unique<TIndexDef>();
  def->Name = Name;
  def->Fields = Fields;
  def->Options = Options;
  FItems.push_back(std::move(def));
  return *FItems.back();
}

std::int32_t TIndexDefs::IndexOf(std::string_view Name) const {
  for (std::int32_t i = 0; i < Count(); ++i)
    if (SameNameIgnoringCase(FItems[static_cast<std::size_t>(i)]->Name, Name)) return i;
  return -1;
}

TIndexDef& TIndexDefs::Find(std::string_view Name) const {
  std::int32_t i = IndexOf(Name);
  if (i < 0) DatabaseErrorFmt(FOwner, "Index '%s' not found", Name);
  return *FItems[static_cast<std::size_t>(i)];
}

void TIndexDefs::Delete(std::int32_t Index) {
  Items(Index);
  FItems.erase(FItems.begin() + Index);
}

void TIndexDefs::Assign(const TIndexDefs& Source) {
  if (&Source == this) return;
  std::vector<std::unique_ptr<TIndexDef>> items;
  for (const auto& d : Source.FItems) items.push_back(std::make_unique<TIndexDef>(*d));
  FItems = std::move(items);
}

}  // namespace qxl
