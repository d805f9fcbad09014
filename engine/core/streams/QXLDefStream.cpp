#include "engine/core/streams/QXLDefStream.h"

#include "engine/core/QXLException.h"
#include "engine/core/values/QXLShortString.h"
#include "platform/CodePage.h"

namespace qxl {

std::string StoredName(std::string_view Name, std::size_t MaxBytes, std::int32_t LengthCode) {
  std::string ansi = platform::Utf8ToAnsi(Name);
  if (ansi.size() > MaxBytes)
    throw EQXLException(LengthCode, "Name '%s' is too long: %d bytes, at most %d can be stored",
                        {std::string(Name), ansi.size(), MaxBytes});
  return ansi;
}

void WriteShortString(TQXLStream& Stream, std::string_view Name, std::int32_t LengthCode, std::int32_t BytesCode) {
  std::string ansi = qxl::StoredName(Name, kMaxShortStringLength, LengthCode);
  qxl::WriteDefValue<std::uint8_t>(Stream, static_cast<std::uint8_t>(ansi.size()), LengthCode);
  if (!ansi.empty()) qxl::WriteBufferToStream(ansi.data(), static_cast<std::int32_t>(ansi.size()), Stream, BytesCode);
}

std::string ReadShortString(TQXLStream& Stream, std::int32_t LengthCode, std::int32_t BytesCode) {
  std::string ansi(qxl::ReadDefValue<std::uint8_t>(Stream, LengthCode), '\0');
  if (!ansi.empty()) qxl::ReadBufferFromStream(ansi.data(), static_cast<std::int32_t>(ansi.size()), Stream, BytesCode);
  return platform::AnsiToUtf8(ansi);
}

std::size_t MaxCountedNameLength(TQXLNamePrefix Prefix) {
  return Prefix == TQXLNamePrefix::Byte ? kMaxShortStringLength - 1 : kMaxShortStringLength;
}

void WriteCountedName(TQXLStream& Stream, TQXLNamePrefix Prefix, std::string_view Name, std::int32_t PrefixCode,
                      std::int32_t BytesCode) {
  std::string ansi = qxl::StoredName(Name, qxl::MaxCountedNameLength(Prefix), PrefixCode);
  std::string bytes = static_cast<char>(ansi.size()) + ansi;
  if (Prefix == TQXLNamePrefix::Byte)
    qxl::WriteDefValue<std::uint8_t>(Stream, static_cast<std::uint8_t>(bytes.size()), PrefixCode);
  else
    qxl::WriteDefValue<std::int32_t>(Stream, static_cast<std::int32_t>(bytes.size()), PrefixCode);
  qxl::WriteBufferToStream(bytes.data(), static_cast<std::int32_t>(bytes.size()), Stream, BytesCode);
}

std::string ReadCountedName(TQXLStream& Stream, TQXLNamePrefix Prefix, std::int32_t PrefixCode,
                            std::int32_t BytesCode) {
  std::int64_t count = Prefix == TQXLNamePrefix::Byte ? qxl::ReadDefValue<std::uint8_t>(Stream, PrefixCode)
                                                      : qxl::ReadDefValue<std::int32_t>(Stream, PrefixCode);
  if (count == 0) return {};
  // The bytes are a length byte and that many bytes: anything else is damage.
  if (count < 0 || count > static_cast<std::int64_t>(kMaxShortStringLength) + 1)
    throw EQXLException(PrefixCode, "Invalid length of a stored name = %d", {count});
  std::string bytes(static_cast<std::size_t>(count), '\0');
  qxl::ReadBufferFromStream(bytes.data(), static_cast<std::int32_t>(count), Stream, BytesCode);
  auto length = static_cast<std::uint8_t>(bytes[0]);
  if (length != count - 1)
    throw EQXLException(BytesCode, "Invalid length of a stored name = %d. Should be = %d", {length, count - 1});
  return platform::AnsiToUtf8(std::string_view(bytes).substr(1));
}

}  // namespace qxl
