// Field values in record buffers: data fields through the descendant,
// calculated and lookup fields in the base's calculated-field space.
#include <cstring>

#include "engine/core/values/QXLVariant.h"
#include "engine/datasets/base/DataSet.h"
#include "engine/datasets/base/DatabaseError.h"
#include "engine/datasets/base/Field.h"

namespace qxl {

namespace {

bool SetsFields(TDataSetState State) {
  switch (State) {
    case dsEdit:
    case dsInsert:
    case dsSetKey:
    case dsCalcFields:
    case dsFilter:
    case dsNewValue:
    case dsInternalCalc: return true;
    default: return false;
  }
}

// Bytes of the value held at Data: text up to its terminator, else all of it.
std::int32_t HeldSize(TQXLBaseFieldType Type, const std::uint8_t* Data, std::int32_t Size) {
  if (IsWideStringBaseFieldType(Type)) {
    std::int32_t n = 0;
    while ((n + 1) * 2 <= Size && (Data[n * 2] | Data[n * 2 + 1])) ++n;
    return std::min((n + 1) * 2, Size);
  }
  if (IsStringBaseFieldType(Type))
    return std::min(static_cast<std::int32_t>(strnlen(reinterpret_cast<const char*>(Data), Size)) + 1, Size);
  return Size;
}

}  // namespace

bool TDataSet::GetFieldData(const TField& Field, TQXLVariant& Value) {
  TRecordBuffer buffer = ActiveBuffer();
  if (!buffer) return false;
  if (Field.Calculated()) return ReadCalcField(Field, buffer, Value);
  return GetDataFieldValue(Field, buffer, Value);
}

void TDataSet::SetFieldData(const TField& Field, const TQXLVariant& Value) {
  if (!SetsFields(FState)) DatabaseError("Dataset not in edit or insert mode", this);
  TRecordBuffer buffer = ActiveBuffer();
  if (!buffer) DatabaseError("Dataset has no record", this);
  auto& field = const_cast<TField&>(Field);
  if (Field.OnValidate && FState != dsCalcFields && FState != dsInternalCalc) Field.OnValidate(field, Value);
  if (Field.Calculated())
    WriteCalcField(Field, buffer, Value);
  else
    SetDataFieldValue(Field, buffer, Value);
  if (FState == dsCalcFields || FState == dsFilter || FState == dsNewValue || FState == dsInternalCalc) return;
  FModified = true;
  DataEvent(deFieldChange, &Field);
  if (AutoCalcFields && FCalcFieldsSize > 0 && !Field.Calculated() && (FState == dsEdit || FState == dsInsert))
    CalculateFields(buffer);
}

bool TDataSet::ReadCalcField(const TField& Field, TRecordBuffer Buffer, TQXLVariant& Value) const {
  const std::uint8_t* space = CalcSpace(Buffer) + Field.FOffset;
  if (!space[0]) return false;
  const std::int32_t size = HeldSize(Field.ValueType(), space + 1, Field.DataSize());
  Value.SetData(space + 1, size, Field.ValueType(), true);
  return true;
}

void TDataSet::WriteCalcField(const TField& Field, TRecordBuffer Buffer, const TQXLVariant& Value) {
  std::uint8_t* space = CalcSpace(Buffer) + Field.FOffset;
  std::memset(space, 0, static_cast<std::size_t>(1 + Field.DataSize()));
  if (Value.IsNull()) return;
  Value.CopyDataToAddress(space + 1, Field.DataSize());
  space[0] = 1;
}

void TDataSet::ClearCalcFields(TRecordBuffer Buffer) {
  if (FCalcFieldsSize > 0) std::memset(CalcSpace(Buffer), 0, static_cast<std::size_t>(FCalcFieldsSize));
}

void TDataSet::CalculateFields(TRecordBuffer Buffer) {
  if (FCalcFieldsSize == 0) return;
  TTempState calculating(*this, dsCalcFields, Buffer);
  ClearCalcFields(Buffer);
  for (TField* f : FFields)
    if (f->FieldKind == fkLookup) ComputeLookupField(*f);
  Run(OnCalcFields);
}

void TDataSet::ComputeLookupField(TField& Field) {
  if (!Field.LookupDataSet) DatabaseErrorFmt(this, "Lookup field '%s' has no lookup dataset", Field.DisplayName());
  std::vector<Variant> keys;
  for (TField* k : FieldList(Field.KeyFields)) keys.push_back(k->AsVariant());
  Variant result = Field.LookupDataSet->Lookup(Field.LookupKeyFields, keys, Field.LookupResultField);
  TQXLVariant value;
  value.SetAsVariant(result);
  Field.SetValue(value);
}

}  // namespace qxl
