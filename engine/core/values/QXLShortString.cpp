#include "engine/core/values/QXLShortString.h"

#include "platform/CaseMap.h"
#include "platform/CodePage.h"

namespace qxl {

std::string CutToAnsiLength(std::string_view Text, std::size_t MaxBytes) {
  std::string ansi = platform::Utf8ToAnsi(Text);
  if (ansi.size() <= MaxBytes) return std::string(Text);
  ansi.resize(MaxBytes);
  return platform::AnsiToUtf8(ansi);
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  return platform::UpperCaseWide(platform::Utf8ToWide(a)) == platform::UpperCaseWide(platform::Utf8ToWide(b));
}

bool SameNameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return platform::UpperCaseAscii(a) == platform::UpperCaseAscii(b);
}

}  // namespace qxl
