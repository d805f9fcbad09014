#pragma once
// A constant of an expression: a literal, a bound parameter, a key value of
// Locate. Its constant is the node's value, set by whoever builds the node;
// the LIKE prefix rewrite of the grammar asks it about its pattern text.
// Thread rule: as every node (one thread per tree).
#include "engine/sql/nodes/QXLExprNode.h"

namespace qxl {

class TQXLExprNodeConst : public TQXLExprNode {
public:
  // Case-insensitive, no partial key, NULL of unknown type until set.
  TQXLExprNodeConst();

  TQXLVariant* GetDataValue() override;
  // The first SQL type of the value's storage type.
  TQXLAdvancedFieldType GetDataType() override;
  // Characters of an 8-bit text, twice as many for a wide one; 0 otherwise.
  std::int32_t GetDataSize() override;
  bool CanBeAssigned(TQXLAO* AO, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor, bool ForHavingClause) override;

  // A text of at least two characters whose only "%" ends it and that has no
  // "_": abc% qualifies, a%c% and a_c% do not.
  bool IsLikePatternEqualToPartialComparePattern() const;
  // Drops the last character (the "%"), keeping the text wide or 8-bit.
  void TruncateForPartialCompare();
  // A text equal to its own upper- / lower-cased form; false for other types.
  bool IsUpperCase() const;
  bool IsLowerCase() const;
};

}  // namespace qxl
