// The operator base: execution and the result table a row stream is copied
// into.

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/core/schema/QXLUniqueName.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/QXLAdvIndexDefs.h"
#include "engine/datasets/dataset/QXLRecordUse.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/operators/QXLAO.h"
#include "engine/sql/operators/QXLAODistinctRows.h"
#include "engine/sql/operators/QXLAONames.h"

namespace qxl {

namespace {

void AddFieldDef(TQXLTable& Table, const TQXLFieldLink& L, bool StorageTypeOfAutoInc) {
  TQXLAdvancedFieldType Type = L.FieldType;
  if (Type == aftAutoInc)
    Type = aftInteger;
  else if (StorageTypeOfAutoInc && Type >= aftAutoInc && Type <= aftAutoIncCardinal)
    Type = BaseToAdvancedFieldType(AdvancedToBaseFieldType(Type));
  TQXLAdvFieldDef& Def =
      Table.AdvFieldDefs().Add(L.FieldName, Type, L.FieldSize, false, L.BLOBCompressionAlgorithm, L.BLOBCompressionMode);
  Def.BLOBBlockSize = L.BLOBBlockSize;
}

}  // namespace

void TQXLAO::Execute(bool IsRootAO, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor) {
  FIsRootAO = IsRootAO;
  if (!FIsAOTable && FFilterExpr) FFilterExpr->AssignAO(this, ParentQueryAO, ParentCursor);
  if (FLeftAO) FLeftAO->Execute(false, ParentQueryAO, ParentCursor);
  if (FRightAO) FRightAO->Execute(false, ParentQueryAO, ParentCursor);
  AfterChildrenExecuted();

  if (FTopRowCount > 0 && !FResultIndexFieldsList.empty() && FLeftAO) {
    // The first rows read are then the first rows of the order.
    TQXLTable& Input = *FLeftAO->FResultDataset;
    bool Created = false;
    Input.SetIndexName(Input.FindOrCreateIndex(FResultIndexFieldsList, FResultIndexAscDescFieldsList,
                                               FResultIndexCaseInsFieldsList, Created));
  }
  if (FLeftAO) Materialize();
  if (!FResultIndexFieldsList.empty()) ApplyResultIndex(true);
}

void TQXLAO::Materialize() {
  if (FIsMaterialized) return;
  std::vector<std::string> FieldNames, DisplayNames;
  try {
    CreateResultTable(FieldNames, DisplayNames);
    FillResultTable();
    FinishResultTable(FieldNames, DisplayNames);
  } catch (...) {
    // A failed query leaves no temporary table behind.
    DropResultTable();
    throw;
  }
}

void TQXLAO::CreateResultTable(std::vector<std::string>& FieldNames, std::vector<std::string>& DisplayNames) {
  TQXLTable& Table = *FResultDataset;
  Table.Close();
  Table.FieldDefs().Clear();
  Table.IndexDefs().Clear();
  Table.AdvFieldDefs().Clear();
  Table.AdvIndexDefs().Clear();
  if (FResultFieldsOrder.ItemCount() > 0) {
    // The rows go to a temporary table unless this root writes straight
    // into its SELECT INTO target; the cursor command copies them.
    if (!(FIsRootAO && FResultImmediate)) {
      FResultTableName.clear();
      FResultDatabaseName.clear();
    }
    for (std::int32_t k = 0; k < FResultFieldsOrder.ItemCount(); ++k) {
      const std::int32_t No = FResultFieldsOrder[k];
      const TQXLFieldLink& L = Link(No);
      if (L.IsHidden) throw EQXLException(10312, HiddenFieldText(No));
      if (L.DisplayName.empty()) continue;
      FieldNames.push_back(L.FieldName);
      DisplayNames.push_back(L.DisplayName);
    }
    for (const TQXLFieldLink& L : FFieldLinks)
      if (!L.IsHidden) AddFieldDef(Table, L, false);
  } else {
    for (const TQXLFieldLink& L : FFieldLinks) {
      if (L.IsHidden) continue;
      FieldNames.push_back(L.FieldName);
      DisplayNames.emplace_back();
      AddFieldDef(Table, L, true);
    }
  }
  if (FTopRowCount >= 0 && !FResultIndexFieldsList.empty()) Table.SetIndexName(AddResultIndex(true));
  if (!FResultTableName.empty()) {
    Table.SetDatabaseName(FResultDatabaseName);
    if (FResultInMemory) Table.SetInMemory(true);
    Table.SetTableName(FResultTableName);
    Table.SetTemporary(false);
  } else {
    Table.SetTemporary(true);
    Table.SetInMemory(false);
    Table.DisableTempFiles = FDisableTempFiles;
    do Table.SetTableName(UniqueNameWithGuid("TEMPORARY_TABLE_"));
    while (Table.Exists());
  }
  if (FDistinctApplied)
    Table.AdvIndexDefs().Add(UniqueNameWithGuid("TEMPORARY_INDEX_"), FDistinctFields, TIndexOptions{ixUnique});
  FResultTableCreated = true;
  Table.CreateTable();
  Table.Open();
}

void TQXLAO::FillResultTable() {
  TQXLTable& Table = *FResultDataset;
  if (!FDistinctApplied) FDistinctFieldCount = 0;
  // Rows that are not adjacent can repeat too; the temporary table's
  // unique index does not refuse them, so the values seen are kept here.
  TQXLAODistinctRows Seen;
  std::vector<TQXLVariant> Values, Last;
  const bool Adjacent = FDistinctFieldCount > 0 && RepeatsAreAdjacent();
  const auto SameAsLast = [&] {
    if (Last.empty()) return false;
    for (std::size_t k = 0; k < Values.size(); ++k) {
      const TQXLCompareResult R = Values[k].Compare(Last[k], false, false, false);
      if (R != cmprEqual && R != cmprBothNull) return false;
    }
    return true;
  };
  std::int64_t Stored = 0;
  First();
  for (std::int64_t j = 1; !GetEof(); ++j) {
    if (FTopRowCount >= 0 && Stored >= FTopRowCount) break;
    // Rows before the first row count by their position in the input.
    if (FFirstRowNo >= 0 && j < FFirstRowNo) {
      Next();
      continue;
    }
    if (FFilterExpr && !FFilterExpr->GetResult()) {
      Next();
      continue;
    }
    if (FDistinctFieldCount > 0) {
      // A row kept by the ordered set takes its values along.
      Values.resize(static_cast<std::size_t>(FDistinctFieldCount));
      for (std::int32_t k = 0; k < FDistinctFieldCount; ++k)
        GetFieldValue(Values[static_cast<std::size_t>(k)], FDistinctFieldsMap[static_cast<std::size_t>(k)], true,
                      true);
      const bool Repeated = Adjacent ? SameAsLast() : !Seen.Insert(Values);
      if (Adjacent && !Repeated) std::swap(Values, Last);
      if (Repeated) {
        Next();
        continue;
      }
    }
    Table.Append();
    std::int32_t Dest = 0;
    for (std::int32_t i = 0; i < FieldCount(); ++i)
      if (!Link(i).IsHidden) CopyFieldValue(i, Dest++);
    bool Accepted = true;
    if (FDistinctFieldCount > 0 && Table.Handle()) {
      TQXLRecordUse Use(*Table.Handle(), Table.ActiveBuffer());
      Accepted = Table.Handle()->CheckConstraints(true);
    }
    if (Accepted) {
      Table.Post();
      ++Stored;
    } else {
      Table.Cancel();
    }
    Next();
  }
  // A TOP is applied once.
  if (FTopRowCount >= 0) FTopRowCount = -1;
}

void TQXLAO::FinishResultTable(std::vector<std::string>& FieldNames, std::vector<std::string>& DisplayNames) {
  TQXLTable& Table = *FResultDataset;
  if (!FResultIndexFieldsList.empty() && Table.IndexName().empty() && !FDistinctApplied) {
    // The order may name columns by their display names.
    for (std::size_t k = 0; k < DisplayNames.size(); ++k) {
      bool IsFieldName = false;
      for (const std::string& Name : FieldNames) IsFieldName = IsFieldName || SameName(Name, DisplayNames[k]);
      if (IsFieldName) continue;
      for (std::string& Entry : FResultIndexFieldsList)
        if (SameName(Entry, DisplayNames[k])) Entry = UpperCaseName(FieldNames[k]);
    }
    Table.SetIndexName(AddResultIndex(false));
  }
  Table.ApplyProjection(FieldNames, DisplayNames);

  // The links now read the result table: by the table's own field number,
  // or by the visible number where values are not read directly.
  const auto Repoint = [&](TQXLFieldLink& L, std::int32_t FieldNo) {
    L.AO = nullptr;
    L.Expr.reset();
    L.IsExpression = false;
    L.IsAggregate = false;
    L.Dataset = &Table;
    L.FieldNo = FieldNo;
  };
  if (FHasSetResultFields && FIsRootAO && FResultFieldsOrder.ItemCount() > 0 && !UsesDirectFieldAccess()) {
    for (std::int32_t j = 0; j < FResultFieldsOrder.ItemCount(); ++j) {
      const std::int32_t No = FResultFieldsOrder[j];
      if (Link(No).IsHidden) throw EQXLException(10314, HiddenFieldText(No));
      Repoint(Link(No), j);
    }
  } else {
    std::int32_t Position = 0;
    for (TQXLFieldLink& L : FFieldLinks)
      if (!L.IsHidden) Repoint(L, Position++);
  }
  // Hidden links lose the children they came from.
  for (TQXLFieldLink& L : FFieldLinks)
    if (L.IsHidden && !L.Dataset) {
      L.AO = nullptr;
      L.Expr.reset();
    }
  FIsMaterialized = true;
  FLeftAO.reset();
  FRightAO.reset();
}

std::string TQXLAO::AddResultIndex(bool BeforeCreate) {
  std::string Fields, DescFields, CaseInsFields;
  const auto Join = [](std::string& To, const std::string& Name) {
    if (!To.empty()) To += ';';
    To += Name;
  };
  for (std::size_t k = 0; k < FResultIndexFieldsList.size(); ++k) {
    const std::string& Name = FResultIndexFieldsList[k];
    Fields += (k > 0 ? ";" : "") + Name;
    if (FResultIndexAscDescFieldsList[k] == "DESC") Join(DescFields, Name);
    if (FResultIndexCaseInsFieldsList[k] == "NO_CASE") Join(CaseInsFields, Name);
  }
  const std::string IndexName = UniqueNameWithGuid("TEMPORARY_INDEX_");
  if (BeforeCreate)
    FResultDataset->AdvIndexDefs().Add(IndexName, Fields, TIndexOptions{}, false, DescFields, CaseInsFields);
  else
    FResultDataset->AddIndex(IndexName, Fields, TIndexOptions{}, DescFields, CaseInsFields);
  return IndexName;
}

void TQXLAO::ApplyResultIndex(bool FreeLists) {
  if (!FResultDataset) throw EQXLException(10308, "Nil pointer occured");
  TQXLTable& Table = *FResultDataset;
  if (!FResultIndexFieldsList.empty() && Table.IndexName().empty() && Table.IndexFieldNames().empty()) {
    bool Created = false;
    Table.SetIndexName(Table.FindOrCreateIndex(FResultIndexFieldsList, FResultIndexAscDescFieldsList,
                                               FResultIndexCaseInsFieldsList, Created));
  }
  if (FreeLists) ClearResultIndex();
}

}  // namespace qxl
