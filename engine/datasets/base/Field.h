#pragma once
// A field object: one column of a dataset, as data-aware code reads and
// writes it. Its value crosses to the dataset as a TQXLVariant of the
// field's value type; the dataset decides which record buffer that is (by
// its state). Setting a value converts it to the field's type (an
// impossible conversion raises EDatabaseError naming the field), runs
// OnValidate, and tells the dataset, which sends the change to OnChange.
// Thread rule: one thread, its dataset's.
#include <cstdint>
#include <functional>
#include <string>

#include "engine/core/values/QXLTypes.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/datasets/base/Component.h"
#include "platform/RuntimeVariant.h"

namespace qxl {

class TDataSet;

enum TFieldKind : std::uint8_t { fkData, fkCalculated, fkLookup, fkInternalCalc };

class TField : public TComponent {
public:
  TField(TFieldType DataType, TQXLBaseFieldType ValueType);
  // Leaves its dataset's field list.
  ~TField() override;

  TFieldType DataType() const { return FDataType; }
  // The engine type of the field's values.
  TQXLBaseFieldType ValueType() const { return FValueType; }
  // 1-based position among the dataset's data fields; 0 for other kinds.
  std::int32_t FieldNo() const { return FFieldNo; }
  const std::string& DisplayName() const { return DisplayLabel.empty() ? FieldName : DisplayLabel; }
  TDataSet* DataSet() const { return FDataSet; }
  // Joins DataSet's fields (leaving any earlier dataset's); nullptr leaves.
  void SetDataSet(TDataSet* DataSet);
  bool Calculated() const { return FieldKind == fkCalculated || FieldKind == fkLookup; }
  // Bytes of the value in a record's calculated-field space.
  std::int32_t DataSize() const;

  bool IsNull() const;
  // False (Value NULL of the field's type) when there is no value.
  bool GetValue(TQXLVariant& Value) const;
  void SetValue(const TQXLVariant& Value);
  void Clear();

  Variant AsVariant() const;
  void SetAsVariant(const Variant& Value);
  std::string AsString() const;
  void SetAsString(const std::string& Text);
  std::int32_t AsInteger() const;
  void SetAsInteger(std::int32_t Number);
  std::int64_t AsLargeInt() const;
  void SetAsLargeInt(std::int64_t Number);
  double AsFloat() const;
  void SetAsFloat(double Number);
  TDateTime AsDateTime() const;
  void SetAsDateTime(TDateTime Value);
  bool AsBoolean() const;
  void SetAsBoolean(bool Flag);

  std::string FieldName;
  std::string DisplayLabel;
  TFieldKind FieldKind = fkData;
  std::int32_t Size = 0;
  bool Required = false;
  bool ReadOnly = false;
  // For a lookup field: the dataset searched, its key fields, the field
  // whose value is shown, and this dataset's fields that give the key.
  TDataSet* LookupDataSet = nullptr;
  std::string LookupKeyFields;
  std::string LookupResultField;
  std::string KeyFields;
  // Before a new value (NULL or of the field's value type) is stored;
  // raising refuses it.
  std::function<void(TField&, const TQXLVariant& NewValue)> OnValidate;
  std::function<void(TField&)> OnChange;

private:
  friend class TDataSet;
  // The value read into FReadValue (NULL when the field has none), valid
  // until the field's next read: the typed getters use it, so that reading a field row after row reuses one
  // block instead of allocating and freeing one per read.
  TQXLVariant& ReadShared() const;
  void TextToBlob(TQXLVariant& Value) const;
  template <typename Setter>
  void SetTyped(Setter&& Set);

  TFieldType FDataType;
  TQXLBaseFieldType FValueType;
  TDataSet* FDataSet = nullptr;
  std::int32_t FFieldNo = 0;
  // Offset in the calculated-field space, for calculated and lookup fields.
  std::int32_t FOffset = 0;
  mutable TQXLVariant FReadValue;
};

// A text BLOB value (bftClob, bftWideClob) becomes the string value of its
// text (bftVarchar, bftWideVarchar), which the engine casts further; other
// values stay.
void TextBlobToString(TQXLVariant& Value);

}  // namespace qxl
