#include "engine/datasets/export/QXLTableSqlScript.h"

#include <string>
#include <vector>

#include "engine/core/values/QXLConversion.h"
#include "engine/core/values/QXLTypes.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/QXLAdvIndexDefs.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/export/QXLExportToSqlOptions.h"
#include "engine/datasets/export/QXLSqlScriptText.h"
#include "engine/datasets/table/QXLTable.h"
#include "platform/CaseMap.h"
#include "platform/CodePage.h"

namespace qxl {

namespace {

constexpr std::string_view CRLF = "\r\n";

bool IsQuotedTextType(TQXLAdvancedFieldType Type) {
  return Type == aftChar || Type == aftString || Type == aftWideChar || Type == aftWideString || Type == aftGuid;
}

bool HasLength(TQXLAdvancedFieldType Type) {
  return Type == aftChar || Type == aftString || Type == aftWideChar || Type == aftWideString || Type == aftBytes ||
         Type == aftVarBytes;
}

bool IsBlobFamily(TQXLAdvancedFieldType Type) {
  return Type == aftBlob || Type == aftGraphic || Type == aftMemo || Type == aftFormattedMemo || Type == aftWideMemo;
}

bool IsBinaryContent(TQXLAdvancedFieldType Type) {
  return Type == aftBlob || Type == aftGraphic || Type == aftFormattedMemo || Type == aftWideMemo ||
         Type == aftBytes || Type == aftVarBytes;
}

std::string_view CompressionName(TQXLCompressionAlgorithm Algorithm) {
  switch (Algorithm) {
    case acaZLIB: return "ZLIB";
    case acaBZIP: return "BZIP";
    case acaPPM: return "PPM";
    default: return "NONE";
  }
}

// The ";"- or ","-separated names of an index definition, blanks trimmed.
std::vector<std::string> SplitNames(const std::string& List) {
  std::vector<std::string> names;
  std::string current;
  auto flush = [&] {
    const std::size_t first = current.find_first_not_of(' ');
    if (first != std::string::npos) names.push_back(current.substr(first, current.find_last_not_of(' ') - first + 1));
    current.clear();
  };
  for (char Ch : List) {
    if (Ch == ';' || Ch == ',')
      flush();
    else
      current += Ch;
  }
  flush();
  return names;
}

bool ContainsName(const std::vector<std::string>& Names, const std::string& Name) {
  const std::string upper = platform::UpperCaseAscii(Name);
  for (const std::string& n : Names)
    if (platform::UpperCaseAscii(n) == upper) return true;
  return false;
}

// A default or bound: a date or time value as the literal the data part
// writes (its locale text would not read back), the text types quoted, every
// other value (numbers, and the expressions a default may be) as its text.
std::string ValueText(const TQXLVariant& Value, TQXLAdvancedFieldType Type) {
  switch (Value.DataType()) {
    case bftDate: return SqlDateLiteral(Value.GetAsQXLDate());
    case bftTime: return SqlTimeLiteral(Value.GetAsQXLTime());
    case bftDateTime: return SqlDateTimeLiteral(Value.GetAsQXLDateTime());
    default: break;
  }
  if (Value.IsNumericDataType()) return SqlNumberText(Value);
  const std::string text =
      Value.IsWideStringDataType() ? platform::WideToUtf8(Value.GetAsWideString()) : Value.GetAsAnsiString();
  return IsQuotedTextType(Type) ? SqlQuotedString(text) : text;
}

class TScriptWriter {
public:
  TScriptWriter(TQXLTable& Table, const TQXLExportToSqlOptions& Options, const TQXLSqlScriptSink& Write)
      : FTable(Table), FOptions(Options), FWrite(Write), FTableName(SqlScriptName(Table.TableName())) {}

  void Run() {
    if (FOptions.Structure) WriteStructure();
    if (FOptions.Data) WriteData();
    FWrite(CRLF);
  }

private:
  void WriteStructure() {
    if (FOptions.AddDropTable) FWrite("DROP TABLE " + FTableName + ";" + std::string(CRLF));
    FWrite("CREATE TABLE " + FTableName + " (" + std::string(CRLF));
    const TQXLAdvFieldDefs& fields = FTable.AdvFieldDefs();
    for (std::int32_t i = 0; i < fields.Count(); ++i) {
      if (i > 0) FWrite("," + std::string(CRLF));
      FWrite(ColumnLine(fields.Defs(i)));
    }
    const TQXLAdvIndexDefs& indexes = FTable.AdvIndexDefs();
    for (std::int32_t i = 0; i < indexes.Count(); ++i) {
      FWrite(", " + std::string(CRLF));
      FWrite(IndexLine(indexes.Defs(i)));
    }
    FWrite(std::string(CRLF) + ");" + std::string(CRLF));
  }

