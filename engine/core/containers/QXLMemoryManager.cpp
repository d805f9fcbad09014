#include "engine/core/containers/QXLMemoryManager.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/core/QXLException.h"
#include "platform/Exception.h"
#include "platform/Format.h"
#include "platform/Memory.h"

namespace qxl {

namespace {

enum : std::uint8_t { MethodHeap = 0, MethodVirtual = 1, MethodGlobal = 2 };

struct MethodRow {
  std::int64_t Bound;  // largest total block size the row serves
  std::uint8_t Method;
};

// Every block comes from the process heap; the other methods stay selectable
// by adding rows.
constexpr MethodRow MethodTable[] = {{2147483647, MethodHeap}};

std::uint8_t MethodFor(std::int64_t totalSize) {
  for (auto row = std::rbegin(MethodTable); row != std::rend(MethodTable); ++row)
    if (row->Bound >= totalSize) return row->Method;
  return std::rbegin(MethodTable)->Method;
}

void StoreLE32(std::uint8_t* at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t LoadLE32(const std::uint8_t* at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(at[i]) << (8 * i);
  return v;
}

// The block header as found in front of a data pointer.
struct Header {
  std::uint8_t* Start;
  std::int64_t Size;
  std::uint8_t Method;
};

bool ReadHeader(const void* data, Header& h) {
  auto* start = static_cast<std::uint8_t*>(const_cast<void*>(data)) - TQXLMemoryManager::HeaderSize;
  if (LoadLE32(start + 5) != TQXLMemoryManager::HeaderSignature) return false;
  h.Start = start;
  h.Size = static_cast<std::int32_t>(LoadLE32(start));
  h.Method = start[4];
  return true;
}

void* Allocate(std::uint8_t method, std::int64_t totalSize) {
  void* block = nullptr;
  switch (method) {
    case MethodHeap:
    case MethodGlobal:
      block = std::malloc(static_cast<std::size_t>(totalSize));
      break;
    case MethodVirtual:
      block = platform::AllocatePages(static_cast<std::size_t>(totalSize));
      break;
    default:
      throw EQXLException(30340, "Unknown GetMem method type: %d", {static_cast<int>(method)});
  }
  if (!block) throw platform::Exception("Out of memory");
  return block;
}

void Release(const Header& h) {
  switch (h.Method) {
    case MethodHeap:
    case MethodGlobal:
      std::free(h.Start);
      break;
    case MethodVirtual:
      platform::ReleasePages(h.Start, static_cast<std::size_t>(h.Size + TQXLMemoryManager::HeaderSize +
                                                               TQXLMemoryManager::GuardSize));
      break;
    default:
      break;  // not ours to free
  }
}

}  // namespace

TQXLMemoryManager::TQXLMemoryManager() = default;

TQXLMemoryManager::TQXLMemoryManager(std::int64_t MaxMemorySize) : FMaxMemorySize(MaxMemorySize) {}

void TQXLMemoryManager::AddToTotal(std::int64_t Delta) {
  std::lock_guard<std::mutex> guard(MMLock);
  FTotalMemAllocated.store(FTotalMemAllocated.load(std::memory_order_relaxed) + Delta, std::memory_order_relaxed);
}

void* TQXLMemoryManager::GetMem(std::int64_t BufferSize) {
  if (BufferSize == 0) throw EQXLException(30286, "Cannot allocate 0 bytes");
  // Compared as a difference, so that a huge request cannot overflow the sum.
  if (FMaxMemorySize != 0 && BufferSize > FMaxMemorySize - TotalMemAllocated())
    throw EQXLException(30004, "Memory limit exceeded (Limit = %d bytes)", {FMaxMemorySize});
  try {
    // The header holds the size in 32 signed bits.
    if (BufferSize < 0 || BufferSize > MaxBlockSize)
      throw platform::Exception(platform::Format("Block size %d is outside 1..%d", BufferSize, MaxBlockSize));
    const std::int64_t total = BufferSize + HeaderSize + GuardSize;
    const std::uint8_t method = MethodFor(total);
    auto* start = static_cast<std::uint8_t*>(Allocate(method, total));
    StoreLE32(start, static_cast<std::uint32_t>(BufferSize));
    start[4] = method;
    StoreLE32(start + 5, HeaderSignature);
    StoreLE32(start + HeaderSize + BufferSize, TrailingGuard);
    AddToTotal(BufferSize);
    return start + HeaderSize;
  } catch (const platform::Exception& e) {
    throw EQXLException(30015, "GetMem error: %s", {e.Message});
  } catch (const std::exception& e) {
    throw EQXLException(30015, "GetMem error: %s", {std::string(e.what())});
  }
}

void* TQXLMemoryManager::AllocMem(std::int64_t BufferSize) {
  void* p = GetMem(BufferSize);
  std::memset(p, 0, static_cast<std::size_t>(BufferSize));
  return p;
}

void TQXLMemoryManager::FreeAndNillMem(void*& Buffer) {
  if (!Buffer) return;
  Header h;
  if (!ReadHeader(Buffer, h)) throw EQXLException(30001, "Invalid pointer");
  const bool guardHolds = LoadLE32(h.Start + HeaderSize + h.Size) == TrailingGuard;
  AddToTotal(-h.Size);
  Release(h);
  Buffer = nullptr;
  if (!guardHolds) throw EQXLException(30137, "Memory overrun detected");
}

void TQXLMemoryManager::FreeMem(void* Buffer) { FreeAndNillMem(Buffer); }

void TQXLMemoryManager::ReallocMem(void*& Buffer, std::int64_t BufferSize, bool ClearTail) {
  void* fresh = nullptr;
  try {
    std::int64_t oldSize = 0;
    if (Buffer) {
      Header h;
      if (!ReadHeader(Buffer, h)) throw EQXLException(30002, "Invalid pointer");
      oldSize = h.Size;
    }
    fresh = GetMem(BufferSize);
    if (Buffer) std::memcpy(fresh, Buffer, static_cast<std::size_t>(std::min(oldSize, BufferSize)));
    if (ClearTail && oldSize < BufferSize)
      std::memset(static_cast<std::uint8_t*>(fresh) + oldSize, 0, static_cast<std::size_t>(BufferSize - oldSize));
    FreeAndNillMem(Buffer);
    Buffer = fresh;
  } catch (const platform::Exception& e) {
    // The old block was overrun and is gone: do not leak the new one as well.
    if (fresh && !Buffer) FreeMem(fresh);
    throw EQXLException(30014, "ReallocMem error: %s", {e.Message});
  }
}

std::int64_t TQXLMemoryManager::GetMemoryBufferSize(const void* Buffer) const {
  if (!Buffer) return 0;
  Header h;
  if (!ReadHeader(Buffer, h)) throw EQXLException(30005, "Invalid pointer");
  return h.Size;
}

std::int64_t TQXLMemoryManager::GetFreeMemorySize() {
  std::int64_t Free;
  {
    std::lock_guard<std::mutex> Guard(MMLock);
    const auto Now = std::chrono::steady_clock::now();
    if (!FFreeSystemMemoryKnown || Now - FFreeSystemMemoryRead >= FreeMemoryReadingAge) {
      const std::uint64_t available = platform::FreePhysicalMemory();
      FFreeSystemMemorySize = static_cast<std::int64_t>(std::min<std::uint64_t>(available, INT64_MAX));
      FFreeSystemMemoryRead = Now;
      FFreeSystemMemoryKnown = true;
    }
    Free = FFreeSystemMemorySize;
  }
  if (FMaxMemorySize != 0) return std::min(FMaxMemorySize, Free);
  return Free;
}

TQXLMemoryManager& QXLMemoryManager() {
  static TQXLMemoryManager* manager = new TQXLMemoryManager();
  return *manager;
}

void MoveBytesOverlapSafe(const void* Source, void* Dest, std::size_t Count) {
  const auto* src = static_cast<const std::uint8_t*>(Source);
  auto* dst = static_cast<std::uint8_t*>(Dest);
  const std::intptr_t gap = static_cast<std::intptr_t>(reinterpret_cast<std::uintptr_t>(dst) -
                                                     reinterpret_cast<std::uintptr_t>(src));
  if (gap >= 1 && gap <= 3) {
    for (std::size_t i = Count; i > 0; --i) dst[i - 1] = src[i - 1];
  } else if (gap >= -3 && gap <= -1) {
    for (std::size_t i = 0; i < Count; ++i) dst[i] = src[i];
  } else if (Count > 0) {
    std::memmove(dst, src, Count);
  }
}

}  // namespace qxl
