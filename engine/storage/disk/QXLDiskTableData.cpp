// The disk table's life: its managers, and creating, opening, closing,
// deleting, emptying and renaming the table in the database file.
#include "engine/storage/disk/QXLDiskTableData.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <optional>

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/containers/QXLMemoryManager.h"
#include "engine/core/QXLSession.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/blobs/QXLDiskBlobManager.h"
#include "engine/storage/disk/QXLDiskDatabaseData.h"
#include "engine/storage/disk/QXLDiskTableChange.h"
#include "engine/storage/disk/QXLDiskTableDataGuards.h"
#include "engine/storage/files/QXLInternalDBTransactedAccessFile.h"
#include "engine/storage/files/QXLTableListFile.h"
#include "engine/storage/locks/QXLTableLocksFile.h"
#include "engine/storage/records/QXLDiskRecordManager.h"
#include "engine/storage/records/QXLRecordPageRules.h"
#include "engine/storage/temporary/QXLTemporaryPageManager.h"

namespace qxl {

TQXLDiskTableData::TQXLDiskTableData(TQXLDatabaseData* aDatabaseData, TQXLIndexFactory* IndexFactory)
    : TQXLTableData(aDatabaseData),
      FIndexFactory(IndexFactory ? IndexFactory : static_cast<TQXLDiskDatabaseData*>(aDatabaseData)->IndexFactory()) {
  SetPageManager(aDatabaseData->PageManager());
}

TQXLDiskTableData::~TQXLDiskTableData() { FreeManagers(); }

void TQXLDiskTableData::FreeIfNoCursorsConnected() {
  if (FCursorList.empty()) FDatabaseData->FreeTableData(this);
}

TQXLDiskDatabaseData& TQXLDiskTableData::Database() const { return static_cast<TQXLDiskDatabaseData&>(*FDatabaseData); }

TQXLDiskPageManager& TQXLDiskTableData::DiskPageManager() const {
  TQXLDiskPageManager* Manager = Database().DiskPageManager();
  if (!Manager) throw platform::Exception(platform::Format("The database of table '%s' is closed", FTableName));
  return *Manager;
}

bool TQXLDiskTableData::IsMultiUser() const { return FDatabaseData->MultiUser(); }

TQXLDiskRecordManager* TQXLDiskTableData::DiskRecordManager() const {
  return static_cast<qxl::TQXLDiskRecordManager*>(FRecordManager.get());
}

std::int32_t TQXLDiskTableData::DiskRecordSize() const {
  if (!FFieldManager || FFieldManager->FieldDefs().Count() == 0)
    throw EQXLException(20142, "Error creating table - no fields were specified");
  return FFieldManager->FieldDefs().GetDiskRecordBufferSize();
}

void TQXLDiskTableData::CreateRecordManager() {
  FRecordManager.reset();
  FRecordPageRules = std::make_unique<qxl::TQXLDiskRecordPageRules>(DiskPageManager(), FTableID);
  auto Records = std::make_unique<qxl::TQXLDiskRecordManager>(DiskPageManager(), *FFieldManager, *FRecordPageRules);
  Records->Init(GetRecordBufferSize(), DiskRecordSize(), FFieldManager->FieldDefs().Count());
  FRecordManager = std::move(Records);
}

void TQXLDiskTableData::CreateFieldManager(TQXLFieldDefs& FieldDefs) {
  FFieldManager.reset();
  FFieldManager = std::make_unique<TQXLBaseFieldManager>(this);
  TQXLTableData::CreateFieldManager(FieldDefs);
}

void TQXLDiskTableData::NewTemporaryPageManager() {
  FTemporaryPageManager =
      std::make_unique<qxl::TQXLTemporaryPageManager>(DisableTempFiles(), QXLMemoryManager().GetFreeMemorySize());
}

void TQXLDiskTableData::CreateIndexManager(TQXLIndexDefs& IndexDefs) {
  // The old indexes use the old temporary pages: they go first.
  FIndexManager.reset();
  NewTemporaryPageManager();
  FIndexManager = std::make_unique<TQXLBaseIndexManager>(this, FTemporaryPageManager.get(), FIndexFactory);
  TQXLTableData::CreateIndexManager(IndexDefs);
}

void TQXLDiskTableData::CreateConstraintManager(TQXLConstraintDefs& ConstraintDefs) {
  for (std::int32_t i = 0; i < ConstraintDefs.Count(); ++i) {
    const TQXLConstraintType Kind = ConstraintDefs.GetDef(i)->ConstraintType;
    if (Kind == ctFK || Kind > ctCheck) throw EQXLException(30040, "Not implemented yet");
  }
  FConstraintManager.reset();
  TQXLTableData::CreateConstraintManager(ConstraintDefs);
}

void TQXLDiskTableData::NewBlobManager() {
  FBlobManager.reset();
  FBlobManager = std::make_unique<qxl::TQXLDiskBlobManager>(DiskPageManager(), *FFieldManager, *FRecordManager);
}

void TQXLDiskTableData::BuildManagersForOpen() {
  FFieldManager = std::make_unique<TQXLBaseFieldManager>(this);
  NewTemporaryPageManager();
  FIndexManager = std::make_unique<TQXLBaseIndexManager>(this, FTemporaryPageManager.get(), FIndexFactory);
  FConstraintManager = std::make_unique<TQXLBaseConstraintManager>(this);
  FRecordPageRules = std::make_unique<qxl::TQXLDiskRecordPageRules>(DiskPageManager(), FTableID);
  FRecordManager = std::make_unique<qxl::TQXLDiskRecordManager>(DiskPageManager(), *FFieldManager, *FRecordPageRules);
  NewBlobManager();
}

void TQXLDiskTableData::FreeManagers() {
  // Each goes before what it refers to: BLOB values to records and fields,
  // indexes to their temporary pages, records to their page rules.
  FBlobManager.reset();
  FConstraintManager.reset();
  FIndexManager.reset();
  FTemporaryPageManager.reset();
  FRecordManager.reset();
  FRecordPageRules.reset();
  FFieldManager.reset();
}

void TQXLDiskTableData::ApplyChanges(std::int32_t SessionID, bool InTransaction) {
  TQXLTableData::ApplyChanges(SessionID, InTransaction);
  if (FTemporaryPageManager) FTemporaryPageManager->ApplyChanges(SessionID);
}

void TQXLDiskTableData::CancelChanges(std::int32_t SessionID, bool InTransaction) {
  TQXLTableData::CancelChanges(SessionID, InTransaction);
  if (FTemporaryPageManager) FTemporaryPageManager->CancelChanges(SessionID);
}

void TQXLDiskTableData::ApplyForCursor(TQXLCursor* Cursor) {
  ApplyChanges(Cursor->SessionID(), Cursor->FSession && Cursor->FSession->FInTransaction);
}

void TQXLDiskTableData::CreateTable(TQXLCursor* Cursor, TQXLFieldDefs& FieldDefs, TQXLIndexDefs& IndexDefs,
                                    TQXLConstraintDefs& ConstraintDefs) {
  std::lock_guard Guard(FDatabaseData->CriticalSection());
  if (FieldDefs.Count() == 0) throw EQXLException(20128, "Error creating table - no fields were specified");
  SetTableName(Cursor->FTableName);
  SetDisableTempFiles(Cursor->FDisableTempFiles);
  FTableID = FDatabaseData->GetNewObjectId();
  TDiskTablesLock Tables(Database());
  TSystemPagesGuard SystemPages(DiskPageManager());
  DoCreateTable(Cursor, FieldDefs, IndexDefs, ConstraintDefs);
  SystemPages.Commit();
  Tables.Release();
}

void TQXLDiskTableData::DoCreateTable(TQXLCursor*, TQXLFieldDefs& FieldDefs, TQXLIndexDefs& IndexDefs,
                                      TQXLConstraintDefs& ConstraintDefs) {
  struct TFreeFiles {
    TQXLDiskTableData* Table;
    ~TFreeFiles() { Table->FreeTableFiles(); }
  } FreeFiles{this};
  CreateTableFiles();
  CreateFieldManager(FieldDefs);
  CreateIndexManager(IndexDefs);
  CreateConstraintManager(ConstraintDefs);
  CreateRecordManager();
  NewBlobManager();
  FSchemaVersion = 0;
  SaveMostUpdated(QXLSystemSessionID);
  DiskRecordManager()->CreateRecordPageIndex();
  if (FFieldManager->BlobFieldsPresent()) FBlobManager->CreateBlobPageIndex();
  // The table is empty and nobody can open it yet: its indexes are built
  // empty, in the system session that commits the rest of the table.
  FIndexManager->CreateIndexesByIndexDefs(nullptr);
  SaveMetadata(QXLSystemSessionID);
  Database().AddTableListItem(FTableID, FTableName, FTableMetadataFile->StartPageNo(),
                              FTableMostUpdatedFile->StartPageNo(), FTableLocksFile->StartPageNo());
}

void TQXLDiskTableData::OpenTable(TQXLCursor* Cursor) {
  std::lock_guard Guard(FDatabaseData->CriticalSection());
  std::optional<TDiskTablesLock> Tables;
  if (!FIsChangingTableList) Tables.emplace(Database());
  if (!FCursorList.empty() && Cursor->FExclusive && !FExclusive)
    throw EQXLException(20242, "Cannot access table '%s' in exclusive mode. Table is open by another cursors",
                        {FTableName});
  if (FCursorList.empty()) {
    SetDisableTempFiles(Cursor->FDisableTempFiles);
    std::int32_t MetadataPageNo = -1, MostUpdatedPageNo = -1, LocksPageNo = -1;
    // Another process may have created, renamed or deleted tables since the
    // list was read; under the tables byte the list read now stays true.
    if (TQXLTableListFile* List = Database().TableListFile()) List->Load();
    Database().FindTableListItem(FTableName, FTableID, MetadataPageNo, MostUpdatedPageNo, LocksPageNo);
    // The counters, read after the definitions, say which version these are.
    FSchemaVersion = -1;
    try {
      OpenTableFiles(MetadataPageNo, MostUpdatedPageNo, LocksPageNo);
      BuildManagersForOpen();
      LoadMetadata(Cursor->SessionID());
      DiskRecordManager()->Init(GetRecordBufferSize(), DiskRecordSize(), FFieldManager->FieldDefs().Count());
      if (FIsRepairing)
        OpenForRepair(Cursor);
      else
        LoadMostUpdated(Cursor->SessionID());
      FExclusive = Cursor->FExclusive;
    } catch (...) {
      FreeManagers();
      FreeTableFiles();
      throw;
    }
  }
  TQXLTableData::OpenTable(Cursor);
  try {
    LockForCursor(Cursor);
  } catch (...) {
    UndoOpen(Cursor);
    throw;
  }
  Cursor->FTableLockedByCursor = true;
  if (Tables) Tables->Release();
}

void TQXLDiskTableData::LockForCursor(TQXLCursor* Cursor) {
  if (Cursor->FExclusive) {
    if (!LockTable(Cursor->SessionID(), ltX, OpenLockTries, OpenLockDelayMS, true))
      throw EQXLException(20208, "Cannot access table '%s' in exclusive mode. Table is open by another user",
                          {FTableName});
  } else if (!LockTable(Cursor->SessionID(), ltIS, OpenLockTries, OpenLockDelayMS, true)) {
    throw EQXLException(20209, "Cannot open table '%s'. Table is locked", {FTableName});
  }
}

void TQXLDiskTableData::UndoOpen(TQXLCursor* Cursor) {
  TQXLTableData::CloseTable(Cursor);
  if (!FCursorList.empty()) return;
  FreeManagers();
  FreeTableFiles();
}

void TQXLDiskTableData::CloseTable(TQXLCursor* Cursor) {
  std::lock_guard Guard(FDatabaseData->CriticalSection());
  const bool Listed = std::find(FCursorList.begin(), FCursorList.end(), Cursor) != FCursorList.end();
  if (Listed && FTableLocksFile && Cursor->FTableLockedByCursor) {
    UnlockTable(Cursor->SessionID(), Cursor->FExclusive ? ltX : ltIS, false);
    Cursor->FTableLockedByCursor = false;
  }
  TQXLTableData::CloseTable(Cursor);
  if (!FCursorList.empty()) return;
  FreeManagers();
  FreeTableFiles();
}

void TQXLDiskTableData::DeleteTable(TQXLCursor* Cursor, bool DesignMode) {
  std::lock_guard Guard(FDatabaseData->CriticalSection());
  TQXLTableData::DeleteTable(Cursor, DesignMode);
  TDiskTablesLock Tables(Database());
  TSystemPagesGuard SystemPages(DiskPageManager());
  TFlagGuard Changing(FIsChangingTableList, true);
  TFlagGuard Exclusive(Cursor->FExclusive, true);
  // A refused exclusive lock means somebody uses the table: it stays whole.
  OpenTable(Cursor);
  std::exception_ptr Failure;
  try {
    DropTableContents(Cursor);
  } catch (...) {
    Failure = std::current_exception();
  }
  // Once the table is ours, a failure part way leaves no usable table, so it
  // leaves the list in any case.
  CloseTable(Cursor);
  Database().RemoveTableListItem(FTableName);
  SystemPages.Commit();
  Tables.Release();
  if (Failure) std::rethrow_exception(Failure);
}

void TQXLDiskTableData::DropTableContents(TQXLCursor* Cursor) {
  DeleteAllIndexes(nullptr);
  FBlobManager->Delete(QXLSystemSessionID);
  DiskRecordManager()->Delete(QXLSystemSessionID);
  UnlockTable(Cursor->SessionID(), ltX, false);
  Cursor->FTableLockedByCursor = false;
  DeleteTableFiles();
  FreeTableFiles();
}

void TQXLDiskTableData::EmptyTable(TQXLCursor* Cursor) {
  std::lock_guard Guard(FDatabaseData->CriticalSection());
  TFlagGuard Exclusive(Cursor->FExclusive, true);
  OpenTable(Cursor);
  try {
    const std::int32_t SessionID = Cursor->SessionID();
    qxl::TQXLDiskTableChange Change(*this, SessionID, nullptr);
    TQXLTableData::EmptyTable(Cursor);
    FBlobManager->Empty(SessionID);
    DiskRecordManager()->Empty(SessionID);
    SaveMostUpdated(SessionID);
    Change.Commit([&] { ApplyForCursor(Cursor); });
    Change.Done();
  } catch (...) {
    try {
      CloseTable(Cursor);
    } catch (...) {
      // The emptying's own failure is the one to report.
    }
    throw;
  }
  CloseTable(Cursor);
}

void TQXLDiskTableData::RenameTable(const std::string& NewTableName, TQXLCursor* Cursor) {
  std::lock_guard Guard(FDatabaseData->CriticalSection());
  TDiskTablesLock Tables(Database());
  TSystemPagesGuard SystemPages(DiskPageManager());
  TFlagGuard Exclusive(Cursor->FExclusive, true);
  {
    // Opening exclusively proves that nobody has the table open.
    TFlagGuard Changing(FIsChangingTableList, true);
    OpenTable(Cursor);
    CloseTable(Cursor);
  }
  Database().RenameTableListItem(FTableName, NewTableName);
  SystemPages.Commit();
  Tables.Release();
}

void TQXLDiskTableData::RenameField(const std::string& FieldName, const std::string& NewFieldName) {
  std::lock_guard Guard(FDatabaseData->CriticalSection());
  TSystemPagesGuard SystemPages(DiskPageManager());
  // The counters written back with the new version are those stored now, and
  // the name changes in the newest definitions.
  if (IsMultiUser()) LoadMostUpdated(QXLSystemSessionID);
  TQXLTableData::RenameField(FieldName, NewFieldName);
  const std::int32_t Version = FSchemaVersion;
  try {
    ++FSchemaVersion;
    SaveMostUpdated(QXLSystemSessionID);
    SaveMetadata(QXLSystemSessionID);
    SystemPages.Commit();
  } catch (...) {
    // The stored definitions keep the old name, and so does the table.
    FSchemaVersion = Version;
    const TQXLFieldDef* Renamed = FFieldManager->FieldDefs().GetFieldDefByName(NewFieldName);
    if (Renamed) TQXLTableData::RenameField(Renamed->Name, FieldName);
    throw;
  }
}

void TQXLDiskTableData::ChangeDefinitions(TQXLCursor* Cursor, const std::function<void()>& Step) {
  const std::int32_t SessionID = Cursor->SessionID();
  const bool InTransaction = Cursor->FSession && Cursor->FSession->FInTransaction;
  const TQXLLockType Lock = InTransaction ? ltXIRW : ltRW;
  const bool MultiUser = IsMultiUser();
  if (MultiUser && !LockTable(SessionID, Lock, OpenLockTries, OpenLockDelayMS, true))
    throw EQXLException(20209, "Cannot change the definitions of table '%s'. Table is locked", {FTableName});
  struct TUnlock {
    TQXLDiskTableData* Table;
    std::int32_t SessionID;
    bool Held;
    ~TUnlock() {
      try {
        if (Held) Table->UnlockTable(SessionID, ltRW, false);
      } catch (...) {
        // The change's own outcome is the one to report; the session's next
        // release takes the lock.
      }
    }
  } Unlock{this, SessionID, MultiUser && !InTransaction};
  if (MultiUser) LoadMostUpdated(SessionID);
  try {
    qxl::TQXLDiskTableChange Change(*this, SessionID, nullptr);
    Step();
    ++FSchemaVersion;
    SaveMostUpdated(SessionID);
    SaveMetadata(SessionID);
    Change.Commit([&] { ApplyForCursor(Cursor); });
    Change.Done();
  } catch (...) {
    // The pages went back: the definitions in memory follow the stored ones.
    try {
      ReloadDefinitions(SessionID);
    } catch (...) {
      // The step's own failure is the one to report.
    }
    throw;
  }
}

void TQXLDiskTableData::AddIndex(TQXLIndexDef& IndexDef, TQXLCursor* Cursor) {
  std::lock_guard Guard(FDatabaseData->CriticalSection());
  ChangeDefinitions(Cursor, [&] { TQXLTableData::AddIndex(IndexDef, Cursor); });
}

void TQXLDiskTableData::DeleteIndex(std::int32_t IndexID, TQXLCursor* Cursor) {
  std::lock_guard Guard(FDatabaseData->CriticalSection());
  const TQXLIndexDef* Def = FIndexManager ? FIndexManager->IndexDefs().GetIndexDefByObjectId(IndexID) : nullptr;
  if (!Def) throw EQXLException(20018, "Index not found");
  const bool Temporary = Def->Temporary;
  if (!Cursor) {
    TQXLTableData::DeleteIndex(IndexID, Cursor);
    return;
  }
  if (!Temporary) {
    ChangeDefinitions(Cursor, [&] { TQXLTableData::DeleteIndex(IndexID, Cursor); });
    return;
  }
  qxl::TQXLDiskTableChange Change(*this, Cursor->SessionID(), nullptr);
  TQXLTableData::DeleteIndex(IndexID, Cursor);
  Change.Commit([&] { ApplyForCursor(Cursor); });
  Change.Done();
}

std::int64_t TQXLDiskTableData::LastAutoincValue(std::int32_t FieldNo, TQXLBaseSession* Session) {
  return FFieldManager->GetLastAutoinc(Session, FieldNo);
}

void TQXLDiskTableData::Rollback(std::int32_t SessionID) {
  // A table nobody has open has no counters to bring back.
  if (!FTableMostUpdatedFile) return;
  LoadMostUpdated(SessionID);
  // A definition change the session made inside the transaction went with it.
  if (FStoredSchemaVersion != FSchemaVersion) ReloadDefinitions(SessionID);
  FTemporaryPageManager->CancelChanges(SessionID);
  TQXLTableData::Rollback(SessionID);
  FTemporaryPageManager->ApplyChanges(SessionID);
}

}  // namespace qxl
