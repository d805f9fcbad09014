#pragma once
// One table of a database file, shared by every cursor of one disk database
// data that has it open. It keeps the table's three internal files (the
// metadata, the most-updated counters and the table locks), builds the
// table's managers from the metadata when the first cursor opens the table,
// creates, deletes, empties and renames the table in the file under the
// database's tables byte, keeps the record count, table state and
// auto-increment counters in the most-updated file, and wraps the database's
// table lock manager for this table. Records go through the disk record
// manager, BLOB values through the disk BLOB manager; reads in multi-user mode
// run under a shared table lock after the counters are reloaded. The counters
// carry the version of the table's stored definitions: a definition change
// raises it under a lock that keeps other writers out, and a process that
// reloads the counters and meets a newer version reloads the definitions
// (its indexes, field names and constraints) before it goes on.
//
// Thread rule: the table operations and the record and BLOB changes hold the
// table lock (the database data's re-entrant lock) for their whole run; the
// lock wrappers and LoadMostUpdated take none of their own and are called by
// cursors that hold it. Between processes the tables byte orders changes of
// the table list and openings, and the table's IS and X locks keep an
// exclusive open, a deletion or a rename from meeting another user.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/abstract/QXLTableData.h"

namespace qxl {

class TQXLDiskDatabaseData;
class TQXLDiskPageManager;
class TQXLIndexFactory;
class TQXLInternalDBTransactedAccessFile;
class TQXLTableLocksFile;

class TQXLDiskBlobManager;
class TQXLDiskRecordManager;
class TQXLDiskRecordPageRules;
class TQXLDiskTableChange;
class TQXLTemporaryPageManager;

class TQXLDiskTableData : public TQXLTableData {
public:
  // The tries and pauses of the table locks taken by an open and by a read.
  static constexpr std::int32_t OpenLockTries = 50;
  static constexpr std::int32_t OpenLockDelayMS = 100;
  static constexpr std::int32_t ReadLockTries = 2250;
  static constexpr std::int32_t ReadLockDelayMS = 40;
  // The tries and pauses of the write lock a statement's write scope takes.
  static constexpr std::int32_t WriteLockTries = 1125;
  static constexpr std::int32_t WriteLockDelayMS = 80;

  // aDatabaseData is a TQXLDiskDatabaseData with its file open. IndexFactory
  // makes the table's index objects and must outlive the table; without one
  // the table uses its database's.
  explicit TQXLDiskTableData(TQXLDatabaseData* aDatabaseData, TQXLIndexFactory* IndexFactory = nullptr);
  // Frees the managers; the table's files stay in the database. Raises nothing.
  ~TQXLDiskTableData() override;

  // Frees the object through its database data when no cursor has it open;
  // the caller must not touch it afterwards.
  void FreeIfNoCursorsConnected();

  void CreateRecordManager() override;
  void CreateFieldManager(TQXLFieldDefs& FieldDefs) override;
  void CreateIndexManager(TQXLIndexDefs& IndexDefs) override;
  // Only PRIMARY KEY, UNIQUE, NOT NULL and CHECK (30040).
  void CreateConstraintManager(TQXLConstraintDefs& ConstraintDefs) override;
  void ApplyChanges(std::int32_t SessionID, bool InTransaction) override;
  void CancelChanges(std::int32_t SessionID, bool InTransaction) override;

  // Writes the table's files, managers and table list item for the system
  // session and commits them, or leaves nothing behind (20128 without fields).
  void CreateTable(TQXLCursor* Cursor, TQXLFieldDefs& FieldDefs, TQXLIndexDefs& IndexDefs,
                   TQXLConstraintDefs& ConstraintDefs) override;
  // Opens the table exclusively and removes its pages, files and table list
  // item, committed at once. A refused exclusive lock (20208) changes nothing.
  void DeleteTable(TQXLCursor* Cursor, bool DesignMode) override;
  void EmptyTable(TQXLCursor* Cursor) override;
  // Fails with 20208 or 20242 while anybody has the table open; the object
  // keeps its old name.
  void RenameTable(const std::string& NewTableName, TQXLCursor* Cursor) override;
  // The first cursor builds the managers; each cursor holds IS (exclusive: X)
  // until it closes. 20242 for an exclusive open among other cursors, 20208
  // or 20209 when the table lock is refused; a refused open leaves the
  // cursor out of the list.
  void OpenTable(TQXLCursor* Cursor) override;
  void CloseTable(TQXLCursor* Cursor) override;
  void RenameField(const std::string& FieldName, const std::string& NewFieldName) override;
  void AddIndex(TQXLIndexDef& IndexDef, TQXLCursor* Cursor) override;
  // An IndexID that names no index: 20018.
  void DeleteIndex(std::int32_t IndexID, TQXLCursor* Cursor) override;

  // Bits are numbered by page and slot.
  std::int64_t GetRecordBitmapSize(std::int32_t SessionID) override;
  std::int64_t RecordIDToBitNo(const TQXLPageItemID& RecordID) override;
  TQXLPageItemID BitNoToRecordID(std::int64_t BitNo) override;

