#pragma once
// One open database, shared by every session and cursor of the process that
// works on it: the connected sessions, the open tables' table data objects
// (owned), the page cache an engine gives it, and the database lock.
// Thread rule: the re-entrant database lock guards the session and table
// lists and, through TQXLTableData::Lock, every table of the database. The
// disk, memory and temporary engines derive from it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/QXLReentrantSection.h"
#include "engine/core/abstract/QXLSessionSettings.h"

namespace qxl {

// Raised by a commit whose changes are stored but whose locks could not all
// be released: the transaction is over, and a rollback has nothing to undo.
inline constexpr std::int32_t CommittedWithLocksLeftCode = 20239;


class TQXLBasePageManager;
class TQXLBaseSession;
class TQXLCursor;
class TQXLDatabaseDataList;
class TQXLTableData;

class TQXLDatabaseData {
public:
  TQXLDatabaseData();
  // Frees every table data object. Raises nothing.
  virtual ~TQXLDatabaseData();
  TQXLDatabaseData(const TQXLDatabaseData&) = delete;
  TQXLDatabaseData& operator=(const TQXLDatabaseData&) = delete;

  void Lock() { FCSect.lock(); }
  void Unlock() { FCSect.unlock(); }
  // Re-entrant; a wait for another session of the process leaves it.
  qxl::TQXLReentrantSection& CriticalSection() { return FCSect; }

  // Whether an open table of that name is listed by GetTablesList, ignoring case.
  bool TableExists(const std::string& TableName);

  virtual void ConnectSession(TQXLBaseSession* Session);
  virtual void DisconnectSession(TQXLBaseSession* Session);
  // Frees this object through the list that owns it when no session is
  // connected; the caller must not touch it afterwards. An object outside a
  // list belongs to whoever made it and is left alone.
  virtual void FreeIfNoSessionsConnected();
  virtual void GetTablesList(std::vector<std::string>& List);
  virtual void CreateDatabase() {}
  // Creates, registers and returns the table data for the cursor's table.
  virtual TQXLTableData* CreateTableData(TQXLCursor* Cursor) = 0;
  // The open table data whose name equals the cursor's table name after
  // upper-casing both; nullptr when none.
  virtual TQXLTableData* FindTableData(TQXLCursor* Cursor);
  virtual TQXLTableData* FindOrCreateTableData(TQXLCursor* Cursor);
  // A new object ID, unique in the database, for a schema definition.
  virtual std::int32_t GetNewObjectId() = 0;
  // Raises qxl::CommittedWithLocksLeftCode once the changes are stored.
  virtual void Commit(std::int32_t SessionID, bool DoFlushBuffers);
  virtual void Rollback(std::int32_t SessionID);
  virtual void FlushBuffers() {}

  // A database that no session has open takes the settings of the session
  // that opens it.
  virtual void TakeSessionSettings(const qxl::TQXLSessionSettings&) {}
  // The settings of the open database for a session that joined it; 20298
  // when the database keeps a password that differs from the session's.
  virtual void GiveSessionSettings(qxl::TQXLSessionSettings&) {}

  // Takes the table data out of the list and frees it.
  void FreeTableData(TQXLTableData* TableData);
  // Called by a table data being destroyed: forgets it without freeing it.
  void DetachTableData(TQXLTableData* TableData);

  TQXLBasePageManager* PageManager() const { return FPageManager; }
  void SetPageManager(TQXLBasePageManager* Value) { FPageManager = Value; }
  const std::vector<TQXLBaseSession*>& SessionList() const { return FSessionList; }
  std::int32_t TableDataCount() const { return static_cast<std::int32_t>(FTableDataList.size()); }
  TQXLTableData* TableData(std::int32_t Index) const { return FTableDataList.at(static_cast<std::size_t>(Index)).get(); }

  const std::string& DatabaseName() const { return FDatabaseName; }
  void SetDatabaseName(const std::string& Value) { FDatabaseName = Value; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value) { FReadOnly = Value; }
  bool MultiUser() const { return FMultiUser; }
  void SetMultiUser(bool Value) { FMultiUser = Value; }
  const std::string& SessionName() const { return FSessionName; }
  void SetSessionName(const std::string& Value) { FSessionName = Value; }

protected:
  // Appends a new table data object and returns it.
  TQXLTableData* RegisterTableData(std::unique_ptr<TQXLTableData> TableData);

private:
  friend class TQXLDatabaseDataList;

  qxl::TQXLReentrantSection FCSect;
  std::vector<TQXLBaseSession*> FSessionList;
  std::vector<std::unique_ptr<TQXLTableData>> FTableDataList;
  std::string FDatabaseName;
  TQXLBasePageManager* FPageManager = nullptr;  // not owned
  bool FReadOnly = false;
  bool FMultiUser = false;
  std::string FSessionName;
  TQXLDatabaseDataList* FOwnerList = nullptr;
};

}  // namespace qxl
