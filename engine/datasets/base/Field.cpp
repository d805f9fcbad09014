#include "engine/datasets/base/Field.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "engine/datasets/base/DataSet.h"
#include "engine/datasets/base/DatabaseError.h"
#include "platform/CodePage.h"

namespace qxl {

TField::TField(TFieldType DataType, TQXLBaseFieldType ValueType) : FDataType(DataType), FValueType(ValueType) {}

TField::~TField() {
  if (FDataSet) FDataSet->RemoveField(*this);
}

void TField::SetDataSet(TDataSet* DataSet) {
  if (DataSet == FDataSet) return;
  if (FDataSet) FDataSet->RemoveField(*this);
  FDataSet = nullptr;
  if (DataSet) DataSet->AddField(*this);
  FDataSet = DataSet;
}

std::int32_t TField::DataSize() const {
  return static_cast<std::int32_t>(GetDataTypeSize(FValueType, Size));
}

TQXLVariant& TField::ReadShared() const {
  // NULL of the field's type, keeping the block for the value to come: the
  // dataset fills it in place when the value has the block's size.
  if (FReadValue.DataType() == FValueType)
    FReadValue.SetNull(FValueType);
  else
    FReadValue.Clear(FValueType);
  if (!FDataSet) DatabaseErrorFmt(this, "Field '%s' has no dataset", DisplayName());
  FDataSet->GetFieldData(*this, FReadValue);
  return FReadValue;
}

bool TField::GetValue(TQXLVariant& Value) const {
  Value.Clear(FValueType);
  if (!FDataSet) DatabaseErrorFmt(this, "Field '%s' has no dataset", DisplayName());
  return FDataSet->GetFieldData(*this, Value);
}

bool TField::IsNull() const { return ReadShared().IsNull(); }

void TField::SetValue(const TQXLVariant& Value) {
  if (!FDataSet) DatabaseErrorFmt(this, "Field '%s' has no dataset", DisplayName());
  if (ReadOnly && FDataSet->State() != dsCalcFields && FDataSet->State() != dsInternalCalc)
    DatabaseErrorFmt(this, "Field '%s' cannot be modified", DisplayName());
  TQXLVariant value(FValueType);
  value.Assign(Value, true);
  if (value.IsNull()) {
    value.Clear(FValueType);
  } else if (IsBlobBaseFieldType(FValueType) && value.IsStringDataType()) {
    TextToBlob(value);
  } else if (value.DataType() != FValueType) {
    try {
      value.Cast(FValueType);
    } catch (const platform::Exception& e) {
      DatabaseErrorFmt(this, "Invalid value for field '%s': %s", DisplayName(), e.Message);
    }
  }
  FDataSet->SetFieldData(*this, value);
}

void TField::TextToBlob(TQXLVariant& Value) const {
  // A BLOB holds text without a terminator: wide text as UTF-16, other
  // content as the text's 8-bit bytes.
  if (FValueType == bftWideClob) {
    const std::u16string text = Value.GetAsWideString();
    Value.SetData(text.data(), static_cast<std::int32_t>(text.size() * 2), bftWideClob, true);
    return;
  }
  Value.Cast(bftVarchar);
  const std::string bytes(static_cast<const char*>(Value.pData()), static_cast<std::size_t>(Value.DataSize() - 1));
  Value.SetData(bytes.data(), static_cast<std::int32_t>(bytes.size()), FValueType, true);
}

void TField::Clear() { SetValue(TQXLVariant(FValueType)); }

template <typename Setter>
void TField::SetTyped(Setter&& Set) {
  TQXLVariant value;
  try {
    Set(value);
  } catch (const platform::Exception& e) {
    DatabaseErrorFmt(this, "Invalid value for field '%s': %s", DisplayName(), e.Message);
  }
  SetValue(value);
}

Variant TField::AsVariant() const { return ReadShared().GetAsVariant(); }
void TField::SetAsVariant(const Variant& Value) {
  SetTyped([&](TQXLVariant& v) { v.SetAsVariant(Value); });
}

std::string TField::AsString() const {
  TQXLVariant& read = ReadShared();
  if (read.IsNull()) return std::string();
  if (read.DataType() == bftVarchar) {
    // Text of the 8-bit code page up to its terminator: ASCII is the same
    // bytes in UTF-8, so only text with other characters is converted.
    const std::string_view text(static_cast<const char*>(read.pData()),
                                strnlen(static_cast<const char*>(read.pData()), static_cast<std::size_t>(read.DataSize())));
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
      return std::string(text);
    return platform::AnsiToUtf8(text);
  }
  TextBlobToString(read);
  return read.IsWideStringDataType() ? platform::WideToUtf8(read.GetAsWideString()) : read.GetAsAnsiString();
}
void TField::SetAsString(const std::string& Text) {
  SetTyped([&](TQXLVariant& v) { v.SetAsAnsiString(Text); });
}

std::int32_t TField::AsInteger() const {
  const TQXLVariant& v = ReadShared();
  return v.IsNull() ? 0 : v.GetAsInteger();
}
void TField::SetAsInteger(std::int32_t Number) {
  SetTyped([&](TQXLVariant& v) { v.SetAsInteger(Number); });
}

std::int64_t TField::AsLargeInt() const {
  const TQXLVariant& v = ReadShared();
  return v.IsNull() ? 0 : v.GetAsInt64();
}
void TField::SetAsLargeInt(std::int64_t Number) {
  SetTyped([&](TQXLVariant& v) { v.SetAsInt64(Number); });
}

double TField::AsFloat() const {
  const TQXLVariant& v = ReadShared();
  return v.IsNull() ? 0 : v.GetAsDouble();
}
void TField::SetAsFloat(double Number) {
  SetTyped([&](TQXLVariant& v) { v.SetAsDouble(Number); });
}

TDateTime TField::AsDateTime() const {
  const TQXLVariant& v = ReadShared();
  return v.IsNull() ? 0 : v.GetAsTDateTime();
}
void TField::SetAsDateTime(TDateTime Value) {
  SetTyped([&](TQXLVariant& v) { v.SetAsTDateTime(Value); });
}

bool TField::AsBoolean() const {
  const TQXLVariant& v = ReadShared();
  return !v.IsNull() && v.GetAsBoolean();
}
void TField::SetAsBoolean(bool Flag) {
  SetTyped([&](TQXLVariant& v) { v.SetAsBoolean(Flag); });
}

void TextBlobToString(TQXLVariant& Value) {
  if (Value.IsNull()) return;
  if (Value.DataType() == bftWideClob) {
    const std::u16string text(static_cast<const char16_t*>(Value.pData()),
                              static_cast<std::size_t>(Value.DataSize() / 2));
    Value.Clear(bftWideVarchar);
    Value.SetAsWideString(text);
  } else if (Value.DataType() == bftClob) {
    Value.Cast(bftVarchar);
  }
}

}  // namespace qxl
