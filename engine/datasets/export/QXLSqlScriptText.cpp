#include "engine/datasets/export/QXLSqlScriptText.h"

#include <cstdio>

#include "engine/coding/StringFormat.h"
#include "engine/core/QXLReservedWords.h"
#include "engine/core/values/QXLVariant.h"
#include "platform/DateTime.h"
#include "platform/FormatSettings.h"
#include "platform/NumberText.h"

namespace qxl {

namespace {

bool IsAsciiLetter(char Ch) { return (Ch >= 'A' && Ch <= 'Z') || (Ch >= 'a' && Ch <= 'z'); }
bool IsDigit(char Ch) { return Ch >= '0' && Ch <= '9'; }

// The lexer cuts a word at operators, quotes, blanks and dots, and reads a
// leading digit as a number; only letters, digits and "_" are safe unquoted.
bool IsPlainName(std::string_view Name) {
  if (Name.empty() || IsDigit(Name.front())) return false;
  for (char Ch : Name)
    if (!IsAsciiLetter(Ch) && !IsDigit(Ch) && Ch != '_') return false;
  return true;
}

std::string Printed(const char* Format, int A, int B, int C) {
  char text[64];
  std::snprintf(text, sizeof text, Format, A, B, C);
  return text;
}

// HH:NN:SS, with ".ZZZ" when the time has milliseconds.
std::string TimeText(std::int32_t Time) {
  const std::int32_t ms = Time % 1000;
  const std::int32_t seconds = Time / 1000;
  std::string text = Printed("%.2d:%.2d:%.2d", seconds / 3600, seconds / 60 % 60, seconds % 60);
  if (ms != 0) text += Printed(".%.3d", ms, 0, 0);
  return text;
}

std::string DateText(std::int32_t Date) {
  int year = 0, month = 0, day = 0;
  platform::DecodeDate(QXLDateToDateTime(Date), year, month, day);
  return Printed("%.4d-%.2d-%.2d", year, month, day);
}

platform::TFormatSettings PointDecimalSettings() {
  // A copy: the process-wide settings are shared and only read after start.
  platform::TFormatSettings settings = platform::FormatSettings();
  settings.DecimalSeparator = '.';
  return settings;
}

}  // namespace

std::string SqlScriptName(std::string_view Name) {
  if (IsPlainName(Name) && FindReservedWord(Name) < 0) return std::string(Name);
  return SqlQuotedString(Name);
}

std::string SqlQuotedString(std::string_view Text) {
  std::string quoted;
  quoted.reserve(Text.size() + 2);
  quoted += '\'';
  for (char Ch : Text) {
    if (Ch == '\'') quoted += '\'';
    quoted += Ch;
  }
  quoted += '\'';
  return quoted;
}

std::string SqlDateLiteral(std::int32_t Date) { return "'" + DateText(Date) + "'"; }

std::string SqlTimeLiteral(std::int32_t Time) {
  const std::string text = TimeText(Time);
  if (Time % 1000 != 0) return "'" + text + "'";
  return "ToDate('" + text + "','HH24:NN:SS')";
}

std::string SqlDateTimeLiteral(const TQXLDateTime& Value) {
  return "'" + DateText(Value.Date) + " " + TimeText(Value.Time) + "'";
}

std::string SqlBinaryLiteral(std::string_view Bytes) {
  const std::string base64 =
      TStringFormat_MIME64::Class()->StrTo(Bytes.data(), static_cast<std::int32_t>(Bytes.size()));
  return "MimeToBin('" + base64 + "')";
}

std::string SqlNumberText(const TQXLVariant& Value) {
  switch (Value.DataType()) {
    case bftSingle:
    case bftDouble:
    case bftExtended: return platform::FloatToStr(Value.GetAsExtended(), PointDecimalSettings());
    case bftCurrency: return platform::CurrToStr(Value.GetAsCurrency(), PointDecimalSettings());
    case bftUnsignedInt32: return std::to_string(Value.GetAsCardinal());
    default: return std::to_string(Value.GetAsInt64());
  }
}

}  // namespace qxl
