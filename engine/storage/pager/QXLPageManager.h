#pragma once
// The abstract page manager: one shared cache of clean pages and, per session,
// the pages it changed, added and removed, private until commit or rollback.
// The memory, temporary and disk back ends move pages to and from storage.
// Every page object belongs to exactly one list: the shared cache, one
// session's dirty list, or the orphans a session still holds.
//
// Threads: takes no lock of its own; its callers hold the database's or the
// table's critical section around every call.
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "engine/core/containers/QXLIntegerArray.h"
#include "engine/core/abstract/QXLBasePageManager.h"
#include "engine/storage/pager/QXLPage.h"
#include "engine/storage/pager/QXLSortedPageList.h"

namespace qxl {

class TQXLStream;

// Session numbers: connected sessions count from 0, the engine's own session
// is -2, -1 is no session.
inline constexpr std::int32_t QXLSystemSessionID = -2;
inline constexpr std::int32_t QXLNoSessionID = -1;

// What a statement savepoint keeps to undo the session's page changes made
// after it: the bytes (and dirty state) of each page as it was when first
// made writable since, and how many pages the session had added and removed.
struct TQXLPageSavepointState {
  struct TImage {
    bool WasDirty = false;
    std::vector<std::uint8_t> Bytes;
  };
  std::uint64_t Mark = 0;
  std::int32_t AddedCount = 0;
  std::int32_t RemovedCount = 0;
  std::unordered_map<std::int32_t, TImage> Images;
};

struct TQXLSessionPageInfo {
  std::int32_t SessionID = QXLNoSessionID;
  TQXLSortedPageList DirtyPages;
  TQXLIntegerArray AddedPageNumbers;
  TQXLIntegerArray RemovedPageNumbers;
  // Innermost last.
  std::vector<TQXLPageSavepointState> Savepoints;
};

class TQXLPageManager : public TQXLBasePageManager {
public:
  TQXLPageManager();
  // Frees every page. Call CheckNoUncommittedPages first where losing
  // uncommitted pages is an error.
  ~TQXLPageManager() override;
  TQXLPageManager(const TQXLPageManager&) = delete;
  TQXLPageManager& operator=(const TQXLPageManager&) = delete;

  std::uint16_t PageSize() const { return FPageSize; }
  std::uint16_t PageHeaderSize() const { return FPageHeaderSize; }
  std::uint16_t PageDataSize() const override { return FPageDataSize; }
  bool MultiUser() const { return FMultiUser; }
  void SetMultiUser(bool Value) { FMultiUser = Value; }
  bool IgnoreCRCErrors() const { return FIgnoreCRCErrors; }
  void SetIgnoreCRCErrors(bool Value) { FIgnoreCRCErrors = Value; }
  std::int32_t CacheCapacity() const { return FCacheCapacity; }
  void SetCacheCapacity(std::int32_t Value) { FCacheCapacity = Value; }
  const TQXLSortedPageList& SharedPages() const { return FSharedPages; }
  std::recursive_mutex& CriticalSection() { return FCSect; }

  virtual std::int32_t GetPageCount() { return FPageCount; }
  virtual bool IsPageUpToDate(std::int32_t SessionID, TQXLPage* Page);
  virtual void SetPageUpToDate(std::int32_t SessionID, TQXLPage* Page);
  virtual void LoadFromStream(TQXLStream& Stream);
  virtual void SaveToStream(TQXLStream& Stream);
  virtual void InternalAddPage(TQXLPage* Page) = 0;
  virtual void InternalRemovePage(std::int32_t PageNo) = 0;
  virtual bool InternalReadPage(TQXLPage* Page) = 0;
  virtual void InternalWritePage(TQXLPage* Page) = 0;
  virtual void RemovePage(std::int32_t SessionID, std::int32_t PageNo);
  virtual TQXLPage* GetPage(std::int32_t SessionID, std::int32_t PageNo, std::uint16_t PageType,
                            bool SynchronizeAllowed);
  void ApplyChanges(std::int32_t SessionID) override;

