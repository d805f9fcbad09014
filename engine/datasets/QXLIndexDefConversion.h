#pragma once
// Conversions of index definitions between the dataset's definitions, the
// dataset layer's definitions and the engine's schema definitions. Every
// conversion of a list clears its destination first.
#include <string>
#include <vector>

#include "engine/datasets/base/IndexDefs.h"

namespace qxl {

class TQXLFieldDefs;
class TQXLIndexDef;
class TQXLIndexDefs;


class TQXLAdvIndexDef;
class TQXLAdvIndexDefs;

// Every "," read as ";", then the names between ";" without the blanks around them.
void SplitFieldList(std::vector<std::string>& List, const std::string& Text);

void IndexDefsToAdvIndexDefs(const TIndexDefs& IndexDefs, TQXLAdvIndexDefs& AdvIndexDefs);
// Adds ixDescending (ixCaseInsensitive) to an index whose descending
// (case-insensitive) columns are all of its columns.
void AdvIndexDefsToIndexDefs(const TQXLAdvIndexDefs& AdvIndexDefs, TIndexDefs& IndexDefs);

void AdvIndexDefsToQXLIndexDefs(const TQXLAdvIndexDefs& AdvIndexDefs, TQXLIndexDefs& QXLIndexDefs,
                                const TQXLFieldDefs& FieldDefs);
void AdvIndexDefToQXLIndexDef(const TQXLAdvIndexDef& AdvIndexDef, TQXLIndexDef& QXLIndexDef,
                              const TQXLFieldDefs& FieldDefs);
void QXLIndexDefsToAdvIndexDefs(const TQXLIndexDefs& QXLIndexDefs, TQXLAdvIndexDefs& AdvIndexDefs);
void QXLIndexDefToAdvIndexDef(const TQXLIndexDef& QXLIndexDef, TQXLAdvIndexDef& AdvIndexDef);

// One engine index from its text form. An empty name raises 20048, an empty
// column list 20049, a column that FieldDefs lacks 20050. A column is
// descending when DescFields names it, or when DescFields is empty and
// Options hold ixDescending; case-insensitive alike; it keeps the
// MaxIndexedSizes entry of its position, or 20 without one.
void FillQXLIndexDef(TQXLIndexDef& IndexDef, const std::string& Name, const std::string& Fields,
                     TIndexOptions Options, bool Temporary, const std::string& DescFields,
                     const std::string& CaseInsFields, const std::string& MaxIndexedSizes,
                     const TQXLFieldDefs& FieldDefs);

}  // namespace qxl
