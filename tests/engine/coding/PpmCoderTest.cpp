// The PPM coder: known streams, levels and headers, the bounds of both output
// areas, round trips across model restarts, and concurrent calls.
#include "engine/coding/PpmCoder.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "engine/coding/PpmModel.h"
#include "platform/Exception.h"
#include "tests/engine/coding/CompressionSamples.h"

using namespace qxl;

namespace {

using compression_samples::Bytes;

Bytes Compress(const Bytes& in, int level) {
  Bytes out;
  std::int32_t size = 0;
  qxl::PPMCompressBuffer(in.data(), static_cast<std::int32_t>(in.size()), out, size, level);
  EXPECT_EQ(size, static_cast<std::int32_t>(out.size()));
  return out;
}

Bytes Compress(const std::string& text, int level) { return Compress(Bytes(text.begin(), text.end()), level); }

// Decompresses expecting Expected bytes; the message of the exception when it raises.
std::string Decompress(const Bytes& in, std::int32_t Expected, Bytes& out) {
  std::int32_t size = Expected;
  try {
    qxl::PPMDecompressBuffer(in.data(), static_cast<std::int32_t>(in.size()), out, size);
  } catch (const platform::Exception& e) {
    EXPECT_TRUE(out.empty());
    return e.Message;
  }
  EXPECT_EQ(size, static_cast<std::int32_t>(out.size()));
  return "";
}

}  // namespace

TEST(PpmCoder, KnownStreams) {
  EXPECT_EQ(Compress("abracadabra", 1),
            (Bytes{0x11, 0x60, 0x00, 0x00, 0x79, 0x98, 0x02, 0xb5, 0x18, 0x3f, 0xa9, 0xe0, 0x66, 0xc4, 0x70, 0x00}));
  EXPECT_EQ(Compress("abracadabra", 3),
            (Bytes{0x63, 0x60, 0x00, 0x00, 0xb4, 0x1c, 0x9a, 0xfb, 0x0e, 0x53, 0x81, 0x47, 0x59, 0xae, 0x31, 0x00}));
  EXPECT_EQ(Compress("", 1), (Bytes{0x11, 0x60, 0x00, 0x00, 0xff, 0x28, 0x2c, 0x1b, 0x00}));
  Bytes out;
  EXPECT_EQ(Decompress(Compress("abracadabra", 3), 11, out), "");
  EXPECT_EQ(std::string(out.begin(), out.end()), "abracadabra");
}

TEST(PpmCoder, LevelsOutsideOneToNineAreClamped) {
  const Bytes text = compression_samples::Text(3000);
  EXPECT_EQ(Compress(text, 0), Compress(text, 1));
  const Bytes nine = Compress(text, 9);
  EXPECT_EQ(Compress(text, 12), nine);
  EXPECT_EQ(Bytes(nine.begin(), nine.begin() + 4), (Bytes{0x3f, 0x66, 0x00, 0x00}));
  for (int level = 1; level <= 9; ++level) {
    const Bytes s = Compress("x", level);
    const std::uint32_t header = s[0] | s[1] << 8 | s[2] << 16 | s[3] << 24;
    EXPECT_EQ(int(header & 0xF) + 1, qxl::PPMModelOrders[level - 1]);
    EXPECT_EQ(int(header >> 4 & 0xFF) + 1, std::min(qxl::PPMMemorySizes[level - 1], 100));
    EXPECT_EQ(header >> 12, 6u);
  }
}

TEST(PpmCoder, BadHeadersAndSizesRaise) {
  const Bytes good = Compress("abracadabra", 1);
  Bytes out;
  EXPECT_EQ(Decompress(good, 0, out), "PPM DecpmpressBuf: OutSize must be set");
  EXPECT_EQ(Decompress(good, -5, out), "PPM DecpmpressBuf: OutSize must be set");
  for (auto damage : {std::pair{2, 0x01}, {3, 0x80}, {1, 0x70}, {1, 0x40}, {0, 0x00}}) {
    Bytes bad = good;
    bad[damage.first] = static_cast<std::uint8_t>(damage.second);  // byte 0 = 0: order 1
    EXPECT_EQ(Decompress(bad, 11, out), "PPM Decompression error") << damage.first;
  }
  EXPECT_EQ(Decompress(Bytes(good.begin(), good.begin() + 3), 11, out), "PPM Decompression error");
}

