#include "engine/sql/nodes/QXLExprNodeSubquery.h"

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/dataset/QXLDataSet.h"
#include "engine/sql/lexer/QXLLexer.h"
#include "engine/sql/nodes/QXLNodeText.h"
#include "engine/sql/nodes/QXLSubqueryCommand.h"

namespace qxl {

namespace {
constexpr std::int32_t NoHostCode = 30512;
constexpr std::int32_t OneFieldCode = 20246;
constexpr std::int32_t OneRowCode = 20247;
constexpr std::int32_t NoRowCode = 20249;

// The lexer at the subquery's text for the life of the object; where it was
// before afterwards, also on failure.
class TLexerAt {
public:
  TLexerAt(TQXLLexer& Lexer, std::int32_t CommandNo, std::int32_t TokenNo)
      : L(Lexer), FCommandNo(Lexer.CurrentCommandNo()), FTokenNo(Lexer.GetCurrentTokenNo()) {
    L.SetCurrentCommandNo(CommandNo);
    FTargetTokenNo = L.GetCurrentTokenNo();
    L.SetCurrentTokenNo(TokenNo);
  }
  ~TLexerAt() {
    L.SetCurrentTokenNo(FTargetTokenNo);
    L.SetCurrentCommandNo(FCommandNo);
    L.SetCurrentTokenNo(FTokenNo);
  }
  TLexerAt(const TLexerAt&) = delete;
  TLexerAt& operator=(const TLexerAt&) = delete;

private:
  TQXLLexer& L;
  std::int32_t FCommandNo;
  std::int32_t FTokenNo;
  std::int32_t FTargetTokenNo = 0;
};

// The outer cursor reads the row the node was bound to while the subquery
// runs; its own row afterwards, also on failure.
class TOuterRow {
public:
  TOuterRow(TQXLCursor* Cursor, std::uint8_t* Buffer) : LCursor(Cursor) {
    if (!LCursor) return;
    FSaved = LCursor->FCurrentRecordBuffer;
    LCursor->FCurrentRecordBuffer = Buffer;
  }
  ~TOuterRow() {
    if (LCursor) LCursor->FCurrentRecordBuffer = FSaved;
  }
  TOuterRow(const TOuterRow&) = delete;
  TOuterRow& operator=(const TOuterRow&) = delete;

private:
  TQXLCursor* LCursor;
  std::uint8_t* FSaved = nullptr;
};

// The search reads candidate rows into the cursor's current record buffer,
// which a dataset's cursor holds only while the dataset reads a row.
class TScratchRecord {
public:
  explicit TScratchRecord(TQXLCursor& Cursor) : C(Cursor), FSaved(Cursor.FCurrentRecordBuffer) {
    if (FSaved) return;
    FBuffer = C.AllocateRecordBuffer();
    C.FCurrentRecordBuffer = FBuffer;
  }
  ~TScratchRecord() {
    if (!FBuffer) return;
    C.FCurrentRecordBuffer = FSaved;
    C.FreeRecordBuffer(FBuffer);
  }
  TScratchRecord(const TScratchRecord&) = delete;
  TScratchRecord& operator=(const TScratchRecord&) = delete;

private:
  TQXLCursor& C;
  std::uint8_t* FSaved;
  std::uint8_t* FBuffer = nullptr;
};

TQXLSubqueryHost* HostOf(TDataSet* Dataset) {
  auto* Host = dynamic_cast<TQXLSubqueryHost*>(Dataset);
  if (!Host) throw EQXLException(NoHostCode, "'%s' cannot be used in this expression", {std::string("Subquery")});
  return Host;
}

void ReadField(const TQXLDataSet& Result, std::int32_t FieldNo, TQXLVariant& Value) {
  Result.Fields(FieldNo).GetValue(Value);
}
}  // namespace

TQXLExprNodeSubquery::TQXLExprNodeSubquery(bool MustHaveOneField, bool MustHaveOneRow, TDataSet* Dataset,
                                           TQXLLexer* Lexer)
    : TQXLExprNode(true, false),
      FMustHaveOneField(MustHaveOneField),
      FMustHaveOneRow(MustHaveOneRow),
      LDataset(Dataset),
      LLexer(Lexer),
      LHost(HostOf(Dataset)) {
  FTokenNo = LLexer->GetCurrentTokenNo();
  FCommandNo = LLexer->CurrentCommandNo();
  // Parsed once here to leave the lexer after the text and to raise its
  // syntax errors where the statement is parsed.
  LHost->CreateSubqueryCommand(*LLexer).reset();
  FCorrelated = !CanBeAssigned(nullptr, nullptr, nullptr, false);
}

TQXLExprNodeSubquery::~TQXLExprNodeSubquery() = default;

std::unique_ptr<TQXLSubqueryCommand> TQXLExprNodeSubquery::ParseCommand() {
  TLexerAt At(*LLexer, FCommandNo, FTokenNo);
  return LHost->CreateSubqueryCommand(*LLexer);
}

std::unique_ptr<TQXLSubqueryCommand> TQXLExprNodeSubquery::PlanCommand(TQXLAO* ParentQueryAO) {
  std::unique_ptr<TQXLSubqueryCommand> Command = ParseCommand();
  Command->BuildAOTree(LDataset, true, ParentQueryAO, nullptr, true);
  return Command;
}

bool TQXLExprNodeSubquery::CanBeAssigned(TQXLAO* AO, TQXLAO*, TQXLCursor*, bool) {
  return PlanCommand(AO)->AllConditionsApplied();
}

TQXLAdvancedFieldType TQXLExprNodeSubquery::GetDataType() { return PlanCommand(nullptr)->ResultFieldType(0); }

std::int32_t TQXLExprNodeSubquery::GetDataSize() { return PlanCommand(nullptr)->ResultFieldSize(0); }

void TQXLExprNodeSubquery::AssignAO(TQXLAO* AO, TQXLAO*, TQXLCursor*) { LAO = AO; }

void TQXLExprNodeSubquery::AssignCursor(TQXLCursor* Cursor, TQXLAO*, TQXLCursor*) {
  LCursor = Cursor;
  AssignCursorBuffer(Cursor ? Cursor->FCurrentRecordBuffer : nullptr, false);
}

void TQXLExprNodeSubquery::AssignCursorBuffer(std::uint8_t* Buffer, bool) { LCursorRecordBuffer = Buffer; }

TQXLDataSet& TQXLExprNodeSubquery::Result() {
  if (!FCorrelated && FSubquery) return *FSubquery->GetResultDataset();
  try {
    FSubquery = ParseCommand();
    {
      TOuterRow Outer(LCursor, LCursorRecordBuffer);
      bool ReadOnly = false;
      FSubquery->ExecSQL(LDataset, true, true, ReadOnly, LAO, LCursor);
    }
    TQXLDataSet* Rows = FSubquery->GetResultDataset();
    if (!Rows) throw EQXLException(NoRowCode, "Subquery must have one row, but it contains 0 rows");
    if (FMustHaveOneField && Rows->FieldCount() != 1)
      throw EQXLException(OneFieldCode, "Subquery must have only one result field, but subquery's FieldCount=%d",
                          {Rows->FieldCount()});
    if (FMustHaveOneRow) {
      Rows->First();
      if (Rows->Eof()) throw EQXLException(NoRowCode, "Subquery must have one row, but it contains 0 rows");
      Rows->Next();
      if (!Rows->Eof()) throw EQXLException(OneRowCode, "Subquery must have only one row");
    }
    FKnownAnswers.clear();
    return *Rows;
  } catch (...) {
    // A run that failed is never taken for a held result.
    FSubquery.reset();
    throw;
  }
}

TQXLVariant* TQXLExprNodeSubquery::GetDataValue() {
  return Ask([this](TQXLDataSet& Rows) {
    Rows.First();
    if (Rows.Eof())
      FValue.Clear();
    else
      ReadField(Rows, 0, FValue);
    return &FValue;
  });
}

void TQXLExprNodeSubquery::ResetSubqueryFieldValues() {
  Ask([this](TQXLDataSet& Rows) {
    const auto Count = static_cast<std::size_t>(Rows.FieldCount());
    while (FFieldValues.size() < Count) FFieldValues.push_back(std::make_unique<TQXLVariant>());
    FFieldValues.resize(Count);
    Rows.First();
    for (std::size_t i = 0; i < Count; ++i) {
      if (Rows.Eof())
        FFieldValues[i]->Clear();
      else
        ReadField(Rows, static_cast<std::int32_t>(i), *FFieldValues[i]);
    }
    return 0;
  });
}

TQXLVariant* TQXLExprNodeSubquery::GetSubqueryFieldValue(std::int32_t FieldNo) {
  if (FieldNo < 0 || static_cast<std::size_t>(FieldNo) >= FFieldValues.size()) return nullptr;
  return FFieldValues[static_cast<std::size_t>(FieldNo)].get();
}

bool TQXLExprNodeSubquery::Exists() {
  return Ask([](TQXLDataSet& Rows) {
    Rows.First();
    return !Rows.Eof();
  });
}

bool TQXLExprNodeSubquery::IsValueIn(const TQXLVariant& Value) {
  return Ask([&](TQXLDataSet& Rows) {
    // NULL is equal to no row's value, a NULL one included.
    if (Value.IsNull()) return false;
    auto Search = [&] {
      return Rows.Locate(Rows.Fields(0).FieldName, std::vector<Variant>{Value.GetAsVariant()}, TLocateOptions{});
    };
    if (FCorrelated) return Search();
    if (const auto Known = FKnownAnswers.find(Value); Known != FKnownAnswers.end()) return Known->second;
    const bool Found = Search();
    auto Copy = std::make_unique<TQXLVariant>();
    Copy->Assign(Value, true);
    FKnownAnswers.emplace(std::move(Copy), Found);
    return Found;
  });
}

bool TQXLExprNodeSubquery::QuantifiedCompare(TQXLDataOperator Operator, TQXLQuantifier Quantifier,
                                             const TQXLVariant& Value) {
  FCompareOperator = Operator;
  FCompareQuantifier = Quantifier;
  return Ask([&](TQXLDataSet& Rows) {
    Rows.First();
    if (Rows.Eof()) return Quantifier == qALL;
    // x > ANY (s) asks for a row r with r < x; x > ALL (s) for none with r >= x.
    TQXLDataOperator Op = MirrorComparisonOperator(Operator);
    if (Quantifier == qALL) Op = NegateComparisonOperator(Op);
    TQXLCursor* Cursor = Rows.Handle();
    if (!Cursor) throw EQXLException(NoRowCode, "Subquery must have one row, but it contains 0 rows");
    TScratchRecord Scratch(*Cursor);
    const bool Found = Cursor->IsAnyRecordMatchCondition(Rows.Fields(0).FieldName, Op, Value);
    return Quantifier == qALL ? !Found : Found;
  });
}

}  // namespace qxl
