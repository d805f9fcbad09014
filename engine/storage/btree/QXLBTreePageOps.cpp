// The tree operations of a page, handed to the controller of its kind.
#include <optional>

#include "engine/core/QXLException.h"
#include "engine/storage/btree/QXLBTreeLeafController.h"
#include "engine/storage/btree/QXLBTreeNodeController.h"

namespace qxl {

void TQXLBTreePage::InsertLeafEntry(std::int32_t SessionID, const std::uint8_t* Key, const std::uint8_t* Reference,
                                    TQXLKeyPath& KeyPath) {
  if (IsLeaf())
    TQXLBTreeLeafController(*this).InsertLeafEntry(SessionID, Key, Reference, KeyPath);
  else
    TQXLBTreeNodeController(*this).InsertLeafEntry(SessionID, Key, Reference, KeyPath);
}

bool TQXLBTreePage::DeleteLeafEntry(std::int32_t SessionID, const std::uint8_t* Key, const std::uint8_t* Reference,
                                    TQXLKeyPath& KeyPath) {
  if (IsLeaf()) return TQXLBTreeLeafController(*this).DeleteLeafEntry(SessionID, Key, Reference, KeyPath);
  return TQXLBTreeNodeController(*this).DeleteLeafEntry(SessionID, Key, Reference, KeyPath);
}

void TQXLBTreePage::InsertNodeEntry(std::int32_t SessionID, const std::uint8_t* Key, const std::uint8_t* Reference,
                                    TQXLKeyPath& KeyPath) {
  if (IsLeaf()) throw EQXLException(20020, "Internal index error");
  TQXLBTreeNodeController(*this).InsertNodeEntry(SessionID, Key, Reference, KeyPath);
}

void TQXLBTreePage::DeleteNodeEntry(std::int32_t SessionID, TQXLKeyPath& KeyPath, bool MergeWithLeft) {
  if (IsLeaf()) throw EQXLException(20024, "Internal index error");
  TQXLBTreeNodeController(*this).DeleteNodeEntry(SessionID, KeyPath, MergeWithLeft);
}

bool TQXLBTreePage::FindEntry(std::int32_t SessionID, const std::uint8_t* Key, const std::uint8_t* Reference,
                              TQXLKeyPath& Position) {
  if (IsLeaf()) return TQXLBTreeLeafController(*this).FindEntry(SessionID, Key, Reference, Position);
  return TQXLBTreeNodeController(*this).FindEntry(SessionID, Key, Reference, Position);
}

bool TQXLBTreePage::GetFirstPosition(std::int32_t SessionID, TQXLKeyPath& Position) {
  if (IsLeaf()) return TQXLBTreeLeafController(*this).GetFirstPosition(Position);
  return TQXLBTreeNodeController(*this).GetFirstPosition(SessionID, Position);
}

bool TQXLBTreePage::GetLastPosition(std::int32_t SessionID, TQXLKeyPath& Position) {
  if (IsLeaf()) return TQXLBTreeLeafController(*this).GetLastPosition(Position);
  return TQXLBTreeNodeController(*this).GetLastPosition(SessionID, Position);
}

bool TQXLBTreePage::FindByCondition(std::int32_t SessionID, bool First, const std::uint8_t* Key,
                                    TQXLSearchCondition Operator, TQXLKeyPath& Position) {
  if (EntryCount() == 0) return false;
  if (IsLeaf()) return TQXLBTreeLeafController(*this).FindByCondition(SessionID, First, Key, Operator, Position);
  return TQXLBTreeNodeController(*this).FindByCondition(SessionID, First, Key, Operator, Position);
}

void TQXLBTreePage::FreeAllPages(std::int32_t SessionID, bool KeepRootPage, std::int32_t Depth) {
  if (!IsLeaf()) return TQXLBTreeNodeController(*this).FreeAllPages(SessionID, KeepRootPage, Depth);
  if (!(IsRoot() && KeepRootPage)) RemoveIndexPage(SessionID, PageNo());
}

void TQXLBTreePage::CheckIntegrity(std::int32_t SessionID, TQXLKeyPath& KeyPath) {
  if (IsLeaf()) {
    if (!IsRoot() && EntryCount() == 0) RaiseDamaged();
    return TQXLBTreeLeafController(*this).CheckIntegrity();
  }
  TQXLBTreeNodeController(*this).CheckIntegrity(SessionID, KeyPath);
}

void TQXLBTreePage::CopyEdgeEntry(std::int32_t SessionID, bool Last, std::uint8_t* Key, std::uint8_t* Reference) {
  std::optional<TQXLBTreePage> Below;
  const TQXLBTreePage* Page = this;
  for (std::int32_t Depth = 0; !Page->IsLeaf(); ++Depth) {
    if (Depth >= TQXLKeyPath::MaxLevels || Page->EntryCount() == 0) Page->RaiseDamaged();
    TQXLBTreePage Child = Page->GetIndexPage(SessionID, Page->ChildPageNo(Last ? Page->EntryCount() - 1 : 0));
    Below.reset();
    Below.emplace(std::move(Child));
    Page = &*Below;
  }
  if (Page->EntryCount() == 0) Page->RaiseDamaged();
  const std::int32_t Position = Last ? Page->EntryCount() - 1 : 0;
  std::memcpy(Key, Page->GetPKey(Position), Page->KeyPrefixSize());
  if (Reference)
    std::memcpy(Reference, Page->GetPReference(Position), static_cast<std::size_t>(LKeyRef->ReferenceSize));
}

void TQXLBTreePage::GetFirstKey(std::int32_t SessionID, std::uint8_t* Key) {
  CopyEdgeEntry(SessionID, false, Key, nullptr);
}

void TQXLBTreePage::GetLastKey(std::int32_t SessionID, std::uint8_t* Key) {
  CopyEdgeEntry(SessionID, true, Key, nullptr);
}

void TQXLBTreePage::GetFirstEntry(std::int32_t SessionID, std::uint8_t* Key, std::uint8_t* Reference) {
  CopyEdgeEntry(SessionID, false, Key, Reference);
}

void TQXLBTreePage::GetLastEntry(std::int32_t SessionID, std::uint8_t* Key, std::uint8_t* Reference) {
  CopyEdgeEntry(SessionID, true, Key, Reference);
}

}  // namespace qxl
