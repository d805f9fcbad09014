#pragma once
// Pages kept in ascending page-number order, each with a least-recently-used
// stamp. The list does not own its pages.
#include <cstdint>
#include <vector>

class TQXLPage;

struct TQXLPageElement {
  TQXLPage* Page = nullptr;
  std::int64_t LRUCount = 0;
};

class TQXLSortedPageList {
public:
  TQXLSortedPageList() = default;

  std::int32_t Count() const { return static_cast<std::int32_t>(KeyItems.size()); }
  // Entries in ascending page-number order.
  TQXLPage* Items(std::int32_t Index) const { return ValueItems[Index].Page; }

  TQXLPage* Find(std::int32_t PageNo) const;
  void Insert(TQXLPage* Page);
  void Delete(std::int32_t PageNo);
  void Clear();
  void UpdateLRU(TQXLPage* Page);
  // The eviction walk: oldest stamp first, then each next larger stamp.
  TQXLPage* FirstByLRU();
  TQXLPage* NextByLRU();

private:
  // Position of PageNo when present, else where it would be inserted.
  std::int32_t Search(std::int32_t PageNo, bool& Found) const;
  TQXLPage* SmallestStampAbove(std::int64_t Stamp);
  void ReleaseSpareRoom();

  std::vector<std::int32_t> KeyItems;
  std::vector<TQXLPageElement> ValueItems;
  std::int64_t LRUCount = 0;
  std::int64_t LRULastFound = 0;
};
