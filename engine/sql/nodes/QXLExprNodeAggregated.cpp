#include "engine/sql/nodes/QXLExprNodeAggregated.h"

#include "engine/core/QXLException.h"
#include "engine/core/values/QXLValueBytes.h"
#include "engine/sql/nodes/QXLAO.h"
#include "engine/sql/nodes/QXLNodeText.h"

namespace qxl {

namespace {
constexpr std::int32_t SumNotNumericCode = 30132;
constexpr std::int32_t AvgNotNumericCode = 30133;
constexpr std::int32_t UnknownOperatorCode = 30134;
constexpr std::int32_t SumOverflowCode = 30146;

[[noreturn]] void NotNumeric(std::int32_t Code, const char* Aggregate) {
  throw EQXLException(Code, "Not numeric argument in numeric operator '%s'", {std::string(Aggregate)});
}
}  // namespace

bool TQXLExprNodeAggregated::TValueOrder::operator()(const TQXLVariant& A, const TQXLVariant& B) const {
  // As DISTINCT compares rows: case-sensitive, whole values.
  return A.Compare(B, false, false, false) == cmprLower;
}

TQXLExprNodeAggregated::TQXLExprNodeAggregated(TQXLDataOperator Op) : TQXLExprNode(Op, true, false) {}

TQXLExprNodeAggregated::TQXLExprNodeAggregated(TQXLDataOperator Op, bool Distinct, TNodePtr Node)
    : TQXLExprNode(Op, std::move(Node), true, false), FDistinct(Distinct) {}

void TQXLExprNodeAggregated::Init() {
  // The argument holds no aggregate of its own: nothing below is reset.
  FCount = 0;
  Value().Clear();
  FAvgSum.Clear();
  FSeen.clear();
}

bool TQXLExprNodeAggregated::FirstTimeSeen(const TQXLVariant& Argument) {
  if (!FDistinct || FSeen.contains(Argument)) return !FDistinct;
  TQXLVariant Copy;
  Copy.Assign(Argument, true);
  FSeen.insert(std::move(Copy));
  return true;
}

void TQXLExprNodeAggregated::AddToSum(const TQXLVariant& Argument) {
  TQXLVariant& Sum = Value();
  const bool IntegerArgument = IsIntegerType(Argument.DataType());
  if (Sum.IsNull()) {
    // Integers sum in 64 bits whatever their own width, as the result type says.
    if (IntegerArgument) {
      Sum.Clear(bftSignedInt64);
      Sum.SetAsInt64(Argument.GetAsInt64());
    } else {
      CopyValue(Sum, Argument);
    }
    return;
  }
  if (IntegerArgument && IsIntegerType(Sum.DataType())) {
    std::int64_t Result = 0;
    if (__builtin_add_overflow(Sum.GetAsInt64(), Argument.GetAsInt64(), &Result))
      throw EQXLException(SumOverflowCode, "Integer overflow in aggregate '%s'", {OperatorText(Operator())});
    Sum.SetAsInt64(Result);
    return;
  }
  Sum.Add(Argument);
}

void TQXLExprNodeAggregated::AddToAverage(const TQXLVariant& Argument) {
  ++FCount;
  if (FAvgSum.IsNull()) {
    FAvgSum.Assign(Argument, true);
    if (FAvgSum.DataType() != bftDouble) FAvgSum.Cast(bftDouble);
    return;
  }
  FAvgSum.Add(Argument);
}

void TQXLExprNodeAggregated::Accumulate() {
  const TQXLVariant* Argument = ChildCount() > 0 ? Child(0)->GetDataValue() : nullptr;
  switch (Operator()) {
    case doSUM:
      if (Argument->IsNull()) return;
      if (!Argument->IsNumericDataType()) NotNumeric(SumNotNumericCode, "SUM");
      if (FirstTimeSeen(*Argument)) AddToSum(*Argument);
      return;
    case doAVG:
      if (Argument->IsNull()) return;
      if (!Argument->IsNumericDataType()) NotNumeric(AvgNotNumericCode, "AVG");
      if (FirstTimeSeen(*Argument)) AddToAverage(*Argument);
      return;
    case doMIN:
    case doMAX: {
      TQXLVariant& Best = Value();
      if (Best.IsNull()) {
        CopyValue(Best, *Argument);
        return;
      }
      if (Argument->IsNull()) return;
      // Of two values equal without regard to case the first stays.
      const TQXLCompareResult R = Argument->Compare(Best, true, true, false);
      if (R == (Operator() == doMIN ? cmprLower : cmprGreater)) CopyValue(Best, *Argument);
      return;
    }
    case doCOUNT:
      if (!Argument->IsNull() && FirstTimeSeen(*Argument)) ++FCount;
      return;
    case doCOUNTALL:
      ++FCount;
      return;
    default:
      RaiseUnknownOperator(UnknownOperatorCode);
  }
}

TQXLVariant* TQXLExprNodeAggregated::GetDataValue() {
  TQXLVariant& Result = Value();
  switch (Operator()) {
    case doAVG:
      if (FCount == 0 || FAvgSum.IsNull()) {
        Result.Clear(bftDouble);
      } else {
        // The running sum stays as it is, so a second read gives the same.
        CopyValue(Result, FAvgSum);
        TQXLVariant Divisor(bftDouble);
        Divisor.SetAsDouble(static_cast<double>(FCount));
        Result.Division(Divisor);
      }
      break;
    case doCOUNT:
    case doCOUNTALL:
      Result.Clear(bftSignedInt32);
      Result.SetAsInteger(FCount);
      break;
    default:
      break;
  }
  return &Result;
}

TQXLAdvancedFieldType TQXLExprNodeAggregated::GetDataType() {
  switch (Operator()) {
    case doSUM: {
      const TQXLAdvancedFieldType T = Child(0)->GetDataType();
      return T == aftSingle || T == aftDouble || T == aftExtended || T == aftCurrency ? T : aftLargeint;
    }
    case doAVG: return aftDouble;
    case doMIN:
    case doMAX: return Child(0)->GetDataType();
    default: return aftInteger;
  }
}

std::int32_t TQXLExprNodeAggregated::GetDataSize() {
  return Operator() == doMIN || Operator() == doMAX ? Child(0)->GetDataSize() : 0;
}

bool TQXLExprNodeAggregated::CanBeAssigned(TQXLAO* AO, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor, bool) {
  if (!AO || !AO->IsGrouping()) return false;
  return TQXLExprNode::CanBeAssigned(AO, ParentQueryAO, ParentCursor, false);
}

}  // namespace qxl
