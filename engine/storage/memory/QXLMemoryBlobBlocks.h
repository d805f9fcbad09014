#pragma once
// The BLOB values of one memory table. Each value is one block of the engine
// memory manager: NumBlocks (Int32) and UncompressedSize (Int64), then the
// compressed stream as the compressed BLOB stream writes it. A record holds
// the block's address; every copy of that record names the same block.
// The table counts how many stored records name each block, so that a
// cursor's copy can be cleared or given a new value without freeing a block
// that a stored record still names: a block goes when the last stored record
// lets go of it, or, never stored, when the buffer holding it lets go.
// Thread rule: no lock of its own; callers hold the table lock.
#include <cstdint>
#include <unordered_map>

#include "engine/core/containers/QXLOwnedBlock.h"

namespace qxl {

class TQXLMemoryBlobBlocks {
public:
  static constexpr std::int64_t HeadSize = 12;

  // A new block for a value of CompressedSize compressed bytes, with its head
  // written; named by no stored record yet.
  std::uint8_t* New(std::int32_t NumBlocks, std::int64_t UncompressedSize, std::int64_t CompressedSize);
  // Whether Block is a live block of this table.
  bool Contains(const void* Block) const { return FBlocks.count(const_cast<void*>(Block)) != 0; }
  // A stored record now names Block. Unknown blocks are ignored.
  void AddStoredRef(void* Block);
  // A stored record no longer names Block; the last one frees it.
  void ReleaseStoredRef(void* Block);
  // A record buffer lets go of Block: freed unless a stored record names it.
  // Unknown blocks (a stale copy's) are left alone.
  void Discard(void* Block);
  std::int64_t StoredRefs(const void* Block) const;
  std::size_t Count() const { return FBlocks.size(); }

  static std::int32_t NumBlocks(const void* Block);
  static std::int64_t UncompressedSize(const void* Block);
  static std::int64_t CompressedSize(const void* Block);
  static const std::uint8_t* CompressedBytes(const void* Block) {
    return static_cast<const std::uint8_t*>(Block) + HeadSize;
  }

private:
  struct TEntry {
    TQXLOwnedBlock Block;
    std::int64_t StoredRefs = 0;
  };
  std::unordered_map<void*, TEntry> FBlocks;
};

}  // namespace qxl
