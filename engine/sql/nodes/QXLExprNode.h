#pragma once
// One node of a parsed expression tree (condition, select-list value, filter,
// locate condition, column default). A node owns its children and the value
// object that holds its last result; evaluation is a recursive GetDataValue
// from the root after the tree was bound to a cursor or a relational
// operator. A value returned by GetDataValue stays the node's and is valid
// until the node is evaluated again or freed.
// Thread rule: a tree belongs to one expression and is evaluated by one
// thread at a time, never re-entrantly.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/core/search/QXLScanSearchCondition.h"
#include "engine/core/values/QXLTypes.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/sql/nodes/QXLDataOperator.h"
#include "engine/sql/nodes/QXLSelectListItem.h"

namespace qxl {

class TQXLAO;
class TQXLBaseExpression;
class TQXLCursor;
class TQXLIndexDef;

// Completes the forward declaration the core gives (scan conditions record
// nodes taken out of their trees).
class TQXLExprNode {
public:
  using TNodePtr = std::unique_ptr<TQXLExprNode>;

  // Operator doUNDEFINED, no children, an empty value of unknown type.
  TQXLExprNode(bool CaseInsensitive, bool PartialKey);
  TQXLExprNode(TQXLDataOperator Op, bool CaseInsensitive, bool PartialKey);
  // The nodes become the children in argument order; a null node is skipped.
  TQXLExprNode(TQXLDataOperator Op, TNodePtr Node, bool CaseInsensitive, bool PartialKey);
  TQXLExprNode(TQXLDataOperator Op, TNodePtr Node1, TNodePtr Node2, bool CaseInsensitive, bool PartialKey);
  TQXLExprNode(TQXLDataOperator Op, TNodePtr Node1, TNodePtr Node2, TNodePtr Node3, bool CaseInsensitive,
               bool PartialKey);
  virtual ~TQXLExprNode();
  TQXLExprNode(const TQXLExprNode&) = delete;
  TQXLExprNode& operator=(const TQXLExprNode&) = delete;

  // Children. Child and Children give the nodes without their ownership.
  std::int32_t ChildCount() const { return static_cast<std::int32_t>(FChildren.size()); }
  // Raises 20279 for a position outside the list.
  TQXLExprNode* Child(std::int32_t Index) const;
  void AddChild(TNodePtr Node);
  // At the end when Index is at or past the last position.
  void InsertChild(std::int32_t Index, TNodePtr Node);
  // Takes the child out of the list and hands it over; raises 20279 for a
  // position outside the list.
  TNodePtr DetachChild(std::int32_t Index);
  // Takes Node out when it is a direct child; nullptr otherwise.
  TNodePtr DetachChild(const TQXLExprNode* Node);
  // Puts Node in the place of child Index and hands the old child over.
  TNodePtr ReplaceChild(std::int32_t Index, TNodePtr Node);
  // Position of Node among the direct children, -1 when it is none.
  std::int32_t IndexOfChild(const TQXLExprNode* Node) const;

  TQXLDataOperator Operator() const { return FOperator; }
  // The last result; the node keeps ownership.
  TQXLVariant& Value() { return FValue; }
  const TQXLVariant& Value() const { return FValue; }
  bool CaseInsensitive() const { return FCaseInsensitive; }
  void SetCaseInsensitive(bool Value) { FCaseInsensitive = Value; }
  bool PartialKey() const { return FPartialKey; }

  // Runs after every binding of the root; the base passes it to every child.
  virtual void AfterAssign();
  // Evaluates the node for the bound row.
  virtual TQXLVariant* GetDataValue() = 0;
  virtual void ResetSubqueryFieldValues();
  // nullptr in the base.
  virtual TQXLVariant* GetSubqueryFieldValue(std::int32_t FieldNo);
  // True when any child is aggregated (children asked in order).
  virtual bool IsAggregated();
  virtual bool IsAggregatedCountAll();
  // Aggregation: start of a group, one row, the row count of COUNT(*).
  virtual void Init();
  virtual void Accumulate();
  virtual void SetCountAll(std::int32_t RecordCount);
  // Binding; the base passes the call to every child.
  virtual void AssignAO(TQXLAO* AO, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor);
  virtual void AssignCursor(TQXLCursor* Cursor, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor);
  virtual void AssignCursorBuffer(std::uint8_t* Buffer, bool ApplyToParentQueryFields);
  // The SQL type of the result: the common type of the children, folded
  // from the left; raises 30283 without children or without a common type.
  virtual TQXLAdvancedFieldType GetDataType();
  // The result's size in a record buffer: for a string-typed + or
  // concatenation or CAST the sum of the children's sizes, else 0.
  virtual std::int32_t GetDataSize();
  virtual std::int32_t GetPrecision();
  // True when every child can be bound to AO (or, as an outer reference, to
  // the parent query's operator or cursor).
  virtual bool CanBeAssigned(TQXLAO* AO, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor, bool ForHavingClause);
  // Index scan analysis; the base node serves no index.
  virtual bool CanUseIndex(std::int32_t IndexColumnNo, TQXLSearchCondition ConditionSearchOperator,
                           TQXLIndexDef* IndexDef, std::int32_t SessionID);
  virtual void AddAsIndexScanCondition(TQXLScanSearchConditionArray* ScanConditions, TQXLIndexDef* IndexDef,
                                       TQXLBaseExpression* Expression);
  virtual void ExtendIndexScanCondition(TQXLScanSearchCondition* ScanCondition, TQXLIndexDef* IndexDef,
                                        TQXLBaseExpression* Expression);
  virtual bool IsJoinCondition(TQXLAO* AO1, TQXLAO* AO2);
  // Rewrites references to select-list aliases; the base passes the list on.
  virtual void ReplacePseudonyms(std::span<qxl::TQXLSelectListItem> SelectList);
  // True when every child can stand in a query grouped by the ";"-separated
  // GroupByFields.
  virtual bool CanBeUsedInGroupBy(const std::string& GroupByFields);

  // A column reference of the scanned table (bound to a cursor, not an outer
  // reference), or UPPER / LOWER of one.
  static bool CanUseNodeAsField(const TQXLExprNode* Node);
  // A constant, or a column reference to an outer query.
  static bool CanUseNodeAsConst(const TQXLExprNode* Node);

protected:
  const std::vector<TNodePtr>& Children() const { return FChildren; }
  // Raises Code "Unknown operator: '%s'" with this node's operator.
  [[noreturn]] void RaiseUnknownOperator(std::int32_t Code) const;

private:
  std::vector<TNodePtr> FChildren;
  TQXLDataOperator FOperator = doUNDEFINED;
  TQXLVariant FValue;
  bool FCaseInsensitive = false;
  bool FPartialKey = false;
};

using TQXLExprNodePtr = std::unique_ptr<TQXLExprNode>;

}  // namespace qxl
