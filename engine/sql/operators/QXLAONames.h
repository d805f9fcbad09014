#pragma once
// How operators compare column and table names: upper-cased, as SQL names
// compare. Stateless.
#include <string>

#include "engine/sql/nodes/QXLSemicolonList.h"

namespace qxl {

inline bool SameName(const std::string& A, const std::string& B) {
  return UpperCaseName(A) == UpperCaseName(B);
}

}  // namespace qxl
