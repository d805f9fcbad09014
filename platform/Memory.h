#pragma once
// Free physical memory, which sizes the page cache and the memory share of
// temporary tables.
#include <cstdint>

namespace platform {

// Bytes of physical memory available to new allocations without swapping
// (MemAvailable of /proc/meminfo, else the kernel's free RAM count).
std::uint64_t FreePhysicalMemory();

}  // namespace platform
