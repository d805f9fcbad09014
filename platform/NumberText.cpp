#include "platform/NumberText.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace platform {
namespace {

// A decimal number as read: Digits are the mantissa's digits without the
// separator, IntDigits of them before it.
struct Decimal {
  bool Negative = false;
  std::string Digits;
  long IntDigits = 0;
  long Exponent = 0;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool ParseDecimal(std::string_view t, char separator, Decimal& d) {
  std::size_t i = 0;
  while (i < t.size() && t[i] == ' ') ++i;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) d.Negative = t[i++] == '-';
  while (i < t.size() && IsDigit(t[i])) d.Digits += t[i++];
  d.IntDigits = static_cast<long>(d.Digits.size());
  if (i < t.size() && t[i] == separator) {
    ++i;
    while (i < t.size() && IsDigit(t[i])) d.Digits += t[i++];
  }
  if (d.Digits.empty()) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    if (i >= t.size() || !IsDigit(t[i])) return false;
    while (i < t.size() && IsDigit(t[i])) {
      if (d.Exponent < 1000000) d.Exponent = d.Exponent * 10 + (t[i] - '0');
      ++i;
    }
    if (negative) d.Exponent = -d.Exponent;
  }
  while (i < t.size() && t[i] == ' ') ++i;
  return i == t.size();
}

template <typename T>
bool DecimalToFloat(const Decimal& d, T& value) {
  std::string text;
  if (d.Negative) text += '-';
  text.append(d.Digits, 0, static_cast<std::size_t>(d.IntDigits));
  if (d.IntDigits == 0) text += '0';
  text += '.';
  text.append(d.Digits, static_cast<std::size_t>(d.IntDigits));
  text += 'e';
  text += std::to_string(d.Exponent);
  T result;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), result);
  if (ec == std::errc::result_out_of_range) {
    std::size_t first = d.Digits.find_first_not_of('0');
    long magnitude = d.IntDigits - 1 - static_cast<long>(first) + d.Exponent;
    if (magnitude >= 0) return false;  // overflow
    result = d.Negative ? -T(0) : T(0);
  } else if (ec != std::errc() || end != text.data() + text.size()) {
    return false;
  }
  value = result;
  return true;
}

template <typename T>
bool TryFloat(std::string_view text, T& value, const TFormatSettings& settings) {
  Decimal d;
  return ParseDecimal(text, settings.DecimalSeparator, d) && DecimalToFloat(d, value);
}

constexpr std::int64_t MaxCurrencyUnits = std::numeric_limits<std::int64_t>::max();

