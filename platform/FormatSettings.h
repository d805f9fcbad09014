#pragma once
// The one process-wide set of locale formats that text conversions of dates,
// times and numbers use. Its defaults are fixed, not taken from the machine,
// so that a date written into SQL text by one program reads back on any other.
#include <array>
#include <string>

namespace platform {

struct TFormatSettings {
  // In ShortDateFormat a "/" stands for DateSeparator; in the time formats a
  // ":" for TimeSeparator.
  char DateSeparator = '.';
  char TimeSeparator = ':';
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';
  // Day, month, four-digit year: 10.12.2026. Parsing takes the order of d, m
  // and y from this format.
  std::string ShortDateFormat = "dd/mm/yyyy";
  std::string LongTimeFormat = "hh:nn:ss";
  std::string ShortTimeFormat = "hh:nn";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
  std::array<std::string, 12> ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::array<std::string, 12> LongMonthNames = {"January", "February", "March",     "April",
                                                "May",     "June",     "July",      "August",
                                                "September", "October", "November", "December"};
  // Sunday first, as DayOfWeek counts.
  std::array<std::string, 7> ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  std::array<std::string, 7> LongDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                             "Thursday", "Friday", "Saturday"};
  // A year read with one or two digits falls within the 100 years that start
  // this many years before the current one.
  int TwoDigitYearCenturyWindow = 50;
};

// The process-wide settings. Not guarded: they are set up at start and only
// read afterwards; a conversion that needs other formats passes a changed copy.
TFormatSettings& FormatSettings();

}  // namespace platform
