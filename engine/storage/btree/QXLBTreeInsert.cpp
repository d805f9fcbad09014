// Insertion: an entry goes into its leaf; a page that overflows splits, the
// root in place so that its page number never changes.
#include "engine/core/QXLException.h"
#include "engine/storage/btree/QXLBTreeLeafController.h"
#include "engine/storage/btree/QXLBTreeNodeController.h"

namespace qxl {

void TQXLBTreeLeafController::InsertLeafEntry(std::int32_t SessionID, const std::uint8_t* Key,
                                              const std::uint8_t* Reference, TQXLKeyPath& KeyPath) {
  std::int32_t p;
  SearchPosition(true, SessionID, Key, Reference, 0, smAnyEqual, p);
  InsertEntryAt(Key, Reference, p);
  if (IsOverflowed()) {
    Split(SessionID, KeyPath);
  } else {
    FPage.MarkDirty();
    KeyPath.AddItem(FPage.PageNo(), p, FPage.EntryCount());
  }
}

void TQXLBTreeNodeController::InsertLeafEntry(std::int32_t SessionID, const std::uint8_t* Key,
                                              const std::uint8_t* Reference, TQXLKeyPath& KeyPath) {
  std::int32_t p;
  if (SearchPosition(false, SessionID, Key, Reference, 1, smAnyEqual, p) == QXLSearchNotFound) --p;
  KeyPath.AddItem(FPage.PageNo(), p, FPage.EntryCount());
  FPage.GetIndexPage(SessionID, FPage.ChildPageNo(p)).InsertLeafEntry(SessionID, Key, Reference, KeyPath);
}

void TQXLBTreeNodeController::InsertNodeEntry(std::int32_t SessionID, const std::uint8_t* Key,
                                              const std::uint8_t* Reference, TQXLKeyPath& KeyPath) {
  const std::int32_t Count = FPage.EntryCount();
  // The new child goes right after the child that was split.
  const std::int32_t Position = Count > 1 ? KeyPath.Item(KeyPath.ItemNo()).EntryNo + 1 : Count;
  InsertEntryAt(Key, Reference, Position);
  if (IsOverflowed())
    Split(SessionID, KeyPath);
  else
    FPage.MarkDirty();
}

void TQXLBTreePageController::Split(std::int32_t SessionID, TQXLKeyPath& KeyPath) {
  if (FPage.IsRoot())
    SplitRoot(SessionID);
  else
    SplitPage(SessionID, KeyPath);
}

void TQXLBTreePageController::SplitRoot(std::int32_t SessionID) {
  const std::int32_t Count = FPage.EntryCount();
  const std::int32_t Half = Count / 2;
  TQXLBTreePage A = FPage.AddIndexPage(SessionID);
  TQXLBTreePage B = FPage.AddIndexPage(SessionID);
  A.CopyFrom(FPage, 0, Half);
  B.CopyFrom(FPage, Half, Count - Half);
  A.SetIsRoot(false);
  B.SetIsRoot(false);
  const std::int32_t PageA = A.PageNo(), PageB = B.PageNo();
  A.SetRightPageNo(PageB);
  B.SetLeftPageNo(PageA);
  A.MarkDirty();
  B.MarkDirty();
  FPage.SetIsLeaf(false);
  FPage.SetEntryCount(0);
  InsertEntryAt(nullptr, reinterpret_cast<const std::uint8_t*>(&PageA), 0);
  InsertEntryAt(B.GetPKey(0), reinterpret_cast<const std::uint8_t*>(&PageB), 1);
  FPage.MarkDirty();
}

void TQXLBTreePageController::SplitPage(std::int32_t SessionID, TQXLKeyPath& KeyPath) {
  const std::int32_t Count = FPage.EntryCount();
  const std::int32_t Half = Count / 2;
  TQXLBTreePage New = FPage.AddIndexPage(SessionID);
  New.CopyFrom(FPage, Half, Count - Half);
  const std::int32_t NewPageNo = New.PageNo();
  New.SetRightPageNo(FPage.RightPageNo());
  New.SetLeftPageNo(FPage.PageNo());
  New.MarkDirty();
  if (New.RightPageNo() != -1) {
    TQXLBTreePage Right = FPage.GetIndexPage(SessionID, New.RightPageNo());
    Right.SetLeftPageNo(NewPageNo);
    Right.MarkDirty();
  }
  FPage.SetRightPageNo(NewPageNo);
  FPage.SetEntryCount(Half);
  FPage.MarkDirty();
  KeyPath.DecLevel();
  TQXLBTreePage Parent = FPage.GetIndexPage(SessionID, KeyPath.CurrentPageNo());
  Parent.InsertNodeEntry(SessionID, New.GetPKey(0), reinterpret_cast<const std::uint8_t*>(&NewPageNo), KeyPath);
  Parent.MarkDirty();
  KeyPath.IncLevel();
}

}  // namespace qxl
