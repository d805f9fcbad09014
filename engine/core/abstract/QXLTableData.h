#pragma once
// One open table, shared by every cursor of the process that has it open. It
// owns the table's four managers (fields, indexes, constraints, records),
// keeps the list of cursors that have it open, and carries the table
// operations every engine shares: defining the managers, refusing to delete
// or rename a table in use, renaming fields, adding and dropping indexes and
// making temporary ones on demand. The disk, memory and temporary engines fill
// in its abstract slots. Thread rule: a table data has no lock of its own;
// Lock enters the owning database data's re-entrant lock, which the base takes
// in EmptyIndex, FindOrCreateIndex and IndexExists; the definition slots take none.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/QXLConstraintDef.h"
#include "engine/core/QXLFieldDef.h"
#include "engine/core/QXLIndexDef.h"
#include "engine/core/QXLIndexPositionCache.h"
#include "engine/core/QXLPageItemID.h"
#include "engine/core/abstract/QXLBLOBTypes.h"
#include "engine/core/abstract/QXLConstraintManager.h"
#include "engine/core/abstract/QXLFieldManager.h"
#include "engine/core/abstract/QXLIndexManager.h"
#include "engine/core/abstract/QXLRecordManager.h"

class TQXLBasePageManager;
class TQXLBaseSession;
class TQXLCursor;
class TQXLDatabaseData;
class TQXLMetaObjectDefs;
class TQXLStream;

class TQXLTableData {
public:
  explicit TQXLTableData(TQXLDatabaseData* aDatabaseData);
  // Frees the managers (fields, indexes, constraints, records) and takes
  // itself out of its database data's list. Raises nothing.
  virtual ~TQXLTableData();
  TQXLTableData(const TQXLTableData&) = delete;
  TQXLTableData& operator=(const TQXLTableData&) = delete;

  void Lock();
  void Unlock();

  TQXLDatabaseData* DatabaseData() const { return FDatabaseData; }
  const std::string& TableName() const { return FTableName; }
  void SetTableName(const std::string& Value) { FTableName = Value; }
  TQXLBasePageManager* PageManager() const { return FPageManager; }
  void SetPageManager(TQXLBasePageManager* Value) { FPageManager = Value; }
  TQXLBaseFieldManager* FieldManager() const { return FFieldManager.get(); }
  TQXLBaseIndexManager* IndexManager() const { return FIndexManager.get(); }
  TQXLBaseConstraintManager* ConstraintManager() const { return FConstraintManager.get(); }
  TQXLBaseRecordManager* RecordManager() const { return FRecordManager.get(); }
  const std::vector<TQXLCursor*>& CursorList() const { return FCursorList; }
  bool IsRepairing() const { return FIsRepairing; }
  void SetIsRepairing(bool Value) { FIsRepairing = Value; }
  bool DisableTempFiles() const { return FDisableTempFiles; }
  void SetDisableTempFiles(bool Value) { FDisableTempFiles = Value; }

  // A fresh object ID for every definition of the list, in order.
  void AssignObjectIds(TQXLMetaObjectDefs& Defs);
  // The memory record size; a table without fields raises 10131 outside the form editor.
  std::int32_t GetRecordBufferSize() const;
  void EmptyIndex(std::int32_t IndexID, std::int32_t SessionID);
  void DeleteAllIndexes(TQXLCursor* Cursor);
  void EmptyAllIndexes(std::int32_t SessionID);
  // The name of an index serving the columns, made as a temporary index when
  // none does; a failure cancels the session's page changes of the table.
  std::string FindOrCreateIndex(TQXLCursor* Cursor, const TQXLNameList& FieldNamesList,
                                const TQXLNameList& AscDescList, const TQXLNameList& CaseSensitivityList,
                                bool& IsCreated);
  bool IndexExists(TQXLCursor* Cursor, const TQXLNameList& FieldNamesList, const TQXLNameList& AscDescList,
                   const TQXLNameList& CaseSensitivityList);
  // Whether the record would duplicate a key of the unique index IndexID;
  // false on an empty table without asking the index.
  bool IsUniqueConstraintFailed(std::int32_t SessionID, std::int32_t IndexID, const std::uint8_t* NewRecordBuffer,
                                const std::uint8_t* OldRecordBuffer, bool ToInsert,
                                const TQXLPageItemID& CurrentRecordID);
  // Rebuilds the outdated temporary indexes of the session's cursors.
  void RebuildTemporaryIndexes(std::int32_t SessionID);
  // Numbering of index positions in record bitmaps, through the index.
  std::int64_t IndexPositionToBitNo(std::int32_t IndexID, const TQXLKeyPathBase& IndexPos);
  void BitNoToIndexPosition(std::int32_t IndexID, TQXLKeyPathBase& IndexPos, std::int64_t BitNo);

