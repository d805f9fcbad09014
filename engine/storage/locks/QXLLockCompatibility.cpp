#include "engine/storage/locks/QXLLockCompatibility.h"

namespace qxl {

// clang-format off
const std::array<std::uint8_t, LockTypeCount * LockTypeCount> LockCompatibility = {
//  IS S  SIRW XIRW RW U  X
    1, 1, 1,   1,   1, 1, 0,  // IS
    1, 1, 1,   1,   0, 1, 0,  // S
    1, 1, 1,   0,   1, 1, 0,  // SIRW
    1, 1, 0,   0,   0, 1, 0,  // XIRW
    1, 0, 1,   0,   0, 1, 0,  // RW
    1, 1, 1,   1,   1, 1, 0,  // U
    0, 0, 0,   0,   0, 0, 0,  // X
};
// clang-format on

bool IsLockCompatible(TQXLLockType Held, TQXLLockType Requested) {
  return LockCompatibility[static_cast<std::size_t>(Held * LockTypeCount + Requested)] != 0;
}

bool LockCovers(TQXLLockType Stronger, TQXLLockType Weaker) {
  for (int k = 0; k < LockTypeCount; ++k) {
    const auto Other = static_cast<TQXLLockType>(k);
    if (IsLockCompatible(Stronger, Other) && !IsLockCompatible(Weaker, Other)) return false;
  }
  return true;
}

}  // namespace qxl
