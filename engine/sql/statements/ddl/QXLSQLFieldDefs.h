#pragma once
// Column and index definitions as a table statement's text gives them, before
// they meet a table: every column setting carries a flag that says whether
// the text gave it, so that a new column takes the defaults of a column
// definition and a modified one keeps its current values for what was not
// written.
//
// Threads: owned by one statement and used by the thread that runs it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/coding/QXLCompression.h"
#include "engine/core/values/QXLTypes.h"
#include "engine/core/values/QXLVariant.h"

namespace qxl {

class TQXLAdvFieldDef;
class TQXLAdvIndexDefs;

class TSQLFieldDef {
public:
  TSQLFieldDef() = default;
  TSQLFieldDef(const TSQLFieldDef&) = delete;
  TSQLFieldDef& operator=(const TSQLFieldDef&) = delete;

  std::string FieldName;
  bool CreateIfNotExists = false;
  bool newFieldType = false;
  TQXLAdvancedFieldType FieldType = aftUnknown;
  bool newLength = false;
  std::int32_t Length = 0;
  bool newRequired = false;
  bool Required = false;
  bool newAutoincIncrement = false;
  std::int64_t AutoincIncrement = 0;
  bool newAutoincLastValue = false;
  std::int64_t AutoincLastValue = 0;
  bool newAutoincMinValue = false;
  std::int64_t AutoincMinValue = 0;
  bool newAutoincMaxValue = false;
  std::int64_t AutoincMaxValue = 0;
  bool newAutoincCycled = false;
  bool AutoincCycled = false;
  bool newBlobBlockSize = false;
  std::int32_t BlobBlockSize = 0;
  bool newBlobCompressionAlgorithm = false;
  TQXLCompressionAlgorithm BlobCompressionAlgorithm = acaNone;
  bool newBlobCompressionMode = false;
  std::uint8_t BlobCompressionMode = 0;
  bool newDefaultValue = false;
  TQXLVariant DefaultValue;
  bool newMinValue = false;
  TQXLVariant MinValue;
  bool newMaxValue = false;
  TQXLVariant MaxValue;

  // Writes the name and every flagged setting into Def; the rest of Def stays.
  void ApplyTo(TQXLAdvFieldDef& Def) const;
};

class TSQLFieldDefs {
public:
  TSQLFieldDef& AddCreated();
  std::int32_t GetCount() const { return static_cast<std::int32_t>(List.size()); }
  TSQLFieldDef& GetDef(std::int32_t Index) const { return *List.at(static_cast<std::size_t>(Index)); }

  std::vector<std::unique_ptr<TSQLFieldDef>> List;
};

// One column of an index as written: ascending and case-sensitive unless
// DESC or NOCASE said otherwise.
struct TQXLIndexField {
  std::string FieldName;
  bool desc = false;
  bool nocase = false;
};

// One index of a column list: a primary key, a unique index or a plain one.
struct TQXLIndexEntry {
  std::string IndexName;
  bool Unique = false;
  bool Primary = false;
  std::vector<TQXLIndexField> IndexFields;

  // The given name, else C_PK, C_Unique or i followed by "$" and each column.
  std::string EffectiveName() const;
};

// The entries' columns joined by Separator: all of them, the DESC ones and
// the NOCASE ones.
std::string JoinIndexFields(const std::vector<TQXLIndexField>& Fields, char Separator);
std::string JoinDescFields(const std::vector<TQXLIndexField>& Fields, char Separator);
std::string JoinCaseInsFields(const std::vector<TQXLIndexField>& Fields, char Separator);

// Appends one definition per entry, in order, to Defs.
void AddIndexEntries(const std::vector<TQXLIndexEntry>& Entries, TQXLAdvIndexDefs& Defs);

}  // namespace qxl
