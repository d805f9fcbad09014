#include "engine/sql/operators/QXLAOTableExpr.h"

#include <algorithm>

#include "engine/sql/operators/QXLAOTable.h"

namespace qxl {

TQXLAOOneChild::TQXLAOOneChild(std::unique_ptr<TQXLAO> Child) : TQXLAOFilterable(std::move(Child)) {
  FIsMaterialized = false;
  TQXLAO& Input = *FLeftAO;
  if (Input.HasSetResultFields()) {
    for (std::int32_t k = 0; k < Input.ResultFieldsOrder().ItemCount(); ++k)
      AddChildFieldLink(Input.ResultFieldsOrder()[k], true);
  } else {
    for (std::int32_t i = 0; i < Input.FieldCount(); ++i) AddChildFieldLink(i, true);
  }
}

void TQXLAOOneChild::InternalFirst() { FLeftAO->First(); }
void TQXLAOOneChild::InternalNext() { FLeftAO->Next(); }
bool TQXLAOOneChild::InternalEof() { return FLeftAO->GetEof(); }
std::int64_t TQXLAOOneChild::InternalRecordCount() { return FLeftAO->GetRecordCount(); }

void TQXLAOOneChild::SetTopRowCount(std::int64_t FirstRowNo, std::int64_t TopRowCount) {
  TQXLAO::SetTopRowCount(FirstRowNo, TopRowCount);
  if (FTopRowCount < 0 || !FLeftAO) return;
  // This operator skips the leading rows; the child may stop after the
  // rows needed, unless a filter here can still refuse some of them.
  if (FFilterExpr) return;
  FLeftAO->SetTopRowCount(-1, FTopRowCount + std::max<std::int64_t>(FFirstRowNo, 1) - 1);
}

void TQXLAOTableExpr::TranslateOrderByNames() {
  for (std::string& Name : FResultIndexFieldsList) {
    std::int32_t No = -1;
    if (FindFieldInFieldLinks(Name, No) || !FLeftAO->FindFieldInFieldLinks(Name, No)) continue;
    const std::string& Display = FLeftAO->FieldLink(No).DisplayName;
    if (!Display.empty()) Name = Display;
  }
}

void TQXLAOTableExpr::AddOrderByFieldLinks() {
  for (const std::string& Name : FResultIndexFieldsList) {
    std::int32_t No = -1;
    if (FindFieldInFieldLinks(Name, No)) {
      // A column this operator links but does not show is carried as well.
      Link(No).IsHidden = false;
      continue;
    }
    if (!FLeftAO->FindFieldInFieldLinks(Name, No)) continue;
    AddChildFieldLink(No, false);
    // Carried in the result table to be sorted on, but not shown.
    FFieldLinks.back().IsHidden = false;
  }
}

void TQXLAOTableExpr::Execute(bool IsRootAO, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor) {
  if (auto* Table = dynamic_cast<TQXLAOTable*>(FLeftAO.get())) {
    std::vector<std::string> Names, AscDesc, CaseIns;
    if (Table->TransferIndexToParentIfNeeded(Names, AscDesc, CaseIns)) {
      FResultIndexFieldsList = std::move(Names);
      FResultIndexAscDescFieldsList = std::move(AscDesc);
      FResultIndexCaseInsFieldsList = std::move(CaseIns);
      TranslateOrderByNames();
      AddOrderByFieldLinks();
    }
  }
  TQXLAO::Execute(IsRootAO, ParentQueryAO, ParentCursor);
}

}  // namespace qxl
