#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/core/streams/QXLCompressedStreamBlockHeaders.h"
#include "engine/core/containers/QXLIndexPositionCache.h"
#include "engine/core/containers/QXLIntegerArray.h"
#include "engine/core/containers/QXLPageItemID.h"

using namespace qxl;

TEST(QXLIntegerArray, GrowthStepDoublesUpToItsCap) {
  struct Case {
    std::int32_t cap, allocAfterFirst, allocAfter21st, stepAfter21st;
  } cases[] = {{1000, 20, 60, 40}, {30, 20, 50, 30}};
  for (auto c : cases) {
    TQXLIntegerArray a(0, 10, c.cap);
    EXPECT_EQ(a.AllocItemCount(), 0);
    a.Append(7);
    EXPECT_EQ(a.AllocItemCount(), c.allocAfterFirst);
    for (int i = 1; i < 20; ++i) a.Append(i);
    EXPECT_EQ(a.AllocItemCount(), c.allocAfterFirst);
    a.Append(99);
    EXPECT_EQ(a.AllocItemCount(), c.allocAfter21st) << c.cap;
    EXPECT_EQ(a.AllocBy(), c.stepAfter21st);
    EXPECT_EQ(a.ItemCount(), 21);
    EXPECT_EQ(a[0], 7);
    EXPECT_EQ(a[20], 99);
  }
}

TEST(QXLIntegerArray, ShrinkReleasesOnlyBeyondTheThreshold) {
  TQXLIntegerArray a(0, 10, 1000);
  a.SetSize(100);  // step 20, allocation 100
  EXPECT_EQ(a.AllocItemCount(), 100);
  a.SetSize(95);  // 5 unused slots: kept
  EXPECT_EQ(a.AllocItemCount(), 100);
  EXPECT_EQ(a.DeAllocBy(), 10);
  a.SetSize(50);  // 50 unused slots: cut, threshold doubles
  EXPECT_EQ(a.AllocItemCount(), 50);
  EXPECT_EQ(a.DeAllocBy(), 20);
  EXPECT_EQ(a.ItemCount(), 50);
  a.SetSize(0);
  EXPECT_EQ(a.AllocItemCount(), 0);
  EXPECT_EQ(a.ItemCount(), 0);
}

TEST(QXLIntegerArray, SlotsReusedAfterAShrinkStartAtZero) {
  TQXLIntegerArray a;
  for (int i = 1; i <= 5; ++i) a.Append(i);
  a.SetSize(2);
  a.SetSize(4);
  EXPECT_EQ(a[2], 0);
  EXPECT_EQ(a[3], 0);
}

TEST(QXLIntegerArray, EditingOperations) {
  TQXLIntegerArray a;
  for (int v : {10, 20, 30, 40}) a.Append(v);
  a.Delete(1);
  EXPECT_EQ(a.ItemCount(), 3);
  EXPECT_EQ(a[1], 30);
  EXPECT_TRUE(a.IsValueExists(40));
  EXPECT_FALSE(a.IsValueExists(20));
  a.Insert(0, 5);
  a.Insert(100, 50);  // past the end appends
  std::vector<std::int32_t> all;
  a.CopyTo(all, 0, a.ItemCount());
  EXPECT_EQ(all, (std::vector<std::int32_t>{5, 10, 30, 40, 50}));
  a.MoveTo(0, 3);
  a.CopyTo(all, 0, a.ItemCount());
  EXPECT_EQ(all, (std::vector<std::int32_t>{10, 30, 40, 5, 50}));
  a.MoveTo(4, 1);
  a.CopyTo(all, 1, 2);
  EXPECT_EQ(all, (std::vector<std::int32_t>{50, 30}));
  EXPECT_EQ(a.IndexOf(5), 4);
  EXPECT_EQ(a.IndexOf(6), -1);
  TQXLIntegerArray b;
  b.Assign(a);
  EXPECT_EQ(b.ItemCount(), 5);
  EXPECT_EQ(b[1], 50);
}

