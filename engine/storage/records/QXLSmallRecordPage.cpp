#include "engine/storage/records/QXLSmallRecordPage.h"

#include <algorithm>
#include <cstring>

#include "engine/core/QXLException.h"
#include "engine/storage/pager/QXLPage.h"

namespace qxl {

TQXLSmallRecordPage::TQXLSmallRecordPage(TQXLPage* Page, std::int32_t RecordBufferSize,
                                         std::int32_t MaxRecordsOnPage)
    : LPage(Page),
      FRecordBufferSize(RecordBufferSize),
      FMaxRecordsOnPage(MaxRecordsOnPage),
      FRecordDataOffset((MaxRecordsOnPage + 7) / 8) {
  const std::int64_t Needed = FRecordDataOffset + std::int64_t{MaxRecordsOnPage} * RecordBufferSize;
  if (RecordBufferSize <= 0 || MaxRecordsOnPage <= 0 || Needed > Page->PageDataSize())
    throw EQXLException(20140, "Invalid number of records on page");
}

bool TQXLSmallRecordPage::IsSlotUsed(std::int32_t Slot) const {
  return InRange(Slot) && (LPage->PageData()[Slot / 8] >> (Slot % 8) & 1) != 0;
}

void TQXLSmallRecordPage::SetSlotUsed(std::int32_t Slot, bool Used) {
  LPage->MakeWritable();
  std::uint8_t& Byte = LPage->PageData()[Slot / 8];
  const auto Bit = static_cast<std::uint8_t>(1u << (Slot % 8));
  Byte = static_cast<std::uint8_t>(Used ? Byte | Bit : Byte & ~Bit);
}

std::uint8_t* TQXLSmallRecordPage::SlotData(std::int32_t Slot) const {
  return LPage->PageData() + FRecordDataOffset + static_cast<std::ptrdiff_t>(Slot) * FRecordBufferSize;
}

std::int32_t TQXLSmallRecordPage::ScanUsed(std::int32_t From, bool Backward) const {
  for (std::int32_t s = From; InRange(s); s += Backward ? -1 : 1)
    if (IsSlotUsed(s)) return s;
  return -1;
}

void TQXLSmallRecordPage::SetID(TQXLPageItemID& RecordID, std::int32_t Slot) const {
  RecordID.PageNo = LPage->PageNo();
  RecordID.PageItemNo = static_cast<std::uint16_t>(Slot);
}

std::int64_t TQXLSmallRecordPage::RecordCount() const {
  std::int64_t Count = 0;
  for (std::int32_t s = 0; s < FMaxRecordsOnPage; ++s) Count += IsSlotUsed(s) ? 1 : 0;
  return Count;
}

bool TQXLSmallRecordPage::FindFreeSlot(std::int32_t& Slot) const {
  for (std::int32_t s = 0; s < FMaxRecordsOnPage; ++s)
    if (!IsSlotUsed(s)) {
      Slot = s;
      return true;
    }
  return false;
}

void TQXLSmallRecordPage::AddRecord(const std::uint8_t* RecordBuffer, TQXLPageItemID& RecordID) {
  std::int32_t Slot = 0;
  if (!FindFreeSlot(Slot)) throw EQXLException(20141, "Cannot add record to page. Page is full");
  LPage->MakeWritable();
  std::memcpy(SlotData(Slot), RecordBuffer, static_cast<std::size_t>(FRecordBufferSize));
  SetSlotUsed(Slot, true);
  SetID(RecordID, Slot);
}

bool TQXLSmallRecordPage::UpdateRecord(const std::uint8_t* RecordBuffer, const TQXLPageItemID& RecordID) {
  if (!IsSlotUsed(RecordID.PageItemNo)) return false;
  LPage->MakeWritable();
  std::memcpy(SlotData(RecordID.PageItemNo), RecordBuffer, static_cast<std::size_t>(FRecordBufferSize));
  return true;
}

bool TQXLSmallRecordPage::DeleteRecord(const TQXLPageItemID& RecordID) {
  if (!IsSlotUsed(RecordID.PageItemNo)) return false;
  SetSlotUsed(RecordID.PageItemNo, false);
  return true;
}

bool TQXLSmallRecordPage::GetRecordBuffer(const TQXLPageItemID& RecordID, std::uint8_t* RecordBuffer) const {
  if (!IsSlotUsed(RecordID.PageItemNo)) return false;
  std::memcpy(RecordBuffer, SlotData(RecordID.PageItemNo), static_cast<std::size_t>(FRecordBufferSize));
  return true;
}

void TQXLSmallRecordPage::GetFirstRecordID(TQXLPageItemID& RecordID) const {
  const std::int32_t Slot = ScanUsed(0, false);
  if (Slot < 0)
    throw EQXLException(20143, "Record not found. PageNo=%d, PageRecordCount=%d",
                        {LPage->PageNo(), RecordCount()});
  SetID(RecordID, Slot);
}

void TQXLSmallRecordPage::GetLastRecordID(TQXLPageItemID& RecordID) const {
  const std::int32_t Slot = ScanUsed(FMaxRecordsOnPage - 1, true);
  if (Slot < 0) throw EQXLException(20144, "Record not found");
  SetID(RecordID, Slot);
}

bool TQXLSmallRecordPage::GetNextRecordID(TQXLPageItemID& RecordID) const {
  const std::int32_t Slot = ScanUsed(RecordID.PageItemNo + 1, false);
  if (Slot < 0) return false;
  SetID(RecordID, Slot);
  return true;
}

bool TQXLSmallRecordPage::GetPriorRecordID(TQXLPageItemID& RecordID) const {
  // A slot number past the page (a damaged reference) starts from the last slot.
  const std::int32_t From = std::min<std::int32_t>(RecordID.PageItemNo, FMaxRecordsOnPage) - 1;
  const std::int32_t Slot = ScanUsed(From, true);
  if (Slot < 0) return false;
  SetID(RecordID, Slot);
  return true;
}

void TQXLSmallRecordPage::GetRecordID(std::int32_t RecNoOnPage, TQXLPageItemID& RecordID) const {
  std::int32_t Seen = 0;
  for (std::int32_t s = 0; s < FMaxRecordsOnPage; ++s) {
    if (!IsSlotUsed(s)) continue;
    if (Seen++ == RecNoOnPage) {
      SetID(RecordID, s);
      return;
    }
  }
  throw EQXLException(20146, "Record not found");
}

void TQXLSmallRecordPage::GetRecNoOnPage(const TQXLPageItemID& RecordID, std::int32_t& RecNoOnPage) const {
  RecNoOnPage = 0;
  const std::int32_t Below = std::min<std::int32_t>(RecordID.PageItemNo, FMaxRecordsOnPage);
  for (std::int32_t s = 0; s < Below; ++s) RecNoOnPage += IsSlotUsed(s) ? 1 : 0;
}

}  // namespace qxl
