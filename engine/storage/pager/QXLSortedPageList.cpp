#include "engine/storage/pager/QXLSortedPageList.h"

#include "engine/core/QXLException.h"
#include "engine/storage/pager/QXLPage.h"

TQXLSortedPageList::~TQXLSortedPageList() = default;

TQXLSortedPageList::TItems::const_iterator TQXLSortedPageList::Search(std::int32_t PageNo) const {
  const auto It = FFirst.find(PageNo);
  return It == FFirst.end() ? FItems.end() : TItems::const_iterator(It->second);
}

TQXLPage* TQXLSortedPageList::Find(std::int32_t PageNo) const {
  const auto It = Search(PageNo);
  return It == FItems.end() ? nullptr : It->second.Page.get();
}

TQXLPage* TQXLSortedPageList::Insert(std::unique_ptr<TQXLPage> Page) {
  TQXLPage* Raw = Page.get();
  FUses.push_back(Raw);
  const std::int32_t PageNo = Raw->PageNo();
  bool NewNumber = false;
  try {
    auto First = FFirst.try_emplace(PageNo, FItems.end());
    NewNumber = First.second;
    // Placed before the entries of the same number, so that lookups find it.
    First.first->second =
        FItems.emplace_hint(FItems.lower_bound(PageNo), PageNo, TEntry{std::move(Page), std::prev(FUses.end())});
  } catch (...) {
    if (NewNumber) FFirst.erase(PageNo);
    FUses.pop_back();
    throw;
  }
  return Raw;
}

std::unique_ptr<TQXLPage> TQXLSortedPageList::Extract(std::int32_t PageNo) {
  if (FItems.empty()) throw EQXLException(20165, "TSortedPageList.Delete - no elements in array!");
  auto First = FFirst.find(PageNo);
  if (First == FFirst.end()) {
    if (FItems.size() > 1)
      throw EQXLException(20166, "TSortedPageList.Delete - element not found, key = %d, itemCount = %d",
                          {PageNo, Count()});
    First = FFirst.find(FItems.begin()->first);  // a one-entry list gives up its only entry
  }
  const TItems::iterator It = First->second;
  const TItems::iterator Next = std::next(It);
  if (Next != FItems.end() && Next->first == It->first)
    First->second = Next;
  else
    FFirst.erase(First);
  auto Node = FItems.extract(It);
  FUses.erase(Node.mapped().Use);
  return std::move(Node.mapped().Page);
}

void TQXLSortedPageList::Clear() {
  FFirst.clear();
  FItems.clear();
  FUses.clear();
}

void TQXLSortedPageList::UpdateLRU(TQXLPage* Page) {
  const auto It = Search(Page->PageNo());
  if (It == FItems.end() || It->second.Page.get() != Page) throw EQXLException(20167, "Page not found");
  FUses.splice(FUses.end(), FUses, It->second.Use);
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
