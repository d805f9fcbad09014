#pragma once
// A block of the engine memory manager that is freed when its holder goes,
// unless it is released to a new owner: converted values that are read and
// dropped, data read from a stream until a value takes it.
#include <memory>

#include "engine/core/containers/QXLMemoryManager.h"

namespace qxl {

struct TQXLBlockFree {
  void operator()(void* Block) const { QXLMemoryManager().FreeMem(Block); }
};

using TQXLOwnedBlock = std::unique_ptr<void, TQXLBlockFree>;

}  // namespace qxl
