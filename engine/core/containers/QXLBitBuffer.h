#pragma once
// Bit access in byte buffers: bit n is the bit of value 1 shl (n mod 8) in
// byte n div 8, as in record null bitmaps.
#include <cstdint>

namespace qxl {

inline bool GetBitInBuffer(std::int64_t BitNo, const void* Buffer) {
  auto* bytes = static_cast<const std::uint8_t*>(Buffer);
  return (bytes[BitNo >> 3] >> (BitNo & 7)) & 1;
}

inline void SetBitInBuffer(bool Value, std::int64_t BitNo, void* Buffer) {
  auto* byte = static_cast<std::uint8_t*>(Buffer) + (BitNo >> 3);
  auto mask = static_cast<std::uint8_t>(1u << (BitNo & 7));
  *byte = Value ? (*byte | mask) : (*byte & ~mask);
}

}  // namespace qxl
