#pragma once
// The error of an object used as a class it is not.
#include "platform/Exception.h"

namespace qxl {

class EQXLInvalidCast : public platform::Exception {
public:
  EQXLInvalidCast() : platform::Exception("Invalid class typecast") {}
};

// Source as a T, or EQXLInvalidCast.
template <typename T, typename S>
T& CheckedCast(S& Source) {
  auto* p = dynamic_cast<T*>(&Source);
  if (!p) throw EQXLInvalidCast();
  return *p;
}

}  // namespace qxl
