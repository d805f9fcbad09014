#include "engine/core/containers/QXLSparseBitSet.h"

#include <algorithm>
#include <bit>

#include "engine/core/QXLException.h"
#include "engine/core/containers/QXLListError.h"

namespace qxl {

namespace {

constexpr const char* kInvalidBit = "Invalid bit no = %d, number of bits = %d";

std::int64_t BlockOf(std::int64_t BitNo) { return BitNo / TQXLSparseBitSet::BlockBits; }
std::int32_t OffsetOf(std::int64_t BitNo) { return static_cast<std::int32_t>(BitNo % TQXLSparseBitSet::BlockBits); }

// The bits of a word below Bit (0 .. 64).
std::uint64_t BitsBelow(std::int32_t Bit) { return Bit >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << Bit) - 1; }

}  // namespace

std::vector<TQXLSparseBitSet::TBlock>::const_iterator TQXLSparseBitSet::BlockAtOrAfter(std::int64_t No) const {
  return std::lower_bound(FBlocks.begin(), FBlocks.end(), No,
                          [](const TBlock& Block, std::int64_t Value) { return Block.No < Value; });
}

void TQXLSparseBitSet::SetSize(std::int64_t Value) {
  if (Value < 0) throw EQXLListError(Value);
  if (Value < FSize) {
    // Blocks wholly past the new size go; the one it cuts loses its upper bits.
    auto Cut = std::lower_bound(FBlocks.begin(), FBlocks.end(), BlockOf(Value),
                                [](const TBlock& Block, std::int64_t No) { return Block.No < No; });
    if (Cut != FBlocks.end() && Cut->No == BlockOf(Value)) {
      const std::int32_t Offset = OffsetOf(Value);
      for (std::int32_t w = 0; w < WordsPerBlock; ++w) {
        const std::int32_t Keep = std::clamp(Offset - w * 64, 0, 64);
        Cut->Words[static_cast<std::size_t>(w)] &= BitsBelow(Keep);
      }
      std::int32_t Count = 0;
      for (std::uint64_t Word : Cut->Words) Count += std::popcount(Word);
      Cut->Count = Count;
      if (Count > 0) ++Cut;
    }
    FBlocks.erase(Cut, FBlocks.end());
    FCount = 0;
    for (const TBlock& Block : FBlocks) FCount += Block.Count;
    FCountsValid = false;
  }
  FSize = Value;
}

bool TQXLSparseBitSet::Get(std::int64_t BitNo) const {
  if (BitNo < 0 || BitNo >= FSize) throw EQXLException(10394, kInvalidBit, {BitNo, FSize});
  const auto It = BlockAtOrAfter(BlockOf(BitNo));
  if (It == FBlocks.end() || It->No != BlockOf(BitNo)) return false;
  const std::int32_t Offset = OffsetOf(BitNo);
  return (It->Words[static_cast<std::size_t>(Offset / 64)] >> (Offset % 64)) & 1u;
}

void TQXLSparseBitSet::Set(std::int64_t BitNo, bool Value) {
  if (BitNo < 0 || BitNo >= FSize) throw EQXLException(10395, kInvalidBit, {BitNo, FSize});
  const std::int64_t No = BlockOf(BitNo);
  auto It = FBlocks.begin() + (BlockAtOrAfter(No) - FBlocks.cbegin());
  if (It == FBlocks.end() || It->No != No) {
    if (!Value) return;
    It = FBlocks.insert(It, TBlock{});
    It->No = No;
  }
  const std::int32_t Offset = OffsetOf(BitNo);
  std::uint64_t& Word = It->Words[static_cast<std::size_t>(Offset / 64)];
  const std::uint64_t Mask = std::uint64_t{1} << (Offset % 64);
  if (((Word & Mask) != 0) == Value) return;
  Word ^= Mask;
  const std::int32_t Step = Value ? 1 : -1;
  It->Count += Step;
  FCount += Step;
  if (It->Count == 0) FBlocks.erase(It);
  FCountsValid = false;
}

void TQXLSparseBitSet::SetAll() {
  const std::int64_t Size = FSize;
  Clear();
  FSize = Size;
  for (std::int64_t No = 0; No * BlockBits < Size; ++No) {
    TBlock& Block = FBlocks.emplace_back();
    Block.No = No;
    const std::int64_t Bits = std::min(BlockBits, Size - No * BlockBits);
    for (std::int32_t w = 0; w < WordsPerBlock; ++w)
      Block.Words[static_cast<std::size_t>(w)] = BitsBelow(static_cast<std::int32_t>(std::clamp<std::int64_t>(Bits - w * 64, 0, 64)));
    Block.Count = static_cast<std::int32_t>(Bits);
  }
  FCount = Size;
}

