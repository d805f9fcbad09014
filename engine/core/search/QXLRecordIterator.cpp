#include "engine/core/search/QXLRecordIterator.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/core/QXLExpression.h"
#include "engine/core/abstract/QXLFieldManager.h"
#include "engine/core/abstract/QXLIndexManager.h"
#include "engine/core/abstract/QXLRecordManager.h"
#include "engine/core/search/QXLExtractedConditions.h"

namespace qxl {

TQXLRecordIterator::TQXLRecordIterator(TQXLTableData& Table, std::unique_ptr<TQXLSearchPlan> Plan,
                                       std::int32_t SessionID)
    : FTable(Table), FPlan(std::move(Plan)), FSessionID(SessionID) {
  FSearch.SessionID = SessionID;
  FSearch.Conditions = &FPlan->Conditions;
  FSearch.ScanConditionNo = FPlan->ScanConditionNo;
  FSearch.ScanEndConditionNo = FPlan->ScanEndConditionNo;
  FSearch.CursorIndexID = FPlan->OrderIndexID;
  FWalkForward = FPlan->GoForward;
}

TQXLRecordIterator::~TQXLRecordIterator() = default;

void TQXLRecordIterator::SetFilter(const TQXLFilterRecordEvent* FilterRecord, TQXLCursor* FilterCursor,
                                   void* Dataset) {
  FSearch.FilterRecord = FilterRecord;
  FSearch.FilterCursor = FilterCursor;
  FSearch.Dataset = Dataset;
}

void TQXLRecordIterator::SetBitmap(TQXLRecordBitmap* Bitmap, bool Rebuild, TQXLIndexPositionCache* PositionCache) {
  FSearch.Bitmap = Bitmap;
  FSearch.RebuildBitmap = Rebuild;
  FSearch.PositionCache = PositionCache;
}

void TQXLRecordIterator::Seek(bool Restart, const TQXLPageItemID& From) {
  FRestart = Restart;
  FRecordID = Restart ? TQXLPageItemID{} : From;
  FScanCache.Position.reset();
  FScanFrom = FRecordID;
  FPosition.reset();
  FEndPosition.reset();
  FHaveRecord = false;
  const TQXLScanStrategy s = FPlan->Strategy;
  TQXLBaseIndexManager* indexes = FTable.IndexManager();
  FKeepsPlace = !FSearch.RebuildBitmap &&
                (s == ssFullScan ||
                 (s == ssOrderIndexRange && indexes && indexes->OpenIndex(FPlan->IndexID)->WalksRanges()));
  FTableState = FTable.RecordManager() ? FTable.RecordManager()->TableState() : -1;
}

std::uint8_t* TQXLRecordIterator::Work() {
  if (!FWork) {
    const std::int32_t size = std::max<std::int32_t>(FTable.RecordManager()->RecordBufferSize(), 1);
    FWork.reset(QXLMemoryManager().AllocMem(size));
  }
  return static_cast<std::uint8_t*>(FWork.get());
}

bool TQXLRecordIterator::ReadRecord(const TQXLPageItemID& RecordID, std::uint8_t* Buffer) {
  TQXLNavigationInfo nav;
  nav.GetRecordMode = grmCurrent;
  nav.IndexID = -1;
  nav.RecordID = RecordID;
  nav.RecordBuffer = Buffer;
  FTable.ReadRecordBuffer(FSessionID, nav, nullptr, FTable.RecordManager()->TableState());
  return nav.GetRecordResult == grrOK;
}

const std::uint8_t* TQXLRecordIterator::Record() {
  if (!FHaveRecord) {
    if (FRestart || !ReadRecord(FRecordID, Work())) return nullptr;
    FRecordAt = Work();
    FHaveRecord = true;
  }
  return FRecordAt;
}

const TQXLFieldAccessor* TQXLRecordIterator::Fields() {
  if (FRestart) return nullptr;
  const TQXLFieldDefs& defs = FTable.FieldManager()->FieldDefs();
  if (!FHaveRecord) {
    TQXLBaseRecordManager& records = *FTable.RecordManager();
    if (const std::uint8_t* stored = records.ReadStoredRecord(FSessionID, FRecordID)) {
      if (!FStoredFields) FStoredFields = std::make_unique<TQXLFieldAccessor>(defs, records.StoresMemoryForm());
      FStoredFields->Bind(stored);
      return FStoredFields.get();
    }
  }
  const std::uint8_t* record = Record();
  if (!record) return nullptr;
  if (!FMemoryFields) FMemoryFields = std::make_unique<TQXLFieldAccessor>(defs, true);
  FMemoryFields->Bind(record);
  return FMemoryFields.get();
}

void TQXLRecordIterator::TurnTo(bool GoForward) {
  // The plan's bounds stand in the order of its direction: the start of one
  // direction is the end of the other.
  if (FPlan->ScanConditionNo != -1 && FPlan->ScanEndConditionNo != -1) {
    std::swap(FPlan->ScanConditionNo, FPlan->ScanEndConditionNo);
    FSearch.ScanConditionNo = FPlan->ScanConditionNo;
    FSearch.ScanEndConditionNo = FPlan->ScanEndConditionNo;
  }
  FPlan->GoForward = GoForward;
  FWalkForward = GoForward;
  FPosition.reset();
  FEndPosition.reset();
  FScanFrom = FRecordID;
}

bool TQXLRecordIterator::Step(bool GoForward) {
  FHaveRecord = false;
  if (FPlan->Strategy == ssEmpty) return false;
  if (GoForward != FWalkForward) TurnTo(GoForward);
  if (!FKeepsPlace) return StepBySearch(GoForward);
  TQXLExtractedConditions extracted(FPlan->Conditions, FPlan->ScanConditionNo, FPlan->ScanEndConditionNo);
  std::uint8_t* work = Work();
  for (std::int32_t i = 0; i < FPlan->Conditions.Count(); ++i)
    if (TQXLBaseExpression* e = FPlan->Conditions.Item(i)->Expression) e->AssignCursorBuffer(work, false);
  const bool found = FPlan->Strategy == ssFullScan ? StepFullScan(GoForward) : StepIndexRange(GoForward);
  FTableState = FTable.RecordManager()->TableState();
  return found;
}

bool TQXLRecordIterator::Accept(const TQXLPageItemID& RecordID) {
  if (!FPlan->HasResidual) {
    if (FTarget) {
      if (!ReadRecord(RecordID, FTarget)) return false;
      FRecordAt = FTarget;
      FHaveRecord = true;
    }
    return true;
  }
  std::uint8_t* work = Work();
  if (!ReadRecord(RecordID, work) || !FTable.RecordMatchesConditions(FSearch, work, RecordID)) return false;
  return Deliver(RecordID);
}

bool TQXLRecordIterator::Deliver(const TQXLPageItemID& RecordID) {
  std::uint8_t* work = Work();
  FRecordAt = work;
  FHaveRecord = true;
  if (!FTarget) return true;
  // A record of BLOB fields may carry what the buffer owns; it is read again
  // into the target instead of copied.
  TQXLBaseFieldManager* fields = FTable.FieldManager();
  if (fields && fields->BlobFieldsPresent()) {
    FHaveRecord = ReadRecord(RecordID, FTarget);
    FRecordAt = FTarget;
    return FHaveRecord;
  }
  std::memcpy(FTarget, work, static_cast<std::size_t>(FTable.RecordManager()->RecordBufferSize()));
  FRecordAt = FTarget;
  return true;
}

bool TQXLRecordIterator::StepIndexRange(bool GoForward) {
  TQXLIndex& index = *FTable.IndexManager()->OpenIndex(FPlan->IndexID);
  bool step = true;
  if (!FPosition) {
    const std::uint8_t* current = nullptr;
    if (!FRestart) {
      if (!ReadRecord(FRecordID, Work())) return false;
      current = Work();
    }
    if (!index.SeekRange(FSessionID, FRestart, GoForward, FPlan->StartCondition(), FPlan->EndCondition(), current,
                         FRecordID, FPosition, FEndPosition, FAtCandidate)) {
      FPosition.reset();
      return false;
    }
    step = !FAtCandidate;
  }
  TQXLPageItemID id{};
  while (index.StepRange(FSessionID, GoForward, step, *FPosition, FEndPosition.get(), id)) {
    step = true;
    if (!Accept(id)) continue;
    FRecordID = id;
    FRestart = false;
    return true;
  }
  // Past the range: a later step finds its place again from the last record given.
  FPosition.reset();
  return false;
}

bool TQXLRecordIterator::StepFullScan(bool GoForward) {
  TQXLNavigationInfo nav;
  nav.RecordID = FScanFrom;
  nav.FirstPosition = FRestart && GoForward;
  nav.LastPosition = FRestart && !GoForward;
  nav.GetRecordMode = GoForward ? grmNext : grmPrior;
  nav.IndexID = FPlan->OrderIndexID;
  std::uint8_t* work = Work();
  nav.RecordBuffer = work;
  while (true) {
    FTable.ReadRecordBuffer(FSessionID, nav, &FScanCache, FTable.RecordManager()->TableState());
    if (nav.GetRecordResult != grrOK) return false;
    const TQXLPageItemID id = nav.RecordID;
    // The records passed over fail the plan, so a later step in this
    // direction goes on from the last one read.
    FScanFrom = id;
    if (!FTable.RecordMatchesConditions(FSearch, work, id)) continue;
    if (!Deliver(id)) continue;
    FRecordID = id;
    FRestart = false;
    return true;
  }
}

bool TQXLRecordIterator::StepBySearch(bool GoForward) {
  FSearch.CurrentRecordID = FRecordID;
  FSearch.Restart = FRestart;
  FSearch.GoForward = GoForward;
  FSearch.FoundRecordID = TQXLPageItemID{};
  TQXLExtractedConditions extracted(FPlan->Conditions, FPlan->ScanConditionNo, FPlan->ScanEndConditionNo);
  if (!FTable.FindRecordByScanConditions(FSearch)) return false;
  FRecordID = FSearch.FoundRecordID;
  FRestart = false;
  if (FTarget) {
    if (!ReadRecord(FRecordID, FTarget)) return false;
    FRecordAt = FTarget;
    FHaveRecord = true;
  }
  return true;
}

bool TQXLRecordIterator::PlaceHolds() {
  if (!FKeepsPlace) return false;
  TQXLBaseRecordManager* records = FTable.RecordManager();
  if (!records || records->TableState() != FTableState) return false;
  if (FPlan->Strategy != ssOrderIndexRange || !FPosition) return true;
  TQXLBaseIndexManager* indexes = FTable.IndexManager();
  if (!indexes || !indexes->IndexDefs().GetIndexDefByObjectId(FPlan->IndexID)) return false;
  return indexes->OpenIndex(FPlan->IndexID)->PositionHolds(FSessionID, *FPosition, FRecordID);
}

}  // namespace qxl
