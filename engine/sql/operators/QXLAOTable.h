#pragma once
// The leaf of an operator tree: one table of the FROM clause, read live
// through the table component the planner opened for it. Nothing is copied:
// the pushed conditions become the component's SQL filter (and so index
// scans), the order an index of the component, DISTINCT its distinct view,
// and a projection shows only the selected columns under their aliases. All
// columns start hidden; name resolution shows those the statement uses.
//
// Threads: as every operator (the statement's thread).
#include <memory>
#include <string>
#include <vector>

#include "engine/sql/operators/QXLAO.h"

namespace qxl {

class TQXLDatabase;
class TQXLTable;

class TQXLAOTable : public TQXLAOFilterable {
public:
  // Takes the table component and opens it; a failure to open raises 10303.
  TQXLAOTable(const std::string& TableName, const std::string& TableAlias, TQXLDatabase* DB,
              std::unique_ptr<TQXLTable> Table);

  void Execute(bool IsRootAO, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor) override;
  void SetResultFields(std::vector<TQXLSelectListItem>& FieldRefs, bool bDistinct) override;
  // Hands the result order to the caller when no index of the table serves
  // it, so that the sort happens once in the caller's result table.
  bool TransferIndexToParentIfNeeded(std::vector<std::string>& FieldNamesList, std::vector<std::string>& AscDescList,
                                     std::vector<std::string>& CaseSensitivityList);
  TQXLDatabase* Database() const { return LDatabase; }

private:
  void ApplyDistinctToTable();

  TQXLDatabase* LDatabase;  // not owned
};

}  // namespace qxl
