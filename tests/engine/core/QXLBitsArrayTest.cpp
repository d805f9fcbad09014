#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/containers/QXLBitsArray.h"
#include "engine/core/QXLException.h"
#include "tests/engine/core/QXLSchemaTestSupport.h"

using namespace qxl;

namespace {

TQXLBitsArray WithBits(std::int32_t size, std::initializer_list<std::int32_t> set) {
  TQXLBitsArray a;
  a.SetSize(size);
  for (auto b : set) a.SetBit(b, true);
  return a;
}

}  // namespace

TEST(QXLBitBuffer, NumbersBitsLikeTheNullBitmap) {
  std::uint8_t buf[3] = {};
  qxl::SetBitInBuffer(true, 0, buf);
  qxl::SetBitInBuffer(true, 9, buf);
  qxl::SetBitInBuffer(true, 23, buf);
  EXPECT_EQ(buf[0], 0x01);
  EXPECT_EQ(buf[1], 0x02);
  EXPECT_EQ(buf[2], 0x80);
  EXPECT_TRUE(qxl::GetBitInBuffer(9, buf));
  EXPECT_FALSE(qxl::GetBitInBuffer(8, buf));
  qxl::SetBitInBuffer(false, 9, buf);
  EXPECT_EQ(buf[1], 0x00);
}

TEST(QXLBitsArray, SizeSetAllBitsAndShrink) {
  TQXLBitsArray a;
  a.SetSize(10);
  EXPECT_EQ(a.Size(), 10);
  EXPECT_EQ(a.NonZeroBitCount(), 0);
  a.SetAllBits();
  EXPECT_EQ(a.NonZeroBitCount(), 10);
  EXPECT_EQ(a.Bits()[1], 0x03);  // only the bits below the size
  a.SetSize(3);
  EXPECT_EQ(a.NonZeroBitCount(), 3);
  a.SetSize(0);
  EXPECT_EQ(a.NonZeroBitCount(), 0);
}

// Bits cut off by a shrink must not come back set when the array grows again.
TEST(QXLBitsArray, GrowingAfterAShrinkBringsNoStaleBits) {
  TQXLBitsArray a;
  a.SetSize(10);
  a.SetAllBits();
  a.SetSize(3);
  a.SetSize(16);
  EXPECT_EQ(a.NonZeroBitCount(), 3);
  EXPECT_EQ(a.CountSetBits(), 3);
  for (int b = 3; b < 16; ++b) EXPECT_FALSE(a.GetBit(b)) << b;
  EXPECT_EQ(a.GetBitPositionByBitNo(15), 2);
  std::int32_t found = -1;
  EXPECT_TRUE(a.Find(true, false, 0, found));
  EXPECT_EQ(found, 2);
}

TEST(QXLBitsArray, SetBitKeepsTheCount) {
  auto a = WithBits(10, {1, 4, 9});
  EXPECT_EQ(a.NonZeroBitCount(), 3);
  a.SetBit(4, true);  // unchanged
  EXPECT_EQ(a.NonZeroBitCount(), 3);
  a.SetBit(4, false);
  EXPECT_EQ(a.NonZeroBitCount(), 2);
  EXPECT_FALSE(a.GetBit(4));
}

TEST(QXLBitsArray, RankAndSelect) {
  auto a = WithBits(10, {1, 4, 9});
  EXPECT_EQ(a.GetBitPositionByBitNo(4), 1);
  EXPECT_EQ(a.GetBitPositionByBitNo(9), 2);
  EXPECT_EQ(a.GetBitPositionByBitNo(0), -1);
  EXPECT_EQ(a.GetBitNoByBitPosition(0), 1);
  EXPECT_EQ(a.GetBitNoByBitPosition(2), 9);
  EXPECT_EQ(NativeCodeOf([&] { a.GetBitNoByBitPosition(3); }), 10428);

  // Across many whole bytes, and the shortcut when every bit is set.
  auto big = WithBits(100, {0, 17, 18, 64, 99});
  for (int rank = 0; rank < 5; ++rank)
    EXPECT_EQ(big.GetBitPositionByBitNo(big.GetBitNoByBitPosition(rank)), rank);
  big.SetAllBits();
  EXPECT_EQ(big.GetBitPositionByBitNo(57), 57);
  EXPECT_EQ(big.GetBitNoByBitPosition(57), 57);
}

