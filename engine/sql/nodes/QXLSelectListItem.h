#pragma once
// One parsed item of a select list (also of GROUP BY, USING, CORRESPONDING BY
// and join column lists): a column, "*" or an expression, with its alias.
// A plain value, used by the thread that parses or runs the statement; the
// item owns its expression.
#include <memory>
#include <string>

#include "engine/core/QXLExpression.h"

namespace qxl {

struct TQXLSelectListItem {
  std::string TableName;
  bool AllFields = false;
  std::string FieldName;
  bool IsExpression = false;
  bool IsDuplicatedField = false;
  std::unique_ptr<TQXLBaseExpression> ValueExpr;
  std::string Pseudonym;
};

}  // namespace qxl
