#pragma once
// The set operator: UNION, INTERSECT and EXCEPT of two queries, each with or
// without ALL, over columns paired by position, by name (CORRESPONDING) or
// by a list of names (CORRESPONDING BY). Except for UNION ALL both inputs
// are sorted on all paired columns and walked together; NULL equals NULL
// and sorts first. The forms without ALL drop repeats through the unique
// index of the result table; with ALL, INTERSECT and EXCEPT keep each left
// row as often as it occurs on the left.
//
// Threads: as every operator, used by the thread that runs the statement.
#include <cstdint>
#include <memory>
#include <string>

#include "engine/core/containers/QXLIntegerArray.h"
#include "engine/core/values/QXLConversion.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/sql/operators/QXLAO.h"

namespace qxl {

enum TQXLUnionType : std::uint8_t { autUnion, autIntersect, autExcept };

class TQXLAOUnion : public TQXLAOFilterable {
public:
  // Takes both children and executes them at once, so that their columns
  // are known; FieldList (the CORRESPONDING BY names, nullptr for none)
  // stays the caller's.
  TQXLAOUnion(std::unique_ptr<TQXLAO> LeftChild, std::unique_ptr<TQXLAO> RightChild, TQXLUnionType UnionType,
              TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor, bool IsCorresponding, bool bDistinct,
              const TQXLFields* FieldList);
  ~TQXLAOUnion() override;

  TQXLUnionType UnionType() const { return FUnionType; }
  // "*" (alone or with the operator's alias) gives every paired column: the
  // columns are this operator's own, not its inputs'. Other names as the base.
  std::int32_t FieldExists(const std::string& FieldName, const std::string& TableName, bool Unhide,
                           TQXLIntegerArray& FieldNumbers, bool UnhideChildrenOnly,
                           bool ScanOnlyVisibleFields) override;
  // The paired columns: field numbers among the visible fields of the left
  // and of the right input's result.
  const TQXLIntegerArray& LeftFields() const { return FFields1; }
  const TQXLIntegerArray& RightFields() const { return FFields2; }

protected:
  void InternalFirst() override;
  void InternalNext() override;
  bool InternalEof() override;
  std::int64_t InternalRecordCount() override;
  // While the rows stream, the links read the inputs by visible field number.
  bool UsesDirectFieldAccess() const override;
  // The merged rows are sorted on every column, in column order.
  bool RepeatsAreAdjacent() const override;

private:
  void PairColumns(bool IsCorresponding, const TQXLFields* FieldList, std::string& LeftNames,
                   std::string& RightNames);
  void AddColumnPair(std::int32_t LeftFieldNo, std::int32_t RightFieldNo, std::string& LeftNames,
                     std::string& RightNames);
  TQXLCompareResult CompareRows();
  // Points every link at the left or the right input's current row.
  void ShowSide(bool Left);

  bool FEof = false;
  TQXLUnionType FUnionType = autUnion;
  bool FDistinct = false;
  TQXLIntegerArray FFields1;
  TQXLIntegerArray FFields2;
  TQXLCompareResult FCompareResult = cmprEqual;
  bool FFirstTimeCalled = false;
  bool FShowLeft = true;
  TQXLVariant FLeftValue;
  TQXLVariant FRightValue;
};

}  // namespace qxl
