#pragma once
// String functions of expressions: concatenation, UPPER, LOWER, TRIM, LTRIM,
// RTRIM, LENGTH, POS and SUBSTRING. Non-string operands are read as their
// text; a result without characters is NULL.
// Thread rule: as every node (one thread per tree).
#include "engine/sql/nodes/QXLExprNode.h"

namespace qxl {

class TQXLExprNodeStringFunction : public TQXLExprNode {
public:
  TQXLExprNodeStringFunction(TQXLDataOperator Op, bool CaseInsensitive, bool PartialKey);
  TQXLExprNodeStringFunction(TQXLDataOperator Op, TNodePtr Node, bool CaseInsensitive, bool PartialKey);
  TQXLExprNodeStringFunction(TQXLDataOperator Op, TNodePtr Node1, TNodePtr Node2, bool CaseInsensitive,
                             bool PartialKey);
  TQXLExprNodeStringFunction(TQXLDataOperator Op, TNodePtr Node1, TNodePtr Node2, TNodePtr Node3,
                             bool CaseInsensitive, bool PartialKey);

  TQXLVariant* GetDataValue() override;
  TQXLAdvancedFieldType GetDataType() override;
  // For a concatenation, first wraps every operand of another type in a CAST
  // to the concatenation's type, then sums the operands' sizes.
  std::int32_t GetDataSize() override;

private:
  // Value := copy of child 0 as text; true when it is not NULL.
  bool PrepareValue();
  // Characters of child 0 read as text, 0 for NULL.
  std::int32_t TextLength();
};

}  // namespace qxl
