#pragma once
// A parsed expression (filter, locate condition, column default) as the core
// uses it. The SQL layer implements it and registers how to create one; the
// core only evaluates expressions and draws index scan conditions from them.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/RuntimeVariant.h"

namespace qxl {

class TQXLAO;
class TQXLCursor;
class TQXLExprNode;
class TQXLIndexDef;
class TQXLIndexDefs;
class TQXLScanSearchCondition;
class TQXLScanSearchConditionArray;
class TQXLVariant;

// A comparison operator of the SQL layer, which gives its values.
enum TQXLDataOperator : std::uint8_t;

class TQXLBaseExpression {
public:
  virtual ~TQXLBaseExpression() = default;

  // Parses DefaultValue as one value expression; true only when the text is
  // exactly one command with nothing after the expression. Never raises.
  virtual bool ParseForDefaultValueExpression(const std::string& DefaultValue) = 0;
  // The cursor's conditions, each bound to Cursor. Locate: one equality per
  // name of the ';'-separated FieldNames, AND-ed, NULL equal to NULL.
  virtual void ParseForLocate(TQXLCursor* Cursor, const std::string& FieldNames, const Variant& KeyValues,
                              bool CaseInsensitive, bool PartialKey) = 0;
  // A dataset filter's search condition.
  virtual void ParseForFilter(TQXLCursor* Cursor, const std::string& Filter, bool CaseInsensitive,
                              bool PartialKey) = 0;
  // One comparison of the column FieldName with Value, NULL equal to NULL.
  virtual void ParseForIsAnyRecordMatchCondition(TQXLCursor* Cursor, const std::string& FieldName,
                                                 TQXLDataOperator Operator, const TQXLVariant& Value) = 0;
  // Binds field references to Cursor's fields and outer references to the
  // parent query operator and cursor; nothing without nodes.
  virtual void AssignCursor(TQXLCursor* Cursor, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor) = 0;
  // Binds every field reference to the memory record in Buffer.
  virtual void AssignCursorBuffer(std::uint8_t* Buffer, bool ApplyToParentQueryFields) = 0;
  // True when the condition holds over the bound record; NULL counts as
  // false; an expression without nodes raises 30110 "Value is Null".
  virtual bool GetResult() = 0;
  // The value, owned by the expression; nullptr without nodes. Without
  // TrueFalseNullLogic a NULL outcome becomes the Boolean false.
  virtual TQXLVariant* GetValue(bool TrueFalseNullLogic) = 0;
  // No nodes, or a Boolean group whose parts were all taken out.
  virtual bool IsEmpty() = 0;
  // Adds one scan condition per usable index for each comparison of a column
  // with a constant met through AND groups.
  virtual void CreateIndexScanConditions(TQXLIndexDefs* IndexDefs, TQXLScanSearchConditionArray* ScanConditions,
                                         std::int32_t SessionID) = 0;
  // Sets the next key field of an equality condition from the first node that
  // serves index column KeyFieldCount; false when no node does.
  virtual bool ExtendMultiFieldIndexCondition(TQXLScanSearchCondition* ScanCondition, TQXLIndexDef* IndexDef) = 0;
  // Detaches, without freeing, the nodes of this expression that made the two
  // chosen conditions (positions in ScanConditions, -1 for none).
  virtual void RemoveExtractedNodes(TQXLScanSearchConditionArray* ScanConditions, std::int32_t ScanConditionNo,
                                    std::int32_t ScanEndConditionNo) = 0;
  // Node becomes the root, or a child of the root when there is one.
  virtual void AddNode(TQXLExprNode* Node) = 0;
};

// What the SQL layer lends the core, registered once at start-up.
struct TQXLExpressionServices {
  // A new expression without nodes.
  std::unique_ptr<TQXLBaseExpression> (*CreateExpression)() = nullptr;
  // A non-NULL text value whose text parses as a value expression without
  // column references, whose value exists and differs from the text itself.
  bool (*IsDefaultValueExpression)(const TQXLVariant& Value) = nullptr;
};

void SetExpressionServices(const TQXLExpressionServices& Services);
// nullptr while no SQL layer is registered.
std::unique_ptr<TQXLBaseExpression> CreateExpression();
// False for anything but a non-NULL, non-empty text, and while no SQL layer
// is registered: every default is then a plain value.
bool IsDefaultValueExpression(const TQXLVariant& Value);

}  // namespace qxl
