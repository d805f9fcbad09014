#pragma once
// Index definitions with their columns, their list, and the search for an
// index that serves a list of columns.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/schema/QXLMetaObjectDef.h"

namespace qxl {

class TQXLFieldDefs;

enum TQXLIndexType : std::uint8_t { itBTree = 0, itAnotherOne = 1 };

class TQXLIndexColumn {
public:
  std::string FieldName;
  bool Descending = false;
  bool CaseInsensitive = false;
  // The most bytes of the column's value that an index key keeps.
  std::int32_t MaxIndexedSize = 0;
};

class TQXLIndexDef : public TQXLMetaObjectDef {
public:
  void Assign(const TQXLMetaObjectDef& Source) override;
  void LoadFromStream(TQXLStream& Stream) override;
  void SaveToStream(TQXLStream& Stream) const override;

  std::int32_t ColumnCount() const { return static_cast<std::int32_t>(FColumns.size()); }
  // New columns are empty; columns beyond Value are freed.
  void SetColumnCount(std::int32_t Value);
  TQXLIndexColumn& GetIndexColumn(std::int32_t Index);
  const TQXLIndexColumn& GetIndexColumn(std::int32_t Index) const;

  // Columns from three parallel lists: "DESC" makes a column descending,
  // "NO_CASE" case-insensitive (both exact); each keeps 20 bytes.
  void AssignByNames(const std::vector<std::string>& FieldNames, const std::vector<std::string>& AscDescList,
                     const std::vector<std::string>& CaseSensitivityList);

  TQXLIndexType IndexType = itBTree;
  bool Unique = false;
  bool Primary = false;
  std::int32_t RootPageNo = -1;  // -1 while not built
  // A session's temporary index; never stored.
  bool Temporary = false;
  std::int32_t SessionID = -1;
  std::int32_t TableState = 0;
  bool NeedRebuild = false;

private:
  std::vector<TQXLIndexColumn> FColumns;
};

class TQXLIndexDefs : public TQXLMetaObjectDefs {
public:
  TQXLIndexDef* GetIndexDef(std::int32_t Index) const { return static_cast<TQXLIndexDef*>(GetDef(Index)); }
  void SetIndexDef(std::int32_t Index, std::unique_ptr<TQXLIndexDef> Value) { SetDef(Index, std::move(Value)); }
  TQXLIndexDef* AddCreated() { return static_cast<TQXLIndexDef*>(InternalAddCreated()); }
  TQXLIndexDef* GetIndexDefByName(std::string_view Name) const {
    return static_cast<TQXLIndexDef*>(GetDefByName(Name));
  }
  TQXLIndexDef* GetIndexDefByObjectId(std::int32_t ID) const {
    return static_cast<TQXLIndexDef*>(GetDefByObjectId(ID));
  }

  // The ObjectID of the first index whose leading columns serve FieldNames
  // with the given directions ("ASC", "DESC") and case demands ("CASE",
  // "NO_CASE"); -1 when none does. Another session's temporary index never serves.
  std::int32_t FindIndex(const std::vector<std::string>* FieldNames, const std::vector<std::string>* AscDescList,
                         const std::vector<std::string>* CaseSensitivityList, std::int32_t SessionID,
                         const TQXLFieldDefs* FieldDefs) const;
  bool IsIndexExists(const std::vector<std::string>* FieldNames, const std::vector<std::string>* AscDescList,
                     const std::vector<std::string>* CaseSensitivityList, std::int32_t SessionID,
                     const TQXLFieldDefs* FieldDefs) const {
    return FindIndex(FieldNames, AscDescList, CaseSensitivityList, SessionID, FieldDefs) != -1;
  }

protected:
  const char* ClassName() const override { return "TQXLIndexDefs"; }
  std::unique_ptr<TQXLMetaObjectDef> NewDef() const override { return std::make_unique<TQXLIndexDef>(); }
  void CheckKind(const TQXLMetaObjectDef* Def) const override;
  // Temporary indexes are neither counted nor stored.
  void SaveCount(TQXLStream& Stream) const override;
  bool IsStored(const TQXLMetaObjectDef& Def) const override {
    return !static_cast<const TQXLIndexDef&>(Def).Temporary;
  }
};

}  // namespace qxl
