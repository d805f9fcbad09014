#pragma once
// The failure of a dataset's record operation (edit, post, cancel, delete):
// the cursor leaves a code from -1 to -13, and the dataset raises it as this
// error after the call. Its message is "Ostrel Engine Error # ", the code, a
// blank and the code's text (for -8 the constraint's own message).
// Thread rule: none of its own; an exception object.
#include <cstdint>
#include <string>

#include "engine/datasets/base/DatabaseError.h"

namespace qxl {

class EQXLEngineError : public EDatabaseError {
public:
  // ErrMessage is used only for -8; a code without a text gets an empty one.
  EQXLEngineError(std::int32_t ErrorCode, const std::string& ErrMessage);

  std::int32_t ErrorCode() const { return FErrorCode; }
  const std::string& ErrorMessage() const { return FErrorMessage; }

private:
  std::int32_t FErrorCode;
  std::string FErrorMessage;
};

// The fixed text of a record operation's code; empty for -8 and unknown codes.
const char* EngineErrorText(std::int32_t ErrorCode);

[[noreturn]] void RaiseEngineError(std::int32_t ErrorCode, const std::string& ErrorMessage);
// Raises for any code but 0.
void CheckEngineError(std::int32_t ErrorCode, const std::string& ErrorMessage);

}  // namespace qxl
