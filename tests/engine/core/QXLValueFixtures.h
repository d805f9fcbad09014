#pragma once
// Raw value buffers for the conversion, comparison and value tests: each helper
// gives the bytes one value of a base type occupies.
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/core/values/QXLTypes.h"

namespace qxl {

namespace valuetest {

struct TypedBytes {
  TQXLBaseFieldType Type;
  std::string Bytes;
  const void* Data() const { return Bytes.data(); }
  std::int32_t Size() const { return static_cast<std::int32_t>(Bytes.size()); }
};

template <typename T>
std::string Raw(const T& v) {
  std::string bytes(sizeof v, '\0');
  std::memcpy(bytes.data(), &v, sizeof v);
  return bytes;
}

inline std::string WideRaw(std::u16string_view w, bool terminated = true) {
  std::string bytes(2 * (w.size() + (terminated ? 1 : 0)), '\0');
  std::memcpy(bytes.data(), w.data(), 2 * w.size());
  return bytes;
}

inline TypedBytes Ansi(std::string_view s, TQXLBaseFieldType t = bftVarchar) {
  return {t, std::string(s) + '\0'};
}
inline TypedBytes Wide(std::u16string_view s, TQXLBaseFieldType t = bftWideVarchar) { return {t, WideRaw(s)}; }
// Large text objects carry no terminator.
inline TypedBytes Clob(std::string_view s) { return {bftClob, std::string(s)}; }
inline TypedBytes WideClob(std::u16string_view s) { return {bftWideClob, WideRaw(s, false)}; }
inline TypedBytes I8(std::int8_t v) { return {bftSignedInt8, Raw(v)}; }
inline TypedBytes I16(std::int16_t v) { return {bftSignedInt16, Raw(v)}; }
inline TypedBytes I32(std::int32_t v) { return {bftSignedInt32, Raw(v)}; }
inline TypedBytes I64(std::int64_t v) { return {bftSignedInt64, Raw(v)}; }
inline TypedBytes U8(std::uint8_t v) { return {bftUnsignedInt8, Raw(v)}; }
inline TypedBytes U16(std::uint16_t v) { return {bftUnsignedInt16, Raw(v)}; }
inline TypedBytes U32(std::uint32_t v) { return {bftUnsignedInt32, Raw(v)}; }
inline TypedBytes Sgl(float v) { return {bftSingle, Raw(v)}; }
inline TypedBytes Dbl(double v) { return {bftDouble, Raw(v)}; }
inline TypedBytes Ext(long double v) { return {bftExtended, Raw(v).substr(0, 10)}; }
inline TypedBytes Cur(double v) { return {bftCurrency, Raw(v)}; }
inline TypedBytes Dat(std::int32_t v) { return {bftDate, Raw(v)}; }
inline TypedBytes Tim(std::int32_t v) { return {bftTime, Raw(v)}; }
inline TypedBytes DT(std::int32_t d, std::int32_t t) { return {bftDateTime, Raw(TQXLDateTime{d, t})}; }
inline TypedBytes Logical(std::uint16_t bits) { return {bftLogical, Raw(bits)}; }
inline TypedBytes Blob(std::string s) { return {bftBlob, std::move(s)}; }
inline TypedBytes Bytes(std::string s) { return {bftBytes, std::move(s)}; }

// Engine day numbers of a few dates.
inline constexpr std::int32_t Day_2019_04_04 = 737153;
inline constexpr std::int32_t Day_1899_12_30 = 693594;

}  // namespace valuetest

}  // namespace qxl
