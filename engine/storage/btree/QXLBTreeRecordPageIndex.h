#pragma once
// The record pages of a table with the number of records on each: where a
// new record goes, the pages in page-number order, and record numbers.
//
// Every page with room is offered to a new record, wherever it sorts: the
// object keeps the pages it believes have room, learnt from one walk of the
// leaves and from the counters it changes itself. A belief is checked against
// the stored counter before the page is offered, so a stale one never offers
// a full page or one that left the table; what another process or a rollback
// frees goes unseen until ForgetRoom, after which the leaves are walked again
// once the believed pages run out.
// Thread rule: none of its own; the caller holds the table's lock.
#include <set>

#include "engine/storage/btree/QXLBTreePageIndex.h"

namespace qxl {

class TQXLBTreeRecordPageIndex : public TQXLBTreePageIndex {
public:
  using TQXLBTreePageIndex::TQXLBTreePageIndex;

  std::int32_t MaxRecordsOnPage = 0;

  bool CanAddDataItem(std::int32_t Counter, std::int32_t Amount) const override;

  // The lowest page with room; false when no page has any.
  bool FindPageForNewRecord(std::int32_t SessionID, std::int32_t& PageNo);
  // The stored index may have changed without this object: in another
  // process, or by a rollback.
  void ForgetRoom() { FRoomStale = true; }
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

protected:
  void CounterChanged(std::int32_t PageNo, std::int32_t Counter) override;
  void ContentReplaced(bool Known) override;

private:
  // Raises 20310 for the leaf at Path's end when a step did not move on in
  // page-number order.
  static void CheckStepOrder(const TQXLKeyPath& Path, bool InOrder);
  bool HasRoom(std::int32_t Counter) const { return Counter > 0 && CanAddDataItem(Counter, 1); }
  // Refills the believed pages from every leaf.
  void WalkForRoom(std::int32_t SessionID);
  // The lowest believed page that the stored counter confirms; the others
  // are given up on the way.
  bool OfferBelievedPage(std::int32_t SessionID, std::int32_t& PageNo);

  std::set<std::int32_t> FRoomPages;
  bool FRoomWalked = false;  // FRoomPages holds every page with room, or did before ForgetRoom
  bool FRoomStale = false;
};

}  // namespace qxl
