#pragma once
// The pages of one cache or one session, owned by the list: one hash table by
// page number, and a recency order threaded through the pages themselves, so
// that a page costs one node and a lookup, a use, an insertion, a removal and
// the choice of the least recently used page cost O(1). The ascending
// page-number order that a commit writes in is sorted when it is asked for
// and kept until the list changes.
//
// Threads: none of its own; the page manager's callers serialise access.
#include <cstdint>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

namespace qxl {

class TQXLPage;

class TQXLSortedPageList {
public:
  TQXLSortedPageList() = default;
  ~TQXLSortedPageList();
  TQXLSortedPageList(const TQXLSortedPageList&) = delete;
  TQXLSortedPageList& operator=(const TQXLSortedPageList&) = delete;

  std::int32_t Count() const { return FCount; }
  // The pages in ascending page-number order (of one number, the later one
  // first); valid until the list changes.
  std::span<TQXLPage* const> Pages() const;
  // The page with the lowest number; the list must not be empty.
  TQXLPage* First() const { return Pages().front(); }
  // Calls Visit for every page, in no particular order; Visit must not
  // change the list.
  template <typename F>
  void ForEach(F&& Visit) const {
    for (const auto& [Number, Entry] : FItems)
      for (const TEntry* E = &Entry; E; E = E->Hidden.get()) Visit(E->Page.get());
  }

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
  // The page lookups find for a number and, rarely, an older page of the
  // same number that it hides.
  struct TEntry {
    std::unique_ptr<TQXLPage> Page;
    std::unique_ptr<TEntry> Hidden;
  };

  void LinkNewest(TQXLPage* Page);
  void Unlink(TQXLPage* Page);

  std::unordered_map<std::int32_t, TEntry> FItems;
  std::int32_t FCount = 0;
  // The ends of the recency order, which runs through the pages' own links.
  TQXLPage* FOldest = nullptr;
  TQXLPage* FNewest = nullptr;
  // Pages in page-number order, while FSortedValid.
  mutable std::vector<TQXLPage*> FSorted;
  mutable bool FSortedValid = false;
};

}  // namespace qxl
