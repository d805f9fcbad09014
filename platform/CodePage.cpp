#include "platform/CodePage.h"

#include <unicode/ustring.h>

#include <array>
#include <cstdint>

#include "platform/Exception.h"

namespace platform {
namespace {

using codepage_detail::kHigh;

// Looks a UTF-16 unit up in the code page; -1 when it is not there.
int FindAnsi(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
  for (std::size_t i = 0; i < kHigh.size(); ++i)
    if (kHigh[i] == c) return static_cast<int>(0x80 + i);
  return -1;
}

constexpr char16_t kReplacement = 0xFFFD;

// Code points of UTF-16 text; an unpaired surrogate comes out as U+FFFD.
template <typename F>
void ForEachCodePoint(std::u16string_view w, F&& f) {
  for (std::size_t i = 0; i < w.size(); ++i) {
    char32_t c = w[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (w[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    f(c);
  }
}

// Converts between UTF-8 and UTF-16 with one of ICU's substituting converters;
// unitsPerInput bounds the output units each input unit can give.
template <typename Out, typename In, typename Converter>
Out ConvertUtf(In input, std::size_t unitsPerInput, Converter convert) {
  if (input.empty()) return {};
  if (input.size() > static_cast<std::size_t>(INT32_MAX) / unitsPerInput)
    throw Exception("Text too long to convert");
  Out out(input.size() * unitsPerInput, typename Out::value_type());
  int32_t len = 0;
  UErrorCode status = U_ZERO_ERROR;
  convert(out.data(), static_cast<int32_t>(out.size()), &len, input.data(), static_cast<int32_t>(input.size()),
          kReplacement, nullptr, &status);
  if (U_FAILURE(status)) throw Exception("Text cannot be converted between UTF-8 and UTF-16");
  out.resize(static_cast<std::size_t>(len));
  return out;
}

}  // namespace

char WideCharToAnsi(char16_t c) {
  const int b = FindAnsi(c);
  return b < 0 ? '?' : static_cast<char>(b);
}

bool IsAnsiChar(char16_t c) { return FindAnsi(c) >= 0; }

std::u16string AnsiToWide(std::string_view Ansi) {
  std::u16string w(Ansi.size(), u'\0');
  for (std::size_t i = 0; i < Ansi.size(); ++i) w[i] = AnsiCharToWide(Ansi[i]);
  return w;
}

std::string WideToAnsi(std::u16string_view Wide) {
  // A surrogate pair is one character and so one '?'.
  std::string s;
  s.reserve(Wide.size());
  ForEachCodePoint(Wide, [&](char32_t c) { s += c > 0xFFFF ? '?' : WideCharToAnsi(static_cast<char16_t>(c)); });
  return s;
}

std::string AnsiToUtf8(std::string_view Ansi) { return WideToUtf8(AnsiToWide(Ansi)); }

std::string Utf8ToAnsi(std::string_view Utf8) { return WideToAnsi(Utf8ToWide(Utf8)); }

// A UTF-8 sequence never gives more UTF-16 units than it has bytes.
std::u16string Utf8ToWide(std::string_view Utf8) {
  return ConvertUtf<std::u16string>(Utf8, 1, u_strFromUTF8WithSub);
}

// A UTF-16 unit never gives more than three UTF-8 bytes (a pair gives four).
std::string WideToUtf8(std::u16string_view Wide) { return ConvertUtf<std::string>(Wide, 3, u_strToUTF8WithSub); }

}  // namespace platform
