#pragma once
// The grouping operator: aggregates over the whole input, or over groups of
// equal GROUP BY values read from the child sorted on those columns. The
// group values of a group's first row are kept; the first row that differs
// ends the group, and the child's result steps back onto the group's last
// row, where the grouped row's values are read. The sorted input is read
// once, with two more moves per group, and no group is buffered. NULL
// group values form one group, the first. HAVING is its filter; with
// DISTINCT the grouped rows are made distinct. COUNT(*) alone without GROUP
// BY and without HAVING is answered from the record count, reading no row.
//
// Threads: as every operator (the statement's thread).
#include <memory>
#include <string>
#include <vector>

#include "engine/core/values/QXLConversion.h"
#include "engine/sql/operators/QXLAO.h"

namespace qxl {

class TQXLAOGroupBy : public TQXLAOFilterable {
public:
  // FieldList: the GROUP BY columns (none or empty: the whole input is one
  // group); FieldRefs: the select list, for GROUP BY by alias. Both stay
  // the caller's. An unknown group column raises 20245.
  TQXLAOGroupBy(std::unique_ptr<TQXLAO> Child, const TQXLFields* FieldList,
                std::vector<TQXLSelectListItem>& FieldRefs);

  // Every expression becomes a link of the grouping; 20269 for one that is
  // neither aggregate nor built of group columns, 10341 and 10342 for plain
  // columns that are unknown or not grouped.
  void SetResultFields(std::vector<TQXLSelectListItem>& FieldRefs, bool bDistinct) override;
  void InternalFirst() override;
  void InternalNext() override;
  bool InternalEof() override { return FEOF; }
  std::int64_t InternalRecordCount() override;

  const std::string& GroupByFields() const { return FGroupByFields; }

private:
  void InitAggregates();
  void AccumulateAggregates();
  // Keeps the group values of the child's current row.
  void KeepGroupKey();
  // Whether the child's current row has the kept group values.
  bool InSameGroup();
  // The WHERE part pushed into a table child, bound to its cursor before
  // it is read; nullptr when none.
  TQXLExpression* ChildTableFilter() const;
  void NextGroup(bool Started);

  std::vector<TQXLVariant> FGroupKey;
  TQXLVariant FCurrentValue;
  bool FFirstTimeCalled = false;
  bool FAllFields = true;
  TQXLIntegerArray FFields;
  bool FEOF = false;
  std::string FGroupByFields;
};

}  // namespace qxl
