#pragma once
// MIMETOBIN: base64 text decoded into a binary value, as the SQL scripts that
// export tables write BLOB values.
// Thread rule: as every node (one thread per tree).
#include "engine/sql/nodes/QXLExprNode.h"

namespace qxl {

class TQXLExprNodeBlob : public TQXLExprNode {
public:
  // Node is the base64 text.
  explicit TQXLExprNodeBlob(TNodePtr Node);

  TQXLVariant* GetDataValue() override;
  // A string without size: the column written to decides the stored type.
  TQXLAdvancedFieldType GetDataType() override;
  std::int32_t GetDataSize() override;
};

}  // namespace qxl
