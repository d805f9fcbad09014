#pragma once
// Names of schema and session objects: UTF-8 in memory, at most 255 bytes of
// Windows-1252 in their stored form, compared after upper-casing.
#include <cstddef>
#include <string>
#include <string_view>

namespace qxl {

// The longest name a stored length byte can describe.
constexpr std::size_t kMaxShortStringLength = 255;

// Text whose Windows-1252 form is cut to MaxBytes bytes.
std::string CutToAnsiLength(std::string_view Text, std::size_t MaxBytes = kMaxShortStringLength);

// Equal after the locale's full upper-case mapping of both.
bool SameNameIgnoringCase(std::string_view a, std::string_view b);
// Equal after upper-casing the 26 ASCII letters only.
bool SameNameIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace qxl
