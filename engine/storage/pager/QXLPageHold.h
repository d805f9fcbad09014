#pragma once
// Gives a page taken from the page cache back on every way out of a scope.
// Thread rule: used under the lock of the page manager's owner.
#include "engine/storage/pager/QXLPageManager.h"

namespace qxl {

class TQXLPageHold {
public:
  TQXLPageHold(TQXLPageManager& PageManager, TQXLPage* Page) : FPageManager(PageManager), FPage(Page) {}
  ~TQXLPageHold() { FPageManager.PutPage(FPage); }
  TQXLPageHold(const TQXLPageHold&) = delete;
  TQXLPageHold& operator=(const TQXLPageHold&) = delete;

  TQXLPage& operator*() const { return *FPage; }
  TQXLPage* operator->() const { return FPage; }

private:
  TQXLPageManager& FPageManager;
  TQXLPage* FPage;
};

}  // namespace qxl
