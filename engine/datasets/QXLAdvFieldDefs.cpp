#include "engine/datasets/QXLAdvFieldDefs.h"

#include "engine/core/QXLException.h"
#include "engine/core/values/QXLShortString.h"

namespace qxl {

void TQXLAdvFieldDef::Assign(const TQXLAdvFieldDef& Source) {
  if (&Source == this) return;
  Name = Source.Name;
  ObjectID = Source.ObjectID;
  DataType = Source.DataType;
  Required = Source.Required;
  Size = Source.Size;
  DefaultValue.Assign(Source.DefaultValue, true);
  MinValue.Assign(Source.MinValue, true);
  MaxValue.Assign(Source.MaxValue, true);
  AutoincIncrement = Source.AutoincIncrement;
  AutoincInitialValue = Source.AutoincInitialValue;
  AutoincMinValue = Source.AutoincMinValue;
  AutoincMaxValue = Source.AutoincMaxValue;
  AutoincCycled = Source.AutoincCycled;
  BLOBCompressionAlgorithm = Source.BLOBCompressionAlgorithm;
  BLOBCompressionMode = Source.BLOBCompressionMode;
  BLOBBlockSize = Source.BLOBBlockSize;
}

void TQXLAdvFieldDefs::SetDef(std::int32_t Index, std::unique_ptr<TQXLAdvFieldDef> Def) {
  FItems.at(static_cast<std::size_t>(Index)) = std::move(Def);
}

TQXLAdvFieldDef& TQXLAdvFieldDefs::AddFieldDef() {
  FItems.push_back(std::make_unique<TQXLAdvFieldDef>());
  return *FItems.back();
}

TQXLAdvFieldDef& TQXLAdvFieldDefs::Add(const std::string& Name, TQXLAdvancedFieldType DataType, std::int32_t Size,
                                       bool Required, TQXLCompressionAlgorithm BLOBCompressionAlgorithm,
                                       std::uint8_t BLOBCompressionMode) {
  TQXLAdvFieldDef& def = AddFieldDef();
  def.Name = Name;
  def.DataType = DataType;
  def.Size = Size;
  def.Required = Required;
  def.BLOBCompressionAlgorithm = BLOBCompressionAlgorithm;
  def.BLOBCompressionMode = BLOBCompressionMode;
  return def;
}

void TQXLAdvFieldDefs::DeleteFieldDef(std::string_view FieldName) {
  for (auto it = FItems.begin(); it != FItems.end(); ++it)
    if (SameNameIgnoringCase((*it)->Name, FieldName)) {
      FItems.erase(it);
      return;
    }
  throw EQXLException(30349, "Field '%s' not found", {FieldName});
}

TQXLAdvFieldDef* TQXLAdvFieldDefs::Find(std::string_view Name) const {
  for (const auto& d : FItems)
    if (SameNameIgnoringCase(d->Name, Name)) return d.get();
  return nullptr;
}

void TQXLAdvFieldDefs::Assign(const TQXLAdvFieldDefs& Source) {
  if (&Source == this) return;
  Clear();
  for (const auto& d : Source.FItems) AddFieldDef().Assign(*d);
}

}  // namespace qxl
