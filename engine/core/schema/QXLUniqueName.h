#pragma once
// Names that must not collide (temporary indexes, tables and databases).
#include <string>
#include <string_view>

namespace qxl {

// Prefix followed by a new GUID in its 38-character braced text form.
std::string UniqueNameWithGuid(std::string_view Prefix);

}  // namespace qxl
