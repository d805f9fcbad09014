#include "engine/sql/expr/QXLExpressionServices.h"

#include "engine/core/QXLExpression.h"
#include "engine/sql/expr/QXLExpressions.h"

namespace qxl {

bool IsSQLDefaultValueExpression(const TQXLVariant& Value) {
  if (Value.IsNull() || !(Value.IsStringDataType() || Value.IsWideStringDataType())) return false;
  const std::u16string Text = Value.GetAsWideString();
  if (Text.empty()) return false;
  try {
    TQXLExpression Expression;
    if (!Expression.ParseForDefaultValueExpression(Value.GetAsAnsiString())) return false;
    if (Expression.IsFieldsExpression()) return false;
    const TQXLVariant* Result = Expression.GetValue(true);
    return Result && Result->GetAsWideString() != Text;
  } catch (...) {
    // A default whose value cannot be had here is a plain value.
    return false;
  }
}

void RegisterSQLExpressions() {
  TQXLExpressionServices Services;
  Services.CreateExpression = []() -> std::unique_ptr<TQXLBaseExpression> { return std::make_unique<TQXLExpression>(); };
  Services.IsDefaultValueExpression = &IsSQLDefaultValueExpression;
  SetExpressionServices(Services);
}

void UnregisterSQLExpressions() { SetExpressionServices({}); }

}  // namespace qxl
