// Laying out a record index's key from its index definition and its table's
// field definitions; whole records are then read through the table.
#include "engine/core/QXLException.h"
#include "engine/core/schema/QXLIndexDef.h"
#include "engine/core/abstract/QXLTableData.h"
#include "engine/storage/btree/QXLRecordKeyRef.h"
#include "engine/storage/btree/QXLTableRecordSource.h"

namespace qxl {

void TQXLRecordKeyRef::Assign(const TQXLIndexDef& IndexDef, TQXLTableData* aTableData) {
  LTableData = aTableData;
  TQXLBaseFieldManager* Fields = aTableData ? aTableData->FieldManager() : nullptr;
  if (!Fields) throw EQXLException(20044, "Pointer is nil");
  const TQXLFieldDefs& FieldDefs = Fields->FieldDefs();
  if (FieldDefs.Count() == 0) throw EQXLException(20045, "Pointer is nil");
  std::vector<TQXLKeyPartDef> Columns;
  for (std::int32_t i = 0; i < IndexDef.ColumnCount(); ++i) {
    const TQXLIndexColumn& Column = IndexDef.GetIndexColumn(i);
    const std::int32_t FieldNo = FieldDefs.GetDefNumberByName(Column.FieldName);
    if (FieldNo < 0) throw EQXLException(20043, "Cannot find index field '%s'", {Column.FieldName});
    const TQXLFieldDef& Field = *FieldDefs.GetDef(FieldNo);
    // Keys copy the field's bytes: a layout outside the record is refused.
    if (Field.MemoryOffset < FieldDefs.NullBitmapSize() || Field.MemoryDataSize < 0 ||
        std::int64_t{Field.MemoryOffset} + Field.MemoryDataSize > FieldDefs.GetMemoryRecordBufferSize())
      throw EQXLException(10004, "Invalid field layout - FieldNo = %d, MemoryOffset = %d, MemoryDataSize = %d",
                          {FieldNo, Field.MemoryOffset, Field.MemoryDataSize});
    TQXLKeyPartDef Def;
    Def.FieldName = Column.FieldName;
    Def.FieldNo = FieldNo;
    Def.DataType = Field.BaseFieldType;
    Def.OffsetInRecordBuffer = Field.MemoryOffset;
    Def.DataSize = Field.MemoryDataSize;
    Def.MaxIndexedSize = Column.MaxIndexedSize;
    Def.Descending = Column.Descending;
    Def.CaseInsensitive = Column.CaseInsensitive;
    Columns.push_back(Def);
  }
  FTableSource = std::make_unique<TQXLTableRecordSource>(aTableData);
  AssignParts(Columns, FTableSource.get());
}

}  // namespace qxl
