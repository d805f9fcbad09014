#include "engine/storage/files/QXLInternalDBDirectAccessFile.h"

#include <algorithm>
#include <cstring>

#include "engine/core/QXLException.h"
#include "engine/storage/pager/QXLDiskFormat.h"
#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/files/QXLInternalFileLayout.h"

namespace qxl {

namespace {

constexpr std::int32_t SessionID = QXLSystemSessionID;
constexpr std::uint16_t StoredSizeOffset = QXLDiskPageHeaderSize + offsetof(TQXLInternalFileHeader, StoredSize);

void CheckCount(std::int32_t Count) {
  if (Count < 0) throw EQXLException(20305, "Invalid byte count: %d", {Count});
}

}  // namespace

TQXLInternalDBDirectAccessFile::TQXLInternalDBDirectAccessFile(TQXLDiskPageManager& PageManager,
                                                               std::uint16_t PageTypeID)
    : LPageManager(PageManager), FPageTypeID(PageTypeID) {}

void TQXLInternalDBDirectAccessFile::CheckOpen(const char* Operation) const {
  if (FStartPageNo == -1)
    throw EQXLException(20156, "Cannot perform this operation (%s) on closed internal file", {Operation});
}

void TQXLInternalDBDirectAccessFile::CreateFile(std::int32_t Size) {
  if (FStartPageNo != -1)
    throw EQXLException(20157, "Cannot create Internal file. File already exists. StartPageNo=%d", {FStartPageNo});
  if (Size < 0) throw EQXLException(20304, "Invalid internal file size: %d", {Size});
  const std::int32_t Count = qxl::InternalFilePagesNeeded(Size, LPageManager.PageDataSize());
  TQXLIntegerArray Pages;
  TQXLPage* Last = LPageManager.AddPage(SessionID, FPageTypeID);
  try {
    qxl::StoreFileHeader(*Last, qxl::EmptyFileHeader(Size));
    Last->SetEncryptionEnabled(false);
    Pages.Append(Last->PageNo());
    for (std::int32_t k = 1; k < Count; ++k) {
      TQXLPage* Added = LPageManager.AddPage(SessionID, FPageTypeID);
      Added->SetEncryptionEnabled(false);
      qxl::SetNextPageOf(*Last, Added->PageNo());
      LPageManager.PutPage(Last);
      Last = Added;
      Pages.Append(Last->PageNo());
    }
  } catch (...) {
    LPageManager.PutPage(Last);
    throw;
  }
  LPageManager.PutPage(Last);
  FStartPageNo = Pages[0];
  FFileSize = Size;
  FFilePages.Assign(Pages);
}

std::int32_t TQXLInternalDBDirectAccessFile::ReadChainHeader(std::int32_t PageNo, std::uint16_t From) {
  TQXLDiskPageHeader Header{};
  LPageManager.ReadPageRegion(reinterpret_cast<std::uint8_t*>(&Header) + From, PageNo, From,
                              static_cast<std::uint16_t>(sizeof Header - From));
  if (Header.PageType != FPageTypeID)
    throw EQXLException(20155, "Invalid PageType found: %d but expecting: %d", {Header.PageType, FPageTypeID});
  return Header.NextPageNo;
}

void TQXLInternalDBDirectAccessFile::OpenFile(std::int32_t StartPageNo) {
  if (StartPageNo != -1) FStartPageNo = StartPageNo;
  const std::int32_t Size = GetSize();
  if (Size < 0) qxl::RaiseDamagedFile(FStartPageNo, "size");
  const std::int32_t D = LPageManager.PageDataSize();
  // In 64 bits, so that a damaged size near 2^31 asks for more pages than the
  // chain has and the walk refuses it.
  const std::int32_t Count = qxl::InternalFilePagesNeeded(Size, D);
  FFileSize = Size;
  FFilePages.SetSize(0);
  qxl::TQXLChainWalk Walk(LPageManager, FStartPageNo);
  std::int32_t PageNo = FStartPageNo;
  for (std::int32_t k = 0; k < Count; ++k) {
    // The first byte of the start page is the file lock, which another
    // process may hold: the header is read from its second byte on.
    const std::int32_t Next = ReadChainHeader(PageNo, 1);
    FFilePages.Append(PageNo);
    if (k == 0 && Next < 0 && Count == 1) {
      FFileSize = D - qxl::InternalFileHeaderSize;
      return;
    }
    if (k + 1 < Count && !Walk.Follow(Next)) Walk.RaiseEnded();
    PageNo = Next;
  }
}

void TQXLInternalDBDirectAccessFile::DeleteFile(std::int32_t StartPageNo) {
  if (StartPageNo != -1) FStartPageNo = StartPageNo;
  if (FStartPageNo == -1) return;
  // The pages are never read through the cache, which would take them for
  // encrypted pages in an encrypted database.
  qxl::TQXLChainWalk Walk(LPageManager, FStartPageNo);
  std::int32_t PageNo = FStartPageNo;
  do {
    const std::int32_t Next = ReadChainHeader(PageNo, 1);
    LPageManager.RemovePage(SessionID, PageNo);
    PageNo = Next;
  } while (Walk.Follow(PageNo));
  FStartPageNo = -1;
  FFileSize = 0;
  FFilePages.SetSize(0);
}

std::int32_t TQXLInternalDBDirectAccessFile::GetSize() {
  CheckOpen("GetSize");
  std::int32_t Size = 0;
  LPageManager.ReadPageRegion(&Size, FStartPageNo, StoredSizeOffset, sizeof Size);
  return Size;
}

TQXLInternalDBDirectAccessFile::TPlace TQXLInternalDBDirectAccessFile::Map(std::int32_t Position) const {
  const std::int32_t D = LPageManager.PageDataSize();
  const std::int64_t Byte = static_cast<std::int64_t>(Position) + qxl::InternalFileHeaderSize;
  const std::int64_t Index = Byte / D;
  // A position at the size names no content byte, and the file may end there.
  if (Position < 0 || Position >= FFileSize || Index >= FFilePages.ItemCount())
    throw EQXLException(20159, "Seek position bigger then file size. FileSize=%d. Position=%d",
                        {FFileSize, Position});
  return {static_cast<std::int32_t>(Index), FFilePages[static_cast<std::int32_t>(Index)],
          static_cast<std::uint16_t>(QXLDiskPageHeaderSize + Byte % D)};
}

template <typename F>
void TQXLInternalDBDirectAccessFile::Walk(std::int32_t Count, std::int32_t Position, bool StopAtChainEnd,
                                          F&& Transfer) {
  if (Count == 0) return;
  const TPlace First = Map(Position);
  qxl::TQXLChainWalk Chain(LPageManager, First.PageNo);
  std::int32_t Done = 0, PageNo = First.PageNo;
  std::uint16_t Offset = First.Offset;
  for (;;) {
    const std::int32_t Next = ReadChainHeader(PageNo, 0);
    const auto Part = static_cast<std::uint16_t>(std::min<std::int32_t>(LPageManager.PageSize() - Offset, Count - Done));
    Transfer(Done, PageNo, Offset, Part);
    Done += Part;
    if (Done >= Count) return;
    if (!Chain.Follow(Next)) {
      if (StopAtChainEnd) return;
      Chain.RaiseEnded();
    }
    PageNo = Next;
    Offset = QXLDiskPageHeaderSize;
  }
}

void TQXLInternalDBDirectAccessFile::ReadBuffer(void* Buffer, std::int32_t Count, std::int32_t Position) {
  CheckOpen("DirectReadBuffer");
  CheckCount(Count);
  auto* Into = static_cast<std::uint8_t*>(Buffer);
  Walk(Count, Position, true, [&](std::int32_t Done, std::int32_t PageNo, std::uint16_t Offset, std::uint16_t Part) {
    LPageManager.ReadPageRegion(Into + Done, PageNo, Offset, Part);
  });
}

void TQXLInternalDBDirectAccessFile::WriteBuffer(const void* Buffer, std::int32_t Count, std::int32_t Position) {
  CheckOpen("DirectWriteBuffer");
  CheckCount(Count);
  const std::int32_t Size = GetSize();
  if (static_cast<std::int64_t>(Position) + Count > Size)
    throw EQXLException(20158, "Cannot write after end of file. FileSize=%d. Position=%d, Count=%d",
                        {Size, Position, Count});
  const auto* From = static_cast<const std::uint8_t*>(Buffer);
  Walk(Count, Position, false, [&](std::int32_t Done, std::int32_t PageNo, std::uint16_t Offset, std::uint16_t Part) {
    LPageManager.WritePageRegion(From + Done, PageNo, Offset, Part);
  });
}

bool TQXLInternalDBDirectAccessFile::LockFile() {
  CheckOpen("LockFile");
  return LPageManager.LockPageByte(FStartPageNo, 0);
}

bool TQXLInternalDBDirectAccessFile::UnlockFile() {
  CheckOpen("UnlockFile");
  return LPageManager.UnlockPageByte(FStartPageNo, 0);
}

bool TQXLInternalDBDirectAccessFile::LockByte(std::int32_t ByteNo) {
  CheckOpen("LockByte");
  const TPlace Place = Map(ByteNo);
  return LPageManager.LockPageByte(Place.PageNo, Place.Offset);
}

bool TQXLInternalDBDirectAccessFile::UnlockByte(std::int32_t ByteNo) {
  CheckOpen("UnlockByte");
  const TPlace Place = Map(ByteNo);
  return LPageManager.UnlockPageByte(Place.PageNo, Place.Offset);
}

bool TQXLInternalDBDirectAccessFile::IsByteLocked(std::int32_t ByteNo) {
  CheckOpen("IsByteLocked");
  const TPlace Place = Map(ByteNo);
  return LPageManager.IsPageByteLocked(Place.PageNo, Place.Offset);
}

bool TQXLInternalDBDirectAccessFile::HoldsByte(std::int32_t ByteNo) {
  CheckOpen("HoldsByte");
  const TPlace Place = Map(ByteNo);
  return LPageManager.HoldsPageByte(Place.PageNo, Place.Offset);
}

bool TQXLInternalDBDirectAccessFile::IsRegionLocked(std::int32_t ByteNo, std::int32_t ByteCount) {
  CheckOpen("IsRegionLocked");
  if (ByteCount <= 0) return false;
  const TPlace First = Map(ByteNo), Last = Map(static_cast<std::int32_t>(static_cast<std::int64_t>(ByteNo) + ByteCount - 1));
  if (First.PageIndex == Last.PageIndex) return LPageManager.IsPageRegionLocked(First.PageNo, First.Offset, ByteCount);
  for (std::int32_t Index = First.PageIndex; Index <= Last.PageIndex; ++Index) {
    const std::uint16_t From = Index == First.PageIndex ? First.Offset : QXLDiskPageHeaderSize;
    const std::int32_t To = Index == Last.PageIndex ? Last.Offset : LPageManager.PageSize() - 1;
    if (LPageManager.IsPageRegionLocked(FFilePages[Index], From, To - From + 1)) return true;
  }
  return false;
}

}  // namespace qxl
