#pragma once
// An aggregate over the rows of a group: COUNT(*), COUNT, SUM, AVG, MIN and
// MAX, each optionally over the distinct values of its argument. The grouping
// operator drives it: Init when a group starts, Accumulate for every row of
// the group, then GetDataValue as often as the result row is read.
// Thread rule: as every node (one thread per tree).
#include <set>

#include "engine/sql/nodes/QXLExprNode.h"

namespace qxl {

class TQXLExprNodeAggregated : public TQXLExprNode {
public:
  // COUNT(*): no argument.
  explicit TQXLExprNodeAggregated(TQXLDataOperator Op);
  // The other aggregates: the argument becomes the only child.
  TQXLExprNodeAggregated(TQXLDataOperator Op, bool Distinct, TNodePtr Node);

  TQXLVariant* GetDataValue() override;
  bool IsAggregated() override { return true; }
  bool IsAggregatedCountAll() override { return Operator() == doCOUNTALL; }
  void Init() override;
  void Accumulate() override;
  void SetCountAll(std::int32_t RecordCount) override { FCount = RecordCount; }
  TQXLAdvancedFieldType GetDataType() override;
  std::int32_t GetDataSize() override;
  // Only a grouping operator computes aggregates; the argument must bind to it.
  bool CanBeAssigned(TQXLAO* AO, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor, bool ForHavingClause) override;
  bool CanBeUsedInGroupBy(const std::string&) override { return true; }

  bool Distinct() const { return FDistinct; }
  std::int32_t Count() const { return FCount; }

private:
  struct TValueOrder {
    bool operator()(const TQXLVariant& A, const TQXLVariant& B) const;
  };
  // False when DISTINCT has seen the value before in this group.
  bool FirstTimeSeen(const TQXLVariant& Argument);
  void AddToSum(const TQXLVariant& Argument);
  void AddToAverage(const TQXLVariant& Argument);

  std::int32_t FCount = 0;
  bool FDistinct = false;
  TQXLVariant FAvgSum;
  // The group's distinct argument values so far (DISTINCT only).
  std::set<TQXLVariant, TValueOrder> FSeen;
};

}  // namespace qxl
