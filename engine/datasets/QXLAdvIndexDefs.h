#pragma once
// The dataset layer's index definitions: an index's columns with their
// direction, case handling and indexed length, in the text form that SQL
// index definitions fill. Column lists are separated by ";" (a "," is read
// as one). Thread rule: one thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/datasets/base/IndexDefs.h"

namespace qxl {

class TQXLAdvIndexDef {
public:
  void Assign(const TQXLAdvIndexDef& Source) { *this = Source; }

  std::string Name;
  std::string Fields;
  std::string DescFields;
  std::string CaseInsFields;
  TIndexOptions Options;
  // One number per column: the characters of a string column that the index keeps.
  std::string MaxIndexedSizes;
  bool Temporary = false;
};

class TQXLAdvIndexDefs {
public:
  // Update asks the owning dataset, through OnUpdate, to refresh its index definitions.
  explicit TQXLAdvIndexDefs(std::function<void()> OnUpdate = nullptr) : FOnUpdate(std::move(OnUpdate)) {}
  TQXLAdvIndexDefs(const TQXLAdvIndexDefs&) = delete;
  TQXLAdvIndexDefs& operator=(const TQXLAdvIndexDefs&) = delete;

  std::int32_t Count() const { return static_cast<std::int32_t>(FItems.size()); }
  TQXLAdvIndexDef& Defs(std::int32_t Index) const { return *FItems.at(static_cast<std::size_t>(Index)); }

  TQXLAdvIndexDef& AddIndexDef();
  TQXLAdvIndexDef& Add(const std::string& Name, const std::string& Fields, TIndexOptions Options,
                       bool Temporary = false, const std::string& DescFields = "",
                       const std::string& CaseInsFields = "", const std::string& MaxIndexedSizes = "");
  // In any letter case; none raises 20190.
  void DeleteIndexDef(std::string_view IndexName);
  TQXLAdvIndexDef* Find(std::string_view Name) const;
  void Clear() { FItems.clear(); }
  // SkipTemporaryIndexes leaves out the temporary indexes and every index
  // whose name holds "TEMPORARY" in any letter case.
  void Assign(const TQXLAdvIndexDefs& Source, bool SkipTemporaryIndexes);
  void Update();

private:
  std::function<void()> FOnUpdate;
  std::vector<std::unique_ptr<TQXLAdvIndexDef>> FItems;
};

}  // namespace qxl