  // Reads; in multi-user mode each runs under S on the table after the
  // counters (and, where the cursor's order needs them, its temporary
  // indexes) are brought up to date. A refused S lock: grrError from
  // GetRecordBuffer, "Table is locked" from the others.
  void ClearBlobsCacheInRecordBuffer(std::uint8_t* Buffer) override;
  TQXLGetRecordResult GetRecordBuffer(TQXLCursor* Cursor, TQXLGetRecordMode GetRecordMode) override;
  bool Locate(TQXLCursor* Cursor, TQXLBaseExpression* SearchExpression) override;
  bool FindKey(TQXLCursor* Cursor, TQXLSearchCondition SearchCondition) override;
  void SetRecNo(TQXLCursor* Cursor, std::int64_t RecNo) override;
  std::int64_t GetRecNo(TQXLCursor* Cursor) override;
  void InternalSetRecNo(TQXLCursor* Cursor, std::int64_t RecNo) override;
  std::int64_t InternalGetRecNo(TQXLCursor* Cursor) override;
  std::int64_t InternalGetRecordCount(TQXLCursor* Cursor) override;

  // BLOB values. Streams are compressed BLOB streams over a work stream they own.
  void WriteBLOBFieldToRecordBuffer(TQXLCursor* Cursor, std::int32_t FieldNo, TQXLStream& BLOBStream) override;
  void ClearBLOBFieldInRecordBuffer(std::uint8_t* RecordBuffer, std::int32_t FieldNo) override;
  // Block size 0: 20149; a stored value of negative size: 20248.
  std::unique_ptr<TQXLStream> InternalCreateBlobStream(TQXLCursor* Cursor, bool ToInsert, std::int32_t FieldNo,
                                                       TQXLBLOBOpenMode OpenMode) override;
  // pBlobData points into the field's cache until FreeDirectBlobData.
  void GetDirectBlobData(TQXLCursor* Cursor, std::int32_t FieldNo, std::uint8_t* RecordBuffer,
                         TQXLPartialTemporaryBLOBDescriptor& BLOBDescriptor, void*& pBlobData) override;
  void SetDirectBlobData(TQXLCursor* Cursor, std::int32_t FieldNo, std::uint8_t* RecordBuffer,
                         TQXLPartialTemporaryBLOBDescriptor& BLOBDescriptor, void*& pBlobData) override;
  void FreeDirectBlobData(TQXLCursor* Cursor, std::int32_t FieldNo, std::uint8_t* RecordBuffer,
                          TQXLPartialTemporaryBLOBDescriptor& BLOBDescriptor, void*& pBlobData) override;
  // Drops every BLOB value of the buffer, changed ones not yet stored included.
  void ClearModifiedBLOBFieldsInRecordBuffer(std::uint8_t* RecordBuffer);

  // Record changes: false when the record manager refuses, with the counters
  // and the most-updated file unchanged and nothing committed.
  bool InsertRecord(TQXLCursor*& Cursor) override;
  bool DeleteRecord(TQXLCursor* Cursor) override;
  bool UpdateRecord(TQXLCursor* Cursor) override;

  std::int64_t LastAutoincValue(std::int32_t FieldNo, TQXLBaseSession* Session) override;
  void Rollback(std::int32_t SessionID) override;
  // Statement scopes: only a session of a shared file holds anything.
  bool BeginReadScope(TQXLCursor* Cursor) override;
  void EndReadScope(TQXLCursor* Cursor) override;
  bool BeginWriteScope(TQXLCursor* Cursor) override;
  void EndWriteScope(TQXLCursor* Cursor) override;

  // Reloads the counters from the most-updated file (20176 while it is not
  // open), rereading the file only when the session has not loaded it in its
  // current lock period, or it changed since; and the definitions, when
  // another process stored newer ones.
  void LoadMostUpdated(std::int32_t SessionID);
  // The version of the stored definitions this object works with.
  std::int32_t SchemaVersion() const { return FSchemaVersion; }

  // The table's locks; in single-user mode every request is granted at once
  // and IsRecordLocked is false.
  bool LockTable(std::int32_t SessionID, TQXLLockType LockType, std::int32_t TryCount, std::int32_t Delay,
                 bool AllowXIRWAfterSIRW);
  bool UnlockTable(std::int32_t SessionID, TQXLLockType LockType, bool IgnoreIfNoLock);
  bool LockRecord(std::int32_t SessionID, const TQXLPageItemID& RecordID, std::int32_t TryCount, std::int32_t Delay);
  bool UnlockRecord(std::int32_t SessionID, const TQXLPageItemID& RecordID);
  bool IsRecordLocked(std::int32_t SessionID, const TQXLPageItemID& RecordID);

