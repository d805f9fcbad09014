#pragma once
// The abstract store of one table's records. Every read goes through a
// navigation request; every successful add, update or delete advances
// TableState by one and keeps RecordCount current, which is how bitmaps and
// temporary indexes notice changes. The memory, temporary and disk engines
// implement it. Not locked itself: callers hold the table lock.
#include <cstdint>

#include "engine/core/containers/QXLPageItemID.h"
#include "engine/core/abstract/QXLNavigationInfo.h"

namespace qxl {

class TQXLBaseRecordManager {
public:
  TQXLBaseRecordManager() = default;
  virtual ~TQXLBaseRecordManager() = default;
  TQXLBaseRecordManager(const TQXLBaseRecordManager&) = delete;
  TQXLBaseRecordManager& operator=(const TQXLBaseRecordManager&) = delete;

  std::int64_t RecordCount() const { return FRecordCount; }
  std::int32_t TableState() const { return FTableState; }
  std::int32_t RecordBufferSize() const { return FRecordBufferSize; }
  void SetRecordBufferSize(std::int32_t Value) { FRecordBufferSize = Value; }

  // Removes every record; RecordCount becomes 0.
  virtual void Empty(std::int32_t SessionID) = 0;
  // Stores a new record from a memory record buffer; false on failure.
  virtual bool AddRecord(std::int32_t SessionID, const std::uint8_t* RecordBuffer, TQXLPageItemID& RecordID) = 0;
  virtual bool UpdateRecord(std::int32_t SessionID, const std::uint8_t* RecordBuffer,
                            const TQXLPageItemID& RecordID) = 0;
  virtual bool DeleteRecord(std::int32_t SessionID, TQXLPageItemID& RecordID) = 0;
  // One step in physical order. No records: grrEOF. FirstPosition: grmNext
  // gives the first record, grmPrior grrBOF, grmCurrent grrError; LastPosition
  // mirrors it. Otherwise grmCurrent re-reads RecordID (grrError when gone),
  // grmNext and grmPrior give the nearest existing record after or before it.
  virtual void GetRecordBuffer(std::int32_t SessionID, TQXLNavigationInfo& NavigationInfo) = 0;
  // The bytes record RecordID is stored in, without making its memory form:
  // valid until the manager's next read or change; null when the record is
  // gone or the manager keeps no such bytes. StoresMemoryForm tells whether
  // they are a memory record buffer rather than a disk record.
  virtual const std::uint8_t* ReadStoredRecord(std::int32_t, const TQXLPageItemID&) { return nullptr; }
  virtual bool StoresMemoryForm() const { return false; }
  // Negative, 0 or positive as RecordID1 lies before, at or after RecordID2.
  virtual std::int32_t CompareRecordID(const TQXLPageItemID& RecordID1, const TQXLPageItemID& RecordID2) = 0;
  // Estimated 1-based physical position; -1 for an empty table or an ID outside it.
  virtual std::int64_t GetApproximateRecNo(std::int32_t SessionID, const TQXLPageItemID& RecordID) = 0;

protected:
  std::int64_t FRecordCount = 0;
  std::int32_t FTableState = 0;
  std::int32_t FRecordBufferSize = 0;
};

}  // namespace qxl
