#pragma once
// Page buffers come from the engine's memory manager; these are the only
// places the storage layer asks it for page memory.
//
// Threads: as safe as the memory manager, whose running total has its lock.
#include <cstdint>

namespace qxl {

// A zero-filled buffer of Size bytes.
std::uint8_t* QXLAllocPageMemory(std::int64_t Size);
void QXLFreePageMemory(std::uint8_t* Buffer);
// Resizes Buffer in place; the grown part is not cleared.
void QXLReallocPageMemory(std::uint8_t*& Buffer, std::int64_t Size);
// Free physical memory, capped by the manager's limit; sizes the page cache.
std::int64_t QXLFreeMemorySize();

}  // namespace qxl
