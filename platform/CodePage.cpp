#include "platform/CodePage.h"

#include <unicode/ustring.h>

#include <array>
#include <cstdint>

#include "platform/Exception.h"

namespace platform {
namespace {

// 0x80..0x9F, the only range where Windows-1252 differs from Latin-1.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

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

}  // namespace

char16_t AnsiCharToWide(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : static_cast<char16_t>(b);
}

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

std::u16string Utf8ToWide(std::string_view Utf8) {
  if (Utf8.empty()) return {};
  if (Utf8.size() > static_cast<std::size_t>(INT32_MAX)) throw Exception("Text too long to convert");
  // A UTF-8 sequence never gives more UTF-16 units than it has bytes.
  std::u16string w(Utf8.size(), u'\0');
  int32_t len = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(w.data(), static_cast<int32_t>(w.size()), &len, Utf8.data(),
                       static_cast<int32_t>(Utf8.size()), kReplacement, nullptr, &status);
  if (U_FAILURE(status)) throw Exception("UTF-8 text cannot be converted");
  w.resize(static_cast<std::size_t>(len));
  return w;
}

std::string WideToUtf8(std::u16string_view Wide) {
  if (Wide.empty()) return {};
  if (Wide.size() > static_cast<std::size_t>(INT32_MAX / 3)) throw Exception("Text too long to convert");
  // A UTF-16 unit never gives more than three UTF-8 bytes (a pair gives four).
  std::string s(Wide.size() * 3, '\0');
  int32_t len = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8WithSub(s.data(), static_cast<int32_t>(s.size()), &len, Wide.data(),
                     static_cast<int32_t>(Wide.size()), kReplacement, nullptr, &status);
  if (U_FAILURE(status)) throw Exception("UTF-16 text cannot be converted");
  s.resize(static_cast<std::size_t>(len));
  return s;
}

}  // namespace platform
