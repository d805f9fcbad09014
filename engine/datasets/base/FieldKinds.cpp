#include "engine/datasets/base/FieldKinds.h"

#include "engine/core/streams/QXLStream.h"
#include "engine/datasets/base/DataSet.h"
#include "engine/datasets/base/DatabaseError.h"

namespace qxl {

namespace {

TQXLBaseFieldType BlobValueType(TFieldType DataType) {
  switch (DataType) {
    case ftMemo:
    case ftFmtMemo: return bftClob;
    case ftWideMemo: return bftWideClob;
    default: return bftBlob;
  }
}

}  // namespace

TBlobField::TBlobField(TFieldType DataType) : TField(DataType, BlobValueType(DataType)) {}

std::unique_ptr<TQXLStream> TBlobField::CreateBlobStream(TBlobStreamMode Mode) {
  if (!DataSet()) DatabaseErrorFmt(this, "Field '%s' has no dataset", DisplayName());
  return DataSet()->CreateBlobStream(*this, Mode);
}

std::unique_ptr<TField> CreateField(TFieldType DataType) {
  switch (DataType) {
    case ftString: return std::make_unique<TStringField>();
    case ftFixedChar: return std::make_unique<TFixedCharField>();
    case ftWideString: return std::make_unique<TWideStringField>();
    case ftSmallint: return std::make_unique<TSmallintField>();
    case ftInteger: return std::make_unique<TIntegerField>();
    case ftLargeint: return std::make_unique<TLargeintField>();
    case ftWord: return std::make_unique<TWordField>();
    case ftAutoInc: return std::make_unique<TAutoIncField>();
    case ftFloat: return std::make_unique<TFloatField>();
    case ftBCD: return std::make_unique<TField>(ftBCD, bftDouble);
    case ftCurrency: return std::make_unique<TCurrencyField>();
    case ftBoolean: return std::make_unique<TBooleanField>();
    case ftDate: return std::make_unique<TDateField>();
    case ftTime: return std::make_unique<TTimeField>();
    case ftDateTime: return std::make_unique<TDateTimeField>();
    case ftTimeStamp: return std::make_unique<TTimeStampField>();
    case ftBytes: return std::make_unique<TBytesField>();
    case ftVarBytes: return std::make_unique<TVarBytesField>();
    case ftGuid: return std::make_unique<TGuidField>();
    case ftMemo:
    case ftFmtMemo: return std::make_unique<TMemoField>(DataType);
    case ftWideMemo: return std::make_unique<TWideMemoField>();
    case ftBlob:
    case ftGraphic:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob:
    case ftOraClob: return std::make_unique<TBlobField>(DataType);
    default: DatabaseErrorFmt(nullptr, "No field kind for field type %d", static_cast<int>(DataType));
  }
}

}  // namespace qxl
