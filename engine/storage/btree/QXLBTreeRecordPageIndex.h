#pragma once
// The record pages of a table with the number of records on each: where a
// new record goes, the pages in page-number order, and record numbers.
// Thread rule: none of its own; the caller holds the table's lock.
#include "engine/storage/btree/QXLBTreePageIndex.h"

namespace qxl {

class TQXLBTreeRecordPageIndex : public TQXLBTreePageIndex {
public:
  using TQXLBTreePageIndex::TQXLBTreePageIndex;

  std::int32_t MaxRecordsOnPage = 0;

  bool CanAddDataItem(std::int32_t Counter, std::int32_t Amount) const override;

  bool FindPageForNewRecord(std::int32_t SessionID, std::int32_t& PageNo);
  void AddRecord(std::int32_t SessionID, std::int32_t PageNo, std::int32_t AddCount);
  void DeleteRecord(std::int32_t SessionID, std::int32_t PageNo, std::int32_t NewItemCount);
  bool GetFirstRecordPage(std::int32_t SessionID, std::int32_t& PageNo);
  bool GetLastRecordPage(std::int32_t SessionID, std::int32_t& PageNo);
  bool GetNextRecordPage(std::int32_t SessionID, std::int32_t CurrentPageNo, std::int32_t& NextPageNo);
  bool GetPriorRecordPage(std::int32_t SessionID, std::int32_t CurrentPageNo, std::int32_t& PriorPageNo);
  // Record numbers count from 0 in page-number order.
  void GetRecordByRecNo(std::int32_t SessionID, std::int64_t RecNo, std::int32_t& PageNo,
                        std::int32_t& RecNoOnPage);
  void GetRecNoByRecord(std::int32_t SessionID, std::int32_t PageNo, std::int32_t RecNoOnPage, std::int64_t& RecNo);
  // Raises 20292 when the counters do not add up to StoredRecordCount.
  void Validate(std::int32_t SessionID, std::int32_t StoredRecordCount);

private:
  // Raises 20310 for the leaf at Path's end when a step did not move on in
  // page-number order.
  static void CheckStepOrder(const TQXLKeyPath& Path, bool InOrder);
};

}  // namespace qxl
