#pragma once
// The stored forms of BLOB pages: the entry of a shared page, the header and
// page-list location of a large BLOB's first page, and the size rule between
// the two. Also the fetch of a BLOB page that refuses numbers outside the
// file and pages of another type.
// Thread rule: none; callers hold the table's lock.
#include <cstdint>

namespace qxl {

class TQXLPage;
class TQXLPageManager;


inline constexpr std::uint16_t QXLLargeBlobItemNo = 0xFFFF;
// Item number that may name an entry or a large BLOB; the reader decides.
inline constexpr std::uint16_t QXLAmbiguousBlobItemNo = 255;
inline constexpr std::int32_t QXLBlobEntryHeaderSize = 22;
inline constexpr std::int32_t QXLBlobListLocationOffset = 22;
inline constexpr std::int32_t QXLLargeBlobDataOffset = 32;
inline constexpr std::int32_t QXLDamagedBlobCode = 20163;

#pragma pack(push, 1)
struct TQXLBlobEntryHeader {
  std::uint16_t ItemNo;
  std::int32_t NumBlocks;
  std::int64_t CompressedSize;
  std::int64_t UncompressedSize;
};
struct TQXLLargeBlobListLocation {
  std::int32_t ListPageNo;
  std::uint16_t ListOffset;
  std::int32_t DataPageCount;
};
#pragma pack(pop)
static_assert(sizeof(TQXLBlobEntryHeader) == QXLBlobEntryHeaderSize);
static_assert(sizeof(TQXLLargeBlobListLocation) == 10);

// A value shares a page when its entry and the entry count fit with room to spare.
inline bool IsSmallBlobSize(std::int64_t CompressedSize, std::int32_t PageDataSize) {
  return CompressedSize + QXLBlobEntryHeaderSize + 2 < PageDataSize;
}

// Raises 20163 for a page number outside the file, 20153 for a page that is
// not a BLOB page (also when it comes from the cache).
TQXLPage* FetchBlobPage(TQXLPageManager& PageManager, std::int32_t SessionID, std::int32_t PageNo);
[[noreturn]] void RaiseDamagedBlob(std::int32_t PageNo, const char* What);

}  // namespace qxl
