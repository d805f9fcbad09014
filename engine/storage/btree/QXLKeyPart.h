#pragma once
// The layout of one index column in the two key forms, and the plain
// description of a column from which a key reference lays out its parts.
// Thread rule: plain data.
#include <cstdint>
#include <string>

#include "engine/core/values/QXLTypes.h"

namespace qxl {

struct TQXLKeyPart {
  std::int32_t OffsetInShortKeyBuffer = 0;
  std::int32_t OffsetInFullKeyBuffer = 0;
  std::int32_t OffsetInRecordBuffer = 0;
  std::int32_t FieldNo = 0;
  // Bytes of the part with its flag byte.
  std::int32_t ShortSize = 0;
  std::int32_t FullSize = 0;
  // 2 when the short part is a cut prefix, else 0.
  std::int32_t AddedSize = 0;
  TQXLBaseFieldType DataType = bftUnknown;
  bool Descending = false;
  bool CaseInsensitive = false;
};

// One index column as the field layout and the index definition give it.
struct TQXLKeyPartDef {
  std::string FieldName;
  std::int32_t FieldNo = 0;
  TQXLBaseFieldType DataType = bftUnknown;
  std::int32_t OffsetInRecordBuffer = 0;
  // The field's bytes in a memory record buffer.
  std::int32_t DataSize = 0;
  // The most value bytes a short key keeps of a text or byte-string column.
  std::int32_t MaxIndexedSize = 0;
  bool Descending = false;
  bool CaseInsensitive = false;
};

// Flag byte of a key part.
inline constexpr std::uint8_t QXLKeyValueFlag = 0;
inline constexpr std::uint8_t QXLKeyNullFlag = 1;

}  // namespace qxl
