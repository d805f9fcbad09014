#pragma once
// The engine's session: one connection of a database component to a shared
// database data object of the process-wide list, with its open settings and
// transaction state. Thread rule: connecting and disconnecting take the
// database list's lock; a session is otherwise used by one thread at a time.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/coding/QXLPassword.h"
#include "engine/core/QXLSession.h"
#include "engine/core/abstract/QXLSessionSettings.h"

namespace qxl {

class TQXLDatabaseData;
class TQXLDatabaseDataList;
class TQXLDiskDatabaseData;
class TQXLIndexFactory;
class TQXLLocalSession;

// Makes the database data of a database file for a session.
using TQXLDatabaseDataCreator = std::function<std::unique_ptr<TQXLDatabaseData>(TQXLLocalSession& Session)>;


// The creator of the disk engine: a closed TQXLDiskDatabaseData on the real
// files, whose tables get their indexes from IndexFactory (which must outlive them).
TQXLDatabaseDataCreator DiskDatabaseCreator(TQXLIndexFactory* IndexFactory = nullptr);


class TQXLLocalSession : public TQXLBaseSession {
public:
  static constexpr std::int32_t DefaultMaxSessionCount = 500;
  static constexpr std::int32_t DefaultPageSize = 4096;
  static constexpr std::int32_t DefaultPagesPerExtent = 8;

  // Databases are found in and added to Databases; Creator makes those not found there.
  explicit TQXLLocalSession(TQXLDatabaseDataList& Databases, TQXLDatabaseDataCreator Creator = nullptr);
  // Disconnects. Raises nothing.
  ~TQXLLocalSession() override;

  bool GetConnected() override { return FDatabaseData != nullptr; }
  void SetConnected(bool Value) override;
  // The repair reading of a connected database file; false and nothing for
  // any other database and while disconnected.
  bool GetSuppressDBHeaderErrors() override;
  void SetSuppressDBHeaderErrors(bool Value) override;
  // Writes a new database file with the session's settings and leaves it
  // closed; 20092 while this process has the database open.
  void CreateDatabase() override;
  void DeleteDatabase() override {}
  void RenameDatabase(const std::string&) override {}
  void GetTablesList(std::vector<std::string>& List) override;
  bool TableExists(const std::string& TableName) override;
  void StartTransaction() override { FInTransaction = true; }
  // Outside a transaction both raise 20229.
  void Commit(bool DoFlushBuffers) override;
  void Rollback() override;
  void FlushBuffers() override;

  // Cuts the unused pages at the end of a connected database file off;
  // nothing for any other database.
  void TruncateDatabase();
  // The sessions of every process connected to the database file; 0 for
  // any other database and while disconnected.
  std::int32_t GetDBFileConnectionsCount();

  // A new database data for the session's database file, with the session's
  // settings (for a disk database also its session count, password, page and
  // extent sizes), appended to the list of open databases.
  virtual TQXLDatabaseData* CreateDatabaseData();

  TQXLDatabaseData* DatabaseData() const { return FDatabaseData; }
  TQXLSessionComponentManager* SessionComponentManager() const { return FSessionHandle; }
  void SetSessionComponentManager(TQXLSessionComponentManager* Value) { FSessionHandle = Value; }

  TQXLPassword FPassword;
  std::int32_t FPageSize = DefaultPageSize;
  std::int32_t FPagesPerExtent = DefaultPagesPerExtent;

protected:
  // The session takes what the database gives (for a file its password,
  // page size, extent size and session count); 20298 when the database keeps
  // another password.
  virtual void TakeDatabaseSettings(TQXLDatabaseData& Data);

private:
  qxl::TQXLSessionSettings Settings() const;
  // Frees a database of a file that no session has open any more.
  void FreeIfUnused(TQXLDatabaseData& Data);
  TQXLDatabaseData* FindDatabaseData();
  TQXLDatabaseData& Connected();
  // The connected database when it is a database file, else null.
  TQXLDiskDatabaseData* DiskDatabase() const;
  void Connect();
  void Disconnect();

  TQXLDatabaseDataList& FDatabases;
  TQXLDatabaseDataCreator FCreator;
  TQXLDatabaseData* FDatabaseData = nullptr;  // owned by the list
};

}  // namespace qxl
