#pragma once
// The BLOB values of one table of a database file. A record keeps a 6-byte
// reference to its stored value; values that fit share BLOB pages as entries
// found through the table's BLOB page index, larger ones get pages of their
// own. While a cursor reads or edits a record, each BLOB field it touched
// holds its value in a cache named from the memory form of the record (the
// reference is followed by a 32-bit cache handle that counts only while the
// cache is in this manager's list). Values stay in their compressed form
// throughout.
// Thread rule: no lock of its own; callers hold the table's lock. The cache
// list belongs to the table and is shared by all its cursors.
#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "engine/core/streams/QXLCompressedBLOBStream.h"
#include "engine/core/containers/QXLPageItemID.h"
#include "engine/core/abstract/QXLBLOBTypes.h"
#include "engine/storage/blobs/QXLDiskBLOBCache.h"
#include "engine/storage/btree/QXLBTreeBlobPageIndex.h"

namespace qxl {

class TQXLBaseFieldManager;
class TQXLBaseRecordManager;
class TQXLPageManager;
class TQXLStream;


// Copies of the changed BLOB values a record buffer names, by cache handle.
using TQXLBlobCacheSnapshot = std::vector<std::pair<std::uint32_t, TQXLDiskBLOBCache>>;

class TQXLDiskBlobManager {
public:
  TQXLDiskBlobManager(TQXLPageManager& PageManager, const TQXLBaseFieldManager& FieldManager,
                      TQXLBaseRecordManager& RecordManager);
  // Frees whatever caches are left; call CheckBlobCachesReleased first where
  // a live cache is an error.
  ~TQXLDiskBlobManager();
  TQXLDiskBlobManager(const TQXLDiskBlobManager&) = delete;
  TQXLDiskBlobManager& operator=(const TQXLDiskBlobManager&) = delete;

  void LoadMetadata(TQXLStream& Stream);
  void SaveMetadata(TQXLStream& Stream) const;
  void CreateBlobPageIndex();
  // Raises 20150 while a cache is alive.
  void CheckBlobCachesReleased() const;

  void ReadBlob(std::int32_t SessionID, std::uint8_t* RecordBuffer, std::int32_t FieldNo);
  void WriteBlob(std::int32_t SessionID, std::uint8_t* RecordBuffer, std::int32_t FieldNo);
  void WriteBlobs(std::int32_t SessionID, std::uint8_t* RecordBuffer);
  void DeleteBlob(std::int32_t SessionID, std::uint8_t* RecordBuffer, std::int32_t FieldNo);
  void DeleteBlobs(std::int32_t SessionID, std::uint8_t* RecordBuffer);
  void CopyBlobFromRecordBufferToStream(std::int32_t SessionID, std::uint8_t* RecordBuffer, std::int32_t FieldNo,
                                        TQXLBLOBDescriptor& BLOBDescriptor, TQXLStream& Stream);
  // Stream is the compressed form of the field's BLOB stream; nothing happens
  // unless Modified says the value was written.
  void CopyBlobFromStreamToRecordBuffer(std::uint8_t* RecordBuffer, std::int32_t FieldNo,
                                        TQXLCompressedBLOBStream& Stream, bool Modified);
  void ClearBlobInRecordBuffer(std::uint8_t* RecordBuffer, std::int32_t FieldNo, bool ForceClear);
  // A modified cache is kept unless ForceClear.
  void FreeBlobCache(std::uint8_t* RecordBuffer, std::int32_t FieldNo, bool ForceClear);
  // Hands out the cache's own bytes, valid until the cache is freed.
  void GetDirectBlobInfoFromRecordBuffer(std::int32_t SessionID, std::uint8_t* RecordBuffer, std::int32_t FieldNo,
                                         TQXLPartialTemporaryBLOBDescriptor& BLOBDescriptor,
                                         const std::uint8_t*& pBlobData);
  void SetDirectBlobInfoFromRecordBuffer(std::uint8_t* RecordBuffer, std::int32_t FieldNo,
                                         const TQXLPartialTemporaryBLOBDescriptor& BLOBDescriptor,
                                         const std::uint8_t* pBlobData);
  void Empty(std::int32_t SessionID);
  void Delete(std::int32_t SessionID);

  // Storing a value frees its cache; a change that fails after it puts the
  // buffer's bytes back and, through these, the values still to be stored.
  TQXLBlobCacheSnapshot SnapshotModifiedCaches(const std::uint8_t* RecordBuffer) const;
  void RestoreCaches(TQXLBlobCacheSnapshot& Snapshot);

  TQXLBTreeBlobPageIndex& BlobPageIndex() { return FBlobPageIndex; }
  std::size_t BlobCacheCount() const { return FBlobCacheList.size(); }
  // The field's live cache, or null.
  TQXLDiskBLOBCache* FindBlobCache(const std::uint8_t* RecordBuffer, std::int32_t FieldNo) const;
  TQXLPageItemID GetBlobPageItemID(const std::uint8_t* RecordBuffer, std::int32_t FieldNo) const;

private:
  void SetBlobPageItemID(std::uint8_t* RecordBuffer, std::int32_t FieldNo, const TQXLPageItemID& PageItemID) const;
  TQXLDiskBLOBCache& CreateBlobCache(std::uint8_t* RecordBuffer, std::int32_t FieldNo);
  // The field's cache, read from the pages when it has none; null when it
  // has no stored value.
  TQXLDiskBLOBCache* EnsureBlobCache(std::int32_t SessionID, std::uint8_t* RecordBuffer, std::int32_t FieldNo);
  bool IsNull(const std::uint8_t* RecordBuffer, std::int32_t FieldNo) const;
  void SetNull(std::uint8_t* RecordBuffer, std::int32_t FieldNo, bool Null) const;
  std::int32_t HandleOffset(std::int32_t FieldNo) const;

  void ReadBlobFromPages(std::int32_t SessionID, TQXLDiskBLOBCache& Cache, const TQXLPageItemID& PageItemID);
  void ReadSmallBlob(std::int32_t SessionID, TQXLDiskBLOBCache& Cache, const TQXLPageItemID& PageItemID);
  TQXLPageItemID WriteBlobToPages(std::int32_t SessionID, const TQXLDiskBLOBCache& Cache);
  TQXLPageItemID WriteSmallBlob(std::int32_t SessionID, const TQXLDiskBLOBCache& Cache);
  void DeleteBlobFromPages(std::int32_t SessionID, TQXLPageItemID& PageItemID);
  void DeleteSmallBlob(std::int32_t SessionID, const TQXLPageItemID& PageItemID);

  TQXLPageManager& LPageManager;
  const TQXLBaseFieldManager& LFieldManager;
  TQXLBaseRecordManager& LRecordManager;
  std::map<std::uint32_t, std::unique_ptr<TQXLDiskBLOBCache>> FBlobCacheList;
  std::uint32_t FLastHandle = 0;
  TQXLBTreeBlobPageIndex FBlobPageIndex;
};

}  // namespace qxl
