#pragma once
// One index page in use: the header fields and entries of a B-tree page in the
// data area of a page-manager page, the entry copies, and the tree operations,
// which it hands to its leaf or node controller. The wrapper holds one use of
// the page and gives it back when it goes (or on Put).
// Page layout (little endian, packed): IsRoot 1, IsLeaf 1, LeftPageNo 4,
// RightPageNo 4, HasKeys 1, HasSuffixes 1, KeyPrefixSize 2, EntryCount 2,
// PagePrefixSize 2, then the entries: the short key and the reference (the
// key reference's on a leaf, the child's page number on a node).
// Thread rule: none of its own; the caller holds the table's lock.
#include <cstdint>
#include <cstring>

#include "engine/core/search/QXLScanSearchCondition.h"
#include "engine/storage/pager/QXLPage.h"
#include "engine/storage/btree/QXLBTreeKeyRef.h"
#include "engine/storage/btree/QXLKeyPath.h"

namespace qxl {

class TQXLPageManager;


// Results of SearchPosition.
inline constexpr int QXLSearchFound = 1;
inline constexpr int QXLSearchNotFound = 2;
inline constexpr int QXLSearchEmpty = 5;
// Search modes: the first, the last or any entry with an equal key.
enum TQXLSearchMode : std::uint8_t { smFirstEqual = 0, smLastEqual = 1, smAnyEqual = 2 };

inline constexpr std::uint16_t QXLIndexPageType = 12;
inline constexpr std::int32_t QXLIndexPageHeaderSize = 18;
inline constexpr std::int32_t QXLNodeReferenceSize = 4;

class TQXLBTreePage : public TQXLPageController {
public:
  // Takes one use of Page (from GetPage or AddPage).
  TQXLBTreePage(TQXLPageManager* PageManager, TQXLBTreeKeyRef* KeyRef, TQXLPage* Page);
  ~TQXLBTreePage() override;
  TQXLBTreePage(TQXLBTreePage&& Other) noexcept;
  TQXLBTreePage& operator=(TQXLBTreePage&&) = delete;
  TQXLBTreePage(const TQXLBTreePage&) = delete;
  TQXLBTreePage& operator=(const TQXLBTreePage&) = delete;

  // Reads an index page and checks that its header fits this tree and the
  // page (20310 otherwise).
  static TQXLBTreePage Fetch(TQXLPageManager* PageManager, TQXLBTreeKeyRef* KeyRef, std::int32_t SessionID,
                             std::int32_t PageNo);
  // A new page of this tree, initialised empty.
  TQXLBTreePage AddIndexPage(std::int32_t SessionID) const;
  TQXLBTreePage GetIndexPage(std::int32_t SessionID, std::int32_t PageNo) const;
  void RemoveIndexPage(std::int32_t SessionID, std::int32_t PageNo) const;
  // Gives the page back now; the wrapper is empty afterwards.
  void Put();

  TQXLBTreeKeyRef& KeyRef() const { return *LKeyRef; }
  TQXLPageManager* IndexPageManager() const { return LPageManager; }

  bool IsRoot() const { return Data()[0] != 0; }
  void SetIsRoot(bool Value) { WritableData()[0] = Value ? 1 : 0; }
  bool IsLeaf() const { return Data()[1] != 0; }
  void SetIsLeaf(bool Value) { WritableData()[1] = Value ? 1 : 0; }
  std::int32_t LeftPageNo() const { return Load<std::int32_t>(2); }
  void SetLeftPageNo(std::int32_t Value) { Store<std::int32_t>(2, Value); }
  std::int32_t RightPageNo() const { return Load<std::int32_t>(6); }
  void SetRightPageNo(std::int32_t Value) { Store<std::int32_t>(6, Value); }
  bool HasKeys() const { return Data()[10] != 0; }
  void SetHasKeys(bool Value) { WritableData()[10] = Value ? 1 : 0; }
  bool HasSuffixes() const { return Data()[11] != 0; }
  std::uint16_t KeyPrefixSize() const { return Load<std::uint16_t>(12); }
  void SetKeyPrefixSize(std::uint16_t Value) { Store<std::uint16_t>(12, Value); }
  std::int32_t EntryCount() const { return Load<std::uint16_t>(14); }
  void SetEntryCount(std::int32_t Value) { Store<std::uint16_t>(14, static_cast<std::uint16_t>(Value)); }
  std::uint16_t PagePrefixSize() const { return Load<std::uint16_t>(16); }

