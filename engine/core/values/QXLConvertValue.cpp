#include "engine/core/values/QXLConvertValue.h"

#include <cfloat>
#include <cmath>

#include "engine/core/values/QXLConversion.h"
#include "engine/core/values/QXLValueBytes.h"
#include "platform/CodePage.h"
#include "platform/DateTimeText.h"
#include "platform/Exception.h"
#include "platform/NumberText.h"

namespace qxl {

namespace {

bool IsTextSource(TQXLBaseFieldType t) { return IsStringBaseFieldType(t) || t == bftClob || t == bftWideClob; }
bool IsText(TQXLBaseFieldType t) { return IsStringBaseFieldType(t); }
bool IsNumber(TQXLBaseFieldType t) { return IsIntegerType(t) || IsFloatType(t) || t == bftCurrency; }
bool IsDateOrTime(TQXLBaseFieldType t) { return t == bftDate || t == bftTime || t == bftDateTime; }

// The low 32 bits of v: integers become dates and times without a range check.
std::int32_t Low32(std::int64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); }

[[noreturn]] void Overflow() { throw platform::Exception("Floating point overflow"); }
[[noreturn]] void InvalidOperation() { throw platform::Exception("Invalid floating point operation"); }

std::string FromInteger(std::int64_t v, TQXLBaseFieldType dest) {
  if (IsText(dest)) return qxl::GeneratedTextBytes(dest, std::to_string(v));
  if (qxl::IsIntegerType(dest)) return qxl::IntegerBytes(dest, v);
  if (qxl::IsFloatType(dest) || dest == bftCurrency) return qxl::FloatBytes(dest, static_cast<long double>(v));
  switch (dest) {
    case bftDate:
    case bftTime: return qxl::Int32Bytes(Low32(v));
    case bftDateTime: return qxl::DateTimeBytes(Low32(v), 0);
    default: return qxl::LogicalBytes(v != 0);
  }
}

std::string FromFloat(long double x, TQXLBaseFieldType dest) {
  if (IsText(dest)) return qxl::GeneratedTextBytes(dest, platform::FloatToStr(x));
  if (qxl::IsIntegerType(dest)) return qxl::IntegerBytes(dest, qxl::TruncToInt64(x));
  if (qxl::IsFloatType(dest) || dest == bftCurrency) return qxl::FloatBytes(dest, x);
  switch (dest) {
    case bftDate: return qxl::Int32Bytes(Low32(qxl::TruncToInt64(x)));
    case bftTime: return qxl::Int32Bytes(Low32(qxl::TruncToInt64(x) % QXLMSecsPerDay));
    case bftDateTime: {
      const std::int64_t days = qxl::TruncToInt64(x);
      const long double fraction = x - std::trunc(x);
      return qxl::DateTimeBytes(Low32(days), Low32(qxl::TruncToInt64(fraction * QXLMSecsPerDay)));
    }
    default: return qxl::LogicalBytes(x != 0);
  }
}

std::string FromCurrency(double x, TQXLBaseFieldType dest) {
  if (IsText(dest)) return qxl::GeneratedTextBytes(dest, platform::CurrToStr(x));
  if (qxl::IsIntegerType(dest)) return qxl::IntegerBytes(dest, qxl::TruncToInt64(x));
  if (qxl::IsFloatType(dest) || dest == bftCurrency) return qxl::FloatBytes(dest, x);
  return qxl::LogicalBytes(x != 0);
}

std::string FromDate(std::int32_t d, TQXLBaseFieldType dest) {
  if (IsText(dest)) return qxl::GeneratedTextBytes(dest, d == QXLNoDate ? "" : platform::DateToStr(QXLDateToDateTime(d)));
  if (IsNumber(dest)) return FromInteger(d, dest);
  switch (dest) {
    case bftDate: return qxl::Int32Bytes(d);
    case bftTime: return qxl::Int32Bytes(d % QXLMSecsPerDay);
    case bftDateTime: return qxl::DateTimeBytes(d, 0);
    default: return qxl::LogicalBytes(d != QXLNoDate);
  }
}

std::string FromTime(std::int32_t t, TQXLBaseFieldType dest) {
  if (IsText(dest)) return qxl::GeneratedTextBytes(dest, t == 0 ? "" : platform::TimeToStr(QXLTimeToDateTime(t)));
  if (IsNumber(dest)) return FromInteger(t, dest);
  switch (dest) {
    case bftDate:
    case bftTime: return qxl::Int32Bytes(t);
    case bftDateTime: return qxl::DateTimeBytes(QXLNoDate, t);
    default: return qxl::LogicalBytes(t != 0);
  }
}

std::string FromDateTime(const TQXLDateTime& v, TQXLBaseFieldType dest) {
  if (IsText(dest))
    return qxl::GeneratedTextBytes(dest, v.Date == QXLNoDate && v.Time == 0 ? ""
                                                                        : platform::DateTimeToStr(QXLDateTimeToDateTime(v)));
  if (qxl::IsIntegerType(dest)) return qxl::IntegerBytes(dest, v.Date);
  // Float conversions use the day number itself, not days since 1899-12-30.
  const long double number =
      static_cast<long double>(v.Date == QXLNoDate ? 0 : v.Date) + static_cast<long double>(v.Time) / QXLMSecsPerDay;
  if (qxl::IsFloatType(dest)) return qxl::FloatBytes(dest, number);
  switch (dest) {
    case bftCurrency: return qxl::FloatBytes(dest, std::nearbyint(number * 10000) / 10000);
    case bftDate: return qxl::Int32Bytes(v.Date);
    case bftTime: return qxl::Int32Bytes(v.Time);
    case bftDateTime: return qxl::DateTimeBytes(v.Date, v.Time);
    default: return qxl::LogicalBytes(v.Date != QXLNoDate || v.Time != 0);
  }
}

std::string FromLogical(const void* source, TQXLBaseFieldType dest) {
  const bool v = qxl::LoadValue<std::uint16_t>(source) != 0;
  if (IsText(dest)) return qxl::GeneratedTextBytes(dest, v ? "True" : "False");
  if (qxl::IsIntegerType(dest)) return qxl::IntegerBytes(dest, v ? 1 : 0);
  if (qxl::IsFloatType(dest)) return qxl::FloatBytes(dest, v ? 1.0L : 0.0L);
  return std::string(static_cast<const char*>(source), 2);
}

}  // namespace

