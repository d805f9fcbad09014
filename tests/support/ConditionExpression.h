#pragma once
// A stand-in for the SQL layer's expression that understands the few
// conditions the cursor tests use: a filter of comparisons "Field op value"
// (op one of = <> < > <= >=, value a number or a quoted text, "Field IS
// NULL", "Field IS NOT NULL") joined by AND, and Locate's equalities on one
// field. Filters follow three-valued logic (a comparison with NULL is not
// met); Locate's equality finds NULL by NULL. A text ending in '*' with the
// partial-key switch matches by prefix. It offers no index conditions, so
// every search it drives tests each record.
//
// Threads: one expression per cursor, as the real one.
#include <cctype>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/QXLException.h"
#include "engine/core/QXLExpression.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/core/abstract/QXLCursor.h"

namespace qxl::testsupport {

class TConditionExpression : public TQXLBaseExpression {
public:
  void ParseForLocate(TQXLCursor* Cursor, const std::string& FieldNames, const Variant& KeyValues,
                      bool CaseInsensitive, bool PartialKey) override {
    FCursor = Cursor;
    FConditions.clear();
    std::vector<std::string> Names;
    for (std::size_t At = 0; At <= FieldNames.size();) {
      const std::size_t End = std::min(FieldNames.find(';', At), FieldNames.size());
      Names.push_back(Trimmed(FieldNames.substr(At, End - At)));
      At = End + 1;
    }
    // The runtime's variant holds one value, never an array.
    if (Names.size() != 1)
      throw EQXLException(30112, "Count of FieldNames (%d) not equal counts of KeyValues (%d)",
                          {static_cast<std::int64_t>(Names.size()), 1});
    TCondition& C = Add(Names[0], "=", CaseInsensitive, PartialKey, true);
    C.Value->SetAsVariant(KeyValues);
  }

  void ParseForFilter(TQXLCursor* Cursor, const std::string& Filter, bool CaseInsensitive,
                      bool PartialKey) override {
    FCursor = Cursor;
    FConditions.clear();
    FText = Filter;
    FAt = 0;
    if (Word().empty()) throw EQXLException(30119, "Blank SQL command");
    FAt = 0;
    do ParseComparison(CaseInsensitive, PartialKey);
    while (Upper(Word()) == "AND" && (Take(), true));
    if (!Word().empty()) throw std::invalid_argument("the test expression does not understand: " + Filter);
  }

  void ParseForIsAnyRecordMatchCondition(TQXLCursor*, const std::string&, TQXLDataOperator,
                                         const TQXLVariant&) override {
    throw std::logic_error("the test expression knows no operator codes");
  }

  bool ParseForDefaultValueExpression(const std::string&) override { return false; }
  void AssignCursor(TQXLCursor* Cursor, TQXLAO*, TQXLCursor*) override { FCursor = Cursor; }
  void AssignCursorBuffer(std::uint8_t* Buffer, bool) override { FBuffer = Buffer; }

  bool GetResult() override {
    if (FConditions.empty()) throw EQXLException(30110, "Value is Null");
    for (const TCondition& C : FConditions)
      if (!Holds(C)) return false;
    return true;
  }
  TQXLVariant* GetValue(bool) override { return nullptr; }
  bool IsEmpty() override { return FConditions.empty(); }
  void CreateIndexScanConditions(TQXLIndexDefs*, TQXLScanSearchConditionArray*, std::int32_t) override {}
  bool ExtendMultiFieldIndexCondition(TQXLScanSearchCondition*, TQXLIndexDef*) override { return false; }
  void RemoveExtractedNodes(TQXLScanSearchConditionArray*, std::int32_t, std::int32_t) override {}
  void AddNode(TQXLExprNode*) override {}

private:
  struct TCondition {
    std::string Field;
    std::string Op;  // = <> < > <= >= ISNULL ISNOTNULL
    std::unique_ptr<TQXLVariant> Value = std::make_unique<TQXLVariant>();
    bool CaseInsensitive = false;
    bool PartialKey = false;
    bool NullEqualsNull = false;
  };

  static std::string Trimmed(const std::string& S) {
    const std::size_t B = S.find_first_not_of(' ');
    return B == std::string::npos ? "" : S.substr(B, S.find_last_not_of(' ') - B + 1);
  }
  static std::string Upper(std::string S) {
    for (char& Ch : S) Ch = static_cast<char>(std::toupper(static_cast<unsigned char>(Ch)));
    return S;
  }

