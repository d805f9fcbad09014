#pragma once
// Which table lock modes two sessions may hold on one table at the same time,
// and which mode of one session already covers another of its requests.
// Thread rule: constant data and pure functions.
#include <array>
#include <cstdint>

#include "engine/core/values/QXLTypes.h"

namespace qxl {

inline constexpr int LockTypeCount = 7;

// Indexed [held x 7 + requested]: 1 when the requested mode may be granted
// while another session holds the held one. Symmetric.
extern const std::array<std::uint8_t, LockTypeCount * LockTypeCount> LockCompatibility;

bool IsLockCompatible(TQXLLockType Held, TQXLLockType Requested);
// True when every mode compatible with Stronger is compatible with Weaker too,
// so that holding Stronger keeps out everything Weaker must keep out.
bool LockCovers(TQXLLockType Stronger, TQXLLockType Weaker);

}  // namespace qxl
