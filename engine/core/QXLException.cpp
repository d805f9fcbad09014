#include "engine/core/QXLException.h"

#include <span>

namespace qxl {

namespace {

std::string Plain(std::int32_t code, std::string_view msg) {
  return std::string(msg) + " - Native error: " + platform::Format("%.5d", code);
}

std::string Templated(std::int32_t code, std::string_view msg,
                      std::initializer_list<platform::FormatArg> args) {
  std::string text;
  if (!platform::TryFormat(text, msg, std::span<const platform::FormatArg>(args.begin(), args.size())))
    text = std::string(msg) + " Arguments are invalid!";
  return text + " - Native error: " + platform::Format("%5d", code);
}

}  // namespace

EQXLException::EQXLException(std::int32_t NativeErrorCode, std::string_view ErrorMsg)
    : platform::Exception(Plain(NativeErrorCode, ErrorMsg)), NativeError(NativeErrorCode) {}

EQXLException::EQXLException(std::int32_t NativeErrorCode, std::string_view ErrorMsg,
                             std::initializer_list<platform::FormatArg> Args)
    : platform::Exception(Templated(NativeErrorCode, ErrorMsg, Args)), NativeError(NativeErrorCode) {}

}  // namespace qxl
