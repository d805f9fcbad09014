#include "engine/datasets/QXLLocalSession.h"

#include <mutex>

#include "engine/core/QXLException.h"
#include "engine/core/values/QXLShortString.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/abstract/QXLDatabaseDataList.h"
#include "engine/storage/disk/QXLDiskDatabaseData.h"

namespace qxl {

namespace {

// The databases of the start-up live as long as the process.
bool IsProcessDatabase(const TQXLDatabaseData& Data) {
  return Data.DatabaseName() == "MEMORY" || Data.DatabaseName() == "TEMP";
}

}  // namespace

TQXLDatabaseDataCreator DiskDatabaseCreator(TQXLIndexFactory* IndexFactory) {
  return [IndexFactory](TQXLLocalSession&) {
    return std::make_unique<TQXLDiskDatabaseData>(platform::RealFileSystem(), IndexFactory);
  };
}

TQXLLocalSession::TQXLLocalSession(TQXLDatabaseDataList& Databases, TQXLDatabaseDataCreator Creator)
    : FDatabases(Databases), FCreator(std::move(Creator)) {
  FMaxSessionCount = DefaultMaxSessionCount;
}

TQXLLocalSession::~TQXLLocalSession() {
  try {
    SetConnected(false);
  } catch (...) {
    // A failed disconnect at destruction cannot be reported.
  }
}

void TQXLLocalSession::SetConnected(bool Value) {
  if (Value == GetConnected()) return;
  std::lock_guard guard(FDatabases.CriticalSection());
  if (Value)
    Connect();
  else
    Disconnect();
}

TQXLDatabaseData* TQXLLocalSession::FindDatabaseData() {
  return FDatabases.Find([this](const TQXLDatabaseData& d) {
    if (!SameNameIgnoringCase(d.DatabaseName(), FDatabaseName)) return false;
    return IsProcessDatabase(d) || !FMultiUser || d.SessionName() == FSessionName;
  });
}

void TQXLLocalSession::Connect() {
  TQXLDatabaseData* data = FindDatabaseData();
  if (!data)
    data = CreateDatabaseData();
  else if (data->SessionList().empty())
    data->TakeSessionSettings(Settings());
  try {
    data->ConnectSession(this);
  } catch (...) {
    // An object that no session could open keeps nothing of this attempt
    // for the next one, its password least of all.
    FreeIfUnused(*data);
    throw;
  }
  try {
    TakeDatabaseSettings(*data);
  } catch (...) {
    // A refused session holds no session number and no database.
    data->DisconnectSession(this);
    FreeIfUnused(*data);
    throw;
  }
  FDatabaseData = data;
  FReadOnly = data->ReadOnly();
}

void TQXLLocalSession::Disconnect() {
  TQXLDatabaseData* data = FDatabaseData;
  data->DisconnectSession(this);
  FDatabaseData = nullptr;
  FreeIfUnused(*data);
}

void TQXLLocalSession::FreeIfUnused(TQXLDatabaseData& Data) {
  if (!IsProcessDatabase(Data) && Data.SessionList().empty()) FDatabases.Free(&Data);
}

TQXLSessionSettings TQXLLocalSession::Settings() const {
  return {FPassword, FPageSize, FPagesPerExtent, FMaxSessionCount};
}

TQXLDatabaseData* TQXLLocalSession::CreateDatabaseData() {
  if (!FCreator) throw EQXLException(10434, "No engine can open database '%s'", {FDatabaseName});
  std::unique_ptr<TQXLDatabaseData> data = FCreator(*this);
  data->SetDatabaseName(FDatabaseName);
  data->SetReadOnly(FReadOnly);
  data->SetSessionName(FSessionName);
  data->TakeSessionSettings(Settings());
  return FDatabases.Add(std::move(data));
}

void TQXLLocalSession::TakeDatabaseSettings(TQXLDatabaseData& Data) {
  qxl::TQXLSessionSettings Given = Settings();
  Data.GiveSessionSettings(Given);
  FPassword = Given.Password;
  FPageSize = Given.PageSize;
  FPagesPerExtent = Given.PagesPerExtent;
  FMaxSessionCount = Given.MaxSessionCount;
}

TQXLDatabaseData& TQXLLocalSession::Connected() {
  if (!FDatabaseData) throw EQXLException(10435, "Session is not connected to database '%s'", {FDatabaseName});
  return *FDatabaseData;
}

void TQXLLocalSession::CreateDatabase() {
  std::lock_guard guard(FDatabases.CriticalSection());
  if (FindDatabaseData()) throw EQXLException(20092, "Cannot create database. Database is already open");
  // The object only writes the file: creating leaves the session disconnected
  // and the file closed, whatever the outcome.
  TQXLDatabaseData* data = CreateDatabaseData();
  try {
    data->CreateDatabase();
  } catch (...) {
    FDatabases.Free(data);
    throw;
  }
  FDatabases.Free(data);
}

TQXLDiskDatabaseData* TQXLLocalSession::DiskDatabase() const {
  return dynamic_cast<TQXLDiskDatabaseData*>(FDatabaseData);
}

bool TQXLLocalSession::GetSuppressDBHeaderErrors() {
  TQXLDiskDatabaseData* disk = DiskDatabase();
  return disk && disk->GetSuppressDBHeaderErrors();
}

void TQXLLocalSession::SetSuppressDBHeaderErrors(bool Value) {
  if (TQXLDiskDatabaseData* disk = DiskDatabase()) disk->SetSuppressDBHeaderErrors(Value);
}

void TQXLLocalSession::TruncateDatabase() {
  if (TQXLDiskDatabaseData* disk = DiskDatabase()) disk->TruncateDatabase();
}

std::int32_t TQXLLocalSession::GetDBFileConnectionsCount() {
  TQXLDiskDatabaseData* disk = DiskDatabase();
  return disk ? disk->GetDBFileConnectionsCount() : 0;
}

void TQXLLocalSession::GetTablesList(std::vector<std::string>& List) { Connected().GetTablesList(List); }

bool TQXLLocalSession::TableExists(const std::string& TableName) { return Connected().TableExists(TableName); }

void TQXLLocalSession::FlushBuffers() { Connected().FlushBuffers(); }

void TQXLLocalSession::Commit(bool DoFlushBuffers) {
  if (!FInTransaction)
    throw EQXLException(20229, "Database is not within a transaction. Cannot perform operation");
  try {
    Connected().Commit(FSessionID, DoFlushBuffers);
  } catch (const EQXLException& e) {
    if (e.NativeError == qxl::CommittedWithLocksLeftCode) FInTransaction = false;
    throw;
  }
  FInTransaction = false;
}

void TQXLLocalSession::Rollback() {
  if (!FInTransaction)
    throw EQXLException(20229, "Database is not within a transaction. Cannot perform operation");
  Connected().Rollback(FSessionID);
  FInTransaction = false;
}

}  // namespace qxl
