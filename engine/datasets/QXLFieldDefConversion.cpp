#include "engine/datasets/QXLFieldDefConversion.h"

#include "engine/core/schema/QXLConstraintDef.h"
#include "engine/core/QXLException.h"
#include "engine/core/schema/QXLFieldDef.h"
#include "engine/core/schema/QXLIndexDef.h"
#include "engine/core/values/QXLShortString.h"
#include "engine/core/abstract/QXLConstraintForIndex.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/base/FieldDefs.h"

namespace qxl {

namespace {

constexpr std::int32_t DefaultBLOBBlockSize = 102400;

TQXLCompressionAlgorithm AlgorithmOf(TQXLCompressionAlgorithm Stored) {
  return Stored >= acaZLIB && Stored <= acaPPM ? Stored : acaNone;
}

void AddColumnConstraints(const TQXLAdvFieldDef& Def, TQXLConstraintDefs& ConstraintDefs) {
  if (Def.Required) ConstraintDefs.AddNotNull()->ColumnName = Def.Name;
  if (!Def.MinValue.IsNull() || !Def.MaxValue.IsNull()) {
    TQXLConstraintDefCheck* check = ConstraintDefs.AddCheck();
    check->ColumnName = Def.Name;
    check->MinValue->Assign(Def.MinValue, true);
    check->MaxValue->Assign(Def.MaxValue, true);
  }
}

void CopyToAdv(const TQXLFieldDef& Source, TQXLAdvFieldDef& Def) {
  Def.Name = Source.Name;
  Def.ObjectID = Source.ObjectID;
  Def.DataType = Source.AdvancedFieldType;
  Def.Size = Source.AdvancedFieldType == aftGuid ? 0 : Source.FieldSize;
  Def.AutoincIncrement = Source.AutoincIncrement;
  Def.AutoincInitialValue = Source.AutoincInitialValue;
  Def.AutoincMinValue = Source.AutoincMinValue;
  Def.AutoincMaxValue = Source.AutoincMaxValue;
  Def.AutoincCycled = Source.AutoincCycled;
  Def.BLOBCompressionAlgorithm = AlgorithmOf(Source.BLOBCompressionAlgorithm);
  Def.BLOBCompressionMode = Source.BLOBCompressionMode;
  Def.BLOBBlockSize = Source.BLOBBlockSize;
  Def.DefaultValue.Assign(*Source.DefaultValue, true);
}

// The dataset-layer column that shows the table field of that object ID;
// nullptr when a projection hides it. A field missing from the table raises MissingCode.
TQXLAdvFieldDef* VisibleColumnOf(std::int32_t ColumnObjectID, const TQXLFieldDefs& VisibleFieldDefs,
                                 const TQXLFieldDefs& FieldDefs, TQXLAdvFieldDefs& AdvFieldDefs,
                                 std::int32_t MissingCode) {
  std::int32_t fieldNo = FieldDefs.GetDefNumberByObjectId(ColumnObjectID);
  if (fieldNo < 0) throw EQXLException(MissingCode, "Field #%d not found", {ColumnObjectID});
  for (std::int32_t i = 0; i < VisibleFieldDefs.Count(); ++i)
    if (VisibleFieldDefs.GetDef(i)->FieldNoReference == fieldNo) return &AdvFieldDefs.Defs(i);
  return nullptr;
}

}  // namespace

void FieldDefsToQXLFieldDefs(const TFieldDefs& FieldDefs, TQXLFieldDefs& QXLFieldDefs) {
  QXLFieldDefs.Clear();
  for (std::int32_t i = 0; i < FieldDefs.Count(); ++i) {
    const TFieldDef& source = FieldDefs[i];
    TQXLFieldDef* def = QXLFieldDefs.AddCreated();
    def->Name = CutToAnsiLength(source.Name);
    def->SetFieldDefDataType(FieldTypeToAdvancedFieldType(source.DataType), source.Size);
  }
}

void FieldDefsToAdvFieldDefs(const TFieldDefs& FieldDefs, TQXLAdvFieldDefs& AdvFieldDefs) {
  AdvFieldDefs.Clear();
  for (std::int32_t i = 0; i < FieldDefs.Count(); ++i) {
    const TFieldDef& source = FieldDefs[i];
    AdvFieldDefs.Add(source.Name, FieldTypeToAdvancedFieldType(source.DataType), source.Size, source.Required);
  }
}

void AdvFieldDefsToFieldDefs(const TQXLAdvFieldDefs& AdvFieldDefs, TFieldDefs& FieldDefs) {
  FieldDefs.Clear();
  for (std::int32_t i = 0; i < AdvFieldDefs.Count(); ++i) {
    const TQXLAdvFieldDef& source = AdvFieldDefs.Defs(i);
    FieldDefs.Add(source.Name, AdvancedFieldTypeToFieldType(source.DataType), source.Size, source.Required);
  }
}

void AdvFieldDefsToQXLDefs(const TQXLAdvFieldDefs& AdvFieldDefs, TQXLFieldDefs& QXLFieldDefs,
                                const TQXLIndexDefs& QXLIndexDefs, TQXLConstraintDefs& ConstraintDefs,
                                bool Temporary) {
  QXLFieldDefs.Clear();
  ConstraintDefs.Clear();
  for (std::int32_t i = 0; i < AdvFieldDefs.Count(); ++i) {
    const TQXLAdvFieldDef& source = AdvFieldDefs.Defs(i);
    TQXLFieldDef* def = QXLFieldDefs.AddCreated();
    def->Name = CutToAnsiLength(source.Name);
    def->SetFieldDefDataType(source.DataType, source.Size);
    def->BLOBCompressionAlgorithm = source.BLOBCompressionAlgorithm;
    def->BLOBCompressionMode = source.BLOBCompressionMode;
    def->BLOBBlockSize = source.BLOBBlockSize > 0 ? source.BLOBBlockSize : DefaultBLOBBlockSize;
    def->AutoincIncrement = source.AutoincIncrement;
    def->AutoincInitialValue = source.AutoincInitialValue;
    def->AutoincMinValue = source.AutoincMinValue;
    def->AutoincMaxValue = source.AutoincMaxValue;
    def->AutoincCycled = source.AutoincCycled;
    def->DefaultValue->Assign(source.DefaultValue, true);
    if (!Temporary) AddColumnConstraints(source, ConstraintDefs);
  }
  for (std::int32_t i = 0; i < QXLIndexDefs.Count(); ++i)
    AddConstraintDefForIndex(*QXLIndexDefs.GetIndexDef(i), ConstraintDefs);
}

void QXLFieldDefsToAdvFieldDefs(const TQXLFieldDefs& VisibleFieldDefs, const TQXLFieldDefs& FieldDefs,
                                     const TQXLConstraintDefs& ConstraintDefs, TQXLAdvFieldDefs& AdvFieldDefs) {
  AdvFieldDefs.Clear();
  for (std::int32_t i = 0; i < VisibleFieldDefs.Count(); ++i)
    CopyToAdv(*VisibleFieldDefs.GetDef(i), AdvFieldDefs.AddFieldDef());
  for (std::int32_t i = 0; i < ConstraintDefs.Count(); ++i) {
    const TQXLConstraintDef& c = *ConstraintDefs.GetDef(i);
    switch (c.ConstraintType) {
      case ctPK:
      case ctUnique: break;
      case ctNotNull: {
        auto& notNull = static_cast<const TQXLColumnConstraintDef&>(c);
        if (TQXLAdvFieldDef* def =
                VisibleColumnOf(notNull.ColumnObjectID, VisibleFieldDefs, FieldDefs, AdvFieldDefs, 30032))
          def->Required = true;
        break;
      }
      case ctCheck: {
        auto& check = static_cast<const TQXLConstraintDefCheck&>(c);
        if (TQXLAdvFieldDef* def =
                VisibleColumnOf(check.ColumnObjectID, VisibleFieldDefs, FieldDefs, AdvFieldDefs, 30031)) {
          def->MinValue.Assign(*check.MinValue, true);
          def->MaxValue.Assign(*check.MaxValue, true);
        }
        break;
      }
      default: throw EQXLException(30039, "Not implemented yet");
    }
  }
}

void QXLFieldDefsToFieldDefs(const TQXLFieldDefs& QXLFieldDefs, const TQXLConstraintDefs& ConstraintDefs,
                                  TFieldDefs& FieldDefs) {
  FieldDefs.Clear();
  for (std::int32_t i = 0; i < QXLFieldDefs.Count(); ++i) {
    const TQXLFieldDef& source = *QXLFieldDefs.GetDef(i);
    TFieldType type = AdvancedFieldTypeToFieldType(source.AdvancedFieldType);
    bool sized = IsSizedAdvancedFieldType(source.AdvancedFieldType) && type != ftGuid;
    FieldDefs.Add(source.Name, type, sized ? source.FieldSize : 0, false);
  }
  for (std::int32_t i = 0; i < ConstraintDefs.Count(); ++i) {
    const TQXLConstraintDef& c = *ConstraintDefs.GetDef(i);
    if (c.ConstraintType != ctNotNull) continue;
    const TQXLMetaObjectDef* column =
        QXLFieldDefs.GetDefByObjectId(static_cast<const TQXLColumnConstraintDef&>(c).ColumnObjectID);
    if (!column) continue;
    std::int32_t n = FieldDefs.IndexOf(column->Name);
    if (n >= 0 && FieldDefs[n].DataType != ftAutoInc) FieldDefs[n].Required = true;
  }
}

bool FieldDefsContainName(const TFieldDefs& FieldDefs, std::string_view Name) {
  return FieldDefs.IndexOf(Name) >= 0;
}

}  // namespace qxl
