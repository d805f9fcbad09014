#include "engine/sql/statements/QXLJoinOperator.h"

#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/operators/QXLAOJoin.h"

namespace qxl {

std::unique_ptr<TQXLAO> NewJoinOperator(std::unique_ptr<TQXLAO> Left, std::unique_ptr<TQXLAO> Right,
                                        TQXLJoinType JoinType, bool IsNatural, const TQXLFields& FieldList1,
                                        const TQXLFields& FieldList2, std::unique_ptr<TQXLExpression> JoinCondition) {
  return std::make_unique<TQXLAOJoin>(std::move(Left), std::move(Right), JoinType, IsNatural, FieldList1, FieldList2,
                                      std::move(JoinCondition));
}

}  // namespace qxl
