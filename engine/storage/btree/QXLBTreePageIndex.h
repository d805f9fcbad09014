#pragma once
// A B-tree from page numbers to 16-bit counters: which pages a table's record
// or BLOB store owns and how full each is. The record and BLOB page indexes
// give the counter its meaning.
// Thread rule: none of its own; the caller holds the table's lock.
#include <cstdint>

#include "engine/storage/btree/QXLBTreePage.h"
#include "engine/storage/btree/QXLPageKeyRef.h"

namespace qxl {

class TQXLPageManager;


class TQXLBTreePageIndex {
public:
  explicit TQXLBTreePageIndex(TQXLPageManager* PageManager) : LPageManager(PageManager) {}
  virtual ~TQXLBTreePageIndex() = default;
  TQXLBTreePageIndex(const TQXLBTreePageIndex&) = delete;
  TQXLBTreePageIndex& operator=(const TQXLBTreePageIndex&) = delete;

  std::int32_t RootPageNo() const { return FRootPageNo; }
  TQXLPageKeyRef& KeyRef() { return FKeyRef; }
  TQXLPageManager* PageManager() const { return LPageManager; }

  void CreateIndex(std::int32_t SessionID);
  void DropIndex(std::int32_t SessionID);
  void EmptyIndex(std::int32_t SessionID);
  void OpenIndex(std::int32_t RootPageNo) {
    FRootPageNo = RootPageNo;
    ContentReplaced(false);
  }

  // Whether a page whose counter is Counter can take Amount more.
  virtual bool CanAddDataItem(std::int32_t Counter, std::int32_t Amount) const = 0;

  bool GotoFirst(std::int32_t SessionID, TQXLKeyPath& KeyPath);
  bool GotoLast(std::int32_t SessionID, TQXLKeyPath& KeyPath);
  bool GotoNext(std::int32_t SessionID, TQXLKeyPath& KeyPath);
  bool GotoPrior(std::int32_t SessionID, TQXLKeyPath& KeyPath);
  bool FindPage(std::int32_t SessionID, std::int32_t PageNo, TQXLKeyPath& KeyPath);
  std::uint16_t GetCounter(std::int32_t SessionID, const TQXLKeyPath& KeyPath);
  void SetCounter(std::int32_t SessionID, const TQXLKeyPath& KeyPath, std::uint16_t Value);
  std::int32_t GetPageNoAtPosition(std::int32_t SessionID, const TQXLKeyPath& KeyPath);

  // Looks at the last leaf and then the first leaf only.
  bool FindPageWithRoom(std::int32_t SessionID, std::int32_t Amount, std::int32_t& PageNo);
  void AddToPage(std::int32_t SessionID, std::int32_t Amount, std::int32_t PageNo);
  // NewValue >= 0 sets the counter; below 0 subtracts Amount. A counter that
  // reaches 0 takes the page out of the index.
  void SubtractFromPage(std::int32_t SessionID, std::int32_t Amount, std::int32_t NewValue, std::int32_t PageNo);

protected:
  // Told of every stored counter this object changes; 0 when the page left
  // the index.
  virtual void CounterChanged(std::int32_t PageNo, std::int32_t Counter) {
    static_cast<void>(PageNo);
    static_cast<void>(Counter);
  }
  // Told when the whole index was made, opened, emptied or dropped; Known
  // when what it now holds is known (empty), not merely unread.
  virtual void ContentReplaced(bool Known) { static_cast<void>(Known); }

  TQXLBTreePage FetchIndexPage(std::int32_t SessionID, std::int32_t PageNo);
  TQXLBTreePage FetchRoot(std::int32_t SessionID, std::int32_t NoRootCode);
  // The page and entry at the path's last item, checked against the page.
  TQXLBTreePage FetchEntryPage(std::int32_t SessionID, const TQXLKeyPath& KeyPath, std::int32_t EmptyCode,
                               std::int32_t& EntryNo);
  // Moves every level below Level to its neighbour page at the first or last entry.
  void MoveLevelsBelow(std::int32_t SessionID, TQXLKeyPath& KeyPath, std::int32_t Level, bool Forward);

  std::int32_t FRootPageNo = -1;
  TQXLPageKeyRef FKeyRef;
  TQXLPageManager* LPageManager;
};

}  // namespace qxl
