#include "engine/datasets/base/DatabaseError.h"

#include "engine/datasets/base/Component.h"

namespace qxl {

void DatabaseError(std::string_view Message, const TComponent* Component) {
  if (Component && !Component->Name.empty()) throw EDatabaseError(Component->Name + ": " + std::string(Message));
  throw EDatabaseError(std::string(Message));
}

}  // namespace qxl
