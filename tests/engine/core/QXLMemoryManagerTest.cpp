#include "engine/core/containers/QXLMemoryManager.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "engine/core/QXLException.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace {

std::vector<std::uint8_t> Bytes(const void* p, std::size_t n) {
  auto* b = static_cast<const std::uint8_t*>(p);
  return std::vector<std::uint8_t>(b, b + n);
}

}  // namespace

TEST(QXLMemoryManager, BlockLayout) {
  TQXLMemoryManager mm;
  auto* p = static_cast<std::uint8_t*>(mm.GetMem(1));
  EXPECT_EQ(Bytes(p - 9, 4), (std::vector<std::uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(p[-5], 0);  // process heap
  EXPECT_EQ(Bytes(p - 4, 4), (std::vector<std::uint8_t>{0xAC, 0xCC, 0xCA, 0xAC}));
  EXPECT_EQ(Bytes(p + 1, 4), (std::vector<std::uint8_t>{0xCE, 0xAC, 0xCE, 0xAC}));
  EXPECT_EQ(mm.TotalMemAllocated(), 1);
  EXPECT_EQ(mm.GetMemoryBufferSize(p), 1);
  mm.FreeAndNillMem(p);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(mm.TotalMemAllocated(), 0);
}

TEST(QXLMemoryManager, OverrunIsCaughtWhenFreed) {
  TQXLMemoryManager mm;
  void* other = mm.GetMem(5);
  const std::int64_t before = mm.TotalMemAllocated();
  auto* p = static_cast<char*>(mm.GetMem(16));
  // One byte past the caller's 16: the guard, still inside the real block.
  std::memset(p, 'x', 17);
  EQXLException e = Raised([&] { mm.FreeAndNillMem(p); });
  EXPECT_EQ(e.NativeError, 30137);
  EXPECT_EQ(e.Message, "Memory overrun detected - Native error: 30137");
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(mm.TotalMemAllocated(), before);
  mm.FreeMem(other);
}

TEST(QXLMemoryManager, OverrunOfTheOldBlockInReallocLeavesNothingLive) {
  TQXLMemoryManager mm;
  auto* p = static_cast<char*>(mm.GetMem(8));
  p[8] = 0;
  EQXLException e = Raised([&] { mm.ReallocMem(p, 100); });
  EXPECT_EQ(e.NativeError, 30014);
  EXPECT_EQ(e.Message,
            "ReallocMem error: Memory overrun detected - Native error: 30137 - Native error: 30014");
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(mm.TotalMemAllocated(), 0);
}

TEST(QXLMemoryManager, ForeignPointersAreRefusedAndNothingChanges) {
  TQXLMemoryManager mm;
  void* live = mm.GetMem(10);
  alignas(8) std::array<std::uint8_t, 32> foreign{};
  void* p = foreign.data() + 16;
  void* q = p;
  EXPECT_EQ(Raised([&] { mm.FreeAndNillMem(q); }).Message, "Invalid pointer - Native error: 30001");
  EXPECT_EQ(q, p);
  EXPECT_EQ(Raised([&] { mm.ReallocMem(q, 20); }).Message,
            "ReallocMem error: Invalid pointer - Native error: 30002 - Native error: 30014");
  EXPECT_EQ(q, p);
  EXPECT_EQ(Raised([&] { mm.GetMemoryBufferSize(p); }).NativeError, 30005);
  EXPECT_EQ(mm.TotalMemAllocated(), 10);
  mm.FreeMem(live);
}

TEST(QXLMemoryManager, LimitIsEnforced) {
  TQXLMemoryManager mm(1000);
  EXPECT_EQ(mm.MaxMemorySize(), 1000);
  auto* p = static_cast<std::uint8_t*>(mm.GetMem(1000));
  std::iota(p, p + 1000, 0);
  EQXLException e = Raised([&] { mm.GetMem(1); });
  EXPECT_EQ(e.NativeError, 30004);
  EXPECT_EQ(e.Message, "Memory limit exceeded (Limit = 1000 bytes) - Native error: 30004");

  auto* old = p;
  e = Raised([&] { mm.ReallocMem(p, 1001); });
  EXPECT_EQ(e.NativeError, 30014);
  EXPECT_EQ(e.Message,
            "ReallocMem error: Memory limit exceeded (Limit = 1000 bytes) - Native error: 30004 - Native error: 30014");
  EXPECT_EQ(p, old);
  EXPECT_EQ(mm.GetMemoryBufferSize(p), 1000);
  EXPECT_EQ(p[999], static_cast<std::uint8_t>(999));
  EXPECT_EQ(Raised([&] { mm.GetMem(INT64_MAX); }).NativeError, 30004);
  mm.FreeAndNillMem(p);
  EXPECT_EQ(mm.TotalMemAllocated(), 0);
}

TEST(QXLMemoryManager, SizesThatCannotBeABlock) {
  TQXLMemoryManager limited(1000);
  EXPECT_EQ(Raised([&] { limited.GetMem(0); }).Message, "Cannot allocate 0 bytes - Native error: 30286");
  TQXLMemoryManager mm;
  EXPECT_EQ(Raised([&] { mm.GetMem(0); }).NativeError, 30286);
  struct Case {
    std::int64_t size;
    const char* message;
  } cases[] = {
      {-1, "GetMem error: Block size -1 is outside 1..2147483647 - Native error: 30015"},
      {2147483648LL, "GetMem error: Block size 2147483648 is outside 1..2147483647 - Native error: 30015"},
      {INT64_MAX, "GetMem error: Block size 9223372036854775807 is outside 1..2147483647 - Native error: 30015"},
  };
  for (const Case& c : cases) EXPECT_EQ(Raised([&] { mm.GetMem(c.size); }).Message, c.message);
  EXPECT_EQ(mm.TotalMemAllocated(), 0);
}

TEST(QXLMemoryManager, ReallocKeepsDataAndClearsTail) {
  TQXLMemoryManager mm;
  auto* p = static_cast<std::uint8_t*>(mm.AllocMem(64));
  EXPECT_EQ(Bytes(p, 64), std::vector<std::uint8_t>(64, 0));
  std::iota(p, p + 64, 1);

  mm.ReallocMem(p, 10);
  EXPECT_EQ(mm.GetMemoryBufferSize(p), 10);
  EXPECT_EQ(Bytes(p, 10), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));

  mm.ReallocMemAndClearTail(p, 20);
  std::vector<std::uint8_t> expected{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  expected.resize(20, 0);
  EXPECT_EQ(Bytes(p, 20), expected);
  EXPECT_EQ(mm.TotalMemAllocated(), 20);
  mm.FreeAndNillMem(p);

  std::uint8_t* none = nullptr;
  mm.ReallocMemAndClearTail(none, 4);
  EXPECT_EQ(Bytes(none, 4), std::vector<std::uint8_t>(4, 0));
  mm.FreeAndNillMem(none);
  EXPECT_EQ(mm.TotalMemAllocated(), 0);
}

TEST(QXLMemoryManager, NilPointers) {
  TQXLMemoryManager mm;
  void* p = nullptr;
  EXPECT_EQ(mm.GetMemoryBufferSize(p), 0);
  mm.FreeAndNillMem(p);
  mm.FreeMem(nullptr);
  EXPECT_EQ(mm.TotalMemAllocated(), 0);
}

TEST(QXLMemoryManager, FreeMemoryIsCappedByTheLimit) {
  TQXLMemoryManager mm;
  EXPECT_GT(mm.GetFreeMemorySize(), 1000);
  TQXLMemoryManager limited(1000);
  EXPECT_EQ(limited.GetFreeMemorySize(), 1000);
}

TEST(QXLMemoryManager, TotalStaysExactUnderThreads) {
  TQXLMemoryManager mm;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&mm, t] {
      for (int i = 1; i <= 500; ++i) {
        void* p = mm.GetMem(i + t);
        mm.FreeMem(p);
      }
    });
  void* held = mm.GetMem(7);
  for (auto& th : threads) th.join();
  EXPECT_EQ(mm.TotalMemAllocated(), 7);
  mm.FreeMem(held);
}

