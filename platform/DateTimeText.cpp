#include "platform/DateTimeText.h"

#include <algorithm>
#include <cctype>

namespace platform {
namespace {

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

bool StartsWithNoCase(std::string_view text, std::size_t pos, std::string_view prefix) {
  if (prefix.empty() || pos > text.size() || text.size() - pos < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (Upper(text[pos + i]) != Upper(prefix[i])) return false;
  return true;
}

void AppendNumber(std::string& out, int value, int digits) {
  std::string s = std::to_string(value);
  if (static_cast<int>(s.size()) < digits) out.append(digits - s.size(), '0');
  out += s;
}

class DateTimeFormatter {
public:
  DateTimeFormatter(TDateTime value, const TFormatSettings& settings) : FValue(value), FSettings(settings) {
    DecodeDateTime(value, FYear, FMonth, FDay, FHour, FMin, FSec, FMSec);
  }

  void Append(std::string_view format, int level = 0) {
    char lastToken = ' ';
    std::size_t i = 0;
    while (i < format.size()) {
      const char c = format[i];
      const char token = Upper(c);
      if (token == 'A') {
        i = AmPm(format, i);
        lastToken = token;
        continue;
      }
      if (token >= 'B' && token <= 'Z') {
        std::size_t count = 1;
        while (i + count < format.size() && Upper(format[i + count]) == token) ++count;
        Letters(format.substr(i, count), format.substr(i + count), lastToken, level);
        i += count;
        lastToken = token;
        continue;
      }
      ++i;
      if (c == '/') {
        FOut += FSettings.DateSeparator;
      } else if (c == ':') {
        FOut += FSettings.TimeSeparator;
      } else if (c == '\'' || c == '"') {
        std::size_t end = format.find(c, i);
        if (end == std::string_view::npos) end = format.size();
        FOut.append(format.substr(i, end - i));
        i = end < format.size() ? end + 1 : end;
      } else {
        FOut += c;
      }
    }
  }

  std::string Result() { return std::move(FOut); }

private:
  // Writes a run of one letter (other than 'A'); rest is the format after it.
  void Letters(std::string_view run, std::string_view rest, char lastToken, int level) {
    const std::size_t count = run.size();
    const int n = static_cast<int>(count);
    switch (Upper(run[0])) {
      case 'Y':
        if (count <= 2) AppendNumber(FOut, FYear % 100, 2);
        else AppendNumber(FOut, FYear, 4);
        break;
      case 'M':
        if (lastToken == 'H' && count <= 2) AppendNumber(FOut, FMin, n);
        else if (count <= 2) AppendNumber(FOut, FMonth, n);
        else if (count == 3) FOut += FSettings.ShortMonthNames[FMonth - 1];
        else FOut += FSettings.LongMonthNames[FMonth - 1];
        break;
      case 'D':
        if (count <= 2) AppendNumber(FOut, FDay, n);
        else if (count == 3) FOut += FSettings.ShortDayNames[DayOfWeek(FValue) - 1];
        else if (count == 4) FOut += FSettings.LongDayNames[DayOfWeek(FValue) - 1];
        else if (level < 2) Append(FSettings.ShortDateFormat, level + 1);
        break;
      case 'H':
        AppendNumber(FOut, TwelveHourClock(rest) ? (FHour + 11) % 12 + 1 : FHour, std::min(n, 2));
        break;
      case 'N': AppendNumber(FOut, FMin, std::min(n, 2)); break;
      case 'S': AppendNumber(FOut, FSec, std::min(n, 2)); break;
      case 'Z': AppendNumber(FOut, FMSec, std::min(n, 3)); break;
      case 'T':
        if (level < 2) Append(count == 1 ? FSettings.ShortTimeFormat : FSettings.LongTimeFormat, level + 1);
        break;
      case 'C':
        if (level < 2) {
          Append(FSettings.ShortDateFormat, level + 1);
          if (FHour || FMin || FSec || FMSec) {
            FOut += ' ';
            Append(FSettings.LongTimeFormat, level + 1);
          }
        }
        break;
      default:
        FOut.append(run);
    }
  }

  // Writes the am/pm token at i, or the letter itself; returns where scanning goes on.
  std::size_t AmPm(std::string_view format, std::size_t i) {
    if (StartsWithNoCase(format, i, "am/pm")) {
      FOut.append(format.substr(FHour >= 12 ? i + 3 : i, 2));
      return i + 5;
    }
    if (StartsWithNoCase(format, i, "a/p")) {
      FOut += format[FHour >= 12 ? i + 2 : i];
      return i + 3;
    }
    if (StartsWithNoCase(format, i, "ampm")) {
      FOut += FHour >= 12 ? FSettings.TimePMString : FSettings.TimeAMString;
      return i + 4;
    }
    FOut += format[i];
    return i + 1;
  }

  // True when an am/pm token follows before the next hour token.
  static bool TwelveHourClock(std::string_view format) {
    char quote = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
      char c = format[i];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '\'' || c == '"') {
        quote = c;
      } else if (Upper(c) == 'H') {
        return false;
      } else if (Upper(c) == 'A' && (StartsWithNoCase(format, i, "am/pm") || StartsWithNoCase(format, i, "a/p") ||
                                     StartsWithNoCase(format, i, "ampm"))) {
        return true;
      }
    }
    return false;
  }