TEST(PpmCoder, DecodingNeverPassesTheExpectedSize) {
  const Bytes text = compression_samples::Text(5000);
  const Bytes packed = Compress(text, 5);
  Bytes out;
  EXPECT_EQ(Decompress(packed, 4999, out), "PPM Decompression error");
  EXPECT_EQ(Decompress(packed, 1, out), "PPM Decompression error");
  EXPECT_EQ(Decompress(packed, 5000, out), "");
  EXPECT_EQ(out, text);
  // More room than needed: the size decoded is reported.
  EXPECT_EQ(Decompress(packed, 6000, out), "");
  EXPECT_EQ(out, text);
}

TEST(PpmCoder, EncodingNeverPassesItsArea) {
  qxl::TPPMAllocator heap;
  qxl::TPPMModel model(heap);
  const Bytes random = compression_samples::Random(4000);
  Bytes room(random.size() + random.size() / 20 + 50);
  const std::size_t needed = model.Encode(random.data(), random.size(), room.data(), room.size(), 2, 2);
  ASSERT_GT(needed, random.size());                         // random input grows a little...
  EXPECT_LT(needed, random.size() + random.size() / 20);  // ...and fits
  for (std::size_t cap : {needed - 1, needed / 2, std::size_t(4), std::size_t(0)}) {
    Bytes tight(cap);  // exactly cap bytes, so the sanitizer sees any overrun
    EXPECT_EQ(model.Encode(random.data(), random.size(), tight.data(), cap, 2, 2), 0u) << cap;
  }
  Bytes exact(needed);
  EXPECT_EQ(model.Encode(random.data(), random.size(), exact.data(), needed, 2, 2), needed);
  EXPECT_TRUE(std::equal(exact.begin(), exact.end(), room.begin()));
}

TEST(PpmCoder, RoundTripsAtEveryLevel) {
  using namespace compression_samples;
  const Bytes inputs[] = {Text(6000), Random(3000), Zeros(5000), Repetitive(6000)};
  for (const Bytes& in : inputs)
    for (int level = 1; level <= 9; ++level) {
      const Bytes packed = Compress(in, level);
      Bytes out;
      ASSERT_EQ(Decompress(packed, static_cast<std::int32_t>(in.size()), out), "") << level;
      ASSERT_EQ(out, in) << "level " << level << " size " << in.size();
    }
}

// Long inputs fill the model memory of the low levels: encoder and decoder
// must start afresh at the same symbol.
TEST(PpmCoder, RoundTripsAcrossModelRestarts) {
  qxl::TPPMAllocator heap;
  qxl::TPPMModel model(heap);
  struct Case {
    Bytes In;
    int Order, MiB;
  };
  // Levels 1 and 2: their orders and memory sizes.
  const Case cases[] = {{compression_samples::Random(100000, 5), 2, 2},
                        {compression_samples::Random(150000, 7), 3, 3}};
  for (const Case& c : cases) {
    Bytes packed(c.In.size() + c.In.size() / 20 + 50);
    packed.resize(model.Encode(c.In.data(), c.In.size(), packed.data(), packed.size(), c.Order, c.MiB));
    ASSERT_FALSE(packed.empty());
    const int restarts = model.Restarts();
    EXPECT_GE(restarts, 1) << c.Order;
    Bytes out(c.In.size());
    EXPECT_EQ(model.Decode(packed.data(), packed.size(), out.data(), out.size()), std::int64_t(c.In.size()));
    EXPECT_EQ(model.Restarts(), restarts);
    EXPECT_EQ(out, c.In);
  }
}

// The model is process-wide: concurrent calls must wait for one another.
TEST(PpmCoder, ConcurrentCallsTakeTurns) {
  std::vector<std::thread> threads;
  std::vector<int> good(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t, &good] {
      const Bytes in = compression_samples::Text(4000, 10 + t);
      for (int i = 0; i < 3; ++i) {
        Bytes packed, out;
        std::int32_t size = 0;
        qxl::PPMCompressBuffer(in.data(), 4000, packed, size, 1 + t);
        size = 4000;
        qxl::PPMDecompressBuffer(packed.data(), static_cast<std::int32_t>(packed.size()), out, size);
        good[t] += out == in;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(good, std::vector<int>(4, 3));
}
