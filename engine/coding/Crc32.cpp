#include "engine/coding/Crc32.h"

#include <zlib.h>

namespace qxl {

std::uint32_t UpdateCrc32(std::uint32_t Crc, const void* Buffer, std::uint32_t Length) {
  // zlib inverts on the way in and out; inverting around it undoes both.
  // zlib's crc32 answers a null buffer with its start value, hence the guard.
  if (Length == 0) return Crc;
  return ~static_cast<std::uint32_t>(crc32(~Crc & 0xFFFFFFFFu, static_cast<const Bytef*>(Buffer), Length));
}

}  // namespace qxl
