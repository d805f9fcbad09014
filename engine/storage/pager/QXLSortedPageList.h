#pragma once
// Pages kept in ascending page-number order, owned by the list, with their
// order of last use: insertions and removals are logarithmic (no entry ever
// moves); a lookup, a use and the choice of the least recently used page
// cost O(1), since every page fetch makes the first two.
//
// Threads: none of its own; the page manager's callers serialise access.
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <ranges>
#include <unordered_map>
#include <vector>

class TQXLPage;

class TQXLSortedPageList {
public:
  TQXLSortedPageList() = default;
  ~TQXLSortedPageList();
  TQXLSortedPageList(const TQXLSortedPageList&) = delete;
  TQXLSortedPageList& operator=(const TQXLSortedPageList&) = delete;

  std::int32_t Count() const { return static_cast<std::int32_t>(FItems.size()); }
  // The pages in ascending page-number order; the list must not change while
  // the range is walked.
  auto Pages() const {
    return FItems | std::views::transform([](const auto& Item) { return Item.second.Page.get(); });
  }
  // The page with the lowest number; the list must not be empty.
  TQXLPage* First() const { return FItems.begin()->second.Page.get(); }

  TQXLPage* Find(std::int32_t PageNo) const;
  // Takes the page as the most recently used one; returns it.
  TQXLPage* Insert(std::unique_ptr<TQXLPage> Page);
  // Hands the page of that number out of the list. An empty list raises
  // 20165; a missing number raises 20166, except that a one-entry list then
  // gives up its only entry.
  std::unique_ptr<TQXLPage> Extract(std::int32_t PageNo);
  // Extract, and the page is freed.
  void Delete(std::int32_t PageNo) { Extract(PageNo); }
  // Frees every page.
  void Clear();
  // Marks the page as the most recently used one; 20167 when it is not here.
  void UpdateLRU(TQXLPage* Page);
  // Frees pages nobody holds, least recently used first, until no more than
  // Capacity are left or only held pages remain.
  void EvictUnused(std::int32_t Capacity);
  // Page numbers from the least to the most recently used.
  std::vector<std::int32_t> ByLastUse() const;

private:
  struct TEntry {
    std::unique_ptr<TQXLPage> Page;
    std::list<TQXLPage*>::iterator Use;
  };

  // A number listed twice keeps both pages, the later one first, as lookups
  // find it.
  using TItems = std::multimap<std::int32_t, TEntry>;
  TItems FItems;
  // The entry lookups find for each number listed.
  std::unordered_map<std::int32_t, TItems::iterator> FFirst;
  // The first entry of that number, or end().
  TItems::const_iterator Search(std::int32_t PageNo) const;
  // Oldest use at the front.
  std::list<TQXLPage*> FUses;
};
