#pragma once
// Conversions of column definitions between the dataset's definitions, the
// dataset layer's definitions and the engine's schema definitions with their
// constraints. Every conversion clears its destination first.
#include <string_view>

namespace qxl {

class TQXLConstraintDefs;
class TQXLFieldDefs;
class TQXLIndexDefs;


class TFieldDefs;
class TQXLAdvFieldDefs;

// Unknown dataset types raise 30289.
void FieldDefsToQXLFieldDefs(const TFieldDefs& FieldDefs, TQXLFieldDefs& QXLFieldDefs);
void FieldDefsToAdvFieldDefs(const TFieldDefs& FieldDefs, TQXLAdvFieldDefs& AdvFieldDefs);
void AdvFieldDefsToFieldDefs(const TQXLAdvFieldDefs& AdvFieldDefs, TFieldDefs& FieldDefs);

// For table creation: engine fields, and the constraints that the columns
// (NOT NULL, range checks; not for a temporary table) and the primary and
// unique indexes of QXLIndexDefs bring.
void AdvFieldDefsToQXLDefs(const TQXLAdvFieldDefs& AdvFieldDefs, TQXLFieldDefs& QXLFieldDefs,
                           const TQXLIndexDefs& QXLIndexDefs, TQXLConstraintDefs& ConstraintDefs, bool Temporary);

// For an open table: its visible fields with the NOT NULL and range checks of
// its constraints, found through FieldDefs (all its fields). A constraint on
// a missing field raises 30032 (NOT NULL) or 30031 (check); a constraint of
// another kind 30039.
void QXLFieldDefsToAdvFieldDefs(const TQXLFieldDefs& VisibleFieldDefs, const TQXLFieldDefs& FieldDefs,
                                const TQXLConstraintDefs& ConstraintDefs, TQXLAdvFieldDefs& AdvFieldDefs);

// Dataset definitions of engine fields; a NOT NULL constraint makes its
// column required, unless the column is auto-incremented.
void QXLFieldDefsToFieldDefs(const TQXLFieldDefs& QXLFieldDefs, const TQXLConstraintDefs& ConstraintDefs,
                             TFieldDefs& FieldDefs);

bool FieldDefsContainName(const TFieldDefs& FieldDefs, std::string_view Name);

}  // namespace qxl
