#pragma once
// A growable stream in one block of the engine memory manager.
#include <cstdint>

#include "engine/core/streams/QXLStream.h"

namespace qxl {

class TQXLMemoryStream : public TQXLStream {
public:
  // The largest content: the memory manager's largest block.
  static constexpr std::int64_t MaxSize = 0x7FFFFFFF;

  // With a Buffer (a block of the engine memory manager) the stream owns it and
  // the whole block is its content; otherwise, with DefaultAllocatedSize above
  // 0, an empty stream with that much allocated.
  explicit TQXLMemoryStream(void* Buffer = nullptr, std::int64_t DefaultAllocatedSize = 0);
  ~TQXLMemoryStream() override;

  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  // Positions are not bounded; reading or writing before 0 does nothing.
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  // Growth past the allocation doubles it; a size beyond MaxSize raises 30004.
  void SetSize(std::int64_t NewSize) override;
  std::int64_t GetSize() override { return FBufferSize; }

  void* Buffer() const { return FBuffer; }
  std::int64_t AllocatedSize() const { return FAllocatedBufferSize; }

  // The allocation taken when the content grows past the current one to NewSize.
  static std::int32_t GrownAllocation(std::int64_t NewSize);

private:
  void* FBuffer = nullptr;
  std::int32_t FBufferSize = 0;
  std::int32_t FAllocatedBufferSize = 0;
  // 64 bits, so that a far seek is kept as asked and not wrapped.
  std::int64_t FPosition = 0;
};

}  // namespace qxl
