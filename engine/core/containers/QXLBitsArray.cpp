#include "engine/core/containers/QXLBitsArray.h"

#include <algorithm>
#include <bit>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/QXLException.h"
#include "engine/core/containers/QXLListError.h"
#include "engine/core/streams/QXLStream.h"

namespace qxl {

namespace {

constexpr const char* kInvalidBit = "Invalid bit no = %d, number of bits = %d";

std::size_t ByteCount(std::int32_t bits) { return (static_cast<std::size_t>(bits) + 7) / 8; }

}  // namespace

TQXLBitsArray::TQXLBitsArray() {
  for (unsigned b = 0; b < 256; ++b) FBitsTable[b] = static_cast<std::uint8_t>(std::popcount(b));
}

// Bits beyond the size are kept clear, so that the table-driven counts hold
// and no stale bit comes back when the array grows again.
void TQXLBitsArray::ClearBitsPastSize() {
  if (FBitCount % 8 != 0) FBits.back() &= static_cast<std::uint8_t>((1u << (FBitCount % 8)) - 1);
}

void TQXLBitsArray::SetSize(std::int32_t Value) {
  if (Value < 0) throw EQXLListError(Value);
  std::int32_t old = FBitCount;
  if (Value == 0) {
    FBits.clear();
    FBits.shrink_to_fit();
    FNonZeroBitCount = 0;
  } else {
    FBits.resize(ByteCount(Value), 0);
  }
  FBitCount = Value;
  if (Value > 0 && Value < old) {
    ClearBitsPastSize();
    FNonZeroBitCount = CountSetBits();
  }
}

bool TQXLBitsArray::GetBit(std::int32_t BitNo) const {
  if (BitNo < 0 || BitNo >= FBitCount) throw EQXLException(10394, kInvalidBit, {BitNo, FBitCount});
  return qxl::GetBitInBuffer(BitNo, FBits.data());
}

void TQXLBitsArray::SetBit(std::int32_t BitNo, bool Value) {
  if (BitNo < 0 || BitNo >= FBitCount) throw EQXLException(10395, kInvalidBit, {BitNo, FBitCount});
  if (qxl::GetBitInBuffer(BitNo, FBits.data()) == Value) return;
  qxl::SetBitInBuffer(Value, BitNo, FBits.data());
  FNonZeroBitCount += Value ? 1 : -1;
}

std::int32_t TQXLBitsArray::GetBitPositionByBitNo(std::int32_t BitNo) const {
  if (BitNo < 0 || BitNo >= FBitCount) throw EQXLException(10429, kInvalidBit, {BitNo, FBitCount});
  if (FNonZeroBitCount == FBitCount) return BitNo;
  std::int32_t count = 0;
  std::int32_t byteNo = BitNo / 8;
  for (std::int32_t i = 0; i < byteNo; ++i) count += FBitsTable[FBits[i]];
  for (std::int32_t bit = byteNo * 8; bit <= BitNo; ++bit) count += qxl::GetBitInBuffer(bit, FBits.data());
  return count - 1;
}

std::int32_t TQXLBitsArray::GetBitNoByBitPosition(std::int32_t BitPosition) const {
  if (BitPosition < 0 || BitPosition >= FNonZeroBitCount)
    throw EQXLException(10428, kInvalidBit, {BitPosition, FNonZeroBitCount});
  if (FNonZeroBitCount == FBitCount) return BitPosition;
  std::int32_t count = 0;
  std::size_t byteNo = 0;
  while (byteNo < FBits.size() && count + FBitsTable[FBits[byteNo]] <= BitPosition)
    count += FBitsTable[FBits[byteNo++]];
  std::int32_t end = std::min<std::int64_t>(FBitCount, (static_cast<std::int64_t>(byteNo) + 1) * 8);
  for (std::int32_t bit = static_cast<std::int32_t>(byteNo * 8); bit < end; ++bit)
    if (qxl::GetBitInBuffer(bit, FBits.data()) && count++ == BitPosition) return bit;
  // Only a set-bit count loaded from a damaged stream gets here.
  throw EQXLException(10428, kInvalidBit, {BitPosition, FNonZeroBitCount});
}

void TQXLBitsArray::SetAllBits() {
  std::fill(FBits.begin(), FBits.end(), 0xFF);
  ClearBitsPastSize();
  FNonZeroBitCount = FBitCount;
}

bool TQXLBitsArray::FindBit(bool Value, std::int32_t& BitNo) const {
  for (std::int32_t bit = 0; bit < FBitCount; ++bit)
    if (qxl::GetBitInBuffer(bit, FBits.data()) == Value) {
      BitNo = bit;
      return true;
    }
  return false;
}

bool TQXLBitsArray::Find(bool Restart, bool GoForward, std::int32_t CurBitNo, std::int32_t& FoundBitNo) const {
  std::int64_t step = GoForward ? 1 : -1;
  std::int64_t bit = Restart ? (GoForward ? 0 : static_cast<std::int64_t>(FBitCount) - 1) : CurBitNo + step;
  for (; bit >= 0 && bit < FBitCount; bit += step)
    if (qxl::GetBitInBuffer(bit, FBits.data())) {
      FoundBitNo = static_cast<std::int32_t>(bit);
      return true;
    }
  return false;
}

std::int32_t TQXLBitsArray::CountSetBits() const {
  std::int32_t count = 0;
  for (std::int32_t bit = 0; bit < FBitCount; ++bit) count += qxl::GetBitInBuffer(bit, FBits.data());
  return count;
}

void TQXLBitsArray::SaveToStream(TQXLStream& Stream) const {
  qxl::WriteBufferToStream(&FBitCount, 4, Stream, 10398);
  qxl::WriteBufferToStream(&FNonZeroBitCount, 4, Stream, 10427);
  if (FBitCount > 0) qxl::WriteBufferToStream(FBits.data(), static_cast<std::int32_t>(FBits.size()), Stream, 10400);
}

void TQXLBitsArray::LoadFromStream(TQXLStream& Stream) {
  std::int32_t bitCount = 0, setCount = 0;
  qxl::ReadBufferFromStream(&bitCount, 4, Stream, 10401);
  qxl::ReadBufferFromStream(&setCount, 4, Stream, 10426);
  if (bitCount < 0) throw EQXLException(10401, "Invalid number of bits = %d", {bitCount});
  if (setCount < 0 || setCount > bitCount)
    throw EQXLException(10426, "Invalid number of set bits = %d, number of bits = %d", {setCount, bitCount});
  // A damaged count must not claim more memory than the stream can fill, so
  // the stream is measured before anything is allocated.
  const auto needed = static_cast<std::int64_t>(ByteCount(bitCount));
  const std::int64_t position = Stream.Position(), size = Stream.Size();
  if (size - position < needed)
    throw EQXLException(10402, "Cannot read from stream. Position = %d, Stream size = %d, Block size = %d, Bytes Read = %d",
                        {position, size, needed, std::max<std::int64_t>(size - position, 0)});
  std::vector<std::uint8_t> bits(static_cast<std::size_t>(needed));
  if (!bits.empty()) qxl::ReadBufferFromStream(bits.data(), static_cast<std::int32_t>(needed), Stream, 10402);
  FBits = std::move(bits);
  FBitCount = bitCount;
  FNonZeroBitCount = setCount;
  // Bytes written by SetAllBits elsewhere may carry set bits beyond the size.
  ClearBitsPastSize();
}

}  // namespace qxl
