// The storage layer's page cache plugs into the abstract layer: a session's
// commit and rollback through a database data reach the memory page manager.
#include <gtest/gtest.h>

#include "engine/storage/pager/QXLPage.h"
#include "engine/storage/memory/QXLMemoryPageManager.h"
#include "tests/support/FakeDatabaseData.h"

using namespace qxl;

namespace {

std::int32_t AddPage(TQXLPageManager& Pages, std::int32_t SessionID) {
  TQXLPage* page = Pages.AddPage(SessionID, 1);
  const std::int32_t no = page->PageNo();
  Pages.PutPage(page);
  return no;
}

}  // namespace

TEST(PageCacheLink, CommitKeepsAndRollbackGivesBackASessionsNewPage) {
  FakeDatabaseData db;
  qxl::TQXLMemoryPageManager pages;
  db.SetPageManager(&pages);

  const std::int32_t kept = AddPage(pages, 0);
  db.Commit(0, false);
  EXPECT_TRUE(pages.IsPageInUse(kept));
  const TQXLSessionPageInfo* info = pages.FindSession(0);
  EXPECT_TRUE(!info || info->DirtyPages.Count() == 0);

  const std::int32_t dropped = AddPage(pages, 0);
  db.Rollback(0);
  EXPECT_FALSE(pages.IsPageInUse(dropped));
  EXPECT_TRUE(pages.IsPageInUse(kept));
}
