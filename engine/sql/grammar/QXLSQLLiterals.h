#pragma once
// Reading the literals of SQL text into engine values: numbers with "." as
// the decimal separator whatever the locale, quoted text, and the date, time
// and timestamp texts of the DATE, TIME and TIMESTAMP literals; and the SQL
// type names of CAST and column definitions.
//
// Threads: no state; any thread.
#include <string>
#include <string_view>

#include "engine/core/values/QXLTypes.h"
#include "engine/core/values/QXLVariant.h"

namespace qxl {

// A number of the SQL text ("1.5", ".5", "1e5", "1E-3"); false when the whole
// text is no number.
bool ReadSQLFloat(std::string_view Text, double& Value);
// Quoted text: wide, reduced to 8-bit text when that loses nothing; the empty
// text is a NULL text value.
void SetSQLStringConstant(TQXLVariant& Value, std::string_view Utf8Text);
// "YYYY-MM-DD", "HH:MM:SS" and "YYYY-MM-DD HH:MM:SS": groups of exactly that
// many digits, each but the last followed by one separator character, and
// nothing after the last group. False for a text that does not read or a
// day or time that does not exist.
bool ReadSQLDate(std::string_view Text, TQXLVariant& Value);
bool ReadSQLTime(std::string_view Text, TQXLVariant& Value);
bool ReadSQLTimestamp(std::string_view Text, TQXLVariant& Value);

// The column type of the first catalogue row whose SQL name is Name
// (upper-cased); aftUnknown when none is.
TQXLAdvancedFieldType FieldTypeBySqlName(std::string_view Name);

}  // namespace qxl
