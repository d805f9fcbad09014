#pragma once
// What leaves and nodes share: comparing a key or reference with an entry, the
// binary search within a page, the capacity rules, placing and removing one
// entry, splitting an overflowing page and merging an underfull one.
// Thread rule: a short-lived view of one page, under the table's lock.
#include <cstdint>

#include "engine/storage/btree/QXLBTreePage.h"

namespace qxl {

class TQXLBTreePageController {
public:
  explicit TQXLBTreePageController(TQXLBTreePage& Page) : FPage(Page) {}

  TQXLBTreeKeyRef& KeyRef() const { return FPage.KeyRef(); }

  int CompareKeyAt(bool MayUseFullKeys, std::int32_t SessionID, const std::uint8_t* Key,
                   std::int32_t Position) const;
  int CompareReferenceAt(const std::uint8_t* Reference, std::int32_t Position) const;
  // The tie-break of equal keys: the entry's reference on a leaf, the first
  // entry under the child on a node.
  int CompareEntryReference(bool MayUseFullKeys, std::int32_t SessionID, const std::uint8_t* Key,
                            const std::uint8_t* Reference, std::int32_t Position) const;
  // QXLSearchFound with the position of an equal entry (the first, the last or
  // any, by Mode), QXLSearchNotFound with the insert position, or
  // QXLSearchEmpty with position 0.
  int SearchPosition(bool MayUseFullKeys, std::int32_t SessionID, const std::uint8_t* Key,
                     const std::uint8_t* Reference, std::int32_t Low, TQXLSearchMode Mode,
                     std::int32_t& Position) const;
  // The leaf entry with that reference (and key, when given).
  bool FindLeafEntry(std::int32_t SessionID, const std::uint8_t* Key, const std::uint8_t* Reference,
                     std::int32_t& Position) const;

  bool CanInsertEntry() const;
  bool IsOverflowed() const;
  bool IsUnderflowed() const;
  // Whether all entries of this page fit beside the sibling's; a page without
  // entries always goes, so that no empty page stays in the tree.
  bool CanMergeInto(const TQXLBTreePage& Sibling) const;

  void InsertEntryAt(const std::uint8_t* Key, const std::uint8_t* Reference, std::int32_t Position);
  // Raises 20025 on a page without entries.
  void DeleteEntryAt(std::int32_t Position);

  void Split(std::int32_t SessionID, TQXLKeyPath& KeyPath);
  // Merges this underfull page into a neighbour; PreferRight tries the right
  // one first. False when neither could take its entries.
  bool TryMerge(std::int32_t SessionID, TQXLKeyPath& KeyPath, bool PreferRight = false);

protected:
  void SplitRoot(std::int32_t SessionID);
  void SplitPage(std::int32_t SessionID, TQXLKeyPath& KeyPath);
  bool MergeWithSibling(std::int32_t SessionID, std::int32_t SiblingPageNo, TQXLKeyPath& KeyPath);
  void MergeIntoLeft(std::int32_t SessionID, TQXLBTreePage& Left, TQXLKeyPath& KeyPath);
  void MergeIntoRight(std::int32_t SessionID, TQXLBTreePage& Right, TQXLKeyPath& KeyPath);

  TQXLBTreePage& FPage;
};

}  // namespace qxl
