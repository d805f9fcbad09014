#include "engine/storage/files/QXLInternalFileLayout.h"

#include <cstddef>
#include <cstring>

#include "engine/core/QXLException.h"
#include "engine/storage/pager/QXLDiskFormat.h"
#include "engine/storage/pager/QXLDiskPageManager.h"

namespace qxl {

std::int32_t InternalFilePagesNeeded(std::int64_t Size, std::int32_t DataSize) {
  const std::int64_t Bytes = Size + InternalFileHeaderSize;
  return static_cast<std::int32_t>((Bytes + DataSize - 1) / DataSize);
}

TQXLInternalFileHeader LoadFileHeader(const TQXLPage& StartPage) {
  TQXLInternalFileHeader Header;
  std::memcpy(&Header, StartPage.PageData(), sizeof Header);
  return Header;
}

void StoreFileHeader(TQXLPage& StartPage, const TQXLInternalFileHeader& Header) {
  StartPage.MakeWritable();
  std::memcpy(StartPage.PageData(), &Header, sizeof Header);
}

TQXLInternalFileHeader EmptyFileHeader(std::int32_t StoredSize) {
  return {InternalFileHeaderSize, StoredSize, 0, acaNone};
}

std::int32_t NextPageOf(const TQXLPage& Page) {
  std::int32_t Next;
  std::memcpy(&Next, Page.PageHeader() + offsetof(TQXLDiskPageHeader, NextPageNo), sizeof Next);
  return Next;
}

void SetNextPageOf(TQXLPage& Page, std::int32_t NextPageNo) {
  Page.MakeWritable();
  std::memcpy(Page.PageHeader() + offsetof(TQXLDiskPageHeader, NextPageNo), &NextPageNo, sizeof NextPageNo);
}

void RaiseDamagedFile(std::int32_t StartPageNo, const char* What) {
  throw EQXLException(20302, "Internal file is damaged (%s). StartPageNo=%d", {What, StartPageNo});
}

TQXLChainWalk::TQXLChainWalk(TQXLDiskPageManager& PageManager, std::int32_t StartPageNo)
    : FPageManager(PageManager), FCurrent(StartPageNo) {
  FMet.insert(StartPageNo);
}

bool TQXLChainWalk::Follow(std::int32_t NextPageNo) {
  if (NextPageNo == -1) return false;
  // A link back to a page already met would never end; a link outside the
  // file names no page of this chain.
  if (!InsideFile(NextPageNo) || !FMet.insert(NextPageNo).second) RaiseEnded();
  FCurrent = NextPageNo;
  ++FLinks;
  return true;
}

void TQXLChainWalk::RaiseEnded() const {
  throw EQXLException(20300,
                      "Error getting %d-th table file page. Probably database is corrupted and needs repair.",
                      {FLinks});
}

bool TQXLChainWalk::InsideFile(std::int32_t PageNo) {
  if (PageNo < 0) return false;
  if (PageNo < FPageManager.DBHeader().TotalPageCount) return true;
  // Another process may have grown the file since this one read the header.
  if (FPagesInFile < 0) {
    const std::int64_t Bytes = FPageManager.DatabaseFile().GetSize() - FPageManager.OffsetToFirstPage();
    FPagesInFile = Bytes <= 0 ? 0 : static_cast<std::int32_t>(Bytes / FPageManager.PageSize());
  }
  return PageNo < FPagesInFile;
}

}  // namespace qxl
