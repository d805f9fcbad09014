#pragma once
// Helpers of the storage tests: a scratch folder removed afterwards, whole-file
// reads and writes, and the shared engine-error helpers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/TempFile.h"
#include "tests/support/EngineErrors.h"

class TScratchDir {
public:
  TScratchDir() {
    std::string Pattern = platform::TempDirectory() + "/QXLstoreXXXXXX";
    std::vector<char> Buffer(Pattern.begin(), Pattern.end());
    Buffer.push_back('\0');
    if (!::mkdtemp(Buffer.data())) throw std::runtime_error("mkdtemp failed");
    FPath = Buffer.data();
  }
  ~TScratchDir() {
    std::error_code Ignored;
    std::filesystem::remove_all(FPath, Ignored);
  }
  std::string File(const std::string& Name) const { return FPath + "/" + Name; }

private:
  std::string FPath;
};

inline std::vector<std::uint8_t> ReadWholeFile(const std::string& Name) {
  std::ifstream In(Name, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(In), {});
}

inline void WriteWholeFile(const std::string& Name, const std::vector<std::uint8_t>& Bytes) {
  std::ofstream Out(Name, std::ios::binary | std::ios::trunc);
  Out.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
}
