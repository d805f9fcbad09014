#include "engine/core/search/QXLSearchPlanner.h"

#include "engine/core/abstract/QXLCursor.h"
#include "engine/core/abstract/QXLTableData.h"
#include "engine/core/search/QXLExtractedConditions.h"

namespace qxl {

std::unique_ptr<TQXLSearchPlan> TQXLSearchPlanner::Plan(TQXLCursor* Cursor, TQXLBaseExpression* SearchExpression,
                                                        const TQXLScanSearchCondition* KeyCondition, bool Restart,
                                                        bool GoForward) {
  auto plan = std::make_unique<TQXLSearchPlan>();
  plan->GoForward = GoForward;
  plan->OrderIndexID = Cursor->FIndexID;
  const std::int32_t session = Cursor->SessionID();
  TQXLScanSearchConditionArray& conditions = plan->Conditions;
  FTable.AddCursorScanConditions(Cursor, conditions, KeyCondition, SearchExpression, GoForward);
  TQXLBaseIndexManager* indexes = FTable.IndexManager();
  conditions.CreateIndexScanConditionsFromExpressions(indexes ? &indexes->IndexDefs() : nullptr, session);
  bool isEmptyRange = false;
  FTable.MergeScanConditions(conditions, isEmptyRange);
  if (isEmptyRange) {
    plan->EstimatedRows = 0;
    return plan;
  }
  std::int32_t start = -1;
  std::int32_t end = -1;
  FTable.ChooseScanConditions(session, conditions, plan->OrderIndexID, Cursor->CurrentRecordID, Restart, GoForward,
                              &Cursor->FilterRecord, start, end);
  conditions.RemoveUnusedConditionsCreatedFromExpressions(start, end);
  plan->ScanConditionNo = start;
  plan->ScanEndConditionNo = end;
  {
    // What the chosen range settles is taken out of the expressions only
    // while the walk runs; what remains is judged the same way.
    TQXLExtractedConditions extracted(conditions, start, end);
    plan->HasResidual = FTable.HasRemainingConditions(conditions, start, end, &Cursor->FilterRecord);
  }
  if (start == -1) {
    plan->Strategy = ssFullScan;
    return plan;
  }
  plan->IndexID = conditions.Item(start)->IndexID;
  if (plan->OrderIndexID == -1)
    plan->Strategy = ssIndexRangeInPhysicalOrder;
  else if (plan->IndexID == plan->OrderIndexID)
    plan->Strategy = ssOrderIndexRange;
  else
    plan->Strategy = ssOtherIndexRange;
  return plan;
}

double TQXLSearchPlanner::EstimateRows(std::int32_t SessionID, TQXLSearchPlan& Plan) {
  if (Plan.EstimatedRows >= 0) return Plan.EstimatedRows;
  TQXLBaseRecordManager* records = FTable.RecordManager();
  const std::int64_t count = records ? records->RecordCount() : 0;
  if (Plan.Strategy == ssFullScan || !FTable.IndexManager()) {
    Plan.EstimatedRows = static_cast<double>(count);
    return Plan.EstimatedRows;
  }
  TQXLIndex* index = FTable.IndexManager()->OpenIndex(Plan.IndexID);
  TQXLScanSearchCondition* start = Plan.StartCondition();
  TQXLScanSearchCondition* end = Plan.EndCondition();
  Plan.EstimatedRows = static_cast<double>(index->GetApproxRangeRecordCount(SessionID, count, start, end ? end : start));
  return Plan.EstimatedRows;
}

}  // namespace qxl