bool HasConversion(TQXLBaseFieldType Source, TQXLBaseFieldType Dest) {
  const bool common = IsText(Dest) || qxl::IsIntegerType(Dest) || qxl::IsFloatType(Dest);
  if (IsTextSource(Source))
    return common || Dest == bftCurrency || IsDateOrTime(Dest) || Dest == bftBlob || Dest == bftLogical;
  if (qxl::IsIntegerType(Source) || qxl::IsFloatType(Source) || IsDateOrTime(Source))
    return common || Dest == bftCurrency || IsDateOrTime(Dest) || Dest == bftLogical;
  if (Source == bftCurrency) return common || Dest == bftCurrency || Dest == bftLogical;
  if (Source == bftLogical) return common || Dest == bftLogical;
  return false;
}

std::string ConvertValue(const void* Source, std::int32_t SourceSize, TQXLBaseFieldType SourceType,
                         TQXLBaseFieldType DestType) {
  if (IsTextSource(SourceType)) return qxl::ConvertTextValue(Source, SourceSize, SourceType, DestType);
  std::string room;
  Source = qxl::PadShortValue(SourceType, Source, SourceSize, room);
  if (qxl::IsIntegerType(SourceType)) return FromInteger(qxl::LoadInteger(SourceType, Source), DestType);
  if (qxl::IsFloatType(SourceType)) return FromFloat(qxl::LoadFloat(SourceType, Source), DestType);
  switch (SourceType) {
    case bftCurrency: return FromCurrency(qxl::LoadValue<double>(Source), DestType);
    case bftDate: return FromDate(qxl::LoadValue<std::int32_t>(Source), DestType);
    case bftTime: return FromTime(qxl::LoadValue<std::int32_t>(Source), DestType);
    case bftDateTime: return FromDateTime(qxl::LoadValue<TQXLDateTime>(Source), DestType);
    case bftLogical: return FromLogical(Source, DestType);
    default: throw platform::Exception("No conversion");
  }
}

std::string AnsiTextBytes(std::string_view Ansi) {
  std::string bytes(Ansi);
  bytes.push_back('\0');
  return bytes;
}

std::string WideTextBytes(std::u16string_view Wide) {
  std::string bytes(2 * (Wide.size() + 1), '\0');
  std::memcpy(bytes.data(), Wide.data(), 2 * Wide.size());
  return bytes;
}

std::string GeneratedTextBytes(TQXLBaseFieldType Dest, std::string_view Utf8) {
  if (qxl::IsWideStringBaseFieldType(Dest)) return qxl::WideTextBytes(platform::Utf8ToWide(Utf8));
  return qxl::AnsiTextBytes(platform::Utf8ToAnsi(Utf8));
}

std::string IntegerBytes(TQXLBaseFieldType Dest, std::int64_t Value) {
  std::string bytes(static_cast<std::size_t>(qxl::GetDataTypeSize(Dest)), '\0');
  qxl::StoreInteger(Dest, bytes.data(), Value);
  return bytes;
}

std::string FloatBytes(TQXLBaseFieldType Dest, long double Value) {
  const bool finite = std::isfinite(Value);
  switch (Dest) {
    case bftSingle:
      if (finite && std::fabs(Value) > FLT_MAX) Overflow();
      return qxl::ValueBytes(static_cast<float>(Value));
    case bftDouble:
      if (finite && std::fabs(Value) > DBL_MAX) Overflow();
      return qxl::ValueBytes(static_cast<double>(Value));
    case bftExtended: {
      std::string bytes(QXLExtendedSize, '\0');
      qxl::StoreExtended(bytes.data(), Value);
      return bytes;
    }
    default: {
      // A money amount keeps four decimals, as the runtime's currency type
      // does, and has that type's range.
      if (!finite) InvalidOperation();
      const long double scaled = std::nearbyint(Value * 10000);
      if (std::fabs(scaled) >= 9223372036854775808.0L) Overflow();
      return qxl::ValueBytes(static_cast<double>(scaled / 10000));
    }
  }
}

std::string Int32Bytes(std::int32_t Value) { return ValueBytes(Value); }

std::string DateTimeBytes(std::int32_t Date, std::int32_t Time) { return ValueBytes(TQXLDateTime{Date, Time}); }

std::string LogicalBytes(bool Value) { return ValueBytes<std::uint16_t>(Value ? 0xFFFF : 0); }

std::int64_t TruncToInt64(long double Value) {
  const long double t = std::trunc(Value);
  if (!(t >= -9223372036854775808.0L && t < 9223372036854775808.0L)) InvalidOperation();
  return static_cast<std::int64_t>(t);
}

}  // namespace qxl
