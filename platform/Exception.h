#pragma once
// The one base of every exception the system raises: it carries the message text.
#include <exception>
#include <string>

namespace platform {

class Exception : public std::exception {
public:
  explicit Exception(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }

  std::string Message;
};

}  // namespace platform
