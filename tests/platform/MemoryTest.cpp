#include "platform/Memory.h"

#include <sys/sysinfo.h>

#include <gtest/gtest.h>

TEST(Memory, FreePhysicalMemoryIsWithinTheMachinesMemory) {
  struct sysinfo info;
  ASSERT_EQ(sysinfo(&info), 0);
  const std::uint64_t total = static_cast<std::uint64_t>(info.totalram) * info.mem_unit;
  const std::uint64_t free = platform::FreePhysicalMemory();
  EXPECT_GT(free, 0u);
  EXPECT_LE(free, total);
}
