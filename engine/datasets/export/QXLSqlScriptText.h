#pragma once
// The pieces of text an SQL script of a table is made of, in the engine's own
// dialect: names quoted where the lexer would not read them back as one name,
// string literals, date and time literals, numbers with "." as the decimal
// separator whatever the locale, and binary content as MimeToBin('...').
// Text is UTF-8. Thread rule: pure functions; any thread.
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/core/values/QXLTypes.h"

namespace qxl {

class TQXLVariant;

// Name unchanged when it reads back as one plain name; otherwise (a reserved
// word in any letter case, or any character other than an ASCII letter, a
// digit or "_", or a leading digit) as a quoted string.
std::string SqlScriptName(std::string_view Name);
// Text between single quotes, each single quote inside doubled.
std::string SqlQuotedString(std::string_view Text);
// 'YYYY-MM-DD' of an engine date (day 1 = 0001-01-01).
std::string SqlDateLiteral(std::int32_t Date);
// A time of day in milliseconds: ToDate('HH:NN:SS','HH24:NN:SS'); when it
// has milliseconds, which that template cannot carry, 'HH:NN:SS.ZZZ'.
std::string SqlTimeLiteral(std::int32_t Time);
// 'YYYY-MM-DD HH:NN:SS', with ".ZZZ" added when there are milliseconds.
std::string SqlDateTimeLiteral(const TQXLDateTime& Value);
// MimeToBin('...') with the bytes in Base64 without line breaks.
std::string SqlBinaryLiteral(std::string_view Bytes);
// The text of a number value (an integer, floating or currency type) with
// "." as the decimal separator.
std::string SqlNumberText(const TQXLVariant& Value);

}  // namespace qxl
