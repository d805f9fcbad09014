#pragma once
// Whole-buffer zlib streams (RFC 1950 around deflate data) for algorithm 1.
#include <cstdint>
#include <vector>

#include "platform/Exception.h"

namespace qxl {

class EZlibError : public platform::Exception {
public:
  using Exception::Exception;
};

class ECompressionError : public EZlibError {
public:
  using EZlibError::EZlibError;
};

// Raises ECompressionError "error <n>" on a zlib error (a Level above 9, for
// one), std::bad_alloc when memory runs out; OutBuffer is then empty.
void ZlibCompressBuffer(const void* InBuffer, std::int32_t InSize, std::vector<std::uint8_t>& OutBuffer,
                        std::int32_t& OutSize, int Level);

// Raises only std::bad_alloc: any other failure leaves OutBuffer empty and OutSize 0. OutEstimate is
// the expected size, 0 when unknown; with ExactSize a stream that decodes to
// more than OutEstimate fails at once.
void ZlibDecompressBuffer(const void* InBuffer, std::int32_t InSize, std::int32_t OutEstimate,
                          std::vector<std::uint8_t>& OutBuffer, std::int32_t& OutSize, bool ExactSize = false);

}  // namespace qxl
