#pragma once
// Reading and writing one value in a raw value buffer. Buffers are byte
// arrays (record fields are not aligned), so every access goes through memcpy.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/core/values/QXLTypes.h"

namespace qxl {

// The 80-bit extended float is stored in 10 bytes; on x86-64 they are the
// first 10 bytes of a long double.
inline constexpr std::size_t QXLExtendedSize = 10;
static_assert(sizeof(long double) >= QXLExtendedSize);

template <typename T>
T LoadValue(const void* p) {
  T v{};
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename T>
void StoreValue(void* p, const T& v) {
  std::memcpy(p, &v, sizeof v);
}

// The bytes of one value as a buffer holds them.
template <typename T>
std::string ValueBytes(const T& v) {
  std::string bytes(sizeof v, '\0');
  StoreValue(bytes.data(), v);
  return bytes;
}

inline long double LoadExtended(const void* p) {
  long double v = 0;
  std::memcpy(&v, p, QXLExtendedSize);
  return v;
}

inline void StoreExtended(void* p, long double v) { std::memcpy(p, &v, QXLExtendedSize); }

inline bool IsSignedIntegerType(TQXLBaseFieldType t) { return t >= bftSignedInt8 && t <= bftSignedInt64; }
inline bool IsUnsignedIntegerType(TQXLBaseFieldType t) { return t >= bftUnsignedInt8 && t <= bftUnsignedInt32; }
inline bool IsIntegerType(TQXLBaseFieldType t) { return t >= bftSignedInt8 && t <= bftUnsignedInt32; }
inline bool IsFloatType(TQXLBaseFieldType t) { return t >= bftSingle && t <= bftExtended; }
inline bool IsAnsiTextType(TQXLBaseFieldType t) { return t == bftChar || t == bftVarchar; }
inline bool IsWideTextType(TQXLBaseFieldType t) { return t == bftWideChar || t == bftWideVarchar; }
// Numbers, dates, times and Booleans: one size per type.
inline bool IsFixedSizeType(TQXLBaseFieldType t) {
  return (t >= bftSignedInt8 && t <= bftDateTime) || t == bftLogical || t == bftCurrency;
}

// A value of a fixed-size type given in fewer bytes than its type has (raw
// data of a known size) reads as if padded with zeros, so that no load passes
// its end. Returns Data itself, or Room holding the padded copy.
inline const void* PadShortValue(TQXLBaseFieldType Type, const void* Data, std::int32_t Size, std::string& Room) {
  if (!Data || Size <= 0 || !IsFixedSizeType(Type)) return Data;
  const auto full = static_cast<std::size_t>(GetDataTypeSize(Type));
  if (static_cast<std::size_t>(Size) >= full) return Data;
  Room.assign(full, '\0');
  std::memcpy(Room.data(), Data, static_cast<std::size_t>(Size));
  return Room.data();
}

// How many characters of CharSize bytes a buffer of Size bytes can hold; no
// bound when the size is unknown (0 or less) and the text must end in a zero.
inline std::size_t CharsWithin(std::int32_t Size, std::size_t CharSize) {
  return Size > 0 ? static_cast<std::size_t>(Size) / CharSize : SIZE_MAX;
}

// 8-bit text at p up to its terminator, at most MaxChars characters.
inline std::string_view LoadAnsiText(const void* p, std::size_t MaxChars) {
  const auto* text = static_cast<const char*>(p);
  return std::string_view(text, strnlen(text, MaxChars));
}

// The code units of UTF-16 text at p before its terminator, at most MaxChars.
inline std::size_t WideTextLength(const void* p, std::size_t MaxChars) {
  const auto* bytes = static_cast<const unsigned char*>(p);
  std::size_t n = 0;
  while (n < MaxChars && (bytes[2 * n] | bytes[2 * n + 1]) != 0) ++n;
  return n;
}

// UTF-16 text at p up to its terminator, at most MaxChars code units.
inline std::u16string LoadWideText(const void* p, std::size_t MaxChars) {
  std::u16string text(WideTextLength(p, MaxChars), u'\0');
  std::memcpy(text.data(), p, 2 * text.size());
  return text;
}

// An integer value of type t, sign-extended for signed types and zero-extended
// for unsigned ones (every unsigned type fits in 64 signed bits).
inline std::int64_t LoadInteger(TQXLBaseFieldType t, const void* p) {
  switch (t) {
    case bftSignedInt8: return LoadValue<std::int8_t>(p);
    case bftSignedInt16: return LoadValue<std::int16_t>(p);
    case bftSignedInt32: return LoadValue<std::int32_t>(p);
    case bftSignedInt64: return LoadValue<std::int64_t>(p);
    case bftUnsignedInt8: return LoadValue<std::uint8_t>(p);
    case bftUnsignedInt16: return LoadValue<std::uint16_t>(p);
    case bftUnsignedInt32: return LoadValue<std::uint32_t>(p);
    default: return 0;
  }
}

// The low bytes of v in the width of integer type t.
inline void StoreInteger(TQXLBaseFieldType t, void* p, std::int64_t v) {
  switch (t) {
    case bftSignedInt8:
    case bftUnsignedInt8: StoreValue(p, static_cast<std::uint8_t>(v)); break;
    case bftSignedInt16:
    case bftUnsignedInt16: StoreValue(p, static_cast<std::uint16_t>(v)); break;
    case bftSignedInt32:
    case bftUnsignedInt32: StoreValue(p, static_cast<std::uint32_t>(v)); break;
    case bftSignedInt64: StoreValue(p, v); break;
    default: break;
  }
}

// A float value of type t (Single, Double, Extended or Currency).
inline long double LoadFloat(TQXLBaseFieldType t, const void* p) {
  switch (t) {
    case bftSingle: return LoadValue<float>(p);
    case bftDouble:
    case bftCurrency: return LoadValue<double>(p);
    case bftExtended: return LoadExtended(p);
    default: return 0;
  }
}

}  // namespace qxl
