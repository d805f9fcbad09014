#include "engine/sql/operators/QXLAOTable.h"

#include "engine/core/QXLException.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/operators/QXLAONames.h"

namespace qxl {

TQXLAOTable::TQXLAOTable(const std::string& TableName, const std::string& TableAlias, TQXLDatabase* DB,
                         std::unique_ptr<TQXLTable> Table)
    : TQXLAOFilterable(nullptr, nullptr, TableAlias, TableName), LDatabase(DB) {
  FIsAOTable = true;
  FDisableTempFiles = DB ? DB->DisableTempFiles : false;
  FResultDataset = std::move(Table);
  try {
    if (!FResultDataset->Active()) FResultDataset->Open();
  } catch (const std::exception& E) {
    throw EQXLException(10303, "Error on opening table \"%s\" (InMemory = %d) in SQL query: %s",
                        {TableName, FResultDataset->InMemory() ? 1 : 0, std::string(E.what())});
  }
  const TQXLAdvFieldDefs& Defs = FResultDataset->AdvFieldDefs();
  for (std::int32_t i = 0; i < Defs.Count(); ++i) {
    const TQXLAdvFieldDef& Def = Defs.Defs(i);
    TQXLFieldLink& L = FFieldLinks.emplace_back();
    L.Dataset = FResultDataset.get();
    L.FieldNo = i;
    L.IsHidden = true;
    L.FieldName = Def.Name;
    L.FieldType = Def.DataType;
    L.FieldSize = Def.Size;
    L.BLOBCompressionAlgorithm = Def.BLOBCompressionAlgorithm;
    L.BLOBCompressionMode = Def.BLOBCompressionMode;
    L.BLOBBlockSize = Def.BLOBBlockSize;
  }
}

void TQXLAOTable::SetResultFields(std::vector<TQXLSelectListItem>& FieldRefs, bool bDistinct) {
  if (FieldRefs.empty()) {
    TQXLAO::SetResultFields(FieldRefs, bDistinct);
    return;
  }
  std::vector<std::string> Names, Aliases;
  for (const TQXLSelectListItem& Item : FieldRefs) {
    if (!Item.TableName.empty() && !AnswersTo(Item.TableName))
      throw EQXLException(30327, "Invalid table name in reference. Table name = %s, table alias = %s, tname = %s",
                          {UpperCaseName(FTableName), UpperCaseName(FTableAlias), UpperCaseName(Item.TableName)});
    // "*" makes the whole table the result.
    if (Item.AllFields) return;
    Names.push_back(Item.FieldName);
    Aliases.push_back(Item.Pseudonym);
  }
  TQXLAO::SetResultFields(FieldRefs, bDistinct);
  FResultDataset->ApplyProjection(Names, Aliases);
}

void TQXLAOTable::ApplyDistinctToTable() {
  std::vector<std::string> Names = FResultIndexFieldsList;
  std::vector<std::string> AscDesc = FResultIndexAscDescFieldsList;
  std::vector<std::string> CaseIns = FResultIndexCaseInsFieldsList;
  std::vector<std::string> Parts;
  SplitSemicolonList(Parts, FDistinctFields);
  for (const std::string& Part : Parts) {
    bool Listed = false;
    for (const std::string& Name : Names) Listed = Listed || SameName(Name, Part);
    if (Listed) continue;
    Names.push_back(Part);
    AscDesc.emplace_back("ASC");
    CaseIns.emplace_back("CASE");
  }
  FResultDataset->ApplyDistinct(Names, AscDesc, CaseIns);
  ClearResultIndex();
}

void TQXLAOTable::Execute(bool IsRootAO, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor) {
  if (!FResultIndexFieldsList.empty()) ApplyResultIndex(!FDistinctApplied);
  if (FDistinctApplied) ApplyDistinctToTable();
  TQXLExpression* Condition = FFilterExpr && !FFilterExpr->IsEmpty() ? FFilterExpr.get() : nullptr;
  FResultDataset->SetSQLFilter(Condition, ParentQueryAO, ParentCursor);
  TQXLAO::Execute(IsRootAO, ParentQueryAO, ParentCursor);
}

bool TQXLAOTable::TransferIndexToParentIfNeeded(std::vector<std::string>& FieldNamesList,
                                                std::vector<std::string>& AscDescList,
                                                std::vector<std::string>& CaseSensitivityList) {
  if (!FResultDataset) throw EQXLException(10513, "Nil pointer occured");
  if (FResultIndexFieldsList.empty() || !FResultDataset->IndexName().empty() ||
      FResultDataset->IndexExists(FResultIndexFieldsList, FResultIndexAscDescFieldsList,
                                  FResultIndexCaseInsFieldsList))
    return false;
  FieldNamesList = std::move(FResultIndexFieldsList);
  AscDescList = std::move(FResultIndexAscDescFieldsList);
  CaseSensitivityList = std::move(FResultIndexCaseInsFieldsList);
  ClearResultIndex();
  return true;
}

}  // namespace qxl
