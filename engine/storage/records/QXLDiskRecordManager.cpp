#include "engine/storage/records/QXLDiskRecordManager.h"

#include <cstring>

#include "engine/core/QXLException.h"
#include "engine/core/streams/QXLStream.h"
#include "engine/core/abstract/QXLFieldManager.h"
#include "engine/storage/pager/QXLDiskFormat.h"
#include "engine/storage/pager/QXLPageManager.h"
#include "engine/storage/pager/QXLPageSavepoint.h"
#include "engine/storage/pager/QXLPageHold.h"
#include "engine/storage/pager/QXLPageHeaderFields.h"
#include "engine/storage/records/QXLRecordPageRules.h"
#include "engine/storage/records/QXLSmallRecordPage.h"

namespace qxl {

TQXLDiskRecordManager::TQXLDiskRecordManager(TQXLPageManager& PageManager, const TQXLBaseFieldManager& FieldManager,
                                             TQXLRecordPageRules& Rules)
    : FRecordPageIndex(&PageManager), LPageManager(PageManager), LFieldManager(FieldManager), LRules(Rules) {}

void TQXLDiskRecordManager::Init(std::int32_t RecordBufferSize, std::int32_t DiskRecordBufferSize, std::int32_t) {
  // Integer form of Trunc((PageDataSize - 1) / (D + 1/8)).
  const std::int64_t Usable = (std::int64_t{LPageManager.PageDataSize()} - 1) * 8;
  const std::int64_t Fit = DiskRecordBufferSize > 0 ? Usable / (8 * std::int64_t{DiskRecordBufferSize} + 1) : 0;
  if (Fit < 1)
    throw EQXLException(20174,
                        "Cannot create table. Record is too large to fit in current database page. Please increase "
                        "page size of database file or decrease record size");
  SetRecordBufferSize(RecordBufferSize);
  FDiskRecordBufferSize = DiskRecordBufferSize;
  FMaxRecordsOnPage = static_cast<std::int32_t>(Fit);
  FRecordPageIndex.MaxRecordsOnPage = FMaxRecordsOnPage;
  FTempDiskRecordBuffer.assign(static_cast<std::size_t>(DiskRecordBufferSize), 0);
  FRecordCount = 0;
  FTableState = 0;
}

void TQXLDiskRecordManager::CreateRecordPageIndex() { FRecordPageIndex.CreateIndex(QXLSystemSessionID); }

void TQXLDiskRecordManager::LoadMetadata(TQXLStream& Stream) {
  std::int32_t RootPageNo = -1;
  ReadBufferFromStream(&RootPageNo, sizeof RootPageNo, Stream, 20289);
  FRecordPageIndex.OpenIndex(RootPageNo);
}

void TQXLDiskRecordManager::SaveMetadata(TQXLStream& Stream) const {
  const std::int32_t RootPageNo = FRecordPageIndex.RootPageNo();
  WriteBufferToStream(&RootPageNo, sizeof RootPageNo, Stream, 20289);
}

namespace {
void CheckMostUpdatedFits(std::int32_t BufSize, std::int32_t Offset) {
  if (Offset < 0 || std::int64_t{Offset} + TQXLDiskRecordManager::MostUpdatedSize > BufSize)
    throw EQXLException(20289, "Invalid table MostUpdated data. Offset=%d, BufferSize=%d", {Offset, BufSize});
}
}  // namespace

void TQXLDiskRecordManager::LoadMostUpdated(const std::uint8_t* Buf, std::int32_t BufSize, std::int32_t& Offset) {
  CheckMostUpdatedFits(BufSize, Offset);
  std::uint32_t Count = 0;
  std::int32_t State = 0;
  std::memcpy(&State, Buf + Offset, 4);
  std::memcpy(&Count, Buf + Offset + 4, 4);
  // A state this object did not reach itself was reached by another process
  // or is one a rollback went back to; either may have made room unseen.
  if (State != FTableState) FRecordPageIndex.ForgetRoom();
  FTableState = State;
  FRecordCount = Count;
  Offset += MostUpdatedSize;
}

void TQXLDiskRecordManager::SaveMostUpdated(std::uint8_t* Buf, std::int32_t BufSize, std::int32_t& Offset) const {
  CheckMostUpdatedFits(BufSize, Offset);
  const auto Count = static_cast<std::uint32_t>(FRecordCount);
  std::memcpy(Buf + Offset, &FTableState, 4);
  std::memcpy(Buf + Offset + 4, &Count, 4);
  Offset += MostUpdatedSize;
}

TQXLSmallRecordPage TQXLDiskRecordManager::View(TQXLPage* Page) const {
  return TQXLSmallRecordPage(Page, FDiskRecordBufferSize, FMaxRecordsOnPage);
}

bool TQXLDiskRecordManager::IsRecordPageValid(const TQXLPage& Page) {
  if (LRules.AcceptAnyPage()) return true;
  return Page.HeaderState() <= QXLPageStateWrap && Page.HeaderPageType() == ptTableRecord &&
         PageObjectID(Page) == LRules.TableID();
}

TQXLPage* TQXLDiskRecordManager::FetchAnyPage(std::int32_t SessionID, std::int32_t PageNo) {
  return LPageManager.GetPage(SessionID, PageNo, ptAny, true);
}

TQXLPage* TQXLDiskRecordManager::FetchRecordPage(std::int32_t SessionID, std::int32_t PageNo) {
  TQXLPage* Page = LPageManager.GetPage(SessionID, PageNo, ptTableRecord, true);
  // A cached page is handed out without a type check, and changing another
  // table's page through a stale or damaged reference would corrupt that
  // table; in repair mode every page is taken as it is.
  if (LRules.AcceptAnyPage()) return Page;
  const std::uint16_t Type = Page->HeaderPageType();
  const std::int32_t Owner = PageObjectID(*Page);
  if (Type != ptTableRecord && !LPageManager.IgnoreCRCErrors()) {
    LPageManager.PutPage(Page);
    throw EQXLException(20153, "Invalid page type. Possible data corruption. Expecting type %d, but found %d",
                        {std::int32_t{ptTableRecord}, Type});
  }
  // A released page holds no record either: the step after it would find it
  // invalid and start again from an end, which leads back to it.
  if (Owner != LRules.TableID() || Page->HeaderState() > QXLPageStateWrap) {
    LPageManager.PutPage(Page);
    throw EQXLException(20173, "Invalid record page. PageNo=%d, ObjectID=%d, TableID=%d",
                        {PageNo, Owner, LRules.TableID()});
  }
  return Page;
}

bool TQXLDiskRecordManager::AddRecord(std::int32_t SessionID, const std::uint8_t* RecordBuffer,
                                      TQXLPageItemID& RecordID) {
  InsertRecord(SessionID, RecordBuffer, RecordID);
  ++FRecordCount;
  ++FTableState;
  return true;
}

void TQXLDiskRecordManager::InsertRecord(std::int32_t SessionID, const std::uint8_t* RecordBuffer,
                                         TQXLPageItemID& RecordID) {
  // When the page index refuses the page, the record page is the stored copy
  // again and a new one goes back; the savepoint outlives the page's hold.
  TQXLPageSavepoint Savepoint(LPageManager, SessionID);
  std::int32_t PageNo = -1;
  const bool Offered = FRecordPageIndex.FindPageForNewRecord(SessionID, PageNo);
  TQXLPageItemID NewID;
  {
    TQXLPageHold Page(LPageManager, Offered ? FetchRecordPage(SessionID, PageNo)
                                            : LPageManager.AddPage(SessionID, ptTableRecord));
    if (!Offered) SetPageObjectID(*Page, LRules.TableID());
    LFieldManager.MemRecordBufferToDiskRecordBuffer(RecordBuffer, FTempDiskRecordBuffer.data());
    TQXLSmallRecordPage RecordPage = View(&*Page);
    RecordPage.AddRecord(FTempDiskRecordBuffer.data(), NewID);
  }
  FRecordPageIndex.AddRecord(SessionID, NewID.PageNo, 1);
  Savepoint.Release();
  RecordID = NewID;
}

bool TQXLDiskRecordManager::UpdateRecord(std::int32_t SessionID, const std::uint8_t* RecordBuffer,
                                         const TQXLPageItemID& RecordID) {
  TQXLPageHold Page(LPageManager, FetchRecordPage(SessionID, RecordID.PageNo));
  LFieldManager.MemRecordBufferToDiskRecordBuffer(RecordBuffer, FTempDiskRecordBuffer.data());
  if (!View(&*Page).UpdateRecord(FTempDiskRecordBuffer.data(), RecordID)) return false;
  ++FTableState;
  return true;
}

bool TQXLDiskRecordManager::DeleteRecord(std::int32_t SessionID, TQXLPageItemID& RecordID) {
  TQXLPageHold Page(LPageManager, FetchRecordPage(SessionID, RecordID.PageNo));
  TQXLSmallRecordPage RecordPage = View(&*Page);
  if (!RecordPage.IsSlotUsed(RecordID.PageItemNo)) return false;
  const auto Left = static_cast<std::int32_t>(RecordPage.RecordCount() - 1);
  // The index first: when it refuses, the record stays as it was.
  FRecordPageIndex.DeleteRecord(SessionID, RecordID.PageNo, Left);
  RecordPage.DeleteRecord(RecordID);
  if (Left == 0) LPageManager.RemovePage(SessionID, RecordID.PageNo);
  --FRecordCount;
  ++FTableState;
  return true;
}

void TQXLDiskRecordManager::Empty(std::int32_t SessionID) {
  std::int32_t PageNo = -1;
  for (bool More = FRecordPageIndex.GetFirstRecordPage(SessionID, PageNo); More;
       More = FRecordPageIndex.GetNextRecordPage(SessionID, PageNo, PageNo))
    LPageManager.RemovePage(SessionID, PageNo);
  FRecordPageIndex.EmptyIndex(SessionID);
  // Advanced, never reset: a state met again after an empty and refill would
  // pass stale cached pages and bitmaps as current.
  ++FTableState;
  FRecordCount = 0;
}

void TQXLDiskRecordManager::Delete(std::int32_t SessionID) {
  Empty(SessionID);
  FRecordPageIndex.DropIndex(SessionID);
}

std::int32_t TQXLDiskRecordManager::CompareRecordID(const TQXLPageItemID& RecordID1, const TQXLPageItemID& RecordID2) {
  if (RecordID1.PageNo != RecordID2.PageNo) return RecordID1.PageNo > RecordID2.PageNo ? 1 : -1;
  if (RecordID1.PageItemNo != RecordID2.PageItemNo) return RecordID1.PageItemNo > RecordID2.PageItemNo ? 1 : -1;
  return 0;
}

std::int64_t TQXLDiskRecordManager::GetApproximateRecNo(std::int32_t, const TQXLPageItemID&) {
  return FRecordCount / 2;
}

}  // namespace qxl
