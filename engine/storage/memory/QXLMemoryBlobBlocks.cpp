#include "engine/storage/memory/QXLMemoryBlobBlocks.h"

#include <cstring>

#include "engine/core/containers/QXLMemoryManager.h"

namespace qxl {

std::uint8_t* TQXLMemoryBlobBlocks::New(std::int32_t NumBlocks, std::int64_t UncompressedSize,
                                        std::int64_t CompressedSize) {
  TQXLOwnedBlock block(QXLMemoryManager().GetMem(HeadSize + CompressedSize));
  auto* bytes = static_cast<std::uint8_t*>(block.get());
  std::memcpy(bytes, &NumBlocks, 4);
  std::memcpy(bytes + 4, &UncompressedSize, 8);
  FBlocks.emplace(bytes, TEntry{std::move(block), 0});
  return bytes;
}

void TQXLMemoryBlobBlocks::AddStoredRef(void* Block) {
  auto it = FBlocks.find(Block);
  if (it != FBlocks.end()) ++it->second.StoredRefs;
}

void TQXLMemoryBlobBlocks::ReleaseStoredRef(void* Block) {
  auto it = FBlocks.find(Block);
  if (it == FBlocks.end()) return;
  if (--it->second.StoredRefs <= 0) FBlocks.erase(it);
}

void TQXLMemoryBlobBlocks::Discard(void* Block) {
  auto it = FBlocks.find(Block);
  if (it != FBlocks.end() && it->second.StoredRefs <= 0) FBlocks.erase(it);
}

std::int64_t TQXLMemoryBlobBlocks::StoredRefs(const void* Block) const {
  auto it = FBlocks.find(const_cast<void*>(Block));
  return it == FBlocks.end() ? 0 : it->second.StoredRefs;
}

std::int32_t TQXLMemoryBlobBlocks::NumBlocks(const void* Block) {
  std::int32_t v;
  std::memcpy(&v, Block, 4);
  return v;
}

std::int64_t TQXLMemoryBlobBlocks::UncompressedSize(const void* Block) {
  std::int64_t v;
  std::memcpy(&v, static_cast<const std::uint8_t*>(Block) + 4, 8);
  return v;
}

std::int64_t TQXLMemoryBlobBlocks::CompressedSize(const void* Block) {
  return QXLMemoryManager().GetMemoryBufferSize(Block) - HeadSize;
}

}  // namespace qxl
