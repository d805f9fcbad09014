#pragma once
// The join operator the SELECT planner puts over two inputs.
//
// Threads: as the statement that plans.
#include <memory>

#include "engine/sql/operators/QXLAO.h"
#include "engine/sql/operators/QXLJoinType.h"

namespace qxl {

class TQXLExpression;

std::unique_ptr<TQXLAO> NewJoinOperator(std::unique_ptr<TQXLAO> Left, std::unique_ptr<TQXLAO> Right,
                                        TQXLJoinType JoinType, bool IsNatural, const TQXLFields& FieldList1,
                                        const TQXLFields& FieldList2, std::unique_ptr<TQXLExpression> JoinCondition);

}  // namespace qxl
