#pragma once
// The allocation rule shared by the engine's growable arrays: the growth step
// doubles up to a cap, so appending stays cheap, and a shrink gives memory back
// only when many slots would stay unused.
#include <algorithm>
#include <cstdint>

#include "engine/core/containers/QXLListError.h"

namespace qxl {

struct TQXLArrayGrowth {
  std::int64_t AllocBy;
  std::int64_t DeAllocBy;
  std::int64_t MaxAllocBy;

  // The number of slots to hold for NewSize items, given the slots held now
  // and the items in use. Adjusts the steps as a side effect.
  std::int64_t Allocation(std::int64_t Allocated, std::int64_t Count, std::int64_t NewSize) {
    if (NewSize < 0) throw EQXLListError(NewSize);
    if (NewSize == 0) return 0;
    if (NewSize > Allocated) {
      AllocBy = std::min(AllocBy * 2, MaxAllocBy);
      return std::max(Allocated + AllocBy, NewSize);
    }
    if (NewSize < Count && Allocated - NewSize > DeAllocBy) {
      DeAllocBy = std::min(DeAllocBy * 2, MaxAllocBy);
      return NewSize;
    }
    return Allocated;
  }
};

}  // namespace qxl
