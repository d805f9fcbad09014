#include "engine/storage/memory/QXLMemoryPageManager.h"

#include <algorithm>
#include <cstring>

#include "engine/core/QXLException.h"
#include "engine/core/streams/QXLStream.h"
#include "engine/storage/pager/QXLPageBuffer.h"

namespace qxl {

namespace {
constexpr std::uint16_t MemoryPageSize = 4096;
}  // namespace

void TQXLMemoryPageManager::TBlockFree::operator()(std::uint8_t* Block) const { QXLFreePageMemory(Block); }

TQXLMemoryPageManager::TQXLMemoryPageManager() { SetGeometry(MemoryPageSize, 0); }

TQXLMemoryPageManager::~TQXLMemoryPageManager() = default;

void TQXLMemoryPageManager::SetGeometry(std::uint16_t PageSize, std::uint16_t PageHeaderSize) {
  FPageSize = PageSize;
  FPageHeaderSize = PageHeaderSize;
  FPageDataSize = static_cast<std::uint16_t>(PageSize - PageHeaderSize);
}

bool TQXLMemoryPageManager::IsPageInUse(std::int32_t PageNo) const {
  return PageNo >= 0 && PageNo < FAllocatedPageMap.Size() && FAllocatedPageMap.GetBit(PageNo);
}

void TQXLMemoryPageManager::GrowBlocks(std::int32_t PageNo) {
  const std::size_t Needed = static_cast<std::size_t>(PageNo) + 1;
  if (FDataPtrs.size() >= Needed) return;
  const std::size_t NewSize = std::max(Needed, FDataPtrs.size() + static_cast<std::size_t>(FAllocateBy));
  FDataPtrs.reserve(NewSize);
  while (FDataPtrs.size() < NewSize) FDataPtrs.emplace_back(QXLAllocPageMemory(FPageSize));
}

void TQXLMemoryPageManager::InternalAddPage(TQXLPage* Page) {
  std::int32_t PageNo;
  if (!FAllocatedPageMap.FindBit(false, PageNo)) {
    PageNo = FLastAllocatedPageNo + 1;
    if (PageNo >= FAllocatedPageCount) {
      FAllocatedPageCount += FAllocateBy;
      FAllocatedPageMap.SetSize(FAllocatedPageCount);
    }
  }
  GrowBlocks(PageNo);
  ++FPageCount;
  FAllocatedPageMap.SetBit(PageNo, true);
  FLastAllocatedPageNo = std::max(FLastAllocatedPageNo, PageNo);
  Page->SetPageNo(PageNo);
  Page->SetPageBuffer(FDataPtrs[static_cast<std::size_t>(PageNo)].get());
  Page->SetOwnBuffer(false);
}

void TQXLMemoryPageManager::InternalRemovePage(std::int32_t PageNo) {
  // A number that is not in use is not counted twice.
  if (!IsPageInUse(PageNo)) return;
  --FPageCount;
  FAllocatedPageMap.SetBit(PageNo, false);
}

bool TQXLMemoryPageManager::InternalReadPage(TQXLPage* Page) {
  if (!IsPageInUse(Page->PageNo())) throw EQXLException(10392, "Page allocation not released");
  if (Page->OwnBuffer()) Page->FreeAndNilPageBuffer();
  Page->SetPageBuffer(FDataPtrs[static_cast<std::size_t>(Page->PageNo())].get());
  Page->SetOwnBuffer(false);
  return true;
}

void TQXLMemoryPageManager::InternalWritePage(TQXLPage* Page) {
  if (!IsPageInUse(Page->PageNo())) throw EQXLException(10393, "Page allocation not released");
  std::uint8_t* Block = FDataPtrs[static_cast<std::size_t>(Page->PageNo())].get();
  if (Page->OwnBuffer() && Page->PageBuffer() != Block) std::memcpy(Block, Page->PageBuffer(), FPageSize);
}

void TQXLMemoryPageManager::SaveToStream(TQXLStream& Stream) {
  WriteBufferToStream(&FAllocatedPageCount, 4, Stream, 10362);
  WriteBufferToStream(&FLastAllocatedPageNo, 4, Stream, 10363);
  WriteBufferToStream(&FAllocateBy, 4, Stream, 10364);
  WriteBufferToStream(&FPageSize, 2, Stream, 10365);
  WriteBufferToStream(&FPageHeaderSize, 2, Stream, 10366);
  WriteBufferToStream(&FPageCount, 4, Stream, 10367);
  FAllocatedPageMap.SaveToStream(Stream);
  for (std::int32_t i = 0; i < FAllocatedPageCount; ++i) {
    const std::uint8_t* Block = static_cast<std::size_t>(i) < FDataPtrs.size() ? FDataPtrs[static_cast<std::size_t>(i)].get() : nullptr;
    if (Block) {
      WriteBufferToStream(Block, FPageSize, Stream, 10368);
    } else {
      const std::vector<std::uint8_t> Zero(FPageSize, 0);
      WriteBufferToStream(Zero.data(), FPageSize, Stream, 10368);
    }
  }
}

void TQXLMemoryPageManager::LoadFromStream(TQXLStream& Stream) {
  std::int32_t AllocatedPageCount, LastAllocatedPageNo, AllocateBy, PageCount;
  std::uint16_t PageSize, PageHeaderSize;
  ReadBufferFromStream(&AllocatedPageCount, 4, Stream, 10369);
  ReadBufferFromStream(&LastAllocatedPageNo, 4, Stream, 10370);
  ReadBufferFromStream(&AllocateBy, 4, Stream, 10371);
  ReadBufferFromStream(&PageSize, 2, Stream, 10372);
  ReadBufferFromStream(&PageHeaderSize, 2, Stream, 10373);
  ReadBufferFromStream(&PageCount, 4, Stream, 10374);
  // A damaged count must not size the blocks; the stream has to hold them.
  const std::int64_t Left = Stream.GetSize() - Stream.Position();
  if (AllocatedPageCount < 0 || AllocateBy < 1 || PageSize != FPageSize || PageHeaderSize != FPageHeaderSize ||
      PageCount < 0 || PageCount > AllocatedPageCount || LastAllocatedPageNo < -1 ||
      LastAllocatedPageNo >= AllocatedPageCount || std::int64_t{AllocatedPageCount} * PageSize > Left)
    throw EQXLException(10375, "Invalid page set in stream");
  TQXLBitsArray Map;
  Map.LoadFromStream(Stream);
  if (Map.Size() != AllocatedPageCount || Map.NonZeroBitCount() != PageCount)
    throw EQXLException(10375, "Invalid page set in stream");
  std::vector<TBlock> Blocks;
  for (std::int32_t i = 0; i < AllocatedPageCount; ++i) {
    Blocks.emplace_back(QXLAllocPageMemory(FPageSize));
    ReadBufferFromStream(Blocks.back().get(), FPageSize, Stream, 10375);
  }
  // Pages cached before the load still point into the earlier blocks.
  for (TBlock& Block : FDataPtrs) FRetiredBlocks.push_back(std::move(Block));
  FDataPtrs = std::move(Blocks);
  FAllocatedPageMap = Map;
  FAllocatedPageCount = AllocatedPageCount;
  FLastAllocatedPageNo = LastAllocatedPageNo;
  FAllocateBy = AllocateBy;
  FPageCount = PageCount;
}

}  // namespace qxl
