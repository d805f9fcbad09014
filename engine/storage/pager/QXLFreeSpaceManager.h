#pragma once
// Which page of a database file a new page gets: PFS pages (one bit per page)
// and EAM pages (two bits per extent) inside the file, growth when nothing is
// free and cutting free pages off the end. Every operation runs under the
// database header lock and rereads the header first.
//
// Threads: one thread at a time, that of its disk page manager's caller;
// processes exclude each other by the header lock.
#include <cstdint>
#include <functional>
#include <memory>

#include "engine/storage/pager/QXLDiskFormat.h"

namespace qxl {

class TQXLPage;
class TQXLPageManager;

// What the space map needs from the page manager that owns the file.
class TQXLFreeSpaceHost {
public:
  virtual ~TQXLFreeSpaceHost() = default;
  // Owner of the space-map page objects; reads and writes them uncached.
  virtual TQXLPageManager& SpaceMapPageManager() = 0;
  // The header as held in memory.
  virtual TQXLDBHeader& HeaderInMemory() = 0;
  virtual bool LockDBHeader() = 0;
  virtual bool UnlockDBHeader() = 0;
  virtual void ReadDBHeader() = 0;
  virtual void WriteDBHeader(bool Check) = 0;
  // Grow or cut the file by whole pages; both keep TotalPageCount in step.
  virtual void ExtendFile(std::int32_t PageCount) = 0;
  virtual void TruncateFile(std::int32_t PageCount) = 0;
};

// Takes the host's header lock with the engine's bounded wait; raises
// LockedCode "Database is locked" when it cannot be had.
void QXLWaitForHeaderLock(TQXLFreeSpaceHost& Host, std::int32_t LockedCode);

class TQXLDatabaseFreeSpaceManager {
public:
  explicit TQXLDatabaseFreeSpaceManager(TQXLFreeSpaceHost& Host);

  // A free page number, growing the file when none is free.
  std::int32_t GetPage();
  // Releases a page and shrinks the file when enough pages at its end are free.
  void FreePage(std::int32_t PageNo);
  bool GetPageUsageFromPFS(std::int32_t PageNo);
  // The same, reading the PFS page into Pfs unless Pfs holds it already.
  bool GetPageUsageFromPFS(std::int32_t PageNo, std::unique_ptr<TQXLPage>& Pfs);
  void CheckPageNoForSystemPages(std::int32_t PageNo) const;
  bool IsSystemPage(std::int32_t PageNo) const;

  std::int32_t AddPagesStep() const;
  std::int32_t DelPagesStep() const { return AddPagesStep(); }
  bool SuppressDBHeaderErrors() const { return FSuppressDBHeaderErrors; }
  void SetSuppressDBHeaderErrors(bool Value) { FSuppressDBHeaderErrors = Value; }

  std::int32_t PFSPagesAddressed() const { return FPFSPage_PagesAddressed; }
  std::int32_t EAMPagesAddressed() const { return FEAMPage_PagesAddressed; }
  std::int32_t LastUsedPageNo() const { return FLastUsedPageNo; }
  std::int32_t TotalPageCount() const { return FTotalPageCount; }

  // Positions of the space-map pages.
  std::int32_t PFSPageNo(std::int32_t Index) const;
  std::int32_t EAMPageNo(std::int32_t Index) const;

private:
  std::unique_ptr<TQXLPage> ReadMapPage(std::int32_t PageNo, std::uint16_t Type, std::int32_t ErrorCode);
  void ReleaseMapPage(TQXLPage* Page, bool Dirty);
  void WriteNewMapPage(std::int32_t PageNo, std::uint16_t Type);

  void ReadHeaderCounters();
  void WriteHeaderCounters();
  // Runs Work under the header lock between a reread of the counters and,
  // on every way out, their write-back.
  void UnderHeaderLock(std::int32_t LockedCode, const std::function<void()>& Work);
  std::int32_t LastPFS() const;
  std::int32_t LastEAM() const;

  // Sets or clears a page's bit; false (and nothing written) when it already was so.
  bool ChangePageUsage(std::int32_t PageNo, bool Used);
  void SetPageUsage(std::int32_t PageNo, bool Used);
  void UpdateExtentState(std::int32_t PageNo);
  void MarkPage(std::int32_t PageNo, bool Used);
  std::int32_t FindFreePageInEAM(std::int32_t EAMIndex);
  std::int32_t FindFreePage();
  std::int32_t AllocateNewPages();
  std::int32_t FindLastUsedPageNo();
  void ShrinkFile();

  TQXLFreeSpaceHost& LPageManager;
  std::int32_t FPageCountInExtent;
  std::int32_t FPFSPage_PagesAddressed;
  std::int32_t FEAMPage_ExtentsAddressed;
  std::int32_t FEAMPage_PagesAddressed;
  std::int32_t FLastUsedPageNo;
  std::int32_t FTotalPageCount;
  bool FSuppressDBHeaderErrors = false;
};

}  // namespace qxl
