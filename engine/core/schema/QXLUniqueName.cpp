#include "engine/core/schema/QXLUniqueName.h"

#include "platform/Guid.h"

std::string qxl::UniqueNameWithGuid(std::string_view Prefix) {
  return std::string(Prefix) + platform::GuidToString(platform::NewGuid());
}
