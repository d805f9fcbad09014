#include "engine/core/abstract/QXLConstraintForIndex.h"

#include "engine/core/schema/QXLConstraintDef.h"
#include "engine/core/schema/QXLIndexDef.h"
#include "engine/core/values/QXLShortString.h"

namespace qxl {

TQXLConstraintDefUnique* AddConstraintDefForIndex(const TQXLIndexDef& IndexDef,
                                                  TQXLConstraintDefs& ConstraintDefs) {
  if (!IndexDef.Primary && !IndexDef.Unique) return nullptr;
  TQXLConstraintDefUnique* def =
      IndexDef.Primary ? static_cast<TQXLConstraintDefUnique*>(ConstraintDefs.AddPK()) : ConstraintDefs.AddUnique();
  std::string name = IndexDef.Primary ? "C_PK" : "C_Unique";
  for (std::int32_t i = 0; i < IndexDef.ColumnCount(); ++i) {
    const std::string& field = IndexDef.GetIndexColumn(i).FieldName;
    name += "$" + field;
    def->Columns.push_back({field, -1});
  }
  def->Name = CutToAnsiLength(name);
  def->IndexName = IndexDef.Name;
  def->IndexObjectID = IndexDef.ObjectID;
  return def;
}

}  // namespace qxl
