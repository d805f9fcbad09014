#include "engine/core/schema/QXLIndexDef.h"

#include <algorithm>

#include "engine/core/streams/QXLDefStream.h"
#include "engine/core/QXLException.h"
#include "engine/core/schema/QXLFieldDef.h"
#include "engine/core/values/QXLInvalidCast.h"
#include "engine/core/containers/QXLListError.h"
#include "engine/core/values/QXLShortString.h"
#include "engine/core/values/QXLTypes.h"

namespace qxl {

namespace {

constexpr const char* kDifferentLengths = "Error - different list lengths. L1 = %d, L2 = %d";

void CheckSameLength(const std::vector<std::string>& names, const std::vector<std::string>& other,
                     std::int32_t code) {
  if (other.size() != names.size()) throw EQXLException(code, kDifferentLengths, {names.size(), other.size()});
}

void SaveColumn(TQXLStream& Stream, const TQXLIndexColumn& c) {
  qxl::WriteShortString(Stream, c.FieldName, 10354, 10355);
  qxl::WriteDefBool(Stream, c.Descending, 10356);
  qxl::WriteDefBool(Stream, c.CaseInsensitive, 10357);
  qxl::WriteDefValue<std::int32_t>(Stream, c.MaxIndexedSize, 20169);
}

TQXLIndexColumn LoadColumn(TQXLStream& Stream) {
  TQXLIndexColumn c;
  c.FieldName = qxl::ReadShortString(Stream, 10358, 10359);
  c.Descending = qxl::ReadDefBool(Stream, 10360);
  c.CaseInsensitive = qxl::ReadDefBool(Stream, 10361);
  c.MaxIndexedSize = qxl::ReadDefValue<std::int32_t>(Stream, 20168);
  return c;
}

}  // namespace

void TQXLIndexDef::SetColumnCount(std::int32_t Value) {
  if (Value < 0) throw EQXLListError(Value);
  FColumns.resize(static_cast<std::size_t>(Value));
}

TQXLIndexColumn& TQXLIndexDef::GetIndexColumn(std::int32_t Index) {
  qxl::CheckListIndex(Index, ColumnCount());
  return FColumns[static_cast<std::size_t>(Index)];
}

const TQXLIndexColumn& TQXLIndexDef::GetIndexColumn(std::int32_t Index) const {
  qxl::CheckListIndex(Index, ColumnCount());
  return FColumns[static_cast<std::size_t>(Index)];
}

void TQXLIndexDef::Assign(const TQXLMetaObjectDef& Source) {
  auto& src = qxl::CheckedCast<const TQXLIndexDef>(Source);
  TQXLMetaObjectDef::Assign(src);
  IndexType = src.IndexType;
  Unique = src.Unique;
  Primary = src.Primary;
  RootPageNo = src.RootPageNo;
  Temporary = src.Temporary;
  SessionID = src.SessionID;
  TableState = src.TableState;
  NeedRebuild = src.NeedRebuild;
  FColumns = src.FColumns;
}

void TQXLIndexDef::SaveToStream(TQXLStream& Stream) const {
  TQXLMetaObjectDef::SaveToStream(Stream);
  qxl::WriteDefValue<std::uint8_t>(Stream, IndexType, 10344);
  qxl::WriteDefBool(Stream, Unique, 10345);
  qxl::WriteDefBool(Stream, Primary, 10346);
  qxl::WriteDefValue<std::int32_t>(Stream, ColumnCount(), 10347);
  qxl::WriteDefValue<std::int32_t>(Stream, RootPageNo, 10348);
  for (auto& c : FColumns) SaveColumn(Stream, c);
}

void TQXLIndexDef::LoadFromStream(TQXLStream& Stream) {
  TQXLMetaObjectDef::LoadFromStream(Stream);
  IndexType = static_cast<TQXLIndexType>(qxl::ReadDefValue<std::uint8_t>(Stream, 10349));
  Unique = qxl::ReadDefBool(Stream, 10350);
  Primary = qxl::ReadDefBool(Stream, 10351);
  auto count = qxl::ReadDefValue<std::int32_t>(Stream, 10352);
  if (count < 0) throw EQXLException(10352, "Invalid index column count = %d", {count});
  RootPageNo = qxl::ReadDefValue<std::int32_t>(Stream, 10353);
  // Column by column, so that a damaged count cannot claim memory that the
  // stream does not back.
  FColumns.clear();
  for (std::int32_t i = 0; i < count; ++i) FColumns.push_back(LoadColumn(Stream));
  Temporary = false;
}

void TQXLIndexDef::AssignByNames(const std::vector<std::string>& FieldNames,
                                 const std::vector<std::string>& AscDescList,
                                 const std::vector<std::string>& CaseSensitivityList) {
  CheckSameLength(FieldNames, AscDescList, 10278);
  CheckSameLength(FieldNames, CaseSensitivityList, 10279);
  SetColumnCount(static_cast<std::int32_t>(FieldNames.size()));
  for (std::size_t i = 0; i < FieldNames.size(); ++i) {
    auto& c = FColumns[i];
    c.FieldName = FieldNames[i];
    c.Descending = AscDescList[i] == "DESC";
    c.CaseInsensitive = CaseSensitivityList[i] == "NO_CASE";
    c.MaxIndexedSize = 20;
  }
}

void TQXLIndexDefs::CheckKind(const TQXLMetaObjectDef* Def) const {
  if (!dynamic_cast<const TQXLIndexDef*>(Def)) throw EQXLInvalidCast();
}

void TQXLIndexDefs::SaveCount(TQXLStream& Stream) const {
  auto stored = std::count_if(FItems.begin(), FItems.end(), [this](auto& d) { return IsStored(*d); });
  qxl::WriteDefValue<std::int32_t>(Stream, static_cast<std::int32_t>(stored), 10343);
}

std::int32_t TQXLIndexDefs::FindIndex(const std::vector<std::string>* FieldNames,
                                      const std::vector<std::string>* AscDescList,
                                      const std::vector<std::string>* CaseSensitivityList, std::int32_t SessionID,
                                      const TQXLFieldDefs* FieldDefs) const {
  if (!FieldNames) throw EQXLException(10389, "Nil pointer occured");
  if (!AscDescList) throw EQXLException(10390, "Nil pointer occured");
  if (!CaseSensitivityList) throw EQXLException(10391, "Nil pointer occured");
  CheckSameLength(*FieldNames, *AscDescList, 10276);
  CheckSameLength(*FieldNames, *CaseSensitivityList, 10277);

  auto serves = [&](const TQXLIndexDef& index) {
    for (std::size_t i = 0; i < FieldNames->size(); ++i) {
      auto& column = index.GetIndexColumn(static_cast<std::int32_t>(i));
      const std::string& direction = (*AscDescList)[i];
      const std::string& caseDemand = (*CaseSensitivityList)[i];
      if (!qxl::SameNameIgnoringAsciiCase((*FieldNames)[i], column.FieldName)) return false;
      if ((direction == "ASC" && column.Descending) || (direction == "DESC" && !column.Descending)) return false;
      // A name that is no field of FieldDefs places no demand tied to its type.
      const TQXLFieldDef* field = FieldDefs ? FieldDefs->GetFieldDefByName((*FieldNames)[i]) : nullptr;
      if (field && qxl::IsStringBaseFieldType(field->BaseFieldType) && caseDemand == "CASE" && column.CaseInsensitive)
        return false;
      if (caseDemand == "NO_CASE" && !column.CaseInsensitive) return false;
    }
    return true;
  };

  for (std::int32_t i = 0; i < Count(); ++i) {
    auto& index = *GetIndexDef(i);
    if (index.ColumnCount() < static_cast<std::int32_t>(FieldNames->size())) continue;
    if (index.Temporary && index.SessionID != SessionID) continue;
    if (serves(index)) return index.ObjectID;
  }
  return -1;
}

}  // namespace qxl
