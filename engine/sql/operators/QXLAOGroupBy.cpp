#include "engine/sql/operators/QXLAOGroupBy.h"

#include <limits>

#include "engine/core/QXLException.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/operators/QXLAONames.h"
#include "engine/sql/operators/QXLAOTable.h"

namespace qxl {

TQXLAOGroupBy::TQXLAOGroupBy(std::unique_ptr<TQXLAO> Child, const TQXLFields* FieldList,
                             std::vector<TQXLSelectListItem>& FieldRefs)
    : TQXLAOFilterable(std::move(Child)) {
  FAllFields = !FieldList || FieldList->ItemCount() == 0;
  FIsMaterialized = false;
  FIsAOGroupBy = true;
  TQXLAO& Input = *FLeftAO;
  for (std::int32_t i = 0; i < Input.FieldCount(); ++i) {
    const TQXLFieldLink& C = Input.FieldLink(i);
    TQXLFieldLink& L = FFieldLinks.emplace_back();
    L.AO = &Input;
    L.FieldNo = i;
    L.IsHidden = true;
    L.FieldName = C.FieldName;
    L.FieldType = C.FieldType;
    L.FieldSize = C.FieldSize;
    L.FieldPrecision = C.FieldPrecision;
    L.BLOBCompressionAlgorithm = C.BLOBCompressionAlgorithm;
    L.BLOBCompressionMode = C.BLOBCompressionMode;
    L.BLOBBlockSize = C.BLOBBlockSize;
  }
  if (FAllFields) return;
  for (std::int32_t i = 0; i < FieldList->ItemCount(); ++i) {
    const TQXLSelectListItem& Item = FieldList->Items[static_cast<std::size_t>(i)];
    std::int32_t Found = FieldExists(Item.FieldName, Item.TableName, true, FFields, false, false);
    if (Found == 0) {
      // Perhaps an alias of a select-list column; an aggregate cannot be grouped by.
      for (const TQXLSelectListItem& Selected : FieldRefs) {
        if (Selected.Pseudonym.empty() || !SameName(Selected.Pseudonym, Item.FieldName)) continue;
        auto* Expr = dynamic_cast<TQXLExpression*>(Selected.ValueExpr.get());
        if (!(Selected.IsExpression && Expr && Expr->IsAggregated()) && !Selected.FieldName.empty())
          Found = FieldExists(Selected.FieldName, Selected.TableName, true, FFields, false, false);
        break;
      }
    }
    if (Found <= 0)
      throw EQXLException(20245, "Invalid field for 'GROUP BY.' Table name = '%s', FieldName = '%s', i = %d, FieldExists = %d",
                          {Item.TableName, Item.FieldName, i, Found});
    if (!FGroupByFields.empty()) FGroupByFields += ';';
    FGroupByFields += Link(FFields[FFields.ItemCount() - 1]).FieldName;
  }
  // The child is read sorted on the group columns, NULL first.
  Input.SetIndex(FGroupByFields, "", "");
}

void TQXLAOGroupBy::SetResultFields(std::vector<TQXLSelectListItem>& FieldRefs, bool bDistinct) {
  // DISTINCT is applied to the grouped rows below, not to the input.
  TQXLAO::SetResultFields(FieldRefs, false);
  for (const TQXLFieldLink& L : FFieldLinks)
    if (L.IsExpression && !L.IsHidden && L.Expr && !L.Expr->CanBeUsedInGroupBy(FGroupByFields))
      throw EQXLException(20269,
                          "Expression (Name=\"%s\", DisplayName=\"%s\") cannot be used with GROUP BY. Possibly "
                          "expression is not aggregate, but it uses fields not included into group fields",
                          {L.FieldName, L.DisplayName});
  for (const TQXLSelectListItem& Item : FieldRefs) {
    if (Item.IsExpression) continue;
    const std::string Name = Item.AllFields ? "*" : Item.FieldName;
    if (Name.empty()) continue;
    TQXLIntegerArray Numbers;
    if (FieldExists(Name, Item.TableName, false, Numbers, false, false) == 0)
      throw EQXLException(10341, "Cannot find field %s in table %s", {Name, Item.TableName});
    for (std::int32_t k = 0; k < Numbers.ItemCount(); ++k)
      if (!FFields.IsValueExists(Numbers[k]))
        throw EQXLException(10342,
                            "Field is not included in GROUP BY list. Table name = '%s', Field name = '%s', "
                            "FieldNo = %d, Found field name = '%s'",
                            {Item.TableName, Name, Numbers[k], Link(Numbers[k]).FieldName});
  }
  if (bDistinct) {
    std::string Names;
    for (std::int32_t k = 0; k < FResultFieldsOrder.ItemCount(); ++k) {
      if (k > 0) Names += ';';
      Names += Link(FResultFieldsOrder[k]).FieldName;
    }
    ApplyDistinct(Names);
  }
}

// ---- Groups ---------------------------------------------------------------------

std::int64_t TQXLAOGroupBy::InternalRecordCount() { return FLeftAO->GetRecordCount(); }

void TQXLAOGroupBy::InitAggregates() {
  if (FFilterExpr) FFilterExpr->Init();
  if (!FExpressionsExists) return;
  for (TQXLFieldLink& L : FFieldLinks)
    if (L.IsExpression && L.IsAggregate && L.Expr) L.Expr->Init();
}

void TQXLAOGroupBy::AccumulateAggregates() {
  if (FFilterExpr) FFilterExpr->Accumulate();
  if (!FExpressionsExists) return;
  for (TQXLFieldLink& L : FFieldLinks)
    if (L.IsExpression && L.IsAggregate && L.Expr) L.Expr->Accumulate();
}

void TQXLAOGroupBy::KeepGroupKey() {
  TQXLAO& Input = *FLeftAO;
  FGroupKey.resize(static_cast<std::size_t>(FFields.ItemCount()));
  for (std::int32_t k = 0; k < FFields.ItemCount(); ++k)
    Input.GetFieldValue(FGroupKey[static_cast<std::size_t>(k)], Link(FFields[k]).FieldNo, true, true);
}

bool TQXLAOGroupBy::InSameGroup() {
  TQXLAO& Input = *FLeftAO;
  for (std::int32_t k = 0; k < FFields.ItemCount(); ++k) {
    const TQXLFieldLink& L = Link(FFields[k]);
    TQXLCompareResult R = cmprEqual;
    try {
      Input.GetFieldValue(FCurrentValue, L.FieldNo, false, true);
      R = FGroupKey[static_cast<std::size_t>(k)].Compare(FCurrentValue, false, false, false);
    } catch (const EQXLException& E) {
      throw EQXLException(10340, "Cannot compare values for fields: %s, %s. Error: %s",
                          {L.FieldName, Input.GetFieldNameByColumnNo(L.FieldNo), std::string(E.what())});
    }
    if (R != cmprEqual && R != cmprBothNull) return false;
  }
  return true;
}

TQXLExpression* TQXLAOGroupBy::ChildTableFilter() const {
  auto* Table = dynamic_cast<TQXLAOTable*>(FLeftAO.get());
  return Table && Table->Filter() && !Table->Filter()->IsEmpty() ? Table->Filter() : nullptr;
}

void TQXLAOGroupBy::InternalFirst() {
  FEOF = false;
  TQXLExpression* Where = ChildTableFilter();
  if (!FAllFields && Where) FLeftAO->ResultDataset()->SetSQLFilter(Where, nullptr, nullptr);
  FLeftAO->First();
  if (!FAllFields) FEOF = FLeftAO->GetEof();
  FFirstTimeCalled = true;
  InternalNext();
}

void TQXLAOGroupBy::InternalNext() {
  TQXLAO& Input = *FLeftAO;
  if (FAllFields) {
    if (!FFirstTimeCalled) {
      FEOF = true;
      return;
    }
    FFirstTimeCalled = false;
    bool Aggregates = false, CountAllOnly = true;
    for (const TQXLFieldLink& L : FFieldLinks)
      if (L.IsExpression && L.IsAggregate && L.Expr) {
        Aggregates = true;
        CountAllOnly = CountAllOnly && L.Expr->IsAggregatedCountAll();
      }
    // HAVING may aggregate other values: then the rows are read.
    if (Aggregates && CountAllOnly && !FFilterExpr) {
      const std::int64_t Count = Input.GetRecordCount();
      for (TQXLFieldLink& L : FFieldLinks)
        if (L.IsExpression && L.IsAggregate && L.Expr)
          L.Expr->SetCountAll(static_cast<std::int32_t>(std::min<std::int64_t>(Count, std::numeric_limits<std::int32_t>::max())));
      return;
    }
    InitAggregates();
    for (; !Input.GetEof(); Input.Next()) AccumulateAggregates();
    Input.First();
    return;
  }
  if (!FFirstTimeCalled) {
    NextGroup(false);
    return;
  }
  FFirstTimeCalled = false;
  InitAggregates();
  if (Input.GetEof()) {
    if (!FExpressionsExists) FEOF = true;
    return;
  }
  NextGroup(true);
}

void TQXLAOGroupBy::NextGroup(bool Started) {
  TQXLAO& Input = *FLeftAO;
  if (!Started) {
    // From the last row of the group before to the first row of this one.
    Input.Next();
    InitAggregates();
    if (Input.GetEof()) {
      FEOF = true;
      return;
    }
  }
  KeepGroupKey();
  AccumulateAggregates();
  for (;;) {
    // At the end of the input the last row stays current.
    Input.Next();
    if (Input.GetEof()) return;
    if (!InSameGroup()) {
      Input.ResultDataset()->Prior();
      return;
    }
    AccumulateAggregates();
  }
}

}  // namespace qxl
