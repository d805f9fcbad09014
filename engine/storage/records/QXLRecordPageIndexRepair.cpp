// Repair and check of a table's record page index against its record pages.
#include <new>

#include "engine/storage/pager/QXLDiskFormat.h"
#include "engine/storage/pager/QXLPageManager.h"
#include "engine/storage/pager/QXLPageHold.h"
#include "engine/storage/records/QXLDiskRecordManager.h"
#include "engine/storage/pager/QXLPageHeaderFields.h"
#include "engine/storage/records/QXLRecordPageRules.h"
#include "engine/storage/records/QXLSmallRecordPage.h"

namespace qxl {

void TQXLDiskRecordManager::RebuildRecordPageIndex(std::int32_t SessionID) {
  FRecordPageIndex.CreateIndex(SessionID);
  FRecordCount = 0;
  const std::int32_t PageCount = LPageManager.GetPageCount();
  for (std::int32_t PageNo = 1; PageNo < PageCount; ++PageNo) {
    try {
      AddPageToRebuiltIndex(SessionID, PageNo);
    } catch (const std::bad_alloc&) {
      throw;  // a repair that ran out of memory must not drop pages silently
    } catch (...) {
      // An unreadable or foreign page is left out; the rest still counts.
    }
  }
}

void TQXLDiskRecordManager::AddPageToRebuiltIndex(std::int32_t SessionID, std::int32_t PageNo) {
  TQXLPageHold Page(LPageManager, FetchRecordPage(SessionID, PageNo));
  if (PageObjectID(*Page) != LRules.TableID() || !IsRecordPageValid(*Page) || !LRules.IsPageUsed(PageNo)) return;
  const std::int64_t Count = View(&*Page).RecordCount();
  // A page without records has no entry: a count of 0 means no entry.
  if (Count == 0) return;
  FRecordPageIndex.AddRecord(SessionID, PageNo, static_cast<std::int32_t>(Count));
  FRecordCount += Count;
}

void TQXLDiskRecordManager::ValidateRecordPageIndex(std::int32_t SessionID) {
  FRecordPageIndex.Validate(SessionID, static_cast<std::int32_t>(static_cast<std::uint32_t>(FRecordCount)));
}

}  // namespace qxl
