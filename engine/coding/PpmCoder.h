#pragma once
// Compression algorithm 3: whole buffers through the PPM model. The model and
// its memory are process-wide; one lock lets a single call run at a time.
#include <array>
#include <cstdint>
#include <vector>

namespace qxl {

// Model order and model memory in MiB of the levels 1 to 9 (index level - 1).
inline constexpr std::array<int, 9> PPMModelOrders = {2, 3, 4, 5, 7, 8, 10, 13, 16};
inline constexpr std::array<int, 9> PPMMemorySizes = {2, 3, 7, 16, 22, 25, 40, 100, 100};

// Compresses at Level (forced into 1..9). Raises platform::Exception
// "PPM Compression error" when the stream would not fit into InSize + InSize
// div 20 + 50 bytes; OutBuffer is then empty.
void PPMCompressBuffer(const void* InBuffer, std::int32_t InSize, std::vector<std::uint8_t>& OutBuffer,
                       std::int32_t& OutSize, int Level);

// Decompresses a stream whose uncompressed size OutSize the caller knows.
// Raises platform::Exception when OutSize is not above 0, or when the stream is
// damaged or holds more than OutSize bytes; OutBuffer is then empty. On return
// OutSize is the number of bytes decoded.
void PPMDecompressBuffer(const void* InBuffer, std::int32_t InSize, std::vector<std::uint8_t>& OutBuffer,
                         std::int32_t& OutSize);

}  // namespace qxl
