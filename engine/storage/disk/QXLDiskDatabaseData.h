#pragma once
// One database file as one process sees it under one session name: its own
// file handle and page cache (the disk page manager), the system directory,
// the sessions file, the table list and the table lock manager while the file
// is open; the connected sessions, single-user (all session bytes held by
// this object) or multi-user (one session byte each); commit and rollback of
// a session's pages with the transaction's table locks; the tables byte that
// orders changes of the table list between processes.
//
// Lifecycle: made closed by the local session with its settings; CreateDatabase
// writes a new file and leaves it closed; the first ConnectSession opens the
// file, the last DisconnectSession closes it; FreeIfNoSessionsConnected frees
// the object through the list of open databases.
//
// Thread rule: every operation that reads or changes the object's state holds
// the database lock (the base class's re-entrant critical section). The
// exceptions reach their component directly and hold no lock of this object:
// TruncateDatabase, GetDBFileConnectionsCount, LockTables, UnlockTables,
// FlushBuffers and the property accessors.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/coding/QXLPassword.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/storage/btree/QXLBTreeRecordIndex.h"
#include "platform/FileSystem.h"

namespace qxl {

class TQXLActiveSessionsFile;
class TQXLDatabaseTableLockManager;
class TQXLDiskPageManager;
class TQXLIndexFactory;
class TQXLSystemDirectory;
class TQXLTableListFile;

class TQXLDiskDatabaseData : public TQXLDatabaseData {
public:
  // The file is reached through FileSystem; IndexFactory makes the tables'
  // index objects (the B-tree record index when null). Both must outlive the object.
  explicit TQXLDiskDatabaseData(platform::FileSystem& FileSystem = platform::RealFileSystem(),
                                TQXLIndexFactory* IndexFactory = nullptr);
  // Frees the open tables, then closes the file. Raises nothing.
  ~TQXLDiskDatabaseData() override;

  // The first session opens the file (its Exclusive and MultiUser settings;
  // its RepairNeeded and MultiUser are set from the file); every session
  // takes a session byte (multi-user) or shares session 0 (single-user).
  void ConnectSession(TQXLBaseSession* Session) override;
  // A session leaves with its transaction rolled back and its locks
  // released before its number is (20234 when a lock stays: the session then
  // stays connected, unless it was the last, whose locks go with the file);
  // the last session closes the file.
  void DisconnectSession(TQXLBaseSession* Session) override;
  void FreeIfNoSessionsConnected() override;
  // Reloads the table list: the names of the database's tables.
  void GetTablesList(std::vector<std::string>& List) override;
  // Writes a new file named DatabaseName with this object's password, page
  // size, extent size and session count, and leaves it closed.
  void CreateDatabase() override;
  // A new disk table data named after the cursor's table, added to the list.
  TQXLTableData* CreateTableData(TQXLCursor* Cursor) override;
  std::int32_t GetNewObjectId() override;
  // Multi-user: RW locks on the transaction's tables first (20233 with nothing
  // committed when refused), the transaction's locks released afterwards
  // (20234 when they cannot be). A failing page commit keeps the locks for the
  // rollback that follows.
  void Commit(std::int32_t SessionID, bool DoFlushBuffers) override;
  void Rollback(std::int32_t SessionID) override;
  void FlushBuffers() override;
  // Password, page size, extent size and session count; taken only while the
  // file is closed, since an open file has its own.
  void TakeSessionSettings(const qxl::TQXLSessionSettings& Settings) override;
  void GiveSessionSettings(qxl::TQXLSessionSettings& Settings) override;

  // Cuts the free pages at the end of the file off.
  void TruncateDatabase();
  // The sessions of every process connected to the file.
  std::int32_t GetDBFileConnectionsCount();
  // The tables byte, held around a change of the table list: 20210 when it
  // stays taken through every try, 20211 when it cannot be given back.
  void LockTables();
  void UnlockTables();
  bool GetSuppressDBHeaderErrors() const;
  void SetSuppressDBHeaderErrors(bool Value);

