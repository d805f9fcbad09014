#pragma once
// The dataset's index definitions: an index by name, its columns as a text
// list ("A;B"), the columns among them that are descending or
// case-insensitive, and its options. Thread rule: one thread.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/datasets/base/Set.h"

namespace qxl {

class TComponent;

enum TIndexOption : std::uint8_t {
  ixPrimary,
  ixUnique,
  ixDescending,
  ixCaseInsensitive,
  ixExpression,
  ixNonMaintained,
};
using TIndexOptions = TSet<TIndexOption>;

class TIndexDef {
public:
  std::string Name;
  std::string Fields;
  std::string DescFields;
  std::string CaseInsFields;
  TIndexOptions Options;
};

class TIndexDefs {
public:
  // Errors name Owner as their subject.
  explicit TIndexDefs(const TComponent* Owner = nullptr) : FOwner(Owner) {}
  TIndexDefs(const TIndexDefs&) = delete;
  TIndexDefs& operator=(const TIndexDefs&) = delete;

  std::int32_t Count() const { return static_cast<std::int32_t>(FItems.size()); }
  // An index outside the list raises EDatabaseError.
  TIndexDef& Items(std::int32_t Index) const;
  TIndexDef& operator[](std::int32_t Index) const { return Items(Index); }

  // An empty name, or one the list already holds (in any letter case),
  // raises EDatabaseError.
  TIndexDef& Add(const std::string& Name, const std::string& Fields, TIndexOptions Options);
  std::int32_t IndexOf(std::string_view Name) const;
  // The definition of that name; none raises EDatabaseError.
  TIndexDef& Find(std::string_view Name) const;
  void Delete(std::int32_t Index);
  void Clear() { FItems.clear(); }
  void Assign(const TIndexDefs& Source);

private:
  const TComponent* FOwner;
  std::vector<std::unique_ptr<TIndexDef>> FItems;
};

}  // namespace qxl
