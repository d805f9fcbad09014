#include "engine/storage/btree/QXLBTreePageIndex.h"

#include <algorithm>

#include "engine/core/QXLException.h"
#include "engine/storage/pager/QXLPageManager.h"

namespace qxl {

TQXLBTreePage TQXLBTreePageIndex::FetchIndexPage(std::int32_t SessionID, std::int32_t PageNo) {
  return TQXLBTreePage::Fetch(LPageManager, &FKeyRef, SessionID, PageNo);
}

TQXLBTreePage TQXLBTreePageIndex::FetchRoot(std::int32_t SessionID, std::int32_t NoRootCode) {
  if (FRootPageNo == -1) throw EQXLException(NoRootCode, "Index error: invalid page number");
  return FetchIndexPage(SessionID, FRootPageNo);
}

void TQXLBTreePageIndex::CreateIndex(std::int32_t SessionID) {
  TQXLBTreePage Root(LPageManager, &FKeyRef, LPageManager->AddPage(SessionID, QXLIndexPageType));
  Root.InitAsRoot();
  Root.MarkDirty();
  FRootPageNo = Root.PageNo();
  ContentReplaced(true);
}

void TQXLBTreePageIndex::DropIndex(std::int32_t SessionID) {
  FetchIndexPage(SessionID, FRootPageNo).FreeAllPages(SessionID, false);
  FRootPageNo = -1;
  ContentReplaced(true);
}

void TQXLBTreePageIndex::EmptyIndex(std::int32_t SessionID) {
  TQXLBTreePage Root = FetchIndexPage(SessionID, FRootPageNo);
  Root.FreeAllPages(SessionID, true);
  Root.InitAsRoot();
  Root.MarkDirty();
  ContentReplaced(true);
}

bool TQXLBTreePageIndex::GotoFirst(std::int32_t SessionID, TQXLKeyPath& KeyPath) {
  TQXLBTreePage Root = FetchRoot(SessionID, 20115);
  KeyPath.Clear();
  return Root.GetFirstPosition(SessionID, KeyPath);
}

bool TQXLBTreePageIndex::GotoLast(std::int32_t SessionID, TQXLKeyPath& KeyPath) {
  TQXLBTreePage Root = FetchRoot(SessionID, 20116);
  KeyPath.Clear();
  return Root.GetLastPosition(SessionID, KeyPath);
}

void TQXLBTreePageIndex::MoveLevelsBelow(std::int32_t SessionID, TQXLKeyPath& KeyPath, std::int32_t Level,
                                         bool Forward) {
  for (std::int32_t i = Level + 1; i < KeyPath.Count(); ++i) {
    TQXLKeyPathItem& Item = KeyPath.Item(i);
    const std::int32_t Next = Forward ? FetchIndexPage(SessionID, Item.PageNo).RightPageNo()
                                      : FetchIndexPage(SessionID, Item.PageNo).LeftPageNo();
    if (Next == -1)
      throw EQXLException(Forward ? 20100 : 20102, "Index error: invalid page number");
    TQXLBTreePage Page = FetchIndexPage(SessionID, Next);
    if (Page.EntryCount() == 0) Page.RaiseDamaged();
    Item = {Next, Forward ? 0 : Page.EntryCount() - 1, Page.EntryCount()};
  }
}

bool TQXLBTreePageIndex::GotoNext(std::int32_t SessionID, TQXLKeyPath& KeyPath) {
  if (KeyPath.Count() == 0) throw EQXLException(20099, "Index error: invalid position");
  std::int32_t Level = KeyPath.Count() - 1;
  while (Level >= 0 && KeyPath.Item(Level).EntryNo >= KeyPath.Item(Level).EntryCount - 1) --Level;
  if (Level < 0) return false;
  ++KeyPath.Item(Level).EntryNo;
  MoveLevelsBelow(SessionID, KeyPath, Level, true);
  return true;
}

bool TQXLBTreePageIndex::GotoPrior(std::int32_t SessionID, TQXLKeyPath& KeyPath) {
  if (KeyPath.Count() == 0) throw EQXLException(20101, "Index error: invalid position");
  std::int32_t Level = KeyPath.Count() - 1;
  while (Level >= 0 && KeyPath.Item(Level).EntryNo <= 0) --Level;
  if (Level < 0) return false;
  --KeyPath.Item(Level).EntryNo;
  MoveLevelsBelow(SessionID, KeyPath, Level, false);
  return true;
}

bool TQXLBTreePageIndex::FindPage(std::int32_t SessionID, std::int32_t PageNo, TQXLKeyPath& KeyPath) {
  TQXLBTreePage Root = FetchRoot(SessionID, 20117);
  KeyPath.Clear();
  return Root.FindByCondition(SessionID, true, reinterpret_cast<const std::uint8_t*>(&PageNo), scEqual, KeyPath);
}

TQXLBTreePage TQXLBTreePageIndex::FetchEntryPage(std::int32_t SessionID, const TQXLKeyPath& KeyPath,
                                                 std::int32_t EmptyCode, std::int32_t& EntryNo) {
  if (KeyPath.Count() == 0) throw EQXLException(EmptyCode, "Index error: invalid position");
  const TQXLKeyPathItem& Item = KeyPath.Item(KeyPath.Count() - 1);
  TQXLBTreePage Page = FetchIndexPage(SessionID, Item.PageNo);
  if (!Page.IsLeaf() || Item.EntryNo < 0 || Item.EntryNo >= Page.EntryCount()) Page.RaiseDamaged();
  EntryNo = Item.EntryNo;
  return Page;
}

std::uint16_t TQXLBTreePageIndex::GetCounter(std::int32_t SessionID, const TQXLKeyPath& KeyPath) {
  std::int32_t EntryNo;
  TQXLBTreePage Page = FetchEntryPage(SessionID, KeyPath, 20107, EntryNo);
  std::uint16_t Counter;
  std::memcpy(&Counter, Page.GetPReference(EntryNo), 2);
  return Counter;
}

void TQXLBTreePageIndex::SetCounter(std::int32_t SessionID, const TQXLKeyPath& KeyPath, std::uint16_t Value) {
  std::int32_t EntryNo;
  TQXLBTreePage Page = FetchEntryPage(SessionID, KeyPath, 20108, EntryNo);
  Page.UpdateReference(EntryNo, reinterpret_cast<const std::uint8_t*>(&Value));
  Page.MarkDirty();
}

std::int32_t TQXLBTreePageIndex::GetPageNoAtPosition(std::int32_t SessionID, const TQXLKeyPath& KeyPath) {
  std::int32_t EntryNo;
  TQXLBTreePage Page = FetchEntryPage(SessionID, KeyPath, 20103, EntryNo);
  std::int32_t PageNo;
  std::memcpy(&PageNo, Page.GetPKey(EntryNo), 4);
  return PageNo;
}

bool TQXLBTreePageIndex::FindPageWithRoom(std::int32_t SessionID, std::int32_t Amount, std::int32_t& PageNo) {
  TQXLKeyPath Path;
  for (const bool FromEnd : {true, false}) {
    if (!(FromEnd ? GotoLast(SessionID, Path) : GotoFirst(SessionID, Path))) return false;
    const std::int32_t Looks = std::max(Path.Item(Path.Count() - 1).EntryCount - 1, 1);
    for (std::int32_t i = 0; i < Looks; ++i) {
      if (i > 0 && !(FromEnd ? GotoPrior(SessionID, Path) : GotoNext(SessionID, Path))) break;
      if (CanAddDataItem(GetCounter(SessionID, Path), Amount)) {
        PageNo = GetPageNoAtPosition(SessionID, Path);
        return true;
      }
    }
  }
  return false;
}

void TQXLBTreePageIndex::AddToPage(std::int32_t SessionID, std::int32_t Amount, std::int32_t PageNo) {
  TQXLKeyPath Path;
  if (FRootPageNo == -1) throw EQXLException(20118, "Index error: invalid page number");
  // A counter is 16 bits; more would wrap and lose the count.
  if (Amount < 0 || Amount > UINT16_MAX) throw EQXLException(20106, "Cannot add data item to page. Page is full");
  if (!FindPage(SessionID, PageNo, Path)) {
    const auto Counter = static_cast<std::uint16_t>(Amount);
    TQXLKeyPath InsertPath;
    FetchRoot(SessionID, 20118).InsertLeafEntry(SessionID, reinterpret_cast<const std::uint8_t*>(&PageNo),
                                                reinterpret_cast<const std::uint8_t*>(&Counter), InsertPath);
    CounterChanged(PageNo, Counter);
    return;
  }
  const std::int32_t Counter = GetCounter(SessionID, Path);
  if (!CanAddDataItem(Counter, Amount) || Counter + Amount > UINT16_MAX)
    throw EQXLException(20106, "Cannot add data item to page. Page is full");
  SetCounter(SessionID, Path, static_cast<std::uint16_t>(Counter + Amount));
  CounterChanged(PageNo, Counter + Amount);
}

void TQXLBTreePageIndex::SubtractFromPage(std::int32_t SessionID, std::int32_t Amount, std::int32_t NewValue,
                                          std::int32_t PageNo) {
  if (FRootPageNo == -1) throw EQXLException(20110, "Invalid page number");
  TQXLKeyPath Path;
  if (!FindPage(SessionID, PageNo, Path)) throw EQXLException(20111, "Invalid page number");
  const std::int32_t Counter = GetCounter(SessionID, Path);
  std::int32_t Value = NewValue;
  if (NewValue < 0) {
    if (Counter == 0) throw EQXLException(20112, "Index error: page is empty");
    Value = Counter - Amount;
  }
  // Below 0 or above 16 bits no counter can hold it: the caller's count is wrong.
  if (Value < 0 || Value > UINT16_MAX) throw EQXLException(20112, "Index error: page is empty");
  if (Value != 0) {
    SetCounter(SessionID, Path, static_cast<std::uint16_t>(Value));
    return CounterChanged(PageNo, Value);
  }
  const auto Stored = static_cast<std::uint16_t>(Counter);
  TQXLKeyPath DeletePath;
  FetchRoot(SessionID, 20110).DeleteLeafEntry(SessionID, reinterpret_cast<const std::uint8_t*>(&PageNo),
                                              reinterpret_cast<const std::uint8_t*>(&Stored), DeletePath);
  CounterChanged(PageNo, 0);
}

}  // namespace qxl
