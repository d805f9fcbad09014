#include "engine/core/values/QXLDateFormat.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/core/QXLException.h"
#include "platform/CaseMap.h"
#include "platform/CodePage.h"
#include "platform/DateTime.h"
#include "platform/FormatSettings.h"
#include "platform/NumberText.h"

namespace qxl {

const char* const DateFormatKeywords[26] = {
    "YYYY", "YY", "YEAR", "Q", "MONTH", "MON", "MM", "M", "RM", "DDD", "DD", "DAY", "DY",
    "DW", "D", "HH12", "HH24", "HH", "H12", "H24", "H", "NN", "N", "SS", "S", "AMPM"};

const std::size_t DateFormatMaxKeywordLength = [] {
  std::size_t n = 0;
  for (const char* k : DateFormatKeywords) n = std::max(n, std::strlen(k));
  return n;
}();

namespace {

constexpr std::array<const char*, 12> kRomanMonths = {"I",  "II",  "III", "IV", "V",  "VI",
                                                      "VII", "VIII", "IX", "X", "XI", "XII"};

bool IsDateToken(TDateFormatType t) { return t <= dfD; }
bool IsTimeToken(TDateFormatType t) { return t >= dfHH12 && t <= dfAMPM; }

// The keyword type of Text (any case), or dfText when it is none.
TDateFormatType FindKeyword(std::string_view Text) {
  const std::string upper = platform::UpperCaseAscii(Text);
  for (int i = 0; i < 26; ++i)
    if (upper == DateFormatKeywords[i]) return static_cast<TDateFormatType>(i);
  return dfText;
}

std::string Digits(int value, int width) {
  std::string s = std::to_string(value);
  if (static_cast<int>(s.size()) < width) s.insert(0, width - s.size(), '0');
  return s;
}

int DayOfYear(int year, int month, int day) {
  for (int m = 1; m < month; ++m) day += platform::DaysInMonth(year, m);
  return day;
}

std::size_t TextLength(std::string_view Utf8) { return platform::Utf8ToWide(Utf8).size(); }

// Reads the template's fields from one text, left to right.
class DateReader {
public:
  explicit DateReader(std::string_view Text) : FText(platform::Utf8ToWide(Text)) {}

  // Count characters (fewer at the end of the text) as an integer.
  int Fixed(std::size_t Count) { return ToInt(Take(Count)); }
  // One character, or two when the second is a digit too.
  int OneOrTwo() { return Fixed(IsDigitAt(FPos + 1) ? 2 : 1); }
  // One digit up to Max digits; at least one must be there.
  int UpTo(std::size_t Max) {
    std::size_t n = 0;
    while (n < Max && IsDigitAt(FPos + n)) ++n;
    return Fixed(n == 0 ? 1 : n);
  }
  void Skip(std::size_t Count) { FPos += Count; }
  std::u16string Take(std::size_t Count) {
    const std::u16string s = FPos < FText.size() ? FText.substr(FPos, Count) : std::u16string();
    FPos += Count;
    return s;
  }

  // Reads the longest of Names that the text holds here, ignoring case.
  template <typename Names>
  void Name(const Names& names, const char* What) {
    std::size_t best = 0;
    bool found = false;
    for (const auto& name : names) {
      const std::u16string n = platform::UpperCaseWide(platform::Utf8ToWide(name));
      if (FPos + n.size() > FText.size() || (found && n.size() <= best)) continue;
      if (platform::UpperCaseWide(std::u16string_view(FText).substr(FPos, n.size())) == n) {
        best = n.size();
        found = true;
      }
    }
    if (!found) {
      const std::string here = platform::WideToUtf8(FPos < FText.size() ? FText.substr(FPos, 12) : u"");
      throw platform::EConvertError("'" + here + "' is not a valid " + What);
    }
    FPos += best;
  }

private:
  bool IsDigitAt(std::size_t i) const { return i < FText.size() && FText[i] >= u'0' && FText[i] <= u'9'; }
  static int ToInt(const std::u16string& s) { return platform::StrToInt(platform::WideToUtf8(s)); }

