#pragma once
// Text of engine values as the nodes work on it: 8-bit values as their stored
// Windows-1252 bytes (one byte a character), wide values as UTF-16, both
// ending at their first zero character or at the end of the data. Setting
// text without characters leaves the value NULL. Stateless.
#include <string>
#include <string_view>

#include "engine/core/values/QXLVariant.h"

namespace qxl {

// The characters of an 8-bit string value; "" for NULL.
std::string AnsiTextOf(const TQXLVariant& Value);
// The characters of a wide string value; "" for NULL.
std::u16string WideTextOf(const TQXLVariant& Value);
// Characters of a string value, 0 for NULL.
std::int32_t TextLengthOf(const TQXLVariant& Value);
void SetAnsiText(TQXLVariant& Value, std::string_view Text, TQXLBaseFieldType Type = bftVarchar);
void SetWideText(TQXLVariant& Value, std::u16string_view Text, TQXLBaseFieldType Type = bftWideVarchar);
// A value that is not a string becomes an 8-bit string of its text
// (bftVarchar); NULL stays NULL with that type.
void MakeString(TQXLVariant& Value);



// Value := a copy of Source, reusing Value's own block when the sizes agree,
// so that evaluating row after row allocates nothing for fixed-size types.
void CopyValue(TQXLVariant& Value, const TQXLVariant& Source);
// Boolean results reuse the value's storage from row to row.
void SetBooleanResult(TQXLVariant& Value, bool Result);
void SetNullBooleanResult(TQXLVariant& Value);

}  // namespace qxl
