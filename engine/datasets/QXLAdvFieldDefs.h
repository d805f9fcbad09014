#pragma once
// The dataset layer's column definitions: what an SQL column definition
// states (SQL type, size, NOT NULL, default, range check, auto-increment
// settings, BLOB compression), in the form the SQL layer fills and table
// creation reads. Thread rule: one thread.
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/coding/QXLCompression.h"
#include "engine/core/values/QXLTypes.h"
#include "engine/core/values/QXLVariant.h"

namespace qxl {

class TQXLAdvFieldDef {
public:
  TQXLAdvFieldDef() = default;
  TQXLAdvFieldDef(const TQXLAdvFieldDef&) = delete;
  TQXLAdvFieldDef& operator=(const TQXLAdvFieldDef&) = delete;

  // Every field; the three values are copied, not shared.
  void Assign(const TQXLAdvFieldDef& Source);

  std::string Name;
  std::int32_t ObjectID = -1;
  TQXLAdvancedFieldType DataType = aftUnknown;
  bool Required = false;
  std::int32_t Size = 0;
  TQXLVariant DefaultValue{bftUnknown};
  TQXLVariant MinValue{bftUnknown};
  TQXLVariant MaxValue{bftUnknown};
  std::int64_t AutoincIncrement = 1;
  std::int64_t AutoincInitialValue = 0;
  std::int64_t AutoincMinValue = 0;
  std::int64_t AutoincMaxValue = std::numeric_limits<std::int64_t>::max();
  bool AutoincCycled = false;
  TQXLCompressionAlgorithm BLOBCompressionAlgorithm = acaNone;
  std::uint8_t BLOBCompressionMode = 0;
  std::int32_t BLOBBlockSize = 102400;
};

class TQXLAdvFieldDefs {
public:
  TQXLAdvFieldDefs() = default;
  TQXLAdvFieldDefs(const TQXLAdvFieldDefs&) = delete;
  TQXLAdvFieldDefs& operator=(const TQXLAdvFieldDefs&) = delete;

  std::int32_t Count() const { return static_cast<std::int32_t>(FItems.size()); }
  TQXLAdvFieldDef& Defs(std::int32_t Index) const { return *FItems.at(static_cast<std::size_t>(Index)); }
  // Frees the definition it replaces.
  void SetDef(std::int32_t Index, std::unique_ptr<TQXLAdvFieldDef> Def);

  TQXLAdvFieldDef& AddFieldDef();
  TQXLAdvFieldDef& Add(const std::string& Name, TQXLAdvancedFieldType DataType, std::int32_t Size, bool Required,
                       TQXLCompressionAlgorithm BLOBCompressionAlgorithm = acaNone,
                       std::uint8_t BLOBCompressionMode = 0);
  // Removes the first definition of that name in any letter case; none raises 30349.
  void DeleteFieldDef(std::string_view FieldName);
  // The first definition of that name in any letter case, or nullptr.
  TQXLAdvFieldDef* Find(std::string_view Name) const;
  void Clear() { FItems.clear(); }
  void Assign(const TQXLAdvFieldDefs& Source);

private:
  std::vector<std::unique_ptr<TQXLAdvFieldDef>> FItems;
};

}  // namespace qxl
