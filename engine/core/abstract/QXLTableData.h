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

#include "engine/core/schema/QXLConstraintDef.h"
#include "engine/core/schema/QXLFieldDef.h"
#include "engine/core/schema/QXLIndexDef.h"
#include "engine/core/containers/QXLIndexPositionCache.h"
#include "engine/core/containers/QXLPageItemID.h"
#include "engine/core/abstract/QXLBLOBTypes.h"
#include "engine/core/search/QXLScanSearchCondition.h"
#include "engine/core/abstract/QXLConstraintManager.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/core/abstract/QXLFieldManager.h"
#include "engine/core/abstract/QXLIndexManager.h"
#include "engine/core/abstract/QXLRecordManager.h"

namespace qxl {

class TQXLBasePageManager;
class TQXLBaseSession;
class TQXLCursor;
class TQXLBaseExpression;
class TQXLRecordBitmap;
class TQXLDatabaseData;
class TQXLMetaObjectDefs;
class TQXLStream;

// One walk of a search: the planned conditions, where the cursor stands,
// which way to go, and where the answer goes. Filled by FindRecord and handed
// to the strategy it chooses.
struct TQXLRecordSearch {
  std::int32_t SessionID = -1;
  TQXLScanSearchConditionArray* Conditions = nullptr;
  std::int32_t ScanConditionNo = -1;
  std::int32_t ScanEndConditionNo = -1;
  std::int32_t CursorIndexID = -1;
  const TQXLFilterRecordEvent* FilterRecord = nullptr;  // null or an empty function: none
  void* Dataset = nullptr;
  TQXLCursor* FilterCursor = nullptr;  // hands out the buffers given to FilterRecord
  TQXLPageItemID CurrentRecordID{};
  bool Restart = false;
  bool GoForward = true;
  TQXLRecordBitmap* Bitmap = nullptr;
  bool RebuildBitmap = false;
  TQXLPageItemID FoundRecordID{};
  // The cursor's place in its index, kept between its moves; may be null.
  TQXLIndexPositionCache* PositionCache = nullptr;
};

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

  // Search planning: gathering what restricts a cursor's records into scan
  // conditions, intersecting the bounds on one index, and choosing which
  // range of which index to walk (ScanConditionNo -1: the whole table).
  // KeyCondition without index raises 20258.
  void AddCursorScanConditions(TQXLCursor* Cursor, TQXLScanSearchConditionArray& Conditions,
                               const TQXLScanSearchCondition* KeyCondition, TQXLBaseExpression* SearchExpression,
                               bool GoForward);
  void MergeScanConditions(TQXLScanSearchConditionArray& Conditions, bool& IsEmptyRange);
  bool CanIntersectScanConditions(const TQXLScanSearchCondition& Condition1,
                                  const TQXLScanSearchCondition& Condition2) const;
  // Condition1 becomes the intersection when IsMerged.
  void IntersectScanConditions(TQXLScanSearchCondition& Condition1, TQXLScanSearchCondition& Condition2,
                               bool& IsEmptyRange, bool& IsMerged);
  bool AreScanConditionsEqual(const TQXLScanSearchCondition& Condition1, const TQXLScanSearchCondition& Condition2);
  void RemoveDuplicateScanConditions(TQXLScanSearchConditionArray& Conditions);
  // Restart: the search starts at an end of the cursor's order, not at CurrentRecordID.
  void ChooseScanConditions(std::int32_t SessionID, TQXLScanSearchConditionArray& Conditions,
                            std::int32_t CursorIndexID, const TQXLPageItemID& CurrentRecordID, bool Restart,
                            bool GoForward, const TQXLFilterRecordEvent* FilterRecord,
                            std::int32_t& ScanConditionNo, std::int32_t& ScanEndConditionNo);
  bool ChooseObviousScanCondition(TQXLScanSearchConditionArray& Conditions, std::int32_t CursorIndexID,
                                  std::int32_t& ScanConditionNo);
  // When the only index conditions are a start and an end on the cursor's
  // own index, takes that pair: no other walk in the cursor's order reads less.
  bool ChooseCursorIndexRange(const TQXLScanSearchConditionArray& Conditions, std::int32_t CursorIndexID,
                              std::int32_t& ScanConditionNo, std::int32_t& ScanEndConditionNo);
  void ChooseCheapestScanCondition(std::int32_t SessionID, TQXLScanSearchConditionArray& Conditions,
                                   std::int32_t CursorIndexID, const TQXLPageItemID& CurrentRecordID, bool Restart,
                                   bool GoForward, const TQXLFilterRecordEvent* FilterRecord,
                                   std::int32_t& ScanConditionNo, std::int32_t& ScanEndConditionNo);
  // Unique or primary, or led by an auto-increment column.
  bool IsUniqueKeyIndex(std::int32_t IndexID);
  // Whether records of the chosen range still need testing.
  bool HasRemainingConditions(const TQXLScanSearchConditionArray& Conditions, std::int32_t ScanConditionNo,
                              std::int32_t ScanEndConditionNo, const TQXLFilterRecordEvent* FilterRecord) const;

