#pragma once
// The kinds of field objects, one per dataset field type that the SQL type
// catalogue uses, each with the engine type its values take.
#include <memory>

#include "engine/datasets/base/DataSetTypes.h"
#include "engine/datasets/base/Field.h"

namespace qxl {

class TQXLStream;


template <TFieldType Type, TQXLBaseFieldType Value>
class TFieldOf : public TField {
public:
  TFieldOf() : TField(Type, Value) {}
};

using TStringField = TFieldOf<ftString, bftVarchar>;
using TFixedCharField = TFieldOf<ftFixedChar, bftChar>;
using TWideStringField = TFieldOf<ftWideString, bftWideVarchar>;
using TSmallintField = TFieldOf<ftSmallint, bftSignedInt16>;
using TIntegerField = TFieldOf<ftInteger, bftSignedInt32>;
using TLargeintField = TFieldOf<ftLargeint, bftSignedInt64>;
using TWordField = TFieldOf<ftWord, bftUnsignedInt16>;
using TAutoIncField = TFieldOf<ftAutoInc, bftSignedInt32>;
using TFloatField = TFieldOf<ftFloat, bftDouble>;
using TCurrencyField = TFieldOf<ftCurrency, bftCurrency>;
using TBooleanField = TFieldOf<ftBoolean, bftLogical>;
using TDateField = TFieldOf<ftDate, bftDate>;
using TTimeField = TFieldOf<ftTime, bftTime>;
using TDateTimeField = TFieldOf<ftDateTime, bftDateTime>;
using TTimeStampField = TFieldOf<ftTimeStamp, bftDateTime>;
using TBytesField = TFieldOf<ftBytes, bftBytes>;
using TVarBytesField = TFieldOf<ftVarBytes, bftVarBytes>;
using TGuidField = TFieldOf<ftGuid, bftChar>;

// BLOB-family fields, whose content is also read and written as a stream.
class TBlobField : public TField {
public:
  explicit TBlobField(TFieldType DataType = ftBlob);
  // A stream over the field's content in the active record, from the dataset.
  std::unique_ptr<TQXLStream> CreateBlobStream(TBlobStreamMode Mode);
};

class TMemoField : public TBlobField {
public:
  explicit TMemoField(TFieldType DataType = ftMemo) : TBlobField(DataType) {}
};

class TWideMemoField : public TBlobField {
public:
  TWideMemoField() : TBlobField(ftWideMemo) {}
};

// The field object of a dataset field type: the kind the type maps to;
// a type without a kind raises EDatabaseError.
std::unique_ptr<TField> CreateField(TFieldType DataType);

}  // namespace qxl
