#pragma once
// Free physical memory, which sizes the page cache and the memory share of
// temporary tables.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// Bytes of physical memory available to new allocations without swapping:
// MemAvailable of /proc/meminfo (else the kernel's free RAM count), but no
// more than the room left under this process's control-group memory limit.
std::uint64_t FreePhysicalMemory();

// The room left under the memory limits of the control group named by
// procSelfCgroup (the text of /proc/self/cgroup) in the hierarchy mounted at
// cgroupRoot (cgroup v2 there, v1 under its "memory" folder), the tightest
// limit of the group and its parents; nothing when no limit is set.
std::optional<std::uint64_t> CgroupMemoryRoom(const std::string& cgroupRoot, const std::string& procSelfCgroup);

// Zero-filled pages straight from the system, for blocks too large for the
// heap; nullptr when the system has none. Give them back with ReleasePages and
// the same size.
void* AllocatePages(std::size_t size);
void ReleasePages(void* block, std::size_t size);

}  // namespace platform
