#pragma once
// Plans the search of a cursor's view: gathers the range, filters and DISTINCT
// bound of the cursor and a key condition or search expression into scan
// conditions, intersects the bounds of each index, chooses the walk by the
// table's cost model (TQXLTableData's CandidateCost and FullScanCost) and
// says what the chosen walk leaves to test. A plan is made once and walked by
// a TQXLRecordIterator as often as its user steps.
// Thread rule: used under the table lock of the table it plans for.
#include <cstdint>
#include <memory>

#include "engine/core/search/QXLSearchPlan.h"

namespace qxl {

class TQXLBaseExpression;
class TQXLCursor;
class TQXLTableData;

class TQXLSearchPlanner {
public:
  explicit TQXLSearchPlanner(TQXLTableData& Table) : FTable(Table) {}

  // Restart: the walk starts at an end of the cursor's order, else at the
  // cursor's record (which the cost of a whole-table walk depends on).
  std::unique_ptr<TQXLSearchPlan> Plan(TQXLCursor* Cursor, TQXLBaseExpression* SearchExpression,
                                       const TQXLScanSearchCondition* KeyCondition, bool Restart, bool GoForward);
  // The records the plan's walk reads, by the index's estimate of its range
  // or the table's record count; kept in the plan.
  double EstimateRows(std::int32_t SessionID, TQXLSearchPlan& Plan);

private:
  TQXLTableData& FTable;
};

}  // namespace qxl