  // Record search. FindRecord takes the table lock; with RebuildBitmap every
  // qualifying record is shown in Bitmap and the result is false.
  bool FindRecord(TQXLCursor* Cursor, TQXLBaseExpression* SearchExpression, const TQXLScanSearchCondition* KeyCondition,
                  bool Restart, bool GoForward, TQXLPageItemID* FoundRecordID, TQXLRecordBitmap* Bitmap,
                  bool RebuildBitmap);
  // Invalid ScanConditionNo: 10382.
  bool FindRecordByScanConditions(TQXLRecordSearch& Search);
  bool FindRecordByFullScan(TQXLRecordSearch& Search);
  bool FindRecordByCursorIndexRange(TQXLRecordSearch& Search);
  // A step from a record within the cursor's range to its neighbour in the
  // cursor's index; false when the walk may not take this short way.
  bool CanStepWithinRange(const TQXLRecordSearch& Search, const std::uint8_t* CurrentRecord);
  bool StepWithinRange(TQXLRecordSearch& Search, std::uint8_t* Buffer);
  bool FindRecordByIndexRangeInPhysicalOrder(TQXLRecordSearch& Search);
  bool FindRecordByOtherIndexRange(TQXLRecordSearch& Search);
  bool RecordMatchesConditions(const TQXLRecordSearch& Search, std::uint8_t* RecordBuffer,
                               const TQXLPageItemID& RecordID);
  bool IsKeyConditionMet(const TQXLScanSearchCondition& Condition, const std::uint8_t* RecordBuffer);
  bool FindRecordInBitmap(std::int32_t SessionID, bool Restart, bool GoForward, const TQXLPageItemID& CurrentRecordID,
                          TQXLPageItemID& FoundRecordID, TQXLRecordBitmap& Bitmap, std::int32_t IndexID);
  void ResetRecordBitmap(TQXLRecordBitmap& Bitmap, std::int32_t IndexID);
  void RefreshRecordBitmap(TQXLCursor* Cursor);
  void RebuildRecordBitmap(TQXLCursor* Cursor);
  bool RecordIDToIndexPosition(std::int32_t SessionID, std::int32_t IndexID, const TQXLPageItemID& RecordID,
                               TQXLIndexPosition& IndexPos);
  void IndexPositionToRecordID(std::int32_t SessionID, std::int32_t IndexID, const TQXLIndexPosition& IndexPos,
                               TQXLPageItemID& RecordID);
  bool IsCurrentRecordInRange(TQXLCursor* Cursor);
  // Range and filters; DISTINCT plays no part. Engines call it after an
  // insert or update to keep the changing cursor's active bitmap right.
  bool IsCurrentRecordVisible(TQXLCursor* Cursor);
  // No record manager 10015, no index manager 10380, no buffer 10016.
  void ReadRecordBuffer(std::int32_t SessionID, TQXLNavigationInfo& NavigationInfo,
                        TQXLIndexPositionCache* IndexPositionCache, std::int32_t TableState);
  TQXLGetRecordResult InternalGetRecordBuffer(TQXLCursor* Cursor, TQXLGetRecordMode GetRecordMode,
                                              bool RebuildBitmap);
  // Counts the records the cursor's view shows.
  std::int64_t GetRecordCount(TQXLCursor* Cursor);

