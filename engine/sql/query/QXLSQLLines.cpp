#include "engine/sql/query/QXLSQLLines.h"

namespace qxl {

std::string TQXLSQLLines::Text() const {
  std::string Result;
  for (const std::string& Line : FLines) {
    Result += Line;
    Result += "\r\n";
  }
  return Result;
}

void TQXLSQLLines::Add(const std::string& Line) {
  FLines.push_back(Line);
  Changed();
}

void TQXLSQLLines::Clear() {
  FLines.clear();
  Changed();
}

void TQXLSQLLines::SetText(const std::string& Text) {
  std::vector<std::string> Lines;
  std::string Line;
  for (std::size_t I = 0; I < Text.size(); ++I) {
    const char C = Text[I];
    if (C == '\r' || C == '\n') {
      Lines.push_back(std::move(Line));
      Line.clear();
      if (C == '\r' && I + 1 < Text.size() && Text[I + 1] == '\n') ++I;
    } else {
      Line += C;
    }
  }
  if (!Line.empty()) Lines.push_back(std::move(Line));
  Assign(Lines);
}

void TQXLSQLLines::Assign(const std::vector<std::string>& Lines) {
  FLines = Lines;
  Changed();
}

void TQXLSQLLines::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0 && FChangedInUpdate) {
    FChangedInUpdate = false;
    if (OnChange) OnChange();
  }
}

void TQXLSQLLines::Changed() {
  if (FUpdateCount > 0) {
    FChangedInUpdate = true;
    return;
  }
  if (OnChange) OnChange();
}

}  // namespace qxl
