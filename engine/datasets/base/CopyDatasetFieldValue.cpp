#include "engine/datasets/base/CopyDatasetFieldValue.h"

#include "engine/core/values/QXLVariant.h"
#include "engine/datasets/base/Field.h"

namespace qxl {

namespace {

bool IsByteType(TQXLBaseFieldType Type) { return Type == bftBytes || Type == bftVarBytes || Type == bftBlob; }

}  // namespace

void CopyDatasetFieldValue(const TField& Source, TField& Dest) {
  TQXLVariant value(Source.ValueType());
  if (!Source.GetValue(value) || value.IsNull()) {
    Dest.Clear();
    return;
  }
  // Bytes keep their bytes whichever of the byte types holds them; the
  // engine casts none of them into another.
  if (IsByteType(value.DataType()) && IsByteType(Dest.ValueType())) {
    TQXLVariant bytes;
    bytes.SetData(value.pData(), value.DataSize(), Dest.ValueType(), true);
    Dest.SetValue(bytes);
    return;
  }
  // Text BLOB content goes over as text, which the engine casts on.
  TextBlobToString(value);
  Dest.SetValue(value);
}

}  // namespace qxl
