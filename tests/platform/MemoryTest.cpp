#include "platform/Memory.h"

#include <stdlib.h>
#include <sys/sysinfo.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using platform::CgroupMemoryRoom;

TEST(Memory, FreePhysicalMemoryIsWithinTheMachinesMemory) {
  struct sysinfo info;
  ASSERT_EQ(sysinfo(&info), 0);
  const std::uint64_t total = static_cast<std::uint64_t>(info.totalram) * info.mem_unit;
  const std::uint64_t free = platform::FreePhysicalMemory();
  EXPECT_GT(free, 0u);
  EXPECT_LE(free, total);
}

class CgroupTree : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/qxlcgroupXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    Root = pattern;
  }
  void TearDown() override { fs::remove_all(Root); }
  void Write(const std::string& relative, const std::string& text) {
    fs::create_directories((Root / relative).parent_path());
    std::ofstream(Root / relative) << text << "\n";
  }
  fs::path Root;
};

TEST_F(CgroupTree, Version2TakesTheTightestLimitOfTheGroupAndItsParents) {
  Write("a/memory.max", "1000000");
  Write("a/memory.current", "400000");
  Write("a/b/memory.max", "max");
  Write("a/b/memory.current", "300000");
  Write("a/b/c/memory.max", "900000");
  Write("a/b/c/memory.current", "100000");
  EXPECT_EQ(CgroupMemoryRoom(Root, "0::/a/b/c\n"), 600000u);  // the parent a leaves less
  EXPECT_EQ(CgroupMemoryRoom(Root, "0::/a/b\n"), 600000u);
  Write("a/memory.current", "2000000");  // over its limit: no room at all
  EXPECT_EQ(CgroupMemoryRoom(Root, "0::/a/b/c\n"), 0u);
  EXPECT_EQ(CgroupMemoryRoom(Root, "0::/\n"), std::nullopt);
  EXPECT_EQ(CgroupMemoryRoom(Root, "0::/elsewhere\n"), std::nullopt);
}

TEST_F(CgroupTree, Version1ReadsTheMemoryHierarchyAndIgnoresNoLimit) {
  Write("memory/memory.limit_in_bytes", "9223372036854771712");  // no limit
  Write("memory/memory.usage_in_bytes", "5000");
  const std::string self = "4:memory:/job/42\n3:cpu,cpuacct:/\n";
  EXPECT_EQ(CgroupMemoryRoom(Root, self), std::nullopt);
  Write("memory/job/memory.limit_in_bytes", "8000");
  Write("memory/job/memory.usage_in_bytes", "5000");
  EXPECT_EQ(CgroupMemoryRoom(Root, self), 3000u);
  EXPECT_EQ(CgroupMemoryRoom(Root, "garbage\n::\n4:memory:relative\n"), std::nullopt);
}
