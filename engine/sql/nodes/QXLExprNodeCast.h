#pragma once
// CAST of a value to an SQL type, with an optional length for string types
// (4096 characters without one).
// Thread rule: as every node (one thread per tree).
#include "engine/sql/nodes/QXLExprNode.h"

namespace qxl {

inline constexpr std::int32_t DefaultCastStringSize = 4096;

class TQXLExprNodeCast : public TQXLExprNode {
public:
  // Children: Node, then CastSizeNode when given.
  TQXLExprNodeCast(TNodePtr Node, TQXLAdvancedFieldType CastType, TNodePtr CastSizeNode);

  TQXLVariant* GetDataValue() override;
  TQXLAdvancedFieldType GetDataType() override;
  // The given size, else for a string type the longest text of the operand's
  // type; raises 30466 for an operand type without such a length.
  std::int32_t GetDataSize() override;

  TQXLAdvancedFieldType CastType() const { return FCastType; }

private:
  TQXLAdvancedFieldType FCastType;
  TQXLExprNode* LCastSizeNode = nullptr;  // child 1 when given; owned through the children
};

// The longest text a value of SQL type Type gives (11 for an Integer), or the
// type's own size for text and byte types; -1 when the type has no such text.
std::int32_t TextSizeOfType(TQXLAdvancedFieldType Type, std::int32_t OwnSize);

}  // namespace qxl
