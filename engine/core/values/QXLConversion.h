#pragma once
// Promotion, conversion and comparison of raw typed value buffers: the bytes
// of one value of a base field type (text with its terminating zero, other
// types in their fixed size). Engine values, record comparison and index keys
// all go through these routines.
#include <cstdint>

#include "engine/core/values/QXLTypes.h"

namespace qxl {

// One byte; "left" is the first operand.
enum TQXLCompareResult : std::uint8_t {
  cmprEqual,
  cmprLower,
  cmprGreater,
  cmprLeftNull,
  cmprRightNull,
  cmprBothNull,
};

// The engine date that stands for a missing date in conversions.
inline constexpr std::int32_t QXLNoDate = INT32_MIN;
// The locale identifiers callers pass; the process collator serves them all.
inline constexpr std::uint32_t LOCALE_USER_DEFAULT = 0x400;
inline constexpr std::uint32_t LOCALE_SYSTEM_DEFAULT = 0x800;

// The type two operands are brought to, bftUnknown when there is none. Not
// symmetric: the left operand's row decides. PreferDateTime (comparison) makes
// text paired with a date or time type give the date or time type.
TQXLBaseFieldType GetCommonDataType(TQXLBaseFieldType Left, TQXLBaseFieldType Right, bool PreferDateTime);
// A when its base type is the common one, else B when its base type is, else
// the first column type of the common base type in the catalogue.
TQXLAdvancedFieldType GetCommonAdvancedFieldType(TQXLAdvancedFieldType A, TQXLAdvancedFieldType B,
                                                 bool PreferDateTime);

// Converts the value at Source (SourceSize bytes; -1 or 0 when unknown) into
// a new block of the engine memory manager holding a value of DestType, whose
// size goes to DestSize; the caller frees the block. Raises 30052 for a pair
// without conversion, 30051 when converting fails.
void* ConvertData(const void* Source, std::int32_t SourceSize, TQXLBaseFieldType SourceType,
                  TQXLBaseFieldType DestType, std::int32_t& DestSize);

// Copies one value into a new block: text up to and with its terminator,
// other types in their fixed size. Text too long for a block gives a null
// Buffer and Size 0; a block the memory manager cannot give raises its error.
void CopyDataToNewMemory(TQXLBaseFieldType DataType, const void* Source, void*& Buffer, std::int32_t& Size);

// Orders two value buffers. NULL sides are reported as such without looking
// at the buffers. Prefix limits text to that many characters of each side (-1:
// whole values). Types that differ are brought to their common type first.
// LeftSize and RightSize, when known (above 0), bound every read of a buffer
// whose text may lack its terminator (large text objects, byte strings).
TQXLCompareResult CompareData(const void* Left, const void* Right, TQXLBaseFieldType LeftType,
                              TQXLBaseFieldType RightType, bool LeftNull, bool RightNull, std::int32_t Prefix,
                              bool CaseInsensitive, std::uint32_t Locale, std::int32_t LeftSize = -1,
                              std::int32_t RightSize = -1);

// CompareData as key order: -1, 0 or 1, with NULL below every value and two
// NULLs equal.
int CompareDataOrder(const void* Left, const void* Right, TQXLBaseFieldType LeftType, TQXLBaseFieldType RightType,
                     bool LeftNull, bool RightNull, std::int32_t Prefix, bool CaseInsensitive, std::uint32_t Locale,
                     std::int32_t LeftSize = -1, std::int32_t RightSize = -1);

}  // namespace qxl
