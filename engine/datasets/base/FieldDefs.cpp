#include "engine/datasets/base/FieldDefs.h"

#include "engine/core/values/QXLShortString.h"
#include "engine/datasets/base/DatabaseError.h"

namespace qxl {

TFieldDef& TFieldDefs::Items(std::int32_t Index) const {
  if (Index < 0 || Index >= Count()) DatabaseErrorFmt(FOwner, "Field definition index out of range (%d)", Index);
  return *FItems[static_cast<std::size_t>(Index)];
}

TFieldDef& TFieldDefs::Add(const std::string& Name, TFieldType DataType, std::int32_t Size, bool Required) {
  if (Name.empty()) DatabaseError("Field definition has no name", FOwner);
  if (IndexOf(Name) >= 0) DatabaseErrorFmt(FOwner, "Duplicate field name '%s'", Name);
  auto def = std::make_unique<TFieldDef>();
  def->Name = Name;
  def->DataType = DataType;
  def->Size = Size;
  def->Required = Required;
  def->FFieldNo = Count() + 1;
  FItems.push_back(std::move(def));
  return *FItems.back();
}

std::int32_t TFieldDefs::IndexOf(std::string_view Name) const {
  for (std::int32_t i = 0; i < Count(); ++i)
    if (SameNameIgnoringCase(FItems[static_cast<std::size_t>(i)]->Name, Name)) return i;
  return -1;
}

TFieldDef& TFieldDefs::Find(std::string_view Name) const {
  std::int32_t i = IndexOf(Name);
  if (i < 0) DatabaseErrorFmt(FOwner, "Field '%s' not found", Name);
  return *FItems[static_cast<std::size_t>(i)];
}

void TFieldDefs::Delete(std::int32_t Index) {
  Items(Index);
  FItems.erase(FItems.begin() + Index);
  Renumber();
}

void TFieldDefs::Assign(const TFieldDefs& Source) {
  if (&Source == this) return;
  std::vector<std::unique_ptr<TFieldDef>> items;
  for (const auto& d : Source.FItems) items.push_back(std::make_unique<TFieldDef>(*d));
  FItems = std::move(items);
}

void TFieldDefs::Renumber() {
  for (std::size_t i = 0; i < FItems.size(); ++i) FItems[i]->FFieldNo = static_cast<std::int32_t>(i) + 1;
}

}  // namespace qxl
