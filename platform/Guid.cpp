#include "platform/Guid.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace platform {

TGUID NewGuid() {
  std::uint8_t bytes[16];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (got < sizeof bytes) {
    std::random_device device;
    for (auto& b : bytes) b = static_cast<std::uint8_t>(device());
  }
  TGUID g;
  std::memcpy(&g, bytes, sizeof g);
  g.D3 = static_cast<std::uint16_t>((g.D3 & 0x0FFF) | 0x4000);
  g.D4[0] = static_cast<std::uint8_t>((g.D4[0] & 0x3F) | 0x80);
  return g;
}

std::string GuidToString(const TGUID& g) {
  char buf[39];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.D1, g.D2, g.D3,
                g.D4[0], g.D4[1], g.D4[2], g.D4[3], g.D4[4], g.D4[5], g.D4[6], g.D4[7]);
  return buf;
}

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The value of count hexadecimal digits at text[pos], or false.
template <typename T>
bool Hex(std::string_view text, std::size_t pos, std::size_t count, T& value) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < count; ++i) {
    int h = HexValue(text[pos + i]);
    if (h < 0) return false;
    v = v << 4 | static_cast<std::uint64_t>(h);
  }
  value = static_cast<T>(v);
  return true;
}

}  // namespace

bool TryStringToGuid(std::string_view t, TGUID& guid) {
  if (t.size() != 38 || t[0] != '{' || t[9] != '-' || t[14] != '-' || t[19] != '-' || t[24] != '-' ||
      t[37] != '}')
    return false;
  TGUID g;
  if (!Hex(t, 1, 8, g.D1) || !Hex(t, 10, 4, g.D2) || !Hex(t, 15, 4, g.D3) || !Hex(t, 20, 2, g.D4[0]) ||
      !Hex(t, 22, 2, g.D4[1]))
    return false;
  for (std::size_t i = 0; i < 6; ++i)
    if (!Hex(t, 25 + 2 * i, 2, g.D4[2 + i])) return false;
  guid = g;
  return true;
}

TGUID StringToGuid(std::string_view text) {
  TGUID g;
  if (!TryStringToGuid(text, g)) throw EConvertError("'" + std::string(text) + "' is not a valid GUID value");
  return g;
}

}  // namespace platform
