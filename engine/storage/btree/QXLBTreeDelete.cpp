// Deletion: an entry leaves its leaf; a page below half full merges into a
// neighbour that can take all its entries, a page left without entries always
// leaves the tree, the separators above follow, and a root node left with a
// single child takes that child's place.
#include "engine/core/QXLException.h"
#include "engine/storage/btree/QXLBTreeLeafController.h"
#include "engine/storage/btree/QXLBTreeNodeController.h"

namespace qxl {

bool TQXLBTreeLeafController::DeleteLeafEntry(std::int32_t SessionID, const std::uint8_t* Key,
                                              const std::uint8_t* Reference, TQXLKeyPath& KeyPath) {
  std::int32_t p;
  if (!FindLeafEntry(SessionID, Key, Reference, p)) return false;
  DeleteEntryAt(p);
  FPage.MarkDirty();
  if (IsUnderflowed()) TryMerge(SessionID, KeyPath);
  return true;
}

bool TQXLBTreeNodeController::DeleteLeafEntry(std::int32_t SessionID, const std::uint8_t* Key,
                                              const std::uint8_t* Reference, TQXLKeyPath& KeyPath) {
  std::int32_t p;
  if (SearchPosition(false, SessionID, Key, Reference, 1, smAnyEqual, p) == QXLSearchNotFound) --p;
  KeyPath.AddItem(FPage.PageNo(), p, FPage.EntryCount());
  return FPage.GetIndexPage(SessionID, FPage.ChildPageNo(p)).DeleteLeafEntry(SessionID, Key, Reference, KeyPath);
}

bool TQXLBTreePageController::TryMerge(std::int32_t SessionID, TQXLKeyPath& KeyPath, bool PreferRight) {
  if (FPage.IsRoot()) return false;
  const std::int32_t Left = FPage.LeftPageNo(), Right = FPage.RightPageNo();
  const std::int32_t First = PreferRight ? Right : Left, Second = PreferRight ? Left : Right;
  if (First != -1 && MergeWithSibling(SessionID, First, KeyPath)) return true;
  return Second != -1 && MergeWithSibling(SessionID, Second, KeyPath);
}

bool TQXLBTreePageController::MergeWithSibling(std::int32_t SessionID, std::int32_t SiblingPageNo,
                                               TQXLKeyPath& KeyPath) {
  TQXLBTreePage Sibling = FPage.GetIndexPage(SessionID, SiblingPageNo);
  if (!CanMergeInto(Sibling)) return false;
  if (SiblingPageNo == FPage.LeftPageNo())
    MergeIntoLeft(SessionID, Sibling, KeyPath);
  else
    MergeIntoRight(SessionID, Sibling, KeyPath);
  FPage.RemoveIndexPage(SessionID, FPage.PageNo());
  return true;
}

void TQXLBTreePageController::MergeIntoLeft(std::int32_t SessionID, TQXLBTreePage& Left, TQXLKeyPath& KeyPath) {
  if (FPage.RightPageNo() != -1) {
    TQXLBTreePage Right = FPage.GetIndexPage(SessionID, FPage.RightPageNo());
    Right.SetLeftPageNo(FPage.LeftPageNo());
    Right.MarkDirty();
  }
  KeyPath.DecLevel();
  TQXLBTreePage Parent = FPage.GetIndexPage(SessionID, KeyPath.CurrentPageNo());
  // Entry 0 of a node carries no true separator until it stands among the
  // left page's entries.
  if (!FPage.IsLeaf() && FPage.EntryCount() > 0) {
    FPage.MarkDirty();
    FPage.GetFirstKey(SessionID, FPage.GetPKey(0));
  }
  Left.AppendFrom(FPage, 0, FPage.EntryCount());
  Left.SetRightPageNo(FPage.RightPageNo());
  Left.MarkDirty();
  Parent.DeleteNodeEntry(SessionID, KeyPath, true);
}

void TQXLBTreePageController::MergeIntoRight(std::int32_t SessionID, TQXLBTreePage& Right, TQXLKeyPath& KeyPath) {
  if (FPage.LeftPageNo() != -1) {
    TQXLBTreePage Left = FPage.GetIndexPage(SessionID, FPage.LeftPageNo());
    Left.SetRightPageNo(FPage.RightPageNo());
    Left.MarkDirty();
  }
  KeyPath.DecLevel();
  TQXLBTreePage Parent = FPage.GetIndexPage(SessionID, KeyPath.CurrentPageNo());
  if (!Right.IsLeaf()) {
    Right.MarkDirty();
    Right.GetFirstKey(SessionID, Right.GetPKey(0));
  }
  Right.InsertFrom(FPage, 0, FPage.EntryCount());
  Right.SetLeftPageNo(FPage.LeftPageNo());
  Right.MarkDirty();
  Parent.DeleteNodeEntry(SessionID, KeyPath, false);
}

void TQXLBTreeNodeController::SetSeparatorsAbove(std::int32_t SessionID, TQXLKeyPath& KeyPath, bool MergeWithLeft,
                                                 std::int32_t EntryNo) {
  const std::int32_t Level = KeyPath.ItemNo();
  if (MergeWithLeft) {
    // This node's lowest key becomes that of its entry 1, wherever the
    // subtree it heads has its separator.
    if (EntryNo > 0) return;
    std::int32_t Up = Level;
    while (Up >= 0 && KeyPath.Item(Up).EntryNo == 0) --Up;
    if (Up < 0) return;
    TQXLBTreePage Above = FPage.GetIndexPage(SessionID, KeyPath.Item(Up).PageNo);
    Above.UpdateKey(KeyPath.Item(Up).EntryNo, FPage.GetPKey(1));
    Above.MarkDirty();
    return;
  }
  // The right neighbour now begins with the merged entries: its separator
  // takes the separator of the page merged away.
  if (EntryNo < FPage.EntryCount() - 1) {
    FPage.UpdateKey(EntryNo + 1, FPage.GetPKey(EntryNo));
    return;
  }
  std::int32_t Up = Level - 1;
  while (Up >= 0 && KeyPath.Item(Up).EntryNo >= KeyPath.Item(Up).EntryCount - 1) --Up;
  if (Up < 0) return;
  TQXLBTreePage Above = FPage.GetIndexPage(SessionID, KeyPath.Item(Up).PageNo);
  Above.UpdateKey(KeyPath.Item(Up).EntryNo + 1, FPage.GetPKey(EntryNo));
  Above.MarkDirty();
}

void TQXLBTreeNodeController::DeleteNodeEntry(std::int32_t SessionID, TQXLKeyPath& KeyPath, bool MergeWithLeft) {
  const std::int32_t EntryNo = KeyPath.Item(KeyPath.ItemNo()).EntryNo;
  const std::int32_t Count = FPage.EntryCount();
  if (EntryNo < 0 || EntryNo >= Count) FPage.RaiseDamaged();
  // A node about to lose its only entry leaves the tree itself; the
  // separators are then kept by its own removal one level up, in the same
  // direction as the merge below it.
  const bool Emptied = Count == 1 && !FPage.IsRoot();
  if (!Emptied) SetSeparatorsAbove(SessionID, KeyPath, MergeWithLeft, EntryNo);
  DeleteEntryAt(EntryNo);
  FPage.MarkDirty();
  if (!IsUnderflowed()) return;
  if (TryMerge(SessionID, KeyPath, Emptied && !MergeWithLeft)) return;
  if (FPage.IsRoot()) CollapseRoot(SessionID);
}

void TQXLBTreeNodeController::CollapseRoot(std::int32_t SessionID) {
  // Repeated, so that the root never stays a node over a single child (every
  // page below the root then has a neighbour to merge into).
  while (!FPage.IsLeaf() && FPage.EntryCount() == 1) {
    TQXLBTreePage Child = FPage.GetIndexPage(SessionID, FPage.ChildPageNo(0));
    FPage.CopyFrom(Child, 0, Child.EntryCount());
    FPage.SetIsRoot(true);
    FPage.SetLeftPageNo(-1);
    FPage.SetRightPageNo(-1);
    FPage.MarkDirty();
    FPage.RemoveIndexPage(SessionID, Child.PageNo());
  }
  if (!FPage.IsLeaf() && FPage.EntryCount() == 0) {
    FPage.InitAsRoot();
    FPage.MarkDirty();
  }
}

}  // namespace qxl
