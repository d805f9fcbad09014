#pragma once
// The parameter values of one SQL text, by position ("?") and by name
// (":name"), as the query component fills them before each run. The lexer
// copies a value into each parameter token while it cuts the text, so a value
// changed afterwards does not reach the tokens already made.
//
// Threads: one list per query; used by the thread that runs it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/values/QXLVariant.h"

namespace qxl {

// One parameter: its value and its name.
class TQXLSQLParam : public TQXLVariant {
public:
  std::string Name;
};

class TQXLSQLParams {
public:
  std::int32_t GetCount() const { return static_cast<std::int32_t>(FParamList.size()); }
  // Raises the list's index error outside 0 .. GetCount() - 1.
  TQXLSQLParam* GetValue(std::int32_t Index) const;
  // Replaces (and frees) the parameter at Index.
  void SetValue(std::int32_t Index, std::unique_ptr<TQXLSQLParam> Value);
  // Appends a NULL parameter of unknown type without a name.
  TQXLSQLParam* AddCreated();
  void Clear() { FParamList.clear(); }
  // The first parameter whose name equals Name, ASCII case ignored; nullptr
  // when none does.
  TQXLSQLParam* GetParamByName(const std::string& Name) const;

private:
  std::vector<std::unique_ptr<TQXLSQLParam>> FParamList;
};

}  // namespace qxl
