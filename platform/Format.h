#pragma once
// Typed formatting of message templates in the printf manner ("%s", "%d",
// "%.5d", "%5d", "%x", "%%"). Unlike printf, a placeholder that does not fit
// its argument, or a missing argument, is reported instead of misread.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "platform/Exception.h"

namespace platform {

class EFormatError : public Exception {
public:
  using Exception::Exception;
};

// One argument of a template: text, a character or an integer of any width.
// Text given as a temporary string is kept by the argument, so that a list of
// arguments may outlive the expression that made them.
class FormatArg {
public:
  using Value = std::variant<std::string_view, std::string, char, std::int64_t, std::uint64_t, double>;

  FormatArg(const std::string& s) : FValue(std::string_view(s)) {}
  FormatArg(std::string&& s) : FValue(std::move(s)) {}
  FormatArg(std::string_view s) : FValue(s) {}
  FormatArg(const char* s) : FValue(std::string_view(s ? s : "")) {}
  FormatArg(char c) : FValue(c) {}
  FormatArg(double d) : FValue(d) {}
  template <typename T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, char> && !std::is_same_v<T, bool>)
  FormatArg(T v) {
    if constexpr (std::is_signed_v<T>)
      FValue = static_cast<std::int64_t>(v);
    else
      FValue = static_cast<std::uint64_t>(v);
  }

  const Value& value() const { return FValue; }

private:
  Value FValue;
};

// Formats Template with Args; false (Out unspecified) when a placeholder does
// not fit its argument, an argument is missing, or the template is malformed.
bool TryFormat(std::string& Out, std::string_view Template, std::span<const FormatArg> Args);

// As TryFormat, raising EFormatError on a mismatch.
std::string FormatArgs(std::string_view Template, std::span<const FormatArg> Args);

template <typename... A>
std::string Format(std::string_view Template, const A&... args) {
  const FormatArg list[] = {FormatArg(args)..., FormatArg(std::string_view())};
  return FormatArgs(Template, std::span<const FormatArg>(list, sizeof...(A)));
}

}  // namespace platform
