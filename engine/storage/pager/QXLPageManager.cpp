#include "engine/storage/pager/QXLPageManager.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "engine/core/QXLException.h"
#include "engine/storage/pager/QXLDiskFormat.h"
#include "engine/storage/pager/QXLPageBuffer.h"
#include "engine/storage/pager/QXLRandom.h"

namespace qxl {

namespace {
constexpr std::int32_t MaxCacheCapacity = 1000;
constexpr std::int64_t CacheBytesPerPage = 65536;
}  // namespace

TQXLPageManager::TQXLPageManager() {
  FCacheCapacity = static_cast<std::int32_t>(
      std::min<std::int64_t>(QXLFreeMemorySize() / CacheBytesPerPage, MaxCacheCapacity));
}

TQXLPageManager::~TQXLPageManager() = default;

void TQXLPageManager::CheckNoUncommittedPages() const {
  for (const auto& Info : FSessions)
    if (Info->DirtyPages.Count() > 0) throw EQXLException(20097, "Cannot free non-commited pages");
}

bool TQXLPageManager::IsPageUpToDate(std::int32_t, TQXLPage*) { return false; }
void TQXLPageManager::SetPageUpToDate(std::int32_t, TQXLPage*) {}
void TQXLPageManager::LoadFromStream(TQXLStream&) {}
void TQXLPageManager::SaveToStream(TQXLStream&) {}
bool TQXLPageManager::ReadStoredPageState(std::int32_t, std::int32_t&) { return false; }

TQXLSessionPageInfo* TQXLPageManager::FindSessionInfo(std::int32_t SessionID) {
  for (auto& Info : FSessions)
    if (Info->SessionID == SessionID) return Info.get();
  return nullptr;
}

const TQXLSessionPageInfo* TQXLPageManager::FindSession(std::int32_t SessionID) const {
  return const_cast<TQXLPageManager*>(this)->FindSessionInfo(SessionID);
}

TQXLSessionPageInfo& TQXLPageManager::SessionInfo(std::int32_t SessionID) {
  if (TQXLSessionPageInfo* Info = FindSessionInfo(SessionID)) return *Info;
  FSessions.push_back(std::make_unique<TQXLSessionPageInfo>());
  FSessions.back()->SessionID = SessionID;
  return *FSessions.back();
}

TQXLPage* TQXLPageManager::GetPage(std::int32_t SessionID, std::int32_t PageNo, std::uint16_t PageType,
                                   bool SynchronizeAllowed) {
  if (SessionID == QXLNoSessionID) throw EQXLException(20186, "Invalid Session ID");
  TQXLSessionPageInfo& Info = SessionInfo(SessionID);
  TQXLPage* Page = Info.DirtyPages.Find(PageNo);
  if (!Page) {
    Page = FSharedPages.Find(PageNo);
    if (Page) {
      // Whether another session holds the page is settled before its buffer
      // may be reread under that session's feet; a page this session holds
      // is its working copy and is not reread either.
      if (Page->FUseCount > 0 && Page->FSessionID != SessionID)
        throw EQXLException(20090, "Page is used by other session");
      if (SynchronizeAllowed && Page->FUseCount == 0 && !IsPageUpToDate(SessionID, Page)) {
        try {
          Page->Synchronize();
        } catch (...) {
          // A reread that failed may have left its bytes in the buffer; such
          // a copy must never be handed out as current.
          DropFromSharedCache(Page);
          throw;
        }
        SetPageUpToDate(SessionID, Page);
      }
      Page->FParentList = &FSharedPages;
    } else {
      Page = ReadIntoSharedCache(SessionID, PageNo, PageType);
    }
  }
  if (Page->FUseCount > 0 && Page->FSessionID != SessionID)
    throw EQXLException(20090, "Page is used by other session");
  Page->FSessionID = SessionID;
  if (++Page->FUseCount == 1) {
    if (Page->FParentList == &FSharedPages) ++FHeldSharedPages;
    if (!Page->FIsDirty) NoteCleanBytes(Page);
  }
  return Page;
}

TQXLPage* TQXLPageManager::ReadIntoSharedCache(std::int32_t SessionID, std::int32_t PageNo,
                                               std::uint16_t PageType) {
  auto Owned = std::make_unique<TQXLPage>(this);
  Owned->FPageNo = PageNo;
  Owned->FSessionID = SessionID;
  TQXLPage* Page = FSharedPages.Insert(std::move(Owned));
  Page->FParentList = &FSharedPages;
  try {
    if (!InternalReadPage(Page))
      throw EQXLException(20299, "Error reading database file page. Page No: %d, type %d", {PageNo, PageType});
    if (!FIgnoreCRCErrors && FPageHeaderSize > 0 && PageType != ptAny && Page->HeaderPageType() != PageType)
      throw EQXLException(20153, "Invalid page type. Possible data corruption. Expecting type %d, but found %d",
                          {PageType, Page->HeaderPageType()});
    SetPageUpToDate(SessionID, Page);
  } catch (...) {
    // A page that failed to read must not be handed out later as if read.
    FSharedPages.Delete(PageNo);
    throw;
  }
  return Page;
}

void TQXLPageManager::MoveTo(TQXLSortedPageList& From, TQXLSortedPageList& To, TQXLPage* Page) {
  To.Insert(From.Extract(Page->FPageNo));
  Page->FParentList = &To;
}

void TQXLPageManager::PutPage(TQXLPage* Page) {
  if (Page->FUseCount == 1 && Page->FParentList == &FSharedPages) --FHeldSharedPages;
  if (Page->FUseCount > 0) --Page->FUseCount;
  if (Page->FUseCount == 0) {
    Page->FReloaded = false;
    if (!Page->FIsDirty) CheckCleanBytes(Page);
  }

  if (!Page->FParentList) {
    PutOrphan(Page);
    return;
  }
  if (Page->FUseCount == 0 && Page->FParentList == &FSharedPages) {
    if (Page->FIsDirty)
      MoveTo(FSharedPages, SessionInfo(Page->FSessionID).DirtyPages, Page);
    else
      FSharedPages.UpdateLRU(Page);
  }
  if (Page->FParentList == &FSharedPages) FSharedPages.EvictUnused(FCacheCapacity);
}

void TQXLPageManager::PutOrphan(TQXLPage* Page) {
  if (Page->FUseCount > 0) return;
  const auto It = std::find_if(FOrphans.begin(), FOrphans.end(), [&](const auto& O) { return O.get() == Page; });
  // A page this manager does not hold has nowhere to go back to.
  if (It == FOrphans.end()) return;
  std::unique_ptr<TQXLPage> Owned = std::move(*It);
  FOrphans.erase(It);
  TQXLSessionPageInfo& Info = SessionInfo(Page->FSessionID);
  if (Page->FIsDirty && !Info.DirtyPages.Find(Page->FPageNo)) {
    Info.DirtyPages.Insert(std::move(Owned));
    Page->FParentList = &Info.DirtyPages;
  }
}

void TQXLPageManager::DropFromSharedCache(TQXLPage* Page) {
  std::unique_ptr<TQXLPage> Owned = FSharedPages.Extract(Page->FPageNo);
  if (Page->FUseCount > 0) {
    --FHeldSharedPages;
    Page->FParentList = nullptr;
    FOrphans.push_back(std::move(Owned));
  }
}

TQXLPage* TQXLPageManager::AddPage(std::int32_t SessionID, std::uint16_t PageType) {
  TQXLSessionPageInfo& Info = SessionInfo(SessionID);
  auto Page = std::make_unique<TQXLPage>(this);
  InternalAddPage(Page.get());
  if (Page->FPageNo == -1) throw EQXLException(20064, "Invalid page number");
  ++Page->FUseCount;
  Page->FIsDirty = true;
  Page->FReloaded = false;
  if (FPageHeaderSize > 0) {
    Page->SetHeaderPageType(PageType);
    Page->SetHeaderState(QXLRandom(QXLNewPageStateLimit));
  }
  Page->FParentList = &Info.DirtyPages;
  Page->FSessionID = SessionID;
  // A page added since the savepoint goes as a whole at its rollback.
  if (!Info.Savepoints.empty()) Page->FSavepointMark = Info.Savepoints.back().Mark;
  if (TQXLPage* Stale = FSharedPages.Find(Page->FPageNo)) DropFromSharedCache(Stale);
  Info.AddedPageNumbers.Append(Page->FPageNo);
  return Info.DirtyPages.Insert(std::move(Page));
}

void TQXLPageManager::RemovePage(std::int32_t SessionID, std::int32_t PageNo) {
  // A number asked for twice is released once: a second release at commit
  // would fail half-way through the commit.
  TQXLIntegerArray& Removed = SessionInfo(SessionID).RemovedPageNumbers;
  if (!Removed.IsValueExists(PageNo)) Removed.Append(PageNo);
}

void TQXLPageManager::CheckSessionPages(const TQXLSessionPageInfo& Info, std::int32_t NotDirtyCode,
                                        std::int32_t InUseCode) const {
  // Checked before anything is written or freed, so that a refused commit or
  // rollback leaves the session's pages as they were.
  Info.DirtyPages.ForEach([&](const TQXLPage* Page) {
    if (!Page->FIsDirty)
      throw EQXLException(NotDirtyCode, NotDirtyCode == 20085 ? "Invalid page" : "Invalid index page");
    if (Page->FUseCount > 0)
      throw EQXLException(InUseCode, InUseCode == 20086 ? "Cannot write used page" : "Cannot remove used page");
  });
}

void TQXLPageManager::CheckCanCommit(std::int32_t SessionID) {
  // The walk costs a visit of every cached page at every commit.
  if (FHeldSharedPages > 0) {
    FSharedPages.ForEach([&](const TQXLPage* Page) {
      if (Page->FSessionID == SessionID && Page->FUseCount > 0)
        throw EQXLException(20152, "Some session pages not released");
    });
  }
  if (const TQXLSessionPageInfo* Info = FindSessionInfo(SessionID)) CheckSessionPages(*Info, 20085, 20086);
}

void TQXLPageManager::ApplyChanges(std::int32_t SessionID) {
  CheckCanCommit(SessionID);
  TQXLSessionPageInfo* Info = FindSessionInfo(SessionID);
  if (!Info) return;

  // Each number leaves the list before it is released, so that a commit that
  // fails part-way never releases a page twice: a release cut short after
  // the space map took the page back would otherwise be done again by the
  // next commit, over the same page handed out anew meanwhile. A page whose
  // release failed stays marked used, which loses its room but nothing else.
  while (Info->RemovedPageNumbers.ItemCount() > 0) {
    const std::int32_t PageNo = Info->RemovedPageNumbers[0];
    Info->RemovedPageNumbers.Delete(0);
    if (Info->DirtyPages.Find(PageNo)) Info->DirtyPages.Delete(PageNo);
    if (TQXLPage* Page = FSharedPages.Find(PageNo)) DropFromSharedCache(Page);
    InternalRemovePage(PageNo);
  }
  Info->AddedPageNumbers.SetSize(0);
  EmptySavepoints(*Info);

  // Ascending page-number order, sorted once; a page leaves the dirty list
  // once written.
  const std::span<TQXLPage* const> Sorted = Info->DirtyPages.Pages();
  const std::vector<TQXLPage*> Order(Sorted.begin(), Sorted.end());
  for (TQXLPage* Page : Order) {
    InternalWritePage(Page);
    Page->FIsDirty = false;
    std::unique_ptr<TQXLPage> Written = Info->DirtyPages.Extract(Page->FPageNo);
    // Another session may have read the stored version meanwhile; only the
    // committed copy stays.
    if (TQXLPage* Old = FSharedPages.Find(Page->FPageNo)) DropFromSharedCache(Old);
    if (FSharedPages.Count() < FCacheCapacity) {
      FSharedPages.Insert(std::move(Written));
      Page->FParentList = &FSharedPages;
    }
  }
}

void TQXLPageManager::CancelChanges(std::int32_t SessionID) {
  TQXLSessionPageInfo* Info = FindSessionInfo(SessionID);
  if (!Info) return;
  CheckSessionPages(*Info, 20087, 20088);
  EmptySavepoints(*Info);
  Info->DirtyPages.Clear();
  while (Info->AddedPageNumbers.ItemCount() > 0) {
    const std::int32_t PageNo = Info->AddedPageNumbers[0];
    Info->AddedPageNumbers.Delete(0);
    InternalRemovePage(PageNo);
  }
  Info->RemovedPageNumbers.SetSize(0);
}

void TQXLPageManager::MakeWritable(TQXLPage* Page) {
  TQXLSessionPageInfo& Info = SessionInfo(Page->FSessionID);
  TQXLPageSavepointState* Savepoint = Info.Savepoints.empty() ? nullptr : &Info.Savepoints.back();
  if (Page->FIsDirty && (!Savepoint || Page->FSavepointMark == Savepoint->Mark)) return;
  if (!Page->FIsDirty) CheckCleanBytes(Page);
  if (Savepoint && !Savepoint->Images.contains(Page->FPageNo)) {
    TQXLPageSavepointState::TImage Image{Page->FIsDirty, {Page->FPageBuffer, Page->FPageBuffer + FPageSize}};
    Savepoint->Images.emplace(Page->FPageNo, std::move(Image));
  }
  if (Savepoint) Page->FSavepointMark = Savepoint->Mark;
  if (!Page->FIsDirty) TakeIntoSession(Info, Page);
}

void TQXLPageManager::TakeIntoSession(TQXLSessionPageInfo& Info, TQXLPage* Page) {
  if (!Page->FOwnBuffer) {
    // The buffer is the storage's own block: changes go to a copy until commit.
    std::uint8_t* Copy = QXLAllocPageMemory(FPageSize);
    std::memcpy(Copy, Page->FPageBuffer, FPageSize);
    Page->FPageBuffer = Copy;
    Page->FOwnBuffer = true;
  }
  if (Page->FParentList == &FSharedPages) {
    MoveTo(FSharedPages, Info.DirtyPages, Page);
    if (Page->FUseCount > 0) --FHeldSharedPages;
  } else if (!Page->FParentList && !Info.DirtyPages.Find(Page->FPageNo)) {
    const auto It = std::find_if(FOrphans.begin(), FOrphans.end(), [&](const auto& O) { return O.get() == Page; });
    if (It != FOrphans.end()) {
      Info.DirtyPages.Insert(std::move(*It));
      FOrphans.erase(It);
      Page->FParentList = &Info.DirtyPages;
    }
  }
  Page->FIsDirty = true;
}

#ifndef NDEBUG
namespace {

std::uint64_t PageDigest(const std::uint8_t* Bytes, std::size_t Size) {
  std::uint64_t Digest = 14695981039346656037ull;
  for (std::size_t i = 0; i < Size; ++i) Digest = (Digest ^ Bytes[i]) * 1099511628211ull;
  return Digest;
}

}  // namespace
#endif

void TQXLPageManager::NoteCleanBytes([[maybe_unused]] TQXLPage* Page) {
#ifndef NDEBUG
  Page->FCleanDigestTaken = Page->FPageBuffer != nullptr;
  if (Page->FCleanDigestTaken) Page->FCleanDigest = PageDigest(Page->FPageBuffer, Page->PageSize());
#endif
}

void TQXLPageManager::CheckCleanBytes([[maybe_unused]] TQXLPage* Page) {
#ifndef NDEBUG
  if (!Page->FCleanDigestTaken) return;
  Page->FCleanDigestTaken = false;
  if (!Page->FPageBuffer) return;
  const bool Unchanged = PageDigest(Page->FPageBuffer, Page->PageSize()) == Page->FCleanDigest;
  assert(Unchanged && "a clean page was changed before it was made writable");
  (void)Unchanged;
#endif
}

}  // namespace qxl
