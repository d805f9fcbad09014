// Sequential access to a BLOB value through the compressed BLOB stream (zlib,
// mode 1, the default block size of that mode) beside the plain memory stream
// it would otherwise be: writes of a whole value in 1-byte and 4 KB pieces, and
// reads of it back in the same pieces. bytes_per_second counts the value's
// bytes; the ratio against the memory stream is the price of compression.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "engine/core/streams/QXLCompressedBLOBStream.h"
#include "engine/core/streams/QXLMemoryStream.h"

using namespace qxl;

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::int64_t ValueSize = 1 << 20;

// Task notes: compressible text with some noise, like a memo field.
Bytes MakeValue() {
  static const char* const words[] = {"check ", "the ", "invoice ", "report ", "before ", "Friday ", "call ",
                                      "Anna ", "about ", "budget ", "meeting ", "notes ", "and ", "send ", "reply "};
  std::mt19937 rng(7);
  Bytes out;
  while (out.size() < static_cast<std::size_t>(ValueSize)) {
    const char* w = words[rng() % std::size(words)];
    out.insert(out.end(), w, w + std::strlen(w));
    if (rng() % 40 == 0) out.push_back(static_cast<std::uint8_t>('0' + rng() % 10));
  }
  out.resize(static_cast<std::size_t>(ValueSize));
  return out;
}

const Bytes& Value() {
  static const Bytes value = MakeValue();
  return value;
}

TQXLBLOBDescriptor NewDescriptor() {
  TQXLBLOBDescriptor d;
  d.CompressionAlgorithm = acaZLIB;
  d.CompressionMode = 1;
  return d;
}

// The stream under test over its own underlying memory stream.
struct Subject {
  explicit Subject(bool compressed) {
    if (compressed)
      blob = std::make_unique<TQXLCompressedBLOBStream>(under, NewDescriptor(), true, false);
  }
  TQXLStream& Stream() { return blob ? static_cast<TQXLStream&>(*blob) : under; }

  TQXLMemoryStream under;  // declared first: the BLOB stream stores into it when it closes
  std::unique_ptr<TQXLCompressedBLOBStream> blob;
};

void WriteInPieces(TQXLStream& s, std::int32_t piece) {
  const std::uint8_t* p = Value().data();
  for (std::int64_t done = 0; done < ValueSize; done += piece) s.Write(p + done, piece);
}

// Arguments: piece size, compressed (1) or plain memory stream (0).
void BM_SequentialWrite(benchmark::State& state) {
  const auto piece = static_cast<std::int32_t>(state.range(0));
  const bool compressed = state.range(1) != 0;
  for (auto _ : state) {
    Subject s(compressed);
    WriteInPieces(s.Stream(), piece);
    if (s.blob) s.blob->Flush();
    benchmark::DoNotOptimize(s.under.Size());
  }
  state.SetBytesProcessed(state.iterations() * ValueSize);
}

void BM_SequentialRead(benchmark::State& state) {
  const auto piece = static_cast<std::int32_t>(state.range(0));
  const bool compressed = state.range(1) != 0;
  Subject s(compressed);
  WriteInPieces(s.Stream(), 4096);
  if (s.blob) s.blob->Flush();
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(piece));
  for (auto _ : state) {
    // Reopened each round, so that no decompressed block is carried over.
    std::unique_ptr<TQXLCompressedBLOBStream> reopened;
    if (compressed) reopened = std::make_unique<TQXLCompressedBLOBStream>(s.under, s.blob->BLOBDescriptor(), false, false);
    TQXLStream& stream = reopened ? static_cast<TQXLStream&>(*reopened) : s.under;
    stream.SetPosition(0);
    std::int64_t total = 0;
    for (std::int32_t n; (n = stream.Read(buffer.data(), piece)) > 0;) total += n;
    if (total != ValueSize) state.SkipWithError("short read");
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(state.iterations() * ValueSize);
}

BENCHMARK(BM_SequentialWrite)->ArgNames({"piece", "compressed"})->ArgsProduct({{1, 4096}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SequentialRead)->ArgNames({"piece", "compressed"})->ArgsProduct({{1, 4096}, {0, 1}})->Unit(benchmark::kMillisecond);

}  // namespace
