#include "engine/storage/temporary/QXLTemporaryPageManager.h"

#include <algorithm>
#include <limits>

#include "engine/core/QXLException.h"
#include "engine/core/streams/QXLStream.h"

namespace qxl {

std::int32_t MaxMemoryPageCount(std::int64_t FreeMemory, std::int32_t PageSize) {
  const std::int64_t pages = std::max<std::int64_t>(FreeMemory, 0) / 10 / std::max(PageSize, 1);
  return static_cast<std::int32_t>(std::min<std::int64_t>(pages, std::numeric_limits<std::int32_t>::max()));
}

TQXLTemporaryPageManager::TQXLTemporaryPageManager(bool DisableTempFiles, std::int64_t FreeMemory)
    : FDisableTempFiles(DisableTempFiles) {
  FPageSize = FMemoryPageManager.PageSize();
  FPageHeaderSize = FMemoryPageManager.PageHeaderSize();
  FPageDataSize = FMemoryPageManager.PageDataSize();
  FMaxMemoryPageCount = qxl::MaxMemoryPageCount(FreeMemory, FPageSize);
}

TQXLTemporaryPageManager::~TQXLTemporaryPageManager() = default;

bool TQXLTemporaryPageManager::IsPageInUse(std::int32_t PageNo) const {
  return PageNo >= 0 && PageNo < FAllocatedPageMap.Size() && FAllocatedPageMap.GetBit(PageNo);
}

TQXLFileStream& TQXLTemporaryPageManager::PageFile() {
  if (!FTempPageFile)
    FTempPageFile = std::make_unique<TQXLFileStream>(GetTemporaryFileName(), TQXLFileStream::fmCreate, true);
  return *FTempPageFile;
}

void TQXLTemporaryPageManager::Take(std::int32_t PageNo) {
  FAllocatedPageCount = std::max(FAllocatedPageCount, PageNo + 1);
  if (FAllocatedPageMap.Size() < FAllocatedPageCount) FAllocatedPageMap.SetSize(FAllocatedPageCount);
  FAllocatedPageMap.SetBit(PageNo, true);
  ++FPageCount;
}

void TQXLTemporaryPageManager::InternalAddPage(TQXLPage* Page) {
  if (FDisableTempFiles || FAllocatedPageCount < FMaxMemoryPageCount) {
    FMemoryPageManager.InternalAddPage(Page);
    Take(Page->PageNo());
    return;
  }
  TQXLFileStream& file = PageFile();
  const std::int32_t pageNo = FAllocatedPageCount;
  Take(pageNo);
  const std::int64_t needed = std::int64_t{FAllocatedPageCount} * FPageSize;
  // Sparse on the file systems that matter, so room ahead costs no disk.
  if (file.Size() < needed) file.SetSize(needed / 2 * 3);
  Page->SetPageNo(pageNo);
  Page->AllocPageBuffer();
}

void TQXLTemporaryPageManager::InternalRemovePage(std::int32_t PageNo) {
  if (!IsPageInUse(PageNo)) return;
  --FPageCount;
  FAllocatedPageMap.SetBit(PageNo, false);
  if (InMemory(PageNo)) FMemoryPageManager.InternalRemovePage(PageNo);
}

bool TQXLTemporaryPageManager::InternalReadPage(TQXLPage* Page) {
  const std::int32_t pageNo = Page->PageNo();
  if (!IsPageInUse(pageNo)) throw EQXLException(10396, "Page allocation not released");
  if (InMemory(pageNo)) return FMemoryPageManager.InternalReadPage(Page);
  if (!Page->OwnBuffer() || !Page->PageBuffer()) Page->AllocPageBuffer();
  if (!FTempPageFile) throw EQXLException(30482, "Invalid pointer");
  SetStreamPosition(*FTempPageFile, 10396, std::int64_t{pageNo} * FPageSize);
  ReadBufferFromStream(Page->PageBuffer(), FPageSize, *FTempPageFile, 10396);
  return true;
}

void TQXLTemporaryPageManager::InternalWritePage(TQXLPage* Page) {
  const std::int32_t pageNo = Page->PageNo();
  if (!IsPageInUse(pageNo)) throw EQXLException(10397, "Page allocation not released");
  if (InMemory(pageNo)) {
    FMemoryPageManager.InternalWritePage(Page);
    return;
  }
  TQXLFileStream& file = PageFile();
  SetStreamPosition(file, 10397, std::int64_t{pageNo} * FPageSize);
  WriteBufferToStream(Page->PageBuffer(), FPageSize, file, 10397);
}

}  // namespace qxl
