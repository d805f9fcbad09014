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

namespace {

bool IsAscii(std::string_view Text) {
  for (char C : Text)
    if (static_cast<unsigned char>(C) >= 0x80) return false;
  return true;
}

char AsciiUpper(char C) { return C >= 'a' && C <= 'z' ? static_cast<char>(C - 'a' + 'A') : C; }

}  // namespace

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  // Names are nearly always ASCII, and statements compare them for every
  // field they touch: those compare in place. Any other letter can have an
  // upper case that is ASCII (the dotless i, the long s), so a name with one
  // goes through the full case mapping.
  if (IsAscii(a) && IsAscii(b)) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
      if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    return true;
  }
  return platform::UpperCaseWide(platform::Utf8ToWide(a)) == platform::UpperCaseWide(platform::Utf8ToWide(b));
}

bool SameNameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return platform::UpperCaseAscii(a) == platform::UpperCaseAscii(b);
}

}  // namespace qxl
