#pragma once
// A short-lived view over the data area of one record page: a slot bitmap of
// M bits, then M fixed-size slots holding the stored form of one record each.
// Only the first M bits of the bitmap count; bits past them, whatever a
// damaged page holds there, are never read as slots.
// Thread rule: none of its own; used under the table's lock around one fetched page.
#include <cstdint>

#include "engine/core/containers/QXLPageItemID.h"

namespace qxl {

class TQXLPage;


class TQXLSmallRecordPage {
public:
  // Raises 20140 when the page's data area cannot hold the bitmap and the slots.
  TQXLSmallRecordPage(TQXLPage* Page, std::int32_t RecordBufferSize, std::int32_t MaxRecordsOnPage);

  std::int64_t RecordCount() const;
  bool IsSlotUsed(std::int32_t Slot) const;

  // Lowest free slot; raises 20141 when the page is full.
  void AddRecord(const std::uint8_t* RecordBuffer, TQXLPageItemID& RecordID);
  // The operations on one slot give false for a free slot or one past the page.
  bool UpdateRecord(const std::uint8_t* RecordBuffer, const TQXLPageItemID& RecordID);
  bool DeleteRecord(const TQXLPageItemID& RecordID);
  bool GetRecordBuffer(const TQXLPageItemID& RecordID, std::uint8_t* RecordBuffer) const;
  // Lowest or highest used slot; 20143 or 20144 on a page without records.
  void GetFirstRecordID(TQXLPageItemID& RecordID) const;
  void GetLastRecordID(TQXLPageItemID& RecordID) const;
  bool GetNextRecordID(TQXLPageItemID& RecordID) const;
  bool GetPriorRecordID(TQXLPageItemID& RecordID) const;
  // The RecNoOnPage-th used slot, counted from 0; 20146 when there are fewer.
  void GetRecordID(std::int32_t RecNoOnPage, TQXLPageItemID& RecordID) const;
  // Used slots below the record's slot.
  void GetRecNoOnPage(const TQXLPageItemID& RecordID, std::int32_t& RecNoOnPage) const;
  bool FindFreeSlot(std::int32_t& Slot) const;

private:
  bool InRange(std::int32_t Slot) const { return Slot >= 0 && Slot < FMaxRecordsOnPage; }
  void SetSlotUsed(std::int32_t Slot, bool Used);
  std::uint8_t* SlotData(std::int32_t Slot) const;
  // Next used slot at or above From (or at or below for Backward); -1 when none.
  std::int32_t ScanUsed(std::int32_t From, bool Backward) const;
  void SetID(TQXLPageItemID& RecordID, std::int32_t Slot) const;

  TQXLPage* LPage;
  std::int32_t FRecordBufferSize;
  std::int32_t FMaxRecordsOnPage;
  std::int32_t FRecordDataOffset;
};

}  // namespace qxl
