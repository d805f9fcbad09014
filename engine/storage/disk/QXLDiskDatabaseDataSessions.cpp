// Sessions joining and leaving the database: the first opens the file, the
// last closes it; between processes each holds its session byte, or a
// single-user object holds them all.
#include <mutex>

#include "engine/core/QXLException.h"
#include "engine/core/QXLSession.h"
#include "engine/core/abstract/QXLFormEditorMode.h"
#include "engine/storage/disk/QXLDiskDatabaseData.h"
#include "engine/storage/files/QXLActiveSessionsFile.h"

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
  if (!SessionList().empty()) return;
  try {
    if (Session->FInTransaction) Session->Rollback();
  } catch (...) {
    CloseDatabaseFile();
    throw;
  }
  CloseDatabaseFile();
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
