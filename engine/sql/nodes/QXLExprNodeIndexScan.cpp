// How comparisons and IS [NOT] NULL tests serve as index scan conditions:
// which index column they can bound, and the key values they write.
#include "engine/core/QXLException.h"
#include "engine/core/schema/QXLIndexDef.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/sql/nodes/QXLExprNodeBoolean.h"
#include "engine/sql/nodes/QXLExprNodeComparison.h"
#include "engine/sql/nodes/QXLExprNodeConst.h"
#include "engine/sql/nodes/QXLExprNodeField.h"
#include "engine/sql/nodes/QXLSemicolonList.h"

namespace qxl {

namespace {

// The column names index column Column and, for the first column, the index
// may serve this session.
bool ServesColumn(const TQXLExprNodeField& Field, std::int32_t Column, const TQXLIndexDef* IndexDef,
                  std::int32_t SessionID) {
  if (!IndexDef || Column < 0 || Column >= IndexDef->ColumnCount()) return false;
  if (UpperCaseName(Field.FieldName()) != UpperCaseName(IndexDef->GetIndexColumn(Column).FieldName)) return false;
  return Column > 0 || !IndexDef->Temporary || IndexDef->SessionID == SessionID;
}

TQXLSearchCondition SearchConditionOf(TQXLDataOperator Op, bool Descending) {
  switch (Op) {
    case doEQ:
    case doISNULL: return scEqual;
    case doGT: return Descending ? scLower : scGreater;
    case doLT: return Descending ? scGreater : scLower;
    case doGE: return Descending ? scLowerEqual : scGreaterEqual;
    case doLE: return Descending ? scGreaterEqual : scLowerEqual;
    case doISNOTNULL: return Descending ? scLower : scGreater;
    default: return scNone;
  }
}

// Writes Key as the column's value into the condition's key buffer and
// records where it came from.
void AppendKey(TQXLScanSearchCondition& Condition, TQXLExprNodeField& Field, const TQXLVariant* Key,
               TQXLBaseExpression* Expression, TQXLExprNode* Node) {
  TQXLVariant value;
  if (Key) value.Assign(*Key, true);
  Field.Cursor()->SetFieldValue(value, Field.FieldNo(), true, Condition.KeyRecordBuffer);
  ++Condition.KeyFieldCount;
  Condition.ParentExpressions.push_back(Expression);
  Condition.ParentExpressionNodes.push_back(Node);
}

// A new condition on the first column of IndexDef, keyed by Key.
void AddNewCondition(TQXLScanSearchConditionArray& ScanConditions, TQXLIndexDef& IndexDef, TQXLExprNodeField& Field,
                     TQXLDataOperator Op, bool PartialKey, const TQXLVariant* Key, TQXLBaseExpression* Expression,
                     TQXLExprNode* Node) {
  TQXLCursor& cursor = *Field.Cursor();
  TQXLScanSearchCondition condition;
  condition.Condition = SearchConditionOf(Op, IndexDef.GetIndexColumn(0).Descending);
  condition.KeyRecordBuffer = cursor.AllocateKeyRecordBuffer();
  condition.KeyRecordBufferSize = cursor.FKeyBufferSize;
  cursor.InternalInitKeyBuffer(condition.KeyRecordBuffer);
  condition.KeyFieldCount = 0;
  condition.IndexID = IndexDef.ObjectID;
  condition.Expression = nullptr;
  condition.CreatedFromExpression = true;
  condition.PartialCompare = PartialKey;
  AppendKey(condition, Field, Key, Expression, Node);
  ScanConditions.AddCondition(condition);
}

}  // namespace

bool TQXLExprNodeComparison::CanUseIndex(std::int32_t IndexColumnNo, TQXLSearchCondition ConditionSearchOperator,
                                         TQXLIndexDef* IndexDef, std::int32_t SessionID) {
  if (FQuantifier != qUNDEFINED || PartialKey()) return false;
  const TQXLDataOperator op = Operator();
  if (op != doEQ && op != doGT && op != doLT && op != doGE && op != doLE) return false;
  if (IndexColumnNo > 0 && (ConditionSearchOperator != scEqual || op != doEQ)) return false;
  TQXLExprNode* side = nullptr;
  TQXLExprNode* constant = nullptr;
  GetFieldAndConstNodes(side, constant);
  TQXLExprNodeField* field = GetFieldNode(side);
  if (!field || !ServesColumn(*field, IndexColumnNo, IndexDef, SessionID)) return false;
  const TQXLBaseFieldType type = field->BaseFieldType();
  if (type == bftBlob || type == bftClob || type == bftWideClob) return false;

  bool caseInsensitive = CaseInsensitive();
  if (side != field) {
    // UPPER or LOWER of the column: usable when the constant is already in
    // that case, and then the comparison ignores case.
    auto* k = dynamic_cast<TQXLExprNodeConst*>(constant);
    if (!k) return false;
    if (side->Operator() == doUPPER ? !k->IsUpperCase() : !k->IsLowerCase()) return false;
    caseInsensitive = true;
  }
  if (IsStringBaseFieldType(type)) {
    if (IndexDef->GetIndexColumn(IndexColumnNo).CaseInsensitive != caseInsensitive) return false;
    if (constant->GetDataValue()->DataSize() >= field->FieldSize()) return false;
  }
  SetCaseInsensitive(caseInsensitive);
  return true;
}

void TQXLExprNodeComparison::AddAsIndexScanCondition(TQXLScanSearchConditionArray* ScanConditions,
                                                     TQXLIndexDef* IndexDef, TQXLBaseExpression* Expression) {
  TQXLExprNode* side = nullptr;
  TQXLExprNode* constant = nullptr;
  GetFieldAndConstNodes(side, constant);
  TQXLExprNodeField* field = GetFieldNode(side);
  if (!field || !constant || !ScanConditions) throw EQXLException(20055, "Pointer is nil");
  if (!field->Cursor()) throw EQXLException(20054, "Pointer is nil");
  if (!IndexDef || IndexDef->ColumnCount() == 0) throw EQXLException(20057, "Invalid index for search");
  // The operators read column first; written constant first, they turn round.
  const TQXLDataOperator op = side == Child(0) ? Operator() : MirrorComparisonOperator(Operator());
  AddNewCondition(*ScanConditions, *IndexDef, *field, op, PartialKey(), constant->GetDataValue(), Expression, this);
}

void TQXLExprNodeComparison::ExtendIndexScanCondition(TQXLScanSearchCondition* ScanCondition, TQXLIndexDef*,
                                                      TQXLBaseExpression* Expression) {
  TQXLExprNode* side = nullptr;
  TQXLExprNode* constant = nullptr;
  GetFieldAndConstNodes(side, constant);
  TQXLExprNodeField* field = GetFieldNode(side);
  if (!field || !constant || !ScanCondition) throw EQXLException(20055, "Pointer is nil");
  if (!field->Cursor()) throw EQXLException(20054, "Pointer is nil");
  AppendKey(*ScanCondition, *field, constant->GetDataValue(), Expression, this);
}

bool TQXLExprNodeBoolean::CanUseIndex(std::int32_t IndexColumnNo, TQXLSearchCondition ConditionSearchOperator,
                                      TQXLIndexDef* IndexDef, std::int32_t SessionID) {
  const TQXLDataOperator op = Operator();
  if ((op != doISNULL && op != doISNOTNULL) || ChildCount() != 1 || !CanUseNodeAsField(Child(0))) return false;
  if (IndexColumnNo > 0 && (op != doISNULL || ConditionSearchOperator != scEqual)) return false;
  TQXLExprNodeField* field = TQXLExprNodeComparison::GetFieldNode(Child(0));
  return field && ServesColumn(*field, IndexColumnNo, IndexDef, SessionID);
}

void TQXLExprNodeBoolean::AddAsIndexScanCondition(TQXLScanSearchConditionArray* ScanConditions,
                                                  TQXLIndexDef* IndexDef, TQXLBaseExpression* Expression) {
  TQXLExprNodeField* field = ChildCount() == 1 ? TQXLExprNodeComparison::GetFieldNode(Child(0)) : nullptr;
  if (!field || !field->Cursor() || !ScanConditions) throw EQXLException(20254, "Pointer is nil");
  if (!IndexDef || IndexDef->ColumnCount() == 0) throw EQXLException(20255, "Invalid index for search");
  AddNewCondition(*ScanConditions, *IndexDef, *field, Operator(), PartialKey(), nullptr, Expression, this);
}

void TQXLExprNodeBoolean::ExtendIndexScanCondition(TQXLScanSearchCondition* ScanCondition, TQXLIndexDef*,
                                                   TQXLBaseExpression* Expression) {
  TQXLExprNodeField* field = ChildCount() == 1 ? TQXLExprNodeComparison::GetFieldNode(Child(0)) : nullptr;
  if (!field || !field->Cursor() || !ScanCondition) throw EQXLException(20254, "Pointer is nil");
  AppendKey(*ScanCondition, *field, nullptr, Expression, this);
}

}  // namespace qxl
