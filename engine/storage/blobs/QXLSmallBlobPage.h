#pragma once
// A short-lived view over one shared BLOB page: an entry count, then the
// entries back to back in the order they were added. Every walk over the
// entries is checked against the page, so a damaged count or size raises
// 20163 instead of reading past the page.
// Thread rule: none of its own; used under the table's lock around one fetched page.
#include <cstdint>

#include "engine/core/containers/QXLPageItemID.h"
#include "engine/storage/blobs/QXLBlobPageFormat.h"

namespace qxl {

class TQXLPage;


struct TQXLDiskBLOBCache;

class TQXLSmallBlobPage {
public:
  explicit TQXLSmallBlobPage(TQXLPage* Page) : LPage(Page) {}

  std::uint16_t BlobCount() const;
  void SetBlobCount(std::uint16_t Value);
  // Offset in the data area just past the last entry.
  std::int32_t EntriesEnd() const;

  // Appends an entry; the caller has made sure it fits.
  void AddBlob(const TQXLDiskBLOBCache& BlobCache, TQXLPageItemID& PageItemID);
  // BlobSize := 22 + the entry's compressed size; 20171 when no entry has the number.
  void DeleteBlob(const TQXLPageItemID& PageItemID, std::int32_t& BlobSize);
  // 22 + the entry's compressed size; 20171 when no entry has the number.
  std::int32_t EntrySize(const TQXLPageItemID& PageItemID) const;
  // Leaves the cache alone when no entry has the number.
  void ReadBlob(TQXLDiskBLOBCache& BlobCache, const TQXLPageItemID& PageItemID) const;
  // The lowest free item number from the entry count on; 20172 at 0xFFFF.
  std::uint16_t GetNewItemNo() const;

private:
  // Data offset of entry N, each entry before it checked to lie on the page.
  std::int32_t GetBlobEntry(std::int32_t N) const;
  TQXLBlobEntryHeader EntryAt(std::int32_t Offset) const;
  // Offset of the entry with the item number, or -1.
  std::int32_t FindEntry(std::uint16_t ItemNo, std::int32_t& EntryNo) const;

  TQXLPage* LPage;
};

}  // namespace qxl
