#include "engine/storage/pager/QXLFreeSpaceManager.h"

#include <algorithm>
#include <bit>
#include <limits>

#include "engine/core/QXLException.h"
#include "engine/storage/pager/QXLDatabaseFile.h"
#include "engine/storage/pager/QXLPage.h"
#include "engine/storage/pager/QXLPageManager.h"

namespace qxl {

namespace {

void CheckPageType(std::uint16_t Found, std::uint16_t Expected, std::int32_t ErrorCode) {
  if (Found == Expected) return;
  const std::string FoundName = GetPageTypeName(Found);
  throw EQXLException(ErrorCode, "Wrong page type. Found '%s', but expecting: '%s'",
                      {FoundName, GetPageTypeName(Expected)});
}

// Two bits per extent, four extents per byte, lowest bits first.
std::uint8_t ExtentValue(std::uint8_t Byte, int Field) { return (Byte >> (2 * Field)) & 3; }

}  // namespace

TQXLDatabaseFreeSpaceManager::TQXLDatabaseFreeSpaceManager(TQXLFreeSpaceHost& Host) : LPageManager(Host) {
  const TQXLDBHeader& Header = Host.HeaderInMemory();
  const std::int64_t D = Host.SpaceMapPageManager().PageDataSize();
  const std::int64_t E = Header.PageCountInExtent;
  // Maps whose page numbers would not fit in 32 bits cannot be addressed.
  if (E < 1 || D < 1 || 4 * D * E > std::numeric_limits<std::int32_t>::max())
    throw EQXLException(20237, "Invalid database format");
  FPageCountInExtent = static_cast<std::int32_t>(E);
  FPFSPage_PagesAddressed = static_cast<std::int32_t>(8 * D);
  FEAMPage_ExtentsAddressed = static_cast<std::int32_t>(4 * D);
  FEAMPage_PagesAddressed = static_cast<std::int32_t>(4 * D * E);
  FLastUsedPageNo = Header.LastUsedPageNo;
  FTotalPageCount = Header.TotalPageCount;
}

std::int32_t TQXLDatabaseFreeSpaceManager::AddPagesStep() const {
  if (FTotalPageCount == 0) return 6;
  return std::max(FTotalPageCount / 10, FPageCountInExtent);
}

std::int32_t TQXLDatabaseFreeSpaceManager::PFSPageNo(std::int32_t Index) const {
  return Index * FPFSPage_PagesAddressed;
}

std::int32_t TQXLDatabaseFreeSpaceManager::EAMPageNo(std::int32_t Index) const {
  const std::int32_t PageNo = Index * FEAMPage_PagesAddressed;
  return PageNo % FPFSPage_PagesAddressed == 0 ? PageNo + 1 : PageNo;
}

bool TQXLDatabaseFreeSpaceManager::IsSystemPage(std::int32_t PageNo) const {
  const std::int32_t P = FPFSPage_PagesAddressed, A = FEAMPage_PagesAddressed;
  if (PageNo < 0) return false;
  return PageNo % P == 0 || PageNo % A == 0 || (PageNo >= 1 && (PageNo - 1) % P == 0 && (PageNo - 1) % A == 0);
}

void TQXLDatabaseFreeSpaceManager::CheckPageNoForSystemPages(std::int32_t PageNo) const {
  if (IsSystemPage(PageNo)) throw EQXLException(30434, "Cannot delete PFS or EAM page. PageNo=%d", {PageNo});
}

std::int32_t TQXLDatabaseFreeSpaceManager::LastPFS() const {
  return std::max(FTotalPageCount - 1, 0) / FPFSPage_PagesAddressed;
}

std::int32_t TQXLDatabaseFreeSpaceManager::LastEAM() const {
  return std::max(FTotalPageCount - 1, 0) / FEAMPage_PagesAddressed;
}

std::unique_ptr<TQXLPage> TQXLDatabaseFreeSpaceManager::ReadMapPage(std::int32_t PageNo, std::uint16_t Type,
                                                                    std::int32_t ErrorCode) {
  auto Page = std::make_unique<TQXLPage>(&LPageManager.SpaceMapPageManager());
  Page->SetPageNo(PageNo);
  Page->AllocPageBuffer();
  // A page that could not be read keeps its fresh header, whose type fails.
  LPageManager.SpaceMapPageManager().InternalReadPage(Page.get());
  CheckPageType(Page->HeaderPageType(), Type, ErrorCode);
  return Page;
}

void TQXLDatabaseFreeSpaceManager::ReleaseMapPage(TQXLPage* Page, bool Dirty) {
  if (Dirty) LPageManager.SpaceMapPageManager().InternalWritePage(Page);
}

void TQXLDatabaseFreeSpaceManager::WriteNewMapPage(std::int32_t PageNo, std::uint16_t Type) {
  TQXLPage Page(&LPageManager.SpaceMapPageManager());
  Page.SetPageNo(PageNo);
  Page.AllocPageBuffer();
  Page.SetHeaderPageType(Type);
  Page.PageData()[0] = 1;  // PFS: its own bit; EAM: value 1 for its first extent
  LPageManager.SpaceMapPageManager().InternalWritePage(&Page);
}

void TQXLDatabaseFreeSpaceManager::ReadHeaderCounters() {
  LPageManager.ReadDBHeader();
  const TQXLDBHeader& Header = LPageManager.HeaderInMemory();
  // The header is read again at every change, after another process may have
  // written it: counters no file of this engine carries are damage.
  if (Header.TotalPageCount < 0 || Header.LastUsedPageNo < -1 || Header.LastUsedPageNo >= Header.TotalPageCount)
    throw EQXLException(20237, "Invalid database format");
  FLastUsedPageNo = Header.LastUsedPageNo;
  FTotalPageCount = Header.TotalPageCount;
}

void TQXLDatabaseFreeSpaceManager::WriteHeaderCounters() {
  TQXLDBHeader& Header = LPageManager.HeaderInMemory();
  if (Header.LastUsedPageNo == FLastUsedPageNo && Header.TotalPageCount == FTotalPageCount) return;
  Header.LastUsedPageNo = FLastUsedPageNo;
  Header.TotalPageCount = FTotalPageCount;
  LPageManager.WriteDBHeader(true);
}

bool TQXLDatabaseFreeSpaceManager::GetPageUsageFromPFS(std::int32_t PageNo) {
  std::unique_ptr<TQXLPage> Pfs;
  return GetPageUsageFromPFS(PageNo, Pfs);
}

bool TQXLDatabaseFreeSpaceManager::GetPageUsageFromPFS(std::int32_t PageNo, std::unique_ptr<TQXLPage>& Pfs) {
  const std::int32_t P = FPFSPage_PagesAddressed;
  const std::int32_t PFS = (PageNo / P) * P;
  if (PageNo < 0 || FLastUsedPageNo < PFS) return false;
  if (!Pfs || Pfs->PageNo() != PFS) Pfs = ReadMapPage(PFS, ptPFS, 30430);
  const std::int32_t Bit = PageNo % P;
  return (Pfs->PageData()[Bit / 8] >> (Bit % 8)) & 1;
}

bool TQXLDatabaseFreeSpaceManager::ChangePageUsage(std::int32_t PageNo, bool Used) {
  if (PageNo < 0 || PageNo >= FTotalPageCount)
    throw EQXLException(30430, "Page: %d cannot be addressed. TotalPageCount=%d", {PageNo, FTotalPageCount});
  const std::int32_t P = FPFSPage_PagesAddressed;
  auto Page = ReadMapPage((PageNo / P) * P, ptPFS, 30424);
  const std::int32_t Bit = PageNo % P;
  std::uint8_t& Byte = Page->PageData()[Bit / 8];
  const std::uint8_t Mask = static_cast<std::uint8_t>(1u << (Bit % 8));
  if (((Byte & Mask) != 0) == Used) return false;
  Byte ^= Mask;
  ReleaseMapPage(Page.get(), true);
  return true;
}

void TQXLDatabaseFreeSpaceManager::SetPageUsage(std::int32_t PageNo, bool Used) {
  if (ChangePageUsage(PageNo, Used)) return;
  if (Used) throw EQXLException(30425, "Page: %d already used", {PageNo});
  throw EQXLException(30427, "Page: %d already free", {PageNo});
}

void TQXLDatabaseFreeSpaceManager::UpdateExtentState(std::int32_t PageNo) {
  if (PageNo < 0 || PageNo >= FTotalPageCount)
    throw EQXLException(30431, "Page: %d cannot be addressed. TotalPageCount=%d", {PageNo, FTotalPageCount});
  const std::int32_t E = FPageCountInExtent, X = FEAMPage_ExtentsAddressed;
  const std::int32_t Extent = PageNo / E;
  auto Page = ReadMapPage(EAMPageNo(Extent / X), ptEAM, 30428);

  // The extent's pages share their PFS page, which the header lock keeps as
  // it is: it is read once, not once a page.
  int UsedCount = 0, FreeCount = 0;
  std::unique_ptr<TQXLPage> Pfs;
  for (std::int32_t p = Extent * E; p < (Extent + 1) * E && !(UsedCount && FreeCount); ++p)
    ++(GetPageUsageFromPFS(p, Pfs) ? UsedCount : FreeCount);
  const std::uint8_t Value = UsedCount && !FreeCount ? 3 : (UsedCount + FreeCount == 0 ? 0 : 1);

  const std::int32_t Field = Extent % X;
  std::uint8_t& Byte = Page->PageData()[Field / 4];
  const int Shift = 2 * (Field % 4);
  const std::uint8_t NewByte = static_cast<std::uint8_t>((Byte & ~(3 << Shift)) | (Value << Shift));
  const bool Changed = NewByte != Byte;
  Byte = NewByte;
  ReleaseMapPage(Page.get(), Changed);
}

void TQXLDatabaseFreeSpaceManager::MarkPage(std::int32_t PageNo, bool Used) {
  SetPageUsage(PageNo, Used);
  UpdateExtentState(PageNo);
}

std::int32_t TQXLDatabaseFreeSpaceManager::FindFreePageInEAM(std::int32_t EAMIndex) {
  const std::int32_t D = LPageManager.SpaceMapPageManager().PageDataSize();
  const std::int32_t E = FPageCountInExtent, P = FPFSPage_PagesAddressed, X = FEAMPage_ExtentsAddressed;
  std::int32_t Extent = -1;
  {
    auto Page = ReadMapPage(EAMPageNo(EAMIndex), ptEAM, 30423);
    const std::uint8_t* Data = Page->PageData();
    for (std::int32_t i = 0; i < D && Extent < 0; ++i) {
      if (Data[i] == 0xFF) continue;
      for (int Field = 0; Field < 4; ++Field)
        if (ExtentValue(Data[i], Field) < 2) {
          Extent = EAMIndex * X + i * 4 + Field;
          break;
        }
    }
  }
  if (Extent < 0) return -1;

  const std::int64_t FirstPage = static_cast<std::int64_t>(Extent) * E;
  const std::int32_t First = static_cast<std::int32_t>(FirstPage / P);
  std::int32_t Last = static_cast<std::int32_t>((FirstPage + E - 1) / P);
  if (static_cast<std::int64_t>(First) * P >= FTotalPageCount) return -1;
  while (static_cast<std::int64_t>(Last) * P >= FTotalPageCount) --Last;
  if (Last < First) return -1;

  for (std::int32_t k = First; k <= Last; ++k) {
    auto Page = ReadMapPage(PFSPageNo(k), ptPFS, 30423);
    const std::uint8_t* Data = Page->PageData();
    for (std::int32_t i = 0; i < D; ++i) {
      if (Data[i] == 0xFF) continue;
      const int Bit = std::countr_one(Data[i]);
      const std::int32_t Found = k * P + i * 8 + Bit;
      return Found < FTotalPageCount ? Found : -1;
    }
  }
  return -1;
}

std::int32_t TQXLDatabaseFreeSpaceManager::FindFreePage() {
  if (FLastUsedPageNo == -1) return -1;
  std::int32_t Page = FindFreePageInEAM(LastEAM());
  for (std::int32_t k = 0; Page < 0 && k < LastEAM(); ++k) Page = FindFreePageInEAM(k);
  if (Page >= 0) MarkPage(Page, true);
  return Page;
}

std::int32_t TQXLDatabaseFreeSpaceManager::AllocateNewPages() {
  const bool Fresh = FLastUsedPageNo == -1;
  const std::int32_t OldPFS = Fresh ? -1 : LastPFS();
  const std::int32_t OldEAM = Fresh ? -1 : LastEAM();

  // In 64 bits: page numbers and counts near the top of the 32-bit range come
  // from a damaged header, and are refused before the file grows.
  constexpr std::int64_t MaxCount = std::numeric_limits<std::int32_t>::max();
  auto SystemPage = [this](std::int64_t PageNo) {
    return PageNo <= MaxCount && IsSystemPage(static_cast<std::int32_t>(PageNo));
  };
  std::int64_t NewPage = std::int64_t{FLastUsedPageNo} + 1;
  while (SystemPage(NewPage)) ++NewPage;

  std::int64_t Step = AddPagesStep();
  if (NewPage >= FTotalPageCount + Step) Step = NewPage - FTotalPageCount + 1;
  while (SystemPage(FTotalPageCount + Step - 1)) ++Step;
  if (NewPage >= MaxCount || FTotalPageCount + Step > MaxCount) throw EQXLException(20237, "Invalid database format");

  LPageManager.ExtendFile(static_cast<std::int32_t>(Step));
  FTotalPageCount = LPageManager.HeaderInMemory().TotalPageCount;

  const std::int32_t NewPFS = LastPFS(), NewEAM = LastEAM();
  if (Fresh || NewPFS != OldPFS)
    for (std::int32_t k = OldPFS + 1; k <= NewPFS; ++k) WriteNewMapPage(PFSPageNo(k), ptPFS);
  if (Fresh || NewEAM != OldEAM)
    for (std::int32_t k = OldEAM + 1; k <= NewEAM; ++k) WriteNewMapPage(EAMPageNo(k), ptEAM);

  FLastUsedPageNo = static_cast<std::int32_t>(NewPage);
  // A cut that took an EAM page but kept the PFS page describing it left its
  // bit set; the page is back now, so a set bit is no error.
  for (std::int32_t k = OldEAM + 1; k <= NewEAM; ++k) ChangePageUsage(EAMPageNo(k), true);
  for (std::int32_t k = OldPFS + 1; k <= NewPFS; ++k) UpdateExtentState(PFSPageNo(k));
  // Every page handed out is at or below the stored last used page, so a set
  // bit above it is what a process left that died inside an allocation, after
  // the map took the page and before the header said so: the page is free.
  ChangePageUsage(static_cast<std::int32_t>(NewPage), true);
  UpdateExtentState(static_cast<std::int32_t>(NewPage));
  return static_cast<std::int32_t>(NewPage);
}

std::int32_t TQXLDatabaseFreeSpaceManager::FindLastUsedPageNo() {
  if (FLastUsedPageNo == -1) return -1;
  const std::int32_t D = LPageManager.SpaceMapPageManager().PageDataSize();
  for (std::int32_t k = LastPFS(); k >= 0; --k) {
    auto Page = ReadMapPage(PFSPageNo(k), ptPFS, 30432);
    const std::uint8_t* Data = Page->PageData();
    for (std::int32_t i = D - 1; i >= 0; --i) {
      if (Data[i] == 0) continue;
      for (int Bit = 7; Bit >= 0; --Bit) {
        const std::int32_t p = PFSPageNo(k) + i * 8 + Bit;
        // A bit past the end is a leftover of a growth that died before the
        // header took it; a header naming that page would name none.
        if (((Data[i] >> Bit) & 1) && !IsSystemPage(p) && p < FTotalPageCount) return p;
      }
    }
  }
  return -1;
}

void TQXLDatabaseFreeSpaceManager::ShrinkFile() {
  const std::int32_t Step = DelPagesStep();
  const std::int32_t Free = FTotalPageCount - FLastUsedPageNo - 1;
  if (Free < Step) return;
  std::int32_t Cut = (Free / Step) * Step;
  // As growth never does, a cut never ends the file on a space-map page: the
  // PFS page at an EAM position would be left without its EAM page.
  while (Cut > 0 && IsSystemPage(FTotalPageCount - Cut - 1)) --Cut;
  if (Cut <= 0) return;
  // The cut writes the header once; it carries the new last used page too, so
  // that no stored header names a last used page beyond the file.
  LPageManager.HeaderInMemory().LastUsedPageNo = FLastUsedPageNo;
  LPageManager.TruncateFile(Cut);
  FTotalPageCount = LPageManager.HeaderInMemory().TotalPageCount;
}

void QXLWaitForHeaderLock(TQXLFreeSpaceHost& Host, std::int32_t LockedCode) {
  if (!TryRepeatedly(QXLLockTries, QXLLockDelayMS, [&] { return Host.LockDBHeader(); }))
    throw EQXLException(LockedCode, "Database is locked");
}

void TQXLDatabaseFreeSpaceManager::UnderHeaderLock(std::int32_t LockedCode, const std::function<void()>& Work) {
  QXLWaitForHeaderLock(LPageManager, LockedCode);
  TQXLUnlockOnExit Unlock([this] { return LPageManager.UnlockDBHeader(); });
  ReadHeaderCounters();
  try {
    Work();
  } catch (...) {
    try {
      WriteHeaderCounters();
    } catch (...) {
    }
    throw;
  }
  WriteHeaderCounters();
}

std::int32_t TQXLDatabaseFreeSpaceManager::GetPage() {
  std::int32_t Page = -1;
  UnderHeaderLock(20231, [&] {
    Page = FindFreePage();
    if (Page < 0) Page = AllocateNewPages();
    FLastUsedPageNo = std::max(FLastUsedPageNo, Page);
  });
  return Page;
}

void TQXLDatabaseFreeSpaceManager::FreePage(std::int32_t PageNo) {
  // Clearing a space-map page's own bit would corrupt the map.
  CheckPageNoForSystemPages(PageNo);
  UnderHeaderLock(20232, [&] {
    MarkPage(PageNo, false);
    FLastUsedPageNo = FindLastUsedPageNo();
    ShrinkFile();
  });
}

}  // namespace qxl
