#pragma once
// The 20-byte header stored before every block of a compressed BLOB, and the
// array in which an open BLOB keeps its headers with their stream positions.
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/core/containers/QXLArrayGrowth.h"

namespace qxl {

// In memory the record keeps its natural alignment; its stored form is the
// 20 packed little-endian bytes that Encode and Decode give.
struct TQXLCompressedStreamBlockHeader {
  static constexpr int StoredSize = 20;

  std::int32_t CompressedSize = 0;
  std::int32_t UncompressedSize = 0;
  std::uint32_t Crc32 = 0;
  std::int64_t OffsetToNextHeader = 0;

  void Encode(std::uint8_t (&Bytes)[StoredSize]) const {
    std::memcpy(Bytes, &CompressedSize, 4);
    std::memcpy(Bytes + 4, &UncompressedSize, 4);
    std::memcpy(Bytes + 8, &Crc32, 4);
    std::memcpy(Bytes + 12, &OffsetToNextHeader, 8);
  }
  static TQXLCompressedStreamBlockHeader Decode(const std::uint8_t (&Bytes)[StoredSize]) {
    TQXLCompressedStreamBlockHeader h;
    std::memcpy(&h.CompressedSize, Bytes, 4);
    std::memcpy(&h.UncompressedSize, Bytes + 4, 4);
    std::memcpy(&h.Crc32, Bytes + 8, 4);
    std::memcpy(&h.OffsetToNextHeader, Bytes + 12, 8);
    return h;
  }
};

static_assert(std::endian::native == std::endian::little, "stored forms are little endian");

class TQXLCompressedStreamBlockHeadersArray {
public:
  TQXLCompressedStreamBlockHeadersArray() : FGrowth{10, 10, 10000} {}

  void SetSize(std::int64_t NewSize);
  void AppendItem(const TQXLCompressedStreamBlockHeader& Value, std::int64_t Pos);
  // The last item whose position is at most Pos (positions ascend); 0 when the
  // array is empty or Pos lies before the first position.
  std::int64_t FindPosition(std::int64_t Pos) const;

  TQXLCompressedStreamBlockHeader& Item(std::int64_t ItemNo) { return FItems[Checked(ItemNo)]; }
  const TQXLCompressedStreamBlockHeader& Item(std::int64_t ItemNo) const { return FItems[Checked(ItemNo)]; }
  std::int64_t& Position(std::int64_t ItemNo) { return FPositions[Checked(ItemNo)]; }
  std::int64_t Position(std::int64_t ItemNo) const { return FPositions[Checked(ItemNo)]; }

  std::int64_t ItemCount() const { return FItemCount; }
  std::int64_t AllocItemCount() const { return static_cast<std::int64_t>(FItems.size()); }
  std::int64_t AllocBy() const { return FGrowth.AllocBy; }
  std::int64_t DeAllocBy() const { return FGrowth.DeAllocBy; }
  std::int64_t MaxAllocBy() const { return FGrowth.MaxAllocBy; }

private:
  std::size_t Checked(std::int64_t ItemNo) const {
    qxl::CheckListIndex(ItemNo, FItemCount);
    return static_cast<std::size_t>(ItemNo);
  }

  std::vector<TQXLCompressedStreamBlockHeader> FItems;  // its size is the allocation
  std::vector<std::int64_t> FPositions;                  // same length as FItems
  std::int64_t FItemCount = 0;
  TQXLArrayGrowth FGrowth;
};

}  // namespace qxl
