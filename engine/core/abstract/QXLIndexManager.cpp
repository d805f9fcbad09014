#include "engine/core/abstract/QXLIndexManager.h"

#include <algorithm>

#include "engine/core/QXLException.h"
#include "engine/core/values/QXLShortString.h"
#include "engine/core/schema/QXLUniqueName.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/abstract/QXLRecordManager.h"
#include "engine/core/abstract/QXLTableData.h"

namespace qxl {

void TQXLIndex::CreateIndex(TQXLCursor*, TQXLIndexDef& aIndexDef) {
  if (&aIndexDef == FIndexDef.get()) return;
  auto copy = std::make_unique<TQXLIndexDef>();
  copy->Assign(aIndexDef);
  FIndexDef = std::move(copy);
}

void TQXLIndex::OpenIndex(const TQXLIndexDef& aIndexDef) {
  auto copy = std::make_unique<TQXLIndexDef>();
  copy->Assign(aIndexDef);
  FIndexDef = std::move(copy);
}

TQXLBaseIndexManager::TQXLBaseIndexManager(TQXLTableData* aTableData, TQXLBasePageManager* TempPageManager,
                                           TQXLIndexFactory* IndexFactory)
    : FTableData(aTableData),
      FPageManager(aTableData ? aTableData->PageManager() : nullptr),
      FTemporaryPageManager(TempPageManager),
      FIndexFactory(IndexFactory) {}

TQXLBaseIndexManager::~TQXLBaseIndexManager() = default;

void TQXLBaseIndexManager::LoadMetadata(TQXLStream& Stream) { FIndexDefs.LoadFromStream(Stream); }

void TQXLBaseIndexManager::SaveMetadata(TQXLStream& Stream) const { FIndexDefs.SaveToStream(Stream); }

void TQXLBaseIndexManager::CreateIndexDefs(const TQXLIndexDefs& aIndexDefs) { FIndexDefs.Assign(aIndexDefs); }

void TQXLBaseIndexManager::ReplaceStoredIndexDefs(TQXLStream& Stream) {
  TQXLIndexDefs Stored;
  Stored.LoadFromStream(Stream);
  std::erase_if(FOpenIndexList, [](const std::unique_ptr<TQXLIndex>& index) {
    return !index->IndexDef() || !index->IndexDef()->Temporary;
  });
  for (std::int32_t i = FIndexDefs.Count() - 1; i >= 0; --i)
    if (!FIndexDefs.GetIndexDef(i)->Temporary) FIndexDefs.Delete(i);
  for (std::int32_t i = 0; i < Stored.Count(); ++i) FIndexDefs.AddCreated()->Assign(*Stored.GetIndexDef(i));
}

TQXLBasePageManager* TQXLBaseIndexManager::GetPageManager(const TQXLIndex& Index) const {
  return Index.IndexDef() && Index.IndexDef()->Temporary ? FTemporaryPageManager : FPageManager;
}

std::int32_t TQXLBaseIndexManager::FindIndex(const TQXLNameList& FieldNames, const TQXLNameList& AscDescList,
                                             const TQXLNameList& CaseSensitivityList, std::int32_t SessionID,
                                             const TQXLFieldDefs* FieldDefs) const {
  return FIndexDefs.FindIndex(&FieldNames, &AscDescList, &CaseSensitivityList, SessionID, FieldDefs);
}

bool TQXLBaseIndexManager::IsIndexExists(const TQXLNameList& FieldNames, const TQXLNameList& AscDescList,
                                         const TQXLNameList& CaseSensitivityList, std::int32_t SessionID,
                                         const TQXLFieldDefs* FieldDefs) const {
  return FindIndex(FieldNames, AscDescList, CaseSensitivityList, SessionID, FieldDefs) != -1;
}

std::int32_t TQXLBaseIndexManager::RecordManagerTableState() const {
  TQXLBaseRecordManager* records = FTableData ? FTableData->RecordManager() : nullptr;
  return records ? records->TableState() : 0;
}

std::int32_t TQXLBaseIndexManager::CreateTemporaryIndex(TQXLCursor* Cursor, const TQXLNameList& FieldNamesList,
                                                        const TQXLNameList& AscDescList,
                                                        const TQXLNameList& CaseSensitivityList) {
  TQXLIndexDef scratch;
  do scratch.Name = qxl::UniqueNameWithGuid("TEMPORARY_INDEX_");
  while (FIndexDefs.GetIndexDefByName(scratch.Name));
  scratch.Temporary = true;
  scratch.IndexType = itBTree;
  scratch.Unique = false;
  scratch.Primary = false;
  scratch.AssignByNames(FieldNamesList, AscDescList, CaseSensitivityList);
  scratch.SessionID = Cursor->SessionID();
  scratch.TableState = RecordManagerTableState();
  return CreateIndex(Cursor, scratch);
}

std::int32_t TQXLBaseIndexManager::FindOrCreateIndex(TQXLCursor* Cursor, const TQXLNameList& FieldNamesList,
                                                     const TQXLNameList& AscDescList,
                                                     const TQXLNameList& CaseSensitivityList, bool& IsCreated) {
  const std::int32_t found = FindIndex(FieldNamesList, AscDescList, CaseSensitivityList, Cursor->SessionID(),
                                       Cursor->FFieldDefs.get());
  IsCreated = found == -1;
  return IsCreated ? CreateTemporaryIndex(Cursor, FieldNamesList, AscDescList, CaseSensitivityList) : found;
}

std::int32_t TQXLBaseIndexManager::CreateIndex(TQXLCursor* Cursor, TQXLIndexDef& IndexDef) {
  IndexDef.ObjectID = FTableData->DatabaseData()->GetNewObjectId();
  FIndexDefs.AddCreated()->Assign(IndexDef);
  InternalCreateIndex(Cursor, IndexDef);
  return IndexDef.ObjectID;
}

void TQXLBaseIndexManager::CreateIndexesByIndexDefs(TQXLCursor* Cursor) {
  // By ID, since a failed build takes its definition out of the list.
  std::vector<std::int32_t> ids;
  for (std::int32_t i = 0; i < FIndexDefs.Count(); ++i) ids.push_back(FIndexDefs.GetIndexDef(i)->ObjectID);
  for (std::int32_t id : ids) {
    TQXLIndexDef copy;
    copy.Assign(DefByID(id));
    InternalCreateIndex(Cursor, copy);
  }
}

std::unique_ptr<TQXLIndex> TQXLBaseIndexManager::NewIndex() {
  if (!FIndexFactory) throw EQXLException(10433, "No index implementation is registered");
  return FIndexFactory->CreateRecordIndex(this);
}

TQXLIndexDef& TQXLBaseIndexManager::DefByID(std::int32_t IndexID) {
  TQXLIndexDef* def = FIndexDefs.GetIndexDefByObjectId(IndexID);
  if (!def) throw EQXLException(20018, "Index not found");
  return *def;
}

void TQXLBaseIndexManager::InternalCreateIndex(TQXLCursor* Cursor, TQXLIndexDef& IndexDef) {
  const std::int32_t id = IndexDef.ObjectID;
  try {
    std::unique_ptr<TQXLIndex> index = NewIndex();
    index->CreateIndex(Cursor, IndexDef);
    DefByID(id).Assign(IndexDef);
  } catch (...) {
    const std::int32_t at = FIndexDefs.GetDefNumberByObjectId(id);
    if (at >= 0) FIndexDefs.Delete(at);
    throw;
  }
}

void TQXLBaseIndexManager::InternalOpenIndex(std::int32_t IndexID) {
  const TQXLIndexDef& def = DefByID(IndexID);
  std::unique_ptr<TQXLIndex> index = NewIndex();
  index->OpenIndex(def);
  FOpenIndexList.push_back(std::move(index));
}

TQXLIndex* TQXLBaseIndexManager::FindOpenIndex(std::int32_t IndexID) const {
  for (auto& index : FOpenIndexList)
    if (index->IndexDef() && index->IndexDef()->ObjectID == IndexID) return index.get();
  return nullptr;
}

TQXLIndex* TQXLBaseIndexManager::OpenIndex(std::int32_t IndexID) {
  if (TQXLIndex* open = FindOpenIndex(IndexID)) return open;
  InternalOpenIndex(IndexID);
  return FOpenIndexList.back().get();
}

void TQXLBaseIndexManager::CloseIndex(std::int32_t IndexID) {
  auto it = std::find_if(FOpenIndexList.begin(), FOpenIndexList.end(), [IndexID](const auto& index) {
    return index->IndexDef() && index->IndexDef()->ObjectID == IndexID;
  });
  if (it != FOpenIndexList.end()) FOpenIndexList.erase(it);
}

void TQXLBaseIndexManager::DropIndex(std::int32_t SessionID, std::int32_t IndexID) {
  OpenIndex(IndexID)->DropIndex(SessionID);
  CloseIndex(IndexID);
  FIndexDefs.Delete(FIndexDefs.GetDefNumberByObjectId(IndexID));
}

void TQXLBaseIndexManager::DropAllIndexes(std::int32_t SessionID) {
  while (FIndexDefs.Count() > 0) DropIndex(SessionID, FIndexDefs.GetIndexDef(0)->ObjectID);
}

void TQXLBaseIndexManager::DropTemporaryIndexes(std::int32_t SessionID) {
  std::vector<std::int32_t> ids;
  for (std::int32_t i = 0; i < FIndexDefs.Count(); ++i)
    if (FIndexDefs.GetIndexDef(i)->Temporary) ids.push_back(FIndexDefs.GetIndexDef(i)->ObjectID);
  for (std::int32_t id : ids) DropIndex(SessionID, id);
}

void TQXLBaseIndexManager::EmptyIndex(std::int32_t SessionID, std::int32_t IndexID) {
  OpenIndex(IndexID)->EmptyIndex(SessionID);
  CloseIndex(IndexID);
}

void TQXLBaseIndexManager::EmptyAllIndexes(std::int32_t SessionID) {
  for (std::int32_t i = 0; i < FIndexDefs.Count(); ++i) EmptyIndex(SessionID, FIndexDefs.GetIndexDef(i)->ObjectID);
}

void TQXLBaseIndexManager::GetRecordBuffer(std::int32_t SessionID, TQXLNavigationInfo& NavigationInfo,
                                           TQXLIndexPositionCache* IndexPositionCache, std::int32_t TableState) {
  bool gone = false;
  if (!NavigationInfo.FirstPosition && !NavigationInfo.LastPosition) {
    TQXLNavigationInfo reread = NavigationInfo;
    reread.GetRecordMode = grmCurrent;
    FTableData->RecordManager()->GetRecordBuffer(SessionID, reread);
    gone = reread.GetRecordResult == grrError;
  }
  TQXLIndex* index = OpenIndex(NavigationInfo.IndexID);
  if (gone)
    index->GetClosestRecordBuffer(SessionID, NavigationInfo, IndexPositionCache, TableState);
  else
    index->GetRecordBuffer(SessionID, NavigationInfo, IndexPositionCache, TableState);
}

void TQXLBaseIndexManager::InsertRecord(TQXLCursor* Cursor) {
  for (std::int32_t i = 0; i < FIndexDefs.Count(); ++i) {
    TQXLIndexDef& def = *FIndexDefs.GetIndexDef(i);
    TQXLIndex* index = OpenIndex(def.ObjectID);
    index->InsertRecord(Cursor);
    ++def.TableState;
    if (index->IndexDef()->RootPageNo != def.RootPageNo) def.RootPageNo = index->IndexDef()->RootPageNo;
  }
}

void TQXLBaseIndexManager::UpdateRecord(TQXLCursor* Cursor, bool BeforeNewRecordIsStored) {
  for (std::int32_t i = 0; i < FIndexDefs.Count(); ++i) {
    TQXLIndexDef& def = *FIndexDefs.GetIndexDef(i);
    OpenIndex(def.ObjectID)->UpdateRecord(Cursor, BeforeNewRecordIsStored);
    if (!BeforeNewRecordIsStored) ++def.TableState;
  }
}

void TQXLBaseIndexManager::DeleteRecord(TQXLCursor* Cursor) {
  TQXLNavigationInfo reread;
  reread.GetRecordMode = grmCurrent;
  reread.RecordID = Cursor->CurrentRecordID;
  reread.RecordBuffer = Cursor->FCurrentRecordBuffer;
  FTableData->RecordManager()->GetRecordBuffer(Cursor->SessionID(), reread);
  if (reread.GetRecordResult == grrError) return;
  for (std::int32_t i = 0; i < FIndexDefs.Count(); ++i) {
    TQXLIndexDef& def = *FIndexDefs.GetIndexDef(i);
    OpenIndex(def.ObjectID)->DeleteRecord(Cursor);
    ++def.TableState;
  }
}

void TQXLBaseIndexManager::SynchronizeTemporaryIndexes(TQXLCursor* Cursor, bool& IsChanged) {
  IsChanged = false;
  if (FSynchronizingTemporaryIndexes) return;
  for (std::int32_t i = 0; i < FIndexDefs.Count(); ++i) {
    TQXLIndexDef& def = *FIndexDefs.GetIndexDef(i);
    const std::int32_t state = RecordManagerTableState();
    if (!def.Temporary || def.TableState == state) continue;
    FSynchronizingTemporaryIndexes = true;
    try {
      OpenIndex(def.ObjectID)->RebuildTemporaryIndex(Cursor);
    } catch (...) {
      FSynchronizingTemporaryIndexes = false;
      throw;
    }
    FSynchronizingTemporaryIndexes = false;
    def.TableState = state;
    IsChanged = true;
  }
}

void TQXLBaseIndexManager::RenameField(const std::string& FieldName, const std::string& NewFieldName) {
  for (std::int32_t i = 0; i < FIndexDefs.Count(); ++i) {
    TQXLIndexDef& def = *FIndexDefs.GetIndexDef(i);
    for (std::int32_t c = 0; c < def.ColumnCount(); ++c)
      if (qxl::SameNameIgnoringCase(def.GetIndexColumn(c).FieldName, FieldName))
        def.GetIndexColumn(c).FieldName = NewFieldName;
  }
}

}  // namespace qxl
