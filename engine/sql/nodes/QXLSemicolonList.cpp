#include "engine/sql/nodes/QXLSemicolonList.h"

#include "platform/CaseMap.h"
#include "platform/CodePage.h"

namespace qxl {

namespace {
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }
}  // namespace

void ExtractSemicolonItem(std::string_view Text, std::int32_t& Pos, std::string& Item) {
  const auto length = static_cast<std::int32_t>(Text.size());
  const std::int32_t start = Pos < 1 ? 0 : Pos - 1;
  std::int32_t end = start;
  while (end < length && Text[static_cast<std::size_t>(end)] != ';') ++end;
  std::int32_t first = start;
  std::int32_t last = end;
  while (first < last && IsBlank(Text[static_cast<std::size_t>(first)])) ++first;
  while (last > first && IsBlank(Text[static_cast<std::size_t>(last - 1)])) --last;
  Item.assign(Text.substr(static_cast<std::size_t>(first), static_cast<std::size_t>(last - first)));
  Pos = end < length ? end + 2 : length + 1;
}

void SplitSemicolonList(std::vector<std::string>& List, std::string_view Text) {
  List.clear();
  std::int32_t pos = 1;
  std::string item;
  while (pos <= static_cast<std::int32_t>(Text.size())) {
    ExtractSemicolonItem(Text, pos, item);
    List.push_back(UpperCaseName(item));
  }
}

std::string UpperCaseName(std::string_view Name) {
  return platform::WideToUtf8(platform::UpperCaseWide(platform::Utf8ToWide(Name)));
}

}  // namespace qxl
