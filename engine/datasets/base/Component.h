#pragma once
// What the dataset base's objects share: a name that errors name as their
// subject. Thread rule: one thread.
#include <string>

namespace qxl {

class TComponent {
public:
  virtual ~TComponent() = default;

  std::string Name;
};

}  // namespace qxl