  // The table list, each change saved at once. Find, Remove and Rename raise
  // 20129, 20130 and 20131 while no table list is open.
  void AddTableListItem(std::int32_t TableID, const std::string& TableName, std::int32_t MetadataFilePageNo,
                        std::int32_t MostUpdatedFilePageNo, std::int32_t LocksFilePageNo);
  void FindTableListItem(const std::string& TableName, std::int32_t& TableID, std::int32_t& MetadataFilePageNo,
                         std::int32_t& MostUpdatedFilePageNo, std::int32_t& LocksFilePageNo);
  void RemoveTableListItem(const std::string& TableName);
  void RenameTableListItem(const std::string& TableName, const std::string& NewTableName);

  // Whether the file is open in this object.
  bool IsOpen() const { return FDiskPageManager != nullptr; }
  // nullptr while the file is closed.
  TQXLDiskPageManager* DiskPageManager() const { return FDiskPageManager.get(); }
  TQXLDatabaseTableLockManager* TableLockManager() const { return FTableLockManager.get(); }
  TQXLActiveSessionsFile* ActiveSessionsFile() const { return FActiveSessionsFile.get(); }
  TQXLTableListFile* TableListFile() const { return FTableListFile.get(); }
  TQXLSystemDirectory* SystemDirectory() const { return FSystemDir.get(); }
  platform::FileSystem& FileSystem() const { return LFileSystem; }
  // Makes the index objects of this database's tables.
  TQXLIndexFactory* IndexFactory() const { return LIndexFactory; }

  const TQXLPassword& Password() const { return FPassword; }
  void SetPassword(const TQXLPassword& Value) { FPassword = Value; }
  // The header's encrypted flag; false while the file is closed.
  bool Encrypted() const;
  std::int32_t MaxSessionCount() const { return FMaxSessionCount; }
  void SetMaxSessionCount(std::int32_t Value) { FMaxSessionCount = Value; }
  std::int32_t PageSize() const { return FPageSize; }
  void SetPageSize(std::int32_t Value) { FPageSize = Value; }
  std::int32_t PageCountInExtent() const { return FPageCountInExtent; }
  void SetPageCountInExtent(std::int32_t Value) { FPageCountInExtent = Value; }
  // Set by the first single-user connection that got every session byte.
  bool SingleUserConnected() const { return FSingleUserConnected; }

private:
  void OpenDatabaseFile(TQXLBaseSession* Session, bool Exclusive, bool& RepairNeeded);
  void OpenComponents();
  void CloseDatabaseFile();
  // Checks the session's mode and gives it its session number.
  void JoinSession(TQXLBaseSession* Session);
  // Rolls back the session's transaction and releases its locks.
  void EndSessionWork(TQXLBaseSession* Session, bool Last);
  // Releases the session's byte, or every byte for the last single-user session.
  void ReleaseSessionBytes(TQXLBaseSession* Session);
  TQXLTableListFile& OpenTableList(std::int32_t NilCode) const;
  // The session's page state forgets the transaction's locks and counters.
  void TransactionEnded(std::int32_t SessionID);

  platform::FileSystem& LFileSystem;
  // The B-tree record index, unless the maker of the database gives another.
  qxl::TQXLBTreeIndexFactory FBTreeIndexFactory;
  TQXLIndexFactory* LIndexFactory;
  std::unique_ptr<TQXLDiskPageManager> FDiskPageManager;
  std::unique_ptr<TQXLSystemDirectory> FSystemDir;
  std::unique_ptr<TQXLActiveSessionsFile> FActiveSessionsFile;
  std::unique_ptr<TQXLTableListFile> FTableListFile;
  std::unique_ptr<TQXLDatabaseTableLockManager> FTableLockManager;
  TQXLPassword FPassword;
  std::int32_t FMaxSessionCount = 500;
  std::int32_t FPageSize = 4096;
  std::int32_t FPageCountInExtent = 8;
  bool FSingleUserConnected = false;
};

}  // namespace qxl