  std::int32_t TableID() const { return FTableID; }
  bool Exclusive() const { return FExclusive; }
  std::int32_t LastUsedTableState() const { return FLastUsedTableState; }
  TQXLTableLocksFile* TableLocksFile() const { return FTableLocksFile.get(); }
  TQXLInternalDBTransactedAccessFile* TableMetadataFile() const { return FTableMetadataFile.get(); }
  TQXLInternalDBTransactedAccessFile* TableMostUpdatedFile() const { return FTableMostUpdatedFile.get(); }
  qxl::TQXLDiskBlobManager* BlobManager() const { return FBlobManager.get(); }
  qxl::TQXLTemporaryPageManager* TemporaryPageManager() const { return FTemporaryPageManager.get(); }
  qxl::TQXLDiskRecordManager* DiskRecordManager() const;

private:
  friend class qxl::TQXLDiskTableChange;

  TQXLDiskDatabaseData& Database() const;
  TQXLDiskPageManager& DiskPageManager() const;
  bool IsMultiUser() const;

  // The three internal files.
  void CreateTableFiles();
  void OpenTableFiles(std::int32_t MetadataPageNo, std::int32_t MostUpdatedPageNo, std::int32_t LocksPageNo);
  void DeleteTableFiles();
  void FreeTableFiles();
  void SaveMetadata(std::int32_t SessionID);
  void LoadMetadata(std::int32_t SessionID);
  void SaveMostUpdated(std::int32_t SessionID);
  // Takes the stored definitions of indexes, constraints and field names in
  // place of those in memory; open indexes are opened again when next used.
  void ReloadDefinitions(std::int32_t SessionID);
  // Runs Step, a change of the stored definitions by the cursor's session,
  // with the definitions' version raised, whole or not at all, under RW (in
  // a transaction XIRW, kept until it ends) in multi-user mode: no other
  // process writes the table meanwhile, and each meets the new version at
  // its next change or read. A refused lock: 20209.
  void ChangeDefinitions(TQXLCursor* Cursor, const std::function<void()>& Step);
  // The counters in their stored form, and back from it without the file.
  std::vector<std::uint8_t> MostUpdatedBytes() const;
  void SetMostUpdatedBytes(const std::vector<std::uint8_t>& Bytes);
  std::int32_t DiskRecordSize() const;

  // Managers.
  void NewTemporaryPageManager();
  void NewBlobManager();
  void BuildManagersForOpen();
  void FreeManagers();
  void OpenForRepair(TQXLCursor* Cursor);
  void LockForCursor(TQXLCursor* Cursor);
  // Takes the cursor back out after a refused open.
  void UndoOpen(TQXLCursor* Cursor);
  void DoCreateTable(TQXLCursor* Cursor, TQXLFieldDefs& FieldDefs, TQXLIndexDefs& IndexDefs,
                     TQXLConstraintDefs& ConstraintDefs);
  void DropTableContents(TQXLCursor* Cursor);
  void ApplyForCursor(TQXLCursor* Cursor);

  // Reads.
  // Runs Core under S with the counters reloaded (multi-user), or as it is;
  // false when S was refused and Core did not run.
  bool RunRead(TQXLCursor* Cursor, bool BeginWork, bool SyncIndexes, const std::function<void()>& Core);
  void SynchronizeTemporaryIndexes(TQXLCursor* Cursor);

  // Records and BLOBs.
  // The record manager; NilCode "Nil pointer occured" without one.
  qxl::TQXLDiskRecordManager& Records(std::int32_t NilCode) const;
  // The record manager of an open table.
  qxl::TQXLDiskRecordManager& OpenRecords() const;
  qxl::TQXLDiskBlobManager& Blobs() const;
  void PrepareChange(TQXLCursor* Cursor);
  void AfterChange(TQXLCursor* Cursor, qxl::TQXLDiskTableChange& Change);
  void ShowChangedRecord(TQXLCursor* Cursor);
  bool FindNeighbour(TQXLCursor* Cursor, TQXLPageItemID& Neighbour);
  void CheckBlobField(std::int32_t FieldNo) const;

  TQXLIndexFactory* FIndexFactory;
  std::int32_t FTableID = -1;
  std::unique_ptr<TQXLTableLocksFile> FTableLocksFile;
  std::unique_ptr<TQXLInternalDBTransactedAccessFile> FTableMetadataFile;
  std::unique_ptr<TQXLInternalDBTransactedAccessFile> FTableMostUpdatedFile;
  std::unique_ptr<qxl::TQXLDiskRecordPageRules> FRecordPageRules;
  std::unique_ptr<qxl::TQXLDiskBlobManager> FBlobManager;
  std::unique_ptr<qxl::TQXLTemporaryPageManager> FTemporaryPageManager;
  bool FExclusive = false;
  bool FIsChangingTableList = false;
  std::int32_t FLastUsedTableState = -1;
  // The definitions' version this object loaded (-1 until the counters are
  // read after an open), and the one the counters held when last read.
  std::int32_t FSchemaVersion = -1;
  // The statement scopes each session has open, and the locks they took.
  struct TScopes {
    std::int32_t Reads = 0;
    std::int32_t Writes = 0;
    bool HoldsS = false;
    bool HoldsWrite = false;
    TQXLLockType WriteLock = ltRW;
  };
  std::map<std::int32_t, TScopes> FScopes;
  const TScopes* ScopesOf(std::int32_t SessionID) const;
  std::int32_t FStoredSchemaVersion = -1;
};

}  // namespace qxl
