// Engine values exchanged with the class library's variant and with streams.
#include <algorithm>
#include <string>
#include <type_traits>

#include "engine/core/QXLException.h"
#include "engine/core/containers/QXLMemoryManager.h"
#include "engine/core/containers/QXLOwnedBlock.h"
#include "engine/core/streams/QXLStream.h"
#include "engine/core/values/QXLVariant.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"

namespace qxl {

namespace {

// The payload of a variant read as a number or a text, whatever C++ type
// carries it.
template <typename T>
T Number(const Variant& v) {
  return std::visit(
      [](const auto& x) -> T {
        using X = std::decay_t<decltype(x)>;
        if constexpr (std::is_arithmetic_v<X>) return static_cast<T>(x);
        throw platform::Exception("The variant holds no number");
      },
      v.Value());
}

std::string Utf8(const Variant& v) {
  if (const auto* s = std::get_if<std::string>(&v.Value())) return *s;
  if (const auto* w = std::get_if<std::u16string>(&v.Value())) return platform::WideToUtf8(*w);
  throw platform::Exception("The variant holds no text");
}

std::u16string Wide(const Variant& v) {
  if (const auto* w = std::get_if<std::u16string>(&v.Value())) return *w;
  return platform::Utf8ToWide(Utf8(v));
}

// A damaged size must not claim more memory than the stream can fill: the
// short read is reported before the block is taken.
void RefuseSizeBeyondStream(TQXLStream& Stream, std::int32_t Size) {
  const std::int64_t position = Stream.Position(), streamSize = Stream.Size();
  if (Size > streamSize - position)
    throw EQXLException(10186,
                        "Cannot read from stream. Position = %d, Stream size = %d, Block size = %d, Bytes Read = %d",
                        {position, streamSize, static_cast<std::int64_t>(Size),
                         std::max<std::int64_t>(streamSize - position, 0)});
}

}  // namespace

Variant TQXLVariant::GetAsVariant() const {
  if (IsNull()) return Variant::Null();
  switch (FDataType) {
    case bftChar:
    case bftVarchar:
    case bftBlob: return Variant(GetAsAnsiString());
    case bftWideChar:
    case bftWideVarchar: return Variant(GetAsWideString());
    case bftSignedInt8: return Variant(GetAsShortint());
    case bftSignedInt16: return Variant(GetAsSmallint());
    case bftSignedInt32: return Variant(GetAsInteger());
    case bftSignedInt64: return Variant(GetAsInt64());
    case bftUnsignedInt8: return Variant(GetAsByte());
    case bftUnsignedInt16: return Variant(GetAsWord());
    case bftUnsignedInt32: return Variant(GetAsCardinal());
    case bftSingle:
    case bftDouble:
    case bftExtended:
    case bftCurrency: return Variant(GetAsDouble());
    case bftDate: return Variant::Date(GetAsTDate());
    case bftTime: return Variant::Date(GetAsTTime());
    case bftDateTime: return Variant::Date(GetAsTDateTime());
    case bftLogical: return Variant(GetAsBoolean());
    default: throw EQXLException(30114, "Unsupported Variant Type %s", {qxl::BaseFieldTypeName(FDataType)});
  }
}

void TQXLVariant::SetAsVariant(const Variant& Value) {
  const TVarType type = Value.VType();
  switch (type) {
    case varEmpty:
    case varNull: SetNull(); return;
    case varSmallint: SetAsSmallint(Number<std::int16_t>(Value)); return;
    case varInteger: SetAsInteger(Number<std::int32_t>(Value)); return;
    case varSingle: SetAsSingle(Number<float>(Value)); return;
    case varDouble: SetAsDouble(Number<double>(Value)); return;
    case varShortInt: SetAsShortint(Number<std::int8_t>(Value)); return;
    case varByte: SetAsByte(Number<std::uint8_t>(Value)); return;
    case varWord: SetAsWord(Number<std::uint16_t>(Value)); return;
    case varInt64: SetAsInt64(Number<std::int64_t>(Value)); return;
    case varLongWord: SetAsCardinal(Number<std::uint32_t>(Value)); return;
    case varCurrency: SetAsCurrency(Number<double>(Value)); return;
    case varDate: SetAsTDateTime(Number<double>(Value)); return;
    case varOleStr:
    case varUString: SetAsWideString(Wide(Value)); return;
    case varBoolean: SetAsBoolean(Number<bool>(Value)); return;
    default:
      if (type >= 256 && type <= 287) {
        SetAsAnsiString(Utf8(Value));
        return;
      }
      throw EQXLException(30113, "Unsupported Variant Type %s", {std::to_string(type)});
  }
}

void TQXLVariant::SaveToStream(TQXLStream& Stream) const {
  const auto type = static_cast<std::uint8_t>(FDataType);
  qxl::WriteBufferToStream(&type, 1, Stream, 10179);
  const std::uint8_t nullFlag = IsNull() ? 255 : 0;
  qxl::WriteBufferToStream(&nullFlag, 1, Stream, 10180);
  if (nullFlag) return;
  qxl::WriteBufferToStream(&FDataSize, 4, Stream, 10181);
  qxl::WriteBufferToStream(FPData, FDataSize, Stream, 10182);
}

void TQXLVariant::LoadFromStream(TQXLStream& Stream) {
  Clear(bftUnknown);
  std::uint8_t type = 0;
  qxl::ReadBufferFromStream(&type, 1, Stream, 10183);
  if (type >= QXLBaseFieldTypeCount) throw EQXLException(10183, "Invalid value type in stream: %d", {type});
  std::uint8_t nullFlag = 0;
  qxl::ReadBufferFromStream(&nullFlag, 1, Stream, 10184);
  FDataType = static_cast<TQXLBaseFieldType>(type);
  if (nullFlag) return;
  std::int32_t size = 0;
  qxl::ReadBufferFromStream(&size, 4, Stream, 10185);
  if (size <= 0) throw EQXLException(10185, "Invalid value size in stream: %d", {size});
  RefuseSizeBeyondStream(Stream, size);
  TQXLOwnedBlock block(QXLMemoryManager().GetMem(size));
  qxl::ReadBufferFromStream(block.get(), size, Stream, 10186);
  FPData = block.release();
  FDataSize = size;
  FIsNull = false;
}

}  // namespace qxl
