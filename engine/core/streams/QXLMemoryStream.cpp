#include "engine/core/streams/QXLMemoryStream.h"

#include <algorithm>
#include <cstring>

#include "engine/core/QXLException.h"
#include "engine/core/containers/QXLMemoryManager.h"

namespace qxl {

TQXLMemoryStream::TQXLMemoryStream(void* Buffer, std::int64_t DefaultAllocatedSize) {
  if (Buffer) {
    FBuffer = Buffer;
    FBufferSize = FAllocatedBufferSize = static_cast<std::int32_t>(QXLMemoryManager().GetMemoryBufferSize(Buffer));
  } else if (DefaultAllocatedSize > 0) {
    FBuffer = QXLMemoryManager().GetMem(DefaultAllocatedSize);
    FAllocatedBufferSize = static_cast<std::int32_t>(DefaultAllocatedSize);
  }
}

TQXLMemoryStream::~TQXLMemoryStream() {
  try {
    SetSize(0);
  } catch (const EQXLException&) {
    // An overrun found while freeing cannot leave a destructor; the block is
    // freed all the same.
  }
}

std::int32_t TQXLMemoryStream::GrownAllocation(std::int64_t NewSize) {
  // Doubling stops at the largest block instead of overflowing 32 bits.
  return static_cast<std::int32_t>(std::min(2 * std::min(NewSize, MaxSize), MaxSize));
}

void TQXLMemoryStream::SetSize(std::int64_t NewSize) {
  if (NewSize <= 0) {
    FBufferSize = FAllocatedBufferSize = 0;
    FPosition = std::min<std::int64_t>(FPosition, 0);
    QXLMemoryManager().FreeAndNillMem(FBuffer);
  } else if (NewSize > MaxSize) {
    throw EQXLException(30004, "Memory limit exceeded (Limit = %d bytes)", {MaxSize});
  } else if (FAllocatedBufferSize == 0) {
    FBuffer = QXLMemoryManager().GetMem(NewSize);
    FBufferSize = FAllocatedBufferSize = static_cast<std::int32_t>(NewSize);
  } else {
    // The size changes only once the allocation holds it, so that a refused
    // growth leaves a consistent stream.
    if (FAllocatedBufferSize < NewSize) {
      const std::int32_t allocation = GrownAllocation(NewSize);
      QXLMemoryManager().ReallocMem(FBuffer, allocation);
      FAllocatedBufferSize = allocation;
    }
    FBufferSize = static_cast<std::int32_t>(NewSize);
  }
  if (FPosition > FBufferSize) FPosition = FBufferSize;
}

std::int32_t TQXLMemoryStream::Read(void* Buffer, std::int32_t Count) {
  if (FPosition < 0 || FPosition >= FBufferSize || Count < 1) return 0;
  const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(Count, FBufferSize - FPosition));
  std::memcpy(Buffer, static_cast<const std::uint8_t*>(FBuffer) + FPosition, static_cast<std::size_t>(n));
  FPosition += n;
  return n;
}

std::int32_t TQXLMemoryStream::Write(const void* Buffer, std::int32_t Count) {
  if (FPosition < 0 || Count < 1) return 0;
  // Past MaxSize the end is refused by SetSize whatever its exact value.
  const std::int64_t end = std::min(FPosition, MaxSize + 1) + Count;
  if (end > FBufferSize) SetSize(end);
  std::memcpy(static_cast<std::uint8_t*>(FBuffer) + FPosition, Buffer, static_cast<std::size_t>(Count));
  FPosition += Count;
  return Count;
}

std::int64_t TQXLMemoryStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  const auto base = SeekBase(Origin, FPosition, [this] { return std::int64_t{FBufferSize}; });
  return FPosition = base ? qxl::SaturatedAdd(*base, Offset) : 0;
}

}  // namespace qxl
