#pragma once
// A relational operator as expressions see it: columns found by name and
// qualifier, their types and sizes, the current row's values, and the inputs
// and filter condition that the push-down of conditions works with. The
// operators of the query engine implement it; column references bind to it.
// Thread rule: an operator and the expressions bound to it are used by the
// thread that runs the statement.
#include <cstdint>
#include <memory>
#include <string>

#include "engine/core/QXLExpression.h"
#include "engine/core/values/QXLTypes.h"

namespace qxl {

class TQXLIntegerArray;
class TQXLVariant;

// Completes the forward declaration the core gives.
class TQXLAO {
public:
  virtual ~TQXLAO() = default;

  // The number of columns that match FieldName (and TableName when given);
  // their numbers are appended to FieldNumbers. Unhide makes matched hidden
  // columns visible unless UnhideChildrenOnly; ScanOnlyVisibleFields skips
  // hidden ones. Names compare without regard to case.
  virtual std::int32_t FieldExists(const std::string& FieldName, const std::string& TableName, bool Unhide,
                                   TQXLIntegerArray& FieldNumbers, bool UnhideChildrenOnly,
                                   bool ScanOnlyVisibleFields) = 0;
  virtual std::string GetFieldNameByColumnNo(std::int32_t ColumnNo) = 0;
  // The current row's value of column FieldNo, copied or linked.
  virtual void GetFieldValue(TQXLVariant& Value, std::int32_t FieldNo, bool bCopy, bool AccessToHidden) = 0;
  virtual TQXLAdvancedFieldType GetFieldType(std::int32_t FieldNo) = 0;
  virtual std::int32_t GetFieldSize(std::int32_t FieldNo) = 0;
  virtual std::int32_t GetFieldPrecision(std::int32_t FieldNo) = 0;

  // The operator tree, as the push-down of conditions walks it: the inputs
  // (nullptr when there is none), whether this is an outer join (below which
  // nothing is pushed), and the condition the operator then tests and owns.
  virtual TQXLAO* LeftChildAO() const = 0;
  virtual TQXLAO* RightChildAO() const = 0;
  virtual bool IsOuterJoin() const = 0;
  virtual void SetFilterExpression(std::unique_ptr<TQXLBaseExpression> Filter) = 0;
  // A grouping operator: the only one aggregates can be bound to.
  virtual bool IsGrouping() const { return false; }
};

}  // namespace qxl