  TCondition& Add(const std::string& Field, const std::string& Op, bool CaseInsensitive, bool PartialKey,
                  bool NullEqualsNull) {
    TCondition C;
    C.Field = Field;
    C.Op = Op;
    C.CaseInsensitive = CaseInsensitive;
    C.PartialKey = PartialKey;
    C.NullEqualsNull = NullEqualsNull;
    FConditions.push_back(std::move(C));
    return FConditions.back();
  }

  // The next token without taking it: a quoted text, an operator or a word.
  std::string Word() {
    while (FAt < FText.size() && FText[FAt] == ' ') ++FAt;
    if (FAt >= FText.size()) return "";
    std::size_t End = FAt + 1;
    if (FText[FAt] == '\'') {
      End = FText.find('\'', FAt + 1);
      if (End == std::string::npos) throw std::invalid_argument("unterminated text in " + FText);
      ++End;
    } else if (std::strchr("=<>", FText[FAt])) {
      while (End < FText.size() && std::strchr("=<>", FText[End])) ++End;
    } else {
      while (End < FText.size() && FText[End] != ' ' && !std::strchr("=<>", FText[End])) ++End;
    }
    return FText.substr(FAt, End - FAt);
  }
  std::string Take() {
    std::string W = Word();
    FAt += W.size();
    return W;
  }

  void ParseComparison(bool CaseInsensitive, bool PartialKey) {
    const std::string Field = Take();
    std::string Op = Take();
    if (Upper(Op) == "IS") {
      const bool Not = Upper(Word()) == "NOT" && !Take().empty();
      if (Upper(Take()) != "NULL") throw std::invalid_argument("IS without NULL in " + FText);
      Add(Field, Not ? "ISNOTNULL" : "ISNULL", CaseInsensitive, false, false);
      return;
    }
    const std::string Literal = Take();
    if (Literal.empty()) throw std::invalid_argument("no value in " + FText);
    std::string Text = Literal;
    bool Prefix = false;
    TCondition& C = Add(Field, Op, CaseInsensitive, false, false);
    if (Literal.front() == '\'') {
      Text = Literal.substr(1, Literal.size() - 2);
      Prefix = PartialKey && !Text.empty() && Text.back() == '*';
      if (Prefix) Text.pop_back();
      C.Value->SetAsAnsiString(Text);
    } else {
      C.Value->SetAsInt64(std::stoll(Literal));
    }
    C.PartialKey = Prefix;
  }

  bool Holds(const TCondition& C) const {
    const std::int32_t No = FCursor->FFieldDefs->GetDefNumberByName(C.Field);
    if (No < 0) throw std::invalid_argument("no field " + C.Field);
    const TQXLFieldDef& F = *FCursor->FFieldDefs->GetDef(No);
    TQXLVariant Field;
    const bool IsNull = qxl::GetBitInBuffer(No, FBuffer);
    if (!IsNull) Field.SetData(FBuffer + F.MemoryOffset, F.MemoryDataSize, F.BaseFieldType, false);
    if (C.Op == "ISNULL") return IsNull;
    if (C.Op == "ISNOTNULL") return !IsNull;
    if (IsNull || C.Value->IsNull()) return C.NullEqualsNull && IsNull && C.Value->IsNull();
    const TQXLCompareResult R = Field.Compare(*C.Value, false, C.CaseInsensitive, C.PartialKey);
    if (C.Op == "=") return R == cmprEqual;
    if (C.Op == "<>") return R != cmprEqual;
    if (C.Op == "<") return R == cmprLower;
    if (C.Op == ">") return R == cmprGreater;
    if (C.Op == "<=") return R != cmprGreater;
    if (C.Op == ">=") return R != cmprLower;
    throw std::invalid_argument("unknown operator " + C.Op);
  }

  TQXLCursor* FCursor = nullptr;
  std::uint8_t* FBuffer = nullptr;
  std::vector<TCondition> FConditions;
  std::string FText;
  std::size_t FAt = 0;
};

// Registers the stand-in as the SQL layer while it lives.
class TConditionExpressionServices {
public:
  TConditionExpressionServices() {
    qxl::SetExpressionServices(
        {[]() -> std::unique_ptr<TQXLBaseExpression> { return std::make_unique<TConditionExpression>(); }, nullptr});
  }
  ~TConditionExpressionServices() { qxl::SetExpressionServices({}); }
  TConditionExpressionServices(const TConditionExpressionServices&) = delete;
  TConditionExpressionServices& operator=(const TConditionExpressionServices&) = delete;
};

}  // namespace qxl::testsupport
