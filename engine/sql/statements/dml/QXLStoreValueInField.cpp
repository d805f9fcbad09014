#include "engine/sql/statements/dml/QXLStoreValueInField.h"

#include "engine/core/QXLException.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/datasets/base/Field.h"

namespace qxl {

namespace {

// A text value as long as its text: a value read from a fixed-size column
// carries the column's whole size, which a shorter column would refuse.
void TrimText(const TQXLVariant& Value, TQXLVariant& Text) {
  if (Value.IsWideStringDataType())
    Text.SetAsWideString(Value.GetAsWideString());
  else
    Text.SetAsAnsiString(Value.GetAsAnsiString());
}

void Store(const TQXLVariant& Value, TField& Field) {
  if (Value.IsNull()) {
    Field.Clear();
    return;
  }
  const TQXLBaseFieldType Type = Field.ValueType();
  const bool BytesField = Type == bftBytes || Type == bftVarBytes;
  const bool BytesValue = Value.IsBlobDataType() || Value.DataType() == bftBytes || Value.DataType() == bftVarBytes;
  // Binary content (MimeToBin, another binary column) goes into a byte
  // column as its bytes, as a byte array would.
  if ((IsBlobBaseFieldType(Type) && !Value.IsStringDataType()) || (BytesField && BytesValue)) {
    TQXLVariant Bytes(Type);
    Bytes.SetData(Value.pData(), Value.DataSize(), Type, true);
    Field.SetValue(Bytes);
    return;
  }
  if (Value.IsStringDataType()) {
    TQXLVariant Text;
    TrimText(Value, Text);
    Field.SetValue(Text);
    return;
  }
  Field.SetValue(Value);
}

}  // namespace

void StoreValueInField(const TQXLVariant* Value, TField& Field) {
  if (!Value) throw EQXLException(30359, "Value is Null");
  try {
    Store(*Value, Field);
  } catch (platform::Exception& Error) {
    // The column is named, so that a value that does not fit is found.
    if (Error.Message.find("'" + Field.FieldName + "'") == std::string::npos)
      Error.Message = "Field '" + Field.FieldName + "': " + Error.Message;
    throw;
  }
}

void CopyFieldValueInto(const TField& Source, TField& Dest) {
  TQXLVariant Value(Source.ValueType());
  if (!Source.GetValue(Value) || Value.IsNull()) {
    Dest.Clear();
    return;
  }
  TextBlobToString(Value);
  StoreValueInField(&Value, Dest);
}

}  // namespace qxl