  // Statement scopes (TQXLTableReadScope, TQXLTableWriteScope). A read scope
  // holds what a query's reads need for its whole length, so that its record
  // reads take none of it again; a write scope holds the table's write lock
  // and the counters loaded once for a statement's changes. False when the
  // lock was refused, nothing then held. Scopes of a session nest; engines
  // without a file shared between processes hold nothing.
  virtual bool BeginReadScope(TQXLCursor*) { return true; }
  virtual void EndReadScope(TQXLCursor*) {}
  virtual bool BeginWriteScope(TQXLCursor*) { return true; }
  virtual void EndWriteScope(TQXLCursor*) {}

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
  // Slot 19: BLOBs.
  virtual void ClearBlobsCacheInRecordBuffer(std::uint8_t*) {}
  // Slots 20 to 22: moving a cursor. GetRecordBuffer takes no lock of its
  // own; Locate and FindKey restore the cursor's position when nothing is
  // found (a nil SearchExpression raises 10272).
  virtual TQXLGetRecordResult GetRecordBuffer(TQXLCursor* Cursor, TQXLGetRecordMode GetRecordMode);
  virtual bool Locate(TQXLCursor* Cursor, TQXLBaseExpression* SearchExpression);
  virtual bool FindKey(TQXLCursor* Cursor, TQXLSearchCondition SearchCondition);
  // Slots 23 to 32: BLOBs and records.
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
  // Slots 33 and 34: record numbers of the cursor's view, 1-based; -1 when none.
  virtual void SetRecNo(TQXLCursor* Cursor, std::int64_t RecNo);
  virtual std::int64_t GetRecNo(TQXLCursor* Cursor);
  // Slots 35 to 39: physical record numbers, counts, auto-increment, rollback.
  virtual void InternalSetRecNo(TQXLCursor* Cursor, std::int64_t RecNo) = 0;
  virtual std::int64_t InternalGetRecNo(TQXLCursor* Cursor) = 0;
  virtual std::int64_t InternalGetRecordCount(TQXLCursor* Cursor) = 0;
  virtual std::int64_t LastAutoincValue(std::int32_t, TQXLBaseSession*) { return 0; }
  virtual void Rollback(std::int32_t SessionID);

  // The cost model of the search, in pages read: walking the range of
  // conditions Start..End (one index), and walking the whole table from the
  // cursor's record or an end.
  double CandidateCost(std::int32_t SessionID, TQXLScanSearchConditionArray& Conditions, std::int32_t Start,
                       std::int32_t End, std::int32_t CursorIndexID, const TQXLFilterRecordEvent* FilterRecord);
  double FullScanCost(std::int32_t SessionID, std::int32_t CursorIndexID, const TQXLPageItemID& CurrentRecordID,
                      bool Restart, bool GoForward);
  // Bytes of one entry of index X, in pages' terms.
  double IndexEntrySize(TQXLIndex& Index);
  double PageDataSize() const;

private:
  // The open index of a scan condition; an unknown one raises NilCode.
  TQXLIndex& ConditionIndex(std::int32_t IndexID, std::int32_t NilCode);
  // One step of a cursor through its restricted view, by its kept walk when
  // that still holds; Read tells that the record is in the cursor's buffer.
  bool WalkView(TQXLCursor* Cursor, bool Restart, bool GoForward, TQXLPageItemID& Found, bool& Read);
  void PutInScanOrder(TQXLScanSearchConditionArray& Conditions, bool GoForward, std::int32_t& ScanConditionNo,
                      std::int32_t& ScanEndConditionNo);
  bool IsExpressionTrue(TQXLBaseExpression* Expression, std::uint8_t* RecordBuffer);
  bool PassesFilterRecord(const TQXLRecordSearch& Search, const std::uint8_t* RecordBuffer,
                          const TQXLPageItemID& RecordID);
  bool ReadRecordByID(std::int32_t SessionID, const TQXLPageItemID& RecordID, std::uint8_t* RecordBuffer);
  void ShowFound(TQXLRecordSearch& Search, const TQXLPageItemID& RecordID);
  void ApplyDistinctAfterRestart(TQXLCursor* Cursor);

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

}  // namespace qxl
