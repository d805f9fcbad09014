#include "engine/core/QXLExpression.h"

#include "engine/core/values/QXLVariant.h"

namespace qxl {

namespace {

TQXLExpressionServices& Services() {
  static TQXLExpressionServices services;
  return services;
}

}  // namespace

void SetExpressionServices(const TQXLExpressionServices& Services_) { Services() = Services_; }

std::unique_ptr<TQXLBaseExpression> CreateExpression() {
  return Services().CreateExpression ? Services().CreateExpression() : nullptr;
}

bool IsDefaultValueExpression(const TQXLVariant& Value) {
  // Only a non-empty text can be an expression; the parse is the SQL layer's.
  if (!Services().IsDefaultValueExpression || !Value.IsStringDataType() || Value.IsNull()) return false;
  if (Value.StrLen() <= 0) return false;
  return Services().IsDefaultValueExpression(Value);
}

}  // namespace qxl
