#include "engine/storage/QXLSortedPageList.h"

#include <algorithm>
#include <limits>

#include "engine/core/QXLException.h"
#include "engine/storage/QXLPage.h"

std::int32_t TQXLSortedPageList::Search(std::int32_t PageNo, bool& Found) const {
  const auto It = std::lower_bound(KeyItems.begin(), KeyItems.end(), PageNo);
  Found = It != KeyItems.end() && *It == PageNo;
  return static_cast<std::int32_t>(It - KeyItems.begin());
}

TQXLPage* TQXLSortedPageList::Find(std::int32_t PageNo) const {
  bool Found;
  const std::int32_t Pos = Search(PageNo, Found);
  return Found ? ValueItems[Pos].Page : nullptr;
}

void TQXLSortedPageList::Insert(TQXLPage* Page) {
  bool Found;
  const std::int32_t Pos = Search(Page->PageNo(), Found);
  KeyItems.insert(KeyItems.begin() + Pos, Page->PageNo());
  ValueItems.insert(ValueItems.begin() + Pos, TQXLPageElement{Page, ++LRUCount});
}

void TQXLSortedPageList::Delete(std::int32_t PageNo) {
  if (KeyItems.empty())
    throw EQXLException(20165, "TSortedPageList.Delete - no elements in array!");
  bool Found;
  std::int32_t Pos = Search(PageNo, Found);
  if (!Found) {
    if (KeyItems.size() > 1)
      throw EQXLException(20166, "TSortedPageList.Delete - element not found, key = %d, itemCount = %d",
                          {PageNo, Count()});
    Pos = 0;  // a one-entry list loses its only entry
  }
  KeyItems.erase(KeyItems.begin() + Pos);
  ValueItems.erase(ValueItems.begin() + Pos);
  ReleaseSpareRoom();
}

void TQXLSortedPageList::Clear() {
  KeyItems.clear();
  ValueItems.clear();
  ReleaseSpareRoom();
}

void TQXLSortedPageList::UpdateLRU(TQXLPage* Page) {
  bool Found;
  const std::int32_t Pos = Search(Page->PageNo(), Found);
  if (!Found) throw EQXLException(20167, "Page not found");
  ValueItems[Pos].LRUCount = ++LRUCount;
}

TQXLPage* TQXLSortedPageList::SmallestStampAbove(std::int64_t Stamp) {
  std::int64_t Best = std::numeric_limits<std::int64_t>::max();
  TQXLPage* Page = nullptr;
  for (const TQXLPageElement& E : ValueItems)
    if (E.LRUCount > Stamp && E.LRUCount < Best) {
      Best = E.LRUCount;
      Page = E.Page;
    }
  if (Page) LRULastFound = Best;
  return Page;
}

TQXLPage* TQXLSortedPageList::FirstByLRU() {
  return SmallestStampAbove(std::numeric_limits<std::int64_t>::min());
}

TQXLPage* TQXLSortedPageList::NextByLRU() { return SmallestStampAbove(LRULastFound); }

void TQXLSortedPageList::ReleaseSpareRoom() {
  // The vectors grow geometrically; a list emptied of many entries gives its
  // memory back.
  if (KeyItems.capacity() > 2 * KeyItems.size() + 1000) {
    KeyItems.shrink_to_fit();
    ValueItems.shrink_to_fit();
  }
}
