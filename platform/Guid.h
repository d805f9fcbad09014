#pragma once
// GUIDs: 16 bytes in the Windows field layout, new random ones, and their
// 38-character text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ConvertError.h"

namespace platform {

struct TGUID {
  std::uint32_t D1 = 0;
  std::uint16_t D2 = 0;
  std::uint16_t D3 = 0;
  std::uint8_t D4[8] = {};

  friend bool operator==(const TGUID&, const TGUID&) = default;
};
static_assert(sizeof(TGUID) == 16);

// A random GUID (version 4).
TGUID NewGuid();
// Upper-case hexadecimal in braces.
std::string GuidToString(const TGUID& guid);
// Accepts exactly the 38-character form, hexadecimal digits of either case.
bool TryStringToGuid(std::string_view text, TGUID& guid);
// Throws EConvertError.
TGUID StringToGuid(std::string_view text);

}  // namespace platform
