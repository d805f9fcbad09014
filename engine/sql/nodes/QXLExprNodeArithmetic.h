#pragma once
// The arithmetic of expressions: + over two or more operands (also date
// arithmetic and string addition), unary minus, *, / and the math functions
// ABS to SQRT with POWER and ROUND.
// Thread rule: as every node (one thread per tree).
#include "engine/sql/nodes/QXLExprNode.h"

namespace qxl {

// The reserved-word ordinals of ROUND's mode keywords (HALFEVEN to RNDUP),
// which the grammar stores in ROUND's third child.
inline constexpr std::int32_t RoundModeFirstKeyword = 283;
inline constexpr std::int32_t RoundModeLastKeyword = 291;

class TQXLExprNodeArithmetic : public TQXLExprNode {
public:
  TQXLExprNodeArithmetic(TQXLDataOperator Op, bool CaseInsensitive, bool PartialKey);
  TQXLExprNodeArithmetic(TQXLDataOperator Op, TNodePtr Node, bool CaseInsensitive, bool PartialKey);
  TQXLExprNodeArithmetic(TQXLDataOperator Op, TNodePtr Node1, TNodePtr Node2, bool CaseInsensitive,
                         bool PartialKey);
  TQXLExprNodeArithmetic(TQXLDataOperator Op, TNodePtr Node1, TNodePtr Node2, TNodePtr Node3,
                         bool CaseInsensitive, bool PartialKey);

  TQXLVariant* GetDataValue() override;
  TQXLAdvancedFieldType GetDataType() override;
  // A string-typed + sums its operands' sizes, a number counting by the
  // longest text it can have.
  std::int32_t GetDataSize() override;

private:
  void EvaluateRound();
  void EvaluateRand();
};

}  // namespace qxl
