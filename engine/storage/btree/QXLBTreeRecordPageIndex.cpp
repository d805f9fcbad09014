#include "engine/storage/btree/QXLBTreeRecordPageIndex.h"

#include "engine/core/QXLException.h"
#include "engine/storage/pager/QXLPageManager.h"

namespace qxl {

bool TQXLBTreeRecordPageIndex::CanAddDataItem(std::int32_t Counter, std::int32_t) const {
  return Counter < MaxRecordsOnPage;
}

bool TQXLBTreeRecordPageIndex::FindPageForNewRecord(std::int32_t SessionID, std::int32_t& PageNo) {
  if (FRootPageNo == -1) throw EQXLException(20116, "Index error: invalid page number");
  if (!FRoomWalked) WalkForRoom(SessionID);
  if (OfferBelievedPage(SessionID, PageNo)) return true;
  if (!FRoomStale) return false;
  WalkForRoom(SessionID);
  return OfferBelievedPage(SessionID, PageNo);
}

bool TQXLBTreeRecordPageIndex::OfferBelievedPage(std::int32_t SessionID, std::int32_t& PageNo) {
  while (!FRoomPages.empty()) {
    const std::int32_t Candidate = *FRoomPages.begin();
    TQXLKeyPath Path;
    if (FindPage(SessionID, Candidate, Path) && HasRoom(GetCounter(SessionID, Path))) {
      PageNo = Candidate;
      return true;
    }
    FRoomPages.erase(FRoomPages.begin());
  }
  return false;
}

void TQXLBTreeRecordPageIndex::WalkForRoom(std::int32_t SessionID) {
  FRoomPages.clear();
  FRoomWalked = false;
  TQXLKeyPath Path;
  if (GotoFirst(SessionID, Path)) {
    // A damaged sibling chain could loop: no walk visits more leaves than the file has pages.
    std::int32_t LeavesLeft = LPageManager->GetPageCount();
    for (std::int32_t LeafNo = Path.Item(Path.Count() - 1).PageNo; LeafNo != -1;) {
      TQXLBTreePage Leaf = FetchIndexPage(SessionID, LeafNo);
      if (!Leaf.IsLeaf() || --LeavesLeft < 0) Leaf.RaiseDamaged();
      for (std::int32_t i = 0; i < Leaf.EntryCount(); ++i) {
        std::int32_t Page;
        std::uint16_t Counter;
        std::memcpy(&Page, Leaf.GetPKey(i), 4);
        std::memcpy(&Counter, Leaf.GetPReference(i), 2);
        if (HasRoom(Counter)) FRoomPages.insert(FRoomPages.end(), Page);
      }
      LeafNo = Leaf.RightPageNo();
    }
  }
  FRoomWalked = true;
  FRoomStale = false;
}

void TQXLBTreeRecordPageIndex::CounterChanged(std::int32_t PageNo, std::int32_t Counter) {
  if (HasRoom(Counter))
    FRoomPages.insert(PageNo);
  else
    FRoomPages.erase(PageNo);
}

void TQXLBTreeRecordPageIndex::ContentReplaced(bool Known) {
  FRoomPages.clear();
  FRoomWalked = Known;
  FRoomStale = false;
}

void TQXLBTreeRecordPageIndex::AddRecord(std::int32_t SessionID, std::int32_t PageNo, std::int32_t AddCount) {
  AddToPage(SessionID, AddCount, PageNo);
}

void TQXLBTreeRecordPageIndex::DeleteRecord(std::int32_t SessionID, std::int32_t PageNo,
                                            std::int32_t NewItemCount) {
  SubtractFromPage(SessionID, 1, NewItemCount, PageNo);
}

bool TQXLBTreeRecordPageIndex::GetFirstRecordPage(std::int32_t SessionID, std::int32_t& PageNo) {
  TQXLKeyPath Path;
  if (!GotoFirst(SessionID, Path)) return false;
  PageNo = GetPageNoAtPosition(SessionID, Path);
  return true;
}

bool TQXLBTreeRecordPageIndex::GetLastRecordPage(std::int32_t SessionID, std::int32_t& PageNo) {
  TQXLKeyPath Path;
  if (!GotoLast(SessionID, Path)) return false;
  PageNo = GetPageNoAtPosition(SessionID, Path);
  return true;
}

void TQXLBTreeRecordPageIndex::CheckStepOrder(const TQXLKeyPath& Path, bool InOrder) {
  // Each step finds the current page again by its number: a page listed twice
  // would lead back to its first entry, and a walk from page to page would
  // never end. The pages are in number order, so every step must move on.
  if (!InOrder)
    throw EQXLException(20310, "Index page is damaged. PageNo=%d", {Path.Item(Path.Count() - 1).PageNo});
}

bool TQXLBTreeRecordPageIndex::GetNextRecordPage(std::int32_t SessionID, std::int32_t CurrentPageNo,
                                                 std::int32_t& NextPageNo) {
  TQXLKeyPath Path;
  if (!FindPage(SessionID, CurrentPageNo, Path)) throw EQXLException(20104, "Invalid page number");
  if (!GotoNext(SessionID, Path)) return false;
  NextPageNo = GetPageNoAtPosition(SessionID, Path);
  CheckStepOrder(Path, CurrentPageNo < NextPageNo);
  return true;
}

bool TQXLBTreeRecordPageIndex::GetPriorRecordPage(std::int32_t SessionID, std::int32_t CurrentPageNo,
                                                  std::int32_t& PriorPageNo) {
  TQXLKeyPath Path;
  if (!FindPage(SessionID, CurrentPageNo, Path)) throw EQXLException(20105, "Invalid page number");
  if (!GotoPrior(SessionID, Path)) return false;
  PriorPageNo = GetPageNoAtPosition(SessionID, Path);
  CheckStepOrder(Path, PriorPageNo < CurrentPageNo);
  return true;
}

void TQXLBTreeRecordPageIndex::GetRecordByRecNo(std::int32_t SessionID, std::int64_t RecNo, std::int32_t& PageNo,
                                                std::int32_t& RecNoOnPage) {
  TQXLKeyPath Path;
  std::int64_t Passed = 0;
  for (bool More = RecNo >= 0 && GotoFirst(SessionID, Path); More; More = GotoNext(SessionID, Path)) {
    const std::int64_t Counter = GetCounter(SessionID, Path);
    if (RecNo < Passed + Counter) {
      PageNo = GetPageNoAtPosition(SessionID, Path);
      RecNoOnPage = static_cast<std::int32_t>(RecNo - Passed);
      return;
    }
    Passed += Counter;
  }
  throw EQXLException(20113, "Cannot set RecNo greater than RecordCount");
}

void TQXLBTreeRecordPageIndex::GetRecNoByRecord(std::int32_t SessionID, std::int32_t PageNo,
                                                std::int32_t RecNoOnPage, std::int64_t& RecNo) {
  TQXLKeyPath Path;
  RecNo = 0;
  if (!FindPage(SessionID, PageNo, Path)) throw EQXLException(20114, "Invalid page number");
  while (GotoPrior(SessionID, Path)) RecNo += GetCounter(SessionID, Path);
  RecNo += RecNoOnPage;
}

void TQXLBTreeRecordPageIndex::Validate(std::int32_t SessionID, std::int32_t StoredRecordCount) {
  TQXLKeyPath Path;
  std::int32_t Sum = 0;
  for (bool More = GotoFirst(SessionID, Path); More; More = GotoNext(SessionID, Path))
    Sum += GetCounter(SessionID, Path);
  if (Sum != StoredRecordCount)
    throw EQXLException(20292,
                        "Invalid table RecordPageIndex or MostUpdated. RecordPageIndex.RecordCount=%d, "
                        "MostUpdated.RecordCount=%d",
                        {Sum, StoredRecordCount});
}

}  // namespace qxl
