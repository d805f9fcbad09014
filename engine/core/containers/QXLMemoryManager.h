#pragma once
// The engine's one allocator: every block carries a header and a trailing
// guard so that a foreign pointer or an overrun is reported when the block is
// freed; keeps a running total of live bytes and an optional limit.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace qxl {

class TQXLMemoryManager {
public:
  // Bytes in front of the caller's data: size (4), method (1), signature (4).
  static constexpr std::int64_t HeaderSize = 9;
  // Bytes after the caller's data: the guard.
  static constexpr std::int64_t GuardSize = 4;
  static constexpr std::uint32_t HeaderSignature = 0xACCACCAC;
  static constexpr std::uint32_t TrailingGuard = 0xACCEACCE;
  // The header records the size as a signed 32-bit number.
  static constexpr std::int64_t MaxBlockSize = 0x7FFFFFFF;

  TQXLMemoryManager();
  // MaxMemorySize 0 means no limit.
  explicit TQXLMemoryManager(std::int64_t MaxMemorySize);
  // Blocks still live are not freed.
  ~TQXLMemoryManager() = default;
  TQXLMemoryManager(const TQXLMemoryManager&) = delete;
  TQXLMemoryManager& operator=(const TQXLMemoryManager&) = delete;

  // A new block of BufferSize bytes, not initialised.
  void* GetMem(std::int64_t BufferSize);
  // A new block of BufferSize bytes, zero-filled.
  void* AllocMem(std::int64_t BufferSize);

  // Checks and frees the block and sets Buffer to nil; a nil Buffer is left
  // alone. An overwritten guard is reported after the block is freed.
  void FreeAndNillMem(void*& Buffer);
  template <typename T>
  void FreeAndNillMem(T*& Buffer) {
    void* p = Buffer;
    try {
      FreeAndNillMem(p);
    } catch (...) {
      Buffer = static_cast<T*>(p);
      throw;
    }
    Buffer = nullptr;
  }
  // FreeAndNillMem on a copy of the pointer.
  void FreeMem(void* Buffer);

  // Moves the data into a new block of BufferSize bytes; with ClearTail the
  // bytes beyond the old size are zeroed. A nil Buffer counts as an empty block.
  void ReallocMem(void*& Buffer, std::int64_t BufferSize, bool ClearTail = false);
  template <typename T>
  void ReallocMem(T*& Buffer, std::int64_t BufferSize, bool ClearTail = false) {
    void* p = Buffer;
    try {
      ReallocMem(p, BufferSize, ClearTail);
    } catch (...) {
      Buffer = static_cast<T*>(p);
      throw;
    }
    Buffer = static_cast<T*>(p);
  }
  template <typename T>
  void ReallocMemAndClearTail(T*& Buffer, std::int64_t BufferSize) {
    ReallocMem(Buffer, BufferSize, true);
  }

  // The size recorded in the block's header; 0 for nil.
  std::int64_t GetMemoryBufferSize(const void* Buffer) const;

  // The free physical memory, or the limit when one is set and it is smaller.
  // The system is asked again only when its last answer is older than
  // FreeMemoryReadingAge: tables and temporary results are sized by it at
  // every open, and one reading costs several file reads.
  std::int64_t GetFreeMemorySize();
  static constexpr std::chrono::milliseconds FreeMemoryReadingAge{250};

  std::int64_t MaxMemorySize() const { return FMaxMemorySize; }
  std::int64_t TotalMemAllocated() const { return FTotalMemAllocated.load(std::memory_order_relaxed); }

private:
  void AddToTotal(std::int64_t Delta);

  std::int64_t FMaxMemorySize = 0;
  // Changed only under MMLock; the limit check reads it without the lock.
  std::atomic<std::int64_t> FTotalMemAllocated{0};
  // The last reading of the system's free memory and when it was taken;
  // under MMLock.
  std::int64_t FFreeSystemMemorySize = 0;
  std::chrono::steady_clock::time_point FFreeSystemMemoryRead{};
  bool FFreeSystemMemoryKnown = false;
  std::mutex MMLock;
};

// The process-wide manager, created without a limit on first use and never
// destroyed, so that engine objects freed late at exit can still use it.
TQXLMemoryManager& QXLMemoryManager();

// Copies Count bytes between ranges that may overlap.
void MoveBytesOverlapSafe(const void* Source, void* Dest, std::size_t Count);

}  // namespace qxl
