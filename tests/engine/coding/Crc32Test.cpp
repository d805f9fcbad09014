// The engine's check value: known values, pieces, and the table loop it
// stands for.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/coding/Crc32.h"
#include "tests/engine/coding/CompressionSamples.h"

using namespace qxl;

namespace {

// The table loop as the stored check values were made: no inversions.
std::uint32_t TableCrc(std::uint32_t c, const std::uint8_t* p, std::size_t n) {
  std::uint32_t table[256];
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t e = i;
    for (int k = 0; k < 8; ++k) e = e & 1 ? (e >> 1) ^ 0xEDB88320u : e >> 1;
    table[i] = e;
  }
  EXPECT_EQ(table[1], 0x77073096u);
  EXPECT_EQ(table[128], 0xEDB88320u);
  EXPECT_EQ(table[255], 0x2D02EF8Du);
  for (std::size_t i = 0; i < n; ++i) c = table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
  return c;
}

}  // namespace

TEST(Crc32, KnownValuesStartFromZeroWithoutInversion) {
  EXPECT_EQ(qxl::UpdateCrc32(0, "abc", 3), 0xCA6598D0u);
  EXPECT_EQ(qxl::UpdateCrc32(0, "123456789", 9), 0x2DFD2D88u);
  for (std::uint32_t x : {0u, 1u, 0xDEADBEEFu, 0xFFFFFFFFu}) {
    EXPECT_EQ(qxl::UpdateCrc32(x, "abc", 0), x);
    EXPECT_EQ(qxl::UpdateCrc32(x, nullptr, 0), x);
  }
}

TEST(Crc32, PiecesContinueAndMatchTheTableLoop) {
  const auto data = compression_samples::Random(5000);
  const std::uint32_t whole = qxl::UpdateCrc32(0, data.data(), 5000);
  EXPECT_EQ(whole, TableCrc(0, data.data(), data.size()));
  for (std::uint32_t cut : {1u, 7u, 2500u, 4999u})
    EXPECT_EQ(qxl::UpdateCrc32(qxl::UpdateCrc32(0, data.data(), cut), data.data() + cut, 5000 - cut), whole) << cut;
  EXPECT_EQ(qxl::UpdateCrc32(0x12345678u, data.data(), 100), TableCrc(0x12345678u, data.data(), 100));
}
