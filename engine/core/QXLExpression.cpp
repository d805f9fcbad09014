#include "engine/core/QXLExpression.h"

namespace {

TQXLExpressionServices& Services() {
  static TQXLExpressionServices services;
  return services;
}

}  // namespace

void SetExpressionServices(const TQXLExpressionServices& Services_) { Services() = Services_; }

std::unique_ptr<TQXLExpression> CreateExpression() {
  return Services().CreateExpression ? Services().CreateExpression() : nullptr;
}

bool IsDefaultValueExpression(const TQXLVariant& Value) {
  return Services().IsDefaultValueExpression && Services().IsDefaultValueExpression(Value);
}
