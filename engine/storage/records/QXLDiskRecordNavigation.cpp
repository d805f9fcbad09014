// Reads of the disk record manager: navigation in physical order (page order
// of the index, slot order within a page) and record numbers.
#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLFieldManager.h"
#include "engine/storage/pager/QXLPageManager.h"
#include "engine/storage/pager/QXLPageHold.h"
#include "engine/storage/records/QXLDiskRecordManager.h"
#include "engine/storage/records/QXLSmallRecordPage.h"

namespace qxl {

void TQXLDiskRecordManager::GetRecordBuffer(std::int32_t SessionID, TQXLNavigationInfo& Nav) {
  if (FRecordCount == 0)
    Nav.GetRecordResult = grrEOF;
  else if (Nav.FirstPosition)
    FromFirstPosition(SessionID, Nav);
  else if (Nav.LastPosition)
    FromLastPosition(SessionID, Nav);
  else if (Nav.GetRecordMode == grmNext)
    NextFrom(SessionID, Nav);
  else if (Nav.GetRecordMode == grmPrior)
    PriorFrom(SessionID, Nav);
  else
    CurrentAt(SessionID, Nav);
}

void TQXLDiskRecordManager::ReadSlot(const TQXLSmallRecordPage& Page, const TQXLPageItemID& RecordID,
                                     TQXLNavigationInfo& Nav, std::int32_t NotFoundCode) {
  if (!Page.GetRecordBuffer(RecordID, FTempDiskRecordBuffer.data()))
    throw EQXLException(NotFoundCode, "Record not found");
  if (Nav.RecordBuffer) LFieldManager.DiskRecordBufferToMemRecordBuffer(FTempDiskRecordBuffer.data(), Nav.RecordBuffer);
  Nav.RecordID = RecordID;
  Nav.GetRecordResult = grrOK;
  Nav.FirstPosition = false;
  Nav.LastPosition = false;
}

void TQXLDiskRecordManager::FromFirstPosition(std::int32_t SessionID, TQXLNavigationInfo& Nav) {
  if (Nav.GetRecordMode != grmNext) {
    Nav.GetRecordResult = Nav.GetRecordMode == grmPrior ? grrBOF : grrError;
    return;
  }
  Nav.GetRecordResult = grrError;
  std::int32_t PageNo = -1;
  if (!FRecordPageIndex.GetFirstRecordPage(SessionID, PageNo)) return;
  TQXLPageHold Page(LPageManager, FetchAnyPage(SessionID, PageNo));
  if (!IsRecordPageValid(*Page)) return;
  const TQXLSmallRecordPage RecordPage = View(&*Page);
  TQXLPageItemID RecordID;
  RecordPage.GetFirstRecordID(RecordID);
  ReadSlot(RecordPage, RecordID, Nav, 20145);
}

void TQXLDiskRecordManager::FromLastPosition(std::int32_t SessionID, TQXLNavigationInfo& Nav) {
  if (Nav.GetRecordMode != grmPrior) {
    Nav.GetRecordResult = Nav.GetRecordMode == grmNext ? grrEOF : grrError;
    return;
  }
  Nav.GetRecordResult = grrError;
  std::int32_t PageNo = -1;
  if (!FRecordPageIndex.GetLastRecordPage(SessionID, PageNo)) return;
  TQXLPageHold Page(LPageManager, FetchAnyPage(SessionID, PageNo));
  if (!IsRecordPageValid(*Page)) return;
  const TQXLSmallRecordPage RecordPage = View(&*Page);
  TQXLPageItemID RecordID;
  RecordPage.GetLastRecordID(RecordID);
  ReadSlot(RecordPage, RecordID, Nav, 20147);
}

void TQXLDiskRecordManager::NextFrom(std::int32_t SessionID, TQXLNavigationInfo& Nav) {
  Nav.GetRecordResult = grrEOF;
  const std::int32_t PageNo = Nav.RecordID.PageNo;
  TQXLPageHold Page(LPageManager, FetchAnyPage(SessionID, PageNo));
  // A page no longer this table's has no place in the order to move on from.
  if (!IsRecordPageValid(*Page)) return;
  TQXLPageItemID RecordID = Nav.RecordID;
  if (View(&*Page).GetNextRecordID(RecordID)) {
    ReadSlot(View(&*Page), RecordID, Nav, 20145);
    return;
  }
  std::int32_t NextPageNo = -1;
  if (!FRecordPageIndex.GetNextRecordPage(SessionID, PageNo, NextPageNo)) return;
  TQXLPageHold Next(LPageManager, FetchRecordPage(SessionID, NextPageNo));
  const TQXLSmallRecordPage NextPage = View(&*Next);
  NextPage.GetFirstRecordID(RecordID);
  ReadSlot(NextPage, RecordID, Nav, 20146);
}

void TQXLDiskRecordManager::PriorFrom(std::int32_t SessionID, TQXLNavigationInfo& Nav) {
  Nav.GetRecordResult = grrError;
  {
    const std::int32_t PageNo = Nav.RecordID.PageNo;
    TQXLPageHold Page(LPageManager, FetchAnyPage(SessionID, PageNo));
    if (IsRecordPageValid(*Page)) {
      Nav.GetRecordResult = grrBOF;
      TQXLPageItemID RecordID = Nav.RecordID;
      if (View(&*Page).GetPriorRecordID(RecordID)) {
        ReadSlot(View(&*Page), RecordID, Nav, 20147);
        return;
      }
      std::int32_t PriorPageNo = -1;
      if (!FRecordPageIndex.GetPriorRecordPage(SessionID, PageNo, PriorPageNo)) return;
      TQXLPageHold Prior(LPageManager, FetchRecordPage(SessionID, PriorPageNo));
      const TQXLSmallRecordPage PriorPage = View(&*Prior);
      PriorPage.GetLastRecordID(RecordID);
      ReadSlot(PriorPage, RecordID, Nav, 20148);
      return;
    }
  }
  // The record's page is gone: start again from the end of the table.
  FromLastPosition(SessionID, Nav);
}

void TQXLDiskRecordManager::CurrentAt(std::int32_t SessionID, TQXLNavigationInfo& Nav) {
  Nav.GetRecordResult = grrError;
  TQXLPageHold Page(LPageManager, FetchAnyPage(SessionID, Nav.RecordID.PageNo));
  const TQXLSmallRecordPage RecordPage = View(&*Page);
  if (IsRecordPageValid(*Page) && RecordPage.IsSlotUsed(Nav.RecordID.PageItemNo))
    ReadSlot(RecordPage, Nav.RecordID, Nav, 20145);
}

const std::uint8_t* TQXLDiskRecordManager::ReadStoredRecord(std::int32_t SessionID, const TQXLPageItemID& RecordID) {
  if (FRecordCount == 0) return nullptr;
  TQXLNavigationInfo Nav;
  Nav.RecordID = RecordID;
  // Without a record buffer the read stops at the disk form.
  Nav.RecordBuffer = nullptr;
  CurrentAt(SessionID, Nav);
  return Nav.GetRecordResult == grrOK ? FTempDiskRecordBuffer.data() : nullptr;
}

void TQXLDiskRecordManager::SetRecNo(std::int32_t SessionID, std::int64_t RecNo, TQXLPageItemID& RecordID) {
  std::int32_t PageNo = -1;
  std::int32_t RecNoOnPage = 0;
  FRecordPageIndex.GetRecordByRecNo(SessionID, RecNo - 1, PageNo, RecNoOnPage);
  TQXLPageHold Page(LPageManager, FetchRecordPage(SessionID, PageNo));
  View(&*Page).GetRecordID(RecNoOnPage, RecordID);
}

void TQXLDiskRecordManager::GetRecNo(std::int32_t SessionID, const TQXLPageItemID& RecordID, std::int64_t& RecNo) {
  std::int32_t RecNoOnPage = 0;
  {
    TQXLPageHold Page(LPageManager, FetchRecordPage(SessionID, RecordID.PageNo));
    View(&*Page).GetRecNoOnPage(RecordID, RecNoOnPage);
  }
  FRecordPageIndex.GetRecNoByRecord(SessionID, RecordID.PageNo, RecNoOnPage, RecNo);
  ++RecNo;
}

}  // namespace qxl
