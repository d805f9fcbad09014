#include "engine/coding/BZip2Adapter.h"

#include <bzlib.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "platform/Format.h"

namespace qxl {

namespace {

constexpr std::size_t MaxOutput = std::numeric_limits<std::int32_t>::max();

char* Source(const void* InBuffer) { return static_cast<char*>(const_cast<void*>(InBuffer)); }

}  // namespace

void BZip2CompressBuffer(const void* InBuffer, std::int32_t InSize, std::vector<std::uint8_t>& OutBuffer,
                         std::int32_t& OutSize, int BlockSize100k) {
  const std::int32_t inSize = InSize > 0 ? InSize : 0;
  // The library's documented bound: 1 % more plus 600 bytes.
  unsigned int length = static_cast<unsigned int>(std::nearbyint(inSize * 1.01)) + 600;
  OutSize = 0;
  try {
    OutBuffer.resize(length);
    const int result = BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(OutBuffer.data()), &length, Source(InBuffer),
                                                static_cast<unsigned int>(inSize), BlockSize100k, 0, 0);
    if (result == BZ_MEM_ERROR) throw std::bad_alloc();
    if (result < 0) throw EBZCompressionError(platform::Format("error %d", result));
    OutBuffer.resize(length);
    OutSize = static_cast<std::int32_t>(length);
  } catch (...) {
    std::vector<std::uint8_t>().swap(OutBuffer);
    OutSize = 0;
    throw;
  }
}

std::size_t BZip2GrownCapacity(std::size_t Capacity, std::size_t Step) {
  // Growing by at least the room already tried keeps a highly compressed
  // stream from taking quadratic time; the last step stops at the limit
  // instead of jumping past it.
  return std::min(Capacity + std::max(Step, Capacity), MaxOutput);
}

void BZip2DecompressBuffer(const void* InBuffer, std::int32_t InSize, std::int32_t OutEstimate,
                           std::vector<std::uint8_t>& OutBuffer, std::int32_t& OutSize, bool ExactSize) {
  const std::size_t inSize = InSize > 0 ? static_cast<std::size_t>(InSize) : 0;
  const std::size_t step = (10 * inSize + 65535) / 65536 * 65536;
  std::size_t capacity = OutEstimate > 0 ? static_cast<std::size_t>(OutEstimate) : step;
  OutSize = 0;
  try {
    for (;;) {
      OutBuffer.resize(capacity);
      unsigned int length = static_cast<unsigned int>(capacity);
      const int result = BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(OutBuffer.data()), &length,
                                                    Source(InBuffer), static_cast<unsigned int>(inSize), 0, 0);
      if (result == BZ_OUTBUFF_FULL) {
        // More than a known size is damage; every retry would decode it all again.
        if ((ExactSize && OutEstimate > 0) || capacity >= MaxOutput)
          throw EBZDecompressionError(platform::Format("error %d", result));
        capacity = BZip2GrownCapacity(capacity, step);
        continue;
      }
      if (result == BZ_MEM_ERROR) throw std::bad_alloc();
      if (result < 0) throw EBZDecompressionError(platform::Format("error %d", result));
      OutBuffer.resize(length);
      OutSize = static_cast<std::int32_t>(length);
      return;
    }
  } catch (...) {
    std::vector<std::uint8_t>().swap(OutBuffer);
    OutSize = 0;
    throw;
  }
}

}  // namespace qxl
