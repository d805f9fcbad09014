#pragma once
// The records a cursor's restricted view shows (range, filters, DISTINCT):
// one bit per record, numbered by record identity for a cursor in physical
// order or by index position for a cursor in index order, so that walking the
// bits walks the records in the cursor's order. Record numbers are ranks of
// set bits. Bit numbers are 64-bit and only blocks holding shown records take
// memory, so a deep index or a table far into its file costs no more than
// the records shown. Thread rule: owned by one cursor; callers hold the table
// lock.
#include <cstdint>

#include "engine/core/containers/QXLSparseBitSet.h"
#include "engine/core/containers/QXLIndexPositionCache.h"
#include "engine/core/containers/QXLPageItemID.h"

namespace qxl {

class TQXLTableData;

class TQXLRecordBitmap {
public:
  // A null table data raises 10425. Empty, inactive and outdated.
  explicit TQXLRecordBitmap(TQXLTableData* aTableData);

  bool Active() const { return FActive; }
  void SetActive(bool Value) { FActive = Value; }
  bool IndexBased() const { return FIndexBased; }
  void SetIndexBased(bool Value) { FIndexBased = Value; }
  std::int32_t TableState() const { return FTableState; }
  void SetTableState(std::int32_t Value) { FTableState = Value; }
  std::int64_t Size() const { return FBitmap.Size(); }
  // A negative size raises 10431.
  void SetSize(std::int64_t Value);
  // Blocks of bits held: what the shown records cost.
  std::size_t BlockCount() const { return FBitmap.BlockCount(); }
  // The table changed since the bitmap was last reset.
  bool Outdated() const;
  TQXLTableData* TableData() const { return FTableData; }

  std::int64_t GetRecordCount() const { return FBitmap.Count(); }
  // The record number of a shown record, -1 when its bit lies beyond the size.
  std::int64_t GetRecNoByRecordID(const TQXLPageItemID& RecordID) const;
  std::int64_t GetRecNoByIndexPos(std::int32_t IndexID, const TQXLKeyPathBase& IndexPos) const;
  TQXLPageItemID GetRecordIDByRecNo(std::int64_t RecNo) const;
  void GetIndexPosByRecNo(std::int32_t IndexID, std::int64_t RecNo, TQXLKeyPathBase& IndexPos) const;
  bool IsRecordVisible(const TQXLPageItemID& RecordID) const;
  bool IsRecordVisible(std::int32_t IndexID, const TQXLKeyPathBase& IndexPos) const;
  // On an index-based bitmap these empty and deactivate it instead.
  void ShowRecord(const TQXLPageItemID& RecordID);
  void HideRecord(const TQXLPageItemID& RecordID);
  void ShowRecord(std::int32_t IndexID, const TQXLKeyPathBase& IndexPos);
  void HideRecord(std::int32_t IndexID, const TQXLKeyPathBase& IndexPos);
  void SetAllBits() { FBitmap.SetAll(); }
  // Inactive and empty; IndexBased and TableState stay.
  void Clear();
  // The nearest shown record after (before) CurRecordID, or the first (last) with Restart.
  bool FindRecord(bool Restart, bool GoForward, const TQXLPageItemID& CurRecordID,
                  TQXLPageItemID& FoundRecordID) const;
  bool FindRecord(bool Restart, bool GoForward, const TQXLKeyPathBase* CurIndexPos,
                  TQXLKeyPathBase& FoundRecordIndexPos, std::int32_t IndexID) const;

private:
  // Negative bit numbers raise 10431.
  static std::int64_t CheckedBitNo(std::int64_t BitNo);
  std::int64_t StartBit(bool Restart, bool GoForward, std::int64_t BitNo) const;
  std::int64_t BitNoOf(const TQXLPageItemID& RecordID) const;
  std::int64_t BitNoOf(std::int32_t IndexID, const TQXLKeyPathBase& IndexPos) const;
  std::int64_t RankOf(std::int64_t BitNo) const;
  std::int64_t BitNoOfRecNo(std::int64_t RecNo) const;
  void SetBitGrowing(std::int64_t BitNo, bool Value);

  TQXLSparseBitSet FBitmap;
  TQXLTableData* FTableData;
  bool FActive = false;
  bool FIndexBased = false;
  std::int32_t FTableState = -1;
};

}  // namespace qxl
