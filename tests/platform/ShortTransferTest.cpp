// Short and interrupted reads and writes, which regular files seldom give: this
// test program's own pread and pwrite stand in for the C library's (the linker
// takes a definition in the program first) and, while armed, move at most a
// few bytes per call after an interrupted first call.
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <numeric>
#include <vector>

#include <gtest/gtest.h>

#include "FileTestSupport.h"

namespace {

constexpr std::size_t kMostPerCall = 7;
std::atomic<bool> Armed{false};
std::atomic<int> Calls{0};

// While armed: the first call is interrupted, the others move kMostPerCall bytes at most.
bool Shorten(std::size_t& count) {
  if (!Armed) return false;
  if (Calls++ == 0) {
    errno = EINTR;
    return true;
  }
  count = std::min(count, kMostPerCall);
  return false;
}

struct ArmedScope {
  ArmedScope() {
    Calls = 0;
    Armed = true;
  }
  ~ArmedScope() { Armed = false; }
};

}  // namespace

extern "C" ssize_t pwrite(int fd, const void* buf, size_t count, off_t offset) {
  if (Shorten(count)) return -1;
  return syscall(SYS_pwrite64, fd, buf, count, offset);
}

extern "C" ssize_t pread(int fd, void* buf, size_t count, off_t offset) {
  if (Shorten(count)) return -1;
  return syscall(SYS_pread64, fd, buf, count, offset);
}

using namespace platform;
using platform::test::ScratchPath;

TEST(File, ShortAndInterruptedTransfersAreRepeated) {
  ScratchPath path;
  File f;
  f.Create(path);
  std::vector<char> data(100);
  std::iota(data.begin(), data.end(), 'A' - 10);
  constexpr int kCalls = 1 + (100 + kMostPerCall - 1) / kMostPerCall;
  {
    ArmedScope shortWrites;
    f.WriteAt(data.data(), data.size(), 10);
    EXPECT_EQ(Calls, kCalls);
  }
  EXPECT_EQ(f.Size(), 110);
  std::vector<char> back(120, '#');
  {
    ArmedScope shortReads;
    EXPECT_EQ(f.ReadAt(back.data(), back.size(), 10), 100u);  // fewer only at the end of the file
    EXPECT_EQ(Calls, kCalls + 1);                              // and the call that found the end
  }
  back.resize(100);
  EXPECT_EQ(back, data);
}
