#pragma once
// What a session opens a database with and reads back from it once it is
// open: the password and, for a file, its page size, extent size and number
// of session slots. Engines without such settings ignore them.
#include <cstdint>

#include "engine/coding/QXLPassword.h"

namespace qxl {

struct TQXLSessionSettings {
  TQXLPassword Password;
  std::int32_t PageSize = 0;
  std::int32_t PagesPerExtent = 0;
  std::int32_t MaxSessionCount = 0;
};

}  // namespace qxl
