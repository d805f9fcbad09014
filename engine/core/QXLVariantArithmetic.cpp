// Unary minus and the four arithmetic operators of engine values.
#include <cmath>
#include <cstring>

#include "engine/core/QXLException.h"
#include "engine/core/QXLValueBytes.h"
#include "engine/core/QXLVariant.h"
#include "platform/Exception.h"

namespace {

[[noreturn]] void NotNumeric(char op) {
  const std::int32_t code = op == '+' ? 30124 : op == '-' ? 30125 : op == '*' ? 30126 : 30127;
  throw EQXLException(code, "Not numeric argument in numeric operator '%s'", {op});
}

// Failures of the operation itself; Division reports them as 30128.
[[noreturn]] void DivisionByZero() { throw platform::Exception("Division by zero"); }

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
  const F r = FloatOp(LoadValue<F>(a.data()), LoadValue<F>(b.data()), op);
  std::string bytes(sizeof r, '\0');
  StoreValue(bytes.data(), r);
  return bytes;
}

std::string ExtendedResult(const std::string& a, const std::string& b, char op) {
  const long double r = FloatOp(LoadExtended(a.data()), LoadExtended(b.data()), op);
  std::string bytes(QXLExtendedSize, '\0');
  StoreExtended(bytes.data(), r);
  return bytes;
}

std::string DateTimeResult(const std::string& a, const std::string& b, char op) {
  const auto x = LoadValue<TQXLDateTime>(a.data());
  const auto y = LoadValue<TQXLDateTime>(b.data());
  TQXLDateTime r{Int32Op(x.Date, y.Date, op), Int32Op(x.Time, y.Time, op)};
  // Whole days of a Time beyond the day move into the Date; a negative Time stays.
  if (r.Time > QXLMSecsPerDay - 1) {
    r.Date = Int32Op(r.Date, r.Time / QXLMSecsPerDay, '+');
    r.Time %= QXLMSecsPerDay;
  }
  std::string bytes(sizeof r, '\0');
  StoreValue(bytes.data(), r);
  return bytes;
}

}  // namespace

void TQXLVariant::InvertValue() {
  if (IsNull()) return;
  switch (FDataType) {
    case bftSignedInt8: SetAsShortint(static_cast<std::int8_t>(0u - static_cast<std::uint8_t>(GetAsShortint()))); break;
    case bftSignedInt16:
      SetAsSmallint(static_cast<std::int16_t>(0u - static_cast<std::uint16_t>(GetAsSmallint())));
      break;
    case bftSignedInt32: SetAsInteger(static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(GetAsInteger()))); break;
    case bftSignedInt64: SetAsInt64(static_cast<std::int64_t>(0ull - static_cast<std::uint64_t>(GetAsInt64()))); break;
    // Unsigned values stay unsigned: the negation in their width.
    case bftUnsignedInt8: SetAsByte(static_cast<std::uint8_t>(0u - GetAsByte())); break;
    case bftUnsignedInt16: SetAsWord(static_cast<std::uint16_t>(0u - GetAsWord())); break;
    case bftUnsignedInt32: SetAsCardinal(0u - GetAsCardinal()); break;
    case bftSingle: SetAsSingle(-GetAsSingle()); break;
    case bftDouble: SetAsDouble(-GetAsDouble()); break;
    case bftExtended: SetAsExtended(-GetAsExtended()); break;
    case bftCurrency: SetAsCurrency(-GetAsCurrency()); break;
    case bftDate: SetAsQXLDate(static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(GetAsQXLDate()))); break;
    case bftLogical: SetAsBoolean(!GetAsBoolean()); break;
    default:
      throw EQXLException(30123, "Cannot invert value with not numeric type '%s'", {BaseFieldTypeName(FDataType)});
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
  } catch (const std::exception& e) {
    throw EQXLException(30128, "Division error: %s", {std::string(e.what())});
  }
}

void TQXLVariant::Arithmetic(const TQXLVariant& Value, char op) {
  const TQXLBaseFieldType common = GetCommonDataType(FDataType, Value.FDataType, false);
  Cast(common);
  if (IsStringBaseFieldType(common)) {
    if (op != '+') NotNumeric(op);
    if (IsWideStringBaseFieldType(common))
      SetAsWideString(GetAsWideString() + Value.GetAsWideString());
    else
      SetAnsiText(GetAnsiText() + Value.GetAnsiText());
    return;
  }
  const bool supported = IsIntegerType(common) || IsFloatType(common) || common == bftCurrency ||
                         common == bftDate || common == bftTime || common == bftDateTime || common == bftLogical;
  if (!supported) NotNumeric(op);
  const std::string mine = GetFixedBytes(common);
  const std::string theirs = Value.GetFixedBytes(common);
  std::string result;
  if (IsIntegerType(common)) {
    result.assign(static_cast<std::size_t>(GetDataTypeSize(common)), '\0');
    StoreInteger(common, result.data(),
                 IntegerOp(LoadInteger(common, mine.data()), LoadInteger(common, theirs.data()), op));
  } else {
    switch (common) {
      case bftSingle: result = FloatResult<float>(mine, theirs, op); break;
      case bftDouble:
      case bftCurrency: result = FloatResult<double>(mine, theirs, op); break;
      case bftExtended: result = ExtendedResult(mine, theirs, op); break;
      case bftDate:
      case bftTime: {
        const std::int32_t r = Int32Op(LoadValue<std::int32_t>(mine.data()), LoadValue<std::int32_t>(theirs.data()), op);
        result.assign(sizeof r, '\0');
        StoreValue(result.data(), r);
        break;
      }
      case bftDateTime: result = DateTimeResult(mine, theirs, op); break;
      default: {
        // Every operator of two Booleans is "or".
        const bool r = LoadValue<std::uint16_t>(mine.data()) != 0 || LoadValue<std::uint16_t>(theirs.data()) != 0;
        const std::uint16_t bits = r ? 0xFFFF : 0;
        result.assign(sizeof bits, '\0');
        StoreValue(result.data(), bits);
      }
    }
  }
  SetValue(common, result.data(), static_cast<std::int32_t>(result.size()), false);
}
