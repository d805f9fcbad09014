#include "engine/sql/lexer/QXLSQLParams.h"

#include "engine/core/containers/QXLListError.h"

namespace qxl {

namespace {
bool SameNameAscii(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return false;
  for (std::size_t i = 0; i < A.size(); ++i) {
    char X = A[i], Y = B[i];
    if (X >= 'a' && X <= 'z') X = static_cast<char>(X - 'a' + 'A');
    if (Y >= 'a' && Y <= 'z') Y = static_cast<char>(Y - 'a' + 'A');
    if (X != Y) return false;
  }
  return true;
}
}  // namespace

TQXLSQLParam* TQXLSQLParams::GetValue(std::int32_t Index) const {
  CheckListIndex(Index, GetCount());
  return FParamList[static_cast<std::size_t>(Index)].get();
}

void TQXLSQLParams::SetValue(std::int32_t Index, std::unique_ptr<TQXLSQLParam> Value) {
  CheckListIndex(Index, GetCount());
  // A list position never holds nothing: the lexer reads every one it is sent to.
  FParamList[static_cast<std::size_t>(Index)] = Value ? std::move(Value) : std::make_unique<TQXLSQLParam>();
}

TQXLSQLParam* TQXLSQLParams::AddCreated() {
  FParamList.push_back(std::make_unique<TQXLSQLParam>());
  return FParamList.back().get();
}

TQXLSQLParam* TQXLSQLParams::GetParamByName(const std::string& Name) const {
  for (const auto& Param : FParamList)
    if (SameNameAscii(Param->Name, Name)) return Param.get();
  return nullptr;
}

}  // namespace qxl
