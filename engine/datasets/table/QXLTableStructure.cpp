// The table component's structure changes: creating the table from its
// definitions (normalised and checked first, so that a bad definition stores
// nothing), deleting, emptying and renaming it, renaming a field, and adding
// and deleting indexes; each on a cursor opened for this component alone.
#include <cstdlib>
#include <memory>

#include "engine/core/schema/QXLConstraintDef.h"
#include "engine/core/QXLException.h"
#include "engine/core/QXLExpression.h"
#include "engine/core/schema/QXLFieldDef.h"
#include "engine/core/schema/QXLIndexDef.h"
#include "engine/core/values/QXLShortString.h"
#include "engine/core/values/QXLTypes.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/QXLAdvIndexDefs.h"
#include "engine/datasets/QXLFieldDefConversion.h"
#include "engine/datasets/QXLIndexDefConversion.h"
#include "engine/datasets/QXLLocalCursor.h"
#include "engine/datasets/base/DatabaseError.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/table/QXLTable.h"

namespace qxl {

namespace {

constexpr std::int32_t DefaultMaxIndexedSize = 20;

bool NeedsSize(TQXLAdvancedFieldType Type) {
  switch (Type) {
    case aftChar:
    case aftString:
    case aftWideChar:
    case aftWideString:
    case aftGuid:
    case aftBytes:
    case aftVarBytes: return true;
    default: return false;
  }
}

bool KeepsSize(TQXLBaseFieldType Type) {
  switch (Type) {
    case bftChar:
    case bftWideChar:
    case bftVarchar:
    case bftWideVarchar:
    case bftBytes:
    case bftVarBytes: return true;
    default: return false;
  }
}

bool IsBlobFamily(TQXLAdvancedFieldType Type) {
  return Type == aftBlob || Type == aftGraphic || Type == aftMemo || Type == aftFormattedMemo || Type == aftWideMemo;
}

// A bound or default given as empty text means none; an expression default
// stays the text that is evaluated for each new record.
void NormaliseValue(TQXLVariant& Value, TQXLBaseFieldType Base, bool MayBeExpression) {
  if (Value.IsNull()) return;
  if (Value.IsStringDataType() && Value.GetAsAnsiString().empty()) {
    Value.Clear(Base);
    return;
  }
  if (MayBeExpression && IsDefaultValueExpression(Value)) return;
  if (Value.DataType() != Base) Value.Cast(Base);
}

std::string JoinedSizes(const std::vector<std::int32_t>& Sizes) {
  std::string text;
  for (std::size_t i = 0; i < Sizes.size(); ++i) {
    if (i > 0) text += ';';
    text += std::to_string(Sizes[i]);
  }
  return text;
}

}  // namespace

void TQXLTable::PrepareFieldDefsForCreate() {
  TQXLAdvFieldDefs& defs = AdvFieldDefs();
  for (std::int32_t i = 0; i < defs.Count(); ++i) {
    TQXLAdvFieldDef& def = defs.Defs(i);
    const TQXLBaseFieldType base = AdvancedToBaseFieldType(def.DataType);
    NormaliseValue(def.DefaultValue, base, true);
    NormaliseValue(def.MinValue, base, false);
    NormaliseValue(def.MaxValue, base, false);
    if (!KeepsSize(base)) def.Size = 0;
    if (def.DataType == aftGuid) def.Size = 38;
  }
  for (std::int32_t i = 0; i < defs.Count(); ++i) {
    const TQXLAdvFieldDef& def = defs.Defs(i);
    if (def.Name.empty())
      throw EQXLException(30499, "Missing field name. FieldNo=%d, table '%s'", {i, FTableName});
    for (std::int32_t j = 0; j < i; ++j)
      if (SameNameIgnoringCase(defs.Defs(j).Name, def.Name))
        DatabaseErrorFmt(this, "Duplicate field name '%s' in table '%s'", def.Name, FTableName);
    if (def.DataType == aftUnknown || AdvancedToBaseFieldType(def.DataType) == bftUnknown)
      throw EQXLException(30289, "Unknown DataType: '%s'", {AdvancedFieldTypeName(def.DataType)});
    if (NeedsSize(def.DataType) && def.Size <= 0)
      throw EQXLException(30453, "Cannot create table '%s' with field: %s %s(%d)",
                          {FTableName, def.Name, BaseFieldTypeName(AdvancedToBaseFieldType(def.DataType)), def.Size});
    if (IsBlobFamily(def.DataType) && def.BLOBCompressionAlgorithm != acaNone &&
        (def.BLOBCompressionMode == 0 || def.BLOBCompressionMode > 9))
      throw EQXLException(20257,
                          "Invalid BlobCompressionMode (must be in 1..9 range) for blob field '%s'. Cannot create "
                          "table '%s'",
                          {def.Name, FTableName});
  }
}

void TQXLTable::PrepareIndexDefsForCreate() {
  if (AdvIndexDefs().Count() == 0)
    IndexDefsToAdvIndexDefs(IndexDefs(), AdvIndexDefs());
  else
    AdvIndexDefsToIndexDefs(AdvIndexDefs(), IndexDefs());
  for (std::int32_t i = 0; i < AdvIndexDefs().Count(); ++i) {
    TQXLAdvIndexDef& index = AdvIndexDefs().Defs(i);
    std::vector<std::string> columns, given;
    SplitFieldList(columns, index.Fields);
    SplitFieldList(given, index.MaxIndexedSizes);
    std::vector<std::int32_t> sizes;
    for (std::size_t c = 0; c < columns.size(); ++c) {
      const std::int32_t size = c < given.size() ? std::atoi(given[c].c_str()) : 0;
      const TQXLAdvFieldDef* field = AdvFieldDefs().Find(columns[c]);
      const bool keep = size > 0 && (!field || IsSizedAdvancedFieldType(field->DataType));
      sizes.push_back(keep ? size : DefaultMaxIndexedSize);
    }
    index.MaxIndexedSizes = JoinedSizes(sizes);
  }
}

void TQXLTable::CreateTable() {
  CheckInactive();
  CheckTableName();
  TDatabaseUseScope use(*this, duTableDDL);
  std::unique_ptr<TQXLLocalCursor> cursor = NewMaintenanceCursor();
  for (std::int32_t i = 0; i < FieldCount(); ++i) {
    const TField& field = Fields(i);
    if (field.FieldKind == fkData && !FieldDefsContainName(FieldDefs(), field.FieldName))
      FieldDefs().Add(field.FieldName, field.DataType(), field.Size, field.Required);
  }
  if (AdvFieldDefs().Count() == 0) {
    for (std::int32_t i = 0; i < FieldDefs().Count(); ++i)
      if (FieldDefs()[i].DataType == ftGuid) FieldDefs()[i].Size = 38;
    FieldDefsToAdvFieldDefs(FieldDefs(), AdvFieldDefs());
    PrepareFieldDefsForCreate();
  } else {
    PrepareFieldDefsForCreate();
    AdvFieldDefsToFieldDefs(AdvFieldDefs(), FieldDefs());
  }
  PrepareIndexDefsForCreate();
  TQXLFieldDefs fields;
  TQXLIndexDefs indexes;
  TQXLConstraintDefs constraints;
  // The index columns are found among the fields the SQL-level definitions give.
  AdvFieldDefsToQXLDefs(AdvFieldDefs(), fields, indexes, constraints, FTemporary);
  AdvIndexDefsToQXLIndexDefs(AdvIndexDefs(), indexes, fields);
  AdvFieldDefsToQXLDefs(AdvFieldDefs(), fields, indexes, constraints, FTemporary);
  CheckNotInTransaction(20182, "CreateTable");
  cursor->CreateTable(fields, indexes, constraints);
  FIndexDefsOutdated = true;
}

void TQXLTable::DeleteTable() {
  if (Active()) Close();
  CheckTableName();
  TDatabaseUseScope use(*this, duTableDDL);
  CheckNotInTransaction(20183, "DeleteTable");
  NewMaintenanceCursor()->DeleteTable();
  FIndexDefsOutdated = true;
}

void TQXLTable::EmptyTable() {
  CheckInactive();
  TDatabaseUseScope use(*this, duTableDDL);
  NewMaintenanceCursor()->EmptyTable();
}

void TQXLTable::RenameTable(const std::string& NewTableName) {
  CheckInactive();
  CheckTableName();
  TDatabaseUseScope use(*this, duTableDDL);
  CheckNotInTransaction(20181, "RenameTable");
  NewMaintenanceCursor()->RenameTable(NewTableName);
  FTableName = NewTableName;
}

void TQXLTable::RenameField(const std::string& FieldName, const std::string& NewFieldName) {
  CheckInactive();
  const bool exclusive = FExclusive;
  FExclusive = true;
  struct TRestore {
    TQXLTable& Table;
    bool Exclusive;
    ~TRestore() {
      try {
        Table.Close();
      } catch (...) {
      }
      Table.FExclusive = Exclusive;
    }
  } restore{*this, exclusive};
  Open();
  CheckNotInTransaction(20179, "RenameField");
  Cursor(10298).RenameField(FieldName, NewFieldName);
  FIndexDefsOutdated = true;
}

void TQXLTable::AddIndex(const std::string& Name, const std::string& Fields, TIndexOptions Options,
                         const std::string& DescFields, const std::string& CaseInsFields) {
  UpdateFieldDefs();
  TDatabaseUseScope use(*this, duIndexDefs);
  std::unique_ptr<TQXLLocalCursor> temporary;
  TQXLCursor* cursor = Handle();
  if (cursor) {
    CheckBrowseMode();
    UpdateCursorPos();
  } else {
    temporary = OpenLocalCursor(true);
    cursor = temporary.get();
  }
  if (Name.empty()) throw EQXLException(20046, "Invalid index name '%s'", {Name});
  if (Fields.empty()) throw EQXLException(20047, "Cannot find index field '%s'", {Fields});
  CheckNotInTransaction(20175, "AddIndex");
  TQXLIndexDef index;
  FillQXLIndexDef(index, Name, Fields, Options, false, DescFields, CaseInsFields, "", *cursor->FFieldDefs);
  if (!cursor->LockTable(ltX, AddIndexLockTries, AddIndexLockDelayMS, true))
    throw EQXLException(20228, "Cannot access table '%s' in exclusive mode. Table is open by another user",
                        {FTableName});
  try {
    cursor->AddIndex(index);
  } catch (...) {
    cursor->UnlockTable(ltX, false);
    throw;
  }
  cursor->UnlockTable(ltX, false);
  FIndexDefsOutdated = true;
}

TQXLCursor* TQXLTable::StructureCursor(std::unique_ptr<TQXLLocalCursor>& Temporary) {
  if (TQXLCursor* cursor = Handle()) {
    CheckBrowseMode();
    return cursor;
  }
  Temporary = OpenLocalCursor(true);
  return Temporary.get();
}

void TQXLTable::DeleteIndex(const std::string& Name) {
  TDatabaseUseScope use(*this, duIndexDefs);
  std::unique_ptr<TQXLLocalCursor> temporary;
  TQXLCursor* cursor = StructureCursor(temporary);
  CheckNotInTransaction(20177, "DeleteIndex");
  cursor->DeleteIndex(Name);
  FIndexDefsOutdated = true;
}

void TQXLTable::DeleteAllIndexes() {
  TDatabaseUseScope use(*this, duIndexDefs);
  std::unique_ptr<TQXLLocalCursor> temporary;
  TQXLCursor* cursor = StructureCursor(temporary);
  CheckNotInTransaction(20178, "DeleteAllIndexes");
  cursor->DeleteAllIndexes();
  FIndexDefsOutdated = true;
}

}  // namespace qxl
