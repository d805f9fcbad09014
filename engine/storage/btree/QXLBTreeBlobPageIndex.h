#pragma once
// The BLOB pages of a table with the space allocated on each.
// Thread rule: none of its own; the caller holds the table's lock.
#include "engine/storage/btree/QXLBTreePageIndex.h"

namespace qxl {

class TQXLBTreeBlobPageIndex : public TQXLBTreePageIndex {
public:
  using TQXLBTreePageIndex::TQXLBTreePageIndex;

  bool CanAddDataItem(std::int32_t Counter, std::int32_t Amount) const override;

  bool FindPageForNewBlob(std::int32_t SessionID, std::int32_t BlobSize, std::int32_t& PageNo);
  void AddBlob(std::int32_t SessionID, std::int32_t BlobSize, std::int32_t PageNo);
  void DeleteBlob(std::int32_t SessionID, std::int32_t BlobSize, std::int32_t PageNo);
  // -1 for a page not in the index.
  std::int32_t GetBlobPageAllocatedSpace(std::int32_t SessionID, std::int32_t PageNo);
};

}  // namespace qxl
