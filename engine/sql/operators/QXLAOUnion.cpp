#include "engine/sql/operators/QXLAOUnion.h"

#include <algorithm>
#include <string>
#include <utility>

#include "engine/core/QXLException.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/nodes/QXLSemicolonList.h"

namespace qxl {

namespace {

// The first visible field of that name in any letter case, -1 when none.
std::int32_t VisibleFieldByName(const TQXLAdvFieldDefs& Defs, const std::string& Name) {
  const std::string wanted = UpperCaseName(Name);
  for (std::int32_t i = 0; i < Defs.Count(); ++i)
    if (UpperCaseName(Defs.Defs(i).Name) == wanted) return i;
  return -1;
}

// The name in Input's result table of its visible column VisibleNo: the
// column's own name under a projection's alias.
std::string InputColumnName(const TQXLAO& Input, std::int32_t VisibleNo) {
  const TQXLIntegerArray& order = Input.ResultFieldsOrder();
  if (order.ItemCount() > 0 && VisibleNo < order.ItemCount()) return Input.FieldLink(order[VisibleNo]).FieldName;
  if (!Input.IsAOTable()) {
    std::int32_t visible = -1;
    for (std::int32_t i = 0; i < Input.FieldCount(); ++i)
      if (!Input.FieldLink(i).IsHidden && ++visible == VisibleNo) return Input.FieldLink(i).FieldName;
  }
  return Input.ResultDataset()->AdvFieldDefs().Defs(VisibleNo).Name;
}

}  // namespace

TQXLAOUnion::TQXLAOUnion(std::unique_ptr<TQXLAO> LeftChild, std::unique_ptr<TQXLAO> RightChild,
                         TQXLUnionType UnionType, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor,
                         bool IsCorresponding, bool bDistinct, const TQXLFields* FieldList)
    : TQXLAOFilterable(std::move(LeftChild), std::move(RightChild)) {
  FIsMaterialized = false;
  FUnionType = UnionType;
  FDistinct = bDistinct;
  // The inputs' results, and so their visible columns, exist from here on.
  FLeftAO->Execute(false, ParentQueryAO, ParentCursor);
  FRightAO->Execute(false, ParentQueryAO, ParentCursor);

  std::string leftNames, rightNames;
  PairColumns(IsCorresponding, FieldList, leftNames, rightNames);
  if (FFields1.ItemCount() != FFields2.ItemCount())
    throw EQXLException(10338, "Error - different list lengths. L1 = %d, L2 = %d",
                        {FFields1.ItemCount(), FFields2.ItemCount()});
  if (FFields1.ItemCount() == 0)
    throw EQXLException(10339, "Empty field list, item count = %d", {FFields1.ItemCount()});

  // Both inputs sorted on every paired column, ascending, NULL first; the
  // concatenation of UNION ALL needs no order. An input sorts by the names
  // its result table has, which an alias only hides.
  if (FUnionType != autUnion || bDistinct) {
    std::string leftOrder, rightOrder;
    for (std::int32_t k = 0; k < FFields1.ItemCount(); ++k) {
      if (k > 0) {
        leftOrder += ';';
        rightOrder += ';';
      }
      leftOrder += InputColumnName(*FLeftAO, FFields1[k]);
      rightOrder += InputColumnName(*FRightAO, FFields2[k]);
    }
    FLeftAO->SetIndex(leftOrder, "", "");
    FRightAO->SetIndex(rightOrder, "", "");
  }
  if (bDistinct) ApplyDistinct(leftNames);
}

TQXLAOUnion::~TQXLAOUnion() = default;

void TQXLAOUnion::PairColumns(bool IsCorresponding, const TQXLFields* FieldList, std::string& LeftNames,
                              std::string& RightNames) {
  const TQXLAdvFieldDefs& left = FLeftAO->ResultDataset()->AdvFieldDefs();
  const TQXLAdvFieldDefs& right = FRightAO->ResultDataset()->AdvFieldDefs();
  if (FieldList) {
    if (FieldList->ItemCount() == 0)
      throw EQXLException(10337, "Empty field list, item count = %d", {FieldList->ItemCount()});
    for (const TQXLSelectListItem& item : FieldList->Items) {
      const std::int32_t l = VisibleFieldByName(left, item.FieldName);
      const std::int32_t r = VisibleFieldByName(right, item.FieldName);
      if (l >= 0 && r >= 0) AddColumnPair(l, r, LeftNames, RightNames);
    }
  } else if (IsCorresponding) {
    for (std::int32_t l = 0; l < left.Count(); ++l) {
      const std::int32_t r = VisibleFieldByName(right, left.Defs(l).Name);
      if (r >= 0) AddColumnPair(l, r, LeftNames, RightNames);
    }
  } else {
    for (std::int32_t i = 0; i < std::min(left.Count(), right.Count()); ++i) AddColumnPair(i, i, LeftNames, RightNames);
  }
}

void TQXLAOUnion::AddColumnPair(std::int32_t LeftFieldNo, std::int32_t RightFieldNo, std::string& LeftNames,
                                std::string& RightNames) {
  const TQXLAdvFieldDef& l = FLeftAO->ResultDataset()->AdvFieldDefs().Defs(LeftFieldNo);
  const TQXLAdvFieldDef& r = FRightAO->ResultDataset()->AdvFieldDefs().Defs(RightFieldNo);
  // Only a distinct UNION keeps a column that values of cannot be compared.
  if (!(FUnionType == autUnion && FDistinct) &&
      (!IsConvertibleAdvancedFieldType(l.DataType) || !IsConvertibleAdvancedFieldType(r.DataType)))
    return;
  TQXLFieldLink link;
  link.FieldName = l.Name;
  link.DisplayName = l.Name;
  link.FieldType = l.DataType;
  link.FieldSize = std::max(l.Size, r.Size);
  link.FieldPrecision = 0;
  link.BLOBCompressionAlgorithm = l.BLOBCompressionAlgorithm;
  link.BLOBCompressionMode = l.BLOBCompressionMode;
  link.BLOBBlockSize = l.BLOBBlockSize;
  link.Dataset = FLeftAO->ResultDataset();
  link.FieldNo = LeftFieldNo;
  FFieldLinks.push_back(std::move(link));
  FFields1.Append(LeftFieldNo);
  FFields2.Append(RightFieldNo);
  if (!LeftNames.empty()) {
    LeftNames += ';';
    RightNames += ';';
  }
  LeftNames += l.Name;
  RightNames += r.Name;
}

std::int32_t TQXLAOUnion::FieldExists(const std::string& FieldName, const std::string& TableName, bool Unhide,
                                      TQXLIntegerArray& FieldNumbers, bool UnhideChildrenOnly,
                                      bool ScanOnlyVisibleFields) {
  if (FieldName != "*")
    return TQXLAO::FieldExists(FieldName, TableName, Unhide, FieldNumbers, UnhideChildrenOnly, ScanOnlyVisibleFields);
  if (!TableName.empty() && !AnswersTo(TableName)) return 0;
  std::int32_t count = 0;
  for (std::int32_t i = 0; i < FieldCount(); ++i) {
    if (ScanOnlyVisibleFields && FieldLink(i).IsHidden) continue;
    FieldNumbers.Append(i);
    ++count;
    if (Unhide && !UnhideChildrenOnly) Link(i).IsHidden = false;
  }
  return count;
}

bool TQXLAOUnion::UsesDirectFieldAccess() const {
  // Streaming, the links hold visible numbers of the inputs; materialised,
  // a root or an operator without result fields reads its own result by
  // visible number as well.
  return FIsMaterialized && FHasSetResultFields && !FIsRootAO;
}

bool TQXLAOUnion::RepeatsAreAdjacent() const {
  // Both inputs are sorted on all paired columns whenever the operation is
  // distinct; DISTINCT over other columns than all of them in their order
  // takes the general way.
  if (!FDistinct || FDistinctFieldCount != FieldCount()) return false;
  for (std::int32_t k = 0; k < FDistinctFieldCount; ++k)
    if (FDistinctFieldsMap[static_cast<std::size_t>(k)] != k) return false;
  return true;
}

void TQXLAOUnion::ShowSide(bool Left) {
  if (FShowLeft == Left) return;
  FShowLeft = Left;
  TQXLDataSet* dataset = (Left ? FLeftAO : FRightAO)->ResultDataset();
  const TQXLIntegerArray& fields = Left ? FFields1 : FFields2;
  for (std::int32_t k = 0; k < FieldCount(); ++k) {
    TQXLFieldLink& link = Link(k);
    link.Dataset = dataset;
    link.FieldNo = fields[k];
  }
}

TQXLCompareResult TQXLAOUnion::CompareRows() {
  TQXLTable& left = *FLeftAO->ResultDataset();
  TQXLTable& right = *FRightAO->ResultDataset();
  TQXLCompareResult result = cmprEqual;
  for (std::int32_t k = 0; k < FFields1.ItemCount(); ++k) {
    left.GetFieldValue(FLeftValue, FFields1[k], false);
    right.GetFieldValue(FRightValue, FFields2[k], false);
    try {
      result = FLeftValue.Compare(FRightValue, false, false, false);
    } catch (const EQXLException& E) {
      throw EQXLException(10335, "Cannot compare values for fields: %s, %s. Error: %s",
                          {left.AdvFieldDefs().Defs(FFields1[k]).Name, right.AdvFieldDefs().Defs(FFields2[k]).Name,
                           E.Message});
    }
    if (result != cmprEqual && result != cmprBothNull) break;
    result = cmprEqual;
  }
  // NULL equals NULL and sorts first.
  switch (result) {
    case cmprBothNull: result = cmprEqual; break;
    case cmprLeftNull: result = cmprLower; break;
    case cmprRightNull: result = cmprGreater; break;
    default: break;
  }
  FCompareResult = result;
  return result;
}

void TQXLAOUnion::InternalFirst() {
  FLeftAO->First();
  FRightAO->First();
  FEof = false;
  ShowSide(true);
  if (FUnionType == autUnion && !FDistinct) {
    if (FLeftAO->GetEof()) ShowSide(false);
    return;
  }
  FFirstTimeCalled = true;
  InternalNext();
  FFirstTimeCalled = false;
}

void TQXLAOUnion::InternalNext() {
  if (InternalEof()) return;
  TQXLAO& left = *FLeftAO;
  TQXLAO& right = *FRightAO;
  switch (FUnionType) {
    case autUnion:
      if (!FDistinct) {
        // All left rows in their order, then all right rows in theirs.
        if (FShowLeft) {
          left.Next();
          if (left.GetEof() && !right.GetEof()) ShowSide(false);
        } else {
          right.Next();
        }
        return;
      }
      // The merge of both sorted inputs; a right row equal to the current
      // left row is passed over, and the result table's unique index drops
      // the repeats within one input.
      if (!FFirstTimeCalled) (FShowLeft ? left : right).Next();
      for (;;) {
        const bool leftEnd = left.GetEof(), rightEnd = right.GetEof();
        if (leftEnd && rightEnd) {
          FEof = true;
          return;
        }
        if (leftEnd || rightEnd) {
          ShowSide(!leftEnd);
          return;
        }
        switch (CompareRows()) {
          case cmprEqual: right.Next(); continue;
          case cmprLower: ShowSide(true); return;
          default: ShowSide(false); return;
        }
      }
    case autIntersect:
      // Every left row that has an equal right row, left repeats included.
      if (!FFirstTimeCalled) left.Next();
      for (;;) {
        if (left.GetEof() || right.GetEof()) {
          FEof = true;
          return;
        }
        switch (CompareRows()) {
          case cmprEqual: return;
          case cmprLower: left.Next(); break;
          default: right.Next(); break;
        }
      }
    case autExcept:
      // Every left row without an equal right row, left repeats included.
      if (!FFirstTimeCalled) left.Next();
      for (;;) {
        if (left.GetEof()) {
          FEof = true;
          return;
        }
        if (right.GetEof()) return;
        switch (CompareRows()) {
          case cmprEqual: left.Next(); break;
          case cmprLower: return;
          default: right.Next(); break;
        }
      }
  }
  throw EQXLException(10336, "Invalid union type = %d", {static_cast<std::int32_t>(FUnionType)});
}

bool TQXLAOUnion::InternalEof() {
  if (FEof) return true;
  switch (FUnionType) {
    case autIntersect: return FRightAO->GetRecordCount() == 0 || FLeftAO->GetEof();
    case autExcept: return FLeftAO->GetEof();
    case autUnion: return FLeftAO->GetEof() && FRightAO->GetEof();
  }
  return false;  // an unknown type is reported by InternalNext
}

std::int64_t TQXLAOUnion::InternalRecordCount() {
  if (FIsMaterialized) return TQXLAO::InternalRecordCount();
  return 0;
}

}  // namespace qxl
