#include "engine/core/containers/QXLIntegerArray.h"

#include <algorithm>
#include <limits>

namespace qxl {

TQXLIntegerArray::TQXLIntegerArray(std::int32_t Size, std::int32_t DefaultAllocBy, std::int32_t MaximumAllocBy)
    : FGrowth{DefaultAllocBy, DefaultAllocBy, MaximumAllocBy} {
  SetSize(Size);
}

void TQXLIntegerArray::SetSize(std::int32_t NewSize) {
  std::int64_t alloc = FGrowth.Allocation(AllocItemCount(), FItemCount, NewSize);
  if (alloc > std::numeric_limits<std::int32_t>::max()) alloc = NewSize;
  if (alloc != AllocItemCount()) {
    FItems.resize(static_cast<std::size_t>(alloc));
    FItems.shrink_to_fit();
  }
  // Slots that come back into use after a shrink that kept the storage start at 0.
  if (NewSize > FItemCount)
    std::fill(FItems.begin() + FItemCount, FItems.begin() + NewSize, 0);
  FItemCount = NewSize;
}

void TQXLIntegerArray::Append(std::int32_t Value) {
  SetSize(FItemCount + 1);
  FItems[FItemCount - 1] = Value;
}

void TQXLIntegerArray::Delete(std::int32_t ItemNo) {
  Checked(ItemNo);
  std::copy(FItems.begin() + ItemNo + 1, FItems.begin() + FItemCount, FItems.begin() + ItemNo);
  --FItemCount;
}

void TQXLIntegerArray::Insert(std::int32_t ItemNo, std::int32_t Value) {
  if (ItemNo < 0) throw EQXLListError(ItemNo);
  SetSize(FItemCount + 1);
  if (ItemNo >= FItemCount - 1) {
    FItems[FItemCount - 1] = Value;
    return;
  }
  std::copy_backward(FItems.begin() + ItemNo, FItems.begin() + FItemCount - 1, FItems.begin() + FItemCount);
  FItems[ItemNo] = Value;
}

std::int32_t TQXLIntegerArray::IndexOf(std::int32_t Value) const {
  auto end = FItems.begin() + FItemCount;
  auto it = std::find(FItems.begin(), end, Value);
  return it == end ? -1 : static_cast<std::int32_t>(it - FItems.begin());
}

void TQXLIntegerArray::Assign(const TQXLIntegerArray& Source) {
  SetSize(Source.FItemCount);
  std::copy(Source.FItems.begin(), Source.FItems.begin() + Source.FItemCount, FItems.begin());
}

void TQXLIntegerArray::MoveTo(std::int32_t ItemNo, std::int32_t NewItemNo) {
  Checked(ItemNo);
  Checked(NewItemNo);
  auto from = FItems.begin() + ItemNo, to = FItems.begin() + NewItemNo;
  if (ItemNo < NewItemNo)
    std::rotate(from, from + 1, to + 1);
  else
    std::rotate(to, from, from + 1);
}

void TQXLIntegerArray::CopyTo(std::vector<std::int32_t>& Dest, std::int32_t ItemNo, std::int32_t Count) const {
  if (Count < 0 || ItemNo < 0 || static_cast<std::int64_t>(ItemNo) + Count > FItemCount)
    throw EQXLListError(static_cast<std::int64_t>(ItemNo) + Count - 1);
  Dest.assign(FItems.begin() + ItemNo, FItems.begin() + ItemNo + Count);
}

}  // namespace qxl
