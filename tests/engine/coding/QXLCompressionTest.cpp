// The compression dispatch: round trips of every algorithm and mode, the
// failures that give false, and decompression growing past a wrong size.
#include "engine/coding/QXLCompression.h"

#include <gtest/gtest.h>

#include "engine/coding/BZip2Adapter.h"
#include "tests/engine/coding/BZip2Samples.h"
#include "tests/engine/coding/CompressionSamples.h"

using namespace qxl;

namespace {

using compression_samples::Bytes;

struct TResult {
  bool Ok;
  Bytes Out;
  std::int32_t Size;
};

TResult Pack(TQXLCompressionAlgorithm alg, int mode, const Bytes& in) {
  TResult r{false, Bytes{9, 9, 9}, -1};  // leftovers that a failure must clear
  r.Ok = qxl::CompressBuffer(alg, static_cast<std::uint8_t>(mode), in.data(), static_cast<std::int32_t>(in.size()), r.Out,
                        r.Size);
  return r;
}

TResult Unpack(TQXLCompressionAlgorithm alg, const Bytes& in, std::int32_t expected) {
  TResult r{false, {}, expected};
  r.Ok = qxl::DecompressBuffer(alg, in.data(), static_cast<std::int32_t>(in.size()), r.Out, r.Size);
  return r;
}

void ExpectFailure(const TResult& r, const std::string& what) {
  EXPECT_FALSE(r.Ok) << what;
  EXPECT_EQ(r.Size, 0) << what;
  EXPECT_TRUE(r.Out.empty() && r.Out.capacity() == 0) << what;
}

}  // namespace

TEST(Compression, RoundTripsForEveryAlgorithmAndMode) {
  using namespace compression_samples;
  const Bytes inputs[] = {Text(20000), Random(6000), Zeros(20000), Repetitive(20000), Bytes{7}};
  struct Modes {
    TQXLCompressionAlgorithm Alg;
    int First, Last;
  };
  // PPM goes through every level in its own tests; here the dispatch to it.
  for (auto [alg, first, last] : {Modes{acaZLIB, 0, 9}, Modes{acaBZIP, 1, 9}, Modes{acaPPM, 1, 2}})
    for (int mode = first; mode <= last; ++mode)
      for (const Bytes& in : inputs) {
        const std::string what = "algorithm " + std::to_string(alg) + " mode " + std::to_string(mode) + " size " +
                                 std::to_string(in.size());
        const TResult packed = Pack(alg, mode, in);
        ASSERT_TRUE(packed.Ok) << what;
        ASSERT_EQ(packed.Size, static_cast<std::int32_t>(packed.Out.size())) << what;
        const TResult back = Unpack(alg, packed.Out, static_cast<std::int32_t>(in.size()));
        ASSERT_TRUE(back.Ok) << what;
        EXPECT_EQ(back.Size, static_cast<std::int32_t>(in.size())) << what;
        EXPECT_EQ(back.Out, in) << what;
        if (alg != acaPPM) {
          const TResult unknown = Unpack(alg, packed.Out, 0);
          EXPECT_TRUE(unknown.Ok && unknown.Out == in) << what << " without the expected size";
        }
      }
}

TEST(Compression, CompressionFailuresGiveFalseAndNoBuffer) {
  const Bytes text = compression_samples::Text(1000);
  const Bytes none;
  struct Case {
    int Alg, Mode;
    const Bytes& In;
    const char* What;
  };
  const Case cases[] = {{0, 5, text, "algorithm 0"},     {4, 5, text, "algorithm 4"},   {255, 1, text, "algorithm 255"},
                        {1, 6, none, "empty zlib"},      {2, 6, none, "empty bzip2"},   {3, 6, none, "empty PPM"},
                        {0, 0, none, "empty none"},      {2, 0, text, "bzip2 mode 0"},  {2, 10, text, "bzip2 mode 10"},
                        {1, 10, text, "zlib mode 10"}};
  for (const Case& c : cases) ExpectFailure(Pack(static_cast<TQXLCompressionAlgorithm>(c.Alg), c.Mode, c.In), c.What);
}

TEST(Compression, DecompressionFailuresGiveFalse) {
  const Bytes packed = Pack(acaZLIB, 6, compression_samples::Text(1000)).Out;
  for (int alg : {0, 4, 200}) {
    const TResult r = Unpack(static_cast<TQXLCompressionAlgorithm>(alg), packed, 1000);
    EXPECT_FALSE(r.Ok) << alg;
    EXPECT_EQ(r.Size, 1000) << alg;  // kept as it was
    EXPECT_TRUE(r.Out.empty());
  }
  const TResult empty = Unpack(acaZLIB, Bytes{}, 1000);
  EXPECT_FALSE(empty.Ok);
  EXPECT_EQ(empty.Size, 1000);
  ExpectFailure(Unpack(acaPPM, Pack(acaPPM, 1, compression_samples::Text(1000)).Out, 0), "PPM without size");
  ExpectFailure(Unpack(acaZLIB, packed, -1), "negative size");
}

TEST(Compression, ZlibModeZeroStoresTheBytes) {
  const Bytes in = compression_samples::Random(3000);
  const TResult r = Pack(acaZLIB, 0, in);
  ASSERT_TRUE(r.Ok);
  EXPECT_GT(r.Size, 3000);
  EXPECT_EQ(r.Out[0], 0x78);
  EXPECT_EQ(r.Out[1], 0x01);  // no compression
  EXPECT_EQ(Bytes(r.Out.begin() + 7, r.Out.begin() + 107), Bytes(in.begin(), in.begin() + 100));
}

