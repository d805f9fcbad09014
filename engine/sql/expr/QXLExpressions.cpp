#include "engine/sql/expr/QXLExpressions.h"

#include <algorithm>

#include "engine/core/QXLException.h"
#include "engine/datasets/dataset/QXLDataSet.h"
#include "engine/sql/grammar/QXLExprParser.h"
#include "engine/sql/nodes/QXLDataOperator.h"
#include "engine/sql/nodes/QXLExprNode.h"
#include "engine/sql/nodes/QXLExprNodeArithmetic.h"
#include "engine/sql/nodes/QXLExprNodeBlob.h"
#include "engine/sql/nodes/QXLExprNodeBoolean.h"
#include "engine/sql/nodes/QXLExprNodeCast.h"
#include "engine/sql/nodes/QXLExprNodeComparison.h"
#include "engine/sql/nodes/QXLExprNodeConst.h"
#include "engine/sql/nodes/QXLExprNodeDateFunction.h"
#include "engine/sql/nodes/QXLExprNodeField.h"
#include "engine/sql/nodes/QXLExprNodeStringFunction.h"
#include "engine/sql/nodes/QXLSelectListItem.h"

namespace qxl {

namespace {

std::string TrimmedUpper(const std::string& Text) {
  const std::size_t B = Text.find_first_not_of(" \t\r\n");
  if (B == std::string::npos) return "";
  std::string S = Text.substr(B, Text.find_last_not_of(" \t\r\n") - B + 1);
  for (char& Ch : S)
    if (Ch >= 'a' && Ch <= 'z') Ch = static_cast<char>(Ch - 'a' + 'A');
  return S;
}

// The names of a ';'-separated list, trimmed and upper-cased.
std::vector<std::string> SplitNames(const std::string& FieldNames) {
  std::vector<std::string> Names;
  std::size_t At = 0;
  for (;;) {
    const std::size_t End = FieldNames.find(';', At);
    Names.push_back(TrimmedUpper(FieldNames.substr(At, End == std::string::npos ? std::string::npos : End - At)));
    if (End == std::string::npos) break;
    At = End + 1;
  }
  return Names;
}

bool IsBooleanGroup(const TQXLExprNode* Node, TQXLDataOperator Op) {
  return Node && Node->Operator() == Op && dynamic_cast<const TQXLExprNodeBoolean*>(Node) != nullptr;
}

}  // namespace

TQXLExpression::TQXLExpression() = default;

TQXLExpression::TQXLExpression(std::unique_ptr<TQXLExprNode> RootNode) : FRootExprNode(std::move(RootNode)) {}

TQXLExpression::~TQXLExpression() = default;

void TQXLExpression::FreeTree() {
  FRootExprNode.reset();
  // A new tree: whatever was lent out belonged to the old one.
  FLentNodes.clear();
}

void TQXLExpression::RunAfterAssign() {
  if (FRootExprNode) FRootExprNode->AfterAssign();
}

void TQXLExpression::ParseForLocate(TQXLCursor* Cursor, const std::string& FieldNames, const Variant& KeyValues,
                                    bool CaseInsensitive, bool PartialKey) {
  FreeTree();
  LCursor = Cursor;
  F3ValueLogic = false;
  const std::vector<std::string> Names = SplitNames(FieldNames);
  // The runtime's variant holds one value, never an array.
  constexpr std::int64_t ValueCount = 1;
  if (static_cast<std::int64_t>(Names.size()) != ValueCount)
    throw EQXLException(30112, "Count of FieldNames (%d) not equal counts of KeyValues (%d)",
                        {static_cast<std::int64_t>(Names.size()), ValueCount});
  auto Column = std::make_unique<TQXLExprNodeField>(Cursor, Names[0], std::string());
  auto Key = std::make_unique<TQXLExprNodeConst>();
  const bool Number = KeyValues.VType() == varInteger || KeyValues.VType() == varDouble;
  if (Number && Cursor && IsDateTimeAdvancedFieldType(Column->GetDataType()))
    Key->Value().SetAsTDateTime(KeyValues.VType() == varInteger ? KeyValues.Get<std::int32_t>()
                                                                  : KeyValues.Get<double>());
  else
    Key->Value().SetAsVariant(KeyValues);
  FRootExprNode = std::make_unique<TQXLExprNodeComparison>(doEQ, std::move(Column), std::move(Key), false,
                                                           CaseInsensitive, PartialKey);
  if (LCursor) RunAfterAssign();
}

void TQXLExpression::ParseForFilter(TQXLCursor* Cursor, const std::string& Filter, bool CaseInsensitive,
                                    bool PartialKey) {
  FreeTree();
  LCursor = Cursor;
  FCaseInsensitive = CaseInsensitive;
  FPartialKey = PartialKey;
  TQXLLexer Lexer(Filter, nullptr, false);
  if (!Lexer.GetNextCommand()) throw EQXLException(30119, "Blank SQL command");
  ParseForBooleanExpression(nullptr, &Lexer);
  // A filter is one condition: what follows it is not quietly dropped.
  TToken Rest;
  if (Lexer.GetCurrentToken(Rest) || Lexer.GetNextCommand()) {
    if (Rest.TokenType == tktNone) Lexer.GetCurrentToken(Rest);
    FreeTree();
    LLex = nullptr;
    throw EQXLException(30066, "Boolean expression expected, but '%s' found at line %d, column %d",
                        {Rest.Text, Rest.LineNum, Rest.ColumnNum});
  }
  LLex = nullptr;
}

void TQXLExpression::ParseForIsAnyRecordMatchCondition(TQXLCursor* Cursor, const std::string& FieldName,
                                                       TQXLDataOperator Operator, const TQXLVariant& Value) {
  FreeTree();
  LCursor = Cursor;
  F3ValueLogic = false;
  auto Column = std::make_unique<TQXLExprNodeField>(Cursor, FieldName, std::string());
  auto Constant = std::make_unique<TQXLExprNodeConst>();
  Constant->Value().Assign(Value, true);
  FRootExprNode =
      std::make_unique<TQXLExprNodeComparison>(Operator, std::move(Column), std::move(Constant), false, false, false);
  if (LCursor) RunAfterAssign();
}

void TQXLExpression::TakeNamesOf(TDataSet* Dataset) {
  // LASTAUTOINC opens its table in the query's database, wherever it stands.
  if (auto* Query = dynamic_cast<TQXLDataSet*>(Dataset)) {
    FDatabaseName = Query->DatabaseName();
    FSessionName = Query->SessionName();
  }
}

void TQXLExpression::ParseForBooleanExpression(TDataSet* Dataset, TQXLLexer* Lexer) {
  FreeTree();
  LDataset = Dataset;
  LLex = Lexer;
  TakeNamesOf(Dataset);
  if (!LLex->GetCurrentToken(Token))
    throw EQXLException(30118, "Unexpected end of SQL command found at line %d, column %d",
                        {Token.LineNum, Token.ColumnNum});
  TQXLExprParser Parser(*this, *LLex);
  try {
    FRootExprNode = Parser.ParseSearchCondition();
  } catch (...) {
    FProductionCalls = Parser.ProductionCalls();
    throw;
  }
  FProductionCalls = Parser.ProductionCalls();
  if (!FRootExprNode)
    throw EQXLException(30066, "Boolean expression expected, but '%s' found at line %d, column %d",
                        {Token.Text, Token.LineNum, Token.ColumnNum});
  MoveAndNodesToRoot();
  if (LCursor) RunAfterAssign();
}

void TQXLExpression::ParseForValueExpression(TDataSet* Dataset, TQXLLexer* Lexer) {
  FreeTree();
  LLex = Lexer;
  LDataset = Dataset;
  TakeNamesOf(Dataset);
  if (!LLex->GetCurrentToken(Token))
    throw EQXLException(30136, "Unexpected end of SQL command found at line %d, column %d",
                        {Token.LineNum, Token.ColumnNum});
  TQXLExprParser Parser(*this, *LLex);
  try {
    FRootExprNode = Parser.ParseValueExpression();
  } catch (...) {
    FProductionCalls = Parser.ProductionCalls();
    throw;
  }
  FProductionCalls = Parser.ProductionCalls();
}

bool TQXLExpression::ParseForDefaultValueExpression(const std::string& DefaultValue) {
  try {
    FreeTree();
    // A column default belongs to no record: its column references stay unbound.
    LCursor = nullptr;
    TQXLLexer Lexer(DefaultValue, nullptr, true);
    if (!Lexer.GetNextCommand()) return false;
    ParseForValueExpression(nullptr, &Lexer);
    LLex = nullptr;
    TToken Rest;
    return FRootExprNode && Lexer.NumCommands() == 1 && !Lexer.GetCurrentToken(Rest);
  } catch (...) {
    // A default that does not parse is a plain value.
    LLex = nullptr;
    return false;
  }
}

void TQXLExpression::ParseForRowSubqueryExpression(TDataSet* Dataset, TQXLLexer* Lexer) {
  FreeTree();
  LLex = Lexer;
  LDataset = Dataset;
  TakeNamesOf(Dataset);
  if (!LLex->GetCurrentToken(Token))
    throw EQXLException(30497, "Unexpected end of SQL command found at line %d, column %d",
                        {Token.LineNum, Token.ColumnNum});
  TQXLExprParser Parser(*this, *LLex);
  FRootExprNode = Parser.ParseRowSubquery();
  FProductionCalls = Parser.ProductionCalls();
}

TQXLVariant* TQXLExpression::GetValue(bool TrueFalseNullLogic) {
  if (!FRootExprNode) return nullptr;
  TQXLVariant* Value = FRootExprNode->GetDataValue();
  if (Value && Value->IsNull() && !TrueFalseNullLogic) {
    Value->Clear(bftLogical);
    Value->SetAsBoolean(false);
  }
  return Value;
}

bool TQXLExpression::GetResult() {
  if (!FRootExprNode) throw EQXLException(30110, "Value is Null");
  TQXLVariant* Value = GetValue(false);
  if (!Value) throw EQXLException(30110, "Value is Null");
  return Value->GetAsBoolean();
}

bool TQXLExpression::IsAggregated() { return FRootExprNode && FRootExprNode->IsAggregated(); }
bool TQXLExpression::IsAggregatedCountAll() { return FRootExprNode && FRootExprNode->IsAggregatedCountAll(); }
void TQXLExpression::Init() {
  if (FRootExprNode) FRootExprNode->Init();
}
void TQXLExpression::Accumulate() {
  if (FRootExprNode) FRootExprNode->Accumulate();
}
void TQXLExpression::SetCountAll(std::int32_t RecordCount) {
  if (FRootExprNode) FRootExprNode->SetCountAll(RecordCount);
}
void TQXLExpression::ResetSubqueryFieldValues() {
  if (FRootExprNode) FRootExprNode->ResetSubqueryFieldValues();
}
TQXLVariant* TQXLExpression::GetSubqueryFieldValue(std::int32_t FieldNo) {
  return FRootExprNode ? FRootExprNode->GetSubqueryFieldValue(FieldNo) : nullptr;
}
TQXLAdvancedFieldType TQXLExpression::GetDataType() {
  return FRootExprNode ? FRootExprNode->GetDataType() : aftUnknown;
}
std::int32_t TQXLExpression::GetDataSize() { return FRootExprNode ? FRootExprNode->GetDataSize() : 0; }
std::int32_t TQXLExpression::GetPrecision() { return FRootExprNode ? FRootExprNode->GetPrecision() : 0; }

void TQXLExpression::AssignAO(TQXLAO* AO, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor) {
  if (!FRootExprNode) return;
  FRootExprNode->AssignAO(AO, ParentQueryAO, ParentCursor);
  RunAfterAssign();
}

void TQXLExpression::AssignCursor(TQXLCursor* Cursor, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor) {
  if (!FRootExprNode) return;
  FRootExprNode->AssignCursor(Cursor, ParentQueryAO, ParentCursor);
  RunAfterAssign();
}

void TQXLExpression::AssignCursorBuffer(std::uint8_t* Buffer, bool ApplyToParentQueryFields) {
  if (!FRootExprNode) return;
  FRootExprNode->AssignCursorBuffer(Buffer, ApplyToParentQueryFields);
  RunAfterAssign();
}

bool TQXLExpression::IsEmpty() {
  if (!FRootExprNode) return true;
  return dynamic_cast<TQXLExprNodeBoolean*>(FRootExprNode.get()) && FRootExprNode->ChildCount() == 0;
}

bool TQXLExpression::IsField() const { return dynamic_cast<TQXLExprNodeField*>(FRootExprNode.get()) != nullptr; }

bool TQXLExpression::IsFieldsExpression() const {
  if (!FRootExprNode) return false;
  if (IsField()) return true;
  for (std::int32_t i = 0; i < FRootExprNode->ChildCount(); ++i)
    if (dynamic_cast<TQXLExprNodeField*>(FRootExprNode->Child(i))) return true;
  return false;
}

void TQXLExpression::GetFieldInfo(std::string& TableName, std::string& FieldName) const {
  auto* Field = dynamic_cast<TQXLExprNodeField*>(FRootExprNode.get());
  if (!Field) throw EQXLException(30198, "Node is not a field");
  TableName = Field->TableName();
  FieldName = Field->FieldName();
}

bool TQXLExpression::CanBeUsedInGroupBy(const std::string& GroupByFields) {
  return !FRootExprNode || FRootExprNode->CanBeUsedInGroupBy(GroupByFields);
}

void TQXLExpression::ReplacePseudonyms(std::span<TQXLSelectListItem> SelectList) {
  if (FRootExprNode) FRootExprNode->ReplacePseudonyms(SelectList);
}

void TQXLExpression::MoveAndNodesToRoot() {
  if (!IsBooleanGroup(FRootExprNode.get(), doAND)) return;
  TQXLExprNode& Root = *FRootExprNode;
  for (std::int32_t i = 0; i < Root.ChildCount();) {
    if (!IsBooleanGroup(Root.Child(i), doAND)) {
      ++i;
      continue;
    }
    std::unique_ptr<TQXLExprNode> Group = Root.DetachChild(i);
    while (Group->ChildCount() > 0) Root.AddChild(Group->DetachChild(0));
    // The scan stays on the same index: what moved up is looked at later.
  }
}

}  // namespace qxl
