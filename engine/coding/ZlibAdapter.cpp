#include "engine/coding/ZlibAdapter.h"

#include <zlib.h>

#include <cstdlib>
#include <limits>
#include <new>

#include "platform/Format.h"

namespace qxl {

namespace {

constexpr std::size_t MaxOutput = std::numeric_limits<std::int32_t>::max();

voidpf ZeroedAlloc(voidpf, uInt items, uInt size) { return std::calloc(items, size); }
void HeapFree(voidpf, voidpf block) { std::free(block); }

std::size_t RoundUp(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }

void CheckMemory(int result) {
  if (result == Z_MEM_ERROR) throw std::bad_alloc();
}

void Check(int result) {
  CheckMemory(result);
  if (result < 0) throw ECompressionError(platform::Format("error %d", result));
}

// Ends the deflation however the compression ends.
struct TDeflation {
  z_stream Stream{};
  bool Open = false;
  ~TDeflation() {
    if (Open) deflateEnd(&Stream);
  }
};

struct TInflation {
  z_stream Stream{};
  bool Open = false;
  ~TInflation() {
    if (Open) inflateEnd(&Stream);
  }
};

void Fail(std::vector<std::uint8_t>& OutBuffer, std::int32_t& OutSize) {
  std::vector<std::uint8_t>().swap(OutBuffer);
  OutSize = 0;
}

}  // namespace

void ZlibCompressBuffer(const void* InBuffer, std::int32_t InSize, std::vector<std::uint8_t>& OutBuffer,
                        std::int32_t& OutSize, int Level) {
  const std::size_t inSize = InSize > 0 ? static_cast<std::size_t>(InSize) : 0;
  std::size_t capacity = RoundUp(inSize + inSize / 10 + 12, 256);
  OutSize = 0;
  try {
    OutBuffer.assign(capacity, 0);
    TDeflation d;
    d.Stream.zalloc = ZeroedAlloc;
    d.Stream.zfree = HeapFree;
    d.Stream.next_in = static_cast<Bytef*>(const_cast<void*>(InBuffer));
    d.Stream.avail_in = static_cast<uInt>(inSize);
    d.Stream.next_out = OutBuffer.data();
    d.Stream.avail_out = static_cast<uInt>(capacity);
    Check(deflateInit(&d.Stream, Level));
    d.Open = true;
    for (;;) {
      const int result = deflate(&d.Stream, Z_FINISH);
      if (result == Z_STREAM_END) break;
      Check(result);
      if (capacity + 256 > MaxOutput) throw ECompressionError("error -4");
      capacity += 256;
      OutBuffer.resize(capacity);
      d.Stream.next_out = OutBuffer.data() + d.Stream.total_out;
      d.Stream.avail_out = 256;
    }
    d.Open = false;
    Check(deflateEnd(&d.Stream));
    OutBuffer.resize(d.Stream.total_out);
    OutSize = static_cast<std::int32_t>(d.Stream.total_out);
  } catch (...) {
    Fail(OutBuffer, OutSize);
    throw;
  }
}

void ZlibDecompressBuffer(const void* InBuffer, std::int32_t InSize, std::int32_t OutEstimate,
                          std::vector<std::uint8_t>& OutBuffer, std::int32_t& OutSize, bool ExactSize) {
  try {
    const std::size_t inSize = InSize > 0 ? static_cast<std::size_t>(InSize) : 0;
    const std::size_t step = RoundUp(inSize, 256);
    std::size_t capacity = OutEstimate > 0 ? static_cast<std::size_t>(OutEstimate) : step;
    OutBuffer.resize(capacity);
    TInflation inf;
    inf.Stream.next_in = static_cast<Bytef*>(const_cast<void*>(InBuffer));
    inf.Stream.avail_in = static_cast<uInt>(inSize);
    inf.Stream.next_out = OutBuffer.data();
    inf.Stream.avail_out = static_cast<uInt>(capacity);
    const int init = inflateInit(&inf.Stream);
    CheckMemory(init);
    if (init < 0) return Fail(OutBuffer, OutSize);
    inf.Open = true;
    for (;;) {
      const int result = inflate(&inf.Stream, Z_NO_FLUSH);
      if (result == Z_STREAM_END) break;
      CheckMemory(result);
      // Only "more to come" goes on: "dictionary needed" would repeat for
      // ever, and every negative result is damage or truncation.
      if (result != Z_OK) return Fail(OutBuffer, OutSize);
      if ((ExactSize && OutEstimate > 0) || capacity + step > MaxOutput) return Fail(OutBuffer, OutSize);
      capacity += step;
      OutBuffer.resize(capacity);
      inf.Stream.next_out = OutBuffer.data() + inf.Stream.total_out;
      inf.Stream.avail_out = static_cast<uInt>(step);
    }
    inf.Open = false;
    if (inflateEnd(&inf.Stream) < 0) return Fail(OutBuffer, OutSize);
    OutBuffer.resize(inf.Stream.total_out);
    OutSize = static_cast<std::int32_t>(inf.Stream.total_out);
  } catch (...) {
    Fail(OutBuffer, OutSize);
    throw;
  }
}

}  // namespace qxl
