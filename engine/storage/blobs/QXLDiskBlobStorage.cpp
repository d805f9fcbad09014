// The BLOB manager's pages: storing, reading and removing values as entries
// of shared pages or as large BLOBs, per field and for a whole table.
#include <new>
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLFieldManager.h"
#include "engine/core/abstract/QXLRecordManager.h"
#include "engine/storage/pager/QXLDiskFormat.h"
#include "engine/storage/pager/QXLPageManager.h"
#include "engine/storage/blobs/QXLDiskBlobManager.h"
#include "engine/storage/blobs/QXLLargeBlob.h"
#include "engine/storage/blobs/QXLSmallBlobPage.h"
#include "engine/storage/pager/QXLPageHold.h"

namespace qxl {

namespace {
bool HasStoredValue(const TQXLPageItemID& PageItemID) { return PageItemID.PageNo != 0 && PageItemID.PageNo != -1; }
constexpr TQXLPageItemID NoStoredValue{-1, QXLLargeBlobItemNo};
}  // namespace

void TQXLDiskBlobManager::ReadBlob(std::int32_t SessionID, std::uint8_t* RecordBuffer, std::int32_t FieldNo) {
  const TQXLPageItemID PageItemID = GetBlobPageItemID(RecordBuffer, FieldNo);
  if (FindBlobCache(RecordBuffer, FieldNo) || !HasStoredValue(PageItemID)) return;
  TQXLDiskBLOBCache& Cache = CreateBlobCache(RecordBuffer, FieldNo);
  try {
    ReadBlobFromPages(SessionID, Cache, PageItemID);
  } catch (...) {
    FreeBlobCache(RecordBuffer, FieldNo, true);
    throw;
  }
}

void TQXLDiskBlobManager::ReadSmallBlob(std::int32_t SessionID, TQXLDiskBLOBCache& Cache,
                                        const TQXLPageItemID& PageItemID) {
  TQXLPageHold Page(LPageManager, FetchBlobPage(LPageManager, SessionID, PageItemID.PageNo));
  TQXLSmallBlobPage(&*Page).ReadBlob(Cache, PageItemID);
}

void TQXLDiskBlobManager::ReadBlobFromPages(std::int32_t SessionID, TQXLDiskBLOBCache& Cache,
                                            const TQXLPageItemID& PageItemID) {
  TQXLLargeBlob Large(LPageManager, SessionID);
  if (PageItemID.PageItemNo == QXLLargeBlobItemNo) return Large.Read(PageItemID.PageNo, Cache);
  if (PageItemID.PageItemNo != QXLAmbiguousBlobItemNo) return ReadSmallBlob(SessionID, Cache, PageItemID);
  // Item 255 names an entry or a large BLOB: the likelier reading first.
  const bool LargeFirst = Large.IsPlausible(PageItemID.PageNo);
  try {
    LargeFirst ? Large.Read(PageItemID.PageNo, Cache) : ReadSmallBlob(SessionID, Cache, PageItemID);
  } catch (const std::bad_alloc&) {
    throw;  // only a wrong guess of the form tries the other one
  } catch (...) {
    Cache.Clear();
    LargeFirst ? ReadSmallBlob(SessionID, Cache, PageItemID) : Large.Read(PageItemID.PageNo, Cache);
  }
}

TQXLPageItemID TQXLDiskBlobManager::WriteBlobToPages(std::int32_t SessionID, const TQXLDiskBLOBCache& Cache) {
  if (IsSmallBlobSize(Cache.CompressedSize(), LPageManager.PageDataSize())) return WriteSmallBlob(SessionID, Cache);
  return {TQXLLargeBlob(LPageManager, SessionID).Write(Cache), QXLLargeBlobItemNo};
}

TQXLPageItemID TQXLDiskBlobManager::WriteSmallBlob(std::int32_t SessionID, const TQXLDiskBLOBCache& Cache) {
  const auto Size = static_cast<std::int32_t>(Cache.CompressedSize() + QXLBlobEntryHeaderSize);
  std::int32_t PageNo = -1;
  const bool Offered = FBlobPageIndex.FindPageForNewBlob(SessionID, Size, PageNo);
  TQXLPageHold Page(LPageManager, Offered ? FetchBlobPage(LPageManager, SessionID, PageNo)
                                          : LPageManager.AddPage(SessionID, ptTableBlob));
  PageNo = Page->PageNo();
  TQXLSmallBlobPage BlobPage(&*Page);
  if (!Offered) BlobPage.SetBlobCount(0);
  const std::int32_t End = BlobPage.EntriesEnd();
  const std::int32_t DataSize = LPageManager.PageDataSize();
  if (End + Size > DataSize)
    throw EQXLException(20290,
                        "Cannot add blob. Page is full: BlobCount=%d, BlobOffset=%d, BlobSize=%d, PageDataSize=%d, "
                        "SizeInBlobPageIndex=%d",
                        {BlobPage.BlobCount(), End, Size, DataSize,
                         FBlobPageIndex.GetBlobPageAllocatedSpace(SessionID, PageNo)});
  // Every check comes before the first change: a free item number, then the
  // index, then the page, which can no longer fail.
  BlobPage.GetNewItemNo();
  try {
    FBlobPageIndex.AddBlob(SessionID, Size, PageNo);
  } catch (...) {
    if (!Offered) LPageManager.RemovePage(SessionID, PageNo);
    throw;
  }
  TQXLPageItemID PageItemID;
  BlobPage.AddBlob(Cache, PageItemID);
  return PageItemID;
}

void TQXLDiskBlobManager::WriteBlob(std::int32_t SessionID, std::uint8_t* RecordBuffer, std::int32_t FieldNo) {
  TQXLDiskBLOBCache* Cache = FindBlobCache(RecordBuffer, FieldNo);
  if (!Cache || !Cache->Modified) return;
  TQXLPageItemID Old = GetBlobPageItemID(RecordBuffer, FieldNo);
  // The new value is stored before the old one goes, so that a failure
  // leaves the record's stored value whole.
  TQXLPageItemID New = HasStoredValue(Old) ? NoStoredValue : Old;
  if (Cache->UncompressedSize > 0) New = WriteBlobToPages(SessionID, *Cache);
  if (HasStoredValue(Old)) {
    try {
      DeleteBlobFromPages(SessionID, Old);
    } catch (...) {
      if (HasStoredValue(New)) DeleteBlobFromPages(SessionID, New);
      throw;
    }
  }
  SetBlobPageItemID(RecordBuffer, FieldNo, New);
  Cache->Modified = false;
  FreeBlobCache(RecordBuffer, FieldNo, false);
}

void TQXLDiskBlobManager::DeleteSmallBlob(std::int32_t SessionID, const TQXLPageItemID& PageItemID) {
  TQXLPageHold Page(LPageManager, FetchBlobPage(LPageManager, SessionID, PageItemID.PageNo));
  TQXLSmallBlobPage BlobPage(&*Page);
  const std::int32_t Size = BlobPage.EntrySize(PageItemID);
  FBlobPageIndex.DeleteBlob(SessionID, Size, PageItemID.PageNo);
  std::int32_t Deleted = 0;
  BlobPage.DeleteBlob(PageItemID, Deleted);
  if (BlobPage.BlobCount() == 0) LPageManager.RemovePage(SessionID, PageItemID.PageNo);
}

void TQXLDiskBlobManager::DeleteBlobFromPages(std::int32_t SessionID, TQXLPageItemID& PageItemID) {
  TQXLLargeBlob Large(LPageManager, SessionID);
  if (PageItemID.PageItemNo == QXLLargeBlobItemNo) {
    Large.Delete(PageItemID.PageNo);
  } else if (PageItemID.PageItemNo != QXLAmbiguousBlobItemNo) {
    DeleteSmallBlob(SessionID, PageItemID);
  } else {
    const bool LargeFirst = Large.IsPlausible(PageItemID.PageNo);
    try {
      LargeFirst ? Large.Delete(PageItemID.PageNo) : DeleteSmallBlob(SessionID, PageItemID);
    } catch (const std::bad_alloc&) {
      throw;
    } catch (...) {
      LargeFirst ? DeleteSmallBlob(SessionID, PageItemID) : Large.Delete(PageItemID.PageNo);
    }
  }
  PageItemID = NoStoredValue;
}

void TQXLDiskBlobManager::DeleteBlob(std::int32_t SessionID, std::uint8_t* RecordBuffer, std::int32_t FieldNo) {
  if (IsNull(RecordBuffer, FieldNo)) return;
  TQXLPageItemID PageItemID = GetBlobPageItemID(RecordBuffer, FieldNo);
  if (HasStoredValue(PageItemID)) DeleteBlobFromPages(SessionID, PageItemID);
  if (TQXLDiskBLOBCache* Cache = FindBlobCache(RecordBuffer, FieldNo)) Cache->Modified = false;
}

void TQXLDiskBlobManager::WriteBlobs(std::int32_t SessionID, std::uint8_t* RecordBuffer) {
  const TQXLFieldDefs& Defs = LFieldManager.FieldDefs();
  for (std::int32_t f = 0; f < Defs.Count(); ++f)
    if (IsBlobBaseFieldType(Defs.GetDef(f)->BaseFieldType)) WriteBlob(SessionID, RecordBuffer, f);
}

void TQXLDiskBlobManager::DeleteBlobs(std::int32_t SessionID, std::uint8_t* RecordBuffer) {
  const TQXLFieldDefs& Defs = LFieldManager.FieldDefs();
  for (std::int32_t f = 0; f < Defs.Count(); ++f)
    if (IsBlobBaseFieldType(Defs.GetDef(f)->BaseFieldType)) DeleteBlob(SessionID, RecordBuffer, f);
}

void TQXLDiskBlobManager::Empty(std::int32_t SessionID) {
  if (!LFieldManager.BlobFieldsPresent()) return;
  std::vector<std::uint8_t> Buffer(static_cast<std::size_t>(LRecordManager.RecordBufferSize()), 0);
  TQXLNavigationInfo Nav;
  Nav.GetRecordMode = grmNext;
  Nav.IndexID = -1;
  Nav.FirstPosition = true;
  Nav.RecordBuffer = Buffer.data();
  for (LRecordManager.GetRecordBuffer(SessionID, Nav); Nav.GetRecordResult == grrOK;
       LRecordManager.GetRecordBuffer(SessionID, Nav))
    DeleteBlobs(SessionID, Buffer.data());
  FBlobPageIndex.EmptyIndex(SessionID);
}

void TQXLDiskBlobManager::Delete(std::int32_t SessionID) {
  if (!LFieldManager.BlobFieldsPresent()) return;
  Empty(SessionID);
  FBlobPageIndex.DropIndex(SessionID);
}

}  // namespace qxl
