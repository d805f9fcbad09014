#include "engine/core/schema/QXLUniqueName.h"

#include "platform/Guid.h"

namespace qxl {

std::string UniqueNameWithGuid(std::string_view Prefix) {
  return std::string(Prefix) + platform::GuidToString(platform::NewGuid());
}

}  // namespace qxl
