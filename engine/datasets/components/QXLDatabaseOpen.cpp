// Opening and closing a database component: the shared handle, the connect
// loop with its password retries, and the repair of a file that was not
// closed cleanly.
#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLDatabaseDataList.h"
#include "engine/core/abstract/QXLFormEditorMode.h"
#include "engine/core/values/QXLShortString.h"
#include "engine/datasets/QXLLocalSession.h"
#include "engine/datasets/QXLUserInterface.h"
#include "engine/datasets/base/DatabaseError.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/components/QXLPasswordDialog.h"
#include "engine/datasets/components/QXLSessionComponent.h"
#include "engine/storage/pager/QXLDiskFormat.h"
#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/disk/QXLDiskDatabaseData.h"
#include "platform/CodePage.h"

namespace qxl {

namespace {

constexpr std::int32_t WrongPasswordCode = 30445;

// The format version of the file a handle has open; the current one for
// databases that have no file.
double FileVersion(TQXLLocalSession& Handle) {
  auto* Disk = dynamic_cast<TQXLDiskDatabaseData*>(Handle.DatabaseData());
  if (!Disk || !Disk->DiskPageManager()) return QXLDatabaseVersion;
  return Disk->DiskPageManager()->DBHeader().Version;
}

}  // namespace

std::unique_ptr<TQXLLocalSession> TQXLDatabase::CreateSessionHandle() {
  platform::FileSystem* Files = FFileSystem;
  TQXLDatabaseDataList& List = FDatabaseDataList ? *FDatabaseDataList : DatabaseDataList();
  auto Handle = std::make_unique<TQXLLocalSession>(
      List, [Files](TQXLLocalSession&) { return std::make_unique<TQXLDiskDatabaseData>(*Files); });
  // The process's own databases are found by their names, every other one by its file.
  // The names are compared as every engine name is, without regard to case.
  const bool ProcessDatabase =
      SameNameIgnoringCase(FDatabaseName, "MEMORY") || SameNameIgnoringCase(FDatabaseName, "TEMP");
  Handle->FDatabaseName = ProcessDatabase ? FDatabaseName : FDatabaseFileName;
  Handle->FDatabaseFileName = FDatabaseFileName;
  Handle->FPassword = TQXLPassword{platform::Utf8ToAnsi(Password), CryptoAlgorithm};
  Handle->FPageSize = PageSize;
  Handle->FPagesPerExtent = PageCountInExtent;
  Handle->FMaxSessionCount = MaxConnections;
  Handle->FReadOnly = ReadOnly;
  Handle->FExclusive = Exclusive;
  Handle->FMultiUser = MultiUser;
  // Single-user connections to one file share one database object.
  if (MultiUser) Handle->FSessionName = FSessionName;
  if (FSession) Handle->FSessionHandle = FSession->Handle();
  FAcquiredHandle = false;
  return Handle;
}

void TQXLDatabase::FreeSessionHandle() {
  std::unique_ptr<TQXLLocalSession> Handle = std::move(FOwnHandle);
  FHandle = nullptr;
  if (Handle) Handle->SetConnected(false);
}

void TQXLDatabase::DropSessionHandle() noexcept {
  // The handle's destructor disconnects and swallows what that reports.
  FOwnHandle.reset();
  FHandle = nullptr;
}

bool TQXLDatabase::TakeSharedHandle() {
  if (!HandleShared) return false;
  for (std::size_t i = 0; i < FSession->DatabaseCount(); ++i) {
    TQXLDatabase* Other = FSession->GetDatabase(i);
    if (Other != this && Other->HandleShared && Other->Handle() &&
        SameNameIgnoringCase(Other->DatabaseName(), FDatabaseName)) {
      FHandle = Other->Handle();
      FAcquiredHandle = true;
      return true;
    }
  }
  return false;
}

void TQXLDatabase::Open() {
  if (FHandle) return;
  CheckDatabaseName();
  AttachSession(true);
  if (TakeSharedHandle()) return;
  TQXLSessionLock Guard(*FSession);
  if (!FTemporary && !FileSystem().Exists(FDatabaseFileName))
    DatabaseErrorFmt(this, "Database file '%s' does not exist", FDatabaseFileName);
  OpenOwnHandle();
  ReadBackSettings();
  FSession->DBNotification(TQXLDatabaseEvent::dbOpen, this);
}

void TQXLDatabase::OpenOwnHandle() {
  while (true) {
    try {
      ConnectHandle();
      if (HandleRepairNeeded()) ConnectHandle();
      return;
    } catch (const EQXLException& E) {
      DropSessionHandle();
      if (E.NativeError != WrongPasswordCode || !RequestDatabasePassword()) throw;
    } catch (...) {
      DropSessionHandle();
      throw;
    }
  }
}

void TQXLDatabase::ConnectHandle() {
  FOwnHandle = CreateSessionHandle();
  FHandle = FOwnHandle.get();
  FOwnHandle->SetConnected(true);
}

bool TQXLDatabase::HandleRepairNeeded() {
  if (!FOwnHandle->FRepairNeeded || SilentMode || FormEditorMode) return false;
  const bool DoRepair =
      FileVersion(*FOwnHandle) >= QXLMinimumCleanVersion ? AskRepairDatabase() : NotifyOldFormatConversion();
  // Declined: the database stays open as it is.
  if (!DoRepair) return false;
  FreeSessionHandle();
  RepairDuringOpen();
  return true;
}

void TQXLDatabase::RepairDuringOpen() {
  const bool Saved = NoRequestAutoRepair;
  // The rebuild opens the file itself and must not ask again.
  NoRequestAutoRepair = true;
  try {
    std::string Log;
    if (RepairHook) RepairHook(*this, Log);
    else Log = RepairDatabase();
    if (!Log.empty()) UserInterface().Warn(Log);
  } catch (...) {
    NoRequestAutoRepair = Saved;
    throw EQXLException(20238,
                        "Cannot convert database to the new format. Please contact kemu-support@example.org with this issue");
  }
  NoRequestAutoRepair = Saved;
}

void TQXLDatabase::ReadBackSettings() {
  if (!FormEditorMode) ReadOnly = FHandle->FReadOnly;
  auto* Handle = dynamic_cast<TQXLLocalSession*>(FHandle);
  if (!Handle) return;
  CryptoAlgorithm = Handle->FPassword.CryptoAlgorithm;
  PageSize = Handle->FPageSize;
  PageCountInExtent = Handle->FPagesPerExtent;
  MaxConnections = Handle->FMaxSessionCount;
}

bool TQXLDatabase::RequestDatabasePassword() {
  if (OnPassword) {
    bool Continue = false;
    OnPassword(*this, Continue);
    return Continue;
  }
  if (SilentMode) return false;
  return ShowDatabasePasswordDialog(*this, "");
}

bool TQXLDatabase::AskRepairDatabase() {
  if (NoRequestAutoRepair) return false;
  if (OnNeedRepair) {
    bool DoRepair = false;
    OnNeedRepair(*this, DoRepair);
    return DoRepair;
  }
  return UserInterface().Confirm("Database file was not correctly closed last time. Do you want to repair it?");
}

bool TQXLDatabase::NotifyOldFormatConversion() {
  if (NoRequestAutoRepair) return false;
  UserInterface().Inform(
      "Database file you are opening is of old format. It will be converted to the current Ostrel Database format "
      "now. It is recommended to make a backup of the database before continuing.");
  return true;
}

void TQXLDatabase::Close() {
  if (!FHandle) return;
  if (FSession) FSession->DBNotification(TQXLDatabaseEvent::dbClose, this);
  CloseDataSets();
  FRefCount = 0;
  if (FAcquiredHandle) {
    FAcquiredHandle = false;
    FHandle = nullptr;
    return;
  }
  FreeSessionHandle();
}

}  // namespace qxl