void TQXLSparseBitSet::Clear() {
  FBlocks.clear();
  FBlocks.shrink_to_fit();
  FCountsBefore.clear();
  FCountsValid = true;
  FSize = 0;
  FCount = 0;
}

void TQXLSparseBitSet::EnsureCountsBefore() const {
  if (FCountsValid && FCountsBefore.size() == FBlocks.size()) return;
  FCountsBefore.resize(FBlocks.size());
  std::int64_t Sum = 0;
  for (std::size_t i = 0; i < FBlocks.size(); ++i) {
    FCountsBefore[i] = Sum;
    Sum += FBlocks[i].Count;
  }
  FCountsValid = true;
}

std::int64_t TQXLSparseBitSet::SetBitsBelow(std::int64_t BitNo) const {
  EnsureCountsBefore();
  const auto It = BlockAtOrAfter(BlockOf(BitNo));
  if (It == FBlocks.end()) return FCount;
  const std::size_t Index = static_cast<std::size_t>(It - FBlocks.begin());
  std::int64_t Below = FCountsBefore[Index];
  if (It->No != BlockOf(BitNo)) return Below;
  const std::int32_t Offset = OffsetOf(BitNo);
  for (std::int32_t w = 0; w <= Offset / 64 && w < WordsPerBlock; ++w)
    Below += std::popcount(It->Words[static_cast<std::size_t>(w)] & BitsBelow(std::clamp(Offset - w * 64, 0, 64)));
  return Below;
}

std::int64_t TQXLSparseBitSet::Select(std::int64_t Rank) const {
  if (Rank < 0 || Rank >= FCount) throw EQXLException(10428, kInvalidBit, {Rank, FCount});
  EnsureCountsBefore();
  const auto After = std::upper_bound(FCountsBefore.begin(), FCountsBefore.end(), Rank);
  const std::size_t Index = static_cast<std::size_t>(After - FCountsBefore.begin()) - 1;
  const TBlock& Block = FBlocks[Index];
  std::int64_t Left = Rank - FCountsBefore[Index];
  for (std::int32_t w = 0; w < WordsPerBlock; ++w) {
    std::uint64_t Word = Block.Words[static_cast<std::size_t>(w)];
    const std::int32_t InWord = std::popcount(Word);
    if (Left >= InWord) {
      Left -= InWord;
      continue;
    }
    for (; Left > 0; --Left) Word &= Word - 1;
    return Block.No * BlockBits + w * 64 + std::countr_zero(Word);
  }
  throw EQXLException(10428, kInvalidBit, {Rank, FCount});
}

std::int64_t TQXLSparseBitSet::FirstSetFrom(const TBlock& Block, std::int64_t From) {
  for (std::int64_t Offset = std::max<std::int64_t>(From - Block.No * BlockBits, 0); Offset < BlockBits;) {
    const std::uint64_t Word = Block.Words[static_cast<std::size_t>(Offset / 64)] & ~BitsBelow(static_cast<std::int32_t>(Offset % 64));
    if (Word != 0) return Block.No * BlockBits + (Offset / 64) * 64 + std::countr_zero(Word);
    Offset = (Offset / 64 + 1) * 64;
  }
  return -1;
}

std::int64_t TQXLSparseBitSet::LastSetBelow(const TBlock& Block, std::int64_t Limit) {
  for (std::int64_t End = std::min(Limit - Block.No * BlockBits, BlockBits); End > 0;) {
    const std::int64_t w = (End - 1) / 64;
    const std::uint64_t Word = Block.Words[static_cast<std::size_t>(w)] & BitsBelow(static_cast<std::int32_t>(End - w * 64));
    if (Word != 0) return Block.No * BlockBits + w * 64 + 63 - std::countl_zero(Word);
    End = w * 64;
  }
  return -1;
}

bool TQXLSparseBitSet::Find(bool Restart, bool GoForward, std::int64_t CurBitNo, std::int64_t& FoundBitNo) const {
  if (GoForward) {
    const std::int64_t From = Restart ? 0 : CurBitNo + 1;
    if (From < 0 || From >= FSize) return false;
    for (auto It = BlockAtOrAfter(BlockOf(From)); It != FBlocks.end(); ++It) {
      const std::int64_t Bit = FirstSetFrom(*It, From);
      if (Bit >= FSize) return false;
      if (Bit >= 0) {
        FoundBitNo = Bit;
        return true;
      }
    }
    return false;
  }
  const std::int64_t Limit = std::min(Restart ? FSize : CurBitNo, FSize);
  if (Limit <= 0) return false;
  for (auto It = BlockAtOrAfter(BlockOf(Limit - 1) + 1); It != FBlocks.begin();) {
    const std::int64_t Bit = LastSetBelow(*--It, Limit);
    if (Bit >= 0) {
      FoundBitNo = Bit;
      return true;
    }
  }
  return false;
}

}  // namespace qxl
