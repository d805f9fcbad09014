// Creating, opening and closing the database file and the structures that
// live in it while it is open.
#include "engine/storage/disk/QXLDiskDatabaseData.h"

#include <mutex>

#include "engine/core/QXLException.h"
#include "engine/core/QXLSession.h"
#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/files/QXLActiveSessionsFile.h"
#include "engine/storage/files/QXLSystemDirectory.h"
#include "engine/storage/files/QXLTableListFile.h"
#include "engine/storage/locks/QXLDatabaseTableLockManager.h"

namespace qxl {

namespace {

// A page size or extent size that the file's header field cannot hold.
std::uint16_t HeaderSize(std::int32_t Value) {
  if (Value < 0 || Value > 0xFFFF) throw EQXLException(20237, "Invalid database format");
  return static_cast<std::uint16_t>(Value);
}

}  // namespace

TQXLDiskDatabaseData::TQXLDiskDatabaseData(platform::FileSystem& FileSystem, TQXLIndexFactory* IndexFactory)
    : LFileSystem(FileSystem), LIndexFactory(IndexFactory ? IndexFactory : &FBTreeIndexFactory) {}

TQXLDiskDatabaseData::~TQXLDiskDatabaseData() {
  // Open tables still reach the file through the page manager as they go.
  while (TableDataCount() > 0) FreeTableData(TableData(0));
  try {
    CloseDatabaseFile();
  } catch (...) {
    // Nothing can report a failed close of an object being freed.
  }
}

void TQXLDiskDatabaseData::CreateDatabase() {
  std::lock_guard guard(CriticalSection());
  auto Manager = std::make_unique<TQXLDiskPageManager>(LFileSystem);
  Manager->CreateAndOpenDatabase(DatabaseName(), FPassword, HeaderSize(FPageSize), HeaderSize(FPageCountInExtent));
  try {
    TQXLSystemDirectory Directory(*Manager);
    TQXLActiveSessionsFile Sessions(*Manager);
    TQXLTableListFile Tables(*Manager);
    Directory.CreateDirectory();
    Directory.CreateFile(dbftActiveSessionsList, Sessions.CreateFile(FMaxSessionCount));
    Directory.CreateFile(dbftTablesList, Tables.CreateFile());
    Directory.SaveDirectory();
    Manager->ApplyChanges(QXLSystemSessionID);
  } catch (...) {
    try {
      Manager->CloseDatabase();
    } catch (...) {
      // The creation's failure is the one to report.
    }
    throw;
  }
  Manager->CloseDatabase();
}

void TQXLDiskDatabaseData::OpenDatabaseFile(TQXLBaseSession* Session, bool Exclusive, bool& RepairNeeded) {
  std::lock_guard guard(CriticalSection());
  FDiskPageManager = std::make_unique<TQXLDiskPageManager>(LFileSystem);
  SetPageManager(FDiskPageManager.get());
  try {
    bool MultiUserMode = Session->FMultiUser;
    bool ReadOnlyMode = ReadOnly();
    FDiskPageManager->OpenDatabase(DatabaseName(), FPassword, ReadOnlyMode, RepairNeeded, Exclusive, MultiUserMode);
    SetMultiUser(MultiUserMode);
    SetReadOnly(ReadOnlyMode);
    FPassword = FDiskPageManager->Password();
    FPageSize = FDiskPageManager->PageSize();
    FPageCountInExtent = FDiskPageManager->DBHeader().PageCountInExtent;
    OpenComponents();
  } catch (...) {
    CloseDatabaseFile();
    throw;
  }
}

void TQXLDiskDatabaseData::OpenComponents() {
  TQXLDiskPageManager& Manager = *FDiskPageManager;
  FSystemDir = std::make_unique<TQXLSystemDirectory>(Manager);
  FSystemDir->LoadDirectory();
  FActiveSessionsFile = std::make_unique<TQXLActiveSessionsFile>(Manager);
  FActiveSessionsFile->OpenFile(FSystemDir->GetFileFirstPageNo(dbftActiveSessionsList));
  FMaxSessionCount = FActiveSessionsFile->MaxSessionCount();
  FTableListFile = std::make_unique<TQXLTableListFile>(Manager);
  FTableListFile->OpenFile(FSystemDir->GetFileFirstPageNo(dbftTablesList));
  FTableListFile->Load();
  FTableLockManager = std::make_unique<TQXLDatabaseTableLockManager>(FMaxSessionCount, Manager, &CriticalSection());
}

void TQXLDiskDatabaseData::CloseDatabaseFile() {
  std::lock_guard guard(CriticalSection());
  FSystemDir.reset();
  FTableListFile.reset();
  FActiveSessionsFile.reset();
  FTableLockManager.reset();
  SetPageManager(nullptr);
  // The session bytes went with the handle; a later open must take them again.
  FSingleUserConnected = false;
  if (!FDiskPageManager) return;
  // The manager goes even when its close fails: the object counts as closed.
  std::unique_ptr<TQXLDiskPageManager> Manager = std::move(FDiskPageManager);
  Manager->CloseDatabase();
}

bool TQXLDiskDatabaseData::Encrypted() const { return FDiskPageManager && FDiskPageManager->Encrypted(); }

}  // namespace qxl
