#pragma once
// The start line and the stopwatch of the storage worker program, shared by
// its own commands and by those the tests link into it: workers that a test
// starts together wait at a gate file, so that their work overlaps, and say
// when their work began and ended, so that the test can see it did.
//
// Threads: one worker process, one thread.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

namespace qxl::worker {

// The steady clock in nanoseconds, comparable between the workers of one machine.
inline std::int64_t Now() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The stretch of time in which a command did its work, from the start of its
// first step to the end of its last, printed as "period START END".
struct TPeriod {
  std::int64_t Start = 0, End = 0;
  void Begin() {
    if (Start == 0) Start = Now();
  }
  void Finish() { End = Now(); }
  void Print() const { std::printf("period %lld %lld\n", static_cast<long long>(Start), static_cast<long long>(End)); }
};

// Prints "ready" and waits for the file Gate to exist; raises when it has not
// after two minutes.
inline void PassGate(const std::string& Gate) {
  std::printf("ready\n");
  std::fflush(stdout);
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (!std::filesystem::exists(Gate)) {
    if (std::chrono::steady_clock::now() > Deadline) throw std::runtime_error("the gate never opened");
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

}  // namespace qxl::worker
