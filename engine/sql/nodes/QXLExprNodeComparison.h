#pragma once
// A comparison (=, <>, >, <, >=, <=) of two operands, or of a value with the
// rows of a subquery under ALL or ANY. Its NULL logic is fixed when it is
// built: three-valued (a NULL operand makes it false) or two-valued (NULL is
// the lowest value and equals NULL). It can serve as an index scan condition
// and as an equi-join pair.
// Thread rule: as every node (one thread per tree).
#include "engine/sql/nodes/QXLExprNode.h"

namespace qxl {

class TQXLExprNodeField;

class TQXLExprNodeComparison : public TQXLExprNode {
public:
  // The value starts as a NULL Boolean; child 0 is the left operand.
  TQXLExprNodeComparison(TQXLDataOperator Op, TNodePtr Node1, TNodePtr Node2, bool TrueFalseNullLogic,
                         bool CaseInsensitive, bool PartialKey);
  // Node2 is the subquery for ALL / ANY.
  TQXLExprNodeComparison(TQXLDataOperator Op, TQXLQuantifier Quantifier, TNodePtr Node1, TNodePtr Node2,
                         bool TrueFalseNullLogic, bool CaseInsensitive, bool PartialKey);

  // An 8-bit text column compared with a wide constant: the constant becomes 8-bit.
  void AfterAssign() override;
  TQXLVariant* GetDataValue() override;
  // A column of the scanned table (or UPPER / LOWER of one) compared by =, <,
  // >, <= or >= with a constant; UPPER / LOWER switch the comparison to
  // ignore case when the constant allows it.
  bool CanUseIndex(std::int32_t IndexColumnNo, TQXLSearchCondition ConditionSearchOperator, TQXLIndexDef* IndexDef,
                   std::int32_t SessionID) override;
  void AddAsIndexScanCondition(TQXLScanSearchConditionArray* ScanConditions, TQXLIndexDef* IndexDef,
                               TQXLBaseExpression* Expression) override;
  void ExtendIndexScanCondition(TQXLScanSearchCondition* ScanCondition, TQXLIndexDef* IndexDef,
                                TQXLBaseExpression* Expression) override;
  // An equality of two plain column references, one found in each operator;
  // raises 10404 / 10405 when the first / second is ambiguous there.
  bool IsJoinCondition(TQXLAO* AO1, TQXLAO* AO2) override;

  bool ThreeValueLogic() const { return F3ValueLogic; }
  TQXLQuantifier Quantifier() const { return FQuantifier; }

  // The column side and the constant side for an index scan, as the
  // analysis takes them; nullptr when the comparison has no such pair.
  void GetFieldAndConstNodes(TQXLExprNode*& FieldNode, TQXLExprNode*& ConstNode) const;
  // The column reference inside the column side (itself or under UPPER / LOWER).
  static TQXLExprNodeField* GetFieldNode(TQXLExprNode* Node);

private:
  bool F3ValueLogic = false;
  TQXLQuantifier FQuantifier = qUNDEFINED;
};

}  // namespace qxl
