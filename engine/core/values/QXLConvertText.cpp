// Conversions whose source is text: 8-bit and UTF-16 strings and the text
// large objects.
#include "engine/core/values/QXLConvertValue.h"
#include "engine/core/values/QXLTextUtils.h"
#include "engine/core/values/QXLValueBytes.h"
#include "platform/CaseMap.h"
#include "platform/CodePage.h"
#include "platform/DateTimeText.h"
#include "platform/Exception.h"
#include "platform/FormatSettings.h"
#include "platform/NumberText.h"

namespace qxl {

namespace {

// The source text, bounded by the source size when it is known: a text large
// object carries no terminator of its own.
struct SourceText {
  bool IsWide = false;
  std::string Ansi;
  std::u16string Wide;

  std::string Utf8() const { return IsWide ? platform::WideToUtf8(Wide) : platform::AnsiToUtf8(Ansi); }
};

SourceText Read(const void* source, std::int32_t size, TQXLBaseFieldType type, TQXLBaseFieldType dest) {
  SourceText text;
  if (type == bftWideClob && size <= 0 && qxl::IsAnsiTextType(dest)) {
    // Without a size, a wide large object bound for 8-bit text is read as
    // 8-bit text up to its first zero byte.
    text.Ansi = qxl::LoadAnsiText(source, SIZE_MAX);
  } else if (qxl::IsWideTextType(type) || type == bftWideClob) {
    text.IsWide = true;
    text.Wide = qxl::LoadWideText(source, qxl::CharsWithin(size, 2));
  } else {
    text.Ansi = qxl::LoadAnsiText(source, qxl::CharsWithin(size, 1));
  }
  return text;
}

[[noreturn]] void NotParsed() { throw platform::Exception("Text does not parse"); }

TDateTime ToDate(const SourceText& text, bool iso) {
  const std::string utf8 = text.Utf8();
  TDateTime value;
  if (iso && (qxl::TryParseDateTime(utf8, value) || qxl::TryParseDate(utf8, value) ||
              qxl::TryParseDateTimeWithFraction(utf8, value)))
    return value;
  return platform::StrToDate(utf8);
}

TDateTime ToTime(const SourceText& text, bool iso) {
  const std::string utf8 = text.Utf8();
  TDateTime value;
  if (iso && (qxl::TryParseTime(utf8, value) || qxl::TryParseTimeWithFraction(utf8, value))) return value;
  return platform::StrToTime(utf8);
}

TDateTime ToDateTime(const SourceText& text, bool iso) {
  const std::string utf8 = text.Utf8();
  TDateTime value;
  if (iso && (qxl::TryParseDateTime(utf8, value) || qxl::TryParseDate(utf8, value) ||
              qxl::TryParseDateTimeWithFraction(utf8, value)))
    return value;
  return platform::StrToDateTime(utf8);
}

}  // namespace

std::string ConvertTextValue(const void* Source, std::int32_t SourceSize, TQXLBaseFieldType SourceType,
                             TQXLBaseFieldType DestType) {
  const SourceText text = Read(Source, SourceSize, SourceType, DestType);
  const bool largeObject = SourceType == bftClob || SourceType == bftWideClob;
  // Only 8-bit strings try the ISO forms before the locale's.
  const bool iso = qxl::IsAnsiTextType(SourceType);

  if (qxl::IsAnsiTextType(DestType)) return qxl::AnsiTextBytes(text.IsWide ? platform::WideToAnsi(text.Wide) : text.Ansi);
  if (qxl::IsWideTextType(DestType)) return qxl::WideTextBytes(text.IsWide ? text.Wide : platform::AnsiToWide(text.Ansi));
  if (DestType == bftBlob) return text.IsWide ? qxl::WideTextBytes(text.Wide) : qxl::AnsiTextBytes(text.Ansi);
  if (qxl::IsIntegerType(DestType)) {
    // Large objects parse 32-bit numbers even for a 64-bit destination.
    std::int64_t value = 0;
    std::int32_t value32 = 0;
    if (DestType == bftSignedInt64 && !largeObject) {
      if (!platform::TryStrToInt64(text.Utf8(), value)) NotParsed();
    } else {
      if (!platform::TryStrToInt(text.Utf8(), value32)) NotParsed();
      value = value32;
    }
    return qxl::IntegerBytes(DestType, value);
  }
  if (qxl::IsFloatType(DestType)) {
    // "." whatever the locale, through a copy of the settings: the process-wide
    // ones are shared by every thread.
    platform::TFormatSettings settings = platform::FormatSettings();
    settings.DecimalSeparator = '.';
    long double value = 0;
    if (!platform::TryStrToFloat(text.Utf8(), value, settings)) NotParsed();
    return qxl::FloatBytes(DestType, value);
  }
  switch (DestType) {
    case bftCurrency: {
      double value = 0;
      if (!platform::TryStrToCurr(text.Utf8(), value)) NotParsed();
      return qxl::FloatBytes(DestType, value);
    }
    case bftDate: return qxl::Int32Bytes(DateTimeToQXLDate(ToDate(text, iso)));
    case bftTime: return qxl::Int32Bytes(DateTimeToQXLTime(ToTime(text, iso)));
    case bftDateTime: {
      const TQXLDateTime value = DateTimeToQXLDateTime(ToDateTime(text, iso));
      return qxl::DateTimeBytes(value.Date, value.Time);
    }
    case bftLogical: {
      const std::string upper = platform::UpperCaseAscii(text.Utf8());
      return qxl::LogicalBytes(upper == "1" || upper == "TRUE");
    }
    default: throw platform::Exception("No conversion");
  }
}

}  // namespace qxl
