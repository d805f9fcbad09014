#pragma once
// A bit array that keeps the count of its set bits, with rank and select of
// set bits and a stream form (record bitmaps, page maps).
#include <array>
#include <cstdint>
#include <vector>

namespace qxl {

class TQXLStream;

class TQXLBitsArray {
public:
  TQXLBitsArray();

  std::int32_t Size() const { return FBitCount; }
  void SetSize(std::int32_t Value);
  std::int32_t NonZeroBitCount() const { return FNonZeroBitCount; }

  bool GetBit(std::int32_t BitNo) const;
  void SetBit(std::int32_t BitNo, bool Value);
  // The set bit of rank BitPosition (counted from 0).
  std::int32_t GetBitNoByBitPosition(std::int32_t BitPosition) const;
  // The rank of BitNo among the set bits: the set bits at or below it, minus one.
  std::int32_t GetBitPositionByBitNo(std::int32_t BitNo) const;
  void SetAllBits();
  // The lowest bit equal to Value.
  bool FindBit(bool Value, std::int32_t& BitNo) const;
  // The next set bit from CurBitNo (exclusive) in the given direction, or from
  // the first or last bit when Restart is set.
  bool Find(bool Restart, bool GoForward, std::int32_t CurBitNo, std::int32_t& FoundBitNo) const;
  std::int32_t CountSetBits() const;

  // Bit count, set-bit count, then the bit bytes when there are bits.
  void LoadFromStream(TQXLStream& Stream);
  void SaveToStream(TQXLStream& Stream) const;

  const std::uint8_t* Bits() const { return FBits.data(); }

private:
  void ClearBitsPastSize();

  std::vector<std::uint8_t> FBits;
  std::int32_t FBitCount = 0;
  std::int32_t FNonZeroBitCount = 0;
  std::array<std::uint8_t, 256> FBitsTable{};
};

}  // namespace qxl