  TDateTime FValue;
  const TFormatSettings& FSettings;
  int FYear, FMonth, FDay, FHour, FMin, FSec, FMSec;
  std::string FOut;
};

// Reading text, position by position.
class Scanner {
public:
  Scanner(std::string_view text, const TFormatSettings& settings) : FText(text), FSettings(settings) {}

  std::size_t Pos = 0;

  void Blanks() {
    while (Pos < FText.size() && FText[Pos] == ' ') ++Pos;
  }
  bool AtEnd() {
    Blanks();
    return Pos >= FText.size();
  }
  // Up to four digits; digitCount says how many were read.
  bool Number(int& value, int& digitCount) {
    Blanks();
    std::size_t start = Pos;
    value = 0;
    while (Pos < FText.size() && Pos - start < 4 && FText[Pos] >= '0' && FText[Pos] <= '9')
      value = value * 10 + (FText[Pos++] - '0');
    digitCount = static_cast<int>(Pos - start);
    return digitCount > 0;
  }
  bool Char(char c) {
    Blanks();
    if (Pos < FText.size() && FText[Pos] == c) {
      ++Pos;
      return true;
    }
    return false;
  }
  bool Word(std::string_view word) {
    Blanks();
    if (!StartsWithNoCase(FText, Pos, word)) return false;
    Pos += word.size();
    return true;
  }

  // 0 for AM, 12 for PM, -1 when neither stands here.
  int AmPm() {
    if (Word(FSettings.TimeAMString) || Word("AM")) return 0;
    if (Word(FSettings.TimePMString) || Word("PM")) return 12;
    if (Word("A")) return 0;
    if (Word("P")) return 12;
    return -1;
  }

  bool Date(TDateTime& value) {
    int n1, n2, n3 = 0, l1, l2, l3 = 0;
    if (!Number(n1, l1) || !Char(FSettings.DateSeparator) || !Number(n2, l2)) return false;
    bool full = false;
    std::size_t save = Pos;
    if (Char(FSettings.DateSeparator)) {
      if (Number(n3, l3)) full = true;
      else Pos = save;
    }
    int year, month, day, yearDigits = 4;
    const char order = DateOrder();
    if (full) {
      switch (order) {
        case 'Y': year = n1, yearDigits = l1, month = n2, day = n3; break;
        case 'D': day = n1, month = n2, year = n3, yearDigits = l3; break;
        default: month = n1, day = n2, year = n3, yearDigits = l3; break;
      }
    } else {
      int y, m, d;
      DecodeDate(platform::Date(), y, m, d);
      year = y;
      if (order == 'D') day = n1, month = n2;
      else month = n1, day = n2;
    }
    if (yearDigits <= 2) year = WindowYear(year);
    return TryEncodeDate(year, month, day, value);
  }

