#pragma once
// The field-by-field stored form of schema definitions: fixed-size little-
// endian values and names, each read or written exactly or failing with the
// native code of its place.
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/core/streams/QXLStream.h"

namespace qxl {

template <typename T>
void WriteDefValue(TQXLStream& Stream, T Value, std::int32_t Code) {
  WriteBufferToStream(&Value, sizeof(T), Stream, Code);
}

template <typename T>
T ReadDefValue(TQXLStream& Stream, std::int32_t Code) {
  T value{};
  ReadBufferFromStream(&value, sizeof(T), Stream, Code);
  return value;
}

inline void WriteDefBool(TQXLStream& Stream, bool Value, std::int32_t Code) {
  WriteDefValue<std::uint8_t>(Stream, Value ? 1 : 0, Code);
}

inline bool ReadDefBool(TQXLStream& Stream, std::int32_t Code) { return ReadDefValue<std::uint8_t>(Stream, Code) != 0; }

// A name's stored bytes; a name whose Windows-1252 form is longer than
// MaxBytes is refused with LengthCode rather than cut or overflowed.
std::string StoredName(std::string_view Name, std::size_t MaxBytes, std::int32_t LengthCode);

// A length byte and the bytes.
void WriteShortString(TQXLStream& Stream, std::string_view Name, std::int32_t LengthCode, std::int32_t BytesCode);
std::string ReadShortString(TQXLStream& Stream, std::int32_t LengthCode, std::int32_t BytesCode);

// A prefix holding k + 1, then the length byte k and the k bytes; the prefix
// is one byte (NOT NULL and CHECK records, so k is at most 254) or a signed
// 32-bit number (UNIQUE and PRIMARY KEY records).
enum class TQXLNamePrefix { Byte, Int32 };
std::size_t MaxCountedNameLength(TQXLNamePrefix Prefix);
void WriteCountedName(TQXLStream& Stream, TQXLNamePrefix Prefix, std::string_view Name, std::int32_t PrefixCode,
                      std::int32_t BytesCode);
std::string ReadCountedName(TQXLStream& Stream, TQXLNamePrefix Prefix, std::int32_t PrefixCode,
                            std::int32_t BytesCode);

}  // namespace qxl