// The amount in units of 1/10000, exact, or false when out of range.
bool DecimalToCurrencyUnits(const Decimal& d, std::int64_t& units) {
  const long point = d.IntDigits + d.Exponent + 4;  // digits before the units' point
  std::size_t first = d.Digits.find_first_not_of('0');
  if (first == std::string::npos || point <= 0) {
    // Zero, or every digit lies below the fourth decimal: a tie can only be
    // 0.00005 exactly, which goes to the even neighbour 0.
    bool above = false;
    if (first != std::string::npos && point == 0)
      above = d.Digits[0] > '5' || (d.Digits[0] == '5' && d.Digits.find_first_not_of('0', 1) != std::string::npos);
    units = above ? (d.Negative ? -1 : 1) : 0;
    return true;
  }
  if (point - static_cast<long>(first) > 19) return false;
  std::uint64_t n = 0;
  for (long i = static_cast<long>(first); i < point; ++i) {
    int digit = i < static_cast<long>(d.Digits.size()) ? d.Digits[i] - '0' : 0;
    if (n > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return false;
    n = n * 10 + digit;
  }
  if (point < static_cast<long>(d.Digits.size())) {
    char next = d.Digits[point];
    bool restNonZero = d.Digits.find_first_not_of('0', point + 1) != std::string::npos;
    if (next > '5' || (next == '5' && (restNonZero || n % 2 == 1))) ++n;
  }
  if (n > static_cast<std::uint64_t>(MaxCurrencyUnits)) return false;
  units = d.Negative ? -static_cast<std::int64_t>(n) : static_cast<std::int64_t>(n);
  return true;
}

template <typename T>
bool TryInteger(std::string_view t, T& value) {
  using U = std::make_unsigned_t<T>;
  std::size_t i = 0;
  while (i < t.size() && t[i] == ' ') ++i;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  int base = 10;
  if (i < t.size() && (t[i] == '$' || t[i] == 'x' || t[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= t.size()) return false;
  U n = 0;
  auto [end, ec] = std::from_chars(t.data() + i, t.data() + t.size(), n, base);
  if (ec != std::errc() || end != t.data() + t.size()) return false;
  if (base == 10) {
    const U limit = static_cast<U>(std::numeric_limits<T>::max()) + (negative ? 1 : 0);
    if (n > limit) return false;
  }
  // Hexadecimal fills the type's bits; the sign then negates the pattern.
  value = static_cast<T>(negative ? static_cast<U>(U(0) - n) : n);
  return true;
}

}  // namespace

std::string FloatToStr(long double value, const TFormatSettings& settings) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return "0";
  std::string out = value < 0 ? "-" : "";
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
  std::string_view sci(buf, static_cast<std::size_t>(end - buf));  // d.dddddddddddddde+XX
  std::size_t e = sci.find('e');
  std::string digits;
  for (char c : sci.substr(0, e))
    if (IsDigit(c)) digits += c;
  int exponent = 0;
  std::from_chars(sci.data() + e + (sci[e + 1] == '+' ? 2 : 1), sci.data() + sci.size(), exponent);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  const int point = exponent + 1;  // digits before the decimal point
  if (point > 15 || point < -3) {
    out += digits[0];
    if (digits.size() > 1) {
      out += settings.DecimalSeparator;
      out.append(digits, 1);
    }
    out += 'E';
    out += std::to_string(exponent);
  } else if (point <= 0) {
    out += '0';
    out += settings.DecimalSeparator;
    out.append(static_cast<std::size_t>(-point), '0');
    out += digits;
  } else {
    if (static_cast<int>(digits.size()) <= point) {
      out += digits;
      out.append(static_cast<std::size_t>(point) - digits.size(), '0');
    } else {
      out.append(digits, 0, static_cast<std::size_t>(point));
      out += settings.DecimalSeparator;
      out.append(digits, static_cast<std::size_t>(point));
    }
  }
  return out;
}

bool TryStrToFloat(std::string_view text, double& value, const TFormatSettings& settings) {
  return TryFloat(text, value, settings);
}

bool TryStrToFloat(std::string_view text, long double& value, const TFormatSettings& settings) {
  return TryFloat(text, value, settings);
}

double StrToFloat(std::string_view text, const TFormatSettings& settings) {
  double v;
  if (!TryStrToFloat(text, v, settings))
    throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
  return v;
}

bool TryStrToCurr(std::string_view text, double& value, const TFormatSettings& settings) {
  Decimal d;
  std::int64_t units;
  if (!ParseDecimal(text, settings.DecimalSeparator, d) || !DecimalToCurrencyUnits(d, units)) return false;
  value = static_cast<double>(units) / 10000.0;
  return true;
}

double StrToCurr(std::string_view text, const TFormatSettings& settings) {
  double v;
  if (!TryStrToCurr(text, v, settings))
    throw EConvertError("'" + std::string(text) + "' is not a valid currency value");
  return v;
}

std::string CurrToStr(double value, const TFormatSettings& settings) {
  const long double scaled = std::nearbyint(static_cast<long double>(value) * 10000.0L);
  if (!std::isfinite(scaled) || std::fabs(scaled) > 9223372036854775807.0L)
    throw EConvertError("Currency value out of range");
  const std::int64_t units = static_cast<std::int64_t>(scaled);
  std::uint64_t magnitude = units < 0 ? 0 - static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
  std::string out = units < 0 ? "-" : "";
  out += std::to_string(magnitude / 10000);
  std::string fraction = std::to_string(magnitude % 10000 + 10000).substr(1);
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (!fraction.empty()) {
    out += settings.DecimalSeparator;
    out += fraction;
  }
  return out;
}

bool TryStrToInt(std::string_view text, std::int32_t& value) { return TryInteger(text, value); }

bool TryStrToInt64(std::string_view text, std::int64_t& value) { return TryInteger(text, value); }

std::int32_t StrToInt(std::string_view text) {
  std::int32_t v;
  if (!TryStrToInt(text, v)) throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
  return v;
}

std::int64_t StrToInt64(std::string_view text) {
  std::int64_t v;
  if (!TryStrToInt64(text, v)) throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
  return v;
}

}  // namespace platform
