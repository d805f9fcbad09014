// The operator base: construction, reading, name resolution and value access.
#include "engine/sql/operators/QXLAO.h"

#include <stdexcept>

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/core/schema/QXLUniqueName.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/nodes/QXLSemicolonList.h"
#include "engine/sql/operators/QXLAONames.h"

namespace qxl {

void TQXLFields::Append(const TQXLSelectListItem& Item) {
  TQXLSelectListItem& Copy = Items.emplace_back();
  Copy.TableName = Item.TableName;
  Copy.AllFields = Item.AllFields;
  Copy.FieldName = Item.FieldName;
  Copy.IsExpression = Item.IsExpression;
  Copy.IsDuplicatedField = Item.IsDuplicatedField;
  Copy.Pseudonym = Item.Pseudonym;
}

TQXLFieldLink::TQXLFieldLink() = default;
TQXLFieldLink::~TQXLFieldLink() = default;
TQXLFieldLink::TQXLFieldLink(TQXLFieldLink&&) noexcept = default;
TQXLFieldLink& TQXLFieldLink::operator=(TQXLFieldLink&&) noexcept = default;

void TQXLAOFilterable::SetFilterExpression(std::unique_ptr<TQXLExpression> Filter) { SetFilter(std::move(Filter)); }

TQXLAO::TQXLAO(std::unique_ptr<TQXLAO> LeftAO, std::unique_ptr<TQXLAO> RightAO, std::string TableAlias,
               std::string TableName)
    : FTableName(std::move(TableName)),
      FTableAlias(std::move(TableAlias)),
      FResultDataset(std::make_unique<TQXLTable>()),
      FLeftAO(std::move(LeftAO)),
      FRightAO(std::move(RightAO)) {
  std::string Session;
  if (FLeftAO && FLeftAO->FResultDataset) Session = FLeftAO->FResultDataset->SessionName();
  if (Session.empty() && FRightAO && FRightAO->FResultDataset) Session = FRightAO->FResultDataset->SessionName();
  if (!Session.empty()) FResultDataset->SetSessionName(Session);
  FDisableTempFiles = (FLeftAO && FLeftAO->FDisableTempFiles) || (FRightAO && FRightAO->FDisableTempFiles);
}

TQXLAO::~TQXLAO() {
  try {
    if (FIsAOTable && FIsLocked && FResultDataset && FResultDataset->Active() && FResultDataset->Handle())
      FResultDataset->Handle()->UnlockTable(ltS, true);
  } catch (...) {
    // A lock that cannot be given back goes with the cursor.
  }
  // Expressions bound to this operator or its children go before them.
  FFieldLinks.clear();
  FFilterExpr.reset();
  DropResultTable();
  FResultDataset.reset();
  FLeftAO.reset();
  FRightAO.reset();
}

void TQXLAO::DropResultTable() noexcept {
  if (!FResultDataset) return;
  try {
    FResultDataset->Close();
  } catch (...) {
  }
  if (!FResultTableCreated || !FResultDataset->Temporary()) return;
  FResultTableCreated = false;
  try {
    FResultDataset->DeleteTable();
  } catch (...) {
    // The temporary database forgets the table with the process at the latest.
  }
}

// ---- Reading -------------------------------------------------------------------

std::int64_t TQXLAO::InternalRecordCount() {
  return FIsMaterialized && FResultDataset && FResultDataset->Active() ? FResultDataset->RecordCount() : 0;
}

void TQXLAO::First() {
  if (FIsMaterialized)
    FResultDataset->First();
  else
    InternalFirst();
}

void TQXLAO::Next() {
  if (FIsMaterialized)
    FResultDataset->Next();
  else
    InternalNext();
}

bool TQXLAO::GetEof() { return FIsMaterialized ? FResultDataset->Eof() : InternalEof(); }

std::int64_t TQXLAO::GetRecordCount() {
  return FIsMaterialized ? (FResultDataset->Active() ? FResultDataset->RecordCount() : 0) : InternalRecordCount();
}

// ---- Names ---------------------------------------------------------------------

bool TQXLAO::AnswersTo(const std::string& Qualifier) const {
  // An alias hides the table's own name, so that an inner reference to the
  // table's name reaches the enclosing query.
  return SameName(Qualifier, FTableAlias.empty() ? FTableName : FTableAlias);
}

TQXLFieldLink& TQXLAO::Link(std::int32_t FieldNo) { return FFieldLinks[static_cast<std::size_t>(FieldNo)]; }

const TQXLFieldLink& TQXLAO::FieldLink(std::int32_t FieldNo) const {
  if (FieldNo < 0 || FieldNo >= FieldCount())
    throw EQXLException(10306, "Invalid field number - FieldNo = %d, FieldCount = %d", {FieldNo, FieldCount()});
  return FFieldLinks[static_cast<std::size_t>(FieldNo)];
}

std::string TQXLAO::HiddenFieldText(std::int32_t FieldNo) const {
  const TQXLFieldLink& L = FFieldLinks[static_cast<std::size_t>(FieldNo)];
  return platform::FormatArgs(
      "Cannot access hidden field: table name = %s, field name = %s, display name = %s, FieldNo = %d",
      std::initializer_list<platform::FormatArg>{FTableName, L.FieldName, L.DisplayName, FieldNo});
}

std::int32_t TQXLAO::FieldExists(const std::string& FieldName, const std::string& TableName, bool Unhide,
                                 TQXLIntegerArray& FieldNumbers, bool UnhideChildrenOnly,
                                 bool ScanOnlyVisibleFields) {
  const bool UnhideHere = Unhide && !UnhideChildrenOnly;
  if (FIsAOTable && !TableName.empty() && !AnswersTo(TableName)) return 0;
  std::int32_t Count = 0;
  const auto Take = [&](std::int32_t i, bool MayUnhide) {
    ++Count;
    FieldNumbers.Append(i);
    if (MayUnhide && UnhideHere) Link(i).IsHidden = false;
  };

  if (FieldName != "*") {
    for (TQXLAO* Child : {FLeftAO.get(), FRightAO.get()}) {
      if (!Child) continue;
      TQXLIntegerArray ChildNumbers;
      Child->FieldExists(FieldName, TableName, Unhide, ChildNumbers, false, false);
      for (std::int32_t k = 0; k < ChildNumbers.ItemCount(); ++k)
        for (std::int32_t i = 0; i < FieldCount(); ++i) {
          const TQXLFieldLink& L = Link(i);
          if (L.AO == Child && !L.IsExpression && L.FieldNo == ChildNumbers[k] &&
              !(ScanOnlyVisibleFields && L.IsHidden))
            Take(i, true);
        }
    }
    for (std::int32_t i = 0; i < FieldCount(); ++i) {
      const TQXLFieldLink& L = Link(i);
      if (!SameName(L.FieldName, FieldName) && !SameName(L.DisplayName, FieldName)) continue;
      if (!TableName.empty() && !AnswersTo(TableName)) continue;
      if (ScanOnlyVisibleFields && L.IsHidden) continue;
      if (!FieldNumbers.IsValueExists(i)) Take(i, true);
      break;
    }
    return Count;
  }

  // "*": the children's columns in link order, left side first.
  TQXLIntegerArray LeftNumbers, RightNumbers;
  if (FLeftAO) FLeftAO->FieldExists("*", TableName, Unhide, LeftNumbers, false, false);
  // A derived table named by its alias gives all its columns.
  const bool Named = !FIsAOTable && !TableName.empty() && !FTableAlias.empty() && AnswersTo(TableName);
  for (std::int32_t i = 0; i < FieldCount(); ++i) {
    const TQXLFieldLink& L = Link(i);
    bool Taken = FIsAOTable;
    if (!Taken && L.IsExpression) Taken = TableName.empty() ? FTableName.empty() : AnswersTo(TableName);
    if (!Taken && FLeftAO && L.AO == FLeftAO.get() && !L.IsExpression) Taken = LeftNumbers.IsValueExists(L.FieldNo);
    if (!Taken && Named) Taken = !L.IsHidden;
    if (Taken) Take(i, !FIsAOGroupBy);
  }
  if (FRightAO) {
    FRightAO->FieldExists("*", TableName, Unhide, RightNumbers, false, false);
    for (std::int32_t i = 0; i < FieldCount(); ++i) {
      const TQXLFieldLink& L = Link(i);
      if (L.AO == FRightAO.get() && !L.IsExpression && RightNumbers.IsValueExists(L.FieldNo) &&
          !FieldNumbers.IsValueExists(i))
        Take(i, !FIsAOGroupBy);
    }
  }
  return Count;
}

bool TQXLAO::FindFieldInFieldLinks(const std::string& FieldName, std::int32_t& FieldNo) const {
  for (std::int32_t i = 0; i < FieldCount(); ++i) {
    const TQXLFieldLink& L = FFieldLinks[static_cast<std::size_t>(i)];
    if (SameName(L.FieldName, FieldName) || SameName(L.DisplayName, FieldName)) {
      FieldNo = i;
      return true;
    }
  }
  return false;
}

std::string TQXLAO::GetFieldName(std::int32_t FieldNo, bool ApplyOrderBy) {
  if (FieldNo < 0 || FieldNo >= FieldCount())
    throw EQXLException(10306, "Invalid field number - FieldNo = %d, FieldCount = %d", {FieldNo, FieldCount()});
  const TQXLFieldLink& L = Link(FieldNo);
  if (L.Dataset) {
    if (L.Dataset == FResultDataset.get()) return L.FieldName;
    TQXLCursor* C = L.Dataset->Handle();
    if (C && C->FFieldDefs && L.FieldNo >= 0 && L.FieldNo < C->FFieldDefs->Count())
      return C->FFieldDefs->GetDef(L.FieldNo)->Name;
    return L.FieldName;
  }
  if (ApplyOrderBy || !L.AO || L.IsExpression) return L.FieldName;
  return L.AO->GetFieldName(L.FieldNo, false);
}

std::string TQXLAO::GetFieldNameByColumnName(const std::string& ColumnName) const {
  std::int32_t No = -1;
  return FindFieldInFieldLinks(ColumnName, No) ? FFieldLinks[static_cast<std::size_t>(No)].FieldName : std::string();
}

std::string TQXLAO::GetFieldNameByColumnNo(std::int32_t ColumnNo) { return FieldLink(ColumnNo).FieldName; }

std::string TQXLAO::GetFieldNameByVisibleNumber(std::int32_t VisibleFieldNo) const {
  if (VisibleFieldNo < 0 || VisibleFieldNo >= FResultFieldsOrder.ItemCount())
    throw EQXLException(20243, "Invalid field number in ORDER BY clause: %d", {VisibleFieldNo + 1});
  return FFieldLinks[static_cast<std::size_t>(FResultFieldsOrder[VisibleFieldNo])].DisplayName;
}

std::int32_t TQXLAO::GetFieldNoByVisibleNumber(std::int32_t VisibleFieldNo) const {
  if (FResultFieldsOrder.ItemCount() == 0) return VisibleFieldNo;
  if (VisibleFieldNo < 0 || VisibleFieldNo >= FResultFieldsOrder.ItemCount())
    throw EQXLException(20243, "Invalid field number in ORDER BY clause: %d", {VisibleFieldNo + 1});
  return FResultFieldsOrder[VisibleFieldNo];
}

void TQXLAO::MakeUniqueFieldNames() {
  for (std::int32_t i = 0; i < FieldCount(); ++i) {
    std::string Name = GetFieldName(i, false);
    Link(i).FieldName = Name.empty() ? UniqueNameWithGuid("Expr") : Name;
  }
  const auto Dedupe = [this](std::int32_t i) {
    std::string& Name = Link(i).FieldName;
    const auto Taken = [&] {
      for (std::int32_t k = 0; k < i; ++k)
        if (SameName(Link(k).FieldName, Name)) return true;
      return false;
    };
    for (std::int32_t Suffix = 1; Taken(); ++Suffix) Name += Suffix == 1 ? "_1" : std::to_string(Suffix);
  };
  for (std::int32_t i = 0; i < FieldCount(); ++i)
    if (Link(i).IsHidden) Dedupe(i);
  for (std::int32_t i = 1; i < FieldCount(); ++i) Dedupe(i);
}

// ---- Values --------------------------------------------------------------------

void TQXLAO::GetFieldValue(TQXLVariant& Value, std::int32_t FieldNo, bool bCopy, bool AccessToHidden) {
  if (FieldNo < 0 || FieldNo >= FieldCount())
    throw EQXLException(10307, "Invalid field number - FieldNo = %d, FieldCount = %d", {FieldNo, FieldCount()});
  Value.Clear();
  TQXLFieldLink& L = Link(FieldNo);
  if (!L.Dataset && !L.AO && !(L.IsExpression && L.Expr))
    throw EQXLException(10309, "Invalid field link: table name = %s, FieldNo = %d", {FTableName, FieldNo});
  if (L.IsHidden && !AccessToHidden) throw EQXLException(10310, HiddenFieldText(FieldNo));
  if (L.IsExpression) {
    if (TQXLVariant* Result = L.Expr ? L.Expr->GetValue(true) : nullptr) Value.Assign(*Result, bCopy);
    return;
  }
  if (L.AO) {
    if ((FLeftAONull && L.AO == FLeftAO.get()) || (FRightAONull && L.AO == FRightAO.get())) return;
    L.AO->GetFieldValue(Value, L.FieldNo, bCopy, AccessToHidden);
    return;
  }
  if (L.Dataset->Eof() && L.Dataset->Bof()) return;
  L.Dataset->GetFieldValue(Value, L.FieldNo, UsesDirectFieldAccess());
}

TQXLAdvancedFieldType TQXLAO::GetFieldType(std::int32_t FieldNo) {
  if (FieldNo < 0 || FieldNo >= FieldCount())
    throw EQXLException(10376, "Invalid field number - FieldNo = %d, FieldCount = %d", {FieldNo, FieldCount()});
  return Link(FieldNo).FieldType;
}

std::int32_t TQXLAO::GetFieldSize(std::int32_t FieldNo) {
  if (FieldNo < 0 || FieldNo >= FieldCount())
    throw EQXLException(10377, "Invalid field number - FieldNo = %d, FieldCount = %d", {FieldNo, FieldCount()});
  return Link(FieldNo).FieldSize;
}

std::int32_t TQXLAO::GetFieldPrecision(std::int32_t FieldNo) {
  if (FieldNo < 0 || FieldNo >= FieldCount())
    throw EQXLException(10378, "Invalid field number - FieldNo = %d, FieldCount = %d", {FieldNo, FieldCount()});
  return Link(FieldNo).FieldPrecision;
}

bool TQXLAO::GetFieldDatsetAndFieldNo(std::int32_t FieldNo, TQXLDataSet*& SrcFieldDatset,
                                      std::int32_t& SrcFieldDatasetFieldNo) {
  TQXLAO* AO = this;
  std::int32_t No = FieldNo;
  for (;;) {
    if (No < 0 || No >= AO->FieldCount()) return false;
    const TQXLFieldLink& L = AO->Link(No);
    if (L.IsExpression) return false;
    if (L.Dataset) {
      // Only a dataset read by the table's own field numbers copies directly.
      if (!AO->UsesDirectFieldAccess()) return false;
      SrcFieldDatset = L.Dataset;
      SrcFieldDatasetFieldNo = L.FieldNo;
      return true;
    }
    if (!L.AO || L.AO == AO) return false;
    if ((AO->FLeftAONull && L.AO == AO->FLeftAO.get()) || (AO->FRightAONull && L.AO == AO->FRightAO.get()))
      return false;
    No = L.FieldNo;
    AO = L.AO;
  }
}

void TQXLAO::CopyFieldValue(std::int32_t SrcFieldNo, std::int32_t DestFieldNo) {
  const TQXLFieldLink& L = FieldLink(SrcFieldNo);
  TQXLDataSet* Source = nullptr;
  std::int32_t SourceNo = -1;
  if (!L.IsHidden && !L.IsExpression && GetFieldDatsetAndFieldNo(SrcFieldNo, Source, SourceNo) &&
      !(Source->Eof() && Source->Bof())) {
    Source->CopyFieldValue(SourceNo, true, DestFieldNo, *FResultDataset);
    return;
  }
  GetFieldValue(FValue, SrcFieldNo, false, true);
  FResultDataset->SetFieldValue(FValue, DestFieldNo, false);
  FValue.Clear();
}

void TQXLAO::AddChildFieldLink(std::int32_t ChildFieldNo, bool SkipHidden) {
  TQXLAO& Child = *FLeftAO;
  const TQXLFieldLink& C = Child.FieldLink(ChildFieldNo);
  if (SkipHidden && C.IsHidden && Child.FHasSetResultFields) return;
  TQXLFieldLink& L = FFieldLinks.emplace_back();
  L.AO = &Child;
  L.FieldNo = ChildFieldNo;
  L.IsHidden = C.IsHidden;
  L.FieldName = Child.FHasSetResultFields && !C.DisplayName.empty() ? C.DisplayName : C.FieldName;
  L.FieldType = C.FieldType;
  L.FieldSize = C.FieldSize;
  L.FieldPrecision = C.FieldPrecision;
  L.BLOBCompressionAlgorithm = C.BLOBCompressionAlgorithm;
  L.BLOBCompressionMode = C.BLOBCompressionMode;
  L.BLOBBlockSize = C.BLOBBlockSize;
}

// ---- Settings ------------------------------------------------------------------

void TQXLAO::SetFilter(std::unique_ptr<TQXLExpression> FilterExpr) {
  if (!FilterExpr) return;
  if (!FFilterExpr)
    FFilterExpr = std::move(FilterExpr);
  else
    FFilterExpr->AddAndMoveNodesFromExpression(*FilterExpr);
}

void TQXLAO::SetFilterExpression(std::unique_ptr<TQXLBaseExpression> Filter) {
  if (!Filter) return;
  auto* Sql = dynamic_cast<TQXLExpression*>(Filter.get());
  if (!Sql) throw std::invalid_argument("an operator's filter must be an SQL expression");
  Filter.release();
  SetFilter(std::unique_ptr<TQXLExpression>(Sql));
}

void TQXLAO::SetResultTable(bool InMemory, bool Immediate, const std::string& TableName,
                            const std::string& DatabaseName) {
  FResultInMemory = InMemory;
  FResultImmediate = Immediate;
  FResultTableName = TableName;
  FResultDatabaseName = DatabaseName;
}

void TQXLAO::ApplyDistinct(const std::string& DistinctFields) {
  std::vector<std::string> Parts;
  SplitSemicolonList(Parts, DistinctFields);
  FDistinctApplied = !Parts.empty();
  if (FDistinctApplied) {
    FDistinctFields = DistinctFields;
    FDistinctFieldCount = static_cast<std::int32_t>(Parts.size());
    FDistinctFieldsMap.assign(Parts.size(), 0);
    for (std::size_t k = 0; k < Parts.size(); ++k)
      for (std::int32_t i = 0; i < FieldCount(); ++i)
        if (SameName(Link(i).FieldName, Parts[k])) {
          FDistinctFieldsMap[k] = i;
          break;
        }
  }
  if (!PushesDistinctToChildren()) return;
  for (TQXLAO* Child : {FLeftAO.get(), FRightAO.get()}) {
    if (!Child || Child->FIsAOTable) continue;
    std::string Names;
    for (const TQXLFieldLink& L : FFieldLinks) {
      if (L.IsHidden || L.IsExpression || L.AO != Child) continue;
      if (!Names.empty()) Names += ';';
      Names += Child->GetFieldNameByColumnNo(L.FieldNo);
    }
    if (!Names.empty()) Child->ApplyDistinct(Names);
  }
}

void TQXLAO::SetTopRowCount(std::int64_t FirstRowNo, std::int64_t TopRowCount) {
  // DISTINCT and an order of its own leave the pair to the TOP operator above.
  if (FDistinctApplied || !FResultIndexFieldsList.empty()) return;
  FTopRowCount = TopRowCount;
  FFirstRowNo = FirstRowNo < 0 ? 1 : FirstRowNo;
}

void TQXLAO::SetIndex(const std::string& IndexFieldNames, const std::string& DescFields,
                      const std::string& CaseInsensitiveFields) {
  ClearResultIndex();
  std::vector<std::string> Desc, CaseIns;
  SplitSemicolonList(FResultIndexFieldsList, IndexFieldNames);
  SplitSemicolonList(Desc, DescFields);
  SplitSemicolonList(CaseIns, CaseInsensitiveFields);
  const auto Holds = [](const std::vector<std::string>& List, const std::string& Name) {
    for (const std::string& Item : List)
      if (Item == Name) return true;
    return false;
  };
  for (const std::string& Name : FResultIndexFieldsList) {
    FResultIndexAscDescFieldsList.push_back(Holds(Desc, Name) ? "DESC" : "ASC");
    FResultIndexCaseInsFieldsList.push_back(Holds(CaseIns, Name) ? "NO_CASE" : "CASE");
  }
  if (FDistinctApplied) ApplyDistinct(FDistinctFields);
}

void TQXLAO::ClearResultIndex() {
  FResultIndexFieldsList.clear();
  FResultIndexAscDescFieldsList.clear();
  FResultIndexCaseInsFieldsList.clear();
}

void TQXLAO::SetResultFields(std::vector<TQXLSelectListItem>& FieldRefs, bool bDistinct) {
  if (FieldRefs.empty()) {
    FieldExists("*", "", true, FResultFieldsOrder, false, false);
  } else {
    for (TQXLSelectListItem& Item : FieldRefs) {
      auto* Expr = Item.IsExpression ? dynamic_cast<TQXLExpression*>(Item.ValueExpr.get()) : nullptr;
      if (Expr && (!Expr->IsAggregated() || FIsAOGroupBy)) {
        Item.ValueExpr.release();
        std::unique_ptr<TQXLExpression> Owned(Expr);
        const std::int32_t No = FieldCount();
        TQXLFieldLink& L = FFieldLinks.emplace_back();
        L.FieldName = Item.Pseudonym.empty() ? UniqueNameWithGuid("Expr") : Item.Pseudonym;
        L.DisplayName = L.FieldName;
        L.AO = this;
        L.IsExpression = true;
        const std::string Name = L.FieldName;
        // Binding may look at the links, which may grow meanwhile.
        Owned->AssignAO(this, nullptr, nullptr);
        TQXLFieldLink& Bound = Link(No);
        Bound.FieldType = Owned->GetDataType();
        Bound.FieldSize = Owned->GetDataSize();
        Bound.FieldPrecision = Owned->GetPrecision();
        Bound.IsAggregate = Owned->IsAggregated();
        const bool PlainColumn = !FIsAOGroupBy && !Bound.IsAggregate;
        Bound.Expr = std::move(Owned);
        FExpressionsExists = true;
        FResultFieldsOrder.Append(No);
        if (PlainColumn) {
          Item.IsExpression = false;
          Item.FieldName = Name;
        }
        continue;
      }
      const std::string Name = Item.AllFields ? "*" : Item.FieldName;
      // An aggregate without a name is left to the grouping above.
      if (Name.empty()) continue;
      const std::int32_t Before = FResultFieldsOrder.ItemCount();
      std::int32_t Found = FieldExists(Name, Item.TableName, true, FResultFieldsOrder, false, false);
      if (Found == 0) throw EQXLException(10305, "Cannot find field %s", {Name});
      if (Found > 1 && Name != "*") {
        FResultFieldsOrder.SetSize(Before + 1);
        Found = 1;
      }
      if (Found == 1 && FResultFieldsOrder.ItemCount() > Before) {
        TQXLFieldLink& L = Link(FResultFieldsOrder[FResultFieldsOrder.ItemCount() - 1]);
        if (!Item.Pseudonym.empty())
          L.DisplayName = Item.Pseudonym;
        else if (Name != "*")
          L.DisplayName = Item.FieldName;
      }
    }
  }
  std::string Names;
  for (std::int32_t k = 0; k < FResultFieldsOrder.ItemCount(); ++k) {
    TQXLFieldLink& L = Link(FResultFieldsOrder[k]);
    if (L.DisplayName.empty()) L.DisplayName = L.FieldName;
    if (k > 0) Names += ';';
    Names += L.FieldName;
  }
  if (bDistinct) ApplyDistinct(Names);
  FHasSetResultFields = true;
}

// ---- Tables of the tree ----------------------------------------------------------

bool TQXLAO::LockTables() {
  if (!FIsAOTable) return (!FLeftAO || FLeftAO->LockTables()) && (!FRightAO || FRightAO->LockTables());
  if (!FResultDataset->Active() || !FResultDataset->Handle()) return false;
  FIsLocked = FResultDataset->Handle()->LockTable(ltS, 2, 20, true);
  return FIsLocked;
}

bool TQXLAO::UnlockTables() {
  if (!FIsAOTable) return (!FLeftAO || FLeftAO->UnlockTables()) && (!FRightAO || FRightAO->UnlockTables());
  if (!FIsLocked) return true;
  if (!FResultDataset->Active() || !FResultDataset->Handle()) return false;
  const bool Done = FResultDataset->Handle()->UnlockTable(ltS, true);
  FIsLocked = !Done;
  return Done;
}

bool TQXLAO::OpenTables() {
  if (!FIsAOTable) return (!FLeftAO || FLeftAO->OpenTables()) && (!FRightAO || FRightAO->OpenTables());
  try {
    FResultDataset->Open();
    return true;
  } catch (...) {
    try {
      FResultDataset->Close();
    } catch (...) {
    }
    return false;
  }
}

bool TQXLAO::CloseTables() {
  if (!FIsAOTable) return (!FLeftAO || FLeftAO->CloseTables()) && (!FRightAO || FRightAO->CloseTables());
  try {
    FResultDataset->Close();
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace qxl
