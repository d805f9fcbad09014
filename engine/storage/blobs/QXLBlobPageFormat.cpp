#include "engine/storage/blobs/QXLBlobPageFormat.h"

#include "engine/core/QXLException.h"
#include "engine/storage/pager/QXLDiskFormat.h"
#include "engine/storage/pager/QXLPageManager.h"

namespace qxl {

void RaiseDamagedBlob(std::int32_t PageNo, const char* What) {
  throw EQXLException(QXLDamagedBlobCode, "Invalid BLOB data. PageNo=%d, %s", {PageNo, What});
}

TQXLPage* FetchBlobPage(TQXLPageManager& PageManager, std::int32_t SessionID, std::int32_t PageNo) {
  if (PageNo <= 0 || PageNo >= PageManager.GetPageCount()) RaiseDamagedBlob(PageNo, "page outside the file");
  TQXLPage* Page = PageManager.GetPage(SessionID, PageNo, ptTableBlob, true);
  const std::uint16_t Type = Page->HeaderPageType();
  // A page found in the cache is handed out without a type check.
  if (Type != ptTableBlob && !PageManager.IgnoreCRCErrors()) {
    PageManager.PutPage(Page);
    throw EQXLException(20153, "Invalid page type. Possible data corruption. Expecting type %d, but found %d",
                        {std::int32_t{ptTableBlob}, Type});
  }
  return Page;
}

}  // namespace qxl
