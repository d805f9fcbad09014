#pragma once
// The class library's general variant as the engine's values exchange it: a
// type number (the var* constants) and one payload of a matching C++ type.
// 8-bit string variants carry UTF-8 text, OLE and Unicode strings UTF-16.
#include <cstdint>
#include <string>
#include <variant>

using TVarType = std::uint16_t;

constexpr TVarType varEmpty = 0x0000;
constexpr TVarType varNull = 0x0001;
constexpr TVarType varSmallint = 0x0002;
constexpr TVarType varInteger = 0x0003;
constexpr TVarType varSingle = 0x0004;
constexpr TVarType varDouble = 0x0005;
constexpr TVarType varCurrency = 0x0006;
constexpr TVarType varDate = 0x0007;
constexpr TVarType varOleStr = 0x0008;
constexpr TVarType varError = 0x000A;
constexpr TVarType varBoolean = 0x000B;
constexpr TVarType varShortInt = 0x0010;
constexpr TVarType varByte = 0x0011;
constexpr TVarType varWord = 0x0012;
constexpr TVarType varLongWord = 0x0013;
constexpr TVarType varInt64 = 0x0014;
constexpr TVarType varUInt64 = 0x0015;
constexpr TVarType varString = 0x0100;
constexpr TVarType varUString = 0x0102;

class Variant {
public:
  using Payload = std::variant<std::monostate, std::int8_t, std::uint8_t, std::int16_t, std::uint16_t,
                               std::int32_t, std::uint32_t, std::int64_t, std::uint64_t, float, double,
                               bool, std::string, std::u16string>;

  Variant() = default;  // empty
  Variant(std::int8_t v) : FVType(varShortInt), FValue(v) {}
  Variant(std::uint8_t v) : FVType(varByte), FValue(v) {}
  Variant(std::int16_t v) : FVType(varSmallint), FValue(v) {}
  Variant(std::uint16_t v) : FVType(varWord), FValue(v) {}
  Variant(std::int32_t v) : FVType(varInteger), FValue(v) {}
  Variant(std::uint32_t v) : FVType(varLongWord), FValue(v) {}
  Variant(std::int64_t v) : FVType(varInt64), FValue(v) {}
  Variant(float v) : FVType(varSingle), FValue(v) {}
  Variant(double v) : FVType(varDouble), FValue(v) {}
  Variant(bool v) : FVType(varBoolean), FValue(v) {}
  Variant(std::string v) : FVType(varString), FValue(std::move(v)) {}
  Variant(const char* v) : Variant(std::string(v)) {}
  Variant(std::u16string v) : FVType(varOleStr), FValue(std::move(v)) {}
  Variant(const char16_t* v) : Variant(std::u16string(v)) {}
  // Any type number with any payload: the caller keeps the two consistent.
  Variant(TVarType VType, Payload Value) : FVType(VType), FValue(std::move(Value)) {}

  static Variant Null() { return Variant(varNull, std::monostate()); }
  static Variant Date(double DateTime) { return Variant(varDate, DateTime); }
  static Variant Currency(double Amount) { return Variant(varCurrency, Amount); }

  TVarType VType() const { return FVType; }
  const Payload& Value() const { return FValue; }
  bool IsNull() const { return FVType == varNull; }
  bool IsEmpty() const { return FVType == varEmpty; }

  template <typename T>
  const T& Get() const {
    return std::get<T>(FValue);
  }

  bool operator==(const Variant&) const = default;

private:
  TVarType FVType = varEmpty;
  Payload FValue;
};
