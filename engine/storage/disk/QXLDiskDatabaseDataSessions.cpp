// Sessions joining and leaving the database: the first opens the file, the
// last closes it; between processes each holds its session byte, or a
// single-user object holds them all.
#include <mutex>

#include "engine/core/QXLException.h"
#include "engine/core/QXLSession.h"
#include "engine/core/abstract/QXLFormEditorMode.h"
#include "engine/storage/disk/QXLDiskDatabaseData.h"
#include "engine/storage/files/QXLActiveSessionsFile.h"
#include "engine/storage/locks/QXLDatabaseTableLockManager.h"

namespace qxl {

void TQXLDiskDatabaseData::ConnectSession(TQXLBaseSession* Session) {
  std::lock_guard guard(CriticalSection());
  const bool Opening = !IsOpen();
  if (Opening) {
    bool RepairNeeded = false;
    OpenDatabaseFile(Session, Session->FExclusive, RepairNeeded);
    Session->FRepairNeeded = RepairNeeded;
    Session->FMultiUser = MultiUser();
  }
  try {
    JoinSession(Session);
  } catch (...) {
    // A file opened for a session that could not join is not left open.
    if (Opening) CloseDatabaseFile();
    throw;
  }
}

void TQXLDiskDatabaseData::JoinSession(TQXLBaseSession* Session) {
  if (Session->FMultiUser != MultiUser())
    throw EQXLException(20235, "Cannot open database in multi-user and signle-user mode at the same time");
  std::int32_t SessionID = 0;
  if (MultiUser()) {
    SessionID = FActiveSessionsFile->MultiUserConnect();
  } else if (!FSingleUserConnected) {
    FSingleUserConnected = FActiveSessionsFile->SingleUserConnect();
    // Another process uses the file: this object may look but not change it.
    if (!FSingleUserConnected) SetReadOnly(true);
  }
  TQXLDatabaseData::ConnectSession(Session);
  Session->FSessionID = SessionID;
}

void TQXLDiskDatabaseData::DisconnectSession(TQXLBaseSession* Session) {
  std::lock_guard guard(CriticalSection());
  const bool Last = SessionList().size() <= 1;
  try {
    EndSessionWork(Session, Last);
  } catch (...) {
    // The last session's locks go with the file's handle. Another keeps its
    // number, so that nobody is given it with this session's locks.
    if (!Last) throw;
    TQXLDatabaseData::DisconnectSession(Session);
    CloseDatabaseFile();
    throw;
  }
  if (!SessionList().empty()) {
    try {
      ReleaseSessionBytes(Session);
    } catch (...) {
      // A form editor closes databases whatever their state; elsewhere the
      // session stays connected so that its byte is not lost track of.
      if (!FormEditorMode) throw;
    }
  }
  TQXLDatabaseData::DisconnectSession(Session);
  if (SessionList().empty()) CloseDatabaseFile();
}

void TQXLDiskDatabaseData::EndSessionWork(TQXLBaseSession* Session, bool Last) {
  // Single-user sessions share number 0: only the last one's end is theirs.
  if (!MultiUser() && !Last) return;
  if (Session->FInTransaction) Session->Rollback();
  if (MultiUser() && FTableLockManager && !FTableLockManager->ReleaseLeftLocks(Session->FSessionID))
    throw EQXLException(20234, "Some table locks still exist");
}

void TQXLDiskDatabaseData::ReleaseSessionBytes(TQXLBaseSession* Session) {
  if (!FActiveSessionsFile) return;
  if (Session->FMultiUser)
    FActiveSessionsFile->MultiUserDisconnect(Session->FSessionID);
  else if (FSingleUserConnected && SessionList().size() == 1 && SessionList().front() == Session)
    FActiveSessionsFile->SingleUserDisconnect();
}

void TQXLDiskDatabaseData::FreeIfNoSessionsConnected() {
  bool NoSessions;
  {
    std::lock_guard guard(CriticalSection());
    NoSessions = SessionList().empty();
  }
  if (NoSessions) TQXLDatabaseData::FreeIfNoSessionsConnected();
}

std::int32_t TQXLDiskDatabaseData::GetDBFileConnectionsCount() {
  return FActiveSessionsFile ? FActiveSessionsFile->GetDBFileConnectionsCount() : 0;
}

void TQXLDiskDatabaseData::TakeSessionSettings(const TQXLSessionSettings& Settings) {
  std::lock_guard guard(CriticalSection());
  if (IsOpen()) return;
  FPassword = Settings.Password;
  FPageSize = Settings.PageSize;
  FPageCountInExtent = Settings.PagesPerExtent;
  FMaxSessionCount = Settings.MaxSessionCount;
}

void TQXLDiskDatabaseData::GiveSessionSettings(TQXLSessionSettings& Settings) {
  std::lock_guard guard(CriticalSection());
  // The file checks the password only when it is opened; a later session of
  // the same open file is checked here.
  if (Encrypted() && !FPassword.Password.empty() && FPassword.Password != Settings.Password.Password)
    throw EQXLException(20298, "Database password is invalid.");
  Settings.Password = FPassword;
  Settings.PageSize = FPageSize;
  Settings.PagesPerExtent = FPageCountInExtent;
  Settings.MaxSessionCount = FMaxSessionCount;
}

}  // namespace qxl