  // Slots 0 to 15: managers and table operations.
  virtual void CreateRecordManager() = 0;
  virtual void CreateFieldManager(TQXLFieldDefs& FieldDefs);
  virtual void CreateIndexManager(TQXLIndexDefs& IndexDefs);
  // Only PRIMARY KEY, UNIQUE, NOT NULL and CHECK (30058).
  virtual void CreateConstraintManager(TQXLConstraintDefs& ConstraintDefs);
  virtual void InitCursorRecordSize(TQXLCursor* Cursor);
  virtual void ApplyChanges(std::int32_t SessionID, bool InTransaction);
  virtual void CancelChanges(std::int32_t SessionID, bool InTransaction);
  virtual void CreateTable(TQXLCursor* Cursor, TQXLFieldDefs& FieldDefs, TQXLIndexDefs& IndexDefs,
                           TQXLConstraintDefs& ConstraintDefs) = 0;
  // Refuses (20017) while cursors are registered, unless DesignMode.
  virtual void DeleteTable(TQXLCursor* Cursor, bool DesignMode);
  virtual void EmptyTable(TQXLCursor* Cursor);
  // Refuses (10150) while cursors are registered.
  virtual void RenameTable(const std::string& NewTableName, TQXLCursor* Cursor);
  virtual void OpenTable(TQXLCursor* Cursor);
  virtual void CloseTable(TQXLCursor* Cursor);
  virtual void RenameField(const std::string& FieldName, const std::string& NewFieldName);
  virtual void AddIndex(TQXLIndexDef& IndexDef, TQXLCursor* Cursor);
  virtual void DeleteIndex(std::int32_t IndexID, TQXLCursor* Cursor);
  // Slots 16 to 18: record bitmap numbering by record identity.
  virtual std::int64_t GetRecordBitmapSize(std::int32_t SessionID) = 0;
  virtual std::int64_t RecordIDToBitNo(const TQXLPageItemID& RecordID) = 0;
  virtual TQXLPageItemID BitNoToRecordID(std::int64_t BitNo) = 0;
  // Slots 19 and 23 to 32: BLOBs and records.
  virtual void ClearBlobsCacheInRecordBuffer(std::uint8_t*) {}
  virtual void WriteBLOBFieldToRecordBuffer(TQXLCursor* Cursor, std::int32_t FieldNo, TQXLStream& BLOBStream) = 0;
  virtual void ClearBLOBFieldInRecordBuffer(std::uint8_t*, std::int32_t) {}
  virtual void ClearBLOBFieldsInRecordBuffer(std::uint8_t* RecordBuffer);
  virtual std::unique_ptr<TQXLStream> InternalCreateBlobStream(TQXLCursor* Cursor, bool ToInsert,
                                                               std::int32_t FieldNo, TQXLBLOBOpenMode OpenMode) = 0;
  virtual void GetDirectBlobData(TQXLCursor* Cursor, std::int32_t FieldNo, std::uint8_t* RecordBuffer,
                                 TQXLPartialTemporaryBLOBDescriptor& BLOBDescriptor, void*& pBlobData) = 0;
  virtual void SetDirectBlobData(TQXLCursor* Cursor, std::int32_t FieldNo, std::uint8_t* RecordBuffer,
                                 TQXLPartialTemporaryBLOBDescriptor& BLOBDescriptor, void*& pBlobData) = 0;
  virtual void FreeDirectBlobData(TQXLCursor* Cursor, std::int32_t FieldNo, std::uint8_t* RecordBuffer,
                                  TQXLPartialTemporaryBLOBDescriptor& BLOBDescriptor, void*& pBlobData) = 0;
  virtual bool InsertRecord(TQXLCursor*& Cursor) = 0;
  virtual bool DeleteRecord(TQXLCursor* Cursor) = 0;
  virtual bool UpdateRecord(TQXLCursor* Cursor) = 0;
  // Slots 35 to 39: physical record numbers, counts, auto-increment, rollback.
  virtual void InternalSetRecNo(TQXLCursor* Cursor, std::int64_t RecNo) = 0;
  virtual std::int64_t InternalGetRecNo(TQXLCursor* Cursor) = 0;
  virtual std::int64_t InternalGetRecordCount(TQXLCursor* Cursor) = 0;
  virtual std::int64_t LastAutoincValue(std::int32_t, TQXLBaseSession*) { return 0; }
  virtual void Rollback(std::int32_t SessionID);

protected:
  bool FIsRepairing = false;
  TQXLBasePageManager* FPageManager = nullptr;  // not owned
  TQXLDatabaseData* FDatabaseData;
  std::string FTableName;
  std::unique_ptr<TQXLBaseFieldManager> FFieldManager;
  std::unique_ptr<TQXLBaseConstraintManager> FConstraintManager;
  std::unique_ptr<TQXLBaseIndexManager> FIndexManager;
  std::unique_ptr<TQXLBaseRecordManager> FRecordManager;
  std::vector<TQXLCursor*> FCursorList;  // not owned
  bool FDisableTempFiles = false;
};
