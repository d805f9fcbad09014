#pragma once
// A column reference of an expression. It binds either to a cursor (filters,
// Locate, INSERT and UPDATE values), reading the column from a record buffer
// without copying, or to a relational operator, reading the operator's
// current row; an outer reference of a correlated subquery binds to the
// parent query's operator or cursor.
// Thread rule: as every node (one thread per tree).
#include <cstdint>
#include <string>

#include "engine/sql/nodes/QXLExprNode.h"

namespace qxl {

class TQXLExprNodeField : public TQXLExprNode {
public:
  // Unbound; with a cursor it binds to it at once (AssignCursor).
  TQXLExprNodeField(TQXLCursor* Cursor, std::string FieldName, std::string TableName);

  TQXLVariant* GetDataValue() override;
  void AssignAO(TQXLAO* AO, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor) override;
  void AssignCursor(TQXLCursor* Cursor, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor) override;
  // Takes Buffer only when ApplyToParentQueryFields says this is an outer
  // reference exactly when the node is one.
  void AssignCursorBuffer(std::uint8_t* Buffer, bool ApplyToParentQueryFields) override;
  TQXLAdvancedFieldType GetDataType() override;
  std::int32_t GetDataSize() override;
  bool CanBeAssigned(TQXLAO* AO, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor, bool ForHavingClause) override;
  void ReplacePseudonyms(std::span<TQXLSelectListItem> SelectList) override;
  bool CanBeUsedInGroupBy(const std::string& GroupByFields) override;

  // Binds to the first matching column of AO; false for a nil operator or no match.
  bool TryAssignAO(TQXLAO* AOToAssign);
  // The field number of this column in Cursor: by name among the field
  // definitions, then the visible ones, then the same for the operator's name
  // of the column. False for a nil cursor or no match.
  bool FindFieldInCursor(TQXLCursor* Cursor, std::int32_t& FieldNo) const;
  void FillItem(TQXLSelectListItem& Item) const;

  const std::string& TableName() const { return FTableName; }
  const std::string& FieldName() const { return FFieldName; }
  const std::string& FieldNameInAO() const { return FFieldNameInAO; }
  std::int32_t FieldNo() const { return FFieldNo; }
  TQXLBaseFieldType BaseFieldType() const { return FBaseFieldType; }
  TQXLAdvancedFieldType FieldType() const { return FFieldType; }
  std::int32_t FieldSize() const { return FFieldSize; }
  bool GetFromParent() const { return FGetFromParent; }
  TQXLCursor* Cursor() const { return LCursor; }
  TQXLAO* AO() const { return LAO; }

private:
  void ReadBlob();

  TQXLCursor* LCursor = nullptr;          // not owned
  TQXLAO* LAO = nullptr;                  // not owned
  std::uint8_t* LRecordBuffer = nullptr;  // not owned
  std::string FTableName;
  std::string FFieldName;
  std::string FFieldNameInAO;
  std::int32_t FFieldNo = -1;
  std::int32_t FFieldOffsetInBuffer = 0;
  TQXLAdvancedFieldType FFieldType = aftUnknown;
  TQXLBaseFieldType FBaseFieldType = bftUnknown;
  std::int32_t FFieldSize = 0;
  std::int32_t FFieldPrecision = 0;
  bool FGetFromParent = false;
  bool FScanOnlyVisibleFieldsInAO = false;
};

}  // namespace qxl
