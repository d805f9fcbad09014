#pragma once
// Whole-buffer bzip2 streams for algorithm 2, through libbzip2's
// buffer-to-buffer calls.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Exception.h"

namespace qxl {

class EBZip2Error : public platform::Exception {
public:
  using Exception::Exception;
};

class EBZCompressionError : public EBZip2Error {
public:
  using EBZip2Error::EBZip2Error;
};

class EBZDecompressionError : public EBZip2Error {
public:
  using EBZip2Error::EBZip2Error;
};

// Raises EBZCompressionError "error <n>" on a library error (a block size of 0
// or above 9, for one), std::bad_alloc when memory runs out; OutBuffer is then empty.
void BZip2CompressBuffer(const void* InBuffer, std::int32_t InSize, std::vector<std::uint8_t>& OutBuffer,
                         std::int32_t& OutSize, int BlockSize100k);

// Raises EBZDecompressionError "error <n>" on damaged data, std::bad_alloc when
// memory runs out; OutBuffer is then empty. OutEstimate is the expected size, 0 when unknown; with ExactSize a
// stream that decodes to more than OutEstimate fails at once. Without it the
// buffer grows up to the largest 32-bit size.
void BZip2DecompressBuffer(const void* InBuffer, std::int32_t InSize, std::int32_t OutEstimate,
                           std::vector<std::uint8_t>& OutBuffer, std::int32_t& OutSize, bool ExactSize = false);

// The next output capacity to try after Capacity bytes were too few.
std::size_t BZip2GrownCapacity(std::size_t Capacity, std::size_t Step);

}  // namespace qxl
