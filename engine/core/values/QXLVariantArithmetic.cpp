// Unary minus and the four arithmetic operators of engine values.
#include <cmath>
#include <new>
#include <type_traits>

#include "engine/core/values/QXLConvertValue.h"
#include "engine/core/QXLException.h"
#include "engine/core/values/QXLValueBytes.h"
#include "engine/core/values/QXLVariant.h"
#include "platform/Exception.h"

namespace qxl {

namespace {

[[noreturn]] void NotNumeric(char op) {
  const std::int32_t code = op == '+' ? 30124 : op == '-' ? 30125 : op == '*' ? 30126 : 30127;
  throw EQXLException(code, "Not numeric argument in numeric operator '%s'", {op});
}

// Failures of the operation itself; Division reports them as 30128.
[[noreturn]] void DivisionByZero() { throw platform::Exception("Division by zero"); }

// Minus x in the width of T: the lowest signed value stays itself, and an
// unsigned x becomes 2^width - x.
template <typename T>
T Negated(T x) {
  using U = std::make_unsigned_t<T>;
  return static_cast<T>(static_cast<U>(U{0} - static_cast<U>(x)));
}

// Integers wrap in their width: the arithmetic runs on 64 unsigned bits and
// the caller keeps the low bytes.
std::int64_t IntegerOp(std::int64_t a, std::int64_t b, char op) {
  const auto ua = static_cast<std::uint64_t>(a);
  const auto ub = static_cast<std::uint64_t>(b);
  switch (op) {
    case '+': return static_cast<std::int64_t>(ua + ub);
    case '-': return static_cast<std::int64_t>(ua - ub);
    case '*': return static_cast<std::int64_t>(ua * ub);
    default:
      if (b == 0) DivisionByZero();
      if (b == -1) return static_cast<std::int64_t>(0 - ua);  // INT64_MIN div -1 wraps
      return a / b;
  }
}

std::int32_t Int32Op(std::int32_t a, std::int32_t b, char op) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(IntegerOp(a, b, op)));
}

template <typename F>
F FloatOp(F a, F b, char op) {
  switch (op) {
    case '+': return a + b;
    case '-': return a - b;
    case '*': return a * b;
    default: {
      if (b == 0) {
        if (a == 0 || std::isnan(a)) throw platform::Exception("Invalid floating point operation");
        throw platform::Exception("Floating point division by zero");
      }
      const F r = a / b;
      if (std::isinf(r) && std::isfinite(a) && std::isfinite(b)) throw platform::Exception("Floating point overflow");
      return r;
    }
  }
}

template <typename F>
std::string FloatResult(const std::string& a, const std::string& b, char op) {
  return qxl::ValueBytes(FloatOp(qxl::LoadValue<F>(a.data()), qxl::LoadValue<F>(b.data()), op));
}

std::string ExtendedResult(const std::string& a, const std::string& b, char op) {
  return qxl::FloatBytes(bftExtended, FloatOp(qxl::LoadExtended(a.data()), qxl::LoadExtended(b.data()), op));
}

std::string DateTimeResult(const std::string& a, const std::string& b, char op) {
  const auto x = qxl::LoadValue<TQXLDateTime>(a.data());
  const auto y = qxl::LoadValue<TQXLDateTime>(b.data());
  TQXLDateTime r{Int32Op(x.Date, y.Date, op), Int32Op(x.Time, y.Time, op)};
  // Whole days of a Time beyond the day move into the Date; a negative Time stays.
  if (r.Time > QXLMSecsPerDay - 1) {
    r.Date = Int32Op(r.Date, r.Time / QXLMSecsPerDay, '+');
    r.Time %= QXLMSecsPerDay;
  }
  return qxl::DateTimeBytes(r.Date, r.Time);
}

std::string Int32Result(const std::string& a, const std::string& b, char op) {
  return qxl::Int32Bytes(Int32Op(qxl::LoadValue<std::int32_t>(a.data()), qxl::LoadValue<std::int32_t>(b.data()), op));
}

std::string IntegerResult(TQXLBaseFieldType type, const std::string& a, const std::string& b, char op) {
  return qxl::IntegerBytes(type, IntegerOp(qxl::LoadInteger(type, a.data()), qxl::LoadInteger(type, b.data()), op));
}

