#pragma once
// The one error type of the engine below its dataset components. Its native
// code names the place that raised it; the message ends in " - Native error: "
// and the code.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/Format.h"

namespace qxl {

class EQXLException : public platform::Exception {
public:
  // A message without placeholders; the code is written with at least five digits.
  EQXLException(std::int32_t NativeErrorCode, std::string_view ErrorMsg);
  // ErrorMsg is a template for Args; the code is padded with blanks to five
  // characters. A template that does not fit its arguments does not fail: the
  // raw template is kept and " Arguments are invalid!" appended.
  EQXLException(std::int32_t NativeErrorCode, std::string_view ErrorMsg,
                std::initializer_list<platform::FormatArg> Args);

  std::int32_t NativeError;
};

}  // namespace qxl
