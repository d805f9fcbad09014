#pragma once
// Test helpers that run a call and report the engine error it raised: its
// native code, its message, or the whole exception.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "engine/core/QXLException.h"

namespace qxl {

// The native code that f raises, or 0 when it raises nothing.
template <typename F>
std::int32_t NativeCodeOf(F&& f) {
  try {
    f();
  } catch (const EQXLException& e) {
    return e.NativeError;
  }
  return 0;
}

// The message that f raises, or "" when it raises nothing.
template <typename F>
std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const platform::Exception& e) {
    return e.Message;
  }
  return "";
}

// The exception that f raises; a test failure when it raises none.
template <typename F>
EQXLException Raised(F&& f) {
  try {
    f();
  } catch (const EQXLException& e) {
    return e;
  }
  ADD_FAILURE() << "no EQXLException raised";
  return EQXLException(0, "");
}

}  // namespace qxl