  std::string ColumnLine(const TQXLAdvFieldDef& Def) const {
    std::string line = "  " + SqlScriptName(Def.Name);
    line += Def.DataType == aftString ? std::string(" VARCHAR") : " " + AdvancedFieldTypeName(Def.DataType);
    if (HasLength(Def.DataType)) line += "(" + std::to_string(Def.Size) + ")";
    if (FOptions.BlobSettings && IsBlobFamily(Def.DataType)) {
      line += " BLOBBlockSize " + std::to_string(Def.BLOBBlockSize);
      line += " BLOBCompressionAlgorithm " + std::string(CompressionName(Def.BLOBCompressionAlgorithm));
      line += " BLOBCompressionMode " + std::to_string(Def.BLOBCompressionMode);
    }
    if (!Def.DefaultValue.IsNull()) line += " DEFAULT " + ValueText(Def.DefaultValue, Def.DataType);
    if (Def.Required) line += " NOT NULL";
    if (!Def.MinValue.IsNull()) line += " MINVALUE " + ValueText(Def.MinValue, Def.DataType);
    if (!Def.MaxValue.IsNull()) line += " MAXVALUE " + ValueText(Def.MaxValue, Def.DataType);
    return line;
  }

  static std::string IndexLine(const TQXLAdvIndexDef& Def) {
    std::string line = "  ";
    if (Def.Options.Contains(ixPrimary))
      line += "PRIMARY KEY";
    else if (Def.Options.Contains(ixUnique))
      line += "UNIQUE INDEX";
    else
      line += "INDEX";
    if (!Def.Name.empty()) line += " " + SqlScriptName(Def.Name);
    const std::vector<std::string> desc = SplitNames(Def.DescFields);
    const std::vector<std::string> noCase = SplitNames(Def.CaseInsFields);
    line += " (";
    const std::vector<std::string> columns = SplitNames(Def.Fields);
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (i > 0) line += ", ";
      line += SqlScriptName(columns[i]);
      if (ContainsName(desc, columns[i])) line += " DESC";
      if (ContainsName(noCase, columns[i])) line += " NOCASE";
    }
    return line + ")";
  }

  void WriteData() {
    const TQXLAdvFieldDefs& defs = FTable.AdvFieldDefs();
    std::vector<TField*> fields;
    std::string head = "INSERT INTO " + FTableName + " ";
    if (FOptions.FieldNamesInInserts) {
      head += "(";
      for (std::int32_t i = 0; i < defs.Count(); ++i) head += (i > 0 ? ", " : "") + SqlScriptName(defs.Defs(i).Name);
      head += ") ";
    }
    head += "values (";
    for (std::int32_t i = 0; i < defs.Count(); ++i) fields.push_back(&FTable.FieldByName(defs.Defs(i).Name));
    for (FTable.First(); !FTable.Eof(); FTable.Next()) {
      std::string line = head;
      for (std::int32_t i = 0; i < defs.Count(); ++i) {
        if (i > 0) line += ", ";
        line += FieldValueText(*fields[static_cast<std::size_t>(i)], defs.Defs(i));
      }
      FWrite(line + ");" + std::string(CRLF));
    }
  }

  static std::string FieldValueText(const TField& Field, const TQXLAdvFieldDef& Def) {
    const TQXLAdvancedFieldType Type = Def.DataType;
    TQXLVariant value(Field.ValueType());
    if (!Field.GetValue(value) || value.IsNull()) return "NULL";
    if (IsBinaryContent(Type)) {
      std::string_view bytes(static_cast<const char*>(value.pData()), static_cast<std::size_t>(value.DataSize()));
      // A byte column's stored form is its declared size and a zero byte
      // more; a shorter variable value is padded with zeros. Without the
      // padding the literal still gives back the same stored bytes.
      if (Type == aftBytes || Type == aftVarBytes) bytes = bytes.substr(0, static_cast<std::size_t>(Def.Size));
      if (Type == aftVarBytes)
        while (!bytes.empty() && bytes.back() == '\0') bytes.remove_suffix(1);
      return SqlBinaryLiteral(bytes);
    }
    if (Type == aftMemo || IsQuotedTextType(Type)) return SqlQuotedString(Field.AsString());
    switch (Type) {
      case aftBoolean: return value.GetAsBoolean() ? "True" : "False";
      case aftDate: {
        const std::int32_t date = value.GetAsQXLDate();
        return date == QXLNoDate ? "NULL" : SqlDateLiteral(date);
      }
      case aftTime: return SqlTimeLiteral(value.GetAsQXLTime());
      case aftDateTime:
      case aftTimeStamp: {
        const TQXLDateTime dateTime = value.GetAsQXLDateTime();
        return dateTime.Date == QXLNoDate ? "NULL" : SqlDateTimeLiteral(dateTime);
      }
      default: break;
    }
    if (value.IsNumericDataType()) return SqlNumberText(value);
    // A type the script has no literal for.
    return "NULL";
  }

  TQXLTable& FTable;
  const TQXLExportToSqlOptions& FOptions;
  const TQXLSqlScriptSink& FWrite;
  const std::string FTableName;
};

}  // namespace

void WriteTableSqlScript(TQXLTable& Table, const TQXLExportToSqlOptions& Options, const TQXLSqlScriptSink& Write) {
  Table.CheckInactive();
  Table.Open();
  try {
    TScriptWriter(Table, Options, Write).Run();
  } catch (...) {
    try {
      Table.Close();
    } catch (...) {
      // The script's own error is the one the caller sees.
    }
    throw;
  }
  Table.Close();
}

}  // namespace qxl
