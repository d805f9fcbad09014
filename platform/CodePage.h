#pragma once
// The engine's 8-bit stored text is Windows-1252; these convert it to and from
// the UTF-8 of our interfaces and the UTF-16 of wide values. A character that
// the code page lacks becomes '?'; malformed UTF-8 or UTF-16 becomes U+FFFD.
#include <array>
#include <string>
#include <string_view>

namespace platform {

namespace codepage_detail {
// 0x80..0x9F, the only range where Windows-1252 differs from Latin-1.
inline constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
}  // namespace codepage_detail

// One Windows-1252 byte as a UTF-16 unit. The five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of
// the same number, so that every byte survives a round trip. Inline: every
// 8-bit comparison converts its text a character at a time.
inline char16_t AnsiCharToWide(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b >= 0x80 && b < 0xA0 ? codepage_detail::kHigh[b - 0x80] : static_cast<char16_t>(b);
}
// One UTF-16 unit as a Windows-1252 byte; '?' when the code page lacks it.
char WideCharToAnsi(char16_t c);
// True when the code page has the UTF-16 unit.
bool IsAnsiChar(char16_t c);

std::u16string AnsiToWide(std::string_view Ansi);
std::string WideToAnsi(std::u16string_view Wide);
std::string AnsiToUtf8(std::string_view Ansi);
std::string Utf8ToAnsi(std::string_view Utf8);
std::u16string Utf8ToWide(std::string_view Utf8);
std::string WideToUtf8(std::u16string_view Wide);

}  // namespace platform
