#pragma once
// A set of bits numbered with 64-bit numbers, held in blocks of 4096 bits of
// which only those with a set bit exist, so that its memory follows the bits
// it holds rather than the highest number: a record view numbered by record
// identity or by index position. Ranks and selects of set bits go through
// the counts of the blocks before, rebuilt after a change when first asked.
// Thread rule: none of its own; one owner.
#include <array>
#include <cstdint>
#include <vector>

namespace qxl {

class TQXLSparseBitSet {
public:
  static constexpr std::int64_t BlockBits = 4096;

  // Bits at and above Size read as clear; a smaller size clears them. A
  // negative size raises a list error.
  std::int64_t Size() const { return FSize; }
  void SetSize(std::int64_t Value);
  std::int64_t Count() const { return FCount; }
  std::size_t BlockCount() const { return FBlocks.size(); }

  // Numbers outside 0 .. Size-1 raise 10394 (read) and 10395 (write).
  bool Get(std::int64_t BitNo) const;
  void Set(std::int64_t BitNo, bool Value);
  // Every bit below Size set.
  void SetAll();
  void Clear();

  // The number of set bits below BitNo.
  std::int64_t SetBitsBelow(std::int64_t BitNo) const;
  // The set bit with Rank set bits below it; 10428 when there is none.
  std::int64_t Select(std::int64_t Rank) const;
  // The next set bit after (GoForward) or before CurBitNo, or the first
  // (last) when Restart is set.
  bool Find(bool Restart, bool GoForward, std::int64_t CurBitNo, std::int64_t& FoundBitNo) const;

private:
  static constexpr std::int32_t WordsPerBlock = BlockBits / 64;
  struct TBlock {
    std::int64_t No = 0;
    std::int32_t Count = 0;
    std::array<std::uint64_t, WordsPerBlock> Words{};
  };

  // The first block numbered No or higher.
  std::vector<TBlock>::const_iterator BlockAtOrAfter(std::int64_t No) const;
  void EnsureCountsBefore() const;
  // The highest set bit below Limit in Block; -1 when none.
  static std::int64_t LastSetBelow(const TBlock& Block, std::int64_t Limit);
  // The lowest set bit at or above From in Block; -1 when none.
  static std::int64_t FirstSetFrom(const TBlock& Block, std::int64_t From);

  std::vector<TBlock> FBlocks;  // ascending by No
  mutable std::vector<std::int64_t> FCountsBefore;
  mutable bool FCountsValid = true;
  std::int64_t FSize = 0;
  std::int64_t FCount = 0;
};

}  // namespace qxl
