#include "platform/Memory.h"

#include <sys/mman.h>
#include <sys/sysinfo.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace platform {
namespace {

// A limit at or above this is "unlimited" (cgroup v1 writes a huge number).
constexpr std::uint64_t NoLimit = std::uint64_t(1) << 62;

std::optional<std::uint64_t> ReadNumber(const std::string& path) {
  std::ifstream in(path);
  std::uint64_t n;
  if (in >> n) return n;
  return std::nullopt;  // missing, or "max"
}

// Narrows room by the limit and usage files of one folder, when it has a limit.
void Narrow(std::optional<std::uint64_t>& room, const std::string& dir, const char* limitFile,
            const char* usageFile) {
  auto limit = ReadNumber(dir + "/" + limitFile);
  if (!limit || *limit >= NoLimit) return;
  auto usage = ReadNumber(dir + "/" + usageFile).value_or(0);
  std::uint64_t left = *limit > usage ? *limit - usage : 0;
  room = room ? std::min(*room, left) : left;
}

// The folder and its parents up to root, given the group's path ("/a/b").
void NarrowUpwards(std::optional<std::uint64_t>& room, const std::string& root, std::string path,
                   const char* limitFile, const char* usageFile) {
  while (!path.empty() && path.back() == '/') path.pop_back();
  for (;;) {
    Narrow(room, root + path, limitFile, usageFile);
    if (path.empty()) break;
    path.erase(path.rfind('/'));
  }
}

}  // namespace

std::optional<std::uint64_t> CgroupMemoryRoom(const std::string& cgroupRoot, const std::string& procSelfCgroup) {
  std::optional<std::uint64_t> room;
  std::istringstream lines(procSelfCgroup);
  std::string line;
  while (std::getline(lines, line)) {
    // "hierarchy-ID:controllers:path"
    std::size_t first = line.find(':'), second = line.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    std::string controllers = line.substr(first + 1, second - first - 1), path = line.substr(second + 1);
    if (path.empty() || path[0] != '/' || path.find("/..") != std::string::npos) continue;
    if (line.compare(0, first, "0") == 0 && controllers.empty()) {
      NarrowUpwards(room, cgroupRoot, path, "memory.max", "memory.current");
    } else if (("," + controllers + ",").find(",memory,") != std::string::npos) {
      NarrowUpwards(room, cgroupRoot + "/memory", path, "memory.limit_in_bytes", "memory.usage_in_bytes");
    }
  }
  return room;
}

std::uint64_t FreePhysicalMemory() {
  std::uint64_t available = 0;
  bool found = false;
  std::ifstream meminfo("/proc/meminfo");
  std::string line;
  while (!found && std::getline(meminfo, line)) {
    if (line.rfind("MemAvailable:", 0) == 0) {
      std::istringstream fields(line.substr(13));
      std::uint64_t kib = 0;
      if (fields >> kib) {
        available = kib * 1024;
        found = true;
      }
    }
  }
  struct sysinfo info;
  if (!found && sysinfo(&info) == 0) available = static_cast<std::uint64_t>(info.freeram) * info.mem_unit;
  std::ifstream cgroup("/proc/self/cgroup");
  std::string text((std::istreambuf_iterator<char>(cgroup)), {});
  if (auto room = CgroupMemoryRoom("/sys/fs/cgroup", text)) available = std::min(available, *room);
  return available;
}

void* AllocatePages(std::size_t size) {
  void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return block == MAP_FAILED ? nullptr : block;
}

void ReleasePages(void* block, std::size_t size) { munmap(block, size); }

}  // namespace platform
