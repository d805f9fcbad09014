#pragma once
// The Boolean operators of conditions: NOT, AND, OR (three-valued), IN and
// NOT IN over a list or a subquery, EXISTS, BETWEEN, LIKE with an optional
// escape character, IS [NOT] NULL. IS [NOT] NULL can serve as an index scan
// condition.
// Thread rule: as every node (one thread per tree).
#include <string>

#include "engine/sql/nodes/QXLExprNode.h"

namespace qxl {

class TQXLExprNodeBoolean : public TQXLExprNode {
public:
  // Children by operator: NOT, IS [NOT] NULL, EXISTS one; AND, OR two or more;
  // IN the value then a subquery or the list; BETWEEN value, low, high; LIKE
  // value, pattern.
  TQXLExprNodeBoolean(bool CaseInsensitive, bool PartialKey);
  TQXLExprNodeBoolean(TQXLDataOperator Op, bool CaseInsensitive, bool PartialKey, std::string EscapeStr);
  TQXLExprNodeBoolean(TQXLDataOperator Op, TNodePtr Node, bool CaseInsensitive, bool PartialKey);
  TQXLExprNodeBoolean(TQXLDataOperator Op, TNodePtr Node1, TNodePtr Node2, bool CaseInsensitive, bool PartialKey);
  TQXLExprNodeBoolean(TQXLDataOperator Op, TNodePtr Node1, TNodePtr Node2, TNodePtr Node3, bool CaseInsensitive,
                      bool PartialKey);

  TQXLVariant* GetDataValue() override;
  // IS [NOT] NULL of a column of the scanned table.
  bool CanUseIndex(std::int32_t IndexColumnNo, TQXLSearchCondition ConditionSearchOperator, TQXLIndexDef* IndexDef,
                   std::int32_t SessionID) override;
  void AddAsIndexScanCondition(TQXLScanSearchConditionArray* ScanConditions, TQXLIndexDef* IndexDef,
                               TQXLBaseExpression* Expression) override;
  void ExtendIndexScanCondition(TQXLScanSearchCondition* ScanCondition, TQXLIndexDef* IndexDef,
                                TQXLBaseExpression* Expression) override;

  const std::string& EscapeStr() const { return FEscapeStr; }

private:
  // Child Index's value copied into TempVal; true when it is not NULL.
  bool ReadOperand(std::int32_t Index);
  bool EvaluateIn();
  void EvaluateBetween();
  void EvaluateLike();

  TQXLVariant TempVal{bftLogical};
  std::string FEscapeStr;
};

}  // namespace qxl
