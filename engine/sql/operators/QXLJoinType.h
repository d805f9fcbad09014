#pragma once
// The kinds of join, as the SELECT parser reads them and the join operator runs them.
#include <cstdint>

namespace qxl {

enum TQXLJoinType : std::uint8_t { ajtCross, ajtInner, ajtLeftOuter, ajtRightOuter, ajtFullOuter };

}  // namespace qxl
