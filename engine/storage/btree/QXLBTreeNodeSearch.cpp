#include "engine/core/QXLException.h"
#include "engine/storage/btree/QXLBTreeNodeController.h"
#include "engine/storage/btree/QXLKeyScratch.h"

namespace qxl {

void TQXLBTreeNodeController::GetChildRange(std::int32_t SessionID, const std::uint8_t* Key,
                                            TQXLSearchCondition Operator, std::int32_t& Lo, std::int32_t& Hi) {
  const std::int32_t Count = FPage.EntryCount();
  Lo = 0;
  Hi = Count - 1;
  if (!Key || Operator == scNone) return;
  // A separator whose cut prefix equals the key's may head a child that
  // still holds entries below or above the whole key: strict conditions then
  // keep the boundary child, as their inclusive forms do.
  if (KeyRef().HasCutParts()) {
    if (Operator == scLower) Operator = scLowerEqual;
    if (Operator == scGreater) Operator = scGreaterEqual;
  }
  std::int32_t p;
  int r;
  auto Search = [&](TQXLSearchMode Mode) { r = SearchPosition(false, SessionID, Key, nullptr, 1, Mode, p); };
  switch (Operator) {
    case scEqual:
      Search(smFirstEqual);
      Lo = p - 1;
      if (r == QXLSearchFound) {
        Search(smLastEqual);
        Hi = p;
      } else {
        Hi = Lo;
      }
      break;
    case scLower:
      Search(smFirstEqual);
      Hi = (r == QXLSearchFound || r == QXLSearchNotFound) ? p - 1 : p;
      break;
    case scGreater:
      Search(smLastEqual);
      Lo = r == QXLSearchNotFound ? p - 1 : p;
      break;
    case scLowerEqual:
      Search(smLastEqual);
      Hi = r == QXLSearchNotFound ? p - 1 : p;
      break;
    case scGreaterEqual:
      Search(smFirstEqual);
      Lo = (r == QXLSearchFound || r == QXLSearchNotFound) ? p - 1 : p;
      break;
    case scNone: break;
  }
  if (Lo < 0) Lo = 0;
}

bool TQXLBTreeNodeController::FindEntry(std::int32_t SessionID, const std::uint8_t* Key,
                                        const std::uint8_t* Reference, TQXLKeyPath& Position) {
  std::int32_t Lo, Hi;
  GetChildRange(SessionID, Key, scEqual, Lo, Hi);
  for (std::int32_t i = Lo; i <= Hi; ++i) {
    Position.AddItem(FPage.PageNo(), i, FPage.EntryCount());
    TQXLBTreePage Child = FPage.GetIndexPage(SessionID, FPage.ChildPageNo(i));
    if (Child.FindEntry(SessionID, Key, Reference, Position)) return true;
    Position.DeleteLastItem();
  }
  return false;
}

bool TQXLBTreeNodeController::GetFirstPosition(std::int32_t SessionID, TQXLKeyPath& Position) {
  Position.AddItem(FPage.PageNo(), 0, FPage.EntryCount());
  return FPage.GetIndexPage(SessionID, FPage.ChildPageNo(0)).GetFirstPosition(SessionID, Position);
}

bool TQXLBTreeNodeController::GetLastPosition(std::int32_t SessionID, TQXLKeyPath& Position) {
  const std::int32_t Last = FPage.EntryCount() - 1;
  Position.AddItem(FPage.PageNo(), Last, FPage.EntryCount());
  return FPage.GetIndexPage(SessionID, FPage.ChildPageNo(Last)).GetLastPosition(SessionID, Position);
}

bool TQXLBTreeNodeController::FindByCondition(std::int32_t SessionID, bool First, const std::uint8_t* Key,
                                              TQXLSearchCondition Operator, TQXLKeyPath& Position) {
  if (FPage.EntryCount() == 0) return false;
  std::int32_t Lo, Hi;
  GetChildRange(SessionID, Key, Operator, Lo, Hi);
  const std::int32_t Step = First ? 1 : -1;
  for (std::int32_t i = First ? Lo : Hi; i >= Lo && i <= Hi; i += Step) {
    Position.AddItem(FPage.PageNo(), i, FPage.EntryCount());
    TQXLBTreePage Child = FPage.GetIndexPage(SessionID, FPage.ChildPageNo(i));
    if (Child.FindByCondition(SessionID, First, Key, Operator, Position)) return true;
    Position.DeleteLastItem();
  }
  return false;
}

void TQXLBTreeNodeController::FreeAllPages(std::int32_t SessionID, bool KeepRootPage, std::int32_t Depth) {
  if (FPage.PageNo() == -1) return;
  if (Depth >= TQXLKeyPath::MaxLevels) FPage.RaiseDamaged();
  for (std::int32_t i = 0; i < FPage.EntryCount(); ++i)
    FPage.GetIndexPage(SessionID, FPage.ChildPageNo(i)).FreeAllPages(SessionID, KeepRootPage, Depth + 1);
  if (!(FPage.IsRoot() && KeepRootPage)) FPage.RemoveIndexPage(SessionID, FPage.PageNo());
}

void TQXLBTreeNodeController::CheckIntegrity(std::int32_t SessionID, TQXLKeyPath& KeyPath) {
  CheckChildren(SessionID, KeyPath);
  CheckSeparators(SessionID);
}

void TQXLBTreeNodeController::CheckChildren(std::int32_t SessionID, TQXLKeyPath& KeyPath) {
  const std::int32_t Count = FPage.EntryCount();
  const std::int32_t PageNo = FPage.PageNo();
  if (Count == 0) throw EQXLException(20310, "Index page is damaged. PageNo=%d", {PageNo});
  for (std::int32_t i = 0; i < Count; ++i) {
    if (KeyPath.PageExists(PageNo))
      throw EQXLException(20032, "Index integrity error. Circular links. PageNo=%d EntryNo=%d", {PageNo, i});
    KeyPath.AddItem(PageNo, i, Count);
    if (KeyPath.PageExists(FPage.ChildPageNo(i)))
      throw EQXLException(20032, "Index integrity error. Circular links. PageNo=%d EntryNo=%d", {PageNo, i});
    {
      TQXLBTreePage Child = FPage.GetIndexPage(SessionID, FPage.ChildPageNo(i));
      if (Child.IsRoot()) throw EQXLException(20310, "Index page is damaged. PageNo=%d", {Child.PageNo()});
      if (i > 0 && Child.LeftPageNo() != FPage.ChildPageNo(i - 1))
        throw EQXLException(20033, "Index integrity error. Invlaid leaf link. PageNo=%d EntryNo=%d", {PageNo, i});
      if (i < Count - 1 && Child.RightPageNo() != FPage.ChildPageNo(i + 1))
        throw EQXLException(20034, "Index integrity error. Invlaid leaf link. PageNo=%d EntryNo=%d", {PageNo, i});
      Child.CheckIntegrity(SessionID, KeyPath);
    }
    KeyPath.DeleteLastItem();
  }
}

void TQXLBTreeNodeController::CheckSeparators(std::int32_t SessionID) {
  const std::int32_t Count = FPage.EntryCount();
  const std::int32_t PageNo = FPage.PageNo();
  const std::int32_t KeySize = KeyRef().ShortKeySize;
  const std::int32_t RefSize = KeyRef().ReferenceSize;
  const bool Exact = KeyRef().ShortKeySize == KeyRef().FullKeySize;
  TQXLKeyScratch Last(KeySize, RefSize), First(KeySize, RefSize);
  // Every separator from the second child on lies between the last entry of
  // the child before it and the first entry of its own child.
  for (std::int32_t i = 1; i < Count; ++i) {
    if (i + 1 < Count && CompareKeyAt(false, -1, FPage.GetPKey(i), i + 1) > 0)
      throw EQXLException(20029, "Index integrity error. PageNo=%d EntryNo=%d", {PageNo, i});
    FPage.GetIndexPage(SessionID, FPage.ChildPageNo(i - 1)).GetLastEntry(SessionID, Last.Key(), Last.Reference());
    FPage.GetIndexPage(SessionID, FPage.ChildPageNo(i)).GetFirstEntry(SessionID, First.Key(), First.Reference());
    if (CompareKeyAt(false, -1, Last.Key(), i) > 0)
      throw EQXLException(20030, "Index integrity error. PageNo=%d EntryNo=%d", {PageNo, i});
    if (CompareKeyAt(false, -1, First.Key(), i) < 0)
      throw EQXLException(20031, "Index integrity error. PageNo=%d EntryNo=%d", {PageNo, i});
    if (Exact && KeyRef().CompareShortKeys(Last.Key(), First.Key(), false, -1, nullptr, nullptr) == 0 &&
        TQXLBTreeKeyRef::CompareReferences(Last.Reference(), First.Reference(), RefSize) >= 0)
      throw EQXLException(20194, "Index integrity error. PageNo=%d EntryNo=%d", {PageNo, i});
  }
}

}  // namespace qxl