// Every operator of two Booleans is "or".
std::string LogicalResult(const std::string& a, const std::string& b) {
  return qxl::LogicalBytes(qxl::LoadValue<std::uint16_t>(a.data()) != 0 || qxl::LoadValue<std::uint16_t>(b.data()) != 0);
}

// Operands and result of a type of fixed size, in that type's bytes.
std::string FixedResult(TQXLBaseFieldType type, const std::string& a, const std::string& b, char op) {
  if (qxl::IsIntegerType(type)) return IntegerResult(type, a, b, op);
  switch (type) {
    case bftSingle: return FloatResult<float>(a, b, op);
    case bftDouble:
    case bftCurrency: return FloatResult<double>(a, b, op);
    case bftExtended: return ExtendedResult(a, b, op);
    case bftDate:
    case bftTime: return Int32Result(a, b, op);
    case bftDateTime: return DateTimeResult(a, b, op);
    case bftLogical: return LogicalResult(a, b);
    default: NotNumeric(op);
  }
}

}  // namespace

void TQXLVariant::InvertValue() {
  if (IsNull()) return;
  switch (FDataType) {
    case bftSignedInt8: SetAsShortint(Negated(GetAsShortint())); break;
    case bftSignedInt16: SetAsSmallint(Negated(GetAsSmallint())); break;
    case bftSignedInt32: SetAsInteger(Negated(GetAsInteger())); break;
    case bftSignedInt64: SetAsInt64(Negated(GetAsInt64())); break;
    // Unsigned values stay unsigned: the negation in their width.
    case bftUnsignedInt8: SetAsByte(Negated(GetAsByte())); break;
    case bftUnsignedInt16: SetAsWord(Negated(GetAsWord())); break;
    case bftUnsignedInt32: SetAsCardinal(Negated(GetAsCardinal())); break;
    case bftSingle: SetAsSingle(-GetAsSingle()); break;
    case bftDouble: SetAsDouble(-GetAsDouble()); break;
    case bftExtended: SetAsExtended(-GetAsExtended()); break;
    case bftCurrency: SetAsCurrency(-GetAsCurrency()); break;
    case bftDate: SetAsQXLDate(Negated(GetAsQXLDate())); break;
    case bftLogical: SetAsBoolean(!GetAsBoolean()); break;
    default:
      throw EQXLException(30123, "Cannot invert value with not numeric type '%s'", {qxl::BaseFieldTypeName(FDataType)});
  }
}

void TQXLVariant::Add(const TQXLVariant& Value) {
  if (Value.IsNull()) {
    if (!IsStringDataType()) SetNull();
    return;
  }
  if (IsNull()) {
    if (IsStringDataType()) Assign(Value, true);
    return;
  }
  Arithmetic(Value, '+');
}

void TQXLVariant::Sub(const TQXLVariant& Value) {
  if (Value.IsNull()) SetNull();
  if (IsNull()) return;
  Arithmetic(Value, '-');
}

void TQXLVariant::Mul(const TQXLVariant& Value) {
  if (Value.IsNull()) SetNull();
  if (IsNull()) return;
  Arithmetic(Value, '*');
}

void TQXLVariant::Division(const TQXLVariant& Value) {
  if (Value.IsNull()) SetNull();
  if (IsNull()) return;
  try {
    Arithmetic(Value, '/');
  } catch (const EQXLException&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    throw EQXLException(30128, "Division error: %s", {std::string(e.what())});
  }
}

void TQXLVariant::Arithmetic(const TQXLVariant& Value, char op) {
  const TQXLBaseFieldType common = qxl::GetCommonDataType(FDataType, Value.FDataType, false);
  Cast(common);
  if (qxl::IsStringBaseFieldType(common)) {
    if (op != '+') NotNumeric(op);
    if (qxl::IsWideStringBaseFieldType(common))
      SetAsWideString(GetAsWideString() + Value.GetAsWideString());
    else
      SetAnsiText(GetAnsiText() + Value.GetAnsiText());
    return;
  }
  // Besides text, only the types of one fixed size (numbers, dates and times,
  // Booleans) have arithmetic.
  if (!qxl::IsFixedSizeType(common)) NotNumeric(op);
  const std::string result = FixedResult(common, GetFixedBytes(common), Value.GetFixedBytes(common), op);
  SetValue(common, result.data(), static_cast<std::int32_t>(result.size()), false);
}

}  // namespace qxl
