#pragma once
// A test cursor's field layout as the local cursor makes it: the table's
// fields, with their offsets, every one of them visible in the table's order
// and referring to the table field of its own number.
//
// Threads: as the cursor.
#include <memory>

#include "engine/core/abstract/QXLCursor.h"

namespace qxl {

inline void ShowEveryTableField(TQXLCursor& Cursor, const TQXLFieldDefs& TableFields) {
  Cursor.FFieldDefs = std::make_unique<TQXLFieldDefs>();
  Cursor.FFieldDefs->Assign(TableFields);
  Cursor.FFieldDefs->RecalcFieldOffsets();
  Cursor.FVisibleFieldDefs = std::make_unique<TQXLFieldDefs>();
  Cursor.FVisibleFieldDefs->Assign(*Cursor.FFieldDefs);
  for (std::int32_t i = 0; i < Cursor.FVisibleFieldDefs->Count(); ++i)
    Cursor.FVisibleFieldDefs->GetDef(i)->FieldNoReference = i;
}

}  // namespace qxl
