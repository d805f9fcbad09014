#include "engine/core/values/QXLTypes.h"

#include <cmath>
#include <limits>
#include <string>

#include "engine/core/QXLException.h"

namespace qxl {

const std::array<TSQLFieldType, 62> SQLFieldTypes = {{
    {"CHAR", aftChar, bftChar, ftFixedChar},
    {"FIXEDCHAR", aftChar, bftChar, ftFixedChar},
    {"STRING", aftString, bftVarchar, ftString},
    {"VARCHAR", aftString, bftVarchar, ftString},
    {"VARCHAR2", aftString, bftVarchar, ftString},
    {"WIDECHAR", aftWideChar, bftWideChar, ftWideString},
    {"FIXEDWIDECHAR", aftWideChar, bftWideChar, ftWideString},
    {"WIDESTRING", aftWideString, bftWideVarchar, ftWideString},
    {"WIDEVARCHAR", aftWideString, bftWideVarchar, ftWideString},
    {"SMALLINT", aftSmallint, bftSignedInt16, ftSmallint},
    {"SIGNEDINT16", aftSmallint, bftSignedInt16, ftSmallint},
    {"SHORTINT", aftShortint, bftSignedInt8, ftSmallint},
    {"SIGNEDINT8", aftShortint, bftSignedInt8, ftSmallint},
    {"INTEGER", aftInteger, bftSignedInt32, ftInteger},
    {"SIGNEDINT32", aftInteger, bftSignedInt32, ftInteger},
    {"LARGEINT", aftLargeint, bftSignedInt64, ftLargeint},
    {"INT64", aftLargeint, bftSignedInt64, ftLargeint},
    {"SIGNEDINT64", aftLargeint, bftSignedInt64, ftLargeint},
    {"WORD", aftWord, bftUnsignedInt16, ftWord},
    {"UNSIGNEDINT16", aftWord, bftUnsignedInt16, ftWord},
    {"BYTE", aftByte, bftUnsignedInt8, ftWord},
    {"UNSIGNEDINT8", aftByte, bftUnsignedInt8, ftWord},
    {"CARDINAL", aftCardinal, bftUnsignedInt32, ftLargeint},
    {"UNSIGNEDINT32", aftCardinal, bftUnsignedInt32, ftLargeint},
    {"AUTOINC", aftAutoInc, bftSignedInt32, ftAutoInc},
    {"AUTOINCSHORTINT", aftAutoIncShortint, bftSignedInt8, ftAutoInc},
    {"AUTOINCSMALLINT", aftAutoIncSmallint, bftSignedInt16, ftAutoInc},
    {"AUTOINCINTEGER", aftAutoIncInteger, bftSignedInt32, ftAutoInc},
    {"AUTOINCLARGEINT", aftAutoIncLargeint, bftSignedInt64, ftLargeint},
    {"AUTOINCBYTE", aftAutoIncByte, bftUnsignedInt8, ftAutoInc},
    {"AUTOINCWORD", aftAutoIncWord, bftUnsignedInt16, ftAutoInc},
    {"AUTOINCCARDINAL", aftAutoIncCardinal, bftUnsignedInt32, ftAutoInc},
    {"FLOAT", aftDouble, bftDouble, ftFloat},
    {"FLOAT", aftDouble, bftDouble, ftBCD},
    {"SINGLE", aftSingle, bftSingle, ftFloat},
    {"DOUBLE", aftDouble, bftDouble, ftFloat},
    {"EXTENDED", aftExtended, bftExtended, ftFloat},
    {"LOGICAL", aftBoolean, bftLogical, ftBoolean},
    {"BOOLEAN", aftBoolean, bftLogical, ftBoolean},
    {"BOOL", aftBoolean, bftLogical, ftBoolean},
    {"BIT", aftBoolean, bftLogical, ftBoolean},
    {"CURRENCY", aftCurrency, bftCurrency, ftCurrency},
    {"MONEY", aftCurrency, bftCurrency, ftCurrency},
    {"DATE", aftDate, bftDate, ftDate},
    {"TIME", aftTime, bftTime, ftTime},
    {"DATETIME", aftDateTime, bftDateTime, ftDateTime},
    {"TIMESTAMP", aftTimeStamp, bftDateTime, ftTimeStamp},
    {"BYTES", aftBytes, bftBytes, ftBytes},
    {"VARBYTES", aftVarBytes, bftVarBytes, ftVarBytes},
    {"BLOB", aftBlob, bftBlob, ftBlob},
    {"BLOB", aftBlob, bftBlob, ftParadoxOle},
    {"BLOB", aftBlob, bftBlob, ftTypedBinary},
    {"BLOB", aftBlob, bftBlob, ftDBaseOle},
    {"BLOB", aftBlob, bftBlob, ftOraBlob},
    {"BLOB", aftBlob, bftBlob, ftOraClob},
    {"GRAPHIC", aftGraphic, bftBlob, ftGraphic},
    {"MEMO", aftMemo, bftClob, ftMemo},
    {"CLOB", aftMemo, bftClob, ftMemo},
    {"FORMATTEDMEMO", aftFormattedMemo, bftClob, ftFmtMemo},
    {"WIDEMEMO", aftWideMemo, bftWideClob, ftWideMemo},
    {"WIDECLOB", aftWideMemo, bftWideClob, ftWideMemo},
    {"GUID", aftGuid, bftChar, ftGuid},
}};

namespace {

template <typename Pred>
const TSQLFieldType* FirstRow(Pred pred) {
  for (const TSQLFieldType& row : SQLFieldTypes)
    if (pred(row)) return &row;
  return nullptr;
}

const TSQLFieldType* FirstRowOf(TQXLAdvancedFieldType t) {
  return FirstRow([t](const TSQLFieldType& r) { return r.AdvancedFieldType == t; });
}

const TSQLFieldType* FirstRowOf(TQXLBaseFieldType t) {
  return FirstRow([t](const TSQLFieldType& r) { return r.BaseFieldType == t; });
}

double Frac(double x) { return x - std::trunc(x); }

// Whole-number doubles in this range convert to int32 without overflow.
std::int32_t ToInt32(double x) {
  if (!(x >= std::numeric_limits<std::int32_t>::min() && x <= std::numeric_limits<std::int32_t>::max()))
    throw platform::Exception("Date-time value out of range");
  return static_cast<std::int32_t>(x);
}

}  // namespace

std::int64_t GetDataTypeSize(TQXLBaseFieldType DataType, std::int32_t Length) {
  const std::int64_t len = Length;
  switch (DataType) {
    case bftChar:
    case bftVarchar:
    case bftBytes:
    case bftVarBytes:
      return len + 1;
    case bftWideChar:
    case bftWideVarchar:
      return 2 * (len + 1);
    case bftSignedInt8:
    case bftUnsignedInt8:
      return 1;
    case bftSignedInt16:
    case bftUnsignedInt16:
    case bftLogical:
      return 2;
    case bftSignedInt32:
    case bftUnsignedInt32:
    case bftSingle:
    case bftDate:
    case bftTime:
      return 4;
    case bftSignedInt64:
    case bftDouble:
    case bftDateTime:
    case bftCurrency:
      return 8;
    case bftExtended:
    case bftBlob:
    case bftClob:
    case bftWideClob:
      return 10;
    default:
      throw EQXLException(30050, "Unknown DataType: '%s'", {qxl::BaseFieldTypeName(DataType)});
  }
}

TQXLBaseFieldType AdvancedToBaseFieldType(TQXLAdvancedFieldType AdvancedFieldType) {
  const TSQLFieldType* row = FirstRowOf(AdvancedFieldType);
  return row ? row->BaseFieldType : bftUnknown;
}

TQXLAdvancedFieldType BaseToAdvancedFieldType(TQXLBaseFieldType BaseFieldType) {
  const TSQLFieldType* row = FirstRowOf(BaseFieldType);
  return row ? row->AdvancedFieldType : aftUnknown;
}

TQXLAdvancedFieldType FieldTypeToAdvancedFieldType(TFieldType FieldType) {
  const TSQLFieldType* row = FirstRow([FieldType](const TSQLFieldType& r) { return r.FieldType == FieldType; });
  if (!row)
    throw EQXLException(30289, "Unknown DataType: '%s'", {std::to_string(static_cast<int>(FieldType))});
  return row->AdvancedFieldType;
}

TFieldType AdvancedFieldTypeToFieldType(TQXLAdvancedFieldType AdvancedFieldType) {
  const TSQLFieldType* row = FirstRowOf(AdvancedFieldType);
  return row ? row->FieldType : ftUnknown;
}

std::string AdvancedFieldTypeName(TQXLAdvancedFieldType AdvancedFieldType) {
  const TSQLFieldType* row = FirstRowOf(AdvancedFieldType);
  return row ? row->SqlName : "Unknown";
}

std::string BaseFieldTypeName(TQXLBaseFieldType BaseFieldType) {
  const TSQLFieldType* row = FirstRowOf(BaseFieldType);
  return row ? row->SqlName : "Unknown";
}

bool IsStringBaseFieldType(TQXLBaseFieldType t) {
  return t == bftChar || t == bftWideChar || t == bftVarchar || t == bftWideVarchar;
}

bool IsWideStringBaseFieldType(TQXLBaseFieldType t) { return t == bftWideChar || t == bftWideVarchar; }

bool IsBlobBaseFieldType(TQXLBaseFieldType t) { return t == bftBlob || t == bftClob || t == bftWideClob; }

bool IsNumericBaseFieldType(TQXLBaseFieldType t) {
  return (t >= bftSignedInt8 && t <= bftExtended) || t == bftCurrency;
}

bool IsDateTimeBaseFieldType(TQXLBaseFieldType t) { return t == bftDate || t == bftTime || t == bftDateTime; }

bool IsStringAdvancedFieldType(TQXLAdvancedFieldType t) {
  return t == aftChar || t == aftString || t == aftWideChar || t == aftWideString || t == aftGuid;
}

bool IsWideStringAdvancedFieldType(TQXLAdvancedFieldType t) { return t == aftWideChar || t == aftWideString; }

bool IsBytesAdvancedFieldType(TQXLAdvancedFieldType t) { return t == aftBytes || t == aftVarBytes; }

bool IsBlobAdvancedFieldType(TQXLAdvancedFieldType t) {
  return t == aftBlob || t == aftGraphic || t == aftMemo || t == aftFormattedMemo || t == aftWideMemo;
}

bool IsAutoincFieldType(TQXLAdvancedFieldType t) { return t >= aftAutoInc && t <= aftAutoIncCardinal; }

bool IsNumericAdvancedFieldType(TQXLAdvancedFieldType t) {
  return qxl::IsNumericBaseFieldType(qxl::AdvancedToBaseFieldType(t));
}

bool IsDateTimeAdvancedFieldType(TQXLAdvancedFieldType t) {
  return qxl::IsDateTimeBaseFieldType(qxl::AdvancedToBaseFieldType(t));
}

bool IsSizedAdvancedFieldType(TQXLAdvancedFieldType t) {
  return t == aftChar || t == aftString || t == aftWideChar || t == aftWideString || t == aftBytes ||
         t == aftVarBytes;
}

bool IsConvertibleAdvancedFieldType(TQXLAdvancedFieldType t) {
  return t < QXLAdvancedFieldTypeCount && t != aftUnknown && t != aftBytes && t != aftVarBytes && t != aftBlob &&
         t != aftGraphic && t != aftGuid;
}

TDateTime QXLDateToDateTime(std::int32_t Date) { return static_cast<double>(Date) - QXLDateDelta; }

std::int32_t DateTimeToQXLDate(TDateTime Value) {
  return ToInt32(std::trunc(Value) + QXLDateDelta);
}

TDateTime QXLTimeToDateTime(std::int32_t Time) { return Frac(static_cast<double>(Time) / QXLMSecsPerDay); }

std::int32_t DateTimeToQXLTime(TDateTime Value) {
  // nearbyint rounds halves to even in the default rounding mode.
  return ToInt32(std::nearbyint(Frac(Value) * QXLMSecsPerDay));
}

TDateTime QXLDateTimeToDateTime(const TQXLDateTime& Value) {
  return QXLTimeToDateTime(Value.Time) + QXLDateToDateTime(Value.Date);
}

TQXLDateTime DateTimeToQXLDateTime(TDateTime Value) {
  return TQXLDateTime{DateTimeToQXLDate(Value), DateTimeToQXLTime(Value)};
}

}  // namespace qxl
