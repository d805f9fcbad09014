#pragma once
// The lines of a query's SQL text, a string list that tells its owner of
// every change (one notice per BeginUpdate/EndUpdate bracket).
//
// Threads: one list per query, used by the query's thread.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qxl {

class TQXLSQLLines {
public:
  std::int32_t Count() const { return static_cast<std::int32_t>(FLines.size()); }
  const std::string& operator[](std::int32_t Index) const { return FLines.at(static_cast<std::size_t>(Index)); }
  const std::vector<std::string>& Lines() const { return FLines; }
  // Every line followed by a line break.
  std::string Text() const;

  void Add(const std::string& Line);
  void Clear();
  // The text cut into lines at line breaks (CR LF, LF or CR).
  void SetText(const std::string& Text);
  void Assign(const std::vector<std::string>& Lines);

  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();

  std::function<void()> OnChange;

private:
  void Changed();

  std::vector<std::string> FLines;
  std::int32_t FUpdateCount = 0;
  bool FChangedInUpdate = false;
};

}  // namespace qxl
