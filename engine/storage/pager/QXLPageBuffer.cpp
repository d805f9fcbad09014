#include "engine/storage/pager/QXLPageBuffer.h"

#include "engine/core/containers/QXLMemoryManager.h"

namespace qxl {

std::uint8_t* QXLAllocPageMemory(std::int64_t Size) {
  return static_cast<std::uint8_t*>(QXLMemoryManager().AllocMem(Size));
}

void QXLFreePageMemory(std::uint8_t* Buffer) { QXLMemoryManager().FreeMem(Buffer); }

void QXLReallocPageMemory(std::uint8_t*& Buffer, std::int64_t Size) {
  QXLMemoryManager().ReallocMem(Buffer, Size);
}

std::int64_t QXLFreeMemorySize() { return QXLMemoryManager().GetFreeMemorySize(); }

}  // namespace qxl
