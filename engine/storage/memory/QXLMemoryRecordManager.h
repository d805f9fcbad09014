#pragma once
// The records of one table of the in-memory database: one contiguous array
// of memory-form records, a delete flag per position, and the first and last
// occupied positions. A record's identity is its position (item number 0).
// Positions are handed out in ascending order and a freed one is not reused
// while the table has records, so record numbers cost nothing until the
// first delete and are counted 8 positions at a time afterwards.
// Thread rule: no lock of its own; callers hold the table lock.
#include <cstdint>
#include <memory>

#include "engine/core/abstract/QXLRecordManager.h"

namespace qxl {

// Positions to allocate so that position Needed fits: the array at least
// doubles (first step AllocBy), and never holds more positions than a 32-bit
// position and one engine memory block of RecordSize-byte records allow. The
// result is Allocated itself when Needed cannot fit at all.
std::int64_t GrownRecordCapacity(std::int64_t Allocated, std::int32_t AllocBy, std::int32_t RecordSize,
                                 std::int64_t Needed);

class TQXLMemoryRecordManager : public TQXLBaseRecordManager {
public:
  // Raises 10011 for a record size of 0 outside the form editor.
  TQXLMemoryRecordManager(std::int32_t RecordBufferSize, std::int32_t AllocRecordsBy);
  ~TQXLMemoryRecordManager() override;

  void Empty(std::int32_t SessionID) override;
  // False without a buffer or when the array cannot hold another record;
  // a failure to grow it is raised. Either way nothing is changed.
  bool AddRecord(std::int32_t SessionID, const std::uint8_t* RecordBuffer, TQXLPageItemID& RecordID) override;
  // False for a position that holds no record, deleted ones included.
  bool UpdateRecord(std::int32_t SessionID, const std::uint8_t* RecordBuffer,
                    const TQXLPageItemID& RecordID) override;
  // False for a position that holds no record. RecordID is left as it came.
  bool DeleteRecord(std::int32_t SessionID, TQXLPageItemID& RecordID) override;
  // A null record buffer raises 10019.
  void GetRecordBuffer(std::int32_t SessionID, TQXLNavigationInfo& NavigationInfo) override;
  // The record in place, in its memory form.
  const std::uint8_t* ReadStoredRecord(std::int32_t, const TQXLPageItemID& RecordID) override {
    return StoredRecord(RecordID.PageNo);
  }
  bool StoresMemoryForm() const override { return true; }
  std::int32_t CompareRecordID(const TQXLPageItemID& RecordID1, const TQXLPageItemID& RecordID2) override;
  // 1 .. RecordCount, proportional to the position's place between the first
  // and the last record.
  std::int64_t GetApproximateRecNo(std::int32_t SessionID, const TQXLPageItemID& RecordID) override;

  // The position of the record with 0-based number RecNo in position order; -1 when there is none.
  std::int64_t RecNoToRecordPosition(std::int64_t RecNo) const;
  // The number of records at positions 0 .. Position; -1 beyond the array.
  std::int64_t RecordPositionToRecNo(std::int64_t Position) const;

  // The record stored at Position, or null when it holds none; valid until
  // the next add or empty.
  const std::uint8_t* StoredRecord(std::int64_t Position) const;
  std::int32_t AllocatedRecordCount() const { return FAllocatedRecordCount; }
  std::int32_t FirstRecordID() const { return FFirstRecordID; }
  std::int32_t LastRecordID() const { return FLastRecordID; }

private:
  struct TBlockFree {
    void operator()(std::uint8_t* Block) const;
  };
  using TBlock = std::unique_ptr<std::uint8_t, TBlockFree>;

  bool IsDeleted(std::int64_t Position) const;
  void SetDeleted(std::int64_t Position, bool Deleted);
  bool HoldsRecord(std::int64_t Position) const;
  std::uint8_t* RecordAt(std::int64_t Position) const;
  // Makes room for Position; false when the array cannot grow that far.
  bool Reserve(std::int64_t Position);
  TQXLGetRecordResult NavigateFromFirstPosition(TQXLGetRecordMode Mode, std::int64_t& Position) const;
  TQXLGetRecordResult NavigateFromLastPosition(TQXLGetRecordMode Mode, std::int64_t& Position) const;
  // Moves Position while it scans, also when the result is grrEOF or grrBOF.
  TQXLGetRecordResult NavigateFromPosition(TQXLGetRecordMode Mode, std::int64_t& Position) const;

  TBlock FRecordBuffer;
  TBlock FDeleteFlagBuffer;
  std::int32_t FAllocatedRecordCount = 0;
  std::int32_t FAllocRecordsBy;
  std::int32_t FFirstRecordID = 0;
  std::int32_t FLastRecordID = 0;
  bool FNoRecordsDeleted = true;
};

}  // namespace qxl
