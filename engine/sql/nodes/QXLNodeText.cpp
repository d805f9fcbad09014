#include "engine/sql/nodes/QXLNodeText.h"

#include <cstring>

#include "platform/CodePage.h"

namespace qxl {

std::string AnsiTextOf(const TQXLVariant& Value) {
  if (Value.IsNull()) return {};
  if (!Value.IsStringDataType() || Value.IsWideStringDataType()) return platform::Utf8ToAnsi(Value.GetAsAnsiString());
  const auto* bytes = static_cast<const char*>(Value.pData());
  return std::string(bytes, strnlen(bytes, static_cast<std::size_t>(Value.DataSize())));
}

std::u16string WideTextOf(const TQXLVariant& Value) {
  if (Value.IsNull()) return {};
  if (!Value.IsWideStringDataType()) return Value.GetAsWideString();
  // Values may sit at odd addresses (record buffers, engine blocks): units
  // are copied, never read in place.
  const auto* bytes = static_cast<const unsigned char*>(Value.pData());
  const std::size_t max = static_cast<std::size_t>(Value.DataSize()) / 2;
  std::u16string text;
  for (std::size_t n = 0; n < max; ++n) {
    char16_t unit = 0;
    std::memcpy(&unit, bytes + 2 * n, sizeof unit);
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

std::int32_t TextLengthOf(const TQXLVariant& Value) {
  if (Value.IsNull()) return 0;
  if (Value.IsWideStringDataType()) return static_cast<std::int32_t>(WideTextOf(Value).size());
  return static_cast<std::int32_t>(AnsiTextOf(Value).size());
}

void SetAnsiText(TQXLVariant& Value, std::string_view Text, TQXLBaseFieldType Type) {
  if (Text.empty()) {
    Value.Clear(Type);
    return;
  }
  std::string bytes(Text);
  Value.Clear(Type);
  Value.SetData(bytes.c_str(), static_cast<std::int32_t>(bytes.size() + 1), Type, true);
}

void SetWideText(TQXLVariant& Value, std::u16string_view Text, TQXLBaseFieldType Type) {
  if (Text.empty()) {
    Value.Clear(Type);
    return;
  }
  std::u16string units(Text);
  Value.Clear(Type);
  Value.SetData(units.c_str(), static_cast<std::int32_t>((units.size() + 1) * 2), Type, true);
}

void MakeString(TQXLVariant& Value) {
  if (Value.IsStringDataType()) return;
  if (Value.IsNull()) {
    Value.Clear(bftVarchar);
    return;
  }
  if (Value.DataType() == bftClob) {
    SetAnsiText(Value, AnsiTextOf(Value));
    return;
  }
  if (Value.DataType() == bftWideClob) {
    SetWideText(Value, WideTextOf(Value), bftWideVarchar);
    return;
  }
  Value.Cast(bftVarchar);
}



void CopyValue(TQXLVariant& Value, const TQXLVariant& Source) {
  if (&Value == &Source) return;
  if (Source.IsNull()) {
    Value.Clear(Source.DataType());
    return;
  }
  Value.SetData(Source.pData(), Source.DataSize(), Source.DataType(), true);
}

void SetBooleanResult(TQXLVariant& Value, bool Result) {
  if (Value.DataType() != bftLogical) Value.Clear(bftLogical);
  Value.SetAsBoolean(Result);
}

void SetNullBooleanResult(TQXLVariant& Value) {
  if (Value.DataType() != bftLogical)
    Value.Clear(bftLogical);
  else
    Value.SetNull();
}

}  // namespace qxl