  TQXLPage* AddPage(std::int32_t SessionID, std::uint16_t PageType);
  void PutPage(TQXLPage* Page);
  void CancelChanges(std::int32_t SessionID) override;
  // See TQXLPage::MakeWritable. A page taken from the shared cache leaves it
  // at once, so that no other session is ever handed a changed copy.
  void MakeWritable(TQXLPage* Page);

  // Statement savepoints, nested per session. Rollback puts back the bytes
  // of every page changed since the savepoint, gives the pages added since
  // to the removals of the session's commit or rollback (no storage is
  // touched, so it cannot fail half-way for lack of a lock) and forgets the
  // removals asked for since; the session's pages must all be given back.
  // A commit or rollback of the session keeps the savepoints but empties
  // them: what was committed is not undone.
  void BeginSavepoint(std::int32_t SessionID);
  void ReleaseSavepoint(std::int32_t SessionID);
  void RollbackToSavepoint(std::int32_t SessionID);

  // Raises 20097 when a session still has uncommitted pages.
  void CheckNoUncommittedPages() const;
  // The session's record, or null when it never used the manager.
  const TQXLSessionPageInfo* FindSession(std::int32_t SessionID) const;

  // The state of a page as stored now, for Synchronize; false when this
  // storage keeps no copies that other processes could change.
  virtual bool ReadStoredPageState(std::int32_t PageNo, std::int32_t& State);

protected:
  // The checks of a commit that come before anything is written: no cached
  // page held by the session (20152), every changed page dirty and given back.
  void CheckCanCommit(std::int32_t SessionID);
  TQXLSessionPageInfo& SessionInfo(std::int32_t SessionID);
  TQXLSessionPageInfo* FindSessionInfo(std::int32_t SessionID);

  std::recursive_mutex FCSect;
  std::int32_t FCacheCapacity = 0;
  TQXLSortedPageList FSharedPages;
  std::vector<std::unique_ptr<TQXLSessionPageInfo>> FSessions;
  std::uint16_t FPageSize = 0;
  std::uint16_t FPageHeaderSize = 0;
  std::uint16_t FPageDataSize = 0;
  std::int32_t FPageCount = 0;
  bool FMultiUser = false;
  bool FIgnoreCRCErrors = false;
  // Shared-cache pages somebody holds; a commit walks the cache for the
  // committing session's only while there are any.
  std::int32_t FHeldSharedPages = 0;

private:
  // Pages dropped from the shared cache while a session held them; freed, or
  // moved to the holder's dirty list, on their last PutPage.
  std::vector<std::unique_ptr<TQXLPage>> FOrphans;

  // Takes a page out of the shared cache: freed when nobody holds it, else
  // kept as an orphan for its holder.
  void DropFromSharedCache(TQXLPage* Page);
  void PutOrphan(TQXLPage* Page);
  // A new page object for a page not cached yet, read and type-checked.
  TQXLPage* ReadIntoSharedCache(std::int32_t SessionID, std::int32_t PageNo, std::uint16_t PageType);
  // Moves a page between lists; it keeps its place in neither's use order.
  static void MoveTo(TQXLSortedPageList& From, TQXLSortedPageList& To, TQXLPage* Page);
  // Moves a clean page the session holds into its dirty pages, with a
  // buffer of its own.
  void TakeIntoSession(TQXLSessionPageInfo& Info, TQXLPage* Page);
  void RestoreImage(TQXLSessionPageInfo& Info, std::int32_t PageNo, TQXLPageSavepointState::TImage& Image);
  // Savepoints survive a commit or rollback, but nothing before it can be undone.
  void EmptySavepoints(TQXLSessionPageInfo& Info);
  // Debug builds: a clean page's bytes are noted when it is handed out and
  // must be the same when it is made writable or given back clean.
  static void NoteCleanBytes(TQXLPage* Page);
  static void CheckCleanBytes(TQXLPage* Page);
  std::uint64_t FLastSavepointMark = 0;
  void CheckSessionPages(const TQXLSessionPageInfo& Info, std::int32_t NotDirtyCode,
                         std::int32_t InUseCode) const;
};

}  // namespace qxl
