#pragma once

namespace qxl {

// The constraint that a primary or unique index brings with it.
class TQXLConstraintDefUnique;
class TQXLConstraintDefs;
class TQXLIndexDef;


// Appends to ConstraintDefs a PRIMARY KEY constraint ("C_PK$col1$col2...")
// for a primary index, a UNIQUE one ("C_Unique$...") for another unique index,
// carrying the index's name, object ID and columns (column IDs not yet set),
// and returns it; nothing and nullptr for any other index.
TQXLConstraintDefUnique* AddConstraintDefForIndex(const TQXLIndexDef& IndexDef, TQXLConstraintDefs& ConstraintDefs);

}  // namespace qxl
