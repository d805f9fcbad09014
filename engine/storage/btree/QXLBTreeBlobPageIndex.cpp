#include "engine/storage/btree/QXLBTreeBlobPageIndex.h"

#include "engine/storage/pager/QXLPageManager.h"

namespace qxl {

bool TQXLBTreeBlobPageIndex::CanAddDataItem(std::int32_t Counter, std::int32_t Amount) const {
  return Counter + Amount < LPageManager->PageDataSize() - 2;
}

bool TQXLBTreeBlobPageIndex::FindPageForNewBlob(std::int32_t SessionID, std::int32_t BlobSize,
                                                std::int32_t& PageNo) {
  return FindPageWithRoom(SessionID, BlobSize, PageNo);
}

void TQXLBTreeBlobPageIndex::AddBlob(std::int32_t SessionID, std::int32_t BlobSize, std::int32_t PageNo) {
  AddToPage(SessionID, BlobSize, PageNo);
}

void TQXLBTreeBlobPageIndex::DeleteBlob(std::int32_t SessionID, std::int32_t BlobSize, std::int32_t PageNo) {
  SubtractFromPage(SessionID, BlobSize, -1, PageNo);
}

std::int32_t TQXLBTreeBlobPageIndex::GetBlobPageAllocatedSpace(std::int32_t SessionID, std::int32_t PageNo) {
  TQXLKeyPath Path;
  return FindPage(SessionID, PageNo, Path) ? GetCounter(SessionID, Path) : -1;
}

}  // namespace qxl
