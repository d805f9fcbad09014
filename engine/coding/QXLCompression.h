#pragma once
// Whole-buffer compression by algorithm number, as stored in field
// definitions, BLOB descriptors and internal files: none, zlib, bzip2, PPM.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qxl {

// One stored byte; a value above acaPPM names no algorithm.
enum TQXLCompressionAlgorithm : std::uint8_t { acaNone = 0, acaZLIB = 1, acaBZIP = 2, acaPPM = 3 };

enum TQXLCompressionLevel : std::uint8_t { aclNone, aclFastest, aclNormal, aclMaximum };

struct TQXLCompression {
  TQXLCompressionAlgorithm CompressionAlgorithm;
  std::uint8_t CompressionMode;  // the algorithm's level, 0 to 9
  TQXLCompressionLevel CompressionLevel;
};
static_assert(sizeof(TQXLCompression) == 3);

inline constexpr std::array<std::string_view, 4> CompressionAlgorithmNames = {"NONE", "ZLIB", "BZIP", "PPM"};

// Uncompressed block sizes of a compressed BLOB: mode 0, modes 1-3, 4-6, 7 and above.
inline constexpr std::array<std::int32_t, 4> CompressedBlockSizes = {102400, 524288, 1048576, 1572864};

// The entry of CompressedBlockSizes for a compression mode.
constexpr std::int32_t CompressedBlockSize(std::uint8_t Mode) {
  return CompressedBlockSizes[Mode == 0 ? 0 : Mode <= 3 ? 1 : Mode <= 6 ? 2 : 3];
}

// Compresses InSize bytes with Algorithm at Mode into OutBuffer. False
// (OutBuffer empty, OutSize 0) for algorithm 0 or above 3, an empty input, a
// mode the library refuses, or any other failure of the library; raises only
// std::bad_alloc, when memory runs out.
bool CompressBuffer(TQXLCompressionAlgorithm Algorithm, std::uint8_t Mode, const void* InBuffer, std::int32_t InSize,
                    std::vector<std::uint8_t>& OutBuffer, std::int32_t& OutSize);

// Decompresses into OutBuffer. On entry OutSize is the expected size (0 when
// unknown; PPM needs the exact size); after true it is the size of OutBuffer.
// Damaged data gives false with OutBuffer empty; raises only std::bad_alloc.
bool DecompressBuffer(TQXLCompressionAlgorithm Algorithm, const void* InBuffer, std::int32_t InSize,
                      std::vector<std::uint8_t>& OutBuffer, std::int32_t& OutSize);

// As DecompressBuffer for a caller that knows the size (OutSize on entry, above
// 0): data that decodes to more gives false at once, so that a small damaged
// or hostile input costs no more memory or time than the size expected.
bool DecompressBufferOfKnownSize(TQXLCompressionAlgorithm Algorithm, const void* InBuffer, std::int32_t InSize,
                                 std::vector<std::uint8_t>& OutBuffer, std::int32_t& OutSize);

// The algorithm of an upper-cased name; any other name gives acaNone.
TQXLCompressionAlgorithm CompressionAlgorithmFromName(std::string_view Name);

// The text kept from the last zlib failure; the zlib adapter reports none, so
// this is empty.
std::string GetLastCompressionError();

}  // namespace qxl