  bool Time(TDateTime& value) {
    int base = AmPm();
    int hour, min = 0, sec = 0, msec = 0, digits;
    if (!Number(hour, digits)) return false;
    if (Char(FSettings.TimeSeparator)) {
      if (!Number(min, digits)) return false;
      if (Char(FSettings.TimeSeparator)) {
        if (!Number(sec, digits)) return false;
        if (Char(FSettings.DecimalSeparator)) {
          if (!Fraction(msec)) return false;
        }
      }
    }
    if (base < 0) base = AmPm();
    if (base >= 0) {
      if (hour > 12) return false;
      if (hour == 12) hour = 0;
      hour += base;
    }
    return TryEncodeTime(hour, min, sec, msec, value);
  }

  // A date, optionally followed by a time.
  bool DateTime(TDateTime& value) {
    TDateTime date, time = 0;
    if (!Date(date) || (!AtEnd() && !Time(time))) return false;
    value = ComposeDateTime(date, time);
    return true;
  }

private:
  // Fractional seconds as milliseconds: ".5" is 500 ms; digits past the third are dropped.
  bool Fraction(int& msec) {
    std::size_t start = Pos;
    msec = 0;
    int scale = 100;
    while (Pos < FText.size() && FText[Pos] >= '0' && FText[Pos] <= '9') {
      msec += (FText[Pos++] - '0') * scale;
      scale /= 10;
    }
    return Pos > start;
  }

  // 'D' (day first), 'M' (month first) or 'Y' (year first), from the first of
  // these letters in the short date format.
  char DateOrder() const {
    for (char c : FSettings.ShortDateFormat) {
      char u = Upper(c);
      if (u == 'D' || u == 'M' || u == 'Y') return u;
    }
    return 'M';
  }

  int WindowYear(int year) const {
    int y, m, d;
    DecodeDate(platform::Date(), y, m, d);
    int start = y - FSettings.TwoDigitYearCenturyWindow;
    year += start / 100 * 100;
    if (FSettings.TwoDigitYearCenturyWindow > 0 && year < start) year += 100;
    return year;
  }

  std::string_view FText;
  const TFormatSettings& FSettings;
};

// The whole text read by one of the scanner's readers; value changes only when
// the text fits.
bool ReadWhole(std::string_view text, TDateTime& value, const TFormatSettings& settings,
               bool (Scanner::*read)(TDateTime&)) {
  Scanner s(text, settings);
  TDateTime v;
  if (!(s.*read)(v) || !s.AtEnd()) return false;
  value = v;
  return true;
}

using TryRead = bool (*)(std::string_view, TDateTime&, const TFormatSettings&);

TDateTime ReadOrFail(std::string_view text, const TFormatSettings& settings, TryRead read, const char* what) {
  TDateTime v;
  if (!read(text, v, settings)) throw EConvertError("'" + std::string(text) + "' is not a valid " + what);
  return v;
}

}  // namespace

std::string FormatDateTime(std::string_view format, TDateTime value, const TFormatSettings& settings) {
  DateTimeFormatter formatter(value, settings);
  formatter.Append(format);
  return formatter.Result();
}

std::string DateToStr(TDateTime value, const TFormatSettings& settings) {
  return FormatDateTime("ddddd", value, settings);
}

std::string TimeToStr(TDateTime value, const TFormatSettings& settings) {
  return FormatDateTime("tt", value, settings);
}

std::string DateTimeToStr(TDateTime value, const TFormatSettings& settings) {
  return FormatDateTime("c", value, settings);
}

bool TryStrToDate(std::string_view text, TDateTime& value, const TFormatSettings& settings) {
  return ReadWhole(text, value, settings, &Scanner::Date);
}

bool TryStrToTime(std::string_view text, TDateTime& value, const TFormatSettings& settings) {
  return ReadWhole(text, value, settings, &Scanner::Time);
}

bool TryStrToDateTime(std::string_view text, TDateTime& value, const TFormatSettings& settings) {
  return ReadWhole(text, value, settings, &Scanner::DateTime) || ReadWhole(text, value, settings, &Scanner::Time);
}

TDateTime StrToDate(std::string_view text, const TFormatSettings& settings) {
  return ReadOrFail(text, settings, TryStrToDate, "date");
}

TDateTime StrToTime(std::string_view text, const TFormatSettings& settings) {
  return ReadOrFail(text, settings, TryStrToTime, "time");
}

TDateTime StrToDateTime(std::string_view text, const TFormatSettings& settings) {
  return ReadOrFail(text, settings, TryStrToDateTime, "date and time");
}

}  // namespace platform
