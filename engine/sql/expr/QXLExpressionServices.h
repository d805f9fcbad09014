#pragma once
// Lends the SQL layer's expression to the core: dataset filters, Locate,
// quantified record tests and expression defaults then run on the real
// parser. A program registers once at start-up, before any cursor filters.
//
// Threads: register while no other engine work runs.
#include "engine/core/values/QXLVariant.h"

namespace qxl {

void RegisterSQLExpressions();
void UnregisterSQLExpressions();

// A default value that stays an expression, evaluated per inserted row: a
// non-NULL text that parses as one value expression which is no column
// reference and has none among its direct operands, and whose value reads
// differently from the text itself ('abc' with its quotes, SYSDATE; not 5).
bool IsSQLDefaultValueExpression(const TQXLVariant& Value);

}  // namespace qxl
