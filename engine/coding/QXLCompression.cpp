#include "engine/coding/QXLCompression.h"

#include <mutex>

#include "engine/coding/BZip2Adapter.h"
#include "engine/coding/PpmCoder.h"
#include "engine/coding/ZlibAdapter.h"
#include "platform/Exception.h"

namespace qxl {

namespace {

std::mutex LastErrorLock;
std::string LastCompressionError;

// A zlib failure copies the adapter's error text, which it never sets.
void RefreshLastError() {
  std::lock_guard lock(LastErrorLock);
  LastCompressionError.clear();
}

bool Failed(std::vector<std::uint8_t>& OutBuffer, std::int32_t& OutSize) {
  std::vector<std::uint8_t>().swap(OutBuffer);
  OutSize = 0;
  return false;
}

}  // namespace

bool CompressBuffer(TQXLCompressionAlgorithm Algorithm, std::uint8_t Mode, const void* InBuffer, std::int32_t InSize,
                    std::vector<std::uint8_t>& OutBuffer, std::int32_t& OutSize) {
  OutSize = 0;
  if (Algorithm == acaNone || Algorithm > acaPPM || InSize <= 0) return Failed(OutBuffer, OutSize);
  try {
    switch (Algorithm) {
      case acaZLIB: qxl::ZlibCompressBuffer(InBuffer, InSize, OutBuffer, OutSize, Mode); break;
      case acaBZIP: qxl::BZip2CompressBuffer(InBuffer, InSize, OutBuffer, OutSize, Mode); break;
      default: qxl::PPMCompressBuffer(InBuffer, InSize, OutBuffer, OutSize, Mode); break;
    }
  } catch (const platform::Exception&) {
    // The libraries' refusals; running out of memory is no failure of the data
    // and goes on to the caller.
    if (Algorithm == acaZLIB) RefreshLastError();
    return Failed(OutBuffer, OutSize);
  }
  return OutSize > 0 || Failed(OutBuffer, OutSize);
}

namespace {

bool Decompress(TQXLCompressionAlgorithm Algorithm, const void* InBuffer, std::int32_t InSize,
                std::vector<std::uint8_t>& OutBuffer, std::int32_t& OutSize, bool ExactSize) {
  if (Algorithm == acaNone || Algorithm > acaPPM || InSize <= 0) {
    std::vector<std::uint8_t>().swap(OutBuffer);
    return false;
  }
  if (OutSize < 0) return Failed(OutBuffer, OutSize);
  try {
    switch (Algorithm) {
      case acaZLIB: qxl::ZlibDecompressBuffer(InBuffer, InSize, OutSize, OutBuffer, OutSize, ExactSize); break;
      case acaBZIP: qxl::BZip2DecompressBuffer(InBuffer, InSize, OutSize, OutBuffer, OutSize, ExactSize); break;
      default: qxl::PPMDecompressBuffer(InBuffer, InSize, OutBuffer, OutSize); break;
    }
  } catch (const platform::Exception&) {
    return Failed(OutBuffer, OutSize);
  }
  if (OutSize > 0) return true;
  if (Algorithm == acaZLIB) RefreshLastError();
  return Failed(OutBuffer, OutSize);
}

}  // namespace

bool DecompressBuffer(TQXLCompressionAlgorithm Algorithm, const void* InBuffer, std::int32_t InSize,
                           std::vector<std::uint8_t>& OutBuffer, std::int32_t& OutSize) {
  return Decompress(Algorithm, InBuffer, InSize, OutBuffer, OutSize, false);
}

bool DecompressBufferOfKnownSize(TQXLCompressionAlgorithm Algorithm, const void* InBuffer, std::int32_t InSize,
                                      std::vector<std::uint8_t>& OutBuffer, std::int32_t& OutSize) {
  return Decompress(Algorithm, InBuffer, InSize, OutBuffer, OutSize, true);
}

TQXLCompressionAlgorithm CompressionAlgorithmFromName(std::string_view Name) {
  std::string upper(Name);
  for (char& ch : upper)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  for (std::size_t i = 0; i < qxl::CompressionAlgorithmNames.size(); ++i)
    if (upper == qxl::CompressionAlgorithmNames[i]) return static_cast<TQXLCompressionAlgorithm>(i);
  return acaNone;
}

std::string GetLastCompressionError() {
  std::lock_guard lock(LastErrorLock);
  return LastCompressionError;
}

}  // namespace qxl
