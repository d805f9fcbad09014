#pragma once
// The dataset base's error: misuse of a dataset, a field, a definition list,
// a parameter or a data source. Errors with a subject lead their message
// with the subject's name.
#include <string>
#include <string_view>

#include "platform/Format.h"

namespace qxl {

class TComponent;

class EDatabaseError : public platform::Exception {
public:
  using platform::Exception::Exception;
};

// Raises EDatabaseError with Message, led by "Name: " when Component has a name.
[[noreturn]] void DatabaseError(std::string_view Message, const TComponent* Component = nullptr);

// As DatabaseError, with Message a template for Args.
template <typename... A>
[[noreturn]] void DatabaseErrorFmt(const TComponent* Component, std::string_view Message, const A&... Args) {
  DatabaseError(platform::Format(Message, Args...), Component);
}

}  // namespace qxl
