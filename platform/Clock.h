#pragma once
// Sleep and the millisecond tick count, behind one seam that tests replace so
// that long lock retries run at once.
#include <atomic>
#include <cstdint>

namespace platform {

class Clock {
public:
  virtual ~Clock() = default;
  virtual void Sleep(std::uint32_t ms) = 0;
  // Milliseconds since some fixed moment, wrapping at 2^32.
  virtual std::uint32_t GetTickCount() = 0;
};

// The real clock (steady clock, thread sleep).
Clock& SystemClock();

// The clock in use; the system clock unless one was installed.
Clock& CurrentClock();
// Installs clock (nullptr: the system clock) and returns the previous one.
Clock* SetClock(Clock* clock);

inline void Sleep(std::uint32_t ms) { CurrentClock().Sleep(ms); }
inline std::uint32_t GetTickCount() { return CurrentClock().GetTickCount(); }

// Installs a clock for the life of the guard.
class ScopedClock {
public:
  explicit ScopedClock(Clock& clock) : FPrevious(SetClock(&clock)) {}
  ~ScopedClock() { SetClock(FPrevious); }
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

private:
  Clock* FPrevious;
};

// A clock for tests: Sleep only advances the tick count and counts the calls.
class FakeClock : public Clock {
public:
  explicit FakeClock(std::uint32_t start = 0) : FTicks(start) {}
  void Sleep(std::uint32_t ms) override {
    FTicks += ms;
    ++FSleepCount;
    FSleptMs += ms;
  }
  std::uint32_t GetTickCount() override { return FTicks; }
  void Advance(std::uint32_t ms) { FTicks += ms; }

  std::uint64_t SleepCount() const { return FSleepCount; }
  std::uint64_t SleptMs() const { return FSleptMs; }

private:
  std::atomic<std::uint32_t> FTicks;
  std::atomic<std::uint64_t> FSleepCount{0};
  std::atomic<std::uint64_t> FSleptMs{0};
};

}  // namespace platform
