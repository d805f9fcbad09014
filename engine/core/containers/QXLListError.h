#pragma once
// The error of an ordered list asked for a position it does not hold.
#include <cstdint>

#include "platform/Exception.h"
#include "platform/Format.h"

namespace qxl {

class EQXLListError : public platform::Exception {
public:
  explicit EQXLListError(std::int64_t Index)
      : platform::Exception(platform::Format("List index out of bounds (%d)", Index)) {}
};

// Raises EQXLListError unless 0 <= Index < Count.
inline void CheckListIndex(std::int64_t Index, std::int64_t Count) {
  if (Index < 0 || Index >= Count) throw EQXLListError(Index);
}

}  // namespace qxl
