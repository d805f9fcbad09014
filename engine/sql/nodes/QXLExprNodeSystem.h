#pragma once
// Values of the system rather than of the row: the last auto-increment value
// of a table's column (LASTAUTOINC), whose table stays open read-only for the
// node's life, and ROWNUM, which counts the node's evaluations.
// Thread rule: as every node (one thread per tree).
#include <memory>
#include <string>

#include "engine/sql/nodes/QXLExprNode.h"

namespace qxl {

class TQXLTable;

class TQXLExprNodeSystem : public TQXLExprNode {
public:
  // For doLASTAUTOINC opens the table at once (its failures propagate) and
  // raises 30337 when it has no column ColumnName.
  TQXLExprNodeSystem(TQXLDataOperator Operator, const std::string& SessionName, const std::string& DatabaseName,
                     const std::string& TableName, const std::string& ColumnName, bool InMemory);
  ~TQXLExprNodeSystem() override;

  TQXLVariant* GetDataValue() override;
  TQXLAdvancedFieldType GetDataType() override;
  std::int32_t GetDataSize() override { return 0; }

  const std::string& TableName() const { return FTableName; }
  const std::string& ColumnName() const { return FColumnName; }

private:
  std::string FTableName;
  std::string FColumnName;
  bool FInMemory = false;
  std::unique_ptr<TQXLTable> FTable;
  TQXLAdvancedFieldType FFieldType = aftUnknown;
  // The column's place in the open table, found once: the value is read for
  // every row of a query, and a lookup by name compares folded names.
  std::int32_t FFieldIndex = -1;
  std::int32_t FRowNumValue = 0;
};

}  // namespace qxl
