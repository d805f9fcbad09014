#include "engine/sql/nodes/QXLExprNodeComparison.h"

#include "engine/core/QXLException.h"
#include "engine/core/containers/QXLIntegerArray.h"
#include "engine/sql/nodes/QXLAO.h"
#include "engine/sql/nodes/QXLExprNodeConst.h"
#include "engine/sql/nodes/QXLExprNodeField.h"
#include "engine/sql/nodes/QXLExprNodeStringFunction.h"
#include "engine/sql/nodes/QXLNodeText.h"
#include "engine/sql/nodes/QXLSubqueryTests.h"

namespace qxl {

TQXLExprNodeComparison::TQXLExprNodeComparison(TQXLDataOperator Op, TNodePtr Node1, TNodePtr Node2,
                                               bool TrueFalseNullLogic, bool CaseInsensitive, bool PartialKey)
    : TQXLExprNodeComparison(Op, qUNDEFINED, std::move(Node1), std::move(Node2), TrueFalseNullLogic,
                             CaseInsensitive, PartialKey) {}

TQXLExprNodeComparison::TQXLExprNodeComparison(TQXLDataOperator Op, TQXLQuantifier Quantifier, TNodePtr Node1,
                                               TNodePtr Node2, bool TrueFalseNullLogic, bool CaseInsensitive,
                                               bool PartialKey)
    : TQXLExprNode(Op, std::move(Node1), std::move(Node2), CaseInsensitive, PartialKey),
      F3ValueLogic(TrueFalseNullLogic),
      FQuantifier(Quantifier) {
  Value().Clear(bftLogical);
}

void TQXLExprNodeComparison::AfterAssign() {
  TQXLExprNodeField* field = nullptr;
  TQXLExprNodeConst* constant = nullptr;
  for (const auto& c : Children()) {
    if (auto* f = dynamic_cast<TQXLExprNodeField*>(c.get())) field = f;
    if (auto* k = dynamic_cast<TQXLExprNodeConst*>(c.get())) constant = k;
  }
  if (!field || !constant) return;
  const TQXLAdvancedFieldType column = field->FieldType();
  if (column != aftChar && column != aftString && column != aftGuid) return;
  const TQXLAdvancedFieldType value = BaseToAdvancedFieldType(constant->Value().DataType());
  if (value == aftWideChar || value == aftWideString) constant->Value().Cast(bftVarchar);
}

TQXLVariant* TQXLExprNodeComparison::GetDataValue() {
  if (FQuantifier != qUNDEFINED) {
    auto* subquery = dynamic_cast<TQXLSubqueryTests*>(Child(1));
    if (!subquery) throw EQXLException(30117, "Subquery expected for '%s' ALL or ANY", {OperatorText(Operator())});
    const TQXLVariant* left = Child(0)->GetDataValue();
    SetBooleanResult(Value(), subquery->QuantifiedCompare(Operator(), FQuantifier, *left));
    return &Value();
  }
  const TQXLVariant* left = Child(0)->GetDataValue();
  const TQXLVariant* right = Child(1)->GetDataValue();
  const TQXLCompareResult r = left->Compare(*right, F3ValueLogic, CaseInsensitive(), PartialKey());
  bool result = false;
  switch (Operator()) {
    case doEQ: result = r == cmprEqual; break;
    case doNE: result = F3ValueLogic ? (r == cmprLower || r == cmprGreater) : r != cmprEqual; break;
    case doGT: result = r == cmprGreater; break;
    case doLT: result = r == cmprLower; break;
    case doGE: result = r == cmprEqual || r == cmprGreater; break;
    case doLE: result = r == cmprEqual || r == cmprLower; break;
    default: RaiseUnknownOperator(30117);
  }
  SetBooleanResult(Value(), result);
  return &Value();
}

bool TQXLExprNodeComparison::IsJoinCondition(TQXLAO* AO1, TQXLAO* AO2) {
  if (Operator() != doEQ || ChildCount() != 2 || !AO1 || !AO2) return false;
  auto* first = dynamic_cast<TQXLExprNodeField*>(Child(0));
  auto* second = dynamic_cast<TQXLExprNodeField*>(Child(1));
  if (!first || !second || first->GetFromParent() || second->GetFromParent()) return false;
  auto matches = [](TQXLAO* AO, const TQXLExprNodeField& Field) {
    TQXLIntegerArray numbers;
    return AO->FieldExists(Field.FieldName(), Field.TableName(), true, numbers, false, false);
  };
  const std::int32_t first1 = matches(AO1, *first), first2 = matches(AO2, *first);
  const std::int32_t second1 = matches(AO1, *second), second2 = matches(AO2, *second);
  if (first1 + first2 > 1) throw EQXLException(10404, "Ambiguous field reference to '%s'", {first->FieldName()});
  if (second1 + second2 > 1)
    throw EQXLException(10405, "Ambiguous field reference to '%s'", {second->FieldName()});
  if (first1 + first2 != 1 || second1 + second2 != 1) return false;
  return (first1 == 1 && second2 == 1) || (first2 == 1 && second1 == 1);
}

void TQXLExprNodeComparison::GetFieldAndConstNodes(TQXLExprNode*& FieldNode, TQXLExprNode*& ConstNode) const {
  FieldNode = nullptr;
  ConstNode = nullptr;
  if (ChildCount() != 2) return;
  if (CanUseNodeAsField(Child(0)) && CanUseNodeAsConst(Child(1))) {
    FieldNode = Child(0);
    ConstNode = Child(1);
  } else if (CanUseNodeAsField(Child(1)) && CanUseNodeAsConst(Child(0))) {
    FieldNode = Child(1);
    ConstNode = Child(0);
  }
}

TQXLExprNodeField* TQXLExprNodeComparison::GetFieldNode(TQXLExprNode* Node) {
  if (auto* f = dynamic_cast<TQXLExprNodeField*>(Node)) return f;
  if (dynamic_cast<TQXLExprNodeStringFunction*>(Node) && Node->ChildCount() == 1 &&
      (Node->Operator() == doUPPER || Node->Operator() == doLOWER))
    return dynamic_cast<TQXLExprNodeField*>(Node->Child(0));
  return nullptr;
}

}  // namespace qxl
