#include "engine/datasets/QXLEngineError.h"

namespace qxl {

namespace {

std::string ChosenText(std::int32_t ErrorCode, const std::string& ErrMessage) {
  return ErrorCode == -8 ? ErrMessage : std::string(EngineErrorText(ErrorCode));
}

}  // namespace

const char* EngineErrorText(std::int32_t ErrorCode) {
  switch (ErrorCode) {
    case -1: return "Error adding record";
    case -2: return "Error updating record";
    case -3: return "Error deleting record";
    case -4: return "Error updating record - record was modified by other process";
    case -5: return "Error deleting record - record was modified by other process";
    case -6: return "Error updating record - record was deleted by other process";
    case -7: return "Error deleting record - record was deleted by other process";
    case -9: return "Cannot update record in temporary mode";
    case -10: return "Cannot delete record in temporary mode";
    case -11: return "Cannot cancel operation in temporary mode";
    case -12: return "Record is locked";
    case -13: return "Table is locked";
    default: return "";
  }
}

EQXLEngineError::EQXLEngineError(std::int32_t ErrorCode, const std::string& ErrMessage)
    : EDatabaseError("Ostrel Engine Error # " + std::to_string(ErrorCode) + " " +
                          ChosenText(ErrorCode, ErrMessage)),
      FErrorCode(ErrorCode),
      FErrorMessage(ChosenText(ErrorCode, ErrMessage)) {}

void RaiseEngineError(std::int32_t ErrorCode, const std::string& ErrorMessage) {
  throw EQXLEngineError(ErrorCode, ErrorMessage);
}

void CheckEngineError(std::int32_t ErrorCode, const std::string& ErrorMessage) {
  if (ErrorCode != 0) RaiseEngineError(ErrorCode, ErrorMessage);
}

}  // namespace qxl