TEST(Compression, DamagedZlibDataGivesFalseWithAnEmptyErrorText) {
  Bytes packed = Pack(acaZLIB, 6, compression_samples::Text(5000)).Out;
  packed[packed.size() - 2] ^= 0x55;  // the checksum
  ExpectFailure(Unpack(acaZLIB, packed, 5000), "checksum");
  EXPECT_EQ(qxl::GetLastCompressionError(), "");
  ExpectFailure(Unpack(acaZLIB, Bytes{1, 2, 3, 4, 5}, 0), "no header");
}

TEST(Compression, ZlibStreamWantingADictionaryFails) {
  // Header with the preset-dictionary flag, a dictionary id and an empty block:
  // inflate asks for the dictionary on every call.
  const Bytes stream{0x78, 0xBB, 0x00, 0x00, 0x00, 0x01, 0x03, 0x00};
  ExpectFailure(Unpack(acaZLIB, stream, 0), "unknown size");
  ExpectFailure(Unpack(acaZLIB, stream, 100), "known size");
}

TEST(Compression, DecompressionGrowsPastAWrongExpectedSize) {
  const Bytes in = compression_samples::Zeros(300000);  // packs to far less than a step
  for (auto alg : {acaZLIB, acaBZIP}) {
    const Bytes packed = Pack(alg, 9, in).Out;
    ASSERT_LT(packed.size(), 2000u);
    for (std::int32_t expected : {0, 1, 299999, 300000, 500000}) {
      const TResult r = Unpack(alg, packed, expected);
      EXPECT_TRUE(r.Ok) << alg << " " << expected;
      EXPECT_EQ(r.Size, 300000);
      EXPECT_EQ(r.Out, in);
    }
  }
  // With the exact size the buffer never grows.
  const TResult exact = Unpack(acaZLIB, Pack(acaZLIB, 9, in).Out, 300000);
  EXPECT_EQ(exact.Out.capacity(), 300000u);
}

// A few hundred bytes that decode to 16 MiB: a caller that knows the size
// gets false without the buffer growing past it; without a size the whole
// output comes back.
TEST(Compression, DecodingBeyondAKnownSizeFailsAtOnce) {
  const std::int32_t huge = 16 << 20;
  const Bytes bzip2 = compression_samples::BZip2OfZeros(huge);
  const Bytes zlib = Pack(acaZLIB, 9, compression_samples::Zeros(huge)).Out;
  for (auto [alg, packed] : {std::pair{acaBZIP, &bzip2}, std::pair{acaZLIB, &zlib}}) {
    TResult known{false, {}, 102400};
    known.Ok = qxl::DecompressBufferOfKnownSize(alg, packed->data(), static_cast<std::int32_t>(packed->size()),
                                                known.Out, known.Size);
    ExpectFailure(known, "known size, algorithm " + std::to_string(alg));
    const TResult unknown = Unpack(alg, *packed, 0);
    EXPECT_TRUE(unknown.Ok) << alg;
    EXPECT_EQ(unknown.Size, huge) << alg;
  }
  // The exact size itself is fine.
  TResult exact{false, {}, huge};
  exact.Ok = qxl::DecompressBufferOfKnownSize(acaBZIP, bzip2.data(), static_cast<std::int32_t>(bzip2.size()), exact.Out,
                                              exact.Size);
  EXPECT_TRUE(exact.Ok);
  EXPECT_EQ(exact.Size, huge);
}

// Growth without a known size ends at the largest 32-bit size instead of
// jumping past it, so that an output between 1 and 2 GiB still fits.
TEST(Compression, BZip2GrowthStopsAtTheLargest32BitSize) {
  const std::size_t max = INT32_MAX, step = 65536;
  const std::pair<std::size_t, std::size_t> cases[] = {
      {1000, 1000 + step}, {1 << 20, 2 << 20}, {std::size_t{1} << 30, max}, {max - 1, max}};
  for (auto [from, to] : cases) EXPECT_EQ(qxl::BZip2GrownCapacity(from, step), to) << from;
}

TEST(Compression, AlgorithmNames) {
  const std::pair<const char*, TQXLCompressionAlgorithm> cases[] = {
      {"NONE", acaNone}, {"zlib", acaZLIB}, {"Bzip", acaBZIP}, {"pPm", acaPPM},
      {"", acaNone},     {"ZLIB ", acaNone}, {"LZMA", acaNone}, {"PPMd", acaNone}};
  for (auto [name, alg] : cases) EXPECT_EQ(qxl::CompressionAlgorithmFromName(name), alg) << name;
  for (std::size_t i = 0; i < qxl::CompressionAlgorithmNames.size(); ++i)
    EXPECT_EQ(qxl::CompressionAlgorithmFromName(qxl::CompressionAlgorithmNames[i]), static_cast<int>(i));
}

TEST(Compression, BlockSizeByMode) {
  const std::pair<int, std::int32_t> cases[] = {{0, 102400},  {1, 524288},  {3, 524288},  {4, 1048576},
                                                {6, 1048576}, {7, 1572864}, {9, 1572864}, {255, 1572864}};
  for (auto [mode, size] : cases) EXPECT_EQ(qxl::CompressedBlockSize(static_cast<std::uint8_t>(mode)), size) << mode;
  EXPECT_EQ(qxl::CompressedBlockSizes[0], 102400);
}
