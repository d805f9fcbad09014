#include "engine/sql/nodes/QXLExprNodeStringFunction.h"

#include <algorithm>

#include "engine/core/QXLException.h"
#include "engine/sql/nodes/QXLExprNodeCast.h"
#include "engine/sql/nodes/QXLExprNodeConst.h"
#include "engine/sql/nodes/QXLNodeText.h"
#include "platform/CaseMap.h"
#include "platform/CodePage.h"

namespace qxl {

namespace {

template <typename Char>
bool IsTrimmed(Char c) {
  return static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<Char>>(c)) <= ' ';
}

template <typename Text>
Text Trim(const Text& S, bool Left, bool Right) {
  std::size_t first = 0;
  std::size_t last = S.size();
  if (Left)
    while (first < last && IsTrimmed(S[first])) ++first;
  if (Right)
    while (last > first && IsTrimmed(S[last - 1])) --last;
  return S.substr(first, last - first);
}

template <typename Text>
Text Slice(const Text& S, std::int32_t Start, std::int32_t Length) {
  const std::int32_t from = std::max(Start, 1) - 1;
  if (Length <= 0 || from >= static_cast<std::int32_t>(S.size())) return Text();
  return S.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(Length));
}

void SetInt32(TQXLVariant& Value, std::int32_t Result) {
  if (Value.DataType() != bftSignedInt32) Value.Clear(bftSignedInt32);
  Value.SetAsInteger(Result);
}

}  // namespace

TQXLExprNodeStringFunction::TQXLExprNodeStringFunction(TQXLDataOperator Op, bool CaseInsensitive, bool PartialKey)
    : TQXLExprNode(Op, CaseInsensitive, PartialKey) {}

TQXLExprNodeStringFunction::TQXLExprNodeStringFunction(TQXLDataOperator Op, TNodePtr Node, bool CaseInsensitive,
                                                       bool PartialKey)
    : TQXLExprNode(Op, std::move(Node), CaseInsensitive, PartialKey) {}

TQXLExprNodeStringFunction::TQXLExprNodeStringFunction(TQXLDataOperator Op, TNodePtr Node1, TNodePtr Node2,
                                                       bool CaseInsensitive, bool PartialKey)
    : TQXLExprNode(Op, std::move(Node1), std::move(Node2), CaseInsensitive, PartialKey) {}

TQXLExprNodeStringFunction::TQXLExprNodeStringFunction(TQXLDataOperator Op, TNodePtr Node1, TNodePtr Node2,
                                                       TNodePtr Node3, bool CaseInsensitive, bool PartialKey)
    : TQXLExprNode(Op, std::move(Node1), std::move(Node2), std::move(Node3), CaseInsensitive, PartialKey) {}

bool TQXLExprNodeStringFunction::PrepareValue() {
  CopyValue(Value(), *Child(0)->GetDataValue());
  MakeString(Value());
  return !Value().IsNull();
}

std::int32_t TQXLExprNodeStringFunction::TextLength() { return TextLengthOf(*Child(0)->GetDataValue()); }

