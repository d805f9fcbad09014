#include "platform/Clock.h"

#include <chrono>
#include <thread>

namespace platform {
namespace {

class RealClock : public Clock {
public:
  void Sleep(std::uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  std::uint32_t GetTickCount() override {
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
  }
};

std::atomic<Clock*> Installed{nullptr};

}  // namespace

Clock& SystemClock() {
  static RealClock clock;
  return clock;
}

Clock& CurrentClock() {
  Clock* c = Installed.load(std::memory_order_acquire);
  return c ? *c : SystemClock();
}

Clock* SetClock(Clock* clock) { return Installed.exchange(clock, std::memory_order_acq_rel); }

}  // namespace platform
