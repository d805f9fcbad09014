#pragma once
// Date format templates such as YYYY-MM-DD HH24:NN:SS: the template is split
// into tokens once, then date-times are written as text by it and text is read
// back into date-times. Keywords are matched without regard to case; quoted
// text is literal.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/values/QXLTypes.h"

namespace qxl {

enum TDateFormatType : std::uint8_t {
  dfYYYY, dfYY, dfYEAR, dfQ, dfMONTH, dfMON, dfMM, dfM, dfRM, dfDDD, dfDD, dfDAY, dfDY, dfDW, dfD,
  dfHH12, dfHH24, dfHH, dfH12, dfH24, dfH, dfNN, dfN, dfSS, dfS, dfAMPM, dfText,
};

struct TDateFormatToken {
  TDateFormatType TokenType;
  // The keyword as written in the template, or the literal text (UTF-8).
  std::string Text;

  bool operator==(const TDateFormatToken&) const = default;
};

class TDateFormater {
public:
  explicit TDateFormater(std::string_view DateFormat);

  // The text of DateTime by the template. Month and day names come from the
  // process-wide format settings. The 12-hour clock runs from 0 to 11.
  std::string ToString(TDateTime DateTime) const;
  // The date-time read from Text by the template. Names, Roman months and the
  // other tokens of varying width are read by the width of the text that
  // matches them; they give no value, except the hour of H and H12. Raises
  // 30129 for a wrong AM/PM word and platform::EConvertError for text that is
  // not a number or a name where one is expected, and for numbers that form no
  // valid date or time. Literal text is skipped by its length unchecked.
  TDateTime ToDate(std::string_view Text) const;
  // The longest text ToString can give, in characters.
  std::int32_t GetStringMaxSize() const;
  // aftTime with only time tokens, aftDate with only date tokens, else aftDateTime.
  TQXLAdvancedFieldType GetDataType() const;

  const std::vector<TDateFormatToken>& Tokens() const { return FDateFormat; }

private:
  std::vector<TDateFormatToken> FDateFormat;
};

// The keywords of the first 26 token types, in type order, and the longest one.
extern const char* const DateFormatKeywords[26];
extern const std::size_t DateFormatMaxKeywordLength;

}  // namespace qxl
