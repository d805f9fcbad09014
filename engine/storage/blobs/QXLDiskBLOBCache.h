#pragma once
// The value of one BLOB field of a record while a cursor reads or edits it:
// the compressed bytes with their block count and uncompressed size.
// Thread rule: belongs to its table's BLOB manager, used under the table's lock.
#include <cstdint>
#include <vector>

namespace qxl {

struct TQXLDiskBLOBCache {
  std::int32_t NumBlocks = 0;
  std::int64_t UncompressedSize = 0;
  // Set through this cache and not stored yet.
  bool Modified = false;
  std::vector<std::uint8_t> BlobData;

  std::int64_t CompressedSize() const { return static_cast<std::int64_t>(BlobData.size()); }
  void Clear() { *this = TQXLDiskBLOBCache{}; }
};

}  // namespace qxl
