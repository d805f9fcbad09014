#pragma once
// The carry-less range coder under the PPM model: 32-bit low and range,
// bytes out of the top of low, range kept at 2^15 or more.
#include <cstddef>
#include <cstdint>

namespace qxl {

class TPPMRangeEncoder {
public:
  TPPMRangeEncoder(std::uint8_t* Out, std::size_t Capacity) : FOut(Out), FCapacity(Capacity) {}

  void Encode(std::uint32_t Low, std::uint32_t High, std::uint32_t Total) {
    FRange /= Total;
    FLow += FRange * Low;
    FRange *= High - Low;
  }
  void ShiftEncode(std::uint32_t Low, std::uint32_t High) {
    FRange >>= 14;
    FLow += FRange * Low;
    FRange *= High - Low;
  }
  void Normalise() {
    while (!FOverflow) {
      if ((FLow ^ (FLow + FRange)) >= Top) {
        if (FRange >= Bottom) return;
        FRange = (0u - FLow) & (Bottom - 1);
      }
      Put(static_cast<std::uint8_t>(FLow >> 24));
      FLow <<= 8;
      FRange <<= 8;
    }
  }
  void Flush() {
    for (int i = 0; i < 4; ++i, FLow <<= 8) Put(static_cast<std::uint8_t>(FLow >> 24));
  }
  void Put(std::uint8_t b) {
    if (FPos < FCapacity)
      FOut[FPos++] = b;
    else
      FOverflow = true;
  }
  std::size_t Written() const { return FPos; }
  // True once a byte did not fit: nothing was written past the area.
  bool Overflow() const { return FOverflow; }

private:
  static constexpr std::uint32_t Top = 1u << 24, Bottom = 1u << 15;
  std::uint8_t* FOut;
  std::size_t FCapacity;
  std::size_t FPos = 0;
  bool FOverflow = false;
  std::uint32_t FLow = 0, FRange = 0xFFFFFFFFu;
};

class TPPMRangeDecoder {
public:
  TPPMRangeDecoder(const std::uint8_t* In, std::size_t Size) : FIn(In), FSize(Size) {
    for (int i = 0; i < 4; ++i) ShiftIn();
  }

  // The count that selects the next symbol's interval out of Total; false when
  // the data cannot come from the encoder (the count lies outside Total).
  bool GetCount(std::uint32_t Total, std::uint32_t& Count) {
    FRange /= Total;
    return Finish(Total, Count);
  }
  bool GetShiftCount(std::uint32_t& Count) {
    FRange >>= 14;
    return Finish(1u << 14, Count);
  }
  void Remove(std::uint32_t Low, std::uint32_t High) {
    FLow += FRange * Low;
    FRange *= High - Low;
  }
  void Normalise() {
    for (;;) {
      if ((FLow ^ (FLow + FRange)) >= Top) {
        if (FRange >= Bottom) return;
        FRange = (0u - FLow) & (Bottom - 1);
      }
      ShiftIn();
      FLow <<= 8;
      FRange <<= 8;
    }
  }

private:
  static constexpr std::uint32_t Top = 1u << 24, Bottom = 1u << 15;
  const std::uint8_t* FIn;
  std::size_t FSize;
  std::size_t FPos = 0;
  std::uint32_t FLow = 0, FRange = 0xFFFFFFFFu, FCode = 0;

  bool Finish(std::uint32_t Total, std::uint32_t& Count) {
    if (FRange == 0) return false;
    Count = (FCode - FLow) / FRange;
    return Count < Total;
  }
  // Past the end of the data the code reads as all ones.
  void ShiftIn() { FCode = FPos < FSize ? (FCode << 8) | FIn[FPos++] : 0xFFFFFFFFu; }
};

}  // namespace qxl