  std::u16string FText;
  std::size_t FPos = 0;
};

}  // namespace

TDateFormater::TDateFormater(std::string_view DateFormat) {
  const std::string_view f = DateFormat;
  std::size_t start = 0;  // of the pending literal
  char quote = 0;
  auto literal = [&](std::size_t end, bool evenEmpty) {
    if (end > start || evenEmpty) FDateFormat.push_back({dfText, std::string(f.substr(start, end - start))});
  };
  for (std::size_t i = 0; i < f.size();) {
    const char c = f[i];
    if (quote == 0 && (c == '\'' || c == '"')) {
      literal(i, false);
      quote = c;
      start = ++i;
    } else if (quote != 0 && c == quote) {
      literal(i, true);
      quote = 0;
      start = ++i;
    } else if (quote != 0) {
      ++i;
    } else {
      std::size_t k = std::min(DateFormatMaxKeywordLength, f.size() - i);
      for (; k > 0; --k) {
        const TDateFormatType type = FindKeyword(f.substr(i, k));
        if (type == dfText) continue;
        literal(i, false);
        FDateFormat.push_back({type, std::string(f.substr(i, k))});
        break;
      }
      i += k > 0 ? k : 1;
      if (k > 0) start = i;
    }
  }
  literal(f.size(), false);
}

std::string TDateFormater::ToString(TDateTime DateTime) const {
  int y, m, d, h, n, s, ms;
  platform::DecodeDateTime(DateTime, y, m, d, h, n, s, ms);
  const platform::TFormatSettings& fs = platform::FormatSettings();
  const int dow = platform::DayOfWeek(DateTime);  // 1 for Sunday
  std::string out;
  for (const TDateFormatToken& t : FDateFormat) {
    switch (t.TokenType) {
      case dfYYYY: case dfYEAR: out += Digits(y, 4); break;
      case dfYY: out += Digits(y % 100, 2); break;
      case dfQ: out += Digits((m - 1) / 3 + 1, 1); break;
      case dfMONTH: out += fs.LongMonthNames[m - 1]; break;
      case dfMON: out += fs.ShortMonthNames[m - 1]; break;
      case dfMM: out += Digits(m, 2); break;
      case dfM: out += Digits(m, 1); break;
      case dfRM: out += kRomanMonths[m - 1]; break;
      case dfDDD: out += fs.ShortDayNames[dow - 1]; break;
      case dfDD: out += Digits(d, 2); break;
      case dfDAY: out += fs.LongDayNames[dow - 1]; break;
      case dfDY: out += Digits(DayOfYear(y, m, d), 1); break;
      case dfDW: out += Digits((dow + 5) % 7 + 1, 1); break;
      case dfD: out += Digits(d, 1); break;
      case dfHH12: case dfHH: out += Digits(h % 12, 2); break;
      case dfHH24: out += Digits(h, 2); break;
      case dfH12: case dfH: out += Digits(h % 12, 1); break;
      case dfH24: out += Digits(h, 1); break;
      case dfNN: out += Digits(n, 2); break;
      case dfN: out += Digits(n, 1); break;
      case dfSS: out += Digits(s, 2); break;
      case dfS: out += Digits(s, 1); break;
      case dfAMPM: out += h > 11 ? "PM" : "AM"; break;
      case dfText: out += t.Text; break;
    }
  }
  return out;
}

TDateTime TDateFormater::ToDate(std::string_view Text) const {
  const platform::TFormatSettings& fs = platform::FormatSettings();
  DateReader r(Text);
  int y = 0, m = 0, d = 0, h = 0, n = 0, s = 0;
  for (const TDateFormatToken& t : FDateFormat) {
    switch (t.TokenType) {
      case dfYYYY: case dfYEAR: y = r.Fixed(4); break;
      case dfYY: {
        const int v = r.Fixed(2);
        y = v < 30 ? 2000 + v : 1900 + v;
        break;
      }
      case dfQ: m = (r.Fixed(1) - 1) * 3 + 1; break;
      case dfMM: m = r.Fixed(2); break;
      case dfM: m = r.OneOrTwo(); break;
      case dfDD: d = r.Fixed(2); break;
      case dfD: d = r.OneOrTwo(); break;
      case dfHH12: case dfHH: case dfH24: case dfH12: case dfH: h = r.OneOrTwo(); break;
      case dfHH24: h = r.Fixed(2); break;
      case dfNN: n = r.Fixed(2); break;
      case dfN: n = r.OneOrTwo(); break;
      case dfSS: s = r.Fixed(2); break;
      case dfS: s = r.OneOrTwo(); break;
      case dfAMPM: {
        const std::u16string word = r.Take(2);
        const std::u16string upper = platform::UpperCaseWide(word);
        if (upper == u"PM")
          h += 12;
        else if (upper != u"AM")
          throw EQXLException(30129, "AM/PM word expected, but '%s' found", {platform::WideToUtf8(word)});
        break;
      }
      case dfText: r.Skip(TextLength(t.Text)); break;
      case dfMONTH: r.Name(fs.LongMonthNames, "month name"); break;
      case dfMON: r.Name(fs.ShortMonthNames, "month name"); break;
      case dfRM: r.Name(kRomanMonths, "Roman month"); break;
      case dfDDD: r.Name(fs.ShortDayNames, "day name"); break;
      case dfDAY: r.Name(fs.LongDayNames, "day name"); break;
      case dfDY: r.UpTo(3); break;
      case dfDW: r.UpTo(1); break;
    }
  }
  const TDateTime date = (y == 0 || m == 0 || d == 0) ? 0.0 : platform::EncodeDate(y, m, d);
  return platform::ComposeDateTime(date, platform::EncodeTime(h, n, s, 0));
}

std::int32_t TDateFormater::GetStringMaxSize() const {
  std::size_t size = 0;
  for (const TDateFormatToken& t : FDateFormat) {
    switch (t.TokenType) {
      case dfYYYY: case dfYEAR: case dfRM: size += 4; break;
      case dfQ: size += 1; break;
      case dfMONTH: size += 9; break;
      case dfMON: case dfDDD: case dfDY: size += 3; break;
      case dfDAY: size += 12; break;
      case dfText: size += TextLength(t.Text); break;
      default: size += 2; break;
    }
  }
  return static_cast<std::int32_t>(std::min<std::size_t>(size, INT32_MAX));
}

TQXLAdvancedFieldType TDateFormater::GetDataType() const {
  const bool hasDate = std::any_of(FDateFormat.begin(), FDateFormat.end(),
                                   [](const TDateFormatToken& t) { return IsDateToken(t.TokenType); });
  const bool hasTime = std::any_of(FDateFormat.begin(), FDateFormat.end(),
                                   [](const TDateFormatToken& t) { return IsTimeToken(t.TokenType); });
  if (hasTime && !hasDate) return aftTime;
  if (hasDate && !hasTime) return aftDate;
  return aftDateTime;
}

}  // namespace qxl
