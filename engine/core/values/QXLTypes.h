#pragma once
// The engine's type vocabulary: storage (base) and column (advanced) types, the
// SQL type catalogue that ties them to dataset field types and SQL names, value
// sizes, type-class tests, and the engine's encoding of dates and times.
#include <array>
#include <cstdint>
#include <string>

namespace qxl {

// How a value is stored in memory, in records and in engine values.
enum TQXLBaseFieldType : std::uint8_t {
  bftUnknown,
  bftChar,
  bftWideChar,
  bftVarchar,
  bftWideVarchar,
  bftSignedInt8,
  bftSignedInt16,
  bftSignedInt32,
  bftSignedInt64,
  bftUnsignedInt8,
  bftUnsignedInt16,
  bftUnsignedInt32,
  bftSingle,
  bftDouble,
  bftExtended,
  bftDate,
  bftTime,
  bftDateTime,
  bftBlob,
  bftClob,
  bftWideClob,
  bftLogical,
  bftCurrency,
  bftBytes,
  bftVarBytes,
  bftBFile,
};
inline constexpr int QXLBaseFieldTypeCount = 26;

// The column type of table definitions and of the SQL dialect.
enum TQXLAdvancedFieldType : std::uint8_t {
  aftUnknown,
  aftChar,
  aftString,
  aftWideChar,
  aftWideString,
  aftShortint,
  aftSmallint,
  aftInteger,
  aftLargeint,
  aftByte,
  aftWord,
  aftCardinal,
  aftAutoInc,
  aftAutoIncShortint,
  aftAutoIncSmallint,
  aftAutoIncInteger,
  aftAutoIncLargeint,
  aftAutoIncByte,
  aftAutoIncWord,
  aftAutoIncCardinal,
  aftSingle,
  aftDouble,
  aftExtended,
  aftBoolean,
  aftCurrency,
  aftDate,
  aftTime,
  aftDateTime,
  aftTimeStamp,
  aftBytes,
  aftVarBytes,
  aftBlob,
  aftGraphic,
  aftMemo,
  aftFormattedMemo,
  aftWideMemo,
  aftGuid,
};
inline constexpr int QXLAdvancedFieldTypeCount = 37;

// The field types of the dataset components; their ordinals appear in
// messages and must not change.
enum TFieldType : std::uint8_t {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftWord,
  ftBoolean,
  ftFloat,
  ftCurrency,
  ftBCD,
  ftDate,
  ftTime,
  ftDateTime,
  ftBytes,
  ftVarBytes,
  ftAutoInc,
  ftBlob,
  ftMemo,
  ftGraphic,
  ftFmtMemo,
  ftParadoxOle,
  ftDBaseOle,
  ftTypedBinary,
  ftCursor,
  ftFixedChar,
  ftWideString,
  ftLargeint,
  ftADT,
  ftArray,
  ftReference,
  ftDataSet,
  ftOraBlob,
  ftOraClob,
  ftVariant,
  ftInterface,
  ftIDispatch,
  ftGuid,
  ftTimeStamp,
  ftFMTBcd,
  ftFixedWideChar,
  ftWideMemo,
  ftOraTimeStamp,
  ftOraInterval,
  ftLongWord,
  ftShortint,
  ftByte,
  ftExtended,
  ftConnection,
  ftParams,
  ftStream,
  ftTimeStampOffset,
  ftObject,
  ftSingle,
};

// The seven table lock modes; ltU is the record lock. Their compatibility
// belongs to the lock manager.
enum TQXLLockType : std::uint8_t { ltIS, ltS, ltSIRW, ltXIRW, ltRW, ltU, ltX };

// One row of the SQL type catalogue.
struct TSQLFieldType {
  const char* SqlName;
  TQXLAdvancedFieldType AdvancedFieldType;
  TQXLBaseFieldType BaseFieldType;
  TFieldType FieldType;
};

// The catalogue; lookups scan it in order and the first matching row wins.
extern const std::array<TSQLFieldType, 62> SQLFieldTypes;

// Days since 1899-12-30, the fraction being the time of day.
using TDateTime = double;

// Engine date-time: engine date (day 1 = 0001-01-01) and engine time
// (milliseconds since midnight).
#pragma pack(push, 1)
struct TQXLDateTime {
  std::int32_t Date;
  std::int32_t Time;
};
#pragma pack(pop)
static_assert(sizeof(TQXLDateTime) == 8);

inline constexpr std::int32_t QXLDateDelta = 693594;  // engine day of 1899-12-30
inline constexpr std::int32_t QXLMSecsPerDay = 86400000;

// Byte size of one value of DataType declared with Length characters or bytes.
// Raises 30050 for bftUnknown, bftBFile and values outside the enumeration.
std::int64_t GetDataTypeSize(TQXLBaseFieldType DataType, std::int32_t Length = 0);

TQXLBaseFieldType AdvancedToBaseFieldType(TQXLAdvancedFieldType AdvancedFieldType);
TQXLAdvancedFieldType BaseToAdvancedFieldType(TQXLBaseFieldType BaseFieldType);
// Raises 30289 for a field type that no catalogue row carries.
TQXLAdvancedFieldType FieldTypeToAdvancedFieldType(TFieldType FieldType);
TFieldType AdvancedFieldTypeToFieldType(TQXLAdvancedFieldType AdvancedFieldType);
std::string AdvancedFieldTypeName(TQXLAdvancedFieldType AdvancedFieldType);
std::string BaseFieldTypeName(TQXLBaseFieldType BaseFieldType);

bool IsStringBaseFieldType(TQXLBaseFieldType t);
bool IsWideStringBaseFieldType(TQXLBaseFieldType t);
bool IsBlobBaseFieldType(TQXLBaseFieldType t);
bool IsNumericBaseFieldType(TQXLBaseFieldType t);
bool IsDateTimeBaseFieldType(TQXLBaseFieldType t);
bool IsStringAdvancedFieldType(TQXLAdvancedFieldType t);
bool IsWideStringAdvancedFieldType(TQXLAdvancedFieldType t);
bool IsBytesAdvancedFieldType(TQXLAdvancedFieldType t);
bool IsBlobAdvancedFieldType(TQXLAdvancedFieldType t);
bool IsAutoincFieldType(TQXLAdvancedFieldType t);
bool IsNumericAdvancedFieldType(TQXLAdvancedFieldType t);
bool IsDateTimeAdvancedFieldType(TQXLAdvancedFieldType t);
bool IsSizedAdvancedFieldType(TQXLAdvancedFieldType t);
bool IsConvertibleAdvancedFieldType(TQXLAdvancedFieldType t);

// Conversions between engine dates and times and TDateTime. The routines that
// take a TDateTime raise platform::Exception for a value that has no engine
// date (not a number, or a day number beyond 32 bits).
TDateTime QXLDateToDateTime(std::int32_t Date);
std::int32_t DateTimeToQXLDate(TDateTime Value);
TDateTime QXLTimeToDateTime(std::int32_t Time);
std::int32_t DateTimeToQXLTime(TDateTime Value);
TDateTime QXLDateTimeToDateTime(const TQXLDateTime& Value);
TQXLDateTime DateTimeToQXLDateTime(TDateTime Value);

}  // namespace qxl
