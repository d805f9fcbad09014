#pragma once

namespace qxl {

// Copying one field's value into another field, of the same dataset or of
// another, whatever the two field types.

class TField;

// NULL stays NULL. The value is adapted to Dest's type: text to and from
// wide text and BLOB content, integers to wider integers or floating
// values, bytes to variable bytes. A value Dest cannot hold raises
// EDatabaseError naming Dest. Dest's dataset must be editing.
void CopyDatasetFieldValue(const TField& Source, TField& Dest);

}  // namespace qxl
