#include "engine/core/abstract/QXLRecordBitmap.h"

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLRecordManager.h"
#include "engine/core/abstract/QXLTableData.h"

namespace qxl {

TQXLRecordBitmap::TQXLRecordBitmap(TQXLTableData* aTableData) : FTableData(aTableData) {
  if (!aTableData) throw EQXLException(10425, "Nil pointer occured");
}

std::int64_t TQXLRecordBitmap::CheckedBitNo(std::int64_t BitNo) {
  if (BitNo < 0) throw EQXLException(10431, "Record bitmap cannot hold bit number %d", {BitNo});
  return BitNo;
}

std::int64_t TQXLRecordBitmap::StartBit(bool Restart, bool GoForward, std::int64_t BitNo) const {
  if (Restart) return 0;
  // Backwards from beyond the end starts at the last bit.
  if (!GoForward && BitNo > Size()) return Size();
  return CheckedBitNo(BitNo);
}

void TQXLRecordBitmap::SetSize(std::int64_t Value) {
  if (Value < 0) throw EQXLException(10431, "Record bitmap cannot hold %d bits", {Value});
  FBitmap.SetSize(Value);
}

bool TQXLRecordBitmap::Outdated() const {
  TQXLBaseRecordManager* records = FTableData->RecordManager();
  return !records || FTableState != records->TableState();
}

std::int64_t TQXLRecordBitmap::BitNoOf(const TQXLPageItemID& RecordID) const {
  return FTableData->RecordIDToBitNo(RecordID);
}

std::int64_t TQXLRecordBitmap::BitNoOf(std::int32_t IndexID, const TQXLKeyPathBase& IndexPos) const {
  return FTableData->IndexPositionToBitNo(IndexID, IndexPos);
}

std::int64_t TQXLRecordBitmap::RankOf(std::int64_t BitNo) const {
  if (BitNo < 0 || BitNo >= Size()) return -1;
  return FBitmap.SetBitsBelow(BitNo + 1);
}

std::int64_t TQXLRecordBitmap::BitNoOfRecNo(std::int64_t RecNo) const {
  if (RecNo < 1 || RecNo > GetRecordCount())
    throw EQXLException(10432, "Invalid record number %d, record count = %d", {RecNo, GetRecordCount()});
  return FBitmap.Select(RecNo - 1);
}

std::int64_t TQXLRecordBitmap::GetRecNoByRecordID(const TQXLPageItemID& RecordID) const {
  return RankOf(BitNoOf(RecordID));
}

std::int64_t TQXLRecordBitmap::GetRecNoByIndexPos(std::int32_t IndexID, const TQXLKeyPathBase& IndexPos) const {
  return RankOf(BitNoOf(IndexID, IndexPos));
}

TQXLPageItemID TQXLRecordBitmap::GetRecordIDByRecNo(std::int64_t RecNo) const {
  return FTableData->BitNoToRecordID(BitNoOfRecNo(RecNo));
}

void TQXLRecordBitmap::GetIndexPosByRecNo(std::int32_t IndexID, std::int64_t RecNo,
                                          TQXLKeyPathBase& IndexPos) const {
  FTableData->BitNoToIndexPosition(IndexID, IndexPos, BitNoOfRecNo(RecNo));
}

bool TQXLRecordBitmap::IsRecordVisible(const TQXLPageItemID& RecordID) const {
  const std::int64_t bit = BitNoOf(RecordID);
  return bit >= 0 && bit < Size() && FBitmap.Get(bit);
}

bool TQXLRecordBitmap::IsRecordVisible(std::int32_t IndexID, const TQXLKeyPathBase& IndexPos) const {
  const std::int64_t bit = BitNoOf(IndexID, IndexPos);
  return bit >= 0 && bit < Size() && FBitmap.Get(bit);
}

void TQXLRecordBitmap::SetBitGrowing(std::int64_t BitNo, bool Value) {
  const std::int64_t bit = CheckedBitNo(BitNo);
  if (bit >= FBitmap.Size()) FBitmap.SetSize(bit + 1);
  FBitmap.Set(bit, Value);
}

void TQXLRecordBitmap::ShowRecord(const TQXLPageItemID& RecordID) {
  // Positions in an index move when records come and go: the bitmap can only
  // be rebuilt.
  if (FIndexBased) return Clear();
  SetBitGrowing(BitNoOf(RecordID), true);
}

void TQXLRecordBitmap::HideRecord(const TQXLPageItemID& RecordID) {
  if (FIndexBased) return Clear();
  SetBitGrowing(BitNoOf(RecordID), false);
}

void TQXLRecordBitmap::ShowRecord(std::int32_t IndexID, const TQXLKeyPathBase& IndexPos) {
  SetBitGrowing(BitNoOf(IndexID, IndexPos), true);
}

void TQXLRecordBitmap::HideRecord(std::int32_t IndexID, const TQXLKeyPathBase& IndexPos) {
  SetBitGrowing(BitNoOf(IndexID, IndexPos), false);
}

void TQXLRecordBitmap::Clear() {
  FActive = false;
  FBitmap.Clear();
}

bool TQXLRecordBitmap::FindRecord(bool Restart, bool GoForward, const TQXLPageItemID& CurRecordID,
                                  TQXLPageItemID& FoundRecordID) const {
  const std::int64_t current = StartBit(Restart, GoForward, Restart ? 0 : BitNoOf(CurRecordID));
  std::int64_t found = 0;
  if (!FBitmap.Find(Restart, GoForward, current, found)) return false;
  FoundRecordID = FTableData->BitNoToRecordID(found);
  return true;
}

bool TQXLRecordBitmap::FindRecord(bool Restart, bool GoForward, const TQXLKeyPathBase* CurIndexPos,
                                  TQXLKeyPathBase& FoundRecordIndexPos, std::int32_t IndexID) const {
  const std::int64_t current =
      StartBit(Restart || !CurIndexPos, GoForward, Restart || !CurIndexPos ? 0 : BitNoOf(IndexID, *CurIndexPos));
  std::int64_t found = 0;
  if (!FBitmap.Find(Restart || !CurIndexPos, GoForward, current, found)) return false;
  FTableData->BitNoToIndexPosition(IndexID, FoundRecordIndexPos, found);
  return true;
}

}  // namespace qxl
