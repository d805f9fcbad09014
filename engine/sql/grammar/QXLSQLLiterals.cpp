#include "engine/sql/grammar/QXLSQLLiterals.h"

#include <charconv>
#include <vector>

#include "platform/CodePage.h"
#include "platform/DateTime.h"

namespace qxl {

bool ReadSQLFloat(std::string_view Text, double& Value) {
  if (Text.empty()) return false;
  const char* End = Text.data() + Text.size();
  const auto [Stop, Error] = std::from_chars(Text.data(), End, Value, std::chars_format::general);
  return Error == std::errc() && Stop == End;
}

void SetSQLStringConstant(TQXLVariant& Value, std::string_view Utf8Text) {
  if (Utf8Text.empty()) {
    Value.Clear(bftVarchar);
    return;
  }
  Value.SetAsWideString(platform::Utf8ToWide(Utf8Text));
  Value.TryToReduceWideStringToAnsiString();
}

namespace {

// Digit groups of the given widths, one separator character between groups.
bool ReadGroups(std::string_view Text, const std::vector<int>& Widths, std::vector<int>& Values) {
  std::size_t At = 0;
  for (std::size_t g = 0; g < Widths.size(); ++g) {
    int V = 0;
    for (int i = 0; i < Widths[g]; ++i, ++At) {
      if (At >= Text.size() || Text[At] < '0' || Text[At] > '9') return false;
      V = V * 10 + (Text[At] - '0');
    }
    Values.push_back(V);
    if (g + 1 < Widths.size()) {
      if (At >= Text.size()) return false;
      ++At;  // the separator, whichever it is
    }
  }
  return At == Text.size();
}

}  // namespace

bool ReadSQLDate(std::string_view Text, TQXLVariant& Value) {
  std::vector<int> G;
  TDateTime D = 0;
  if (!ReadGroups(Text, {4, 2, 2}, G) || !platform::TryEncodeDate(G[0], G[1], G[2], D)) return false;
  Value.Clear(bftDate);
  Value.SetAsTDate(D);
  return true;
}

bool ReadSQLTime(std::string_view Text, TQXLVariant& Value) {
  std::vector<int> G;
  TDateTime T = 0;
  if (!ReadGroups(Text, {2, 2, 2}, G) || !platform::TryEncodeTime(G[0], G[1], G[2], 0, T)) return false;
  Value.Clear(bftTime);
  Value.SetAsTTime(T);
  return true;
}

bool ReadSQLTimestamp(std::string_view Text, TQXLVariant& Value) {
  std::vector<int> G;
  TDateTime D = 0, T = 0;
  if (!ReadGroups(Text, {4, 2, 2, 2, 2, 2}, G) || !platform::TryEncodeDate(G[0], G[1], G[2], D) ||
      !platform::TryEncodeTime(G[3], G[4], G[5], 0, T))
    return false;
  Value.Clear(bftDateTime);
  Value.SetAsTDateTime(D + T);
  return true;
}

TQXLAdvancedFieldType FieldTypeBySqlName(std::string_view Name) {
  std::string Upper(Name);
  for (char& Ch : Upper)
    if (Ch >= 'a' && Ch <= 'z') Ch = static_cast<char>(Ch - 'a' + 'A');
  for (const TSQLFieldType& Row : SQLFieldTypes)
    if (Upper == Row.SqlName) return Row.AdvancedFieldType;
  return aftUnknown;
}

}  // namespace qxl
