#include "engine/storage/blobs/QXLSmallBlobPage.h"

#include <cstring>

#include "engine/core/QXLException.h"
#include "engine/storage/pager/QXLPage.h"
#include "engine/storage/blobs/QXLDiskBLOBCache.h"

namespace qxl {

std::uint16_t TQXLSmallBlobPage::BlobCount() const {
  std::uint16_t Count = 0;
  std::memcpy(&Count, LPage->PageData(), sizeof Count);
  return Count;
}

void TQXLSmallBlobPage::SetBlobCount(std::uint16_t Value) {
  LPage->MakeWritable();
  std::memcpy(LPage->PageData(), &Value, sizeof Value);
}

TQXLBlobEntryHeader TQXLSmallBlobPage::EntryAt(std::int32_t Offset) const {
  TQXLBlobEntryHeader Header{};
  const std::int32_t Size = LPage->PageDataSize();
  if (Offset + QXLBlobEntryHeaderSize > Size) RaiseDamagedBlob(LPage->PageNo(), "entry past the page");
  std::memcpy(&Header, LPage->PageData() + Offset, sizeof Header);
  if (Header.CompressedSize < 0 || Header.CompressedSize > Size - Offset - QXLBlobEntryHeaderSize)
    RaiseDamagedBlob(LPage->PageNo(), "entry size past the page");
  return Header;
}

std::int32_t TQXLSmallBlobPage::GetBlobEntry(std::int32_t N) const {
  std::int32_t Offset = 2;
  for (std::int32_t i = 0; i < N; ++i)
    Offset += QXLBlobEntryHeaderSize + static_cast<std::int32_t>(EntryAt(Offset).CompressedSize);
  return Offset;
}

std::int32_t TQXLSmallBlobPage::EntriesEnd() const { return GetBlobEntry(BlobCount()); }

std::int32_t TQXLSmallBlobPage::FindEntry(std::uint16_t ItemNo, std::int32_t& EntryNo) const {
  std::int32_t Offset = 2;
  const std::int32_t Count = BlobCount();
  for (EntryNo = 0; EntryNo < Count; ++EntryNo) {
    const TQXLBlobEntryHeader Header = EntryAt(Offset);
    if (Header.ItemNo == ItemNo) return Offset;
    Offset += QXLBlobEntryHeaderSize + static_cast<std::int32_t>(Header.CompressedSize);
  }
  return -1;
}

std::uint16_t TQXLSmallBlobPage::GetNewItemNo() const {
  std::uint32_t n = BlobCount();
  std::int32_t EntryNo = 0;
  // Each step passes one taken number; there are never more than 0xFFFF.
  for (std::int32_t Steps = 0; Steps < 0xFFFF && n != QXLLargeBlobItemNo; ++Steps) {
    if (FindEntry(static_cast<std::uint16_t>(n), EntryNo) < 0) return static_cast<std::uint16_t>(n);
    n = n == 0xFFFE ? 0 : n + 1;
  }
  throw EQXLException(20172, "Invalid blob field ID");
}

void TQXLSmallBlobPage::AddBlob(const TQXLDiskBLOBCache& BlobCache, TQXLPageItemID& PageItemID) {
  const std::int32_t Offset = EntriesEnd();
  const std::int64_t Size = BlobCache.CompressedSize();
  if (Offset + QXLBlobEntryHeaderSize + Size > LPage->PageDataSize())
    RaiseDamagedBlob(LPage->PageNo(), "no room for the entry");
  const TQXLBlobEntryHeader Header{GetNewItemNo(), BlobCache.NumBlocks, Size, BlobCache.UncompressedSize};
  LPage->MakeWritable();
  std::uint8_t* Entry = LPage->PageData() + Offset;
  std::memcpy(Entry, &Header, sizeof Header);
  if (Size > 0) std::memcpy(Entry + QXLBlobEntryHeaderSize, BlobCache.BlobData.data(), static_cast<std::size_t>(Size));
  SetBlobCount(static_cast<std::uint16_t>(BlobCount() + 1));
  PageItemID = {LPage->PageNo(), Header.ItemNo};
}

std::int32_t TQXLSmallBlobPage::EntrySize(const TQXLPageItemID& PageItemID) const {
  std::int32_t EntryNo = 0;
  const std::int32_t Offset = FindEntry(PageItemID.PageItemNo, EntryNo);
  if (Offset < 0) throw EQXLException(20171, "Cannot find blob field");
  return QXLBlobEntryHeaderSize + static_cast<std::int32_t>(EntryAt(Offset).CompressedSize);
}

void TQXLSmallBlobPage::DeleteBlob(const TQXLPageItemID& PageItemID, std::int32_t& BlobSize) {
  std::int32_t EntryNo = 0;
  const std::int32_t Offset = FindEntry(PageItemID.PageItemNo, EntryNo);
  if (Offset < 0) throw EQXLException(20171, "Cannot find blob field");
  BlobSize = QXLBlobEntryHeaderSize + static_cast<std::int32_t>(EntryAt(Offset).CompressedSize);
  LPage->MakeWritable();
  std::uint8_t* Data = LPage->PageData();
  const std::int32_t Next = Offset + BlobSize;
  if (EntryNo < BlobCount() - 1)
    std::memmove(Data + Offset, Data + Next, static_cast<std::size_t>(LPage->PageDataSize() - Next));
  SetBlobCount(static_cast<std::uint16_t>(BlobCount() - 1));
}

void TQXLSmallBlobPage::ReadBlob(TQXLDiskBLOBCache& BlobCache, const TQXLPageItemID& PageItemID) const {
  std::int32_t EntryNo = 0;
  const std::int32_t Offset = FindEntry(PageItemID.PageItemNo, EntryNo);
  if (Offset < 0) return;
  const TQXLBlobEntryHeader Header = EntryAt(Offset);
  const std::uint8_t* Data = LPage->PageData() + Offset + QXLBlobEntryHeaderSize;
  BlobCache.NumBlocks = Header.NumBlocks;
  BlobCache.UncompressedSize = Header.UncompressedSize;
  BlobCache.Modified = false;
  BlobCache.BlobData.assign(Data, Data + Header.CompressedSize);
}

}  // namespace qxl
