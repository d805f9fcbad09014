#include "engine/sql/statements/ddl/QXLSQLFieldDefs.h"

#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/QXLAdvIndexDefs.h"

namespace qxl {

void TSQLFieldDef::ApplyTo(TQXLAdvFieldDef& Def) const {
  Def.Name = FieldName;
  if (newFieldType) Def.DataType = FieldType;
  if (newLength) Def.Size = Length;
  if (newRequired) Def.Required = Required;
  if (newAutoincIncrement) Def.AutoincIncrement = AutoincIncrement;
  if (newAutoincLastValue) Def.AutoincInitialValue = AutoincLastValue;
  if (newAutoincMinValue) Def.AutoincMinValue = AutoincMinValue;
  if (newAutoincMaxValue) Def.AutoincMaxValue = AutoincMaxValue;
  if (newAutoincCycled) Def.AutoincCycled = AutoincCycled;
  if (newBlobBlockSize) Def.BLOBBlockSize = BlobBlockSize;
  if (newBlobCompressionAlgorithm) Def.BLOBCompressionAlgorithm = BlobCompressionAlgorithm;
  if (newBlobCompressionMode) Def.BLOBCompressionMode = BlobCompressionMode;
  if (newDefaultValue) Def.DefaultValue.Assign(DefaultValue, true);
  if (newMinValue) Def.MinValue.Assign(MinValue, true);
  if (newMaxValue) Def.MaxValue.Assign(MaxValue, true);
}

TSQLFieldDef& TSQLFieldDefs::AddCreated() {
  List.push_back(std::make_unique<TSQLFieldDef>());
  return *List.back();
}

std::string TQXLIndexEntry::EffectiveName() const {
  if (!IndexName.empty()) return IndexName;
  std::string Name = Primary ? "C_PK" : Unique ? "C_Unique" : "i";
  for (const TQXLIndexField& Field : IndexFields) Name += "$" + Field.FieldName;
  return Name;
}

namespace {

template <typename TPredicate>
std::string JoinWhere(const std::vector<TQXLIndexField>& Fields, char Separator, TPredicate Take) {
  std::string Text;
  for (const TQXLIndexField& Field : Fields) {
    if (!Take(Field)) continue;
    if (!Text.empty()) Text += Separator;
    Text += Field.FieldName;
  }
  return Text;
}

}  // namespace

std::string JoinIndexFields(const std::vector<TQXLIndexField>& Fields, char Separator) {
  return JoinWhere(Fields, Separator, [](const TQXLIndexField&) { return true; });
}

std::string JoinDescFields(const std::vector<TQXLIndexField>& Fields, char Separator) {
  return JoinWhere(Fields, Separator, [](const TQXLIndexField& F) { return F.desc; });
}

std::string JoinCaseInsFields(const std::vector<TQXLIndexField>& Fields, char Separator) {
  return JoinWhere(Fields, Separator, [](const TQXLIndexField& F) { return F.nocase; });
}

void AddIndexEntries(const std::vector<TQXLIndexEntry>& Entries, TQXLAdvIndexDefs& Defs) {
  for (const TQXLIndexEntry& Entry : Entries) {
    TIndexOptions Options;
    if (Entry.Primary)
      Options = TIndexOptions{ixPrimary};
    else if (Entry.Unique)
      Options = TIndexOptions{ixUnique};
    Defs.Add(Entry.EffectiveName(), JoinIndexFields(Entry.IndexFields, ','), Options, false,
             JoinDescFields(Entry.IndexFields, ','), JoinCaseInsFields(Entry.IndexFields, ','));
  }
}

}  // namespace qxl
