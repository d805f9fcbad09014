#include "engine/datasets/QXLIndexDefConversion.h"

#include <algorithm>
#include <charconv>

#include "engine/core/QXLException.h"
#include "engine/core/schema/QXLFieldDef.h"
#include "engine/core/schema/QXLIndexDef.h"
#include "engine/core/values/QXLShortString.h"
#include "engine/datasets/QXLAdvIndexDefs.h"
#include "platform/ConvertError.h"

namespace qxl {

namespace {

constexpr std::int32_t DefaultMaxIndexedSize = 20;

std::string Trimmed(const std::string& Text) {
  const auto first = Text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return Text.substr(first, Text.find_last_not_of(" \t") - first + 1);
}

bool Names(const std::vector<std::string>& List, const std::string& Name) {
  return std::any_of(List.begin(), List.end(), [&](const std::string& n) { return SameNameIgnoringCase(n, Name); });
}

std::string Joined(const std::vector<std::string>& Parts) {
  std::string text;
  for (std::size_t i = 0; i < Parts.size(); ++i) text += (i ? ";" : "") + Parts[i];
  return text;
}

// The same columns in any letter case, blanks around the text aside.
bool SameColumnList(const std::string& a, const std::string& b) { return SameNameIgnoringCase(Trimmed(a), Trimmed(b)); }

std::int32_t IndexedSize(const std::vector<std::string>& Sizes, std::size_t Column) {
  if (Column >= Sizes.size() || Sizes[Column].empty()) return DefaultMaxIndexedSize;
  std::int32_t value = 0;
  const std::string& s = Sizes[Column];
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size())
    throw platform::EConvertError("'" + s + "' is not a valid integer value");
  return value;
}

}  // namespace

void SplitFieldList(std::vector<std::string>& List, const std::string& Text) {
  List.clear();
  std::string text = Text;
  std::replace(text.begin(), text.end(), ',', ';');
  if (Trimmed(text).empty()) return;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = text.find(';', start);
    List.push_back(Trimmed(text.substr(start, end == std::string::npos ? std::string::npos : end - start)));
    if (end == std::string::npos) return;
    start = end + 1;
  }
}

void IndexDefsToAdvIndexDefs(const TIndexDefs& IndexDefs, TQXLAdvIndexDefs& AdvIndexDefs) {
  AdvIndexDefs.Clear();
  for (std::int32_t i = 0; i < IndexDefs.Count(); ++i) {
    const TIndexDef& d = IndexDefs[i];
    AdvIndexDefs.Add(d.Name, d.Fields, d.Options, false, d.DescFields, d.CaseInsFields);
  }
}

void AdvIndexDefsToIndexDefs(const TQXLAdvIndexDefs& AdvIndexDefs, TIndexDefs& IndexDefs) {
  IndexDefs.Clear();
  for (std::int32_t i = 0; i < AdvIndexDefs.Count(); ++i) {
    const TQXLAdvIndexDef& a = AdvIndexDefs.Defs(i);
    TIndexDef& d = IndexDefs.Add(a.Name, a.Fields, a.Options);
    d.DescFields = a.DescFields;
    d.CaseInsFields = a.CaseInsFields;
    if (SameColumnList(a.Fields, a.DescFields)) d.Options.Include(ixDescending);
    if (SameColumnList(a.Fields, a.CaseInsFields)) d.Options.Include(ixCaseInsensitive);
  }
}

void AdvIndexDefsToQXLIndexDefs(const TQXLAdvIndexDefs& AdvIndexDefs, TQXLIndexDefs& QXLIndexDefs,
                                     const TQXLFieldDefs& FieldDefs) {
  QXLIndexDefs.Clear();
  for (std::int32_t i = 0; i < AdvIndexDefs.Count(); ++i)
    AdvIndexDefToQXLIndexDef(AdvIndexDefs.Defs(i), *QXLIndexDefs.AddCreated(), FieldDefs);
}

