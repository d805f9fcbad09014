#include "engine/sql/nodes/QXLExprNodeArithmetic.h"

#include <cmath>
#include <limits>

#include "engine/core/QXLException.h"
#include "engine/sql/nodes/QXLNodeText.h"
#include "engine/core/values/QXLRounding.h"
#include "engine/sql/nodes/QXLExprNodeCast.h"
#include "engine/storage/pager/QXLRandom.h"

namespace qxl {

namespace {

constexpr std::int32_t OverflowCode = 30122;
constexpr std::int32_t RandArgumentCode = 30135;
constexpr std::int32_t RoundModeCode = 30139;
constexpr std::int32_t InvalidResultCode = 30143;

const char* FunctionName(TQXLDataOperator Op) {
  switch (Op) {
    case doABS: return "ABS";
    case doACOS: return "ACOS";
    case doASIN: return "ASIN";
    case doATAN: return "ATAN";
    case doCEIL: return "CEIL";
    case doCOS: return "COS";
    case doEXP: return "EXP";
    case doFLOOR: return "FLOOR";
    case doLOG: return "LOG";
    case doPOWER: return "POWER";
    case doRAND: return "RAND";
    case doROUND: return "ROUND";
    case doSIGN: return "SIGN";
    case doSIN: return "SIN";
    case doSQR: return "SQR";
    case doSQRT: return "SQRT";
    default: return "unknown";
  }
}

// A whole number that must fit the Int32 result the function reports.
std::int32_t ToInt32(long double Whole, TQXLDataOperator Op) {
  if (!(Whole >= std::numeric_limits<std::int32_t>::min() && Whole <= std::numeric_limits<std::int32_t>::max()))
    throw EQXLException(OverflowCode, "Integer overflow in function '%s'", {FunctionName(Op)});
  return static_cast<std::int32_t>(Whole);
}

void SetInt32(TQXLVariant& Value, std::int32_t Result) {
  if (Value.DataType() != bftSignedInt32) Value.Clear(bftSignedInt32);
  Value.SetAsInteger(Result);
}

// A function's floating result; an argument outside the function's domain
// (SQRT(-1), LOG(0)) or a result beyond the Double range is refused rather
// than stored as a value no comparison or conversion can handle.
void SetDouble(TQXLVariant& Value, double Result, TQXLDataOperator Op) {
  if (!std::isfinite(Result))
    throw EQXLException(InvalidResultCode, "Invalid argument for function '%s'", {FunctionName(Op)});
  if (Value.DataType() != bftDouble) Value.Clear(bftDouble);
  Value.SetAsDouble(Result);
}

}  // namespace

TQXLExprNodeArithmetic::TQXLExprNodeArithmetic(TQXLDataOperator Op, bool CaseInsensitive, bool PartialKey)
    : TQXLExprNode(Op, CaseInsensitive, PartialKey) {}

TQXLExprNodeArithmetic::TQXLExprNodeArithmetic(TQXLDataOperator Op, TNodePtr Node, bool CaseInsensitive,
                                               bool PartialKey)
    : TQXLExprNode(Op, std::move(Node), CaseInsensitive, PartialKey) {}

TQXLExprNodeArithmetic::TQXLExprNodeArithmetic(TQXLDataOperator Op, TNodePtr Node1, TNodePtr Node2,
                                               bool CaseInsensitive, bool PartialKey)
    : TQXLExprNode(Op, std::move(Node1), std::move(Node2), CaseInsensitive, PartialKey) {}

TQXLExprNodeArithmetic::TQXLExprNodeArithmetic(TQXLDataOperator Op, TNodePtr Node1, TNodePtr Node2, TNodePtr Node3,
                                               bool CaseInsensitive, bool PartialKey)
    : TQXLExprNode(Op, std::move(Node1), std::move(Node2), std::move(Node3), CaseInsensitive, PartialKey) {}

TQXLVariant* TQXLExprNodeArithmetic::GetDataValue() {
  TQXLVariant& value = Value();
  const TQXLDataOperator op = Operator();
  switch (op) {
    case doADD:
      CopyValue(value, *Child(0)->GetDataValue());
      for (std::int32_t i = 1; i < ChildCount(); ++i) value.Add(*Child(i)->GetDataValue());
      break;
    case doSUB:
      CopyValue(value, *Child(0)->GetDataValue());
      value.InvertValue();
      break;
    case doMUL:
      CopyValue(value, *Child(0)->GetDataValue());
      for (std::int32_t i = 1; i < ChildCount(); ++i) value.Mul(*Child(i)->GetDataValue());
      break;
    case doDIV:
      CopyValue(value, *Child(0)->GetDataValue());
      value.Division(*Child(1)->GetDataValue());
      break;
    case doABS:
      CopyValue(value, *Child(0)->GetDataValue());
      if (!value.IsNull() && value.IsNumericDataType() && value.GetAsDouble() < 0) value.InvertValue();
      break;
    case doACOS: SetDouble(value, std::acos(Child(0)->GetDataValue()->GetAsDouble()), op); break;
    case doASIN: SetDouble(value, std::asin(Child(0)->GetDataValue()->GetAsDouble()), op); break;
    case doATAN: SetDouble(value, std::atan(Child(0)->GetDataValue()->GetAsDouble()), op); break;
    case doCOS: SetDouble(value, std::cos(Child(0)->GetDataValue()->GetAsDouble()), op); break;
    case doSIN: SetDouble(value, std::sin(Child(0)->GetDataValue()->GetAsDouble()), op); break;
    case doEXP: SetDouble(value, std::exp(Child(0)->GetDataValue()->GetAsDouble()), op); break;
    case doLOG: SetDouble(value, std::log(Child(0)->GetDataValue()->GetAsDouble()), op); break;
    case doSQRT: SetDouble(value, std::sqrt(Child(0)->GetDataValue()->GetAsDouble()), op); break;
    case doPOWER: {
      const double base = Child(0)->GetDataValue()->GetAsDouble();
      SetDouble(value, std::pow(base, Child(1)->GetDataValue()->GetAsDouble()), op);
      break;
    }
    case doCEIL: SetInt32(value, ToInt32(std::ceil(Child(0)->GetDataValue()->GetAsDouble()), op)); break;
    case doFLOOR: SetInt32(value, ToInt32(std::floor(Child(0)->GetDataValue()->GetAsDouble()), op)); break;
    case doSIGN: {
      const double x = Child(0)->GetDataValue()->GetAsDouble();
      SetInt32(value, x > 0 ? 1 : x < 0 ? -1 : 0);
      break;
    }
    case doRAND: EvaluateRand(); break;
    case doSQR: {
      CopyValue(value, *Child(0)->GetDataValue());
      value.Mul(*Child(0)->GetDataValue());
      break;
    }
    case doROUND: EvaluateRound(); break;
    default: RaiseUnknownOperator(30121);
  }
  return &value;
}

void TQXLExprNodeArithmetic::EvaluateRand() {
  const std::int32_t limit = Child(0)->GetDataValue()->GetAsInteger();
  if (limit <= 0)
    throw EQXLException(RandArgumentCode, "Argument of function '%s' must be above zero, but is %d", {"RAND", limit});
  SetInt32(Value(), QXLRandom(limit));
}

void TQXLExprNodeArithmetic::EvaluateRound() {
  const double x = Child(0)->GetDataValue()->GetAsDouble();
  if (ChildCount() == 1) {
    SetInt32(Value(), ToInt32(RoundDecimal(x, 0, rmHalfEven), doROUND));
    return;
  }
  const std::int32_t digits = Child(1)->GetDataValue()->GetAsInteger();
  TQXLRoundingMode mode = rmHalfEven;
  if (ChildCount() > 2) {
    const std::int32_t keyword = Child(2)->GetDataValue()->GetAsInteger();
    if (keyword < RoundModeFirstKeyword || keyword > RoundModeLastKeyword)
      throw EQXLException(RoundModeCode, "Unknown rounding mode for function '%s'", {"ROUND"});
    mode = static_cast<TQXLRoundingMode>(rmHalfEven + (keyword - RoundModeFirstKeyword));
  }
  SetDouble(Value(), static_cast<double>(RoundDecimal(x, digits, mode)), doROUND);
}

TQXLAdvancedFieldType TQXLExprNodeArithmetic::GetDataType() {
  switch (Operator()) {
    case doABS:
    case doSQR: return Child(0)->GetDataType();
    case doCEIL:
    case doFLOOR:
    case doRAND:
    case doSIGN: return aftInteger;
    case doROUND: return ChildCount() == 1 ? aftInteger : aftDouble;
    case doACOS:
    case doASIN:
    case doATAN:
    case doCOS:
    case doEXP:
    case doLOG:
    case doPOWER:
    case doSIN:
    case doSQRT: return aftDouble;
    default: return TQXLExprNode::GetDataType();
  }
}

std::int32_t TQXLExprNodeArithmetic::GetDataSize() {
  if (Operator() != doADD) return TQXLExprNode::GetDataSize();
  if (!IsStringBaseFieldType(AdvancedToBaseFieldType(GetDataType()))) return 0;
  // A number or date added to a string becomes its text, so it counts by the
  // longest text it can have.
  std::int32_t size = 0;
  for (const auto& c : Children()) {
    const std::int32_t own = c->GetDataSize();
    const std::int32_t text = TextSizeOfType(c->GetDataType(), own);
    size += text < 0 ? own : text;
  }
  return size;
}

}  // namespace qxl
