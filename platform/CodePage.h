#pragma once
// The engine's 8-bit stored text is Windows-1252; these convert it to and from
// the UTF-8 of our interfaces and the UTF-16 of wide values. A character that
// the code page lacks becomes '?'; malformed UTF-8 or UTF-16 becomes U+FFFD.
#include <string>
#include <string_view>

namespace platform {

// One Windows-1252 byte as a UTF-16 unit. The five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of
// the same number, so that every byte survives a round trip.
char16_t AnsiCharToWide(char c);
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
