// Short and interrupted reads and writes, which regular files seldom give: the
// fault-injecting file system interrupts the first transfer and moves at most a
// few bytes per call after it, and every byte must still arrive.
#include <numeric>
#include <vector>

#include <gtest/gtest.h>

#include "FileTestSupport.h"
#include "tests/support/FaultyFileSystem.h"

using namespace platform;
using platform::test::FaultyFileSystem;
using platform::test::ScratchPath;

TEST(FileHandle, ShortAndInterruptedTransfersAreRepeated) {
  constexpr std::size_t kMostPerCall = 7;
  ScratchPath path;
  FaultyFileSystem files;
  auto f = files.Create(path, ShareMode::Exclusive);
  std::vector<char> data(100);
  std::iota(data.begin(), data.end(), 'A' - 10);
  constexpr int kCalls = 1 + (100 + kMostPerCall - 1) / kMostPerCall;

  files.ShortTransfers(kMostPerCall);
  f->WriteAt(data.data(), data.size(), 10);
  EXPECT_EQ(files.Transfers(), kCalls);
  files.ShortTransfers(0);
  EXPECT_EQ(f->Size(), 110);

  std::vector<char> back(120, '#');
  files.ShortTransfers(kMostPerCall);
  EXPECT_EQ(f->ReadAt(back.data(), back.size(), 10), 100u);  // fewer only at the end of the file
  EXPECT_EQ(files.Transfers(), kCalls + 1);                  // and the call that found the end
  files.ShortTransfers(0);
  back.resize(100);
  EXPECT_EQ(back, data);
}
