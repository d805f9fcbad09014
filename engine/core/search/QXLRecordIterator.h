#pragma once
// Walks the records of one search plan. The walk keeps its place in the
// index between steps (a key path from the root down), so that a step moves
// one entry instead of planning and finding its place again, and reads each
// record it gives once: into the user's record buffer when nothing is left to
// test, else into its own buffer to test and then on to the user's.
// Walks the plan's strategies cannot keep a place for (an index range in
// another order than the index's, or a walk that fills a record bitmap) are
// searched afresh at each step, as one search of the table.
// Thread rule: one owner; every call under the table lock of its table.
#include <cstdint>
#include <memory>

#include "engine/core/abstract/QXLFieldAccessor.h"
#include "engine/core/abstract/QXLIndex.h"
#include "engine/core/abstract/QXLTableData.h"
#include "engine/core/containers/QXLOwnedBlock.h"
#include "engine/core/search/QXLSearchPlan.h"

namespace qxl {

class TQXLRecordBitmap;

class TQXLRecordIterator {
public:
  TQXLRecordIterator(TQXLTableData& Table, std::unique_ptr<TQXLSearchPlan> Plan, std::int32_t SessionID);
  ~TQXLRecordIterator();
  TQXLRecordIterator(const TQXLRecordIterator&) = delete;
  TQXLRecordIterator& operator=(const TQXLRecordIterator&) = delete;

  const TQXLSearchPlan& Plan() const { return *FPlan; }
  TQXLSearchPlan& Plan() { return *FPlan; }
  // The dataset's filter callback and what it is handed (the cursor lends the
  // buffer, Dataset is passed through); without it records are not filtered by callback.
  void SetFilter(const TQXLFilterRecordEvent* FilterRecord, TQXLCursor* FilterCursor, void* Dataset);
  // The bitmap the search of a step shows its records in, rebuilt whole by the
  // first step when Rebuild (that step then answers false); the cursor's
  // index position cache such a search may keep up to date.
  void SetBitmap(TQXLRecordBitmap* Bitmap, bool Rebuild, TQXLIndexPositionCache* PositionCache);
  // Where each record found is read to (a record buffer of the table's size);
  // null: to the iterator's own buffer, and only when Record is asked for.
  void SetRecordBuffer(std::uint8_t* Buffer) { FTarget = Buffer; }

  // Places the walk before the first record of its direction (Restart) or at
  // record From, the first step going on from there; reads nothing.
  void Seek(bool Restart, const TQXLPageItemID& From);
  // The next record after (Prior: before) the walk's place that meets the
  // plan; false when none, the place then staying where it was.
  bool Next() { return Step(true); }
  bool Prior() { return Step(false); }
  const TQXLPageItemID& RecordID() const { return FRecordID; }
  // The record last found, read once.
  const std::uint8_t* Record();
  // The fields of the record last found, read from the bytes it is stored
  // in when its memory form has not been made (a step without a record
  // buffer and with nothing to test reads no record at all); null before the
  // first record or when the record is gone. Valid until the next step.
  const TQXLFieldAccessor* Fields();
  // Whether the walk keeps its place between steps (else each step searches).
  bool KeepsPlace() const { return FKeepsPlace; }
  // Whether the kept place still stands on the record last given: no change
  // of the table since, and the index entry where it was.
  bool PlaceHolds();

private:
  bool Step(bool GoForward);
  bool StepIndexRange(bool GoForward);
  bool StepFullScan(bool GoForward);
  bool StepBySearch(bool GoForward);
  // Turns the walk round: the bounds swap, and the place is found again.
  void TurnTo(bool GoForward);
  // Reads RecordID into Buffer; false when the record is gone.
  bool ReadRecord(const TQXLPageItemID& RecordID, std::uint8_t* Buffer);
  // The record at RecordID, tested when something is left to test, then
  // given to the target buffer; false when it does not qualify.
  bool Accept(const TQXLPageItemID& RecordID);
  // Gives the record tested in the work buffer to the target buffer.
  bool Deliver(const TQXLPageItemID& RecordID);
  std::uint8_t* Work();

  TQXLTableData& FTable;
  std::unique_ptr<TQXLSearchPlan> FPlan;
  std::int32_t FSessionID;
  TQXLRecordSearch FSearch;  // the plan and filter as the table's walks take them
  bool FKeepsPlace = false;
  bool FWalkForward = true;
  bool FRestart = true;
  TQXLPageItemID FRecordID{};
  std::uint8_t* FTarget = nullptr;
  TQXLOwnedBlock FWork;
  bool FHaveRecord = false;  // the record at FRecordID is in the target or work buffer
  std::uint8_t* FRecordAt = nullptr;
  std::int32_t FTableState = -1;  // of the last step that kept a place
  // Index walk: the place, the range's last entry, and whether the place
  // is itself the next record to give.
  std::unique_ptr<TQXLIndexPosition> FPosition;
  std::unique_ptr<TQXLIndexPosition> FEndPosition;
  bool FAtCandidate = false;
  // Whole-table walk: the order index's place of the last record read.
  TQXLIndexPositionCache FScanCache;
  TQXLPageItemID FScanFrom{};  // the last record the whole-table walk read
  std::unique_ptr<TQXLFieldAccessor> FStoredFields;
  std::unique_ptr<TQXLFieldAccessor> FMemoryFields;
};

}  // namespace qxl
