#pragma once
// The dataset's field definitions: the columns a dataset shows, by name,
// dataset field type, size and whether a value is required. Field objects are
// made from them. Thread rule: one thread.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/values/QXLTypes.h"

namespace qxl {

class TComponent;

class TFieldDef {
public:
  std::string Name;
  TFieldType DataType = ftUnknown;
  std::int32_t Size = 0;
  bool Required = false;

  // The 1-based position in its list.
  std::int32_t FieldNo() const { return FFieldNo; }

private:
  friend class TFieldDefs;
  std::int32_t FFieldNo = 0;
};

class TFieldDefs {
public:
  // Errors name Owner as their subject.
  explicit TFieldDefs(const TComponent* Owner = nullptr) : FOwner(Owner) {}
  TFieldDefs(const TFieldDefs&) = delete;
  TFieldDefs& operator=(const TFieldDefs&) = delete;

  std::int32_t Count() const { return static_cast<std::int32_t>(FItems.size()); }
  // An index outside the list raises EDatabaseError.
  TFieldDef& Items(std::int32_t Index) const;
  TFieldDef& operator[](std::int32_t Index) const { return Items(Index); }

  // An empty name, or one the list already holds (in any letter case),
  // raises EDatabaseError.
  TFieldDef& Add(const std::string& Name, TFieldType DataType, std::int32_t Size = 0, bool Required = false);
  // Position of the first definition of that name, in any letter case; -1 when none.
  std::int32_t IndexOf(std::string_view Name) const;
  // The definition of that name; none raises EDatabaseError.
  TFieldDef& Find(std::string_view Name) const;
  void Delete(std::int32_t Index);
  void Clear() { FItems.clear(); }
  // Copies of Source's definitions in place of this list's.
  void Assign(const TFieldDefs& Source);

private:
  void Renumber();

  const TComponent* FOwner;
  std::vector<std::unique_ptr<TFieldDef>> FItems;
};

}  // namespace qxl
