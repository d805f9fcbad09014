#include "engine/datasets/QXLLocalSession.h"

#include <mutex>

#include "engine/core/QXLException.h"
#include "engine/core/QXLShortString.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/abstract/QXLDatabaseDataList.h"
#include "engine/storage/disk/QXLDiskDatabaseData.h"

namespace qxl {}
using namespace qxl;

namespace {

// The databases of the start-up live as long as the process.
bool IsProcessDatabase(const TQXLDatabaseData& Data) {
  return Data.DatabaseName() == "MEMORY" || Data.DatabaseName() == "TEMP";
}

}  // namespace

TQXLDatabaseDataCreator qxl::DiskDatabaseCreator(TQXLIndexFactory* IndexFactory) {
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
  if (!data) data = CreateDatabaseData();
  data->ConnectSession(this);
  FDatabaseData = data;
  FReadOnly = data->ReadOnly();
  TakeDatabaseSettings(*data);
}

void TQXLLocalSession::Disconnect() {
  TQXLDatabaseData* data = FDatabaseData;
  data->DisconnectSession(this);
  FDatabaseData = nullptr;
  if (!IsProcessDatabase(*data) && data->SessionList().empty()) FDatabases.Free(data);
}

TQXLDatabaseData* TQXLLocalSession::CreateDatabaseData() {
  if (!FCreator) throw EQXLException(10434, "No engine can open database '%s'", {FDatabaseName});
  std::unique_ptr<TQXLDatabaseData> data = FCreator(*this);
  data->SetDatabaseName(FDatabaseName);
  data->SetReadOnly(FReadOnly);
  data->SetSessionName(FSessionName);
  if (auto* disk = dynamic_cast<TQXLDiskDatabaseData*>(data.get())) {
    disk->SetMaxSessionCount(FMaxSessionCount);
    disk->SetPassword(FPassword);
    disk->SetPageSize(FPageSize);
    disk->SetPageCountInExtent(FPagesPerExtent);
  }
  return FDatabases.Add(std::move(data));
}

void TQXLLocalSession::TakeDatabaseSettings(TQXLDatabaseData& Data) {
  auto* disk = dynamic_cast<TQXLDiskDatabaseData*>(&Data);
  if (!disk) return;
  // The file checks the password only when it is opened; a later session of
  // the same open file is checked here.
  if (disk->Encrypted() && !disk->Password().Password.empty() && disk->Password().Password != FPassword.Password)
    throw EQXLException(20298, "Database password is invalid.");
  FPassword = disk->Password();
  FPageSize = disk->PageSize();
  FPagesPerExtent = disk->PageCountInExtent();
  FMaxSessionCount = disk->MaxSessionCount();
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

void TQXLLocalSession::GetTablesList(std::vector<std::string>& List) { Connected().GetTablesList(List); }

bool TQXLLocalSession::TableExists(const std::string& TableName) { return Connected().TableExists(TableName); }

void TQXLLocalSession::FlushBuffers() { Connected().FlushBuffers(); }

void TQXLLocalSession::Commit(bool DoFlushBuffers) {
  if (!FInTransaction)
    throw EQXLException(20229, "Database is not within a transaction. Cannot perform operation");
  Connected().Commit(FSessionID, DoFlushBuffers);
  FInTransaction = false;
}

void TQXLLocalSession::Rollback() {
  if (!FInTransaction)
    throw EQXLException(20229, "Database is not within a transaction. Cannot perform operation");
  Connected().Rollback(FSessionID);
  FInTransaction = false;
}
