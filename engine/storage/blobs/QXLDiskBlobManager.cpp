// The BLOB manager's caches: how a record buffer names them, and the moves
// of values between caches, streams and the direct form.
#include "engine/storage/blobs/QXLDiskBlobManager.h"

#include <algorithm>
#include <cstring>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/QXLException.h"
#include "engine/core/streams/QXLStream.h"
#include "engine/core/abstract/QXLFieldManager.h"
#include "engine/core/abstract/QXLRecordManager.h"
#include "engine/storage/pager/QXLPageManager.h"
#include "engine/storage/blobs/QXLBlobPageFormat.h"

namespace qxl {

TQXLDiskBlobManager::TQXLDiskBlobManager(TQXLPageManager& PageManager, const TQXLBaseFieldManager& FieldManager,
                                         TQXLBaseRecordManager& RecordManager)
    : LPageManager(PageManager), LFieldManager(FieldManager), LRecordManager(RecordManager),
      FBlobPageIndex(&PageManager) {}

TQXLDiskBlobManager::~TQXLDiskBlobManager() = default;

void TQXLDiskBlobManager::CheckBlobCachesReleased() const {
  if (!FBlobCacheList.empty()) throw EQXLException(20150, "Blob cache not released");
}

void TQXLDiskBlobManager::LoadMetadata(TQXLStream& Stream) {
  std::int32_t RootPageNo = -1;
  ReadBufferFromStream(&RootPageNo, sizeof RootPageNo, Stream, QXLDamagedBlobCode);
  FBlobPageIndex.OpenIndex(RootPageNo);
}

void TQXLDiskBlobManager::SaveMetadata(TQXLStream& Stream) const {
  const std::int32_t RootPageNo = FBlobPageIndex.RootPageNo();
  WriteBufferToStream(&RootPageNo, sizeof RootPageNo, Stream, QXLDamagedBlobCode);
}

void TQXLDiskBlobManager::CreateBlobPageIndex() { FBlobPageIndex.CreateIndex(QXLSystemSessionID); }

std::int32_t TQXLDiskBlobManager::HandleOffset(std::int32_t FieldNo) const {
  return LFieldManager.FieldDefs().GetDef(FieldNo)->MemoryOffset + static_cast<std::int32_t>(sizeof(TQXLPageItemID));
}

bool TQXLDiskBlobManager::IsNull(const std::uint8_t* RecordBuffer, std::int32_t FieldNo) const {
  return GetBitInBuffer(FieldNo, RecordBuffer);
}

void TQXLDiskBlobManager::SetNull(std::uint8_t* RecordBuffer, std::int32_t FieldNo, bool Null) const {
  SetBitInBuffer(Null, FieldNo, RecordBuffer);
}

TQXLPageItemID TQXLDiskBlobManager::GetBlobPageItemID(const std::uint8_t* RecordBuffer, std::int32_t FieldNo) const {
  TQXLPageItemID PageItemID;
  std::memcpy(&PageItemID, RecordBuffer + LFieldManager.FieldDefs().GetDef(FieldNo)->MemoryOffset, sizeof PageItemID);
  return PageItemID;
}

void TQXLDiskBlobManager::SetBlobPageItemID(std::uint8_t* RecordBuffer, std::int32_t FieldNo,
                                            const TQXLPageItemID& PageItemID) const {
  std::memcpy(RecordBuffer + LFieldManager.FieldDefs().GetDef(FieldNo)->MemoryOffset, &PageItemID, sizeof PageItemID);
}

TQXLDiskBLOBCache* TQXLDiskBlobManager::FindBlobCache(const std::uint8_t* RecordBuffer, std::int32_t FieldNo) const {
  std::uint32_t Handle = 0;
  std::memcpy(&Handle, RecordBuffer + HandleOffset(FieldNo), sizeof Handle);
  const auto It = FBlobCacheList.find(Handle);
  return It == FBlobCacheList.end() ? nullptr : It->second.get();
}

TQXLDiskBLOBCache& TQXLDiskBlobManager::CreateBlobCache(std::uint8_t* RecordBuffer, std::int32_t FieldNo) {
  do ++FLastHandle;
  while (FLastHandle == 0 || FBlobCacheList.contains(FLastHandle));
  TQXLDiskBLOBCache& Cache = *(FBlobCacheList[FLastHandle] = std::make_unique<TQXLDiskBLOBCache>());
  std::memcpy(RecordBuffer + HandleOffset(FieldNo), &FLastHandle, sizeof FLastHandle);
  return Cache;
}

void TQXLDiskBlobManager::FreeBlobCache(std::uint8_t* RecordBuffer, std::int32_t FieldNo, bool ForceClear) {
  const TQXLDiskBLOBCache* Cache = FindBlobCache(RecordBuffer, FieldNo);
  if (!Cache || (Cache->Modified && !ForceClear)) return;
  std::uint32_t Handle = 0;
  std::memcpy(&Handle, RecordBuffer + HandleOffset(FieldNo), sizeof Handle);
  FBlobCacheList.erase(Handle);
  const std::uint32_t None = 0;
  std::memcpy(RecordBuffer + HandleOffset(FieldNo), &None, sizeof None);
}

void TQXLDiskBlobManager::ClearBlobInRecordBuffer(std::uint8_t* RecordBuffer, std::int32_t FieldNo, bool ForceClear) {
  FreeBlobCache(RecordBuffer, FieldNo, ForceClear);
}

TQXLDiskBLOBCache* TQXLDiskBlobManager::EnsureBlobCache(std::int32_t SessionID, std::uint8_t* RecordBuffer,
                                                        std::int32_t FieldNo) {
  if (!FindBlobCache(RecordBuffer, FieldNo)) ReadBlob(SessionID, RecordBuffer, FieldNo);
  return FindBlobCache(RecordBuffer, FieldNo);
}

void TQXLDiskBlobManager::CopyBlobFromRecordBufferToStream(std::int32_t SessionID, std::uint8_t* RecordBuffer,
                                                           std::int32_t FieldNo, TQXLBLOBDescriptor& BLOBDescriptor,
                                                           TQXLStream& Stream) {
  if (IsNull(RecordBuffer, FieldNo)) {
    BLOBDescriptor.NumBlocks = 0;
    BLOBDescriptor.UncompressedSize = 0;
    return;
  }
  const TQXLDiskBLOBCache* Cache = EnsureBlobCache(SessionID, RecordBuffer, FieldNo);
  if (!Cache) throw EQXLException(20162, "Cannot read BLOB field value");
  const std::uint8_t* Data = Cache->BlobData.data();
  for (std::int64_t Left = Cache->CompressedSize(); Left > 0;) {
    const auto Count = static_cast<std::int32_t>(std::min<std::int64_t>(Left, 0x40000000));
    WriteBufferToStream(Data, Count, Stream, 20162);
    Data += Count;
    Left -= Count;
  }
  BLOBDescriptor.NumBlocks = Cache->NumBlocks;
  BLOBDescriptor.UncompressedSize = Cache->UncompressedSize;
}

void TQXLDiskBlobManager::CopyBlobFromStreamToRecordBuffer(std::uint8_t* RecordBuffer, std::int32_t FieldNo,
                                                           TQXLCompressedBLOBStream& Stream, bool Modified) {
  if (!Modified) return;
  FreeBlobCache(RecordBuffer, FieldNo, true);
  TQXLDiskBLOBCache& Cache = CreateBlobCache(RecordBuffer, FieldNo);
  Cache.NumBlocks = static_cast<std::int32_t>(Stream.BLOBDescriptor().NumBlocks);
  Cache.UncompressedSize = Stream.BLOBDescriptor().UncompressedSize;
  Cache.Modified = true;
  TQXLStream& Compressed = Stream.CompressedStream();
  const std::int64_t Size = Compressed.Size();
  if (Size > 0x7FFFFFFF) RaiseDamagedBlob(-1, "value too large");
  if (Size > 0) {
    Cache.BlobData.resize(static_cast<std::size_t>(Size));
    Compressed.SetPosition(0);
    ReadBufferFromStream(Cache.BlobData.data(), static_cast<std::int32_t>(Size), Compressed, 20162);
  }
  SetNull(RecordBuffer, FieldNo, Stream.GetSize() == 0);
}

void TQXLDiskBlobManager::GetDirectBlobInfoFromRecordBuffer(std::int32_t SessionID, std::uint8_t* RecordBuffer,
                                                            std::int32_t FieldNo,
                                                            TQXLPartialTemporaryBLOBDescriptor& BLOBDescriptor,
                                                            const std::uint8_t*& pBlobData) {
  BLOBDescriptor = {};
  pBlobData = nullptr;
  if (IsNull(RecordBuffer, FieldNo)) return;
  const TQXLDiskBLOBCache* Cache = EnsureBlobCache(SessionID, RecordBuffer, FieldNo);
  if (!Cache) throw EQXLException(20291, "Cannot read BLOB field value");
  BLOBDescriptor.NumBlocks = Cache->NumBlocks;
  BLOBDescriptor.UncompressedSize = Cache->UncompressedSize;
  BLOBDescriptor.CompressedSize = Cache->CompressedSize();
  pBlobData = Cache->BlobData.data();
}

void TQXLDiskBlobManager::SetDirectBlobInfoFromRecordBuffer(std::uint8_t* RecordBuffer, std::int32_t FieldNo,
                                                            const TQXLPartialTemporaryBLOBDescriptor& BLOBDescriptor,
                                                            const std::uint8_t* pBlobData) {
  if (BLOBDescriptor.CompressedSize < 0 || (BLOBDescriptor.CompressedSize > 0 && !pBlobData))
    throw EQXLException(20161, "Pointer is nil");
  FreeBlobCache(RecordBuffer, FieldNo, true);
  TQXLDiskBLOBCache& Cache = CreateBlobCache(RecordBuffer, FieldNo);
  Cache.NumBlocks = BLOBDescriptor.NumBlocks;
  Cache.UncompressedSize = BLOBDescriptor.UncompressedSize;
  Cache.Modified = true;
  if (BLOBDescriptor.CompressedSize > 0) Cache.BlobData.assign(pBlobData, pBlobData + BLOBDescriptor.CompressedSize);
  SetNull(RecordBuffer, FieldNo, BLOBDescriptor.CompressedSize == 0);
}

TQXLBlobCacheSnapshot TQXLDiskBlobManager::SnapshotModifiedCaches(const std::uint8_t* RecordBuffer) const {
  TQXLBlobCacheSnapshot Snapshot;
  if (!RecordBuffer) return Snapshot;
  const TQXLFieldDefs& Defs = LFieldManager.FieldDefs();
  for (std::int32_t f = 0; f < Defs.Count(); ++f) {
    if (!IsBlobBaseFieldType(Defs.GetDef(f)->BaseFieldType)) continue;
    const TQXLDiskBLOBCache* Cache = FindBlobCache(RecordBuffer, f);
    if (!Cache || !Cache->Modified) continue;
    std::uint32_t Handle = 0;
    std::memcpy(&Handle, RecordBuffer + HandleOffset(f), sizeof Handle);
    Snapshot.emplace_back(Handle, *Cache);
  }
  return Snapshot;
}

void TQXLDiskBlobManager::RestoreCaches(TQXLBlobCacheSnapshot& Snapshot) {
  for (auto& [Handle, Cache] : Snapshot)
    FBlobCacheList[Handle] = std::make_unique<TQXLDiskBLOBCache>(std::move(Cache));
  Snapshot.clear();
}

}  // namespace qxl
