#include "engine/coding/CodingWords.h"

namespace qxl {

namespace {

std::uint32_t SwapInt4(std::uint32_t Value) { return __builtin_bswap32(Value); }

}  // namespace

std::uint32_t (*SwapInt)(std::uint32_t Value) = SwapInt4;

void XORBuffers(const void* A, const void* B, std::int32_t Size, void* Dest) {
  auto a = static_cast<const std::uint8_t*>(A);
  auto b = static_cast<const std::uint8_t*>(B);
  auto d = static_cast<std::uint8_t*>(Dest);
  for (std::int32_t i = 0; i < Size; ++i) d[i] = a[i] ^ b[i];
}

int CompareBuffers(const void* A, const void* B, std::int32_t Size) {
  auto a = static_cast<const std::uint8_t*>(A);
  auto b = static_cast<const std::uint8_t*>(B);
  for (std::int32_t i = 0; i < Size; ++i)
    if (a[i] != b[i]) return int(a[i]) - int(b[i]);
  return 0;
}

}  // namespace qxl
