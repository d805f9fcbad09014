#pragma once
// One page in memory (number, buffer, use count, dirty flag, holding session,
// per-session table states) and the base of typed views of a page.
//
// Threads: none of its own; used under the lock of its page manager's caller.
#include <cstdint>
#include <vector>

namespace qxl {

class TQXLPageManager;
class TQXLSortedPageList;

// The table a session was working on when it last validated the page, and
// that table's state then: the state alone would let a page of another table,
// or one released and reused since, pass when the numbers happen to meet.
struct TQXLPageTableStateInfo {
  std::int32_t TableID = -1;
  std::int32_t TableState = 0;
  bool IsTableStateValueAssigned = false;
};

class TQXLPage {
public:
  explicit TQXLPage(TQXLPageManager* PageManager);
  virtual ~TQXLPage();
  TQXLPage(const TQXLPage&) = delete;
  TQXLPage& operator=(const TQXLPage&) = delete;

  TQXLPageManager* PageManager() const { return LPageManager; }
  std::int32_t PageNo() const { return FPageNo; }
  void SetPageNo(std::int32_t Value) { FPageNo = Value; }
  std::uint8_t* PageBuffer() const { return FPageBuffer; }
  // Takes Buffer as the page's buffer; with OwnBuffer the page frees it.
  void SetPageBuffer(std::uint8_t* Buffer) { FPageBuffer = Buffer; }
  bool OwnBuffer() const { return FOwnBuffer; }
  void SetOwnBuffer(bool Value) { FOwnBuffer = Value; }
  bool IsDirty() const { return FIsDirty; }
  // Every change of the page's bytes comes after this call: it moves the
  // page into its holder's own pages, marked dirty, and keeps what a
  // statement savepoint needs to put the bytes back.
  void MakeWritable();
  std::int32_t UseCount() const { return FUseCount; }
  void SetUseCount(std::int32_t Value) { FUseCount = Value; }
  std::int32_t SessionID() const { return FSessionID; }
  bool Reloaded() const { return FReloaded; }
  void SetReloaded(bool Value) { FReloaded = Value; }
  bool EncryptionEnabled() const { return FEncryptionEnabled; }
  void SetEncryptionEnabled(bool Value) { FEncryptionEnabled = Value; }
  TQXLSortedPageList* ParentList() const { return FParentList; }

  std::uint16_t PageSize() const;
  std::uint16_t PageHeaderSize() const;
  std::uint8_t* PageHeader() const { return FPageBuffer; }
  std::uint8_t* PageData() const;
  std::uint16_t PageDataSize() const;

  // The two header fields the page layer uses; meaningful only with a header.
  std::int32_t HeaderState() const;
  void SetHeaderState(std::int32_t Value);
  std::uint16_t HeaderPageType() const;
  void SetHeaderPageType(std::uint16_t Value);

  void AllocPageBuffer();
  void InitHeader();
  void ClearPageBuffer();
  void FreeAndNilPageBuffer();
  void EnlargePageBuffer(std::int32_t NewSize);
  // Multi-process coherence: keeps the copy when the stored state matches it
  // (or the page was released elsewhere), rereads it otherwise.
  void Synchronize();

  bool GetTableState(std::int32_t SessionID, std::int32_t& TableID, std::int32_t& TableState) const;
  void SetTableState(std::int32_t SessionID, std::int32_t TableID, std::int32_t TableState);

private:
  friend class TQXLPageManager;
  friend class TQXLSortedPageList;

  TQXLPageManager* LPageManager;
  std::int32_t FPageNo = -1;
  std::uint8_t* FPageBuffer = nullptr;
  bool FOwnBuffer = true;
  bool FIsDirty = false;
  std::int32_t FUseCount = 0;
  TQXLSortedPageList* FParentList = nullptr;
  // The neighbours in the recency order of the list that holds the page.
  TQXLPage* FOlderUse = nullptr;
  TQXLPage* FNewerUse = nullptr;
  std::int32_t FSessionID = -1;
  bool FReloaded = false;
  bool FEncryptionEnabled = true;
  std::vector<TQXLPageTableStateInfo> FTableStates;
  // The savepoint that last kept this page's bytes; 0 for none.
  std::uint64_t FSavepointMark = 0;
  // A digest of the bytes of a clean page when it was handed out, checked in
  // debug builds when it is made writable or given back.
  std::uint64_t FCleanDigest = 0;
  bool FCleanDigestTaken = false;
};

// Base of typed views of a page: every property goes to the wrapped page.
class TQXLPageController {
public:
  explicit TQXLPageController(TQXLPage* Page = nullptr) : LPage(Page) {}
  virtual ~TQXLPageController() = default;

  TQXLPage* Page() const { return LPage; }
  void SetPage(TQXLPage* Page) { LPage = Page; }

  std::int32_t PageNo() const { return LPage->PageNo(); }
  void SetPageNo(std::int32_t Value) { LPage->SetPageNo(Value); }
  std::uint16_t PageSize() const { return LPage->PageSize(); }
  std::uint8_t* PageBuffer() const { return LPage->PageBuffer(); }
  void SetPageBuffer(std::uint8_t* Buffer) { LPage->SetPageBuffer(Buffer); }
  bool OwnBuffer() const { return LPage->OwnBuffer(); }
  void SetOwnBuffer(bool Value) { LPage->SetOwnBuffer(Value); }
  bool IsDirty() const { return LPage->IsDirty(); }
  void MakeWritable() { LPage->MakeWritable(); }
  std::int32_t UseCount() const { return LPage->UseCount(); }
  void SetUseCount(std::int32_t Value) { LPage->SetUseCount(Value); }
  TQXLPageManager* PageManager() const { return LPage->PageManager(); }
  std::uint8_t* PageData() const { return LPage->PageData(); }
  std::uint16_t PageDataSize() const { return LPage->PageDataSize(); }
  void EnlargePageBuffer(std::int32_t NewSize) { LPage->EnlargePageBuffer(NewSize); }

protected:
  TQXLPage* LPage;
};

}  // namespace qxl
