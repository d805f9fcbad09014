#pragma once
// The conversion matrix behind ConvertData: which pairs convert, and the bytes
// of the converted value, built in an ordinary string before they are copied
// into an engine block.
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/core/values/QXLTypes.h"

namespace qxl {

// Whether a value of Source converts to Dest at all.
bool HasConversion(TQXLBaseFieldType Source, TQXLBaseFieldType Dest);

// The bytes of the converted value (text with its terminator). Only called
// for pairs that HasConversion accepts; raises when the value does not convert.
std::string ConvertValue(const void* Source, std::int32_t SourceSize, TQXLBaseFieldType SourceType,
                         TQXLBaseFieldType DestType);
std::string ConvertTextValue(const void* Source, std::int32_t SourceSize, TQXLBaseFieldType SourceType,
                             TQXLBaseFieldType DestType);

// Encoders of destination values.
std::string AnsiTextBytes(std::string_view Ansi);
std::string WideTextBytes(std::u16string_view Wide);
// Text made by a conversion (UTF-8) in the form of text type Dest.
std::string GeneratedTextBytes(TQXLBaseFieldType Dest, std::string_view Utf8);
std::string IntegerBytes(TQXLBaseFieldType Dest, std::int64_t Value);
// Single, Double, Extended or Currency; raises when Value overflows the type.
std::string FloatBytes(TQXLBaseFieldType Dest, long double Value);
std::string Int32Bytes(std::int32_t Value);
std::string DateTimeBytes(std::int32_t Date, std::int32_t Time);
std::string LogicalBytes(bool Value);
// Truncates toward zero; raises for NaN, infinities and values beyond 64 bits.
std::int64_t TruncToInt64(long double Value);

}  // namespace qxl
