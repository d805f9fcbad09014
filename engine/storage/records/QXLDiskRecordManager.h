#pragma once
// The rows of one table of a database file: each in a fixed-size slot of a
// record page (type 10), its identity the page and slot. Finds its pages
// through the table's record page index, walks them in page order for
// navigation, converts record numbers, and keeps the record count and the
// table state, which advances on every change and never goes back (an empty
// table included), so that anything remembering a state sees every change.
// Thread rule: no lock of its own; callers hold the table's lock.
#include <cstdint>
#include <exception>
#include <vector>

#include "engine/core/abstract/QXLRecordManager.h"
#include "engine/storage/btree/QXLBTreeRecordPageIndex.h"

namespace qxl {

class TQXLBaseFieldManager;
class TQXLPage;
class TQXLPageManager;
class TQXLStream;


class TQXLRecordPageRules;
class TQXLSmallRecordPage;

class TQXLDiskRecordManager : public TQXLBaseRecordManager {
public:
  static constexpr std::int32_t MostUpdatedSize = 8;

  TQXLDiskRecordManager(TQXLPageManager& PageManager, const TQXLBaseFieldManager& FieldManager,
                        TQXLRecordPageRules& Rules);

  // Raises 20174 when not even one record fits on a page.
  void Init(std::int32_t RecordBufferSize, std::int32_t DiskRecordBufferSize, std::int32_t FieldCount);
  void CreateRecordPageIndex();
  void LoadMetadata(TQXLStream& Stream);
  void SaveMetadata(TQXLStream& Stream) const;
  // The 8-byte part at Buf + Offset of a buffer of BufSize bytes; Offset moves
  // past it. A part that does not fit raises 20289 and changes nothing.
  void LoadMostUpdated(const std::uint8_t* Buf, std::int32_t BufSize, std::int32_t& Offset);
  void SaveMostUpdated(std::uint8_t* Buf, std::int32_t BufSize, std::int32_t& Offset) const;

  void Empty(std::int32_t SessionID) override;
  // Raises what stopped it, with nothing of the record left behind; true
  // otherwise.
  bool AddRecord(std::int32_t SessionID, const std::uint8_t* RecordBuffer, TQXLPageItemID& RecordID) override;
  bool UpdateRecord(std::int32_t SessionID, const std::uint8_t* RecordBuffer,
                    const TQXLPageItemID& RecordID) override;
  bool DeleteRecord(std::int32_t SessionID, TQXLPageItemID& RecordID) override;
  void GetRecordBuffer(std::int32_t SessionID, TQXLNavigationInfo& NavigationInfo) override;
  // The record's disk form, copied out of its page.
  const std::uint8_t* ReadStoredRecord(std::int32_t SessionID, const TQXLPageItemID& RecordID) override;
  std::int32_t CompareRecordID(const TQXLPageItemID& RecordID1, const TQXLPageItemID& RecordID2) override;
  // Half the record count, whatever the record: no page is read.
  std::int64_t GetApproximateRecNo(std::int32_t SessionID, const TQXLPageItemID& RecordID) override;

  void Delete(std::int32_t SessionID);
  // Record numbers count from 1 in page order.
  void SetRecNo(std::int32_t SessionID, std::int64_t RecNo, TQXLPageItemID& RecordID);
  void GetRecNo(std::int32_t SessionID, const TQXLPageItemID& RecordID, std::int64_t& RecNo);
  void RebuildRecordPageIndex(std::int32_t SessionID);
  // Raises 20292 when the index's counts do not add up to RecordCount.
  void ValidateRecordPageIndex(std::int32_t SessionID);

  TQXLBTreeRecordPageIndex& RecordPageIndex() { return FRecordPageIndex; }
  std::int32_t MaxRecordsOnPage() const { return FMaxRecordsOnPage; }
  std::int32_t DiskRecordBufferSize() const { return FDiskRecordBufferSize; }
  // Whether a page fetched without a type check is a current page of this table.
  bool IsRecordPageValid(const TQXLPage& Page);

private:
  // A record page of this table, type-checked; 20173 for another table's page
  // or a released one.
  TQXLPage* FetchRecordPage(std::int32_t SessionID, std::int32_t PageNo);
  TQXLPage* FetchAnyPage(std::int32_t SessionID, std::int32_t PageNo);
  TQXLSmallRecordPage View(TQXLPage* Page) const;
  // Stores the record and enters it in the index, or leaves no trace of it.
  void InsertRecord(std::int32_t SessionID, const std::uint8_t* RecordBuffer, TQXLPageItemID& RecordID);

  // Navigation steps; each sets the request's result.
  void ReadSlot(const TQXLSmallRecordPage& Page, const TQXLPageItemID& RecordID, TQXLNavigationInfo& Nav,
                std::int32_t NotFoundCode);
  void FromFirstPosition(std::int32_t SessionID, TQXLNavigationInfo& Nav);
  void FromLastPosition(std::int32_t SessionID, TQXLNavigationInfo& Nav);
  void NextFrom(std::int32_t SessionID, TQXLNavigationInfo& Nav);
  void PriorFrom(std::int32_t SessionID, TQXLNavigationInfo& Nav);
  void CurrentAt(std::int32_t SessionID, TQXLNavigationInfo& Nav);
  void AddPageToRebuiltIndex(std::int32_t SessionID, std::int32_t PageNo);

  TQXLBTreeRecordPageIndex FRecordPageIndex;
  TQXLPageManager& LPageManager;
  const TQXLBaseFieldManager& LFieldManager;
  TQXLRecordPageRules& LRules;
  std::int32_t FMaxRecordsOnPage = 0;
  std::int32_t FDiskRecordBufferSize = 0;
  std::vector<std::uint8_t> FTempDiskRecordBuffer;
};

}  // namespace qxl
