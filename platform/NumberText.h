#pragma once
// Numbers as text by the format settings' decimal separator: the general float
// text, money amounts with up to four decimals, and the integer parser.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ConvertError.h"
#include "platform/FormatSettings.h"

namespace platform {

// The shortest text of value rounded to 15 significant digits: fixed notation
// for 1E-4 <= |value| < 1E15, else an exponent ("1E20", "1.5E-7"); "NAN",
// "INF", "-INF".
std::string FloatToStr(long double value, const TFormatSettings& settings = FormatSettings());

// [blanks][sign]digits[<decimal separator>digits][E[sign]digits][blanks], at
// least one digit before the exponent; no thousands separators. False for any
// other text and for a value beyond the type's range (a value too small to
// represent reads as 0).
bool TryStrToFloat(std::string_view text, double& value, const TFormatSettings& settings = FormatSettings());
bool TryStrToFloat(std::string_view text, long double& value,
                   const TFormatSettings& settings = FormatSettings());
// As TryStrToFloat, throwing EConvertError.
double StrToFloat(std::string_view text, const TFormatSettings& settings = FormatSettings());

// A money amount in the float syntax, rounded to four decimals (a tie to the
// even neighbour); false beyond +-922337203685477.5807.
bool TryStrToCurr(std::string_view text, double& value, const TFormatSettings& settings = FormatSettings());
double StrToCurr(std::string_view text, const TFormatSettings& settings = FormatSettings());
// The amount rounded to four decimals (a tie to the even neighbour), in its
// shortest form without thousands separators: "1.5", "-0.0001", "12". Throws
// EConvertError for an amount beyond the range above, NaN or infinity.
std::string CurrToStr(double value, const TFormatSettings& settings = FormatSettings());

// [blanks][sign]digits, or [blanks][sign]$hex (also 0x or x): hexadecimal may
// use all bits of the type, so "$FFFFFFFF" is -1. No trailing characters.
bool TryStrToInt(std::string_view text, std::int32_t& value);
bool TryStrToInt64(std::string_view text, std::int64_t& value);
std::int32_t StrToInt(std::string_view text);
std::int64_t StrToInt64(std::string_view text);

}  // namespace platform
