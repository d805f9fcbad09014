#include "engine/storage/blobs/QXLLargeBlob.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/storage/pager/QXLDiskFormat.h"
#include "engine/storage/pager/QXLPageManager.h"
#include "engine/storage/blobs/QXLBlobPageFormat.h"
#include "engine/storage/blobs/QXLDiskBLOBCache.h"
#include "engine/storage/pager/QXLPageHold.h"
#include "engine/storage/pager/QXLPageHeaderFields.h"

namespace qxl {

std::int32_t TQXLLargeBlob::PageDataSize() const { return FPageManager.PageDataSize(); }

std::int32_t TQXLLargeBlob::AddPage(std::vector<std::int32_t>& Added) {
  TQXLPageHold Page(FPageManager, FPageManager.AddPage(FSessionID, ptTableBlob));
  Added.push_back(Page->PageNo());
  return Page->PageNo();
}

std::int32_t TQXLLargeBlob::Write(const TQXLDiskBLOBCache& BlobCache) {
  std::vector<std::int32_t> Added;
  try {
    std::vector<std::int32_t> DataPages;
    const std::int32_t LastUsed = WriteData(BlobCache, DataPages, Added);
    TLayout Layout;
    WritePageList(DataPages, LastUsed, Layout, Added);
    TQXLPageHold First(FPageManager, FetchBlobPage(FPageManager, FSessionID, DataPages.front()));
    const TQXLBlobEntryHeader Header{0, BlobCache.NumBlocks, BlobCache.CompressedSize(), BlobCache.UncompressedSize};
    const TQXLLargeBlobListLocation Location{Layout.ListPageNo, static_cast<std::uint16_t>(Layout.ListOffset),
                                             Layout.DataPageCount};
    First->MakeWritable();
    std::memcpy(First->PageData(), &Header, sizeof Header);
    std::memcpy(First->PageData() + QXLBlobListLocationOffset, &Location, sizeof Location);
    return DataPages.front();
  } catch (...) {
    for (std::int32_t PageNo : Added) FPageManager.RemovePage(FSessionID, PageNo);
    throw;
  }
}

std::int32_t TQXLLargeBlob::WriteData(const TQXLDiskBLOBCache& BlobCache, std::vector<std::int32_t>& DataPages,
                                      std::vector<std::int32_t>& Added) {
  const std::uint8_t* Source = BlobCache.BlobData.data();
  std::int64_t Left = BlobCache.CompressedSize();
  std::int32_t Offset = QXLLargeBlobDataOffset;
  std::int32_t Used = 0;
  do {
    DataPages.push_back(AddPage(Added));
    TQXLPageHold Page(FPageManager, FetchBlobPage(FPageManager, FSessionID, DataPages.back()));
    const auto Count = static_cast<std::int32_t>(std::min<std::int64_t>(Left, PageDataSize() - Offset));
    Page->MakeWritable();
    if (Count > 0) std::memcpy(Page->PageData() + Offset, Source, static_cast<std::size_t>(Count));
    Source += Count;
    Left -= Count;
    Used = Offset + Count;
    Offset = 0;
  } while (Left > 0);
  return Used;
}

void TQXLLargeBlob::WritePageList(const std::vector<std::int32_t>& DataPages, std::int32_t LastUsed,
                                  TLayout& Layout, std::vector<std::int32_t>& Added) {
  // A full last data page leaves no room: the list starts on a page of its own.
  const bool OwnPage = LastUsed >= PageDataSize();
  std::int32_t PageNo = OwnPage ? AddPage(Added) : DataPages.back();
  std::int32_t Offset = OwnPage ? 0 : LastUsed;
  Layout.ListPageNo = PageNo;
  Layout.ListOffset = Offset;
  Layout.DataPageCount = static_cast<std::int32_t>(DataPages.size());
  std::size_t Written = 0;
  for (;;) {
    TQXLPageHold Page(FPageManager, FetchBlobPage(FPageManager, FSessionID, PageNo));
    Page->MakeWritable();
    for (std::int32_t Fit = (PageDataSize() - Offset) / 4; Fit > 0 && Written < DataPages.size(); --Fit) {
      std::memcpy(Page->PageData() + Offset, &DataPages[Written++], 4);
      Offset += 4;
    }
    if (Written == DataPages.size()) return;
    PageNo = AddPage(Added);
    SetPageNextPageNo(*Page, PageNo);
    Offset = 0;
  }
}

TQXLLargeBlob::TLayout TQXLLargeBlob::ReadLayout(std::int32_t FirstPageNo) {
  TQXLPageHold Page(FPageManager, FetchBlobPage(FPageManager, FSessionID, FirstPageNo));
  TQXLBlobEntryHeader Header{};
  TQXLLargeBlobListLocation Location{};
  std::memcpy(&Header, Page->PageData(), sizeof Header);
  std::memcpy(&Location, Page->PageData() + QXLBlobListLocationOffset, sizeof Location);
  return {Header.NumBlocks,   Header.CompressedSize,  Header.UncompressedSize,
          Location.ListPageNo, Location.ListOffset, Location.DataPageCount};
}

void TQXLLargeBlob::CheckLayout(std::int32_t FirstPageNo, const TLayout& Layout) {
  const std::int64_t Size = PageDataSize();
  const std::int64_t OnFirst = Size - QXLLargeBlobDataOffset;
  if (Layout.CompressedSize < 0 || Layout.DataPageCount < 1 || Layout.DataPageCount >= FPageManager.GetPageCount())
    RaiseDamagedBlob(FirstPageNo, "size or page count out of range");
  const std::int64_t Needed =
      Layout.CompressedSize <= OnFirst ? 1 : 1 + (Layout.CompressedSize - OnFirst + Size - 1) / Size;
  if (Needed != Layout.DataPageCount || Layout.ListOffset > Size)
    RaiseDamagedBlob(FirstPageNo, "page list does not fit the size");
}

std::vector<std::int32_t> TQXLLargeBlob::ReadPageList(const TLayout& Layout, std::vector<std::int32_t>* ListPages) {
  const auto Count = static_cast<std::size_t>(Layout.DataPageCount);
  std::vector<std::int32_t> Pages;
  Pages.reserve(Count);
  std::int32_t PageNo = Layout.ListPageNo;
  std::int32_t Offset = Layout.ListOffset;
  // Each page after the first adds at least one number, so the walk ends.
  for (;;) {
    TQXLPageHold Page(FPageManager, FetchBlobPage(FPageManager, FSessionID, PageNo));
    if (ListPages) ListPages->push_back(PageNo);
    for (std::int32_t Fit = (PageDataSize() - Offset) / 4; Fit > 0 && Pages.size() < Count; --Fit) {
      std::int32_t Listed = 0;
      std::memcpy(&Listed, Page->PageData() + Offset, 4);
      if (Listed <= 0 || Listed >= FPageManager.GetPageCount())
        RaiseDamagedBlob(PageNo, "listed page outside the file");
      Pages.push_back(Listed);
      Offset += 4;
    }
    if (Pages.size() == Count) return Pages;
    PageNo = PageNextPageNo(*Page);
    Offset = 0;
  }
}

void TQXLLargeBlob::Read(std::int32_t FirstPageNo, TQXLDiskBLOBCache& BlobCache) {
  const TLayout Layout = ReadLayout(FirstPageNo);
  CheckLayout(FirstPageNo, Layout);
  const std::vector<std::int32_t> Pages = ReadPageList(Layout, nullptr);
  if (Pages.front() != FirstPageNo) RaiseDamagedBlob(FirstPageNo, "page list does not start at the first page");
  std::vector<std::uint8_t> Data(static_cast<std::size_t>(Layout.CompressedSize));
  std::int64_t Done = 0;
  std::int32_t Offset = QXLLargeBlobDataOffset;
  for (std::int32_t PageNo : Pages) {
    TQXLPageHold Page(FPageManager, FetchBlobPage(FPageManager, FSessionID, PageNo));
    const std::int64_t Left = Layout.CompressedSize - Done;
    const auto Count = static_cast<std::int32_t>(std::min<std::int64_t>(Left, PageDataSize() - Offset));
    if (Count > 0) std::memcpy(Data.data() + Done, Page->PageData() + Offset, static_cast<std::size_t>(Count));
    Done += Count;
    Offset = 0;
  }
  BlobCache.NumBlocks = Layout.NumBlocks;
  BlobCache.UncompressedSize = Layout.UncompressedSize;
  BlobCache.Modified = false;
  BlobCache.BlobData = std::move(Data);
}

std::vector<std::int32_t> TQXLLargeBlob::OwnedPages(std::int32_t FirstPageNo) {
  const TLayout Layout = ReadLayout(FirstPageNo);
  CheckLayout(FirstPageNo, Layout);
  std::vector<std::int32_t> ListPages;
  std::vector<std::int32_t> Pages = ReadPageList(Layout, &ListPages);
  if (Pages.front() != FirstPageNo) RaiseDamagedBlob(FirstPageNo, "page list does not start at the first page");
  // The list begins on the last data page when room is left there.
  for (std::size_t i = 0; i < ListPages.size(); ++i)
    if (i > 0 || ListPages[i] != Pages.back()) Pages.push_back(ListPages[i]);
  return Pages;
}

void TQXLLargeBlob::Delete(std::int32_t FirstPageNo) {
  // Everything is read and checked before the first page is given back.
  for (std::int32_t PageNo : OwnedPages(FirstPageNo)) FPageManager.RemovePage(FSessionID, PageNo);
}

bool TQXLLargeBlob::IsPlausible(std::int32_t FirstPageNo) {
  try {
    const TLayout Layout = ReadLayout(FirstPageNo);
    const std::int64_t Size = PageDataSize();
    return std::int64_t{Layout.DataPageCount} * Size > Layout.CompressedSize &&
           (std::int64_t{Layout.DataPageCount} - 2) * Size < Layout.CompressedSize;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (...) {
    return false;
  }
}

}  // namespace qxl
