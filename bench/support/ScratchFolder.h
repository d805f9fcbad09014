#pragma once
// A folder of a benchmark's own for its files, under the system's temporary
// folder, removed with everything in it when the program ends.
// Thread rule: made once, on first use; its paths are read by any thread.
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "platform/TempFile.h"

namespace qxl::enginebench {

class TScratchFolder {
public:
  explicit TScratchFolder(const std::string& Prefix) {
    std::random_device seed;
    FPath = std::filesystem::path(platform::TempDirectory()) / (Prefix + "-" + std::to_string(seed()));
    std::filesystem::create_directories(FPath);
  }
  ~TScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
  }
  TScratchFolder(const TScratchFolder&) = delete;
  TScratchFolder& operator=(const TScratchFolder&) = delete;

  std::string File(const char* Name) const { return (FPath / Name).string(); }

private:
  std::filesystem::path FPath;
};

}  // namespace qxl::enginebench
