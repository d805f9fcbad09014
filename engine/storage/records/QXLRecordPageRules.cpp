#include "engine/storage/records/QXLRecordPageRules.h"

#include "engine/storage/pager/QXLDiskPageManager.h"

namespace qxl {

bool TQXLDiskRecordPageRules::AcceptAnyPage() {
  const TQXLDatabaseFreeSpaceManager* FreeSpace = FPageManager.FreeSpaceManager();
  return (FreeSpace && FreeSpace->SuppressDBHeaderErrors()) ||
         FPageManager.DBHeader().Version < QXLMinimumCleanVersion;
}

bool TQXLDiskRecordPageRules::IsPageUsed(std::int32_t PageNo) {
  TQXLDatabaseFreeSpaceManager* FreeSpace = FPageManager.FreeSpaceManager();
  return FreeSpace && FreeSpace->GetPageUsageFromPFS(PageNo);
}

}  // namespace qxl
