#include "engine/coding/PpmCoder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::vector<std::uint8_t> Compress(const std::string& text, int level) {
  std::vector<std::uint8_t> out;
  std::int32_t size = 0;
  PPMCompressBuffer(text.data(), static_cast<std::int32_t>(text.size()), out, size, level);
  EXPECT_EQ(size, static_cast<std::int32_t>(out.size()));
  return out;
}

}  // namespace

TEST(PpmCoder, KnownStreams) {
  using V = std::vector<std::uint8_t>;
  EXPECT_EQ(Compress("abracadabra", 1),
            (V{0x11, 0x60, 0x00, 0x00, 0x79, 0x98, 0x02, 0xb5, 0x18, 0x3f, 0xa9, 0xe0, 0x66, 0xc4, 0x70, 0x00}));
  EXPECT_EQ(Compress("abracadabra", 3),
            (V{0x63, 0x60, 0x00, 0x00, 0xb4, 0x1c, 0x9a, 0xfb, 0x0e, 0x53, 0x81, 0x47, 0x59, 0xae, 0x31, 0x00}));
  EXPECT_EQ(Compress("", 1), (V{0x11, 0x60, 0x00, 0x00, 0xff, 0x28, 0x2c, 0x1b, 0x00}));
}
