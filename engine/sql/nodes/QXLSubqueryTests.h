#pragma once
// What IN, EXISTS and quantified comparisons ask of a subquery child. The
// subquery node implements it; the Boolean and comparison nodes find it among
// their children.
// Thread rule: as every node (one thread per tree).
#include "engine/sql/nodes/QXLDataOperator.h"

namespace qxl {

class TQXLVariant;


class TQXLSubqueryTests {
public:
  virtual ~TQXLSubqueryTests() = default;
  virtual bool Exists() = 0;
  virtual bool IsValueIn(const TQXLVariant& Value) = 0;
  virtual bool QuantifiedCompare(TQXLDataOperator Operator, TQXLQuantifier Quantifier, const TQXLVariant& Value) = 0;
};

}  // namespace qxl
