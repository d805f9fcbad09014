#include "engine/coding/PpmCoder.h"

#include <algorithm>
#include <mutex>

#include "engine/coding/PpmModel.h"
#include "platform/Exception.h"

namespace qxl {

namespace {

std::mutex PPMLock;
TPPMAllocator PPMHeap;
TPPMModel PPMModel(PPMHeap);

}  // namespace

void PPMCompressBuffer(const void* InBuffer, std::int32_t InSize, std::vector<std::uint8_t>& OutBuffer,
                       std::int32_t& OutSize, int Level) {
  const std::size_t inSize = static_cast<std::size_t>(std::max(InSize, 0));
  const std::size_t capacity = inSize + inSize / 20 + 50;
  Level = std::clamp(Level, 1, 9);
  std::size_t written;
  {
    std::lock_guard lock(PPMLock);
    OutBuffer.resize(capacity);
    try {
      written = PPMModel.Encode(static_cast<const std::uint8_t*>(InBuffer), inSize, OutBuffer.data(), capacity,
                                PPMModelOrders[Level - 1], PPMMemorySizes[Level - 1]);
    } catch (...) {
      PPMHeap.ReleasePPMHeap();
      std::vector<std::uint8_t>().swap(OutBuffer);
      throw;
    }
  }
  OutBuffer.resize(written);
  OutSize = static_cast<std::int32_t>(written);
  if (OutSize <= 0) {
    std::vector<std::uint8_t>().swap(OutBuffer);
    throw platform::Exception("PPM Compression error");
  }
}

void PPMDecompressBuffer(const void* InBuffer, std::int32_t InSize, std::vector<std::uint8_t>& OutBuffer,
                         std::int32_t& OutSize) {
  if (OutSize <= 0) throw platform::Exception("PPM DecpmpressBuf: OutSize must be set");
  std::int64_t decoded;
  {
    std::lock_guard lock(PPMLock);
    OutBuffer.resize(static_cast<std::size_t>(OutSize));
    try {
      decoded = PPMModel.Decode(static_cast<const std::uint8_t*>(InBuffer),
                                static_cast<std::size_t>(std::max(InSize, 0)), OutBuffer.data(), OutBuffer.size());
    } catch (...) {
      PPMHeap.ReleasePPMHeap();
      std::vector<std::uint8_t>().swap(OutBuffer);
      throw;
    }
  }
  OutSize = static_cast<std::int32_t>(std::max<std::int64_t>(decoded, 0));
  if (OutSize <= 0) {
    std::vector<std::uint8_t>().swap(OutBuffer);
    throw platform::Exception("PPM Decompression error");
  }
  OutBuffer.resize(static_cast<std::size_t>(OutSize));
}

}  // namespace qxl
