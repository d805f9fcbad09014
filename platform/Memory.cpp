#include "platform/Memory.h"

#include <sys/sysinfo.h>

#include <fstream>
#include <sstream>
#include <string>

namespace platform {

std::uint64_t FreePhysicalMemory() {
  std::ifstream meminfo("/proc/meminfo");
  std::string line;
  while (std::getline(meminfo, line)) {
    if (line.rfind("MemAvailable:", 0) == 0) {
      std::istringstream fields(line.substr(13));
      std::uint64_t kib = 0;
      if (fields >> kib) return kib * 1024;
    }
  }
  struct sysinfo info;
  if (sysinfo(&info) == 0) return static_cast<std::uint64_t>(info.freeram) * info.mem_unit;
  return 0;
}

}  // namespace platform
