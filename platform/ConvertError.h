#pragma once
// The error of a text, date or number conversion that cannot be made.
#include "platform/Exception.h"

namespace platform {

class EConvertError : public Exception {
public:
  using Exception::Exception;
};

}  // namespace platform
