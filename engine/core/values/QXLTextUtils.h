#pragma once
// Small text routines shared by the value conversions and the SQL layer: case
// of UTF-16 text, the LIKE matchers, and the ISO date and time text parsers.
#include <string>
#include <string_view>

#include "engine/core/values/QXLTypes.h"

namespace qxl {

// A copy of Text with every UTF-16 unit upper- or lower-cased; the length stays.
std::u16string UpperCaseWide(std::u16string_view Text);
std::u16string LowerCaseWide(std::u16string_view Text);

// True when Data matches the LIKE Pattern: '%' stands for any run of
// characters, '_' for one; with HasEscape, EscapeChar makes the character after
// it literal (an EscapeChar that is itself '%' or '_' stays a wildcard).
// Characters compare by the locale's collation, ignoring case when asked. As
// in the stored form, either text ends at its first zero character. A
// trailing '%' matches only when at least one character is left for it unless
// it is the pattern's last character: 'ab' does not match 'ab%%'.
bool MatchLikeAnsi(std::string_view Data, std::string_view Pattern, bool HasEscape, char EscapeChar,
                   bool CaseInsensitive);
bool MatchLikeWide(std::u16string_view Data, std::u16string_view Pattern, bool HasEscape,
                   char16_t EscapeChar, bool CaseInsensitive);

// ISO date and time text: digit groups of fixed width (year 4, the others 2),
// each followed by any one character. False when a group has another number of
// digits or more than one character follows the last group; numbers that form
// no valid date or time raise platform::EConvertError.
bool TryParseDate(std::string_view Text, TDateTime& Value);
bool TryParseTime(std::string_view Text, TDateTime& Value);
bool TryParseDateTime(std::string_view Text, TDateTime& Value);
// The same time and date-time forms whose seconds end in "." and 1 to 3
// digits of a fraction, with nothing after them ("13:05:09.5" is 500 ms):
// the form that keeps milliseconds in SQL text.
bool TryParseTimeWithFraction(std::string_view Text, TDateTime& Value);
bool TryParseDateTimeWithFraction(std::string_view Text, TDateTime& Value);

}  // namespace qxl
