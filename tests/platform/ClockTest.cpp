#include "platform/Clock.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Clock, SeamCanBeReplaced) {
  std::uint32_t before = GetTickCount();
  {
    FakeClock fake(0xFFFFFFF0u);
    ScopedClock guard(fake);
    for (int i = 0; i < 4500; ++i) Sleep(20);
    EXPECT_EQ(fake.SleepCount(), 4500u);
    EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u + 90000u);  // wraps at 2^32
  }
  Sleep(15);
  std::uint32_t elapsed = GetTickCount() - before;
  EXPECT_GE(elapsed, 15u);
  EXPECT_LT(elapsed, 10000u);
}