  std::int32_t ReferenceSize() const { return IsLeaf() ? LKeyRef->ReferenceSize : QXLNodeReferenceSize; }
  std::int32_t EntrySize() const { return KeyPrefixSize() + ReferenceSize(); }
  std::int32_t EntriesOffset() const { return QXLIndexPageHeaderSize + PagePrefixSize(); }

  std::uint8_t* GetPKey(std::int32_t Position) const { return Data() + EntriesOffset() + Position * EntrySize(); }
  std::uint8_t* GetPReference(std::int32_t Position) const { return GetPKey(Position) + KeyPrefixSize(); }
  // The child page of a node entry; 20312 for a number no page can have.
  std::int32_t ChildPageNo(std::int32_t Position) const;
  void UpdateKey(std::int32_t Position, const std::uint8_t* Key);
  void UpdateReference(std::int32_t Position, const std::uint8_t* Reference);

  void Init();
  // An empty root leaf; raises 20311 when fewer than three entries fit.
  void InitAsRoot();
  void CopyFrom(const TQXLBTreePage& Source, std::int32_t StartNo, std::int32_t Count);
  void AppendFrom(const TQXLBTreePage& Source, std::int32_t StartNo, std::int32_t Count);
  void InsertFrom(const TQXLBTreePage& Source, std::int32_t StartNo, std::int32_t Count);
  // Every change of the page's bytes makes it writable first.
  void MarkDirty() { MakeWritable(); }

  // Tree operations on the subtree of this page.
  void InsertLeafEntry(std::int32_t SessionID, const std::uint8_t* Key, const std::uint8_t* Reference,
                       TQXLKeyPath& KeyPath);
  bool DeleteLeafEntry(std::int32_t SessionID, const std::uint8_t* Key, const std::uint8_t* Reference,
                       TQXLKeyPath& KeyPath);
  void InsertNodeEntry(std::int32_t SessionID, const std::uint8_t* Key, const std::uint8_t* Reference,
                       TQXLKeyPath& KeyPath);
  void DeleteNodeEntry(std::int32_t SessionID, TQXLKeyPath& KeyPath, bool MergeWithLeft);
  bool FindEntry(std::int32_t SessionID, const std::uint8_t* Key, const std::uint8_t* Reference,
                 TQXLKeyPath& Position);
  bool GetFirstPosition(std::int32_t SessionID, TQXLKeyPath& Position);
  bool GetLastPosition(std::int32_t SessionID, TQXLKeyPath& Position);
  bool FindByCondition(std::int32_t SessionID, bool First, const std::uint8_t* Key, TQXLSearchCondition Operator,
                       TQXLKeyPath& Position);
  // Depth counts the levels above, to stop on a damaged tree that loops.
  void FreeAllPages(std::int32_t SessionID, bool KeepRootPage, std::int32_t Depth = 0);
  void CheckIntegrity(std::int32_t SessionID, TQXLKeyPath& KeyPath);
  void GetFirstKey(std::int32_t SessionID, std::uint8_t* Key);
  void GetLastKey(std::int32_t SessionID, std::uint8_t* Key);
  void GetFirstEntry(std::int32_t SessionID, std::uint8_t* Key, std::uint8_t* Reference);
  void GetLastEntry(std::int32_t SessionID, std::uint8_t* Key, std::uint8_t* Reference);

  // Raises 20310 naming this page.
  [[noreturn]] void RaiseDamaged() const;
  // The entries a page of this tree holds at most on a leaf and on a node.
  static std::int32_t Capacity(std::int32_t PageDataSize, std::int32_t EntrySize);

private:
  std::uint8_t* Data() const { return LPage->PageBuffer() + LHeaderSize; }
  std::uint8_t* WritableData() {
    MarkDirty();
    return Data();
  }
  template <typename T>
  T Load(std::int32_t Offset) const {
    T Value;
    std::memcpy(&Value, Data() + Offset, sizeof Value);
    return Value;
  }
  template <typename T>
  void Store(std::int32_t Offset, T Value) {
    std::memcpy(WritableData() + Offset, &Value, sizeof Value);
  }
  void Validate() const;
  // Copies the key (and the reference, when asked) of the first or last
  // leaf entry under this page.
  void CopyEdgeEntry(std::int32_t SessionID, bool Last, std::uint8_t* Key, std::uint8_t* Reference);

  TQXLPageManager* LPageManager;
  TQXLBTreeKeyRef* LKeyRef;
  std::int32_t LHeaderSize;
};

}  // namespace qxl
