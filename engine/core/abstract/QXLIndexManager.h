#pragma once
// The index definitions of one open table, the index objects opened for
// them, and the two page caches the indexes live in (the table's own and one
// for temporary indexes). Every record change passes through it to all
// indexes; every move in index order to one index. It makes temporary
// indexes on demand and keeps them in step with the table. Index objects come
// from a factory that the storage layer gives. Thread rule: takes no lock;
// callers hold the table lock.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/schema/QXLIndexDef.h"
#include "engine/core/containers/QXLIndexPositionCache.h"
#include "engine/core/abstract/QXLIndex.h"
#include "engine/core/abstract/QXLNavigationInfo.h"

namespace qxl {

class TQXLBasePageManager;
class TQXLCursor;
class TQXLFieldDefs;
class TQXLStream;
class TQXLTableData;

using TQXLNameList = std::vector<std::string>;

class TQXLBaseIndexManager {
public:
  // The table's page cache is taken from aTableData now.
  TQXLBaseIndexManager(TQXLTableData* aTableData, TQXLBasePageManager* TempPageManager,
                       TQXLIndexFactory* IndexFactory);
  // Closes every open index. Raises nothing.
  virtual ~TQXLBaseIndexManager();
  TQXLBaseIndexManager(const TQXLBaseIndexManager&) = delete;
  TQXLBaseIndexManager& operator=(const TQXLBaseIndexManager&) = delete;

  virtual void LoadMetadata(TQXLStream& Stream);
  virtual void SaveMetadata(TQXLStream& Stream) const;
  virtual void CreateIndexDefs(const TQXLIndexDefs& aIndexDefs);
  // Reads stored definitions from Stream in place of the stored ones held
  // (the temporary ones stay) and closes the indexes opened for those: the
  // table's definitions were changed elsewhere.
  void ReplaceStoredIndexDefs(TQXLStream& Stream);

  TQXLTableData* TableData() const { return FTableData; }
  TQXLIndexDefs& IndexDefs() { return FIndexDefs; }
  TQXLBasePageManager* PageManager() const { return FPageManager; }
  TQXLBasePageManager* GetPageManager(const TQXLIndex& Index) const;
  std::int32_t OpenIndexCount() const { return static_cast<std::int32_t>(FOpenIndexList.size()); }

  std::int32_t FindIndex(const TQXLNameList& FieldNames, const TQXLNameList& AscDescList,
                         const TQXLNameList& CaseSensitivityList, std::int32_t SessionID,
                         const TQXLFieldDefs* FieldDefs) const;
  bool IsIndexExists(const TQXLNameList& FieldNames, const TQXLNameList& AscDescList,
                     const TQXLNameList& CaseSensitivityList, std::int32_t SessionID,
                     const TQXLFieldDefs* FieldDefs) const;
  std::int32_t CreateTemporaryIndex(TQXLCursor* Cursor, const TQXLNameList& FieldNamesList,
                                    const TQXLNameList& AscDescList, const TQXLNameList& CaseSensitivityList);
  std::int32_t FindOrCreateIndex(TQXLCursor* Cursor, const TQXLNameList& FieldNamesList,
                                 const TQXLNameList& AscDescList, const TQXLNameList& CaseSensitivityList,
                                 bool& IsCreated);
  // IndexDef gets a new object ID; the index is built. Returns the ID.
  std::int32_t CreateIndex(TQXLCursor* Cursor, TQXLIndexDef& IndexDef);
  void CreateIndexesByIndexDefs(TQXLCursor* Cursor);

  TQXLIndex* FindOpenIndex(std::int32_t IndexID) const;
  // Opens the index when it is not open yet (20018 for an unknown ID).
  TQXLIndex* OpenIndex(std::int32_t IndexID);
  void CloseIndex(std::int32_t IndexID);

  void DropIndex(std::int32_t SessionID, std::int32_t IndexID);
  void DropAllIndexes(std::int32_t SessionID);
  void DropTemporaryIndexes(std::int32_t SessionID);
  void EmptyIndex(std::int32_t SessionID, std::int32_t IndexID);
  void EmptyAllIndexes(std::int32_t SessionID);

  // One step in the order of the index NavigationInfo names; from the place a
  // vanished record's key had when the record is gone.
  void GetRecordBuffer(std::int32_t SessionID, TQXLNavigationInfo& NavigationInfo,
                       TQXLIndexPositionCache* IndexPositionCache, std::int32_t TableState);
  void InsertRecord(TQXLCursor* Cursor);
  void UpdateRecord(TQXLCursor* Cursor, bool BeforeNewRecordIsStored);
  void DeleteRecord(TQXLCursor* Cursor);
  // Rebuilds the temporary indexes whose table state lags the table's.
  void SynchronizeTemporaryIndexes(TQXLCursor* Cursor, bool& IsChanged);
  void RenameField(const std::string& FieldName, const std::string& NewFieldName);

  void InternalCreateIndex(TQXLCursor* Cursor, TQXLIndexDef& IndexDef);
  void InternalOpenIndex(std::int32_t IndexID);

private:
  std::unique_ptr<TQXLIndex> NewIndex();
  TQXLIndexDef& DefByID(std::int32_t IndexID);
  std::int32_t RecordManagerTableState() const;

  TQXLTableData* FTableData;
  TQXLIndexDefs FIndexDefs;
  std::vector<std::unique_ptr<TQXLIndex>> FOpenIndexList;
  TQXLBasePageManager* FPageManager;
  TQXLBasePageManager* FTemporaryPageManager;
  TQXLIndexFactory* FIndexFactory;
  bool FSynchronizingTemporaryIndexes = false;
};

}  // namespace qxl
