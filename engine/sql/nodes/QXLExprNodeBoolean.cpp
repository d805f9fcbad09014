#include "engine/sql/nodes/QXLExprNodeBoolean.h"

#include "engine/core/values/QXLConversion.h"
#include "engine/core/QXLException.h"
#include "engine/core/values/QXLTextUtils.h"
#include "engine/sql/nodes/QXLNodeText.h"
#include "engine/sql/nodes/QXLSubqueryTests.h"
#include "platform/CodePage.h"

namespace qxl {

TQXLExprNodeBoolean::TQXLExprNodeBoolean(bool CaseInsensitive, bool PartialKey)
    : TQXLExprNode(CaseInsensitive, PartialKey) {}

TQXLExprNodeBoolean::TQXLExprNodeBoolean(TQXLDataOperator Op, bool CaseInsensitive, bool PartialKey,
                                         std::string EscapeStr)
    : TQXLExprNode(Op, CaseInsensitive, PartialKey), FEscapeStr(std::move(EscapeStr)) {}

TQXLExprNodeBoolean::TQXLExprNodeBoolean(TQXLDataOperator Op, TNodePtr Node, bool CaseInsensitive, bool PartialKey)
    : TQXLExprNode(Op, std::move(Node), CaseInsensitive, PartialKey) {}

TQXLExprNodeBoolean::TQXLExprNodeBoolean(TQXLDataOperator Op, TNodePtr Node1, TNodePtr Node2, bool CaseInsensitive,
                                         bool PartialKey)
    : TQXLExprNode(Op, std::move(Node1), std::move(Node2), CaseInsensitive, PartialKey) {}

TQXLExprNodeBoolean::TQXLExprNodeBoolean(TQXLDataOperator Op, TNodePtr Node1, TNodePtr Node2, TNodePtr Node3,
                                         bool CaseInsensitive, bool PartialKey)
    : TQXLExprNode(Op, std::move(Node1), std::move(Node2), std::move(Node3), CaseInsensitive, PartialKey) {}

bool TQXLExprNodeBoolean::ReadOperand(std::int32_t Index) {
  CopyValue(TempVal, *Child(Index)->GetDataValue());
  return !TempVal.IsNull();
}

TQXLVariant* TQXLExprNodeBoolean::GetDataValue() {
  TQXLVariant& value = Value();
  SetNullBooleanResult(value);
  switch (Operator()) {
    case doNOT:
      if (ReadOperand(0)) SetBooleanResult(value, !TempVal.GetAsBoolean());
      break;
    case doAND:
      SetBooleanResult(value, true);
      for (std::int32_t i = 0; i < ChildCount(); ++i) {
        if (!ReadOperand(i)) {
          SetNullBooleanResult(value);
        } else if (!TempVal.GetAsBoolean()) {
          SetBooleanResult(value, false);
          break;
        }
      }
      break;
    case doOR:
      SetBooleanResult(value, false);
      for (std::int32_t i = 0; i < ChildCount(); ++i) {
        if (!ReadOperand(i)) {
          SetNullBooleanResult(value);
        } else if (TempVal.GetAsBoolean()) {
          SetBooleanResult(value, true);
          break;
        }
      }
      break;
    case doIN:
    case doNOTIN:
      if (EvaluateIn() && Operator() == doNOTIN) SetBooleanResult(value, !value.GetAsBoolean());
      break;
    case doEXISTS: {
      auto* subquery = dynamic_cast<TQXLSubqueryTests*>(Child(0));
      if (!subquery) throw EQXLException(30116, "Subquery expected for '%s'", {"EXISTS"});
      SetBooleanResult(value, subquery->Exists());
      break;
    }
    case doBETWEEN:
    case doNOTBETWEEN:
      EvaluateBetween();
      if (!value.IsNull() && Operator() == doNOTBETWEEN) SetBooleanResult(value, !value.GetAsBoolean());
      break;
    case doLIKE:
    case doNOTLIKE:
      EvaluateLike();
      if (!value.IsNull() && Operator() == doNOTLIKE) SetBooleanResult(value, !value.GetAsBoolean());
      break;
    case doISNULL:
      SetBooleanResult(value, Child(0)->GetDataValue()->IsNull());
      break;
    case doISNOTNULL:
      SetBooleanResult(value, !Child(0)->GetDataValue()->IsNull());
      break;
    default:
      RaiseUnknownOperator(30116);
  }
  return &value;
}

// True when the result is not NULL.
bool TQXLExprNodeBoolean::EvaluateIn() {
  TQXLVariant& value = Value();
  if (ChildCount() == 2) {
    if (auto* subquery = dynamic_cast<TQXLSubqueryTests*>(Child(1))) {
      TQXLVariant tested;
      tested.Assign(*Child(0)->GetDataValue(), true);
      // As with a list: NULL is found nowhere, so among rows it is unknown;
      // without rows it is simply not there.
      if (tested.IsNull() && subquery->Exists()) {
        SetNullBooleanResult(value);
        return false;
      }
      SetBooleanResult(value, subquery->IsValueIn(tested));
      return true;
    }
  }
  SetBooleanResult(value, false);
  const TQXLVariant* tested = Child(0)->GetDataValue();
  if (tested->IsNull()) {
    SetNullBooleanResult(value);
    return false;
  }
  for (std::int32_t i = 1; i < ChildCount(); ++i) {
    const TQXLVariant* item = Child(i)->GetDataValue();
    if (tested->Compare(*item, true, true, false) == cmprEqual) {
      SetBooleanResult(value, true);
      break;
    }
  }
  return true;
}

void TQXLExprNodeBoolean::EvaluateBetween() {
  const TQXLVariant* tested = Child(0)->GetDataValue();
  const TQXLVariant* low = Child(1)->GetDataValue();
  const TQXLVariant* high = Child(2)->GetDataValue();
  if (tested->IsNull() || low->IsNull() || high->IsNull()) return;
  const TQXLCompareResult fromLow = tested->Compare(*low, true, true, false);
  const TQXLCompareResult fromHigh = tested->Compare(*high, true, true, false);
  SetBooleanResult(Value(), (fromLow == cmprEqual || fromLow == cmprGreater) &&
                                (fromHigh == cmprEqual || fromHigh == cmprLower));
}

void TQXLExprNodeBoolean::EvaluateLike() {
  TQXLVariant text;
  text.Assign(*Child(0)->GetDataValue(), true);
  TQXLVariant pattern;
  pattern.Assign(*Child(1)->GetDataValue(), true);
  if (pattern.IsNull()) return;
  const TQXLBaseFieldType textType = text.IsNull() ? pattern.DataType() : text.DataType();
  const TQXLBaseFieldType common = GetCommonDataType(textType, pattern.DataType(), false);
  if (!IsStringBaseFieldType(common)) throw EQXLException(30120, "Not string argument in function '%s'", {"LIKE"});
  bool match = false;
  if (IsWideStringBaseFieldType(common)) {
    const std::u16string escape = platform::Utf8ToWide(FEscapeStr);
    match = MatchLikeWide(WideTextOf(text), WideTextOf(pattern), !escape.empty(), escape.empty() ? u'\0' : escape[0],
                          CaseInsensitive());
  } else {
    const std::string escape = platform::Utf8ToAnsi(FEscapeStr);
    match = MatchLikeAnsi(AnsiTextOf(text), AnsiTextOf(pattern), !escape.empty(), escape.empty() ? '\0' : escape[0],
                          CaseInsensitive());
  }
  SetBooleanResult(Value(), match);
}

}  // namespace qxl
