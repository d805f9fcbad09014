#include "engine/storage/pager/QXLSortedPageList.h"

#include <algorithm>
#include <utility>

#include "engine/core/QXLException.h"
#include "engine/storage/pager/QXLPage.h"

namespace qxl {

TQXLSortedPageList::~TQXLSortedPageList() = default;

void TQXLSortedPageList::LinkNewest(TQXLPage* Page) {
  Page->FOlderUse = FNewest;
  Page->FNewerUse = nullptr;
  if (FNewest)
    FNewest->FNewerUse = Page;
  else
    FOldest = Page;
  FNewest = Page;
}

void TQXLSortedPageList::Unlink(TQXLPage* Page) {
  if (Page->FOlderUse)
    Page->FOlderUse->FNewerUse = Page->FNewerUse;
  else
    FOldest = Page->FNewerUse;
  if (Page->FNewerUse)
    Page->FNewerUse->FOlderUse = Page->FOlderUse;
  else
    FNewest = Page->FOlderUse;
  Page->FOlderUse = Page->FNewerUse = nullptr;
}

std::span<TQXLPage* const> TQXLSortedPageList::Pages() const {
  if (!FSortedValid) {
    FSorted.clear();
    FSorted.reserve(static_cast<std::size_t>(FCount));
    ForEach([&](TQXLPage* Page) { FSorted.push_back(Page); });
    // Stable: the pages of one number stay later one first, as ForEach gives them.
    std::stable_sort(FSorted.begin(), FSorted.end(),
                     [](const TQXLPage* A, const TQXLPage* B) { return A->PageNo() < B->PageNo(); });
    FSortedValid = true;
  }
  return FSorted;
}

TQXLPage* TQXLSortedPageList::Find(std::int32_t PageNo) const {
  const auto It = FItems.find(PageNo);
  return It == FItems.end() ? nullptr : It->second.Page.get();
}

TQXLPage* TQXLSortedPageList::Insert(std::unique_ptr<TQXLPage> Page) {
  TQXLPage* Raw = Page.get();
  auto [It, New] = FItems.try_emplace(Raw->PageNo());
  if (!New) {
    // The page found so far hides behind the new one.
    auto Older = std::make_unique<TEntry>(std::move(It->second));
    It->second.Hidden = std::move(Older);
  }
  It->second.Page = std::move(Page);
  LinkNewest(Raw);
  ++FCount;
  FSortedValid = false;
  return Raw;
}

std::unique_ptr<TQXLPage> TQXLSortedPageList::Extract(std::int32_t PageNo) {
  if (FCount == 0) throw EQXLException(20165, "TSortedPageList.Delete - no elements in array!");
  auto It = FItems.find(PageNo);
  if (It == FItems.end()) {
    if (FCount > 1)
      throw EQXLException(20166, "TSortedPageList.Delete - element not found, key = %d, itemCount = %d",
                          {PageNo, FCount});
    It = FItems.begin();  // a one-entry list gives up its only entry
  }
  std::unique_ptr<TQXLPage> Out = std::move(It->second.Page);
  if (std::unique_ptr<TEntry> Older = std::move(It->second.Hidden)) {
    It->second.Page = std::move(Older->Page);
    It->second.Hidden = std::move(Older->Hidden);
  } else {
    FItems.erase(It);
  }
  Unlink(Out.get());
  --FCount;
  FSortedValid = false;
  return Out;
}

void TQXLSortedPageList::Clear() {
  FItems.clear();
  FCount = 0;
  FOldest = FNewest = nullptr;
  FSorted.clear();
  FSortedValid = false;
}

void TQXLSortedPageList::UpdateLRU(TQXLPage* Page) {
  if (Find(Page->PageNo()) != Page) throw EQXLException(20167, "Page not found");
  Unlink(Page);
  LinkNewest(Page);
}

void TQXLSortedPageList::EvictUnused(std::int32_t Capacity) {
  for (TQXLPage* Page = FOldest; Page && FCount > Capacity;) {
    TQXLPage* Next = Page->FNewerUse;
    // A page hidden by a later one of its number is not the one Delete frees.
    if (Page->UseCount() == 0 && Find(Page->PageNo()) == Page) Delete(Page->PageNo());
    Page = Next;
  }
}

std::vector<std::int32_t> TQXLSortedPageList::ByLastUse() const {
  std::vector<std::int32_t> Numbers;
  Numbers.reserve(static_cast<std::size_t>(FCount));
  for (const TQXLPage* Page = FOldest; Page; Page = Page->FNewerUse) Numbers.push_back(Page->PageNo());
  return Numbers;
}

}  // namespace qxl
