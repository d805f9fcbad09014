#pragma once
// A re-entrant lock that its owner can leave entirely for a while, however
// often it entered it, and enter again as often afterwards: a thread that
// waits for what another thread of the process must do under the same lock
// (give back a table lock, say) waits outside it.
// Thread rule: lock, try_lock and unlock as a std::recursive_mutex; a TLeave
// on a thread that does not hold the section leaves nothing.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

namespace qxl {

class TQXLReentrantSection {
public:
  void lock() {
    FMutex.lock();
    Entered();
  }
  bool try_lock() {
    if (!FMutex.try_lock()) return false;
    Entered();
    return true;
  }
  void unlock() {
    if (--FDepth == 0) FOwner.store(std::thread::id(), std::memory_order_relaxed);
    FMutex.unlock();
  }

  // Leaves the section for its lifetime when the calling thread holds it.
  class TLeave {
  public:
    explicit TLeave(TQXLReentrantSection& Section) : FSection(Section) {
      if (FSection.FOwner.load(std::memory_order_relaxed) != std::this_thread::get_id()) return;
      FDepth = FSection.FDepth;
      FSection.FDepth = 0;
      FSection.FOwner.store(std::thread::id(), std::memory_order_relaxed);
      for (std::int32_t i = 0; i < FDepth; ++i) FSection.FMutex.unlock();
    }
    ~TLeave() {
      for (std::int32_t i = 0; i < FDepth; ++i) FSection.FMutex.lock();
      if (FDepth == 0) return;
      FSection.FDepth = FDepth;
      FSection.FOwner.store(std::this_thread::get_id(), std::memory_order_relaxed);
    }
    TLeave(const TLeave&) = delete;
    TLeave& operator=(const TLeave&) = delete;

  private:
    TQXLReentrantSection& FSection;
    std::int32_t FDepth = 0;
  };

private:
  void Entered() {
    if (FDepth++ == 0) FOwner.store(std::this_thread::get_id(), std::memory_order_relaxed);
  }

  std::recursive_mutex FMutex;
  // Set while a thread holds the section; only that thread compares equal.
  std::atomic<std::thread::id> FOwner{};
  // How often the owner entered; touched only by the owner.
  std::int32_t FDepth = 0;
};

}  // namespace qxl
