#include "engine/storage/QXLSortedPageList.h"

#include <algorithm>

#include "engine/core/QXLException.h"
#include "engine/storage/QXLPage.h"

TQXLSortedPageList::~TQXLSortedPageList() = default;

std::size_t TQXLSortedPageList::Search(std::int32_t PageNo, bool& Found) const {
  const auto It = std::lower_bound(FItems.begin(), FItems.end(), PageNo,
                                   [](const TEntry& E, std::int32_t No) { return E.PageNo < No; });
  Found = It != FItems.end() && It->PageNo == PageNo;
  return static_cast<std::size_t>(It - FItems.begin());
}

TQXLPage* TQXLSortedPageList::Find(std::int32_t PageNo) const {
  bool Found;
  const std::size_t Pos = Search(PageNo, Found);
  return Found ? FItems[Pos].Page.get() : nullptr;
}

TQXLPage* TQXLSortedPageList::Insert(std::unique_ptr<TQXLPage> Page) {
  bool Found;
  const std::size_t Pos = Search(Page->PageNo(), Found);
  TQXLPage* Raw = Page.get();
  FUses.push_back(Raw);
  FItems.insert(FItems.begin() + static_cast<std::ptrdiff_t>(Pos),
                TEntry{Raw->PageNo(), std::move(Page), std::prev(FUses.end())});
  return Raw;
}

std::unique_ptr<TQXLPage> TQXLSortedPageList::Extract(std::int32_t PageNo) {
  if (FItems.empty()) throw EQXLException(20165, "TSortedPageList.Delete - no elements in array!");
  bool Found;
  std::size_t Pos = Search(PageNo, Found);
  if (!Found) {
    if (FItems.size() > 1)
      throw EQXLException(20166, "TSortedPageList.Delete - element not found, key = %d, itemCount = %d",
                          {PageNo, Count()});
    Pos = 0;  // a one-entry list gives up its only entry
  }
  std::unique_ptr<TQXLPage> Page = std::move(FItems[Pos].Page);
  FUses.erase(FItems[Pos].Use);
  FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(Pos));
  return Page;
}

void TQXLSortedPageList::Clear() {
  FItems.clear();
  FUses.clear();
}

void TQXLSortedPageList::UpdateLRU(TQXLPage* Page) {
  bool Found;
  const std::size_t Pos = Search(Page->PageNo(), Found);
  if (!Found || FItems[Pos].Page.get() != Page) throw EQXLException(20167, "Page not found");
  FUses.splice(FUses.end(), FUses, FItems[Pos].Use);
}

void TQXLSortedPageList::EvictUnused(std::int32_t Capacity) {
  for (auto It = FUses.begin(); It != FUses.end() && Count() > Capacity;) {
    TQXLPage* Page = *It++;
    if (Page->UseCount() == 0) Delete(Page->PageNo());
  }
}

std::vector<std::int32_t> TQXLSortedPageList::ByLastUse() const {
  std::vector<std::int32_t> Numbers;
  for (const TQXLPage* Page : FUses) Numbers.push_back(Page->PageNo());
  return Numbers;
}
