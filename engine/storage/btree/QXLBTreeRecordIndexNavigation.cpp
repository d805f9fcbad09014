// Moving through a record index in key order: first, last, next and prior
// entries by sibling links, reading the record at a position (through a
// cursor's position cache when it still holds), the record nearest a vanished
// one, record numbers, and DISTINCT over a cursor's bitmap.
#include <cstring>
#include <unordered_set>
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLIndexManager.h"
#include "engine/core/abstract/QXLRecordBitmap.h"
#include "engine/core/abstract/QXLRecordManager.h"
#include "engine/core/abstract/QXLTableData.h"
#include "engine/storage/btree/QXLBTreeRecordIndex.h"
#include "engine/storage/btree/QXLKeyCompareScope.h"

namespace qxl {

bool TQXLBTreeRecordIndex::GotoFirst(std::int32_t SessionID, TQXLKeyPath& KeyPath) {
  TQXLBTreePage Root = FetchRoot(SessionID, 20121);
  KeyPath.Clear();
  return Root.GetFirstPosition(SessionID, KeyPath);
}

bool TQXLBTreeRecordIndex::GotoLast(std::int32_t SessionID, TQXLKeyPath& KeyPath) {
  TQXLBTreePage Root = FetchRoot(SessionID, 20122);
  KeyPath.Clear();
  return Root.GetLastPosition(SessionID, KeyPath);
}

void TQXLBTreeRecordIndex::MoveLevelsBelow(std::int32_t SessionID, TQXLKeyPath& KeyPath, std::int32_t Level,
                                           bool Forward) {
  for (std::int32_t i = Level + 1; i < KeyPath.Count(); ++i) {
    TQXLKeyPathItem& Item = KeyPath.Item(i);
    const std::int32_t Next = Forward ? FetchIndexPage(SessionID, Item.PageNo).RightPageNo()
                                      : FetchIndexPage(SessionID, Item.PageNo).LeftPageNo();
    if (Next == -1) throw EQXLException(Forward ? 20070 : 20071, "Index error: invalid page number");
    TQXLBTreePage Page = FetchIndexPage(SessionID, Next);
    if (Page.EntryCount() == 0) Page.RaiseDamaged();
    Item = {Next, Forward ? 0 : Page.EntryCount() - 1, Page.EntryCount()};
  }
}

bool TQXLBTreeRecordIndex::GotoNext(std::int32_t SessionID, TQXLKeyPath& KeyPath) {
  if (KeyPath.Count() == 0) throw EQXLException(20069, "Index error: invalid position");
  std::int32_t Level = KeyPath.Count() - 1;
  while (Level >= 0 && KeyPath.Item(Level).EntryNo >= KeyPath.Item(Level).EntryCount - 1) --Level;
  if (Level < 0) return false;
  ++KeyPath.Item(Level).EntryNo;
  MoveLevelsBelow(SessionID, KeyPath, Level, true);
  return true;
}

bool TQXLBTreeRecordIndex::GotoPrior(std::int32_t SessionID, TQXLKeyPath& KeyPath) {
  if (KeyPath.Count() == 0) throw EQXLException(20069, "Index error: invalid position");
  std::int32_t Level = KeyPath.Count() - 1;
  while (Level >= 0 && KeyPath.Item(Level).EntryNo < 1) --Level;
  if (Level < 0) return false;
  --KeyPath.Item(Level).EntryNo;
  MoveLevelsBelow(SessionID, KeyPath, Level, false);
  return true;
}

bool TQXLBTreeRecordIndex::Navigate(std::int32_t SessionID, bool Restart, TQXLKeyPath& KeyPath, bool GoForward) {
  if (Restart) return GoForward ? GotoFirst(SessionID, KeyPath) : GotoLast(SessionID, KeyPath);
  return GoForward ? GotoNext(SessionID, KeyPath) : GotoPrior(SessionID, KeyPath);
}

TQXLPageItemID TQXLBTreeRecordIndex::GetReferenceAtPosition(std::int32_t SessionID, const TQXLKeyPath& KeyPath) {
  if (KeyPath.Count() == 0) throw EQXLException(20068, "Index error: invalid position");
  const TQXLKeyPathItem& Item = KeyPath.Item(KeyPath.Count() - 1);
  TQXLBTreePage Leaf = FetchIndexPage(SessionID, Item.PageNo);
  if (!Leaf.IsLeaf() || Item.EntryNo < 0 || Item.EntryNo >= Leaf.EntryCount()) Leaf.RaiseDamaged();
  TQXLPageItemID Reference;
  std::memcpy(&Reference, Leaf.GetPReference(Item.EntryNo), RecordReferenceSize);
  return Reference;
}

void TQXLBTreeRecordIndex::CheckRecordMatchesEntry(std::int32_t SessionID, const TQXLKeyPath& Path,
                                                   const std::uint8_t* RecordBuffer) {
  if (!RecordBuffer) return;
  TQXLOwnedBlock Key = FKeyRef->AllocShortKeyBuffer();
  auto* KeyBytes = static_cast<std::uint8_t*>(Key.get());
  FKeyRef->MakeShortKeyFromRecordBuffer(RecordBuffer, KeyBytes);
  TQXLBTreePage Leaf = FetchIndexPage(SessionID, Path.Item(Path.Count() - 1).PageNo);
  // An entry whose reference names another record would send the next step,
  // which finds its place again from the record's key, back to that record's
  // own entry, and the walk would never end.
  if (FKeyRef->CompareShortKeys(KeyBytes, Leaf.GetPKey(Path.Item(Path.Count() - 1).EntryNo), false, SessionID,
                                nullptr, nullptr) != 0)
    Leaf.RaiseDamaged();
}

bool TQXLBTreeRecordIndex::CacheHolds(const TQXLIndexPositionCache* Cache, const TQXLPageItemID& RecordID,
                                      std::int32_t TableState) const {
  return Cache && dynamic_cast<const TQXLKeyPath*>(Cache->Position.get()) &&
         Cache->IndexID == FIndexDef->ObjectID && Cache->RecordID == RecordID && Cache->TableState == TableState;
}

void TQXLBTreeRecordIndex::ReadRecordAt(std::int32_t SessionID, const TQXLKeyPath& Path,
                                        TQXLNavigationInfo& NavigationInfo,
                                        TQXLIndexPositionCache* IndexPositionCache, std::int32_t TableState) {
  NavigationInfo.GetRecordResult = grrOK;
  NavigationInfo.FirstPosition = NavigationInfo.LastPosition = false;
  const TQXLPageItemID RecordID = GetReferenceAtPosition(SessionID, Path);
  NavigationInfo.RecordID = RecordID;
  const TQXLGetRecordMode Mode = NavigationInfo.GetRecordMode;
  NavigationInfo.GetRecordMode = grmCurrent;
  try {
    TableData()->RecordManager()->GetRecordBuffer(SessionID, NavigationInfo);
  } catch (...) {
    NavigationInfo.GetRecordMode = Mode;
    throw;
  }
  NavigationInfo.GetRecordMode = Mode;
  if (NavigationInfo.GetRecordResult == grrOK) CheckRecordMatchesEntry(SessionID, Path, NavigationInfo.RecordBuffer);
  if (!IndexPositionCache) return;
  auto Cached = std::make_unique<TQXLKeyPath>();
  Cached->Assign(Path);
  IndexPositionCache->Position = std::move(Cached);
  IndexPositionCache->IndexID = FIndexDef->ObjectID;
  IndexPositionCache->TableState = TableState;
  IndexPositionCache->RecordID = RecordID;
}

void TQXLBTreeRecordIndex::GetRecordBuffer(std::int32_t SessionID, TQXLNavigationInfo& NavigationInfo,
                                           TQXLIndexPositionCache* IndexPositionCache, std::int32_t TableState) {
  const TQXLGetRecordMode Mode = NavigationInfo.GetRecordMode;
  if (Mode == grmCurrent) throw EQXLException(20053, "Invalid 'get record' mode for index: grmCurrent");
  if (RootPageNo() == -1) throw EQXLException(20123, "Invalid page number");
  TQXLKeyPath Path;
  bool Found;
  bool Stepped = true;
  if (NavigationInfo.FirstPosition) {
    Found = GotoFirst(SessionID, Path);
  } else if (NavigationInfo.LastPosition) {
    Found = GotoLast(SessionID, Path);
  } else {
    const TQXLPageItemID RecordID = NavigationInfo.RecordID;
    if (CacheHolds(IndexPositionCache, RecordID, TableState)) {
      Found = true;
      Path.Assign(static_cast<const TQXLKeyPath&>(*IndexPositionCache->Position));
    } else {
      Found = GetIndexPosition(SessionID, RecordID, NavigationInfo.RecordBuffer, Path);
    }
    if (Found) Stepped = Mode == grmNext ? GotoNext(SessionID, Path) : GotoPrior(SessionID, Path);
  }
  if (!Found) {
    NavigationInfo.GetRecordResult = grrError;
  } else if (!Stepped) {
    NavigationInfo.GetRecordResult = Mode == grmNext ? grrEOF : grrBOF;
    NavigationInfo.FirstPosition = Mode != grmNext;
    NavigationInfo.LastPosition = Mode == grmNext;
  } else {
    ReadRecordAt(SessionID, Path, NavigationInfo, IndexPositionCache, TableState);
  }
}

void TQXLBTreeRecordIndex::GetClosestRecordBuffer(std::int32_t SessionID, TQXLNavigationInfo& NavigationInfo,
                                                  TQXLIndexPositionCache* IndexPositionCache,
                                                  std::int32_t TableState) {
  const bool Forward = NavigationInfo.GetRecordMode == grmNext;
  TQXLBTreePage Root = FetchRoot(SessionID, 20293);
  TQXLOwnedBlock Key = FKeyRef->AllocShortKeyBuffer();
  auto* KeyBytes = static_cast<std::uint8_t*>(Key.get());
  FKeyRef->MakeShortKeyFromRecordBuffer(NavigationInfo.RecordBuffer, KeyBytes);
  TQXLKeyPath Path;
  const bool Found = Root.FindByCondition(SessionID, Forward, KeyBytes, Forward ? scGreater : scLower, Path);
  Root.Put();
  if (Found) return ReadRecordAt(SessionID, Path, NavigationInfo, IndexPositionCache, TableState);
  NavigationInfo.GetRecordResult = Forward ? grrEOF : grrBOF;
  NavigationInfo.FirstPosition = !Forward;
  NavigationInfo.LastPosition = Forward;
}

std::int64_t TQXLBTreeRecordIndex::GetRecNoByRecordID(std::int32_t SessionID, const TQXLPageItemID& RecordID,
                                                      const std::uint8_t* RecordBuffer) {
  TQXLKeyPath Path;
  if (!GetIndexPosition(SessionID, RecordID, RecordBuffer, Path)) return -1;
  const TQXLKeyPathItem& Leaf = Path.Item(Path.Count() - 1);
  std::int64_t RecNo = Leaf.EntryNo + 1;
  std::int32_t Left = FetchIndexPage(SessionID, Leaf.PageNo).LeftPageNo();
  // A sibling link that leads back would never end the walk.
  std::unordered_set<std::int32_t> Met{Leaf.PageNo};
  while (Left != -1) {
    TQXLBTreePage Page = FetchIndexPage(SessionID, Left);
    if (!Met.insert(Left).second) Page.RaiseDamaged();
    RecNo += Page.EntryCount();
    Left = Page.LeftPageNo();
  }
  return RecNo;
}

TQXLPageItemID TQXLBTreeRecordIndex::GetRecordIDByRecNo(std::int32_t SessionID, std::int64_t RecNo) {
  TQXLKeyPath Path;
  if (!GotoFirst(SessionID, Path)) throw EQXLException(20074, "Cannot retrieve record from empty index");
  std::int64_t Passed = 0;
  std::unordered_set<std::int32_t> Met;
  for (std::int32_t PageNo = Path.Item(Path.Count() - 1).PageNo; PageNo != -1;) {
    TQXLBTreePage Leaf = FetchIndexPage(SessionID, PageNo);
    if (!Met.insert(PageNo).second) Leaf.RaiseDamaged();
    if (RecNo >= 1 && Passed + Leaf.EntryCount() >= RecNo) {
      TQXLPageItemID RecordID;
      std::memcpy(&RecordID, Leaf.GetPReference(static_cast<std::int32_t>(RecNo - Passed - 1)), RecordReferenceSize);
      return RecordID;
    }
    Passed += Leaf.EntryCount();
    PageNo = Leaf.RightPageNo();
  }
  throw EQXLException(20075, "Cannot set RecNo greater than RecordCount");
}

void TQXLBTreeRecordIndex::ApplyDistinctToRecordBitmap(std::int32_t SessionID, TQXLRecordBitmap& Bitmap,
                                                       std::int32_t DistinctFieldCount) {
  TQXLKeyCompareScope Scope(*FKeyRef);
  Scope.SetFieldCount(DistinctFieldCount);
  TQXLKeyPath Path;
  if (!GotoFirst(SessionID, Path)) return;
  const auto KeySize = static_cast<std::size_t>(FKeyRef->ShortKeySize);
  std::vector<std::uint8_t> Entry(KeySize + RecordReferenceSize), Kept(KeySize + RecordReferenceSize);
  bool HaveKept = false;
  const std::int32_t IndexID = FIndexDef->ObjectID;
  do {
    if (!Bitmap.IsRecordVisible(IndexID, Path)) continue;
    {
      const TQXLKeyPathItem& Item = Path.Item(Path.Count() - 1);
      TQXLBTreePage Leaf = FetchIndexPage(SessionID, Item.PageNo);
      std::memcpy(Entry.data(), Leaf.GetPKey(Item.EntryNo), KeySize);
      std::memcpy(Entry.data() + KeySize, Leaf.GetPReference(Item.EntryNo), RecordReferenceSize);
    }
    if (HaveKept && FKeyRef->CompareShortKeys(Entry.data(), Kept.data(), true, SessionID, Entry.data() + KeySize,
                                              Kept.data() + KeySize) == 0) {
      Bitmap.HideRecord(IndexID, Path);
      continue;
    }
    Kept.swap(Entry);
    HaveKept = true;
  } while (GotoNext(SessionID, Path));
}

}  // namespace qxl
