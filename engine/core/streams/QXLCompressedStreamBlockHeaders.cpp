#include "engine/core/streams/QXLCompressedStreamBlockHeaders.h"

#include <algorithm>

namespace qxl {

void TQXLCompressedStreamBlockHeadersArray::SetSize(std::int64_t NewSize) {
  std::int64_t alloc = FGrowth.Allocation(AllocItemCount(), FItemCount, NewSize);
  if (alloc != AllocItemCount()) {
    FItems.resize(static_cast<std::size_t>(alloc));
    FPositions.resize(static_cast<std::size_t>(alloc));
    FItems.shrink_to_fit();
    FPositions.shrink_to_fit();
  }
  if (NewSize > FItemCount) {
    std::fill(FItems.begin() + FItemCount, FItems.begin() + NewSize, TQXLCompressedStreamBlockHeader{});
    std::fill(FPositions.begin() + FItemCount, FPositions.begin() + NewSize, 0);
  }
  FItemCount = NewSize;
}

void TQXLCompressedStreamBlockHeadersArray::AppendItem(const TQXLCompressedStreamBlockHeader& Value,
                                                       std::int64_t Pos) {
  SetSize(FItemCount + 1);
  FItems[FItemCount - 1] = Value;
  FPositions[FItemCount - 1] = Pos;
}

std::int64_t TQXLCompressedStreamBlockHeadersArray::FindPosition(std::int64_t Pos) const {
  auto end = FPositions.begin() + FItemCount;
  auto it = std::upper_bound(FPositions.begin(), end, Pos);
  return it == FPositions.begin() ? 0 : (it - FPositions.begin()) - 1;
}

}  // namespace qxl