TQXLVariant* TQXLExprNodeStringFunction::GetDataValue() {
  TQXLVariant& value = Value();
  const TQXLDataOperator op = Operator();
  switch (op) {
    case doCONCAT:
      PrepareValue();
      for (std::int32_t i = 1; i < ChildCount(); ++i) value.Add(*Child(i)->GetDataValue());
      break;
    case doUPPER:
    case doLOWER:
    case doTRIM:
    case doLTRIM:
    case doRTRIM: {
      if (!PrepareValue()) break;
      const TQXLBaseFieldType type = value.DataType();
      const bool left = op != doRTRIM, right = op != doLTRIM;
      if (value.IsWideStringDataType()) {
        const std::u16string text = WideTextOf(value);
        SetWideText(value,
                    op == doUPPER   ? platform::UpperCaseWide(text)
                    : op == doLOWER ? platform::LowerCaseWide(text)
                                    : Trim(text, left, right),
                    type);
      } else {
        const std::string text = AnsiTextOf(value);
        SetAnsiText(value,
                    op == doUPPER   ? platform::UpperCaseAnsi(text)
                    : op == doLOWER ? platform::LowerCaseAnsi(text)
                                    : Trim(text, left, right),
                    type);
      }
      break;
    }
    case doLENGTH: SetInt32(value, TextLength()); break;
    case doPOS: {
      TQXLVariant needle;
      CopyValue(needle, *Child(0)->GetDataValue());
      MakeString(needle);
      TQXLVariant haystack;
      CopyValue(haystack, *Child(1)->GetDataValue());
      MakeString(haystack);
      std::size_t at = std::string::npos;
      if (needle.IsWideStringDataType() || haystack.IsWideStringDataType()) {
        const std::u16string what = WideTextOf(needle);
        if (!what.empty()) at = WideTextOf(haystack).find(what);
      } else {
        const std::string what = AnsiTextOf(needle);
        if (!what.empty()) at = AnsiTextOf(haystack).find(what);
      }
      SetInt32(value, at == std::string::npos ? 0 : static_cast<std::int32_t>(at) + 1);
      break;
    }
    case doSUBSTRING: {
      const std::int32_t start = Child(1)->GetDataValue()->GetAsInteger();
      const std::int32_t length = ChildCount() > 2 ? Child(2)->GetDataValue()->GetAsInteger() : TextLength();
      if (!PrepareValue()) break;
      const TQXLBaseFieldType type = value.DataType();
      if (value.IsWideStringDataType())
        SetWideText(value, Slice(WideTextOf(value), start, length), type);
      else
        SetAnsiText(value, Slice(AnsiTextOf(value), start, length), type);
      break;
    }
    default: RaiseUnknownOperator(30131);
  }
  return &value;
}

TQXLAdvancedFieldType TQXLExprNodeStringFunction::GetDataType() {
  switch (Operator()) {
    case doLENGTH:
    case doPOS: return aftInteger;
    case doUPPER:
    case doLOWER:
    case doTRIM:
    case doLTRIM:
    case doRTRIM:
    case doSUBSTRING: {
      const TQXLAdvancedFieldType t = Child(0)->GetDataType();
      if (IsStringAdvancedFieldType(t)) return t;
      const TQXLBaseFieldType base = AdvancedToBaseFieldType(t);
      if (base == bftClob) return aftString;
      if (base == bftWideClob) return aftWideString;
      return t;
    }
    default: return TQXLExprNode::GetDataType();
  }
}

std::int32_t TQXLExprNodeStringFunction::GetDataSize() {
  switch (Operator()) {
    case doCONCAT: {
      const TQXLAdvancedFieldType type = GetDataType();
      for (std::int32_t i = 0; i < ChildCount(); ++i) {
        TQXLExprNode* c = Child(i);
        if (c->GetDataType() == type || dynamic_cast<TQXLExprNodeCast*>(c)) continue;
        // Everything that can fail happens before the tree changes: the cast
        // is made around a placeholder, then the operand and it swap places.
        auto cast = std::make_unique<TQXLExprNodeCast>(std::make_unique<TQXLExprNodeConst>(), type, nullptr);
        TQXLExprNodeCast* wrapper = cast.get();
        TNodePtr operand = ReplaceChild(i, std::move(cast));
        wrapper->ReplaceChild(0, std::move(operand));
      }
      std::int32_t size = 0;
      for (const auto& c : Children()) size += c->GetDataSize();
      return size;
    }
    case doUPPER:
    case doLOWER:
    case doTRIM:
    case doLTRIM:
    case doRTRIM: return Child(0)->GetDataSize();
    case doSUBSTRING: {
      const std::int32_t size = Child(0)->GetDataSize();
      if (size != 0 || !IsStringAdvancedFieldType(GetDataType())) return size;
      if (ChildCount() > 2) return Child(2)->GetDataValue()->GetAsInteger();
      return DefaultCastStringSize;
    }
    default: return 0;
  }
}

}  // namespace qxl
