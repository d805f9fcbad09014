#include "engine/sql/statements/dml/QXLStoreValueInField.h"

#include "engine/core/QXLException.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/datasets/base/Field.h"

namespace qxl {

void StoreValueInField(const TQXLVariant* Value, TField& Field) {
  if (!Value) throw EQXLException(30359, "Value is Null");
  if (Value->IsNull()) {
    Field.Clear();
    return;
  }
  const TQXLBaseFieldType Type = Field.ValueType();
  const bool BytesField = Type == bftBytes || Type == bftVarBytes;
  const bool BytesValue = Value->IsBlobDataType() || Value->DataType() == bftBytes || Value->DataType() == bftVarBytes;
  // Binary content (MimeToBin, another binary column) goes into a byte
  // column as its bytes, as a byte array would.
  if ((IsBlobBaseFieldType(Type) && !Value->IsStringDataType()) || (BytesField && BytesValue)) {
    TQXLVariant Bytes(Type);
    Bytes.SetData(Value->pData(), Value->DataSize(), Type, true);
    Field.SetValue(Bytes);
    return;
  }
  Field.SetValue(*Value);
}

}  // namespace qxl