void AdvIndexDefToQXLIndexDef(const TQXLAdvIndexDef& AdvIndexDef, TQXLIndexDef& QXLIndexDef,
                                   const TQXLFieldDefs& FieldDefs) {
  FillQXLIndexDef(QXLIndexDef, AdvIndexDef.Name, AdvIndexDef.Fields, AdvIndexDef.Options, AdvIndexDef.Temporary,
                  AdvIndexDef.DescFields, AdvIndexDef.CaseInsFields, AdvIndexDef.MaxIndexedSizes, FieldDefs);
}

void QXLIndexDefsToAdvIndexDefs(const TQXLIndexDefs& QXLIndexDefs, TQXLAdvIndexDefs& AdvIndexDefs) {
  AdvIndexDefs.Clear();
  for (std::int32_t i = 0; i < QXLIndexDefs.Count(); ++i)
    QXLIndexDefToAdvIndexDef(*QXLIndexDefs.GetIndexDef(i), AdvIndexDefs.AddIndexDef());
}

void QXLIndexDefToAdvIndexDef(const TQXLIndexDef& QXLIndexDef, TQXLAdvIndexDef& AdvIndexDef) {
  std::vector<std::string> fields, desc, caseIns, sizes;
  for (std::int32_t i = 0; i < QXLIndexDef.ColumnCount(); ++i) {
    const TQXLIndexColumn& c = QXLIndexDef.GetIndexColumn(i);
    fields.push_back(c.FieldName);
    if (c.Descending) desc.push_back(c.FieldName);
    if (c.CaseInsensitive) caseIns.push_back(c.FieldName);
    sizes.push_back(std::to_string(c.MaxIndexedSize));
  }
  AdvIndexDef.Fields = Joined(fields);
  AdvIndexDef.DescFields = Joined(desc);
  AdvIndexDef.CaseInsFields = Joined(caseIns);
  AdvIndexDef.MaxIndexedSizes = Joined(sizes);
  AdvIndexDef.Options = {};
  if (QXLIndexDef.Unique) AdvIndexDef.Options.Include(ixUnique);
  if (QXLIndexDef.Primary) AdvIndexDef.Options.Include(ixPrimary);
  AdvIndexDef.Name = QXLIndexDef.Name;
  AdvIndexDef.Temporary = QXLIndexDef.Temporary;
}

void FillQXLIndexDef(TQXLIndexDef& IndexDef, const std::string& Name, const std::string& Fields,
                          TIndexOptions Options, bool Temporary, const std::string& DescFields,
                          const std::string& CaseInsFields, const std::string& MaxIndexedSizes,
                          const TQXLFieldDefs& FieldDefs) {
  if (Name.empty()) throw EQXLException(20048, "Invalid index name '%s'", {Name});
  if (Fields.empty()) throw EQXLException(20049, "Cannot find index field '%s'", {Fields});
  std::vector<std::string> fields, desc, caseIns, sizes;
  SplitFieldList(fields, Fields);
  SplitFieldList(desc, DescFields);
  SplitFieldList(caseIns, CaseInsFields);
  SplitFieldList(sizes, MaxIndexedSizes);
  for (const std::string& f : fields)
    if (!FieldDefs.GetFieldDefByName(f)) throw EQXLException(20050, "Cannot find index field '%s'", {f});
  IndexDef.Name = CutToAnsiLength(Name);
  IndexDef.IndexType = itBTree;
  IndexDef.Unique = Options.Contains(ixUnique);
  IndexDef.Primary = Options.Contains(ixPrimary);
  IndexDef.Temporary = Temporary;
  IndexDef.SetColumnCount(static_cast<std::int32_t>(fields.size()));
  for (std::size_t i = 0; i < fields.size(); ++i) {
    TQXLIndexColumn& c = IndexDef.GetIndexColumn(static_cast<std::int32_t>(i));
    c.FieldName = fields[i];
    c.Descending = desc.empty() ? Options.Contains(ixDescending) : Names(desc, fields[i]);
    c.CaseInsensitive = caseIns.empty() ? Options.Contains(ixCaseInsensitive) : Names(caseIns, fields[i]);
    c.MaxIndexedSize = IndexedSize(sizes, i);
  }
}

}  // namespace qxl
