#pragma once
// A cursor's remembered place in an index: where record RecordID was found in
// index IndexID while the table was in state TableState. The place itself is
// a key path of the B-tree layer, held here through an opaque base.
#include <cstdint>
#include <memory>

#include "engine/core/containers/QXLPageItemID.h"

namespace qxl {

// Base of the B-tree key path, so that the core can own one without knowing it.
class TQXLKeyPathBase {
public:
  virtual ~TQXLKeyPathBase() = default;
};

class TQXLIndexPositionCache {
public:
  // Empty until the index layer stores a key path in it.
  std::unique_ptr<TQXLKeyPathBase> Position;
  std::int32_t IndexID = -1;
  TQXLPageItemID RecordID{};
  std::int32_t TableState = -1;
};

}  // namespace qxl
