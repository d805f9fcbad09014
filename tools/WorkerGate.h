#pragma once
// The start line and the stopwatch of the storage worker program, shared by
// its own commands and by those the tests link into it. Workers that a test
// starts together wait at a gate file, so that their work starts together,
// and meet again at a second gate once each has done its first step: no
// worker goes on until every worker has done one, so every worker's work
// overlaps every other's however the machine schedules them. They say when
// their work began and ended, so that the test can see it did.
//
// Threads: one worker process, one thread.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

namespace qxl::worker {

// The steady clock in nanoseconds, comparable between the workers of one machine.
inline std::int64_t Now() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The file that the starter creates once every worker behind Gate has printed
// "first".
inline std::string SecondGateOf(const std::string& Gate) { return Gate + ".second"; }

// Prints Line and waits for the file Gate to exist; raises when it has not
// after two minutes.
inline void AnnounceAndAwait(const char* Line, const std::string& Gate) {
  std::printf("%s\n", Line);
  std::fflush(stdout);
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (!std::filesystem::exists(Gate)) {
    if (std::chrono::steady_clock::now() > Deadline) throw std::runtime_error(Gate + " never opened");
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

// Prints "ready" and waits for the file Gate to exist.
inline void PassGate(const std::string& Gate) { AnnounceAndAwait("ready", Gate); }

// The stretch of time in which a command did its work, from the start of its
// first step to the end of its last, printed as "period START END". With a
// gate, the end of the first step is where the workers meet: Finish prints
// "first" and waits at the second gate. A step must end holding no lock that
// another worker's first step needs.
class TPeriod {
public:
  explicit TPeriod(std::string Gate = {}) : FGate(std::move(Gate)) {}

  void Begin() {
    if (FStart == 0) FStart = Now();
  }
  void Finish() {
    FEnd = Now();
    if (!FGate.empty() && !FMet) {
      FMet = true;
      AnnounceAndAwait("first", SecondGateOf(FGate));
    }
  }
  void Print() const { std::printf("period %lld %lld\n", static_cast<long long>(FStart), static_cast<long long>(FEnd)); }

private:
  std::string FGate;
  bool FMet = false;
  std::int64_t FStart = 0, FEnd = 0;
};

}  // namespace qxl::worker
