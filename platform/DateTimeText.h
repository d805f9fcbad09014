#pragma once
// Date-times as text by the format settings: formatting by a format string of
// the usual tokens, and reading dates and times back in the short date order.
#include <string>
#include <string_view>

#include "platform/DateTime.h"
#include "platform/FormatSettings.h"

namespace platform {

// Tokens (case-insensitive): y yy yyyy; m mm (month, or minute right after an
// hour token), mmm mmmm (month names); d dd, ddd dddd (day names), ddddd (the
// short date); h hh (12-hour when an am/pm token follows), n nn, s ss, z zzz;
// t tt (short and long time); c (short date, then long time unless midnight);
// am/pm and a/p (written in the case of the token), ampm (TimeAMString or
// TimePMString); "/" and ":" give the separators; text in single or double
// quotes, and every other character, stands as it is.
// Throws EConvertError for a value outside MinDateTime..MaxDateTime.
std::string FormatDateTime(std::string_view format, TDateTime value,
                           const TFormatSettings& settings = FormatSettings());

std::string DateToStr(TDateTime value, const TFormatSettings& settings = FormatSettings());
std::string TimeToStr(TDateTime value, const TFormatSettings& settings = FormatSettings());
// The short date, and when the time is not midnight a blank and the long time.
std::string DateTimeToStr(TDateTime value, const TFormatSettings& settings = FormatSettings());

// A date as day, month and year separated by DateSeparator, in the order of
// ShortDateFormat; without the year, the current year. Years of one or two
// digits fall in the century window.
bool TryStrToDate(std::string_view text, TDateTime& value, const TFormatSettings& settings = FormatSettings());
// A time as hours[:minutes[:seconds[<decimal separator>fraction]]], with an
// optional AM or PM (or the settings' words) before or after.
bool TryStrToTime(std::string_view text, TDateTime& value, const TFormatSettings& settings = FormatSettings());
// A date, optionally followed by a time; or a time alone.
bool TryStrToDateTime(std::string_view text, TDateTime& value,
                      const TFormatSettings& settings = FormatSettings());

// The Try forms leave value as it was when the text does not parse. These
// throw EConvertError instead.
TDateTime StrToDate(std::string_view text, const TFormatSettings& settings = FormatSettings());
TDateTime StrToTime(std::string_view text, const TFormatSettings& settings = FormatSettings());
TDateTime StrToDateTime(std::string_view text, const TFormatSettings& settings = FormatSettings());

}  // namespace platform