TEST(QXLMemoryManager, ProcessWideInstance) {
  TQXLMemoryManager& mm = QXLMemoryManager();
  EXPECT_EQ(&mm, &QXLMemoryManager());
  EXPECT_EQ(mm.MaxMemorySize(), 0);
  const std::int64_t before = mm.TotalMemAllocated();
  void* p = mm.GetMem(3);
  EXPECT_EQ(mm.TotalMemAllocated(), before + 3);
  mm.FreeMem(p);
}

TEST(QXLMemoryManager, MoveBytesOverlapSafe) {
  // Shifts by every small and a larger distance, both directions, as the
  // B-tree code does inside a page.
  for (int shift : {-9, -3, -2, -1, 0, 1, 2, 3, 9}) {
    std::vector<std::uint8_t> buf(40);
    std::iota(buf.begin(), buf.end(), 0);
    std::vector<std::uint8_t> expected = buf;
    const int from = 15, count = 12;
    std::vector<std::uint8_t> moved(buf.begin() + from, buf.begin() + from + count);
    std::copy(moved.begin(), moved.end(), expected.begin() + from + shift);
    qxl::MoveBytesOverlapSafe(buf.data() + from, buf.data() + from + shift, count);
    EXPECT_EQ(buf, expected) << "shift " << shift;
  }
}
