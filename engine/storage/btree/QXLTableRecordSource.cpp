#include "engine/storage/btree/QXLTableRecordSource.h"

#include "engine/core/abstract/QXLTableData.h"

namespace qxl {

std::int32_t TQXLTableRecordSource::RecordBufferSize() const { return LTableData->GetRecordBufferSize(); }

bool TQXLTableRecordSource::ReadRecord(std::int32_t SessionID, const TQXLPageItemID& RecordID,
                                       std::uint8_t* RecordBuffer) {
  TQXLBaseRecordManager* Records = LTableData->RecordManager();
  if (!Records) return false;
  TQXLNavigationInfo Info;
  Info.GetRecordMode = grmCurrent;
  Info.RecordID = RecordID;
  Info.RecordBuffer = RecordBuffer;
  Records->GetRecordBuffer(SessionID, Info);
  return Info.GetRecordResult == grrOK;
}

}  // namespace qxl
