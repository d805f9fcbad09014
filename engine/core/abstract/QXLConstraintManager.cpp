#include "engine/core/abstract/QXLConstraintManager.h"

#include <string>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/values/QXLConversion.h"
#include "engine/core/QXLException.h"
#include "engine/core/values/QXLShortString.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/core/abstract/QXLConstraintForIndex.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/abstract/QXLTableData.h"

namespace qxl {

namespace {

// Raises the violation, or reports it as false.
bool Violated(bool RaiseException, std::int32_t Code, const char* Text,
              std::initializer_list<platform::FormatArg> Args) {
  if (RaiseException) throw EQXLException(Code, Text, Args);
  return false;
}

const char* const NotImplemented = "Not implemented yet";

}  // namespace

TQXLBaseConstraintManager::TQXLBaseConstraintManager(TQXLTableData* aTableData) : FTableData(aTableData) {}

void TQXLBaseConstraintManager::LoadMetadata(TQXLStream& Stream) { FConstraintDefs.LoadFromStream(Stream); }

void TQXLBaseConstraintManager::SaveMetadata(TQXLStream& Stream) const { FConstraintDefs.SaveToStream(Stream); }

bool TQXLBaseConstraintManager::CheckConstraints(std::int32_t SessionID, const std::uint8_t* NewRecordBuffer,
                                                 const std::uint8_t* OldRecordBuffer, bool ToInsert,
                                                 const TQXLPageItemID& CurrentRecordID, bool RaiseException,
                                                 bool CheckUniqueIndexes) {
  for (std::int32_t i = 0; i < FConstraintDefs.Count(); ++i) {
    TQXLConstraintDef* def = FConstraintDefs.GetDef(i);
    bool ok = true;
    switch (def->ConstraintType) {
      case ctNotNull:
        ok = CheckNotNull(static_cast<TQXLColumnConstraintDef&>(*def), NewRecordBuffer, RaiseException);
        break;
      case ctCheck:
        ok = CheckRange(static_cast<TQXLConstraintDefCheck&>(*def), NewRecordBuffer, RaiseException);
        break;
      case ctPK:
      case ctUnique:
        if (CheckUniqueIndexes)
          ok = CheckKey(static_cast<TQXLConstraintDefUnique&>(*def), SessionID, NewRecordBuffer, OldRecordBuffer,
                        ToInsert, CurrentRecordID, RaiseException);
        break;
      default: throw EQXLException(30036, NotImplemented);
    }
    if (!ok) return false;
  }
  return true;
}

bool TQXLBaseConstraintManager::CheckNotNull(const TQXLColumnConstraintDef& Def, const std::uint8_t* Record,
                                             bool RaiseException) {
  const TQXLFieldDefs& fields = FTableData->FieldManager()->FieldDefs();
  const std::int32_t no = fields.GetDefNumberByObjectId(Def.ColumnObjectID);
  if (no < 0) throw EQXLException(30024, "Field #%d not found", {Def.ColumnObjectID});
  if (!qxl::GetBitInBuffer(no, Record)) return true;
  return Violated(RaiseException, 30026, "Constraint '%s' violated. Value in field '%s' cannot be null",
                  {Def.Name, fields.GetDef(no)->Name});
}

bool TQXLBaseConstraintManager::CheckRange(const TQXLConstraintDefCheck& Def, const std::uint8_t* Record,
                                           bool RaiseException) {
  const TQXLFieldDefs& fields = FTableData->FieldManager()->FieldDefs();
  const std::int32_t no = fields.GetDefNumberByObjectId(Def.ColumnObjectID);
  if (no < 0) throw EQXLException(30028, "Field #%d not found", {Def.ColumnObjectID});
  if (qxl::GetBitInBuffer(no, Record)) return true;
  const TQXLFieldDef& f = *fields.GetDef(no);
  auto compare = [&](const TQXLVariant& bound) {
    return qxl::CompareData(bound.pData(), Record + f.MemoryOffset, bound.DataType(), f.BaseFieldType, false, false, -1,
                       false, LOCALE_SYSTEM_DEFAULT, bound.DataSize(), f.MemoryDataSize);
  };
  if (!Def.MinValue->IsNull() && compare(*Def.MinValue) == cmprGreater)
    return Violated(RaiseException, 30029, "Constraint '%s' violated. Value in field '%s' cannot be lower than '%s'",
                    {Def.Name, f.Name, Def.MinValue->GetAsAnsiString()});
  if (!Def.MaxValue->IsNull() && compare(*Def.MaxValue) == cmprLower)
    return Violated(RaiseException, 30030,
                    "Constraint '%s' violated. Value in field '%s' cannot be greater than '%s'",
                    {Def.Name, f.Name, Def.MaxValue->GetAsAnsiString()});
  return true;
}

bool TQXLBaseConstraintManager::CheckKey(const TQXLConstraintDefUnique& Def, std::int32_t SessionID,
                                         const std::uint8_t* NewRecord, const std::uint8_t* OldRecord,
                                         bool ToInsert, const TQXLPageItemID& CurrentRecordID, bool RaiseException) {
  if (Def.ConstraintType == ctPK) {
    const TQXLFieldDefs& fields = FTableData->FieldManager()->FieldDefs();
    bool allNull = true;
    std::string names;
    for (const TQXLConstraintColumn& c : Def.Columns) {
      const std::int32_t no = fields.GetDefNumberByObjectId(c.ColumnObjectID);
      if (no < 0) throw EQXLException(30329, "Field #%d not found", {c.ColumnObjectID});
      allNull = allNull && qxl::GetBitInBuffer(no, NewRecord);
      names += (names.empty() ? "" : ",") + c.ColumnName;
    }
    if (allNull)
      return Violated(RaiseException, 30330, "Constraint '%s' violated. Value in field '%s' cannot be null",
                      {Def.Name, names});
  }
  if (!FTableData->IsUniqueConstraintFailed(SessionID, Def.IndexObjectID, NewRecord, OldRecord, ToInsert,
                                            CurrentRecordID))
    return true;
  if (Def.ConstraintType == ctPK)
    return Violated(RaiseException, 30319, "Primary Key constraint '%s' violated. Duplicate found.", {Def.Name});
  return Violated(RaiseException, 30320, "Constraint unique '%s' violated. Duplicate found.", {Def.Name});
}

void TQXLBaseConstraintManager::LinkObjectId(TQXLConstraintDef& ConstraintDef) {
  const TQXLFieldDefs& fields = FTableData->FieldManager()->FieldDefs();
  switch (ConstraintDef.ConstraintType) {
    case ctNotNull:
    case ctCheck: {
      auto& def = static_cast<TQXLColumnConstraintDef&>(ConstraintDef);
      const TQXLFieldDef* f = fields.GetFieldDefByName(def.ColumnName);
      if (!f) throw EQXLException(30027, "Field '%s' not found", {def.ColumnName});
      def.ColumnObjectID = f->ObjectID;
      return;
    }
    case ctPK:
    case ctUnique: {
      const bool pk = ConstraintDef.ConstraintType == ctPK;
      auto& def = static_cast<TQXLConstraintDefUnique&>(ConstraintDef);
      const TQXLIndexDef* index = FTableData->IndexManager()->IndexDefs().GetIndexDefByName(def.IndexName);
      if (!index) throw EQXLException(pk ? 30325 : 30326, "Index '%s' not found", {def.IndexName});
      def.IndexObjectID = index->ObjectID;
      for (TQXLConstraintColumn& c : def.Columns) {
        const TQXLFieldDef* f = fields.GetFieldDefByName(c.ColumnName);
        if (!f) throw EQXLException(pk ? 30331 : 30332, "Field '%s' not found", {c.ColumnName});
        c.ColumnObjectID = f->ObjectID;
      }
      return;
    }
    default: throw EQXLException(30037, NotImplemented);
  }
}

void TQXLBaseConstraintManager::LinkObjectIds() {
  for (std::int32_t i = 0; i < FConstraintDefs.Count(); ++i) LinkObjectId(*FConstraintDefs.GetDef(i));
}

std::string TQXLBaseConstraintManager::FreeName(const std::string& BaseName) {
  std::string candidate = BaseName;
  std::uniform_int_distribution<int> number(0, 65534);
  while (FConstraintDefs.GetDefByName(candidate)) candidate = BaseName + std::to_string(number(FRandom));
  return candidate;
}

void TQXLBaseConstraintManager::FillConstraintAutoNames() {
  for (std::int32_t i = 0; i < FConstraintDefs.Count(); ++i) {
    TQXLConstraintDef* def = FConstraintDefs.GetDef(i);
    if (!def->Name.empty()) continue;
    const char* kind = def->ConstraintType == ctNotNull ? "C_NotNull" : def->ConstraintType == ctCheck ? "C_Check" : nullptr;
    if (!kind) throw EQXLException(30038, NotImplemented);
    auto& column = static_cast<TQXLColumnConstraintDef&>(*def);
    def->Name = qxl::CutToAnsiLength(FreeName(std::string("$") + kind + "$" + column.TableName + "$" + column.ColumnName));
  }
}

void TQXLBaseConstraintManager::AddConstraintFromIndex(const TQXLIndexDef& IndexDef) {
  TQXLConstraintDefUnique* def = AddConstraintDefForIndex(IndexDef, FConstraintDefs);
  if (!def) return;
  def->ObjectID = FTableData->DatabaseData()->GetNewObjectId();
  LinkObjectId(*def);
}

void TQXLBaseConstraintManager::DeleteConstraintForIndexID(std::int32_t IndexObjectID) {
  for (std::int32_t i = 0; i < FConstraintDefs.Count(); ++i) {
    TQXLConstraintDef* def = FConstraintDefs.GetDef(i);
    if ((def->ConstraintType == ctPK || def->ConstraintType == ctUnique) &&
        static_cast<TQXLConstraintDefUnique*>(def)->IndexObjectID == IndexObjectID) {
      FConstraintDefs.Delete(i);
      return;
    }
  }
}

}  // namespace qxl
