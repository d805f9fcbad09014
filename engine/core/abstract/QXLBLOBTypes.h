#pragma once
// The small types that carry BLOB values between cursors and table data
// objects: how a BLOB stream is opened, and one value in its compressed form.
#include <cstdint>

namespace qxl {

enum TQXLBLOBOpenMode : std::uint8_t { bomWrite = 0, bomRead = 1, bomReadWrite = 2 };

// One BLOB value in its compressed form; followed in memory by the
// compressed bytes that the table data objects hand to one another.
#pragma pack(push, 1)
struct TQXLPartialTemporaryBLOBDescriptor {
  std::int32_t NumBlocks = 0;
  std::int64_t UncompressedSize = 0;
  std::int64_t CompressedSize = 0;
};
#pragma pack(pop)
static_assert(sizeof(TQXLPartialTemporaryBLOBDescriptor) == 20);

}  // namespace qxl