TEST(QXLBitsArray, BitNumbersOutsideTheArrayRaise) {
  auto a = WithBits(10, {1});
  struct {
    int code;
    std::function<void()> call;
  } cases[] = {
      {10394, [&] { a.GetBit(10); }},
      {10394, [&] { a.GetBit(-1); }},
      {10395, [&] { a.SetBit(10, true); }},
      {10429, [&] { a.GetBitPositionByBitNo(10); }},
      {10428, [&] { a.GetBitNoByBitPosition(-1); }},
  };
  for (auto& c : cases) EXPECT_EQ(NativeCodeOf(c.call), c.code);
  EXPECT_EQ(MessageOf([&] { a.GetBit(12); }), "Invalid bit no = 12, number of bits = 10 - Native error: 10394");
}

TEST(QXLBitsArray, FindWalksSetBits) {
  auto a = WithBits(10, {2, 5});
  std::int32_t found = -1;
  EXPECT_TRUE(a.Find(true, true, 0, found));
  EXPECT_EQ(found, 2);
  EXPECT_TRUE(a.Find(false, true, found, found));
  EXPECT_EQ(found, 5);
  EXPECT_FALSE(a.Find(false, true, found, found));
  EXPECT_TRUE(a.Find(true, false, 0, found));  // backward from the last bit
  EXPECT_EQ(found, 5);
  EXPECT_TRUE(a.Find(false, false, 5, found));
  EXPECT_EQ(found, 2);
  EXPECT_FALSE(a.Find(false, false, 2, found));
  auto last = WithBits(10, {9});
  EXPECT_FALSE(last.Find(false, true, 9, found));

  EXPECT_TRUE(a.FindBit(false, found));
  EXPECT_EQ(found, 0);
  EXPECT_TRUE(a.FindBit(true, found));
  EXPECT_EQ(found, 2);
  TQXLBitsArray empty;
  EXPECT_FALSE(empty.FindBit(false, found));
  EXPECT_FALSE(empty.Find(true, false, 0, found));
}

TEST(QXLBitsArray, StoredFormGoldenBytesAndRoundTrip) {
  auto a = WithBits(10, {1, 4, 9});
  TQXLMemoryStream s;
  a.SaveToStream(s);
  EXPECT_EQ(ContentOf(s), (Int32LE(10) + Int32LE(3) + Bytes{0x12, 0x02}));
  s.SetPosition(0);
  TQXLBitsArray back;
  back.LoadFromStream(s);
  EXPECT_EQ(back.Size(), 10);
  EXPECT_EQ(back.NonZeroBitCount(), 3);
  EXPECT_EQ(back.GetBitNoByBitPosition(2), 9);

  TQXLBitsArray empty;
  Fill(s, {});
  empty.SaveToStream(s);
  EXPECT_EQ(ContentOf(s), Int32LE(0) + Int32LE(0));
}

TEST(QXLBitsArray, LoadingClearsBitsBeyondTheSize) {
  TQXLMemoryStream s;
  Fill(s, Int32LE(10) + Int32LE(10) + Bytes{0xFF, 0xFF});
  TQXLBitsArray a;
  a.LoadFromStream(s);
  a.SetSize(16);
  EXPECT_EQ(a.CountSetBits(), 10);
}

TEST(QXLBitsArray, DamagedStreamsFailWithTheirCodes) {
  struct {
    Bytes bytes;
    std::int32_t code;
  } cases[] = {
      {Bytes{1, 0}, 10401},
      {Int32LE(10), 10426},
      {Int32LE(10) + Int32LE(1) + Bytes{0}, 10402},
      {Int32LE(-8) + Int32LE(0), 10401},
      {Int32LE(8) + Int32LE(9) + Bytes{0}, 10426},
      {Int32LE(0x7FFFFFFF) + Int32LE(0), 10402},  // claims 256 MiB the stream does not hold
  };
  TQXLMemoryStream s;
  for (auto& c : cases) {
    Fill(s, c.bytes);
    TQXLBitsArray a;
    a.SetSize(3);
    EXPECT_EQ(NativeCodeOf([&] { a.LoadFromStream(s); }), c.code);
    EXPECT_EQ(a.Size(), 3);
  }
}
