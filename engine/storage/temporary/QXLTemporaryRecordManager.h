#pragma once
// The records of one table of the temporary database: append-only, numbered
// in the order they were added. The first records stay in a memory cache
// sized from a tenth of the free memory; later ones go, a page of records at
// a time, to a temporary file that is deleted when the manager lets go of it.
// With temporary files disabled everything stays in the cache. A record's
// identity is its 48-bit number: low 32 bits in PageNo, the next 16 in
// PageItemNo. Thread rule: no lock of its own; callers hold the table lock.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/streams/QXLFileStream.h"
#include "engine/core/containers/QXLOwnedBlock.h"
#include "engine/core/abstract/QXLRecordManager.h"

namespace qxl {

// The 48-bit record number an identity holds, and back (its low 48 bits).
std::int64_t TemporaryRecordNo(const TQXLPageItemID& RecordID);
TQXLPageItemID TemporaryRecordID(std::int64_t RecordNo);

// Records of RecordSize bytes that a cache of a tenth of FreeMemory holds,
// within what a 32-bit count and one engine memory block allow.
std::int32_t MaxCachedRecordCount(std::int64_t FreeMemory, std::int32_t RecordSize);

class TQXLTemporaryRecordManager : public TQXLBaseRecordManager {
public:
  // Raises 10124 for a record size of 0. FreeMemory sizes the cache.
  TQXLTemporaryRecordManager(std::int32_t RecordBufferSize, std::int32_t RecordsPerPage, std::int32_t AllocRecordsBy,
                             bool DisableTempFiles, std::int64_t FreeMemory);
  ~TQXLTemporaryRecordManager() override;

  void Empty(std::int32_t SessionID) override;
  // False without a buffer, or with temporary files off once the memory
  // share is full; what else stops it (memory, the temporary file) is raised.
  bool AddRecord(std::int32_t SessionID, const std::uint8_t* RecordBuffer, TQXLPageItemID& RecordID) override;
  // Takes back the record the last AddRecord stored, for a change that failed after it.
  void RemoveLastRecord();
  // Records are never changed or deleted: false.
  bool UpdateRecord(std::int32_t SessionID, const std::uint8_t* RecordBuffer,
                    const TQXLPageItemID& RecordID) override;
  bool DeleteRecord(std::int32_t SessionID, TQXLPageItemID& RecordID) override;
  // A null record buffer raises 10127.
  void GetRecordBuffer(std::int32_t SessionID, TQXLNavigationInfo& NavigationInfo) override;
  std::int32_t CompareRecordID(const TQXLPageItemID& RecordID1, const TQXLPageItemID& RecordID2) override;
  std::int64_t GetApproximateRecNo(std::int32_t SessionID, const TQXLPageItemID& RecordID) override;

  std::int32_t MaxCachedRecordCount() const { return FMaxCachedRecordCount; }
  std::int32_t CachedRecordCount() const { return FCachedRecordCount; }
  // The spill file, or null while every record is in the cache.
  const TQXLFileStream* TempPageFile() const { return FTempPageFile.get(); }

private:
  // Makes room in the cache for one more record; false when it is full.
  bool GrowCache();
  void FlushTempPage();
  void ReadRecord(std::int64_t RecordNo, std::uint8_t* Buffer);
  TQXLGetRecordResult Navigate(TQXLNavigationInfo& NavigationInfo, std::int64_t& RecordNo) const;

  std::int32_t FRecordsPerPage;
  std::int32_t FCachedRecordCount = 0;
  TQXLOwnedBlock FCache;
  std::int32_t FAllocatedRecordCount = 0;
  std::vector<std::uint8_t> FTempPage;
  std::int32_t FTempPageRecordCount = 0;
  std::unique_ptr<TQXLFileStream> FTempPageFile;
  std::int32_t FMaxCachedRecordCount;
  std::int32_t FAllocRecordsBy;
  bool FDisableTempFiles;
};

}  // namespace qxl