TEST(QXLIntegerArray, PositionsOutsideTheArrayAreRefused) {
  TQXLIntegerArray a;
  a.Append(1);
  EXPECT_THROW(a.Delete(1), EQXLListError);
  EXPECT_THROW(a.Delete(-1), EQXLListError);
  EXPECT_THROW(a[1], EQXLListError);
  EXPECT_THROW(a.MoveTo(0, 1), EQXLListError);
  std::vector<std::int32_t> out;
  EXPECT_THROW(a.CopyTo(out, 0, 2), EQXLListError);
  EXPECT_THROW(a.SetSize(-1), EQXLListError);
  EXPECT_EQ(a.ItemCount(), 1);
}

TEST(QXLCompressedStreamBlockHeadersArray, StartsEmptyAndKeepsHeadersWithPositions) {
  TQXLCompressedStreamBlockHeadersArray a;
  EXPECT_EQ(a.AllocBy(), 10);
  EXPECT_EQ(a.DeAllocBy(), 10);
  EXPECT_EQ(a.MaxAllocBy(), 10000);
  EXPECT_EQ(a.AllocItemCount(), 0);
  a.AppendItem({5, 10, 0xDEADBEEF, 25}, 100);
  EXPECT_EQ(a.AllocItemCount(), 20);
  EXPECT_EQ(a.ItemCount(), 1);
  EXPECT_EQ(a.Item(0).Crc32, 0xDEADBEEFu);
  EXPECT_EQ(a.Item(0).OffsetToNextHeader, 25);
  EXPECT_EQ(a.Position(0), 100);
  EXPECT_THROW(a.Item(1), EQXLListError);
}

TEST(QXLCompressedStreamBlockHeadersArray, FindPositionGivesTheBlockHoldingAPosition) {
  TQXLCompressedStreamBlockHeadersArray a;
  EXPECT_EQ(a.FindPosition(5), 0);
  for (std::int64_t p : {100, 250, 600}) a.AppendItem({}, p);
  struct {
    std::int64_t pos, item;
  } cases[] = {{50, 0}, {100, 0}, {249, 0}, {250, 1}, {300, 1}, {600, 2}, {900, 2}};
  for (auto c : cases) EXPECT_EQ(a.FindPosition(c.pos), c.item) << c.pos;
}

TEST(QXLCompressedStreamBlockHeader, StoredFormIsTwentyLittleEndianBytes) {
  TQXLCompressedStreamBlockHeader h{0x11223344, 5, 0xCAFEBABE, 0x0102030405060708};
  std::uint8_t bytes[20];
  h.Encode(bytes);
  const std::uint8_t expected[20] = {0x44, 0x33, 0x22, 0x11, 5,    0,    0,    0,    0xBE, 0xBA,
                                     0xFE, 0xCA, 8,    7,    6,    5,    4,    3,    2,    1};
  EXPECT_EQ(std::memcmp(bytes, expected, 20), 0);
  auto back = TQXLCompressedStreamBlockHeader::Decode(bytes);
  EXPECT_EQ(back.CompressedSize, h.CompressedSize);
  EXPECT_EQ(back.UncompressedSize, 5);
  EXPECT_EQ(back.Crc32, h.Crc32);
  EXPECT_EQ(back.OffsetToNextHeader, h.OffsetToNextHeader);
}

TEST(QXLPageItemID, IsSixPackedBytes) {
  EXPECT_EQ(sizeof(TQXLPageItemID), 6u);
  EXPECT_EQ(alignof(TQXLPageItemID), 1u);
  std::uint8_t bytes[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0x34, 0x12};
  TQXLPageItemID id;
  std::memcpy(&id, bytes, 6);
  std::int32_t page = id.PageNo;
  std::uint16_t item = id.PageItemNo;
  EXPECT_EQ(page, -1);
  EXPECT_EQ(item, 0x1234);
  EXPECT_TRUE((id == TQXLPageItemID{-1, 0x1234}));
}

TEST(QXLIndexPositionCache, StartsWithoutAPosition) {
  TQXLIndexPositionCache c;
  EXPECT_EQ(c.Position, nullptr);
  EXPECT_EQ(c.IndexID, -1);
  EXPECT_EQ(c.TableState, -1);
  EXPECT_TRUE((c.RecordID == TQXLPageItemID{0, 0}));
}
