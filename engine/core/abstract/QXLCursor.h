#pragma once
// The engine's view of one open table for one dataset: which table and
// index, which fields are visible under which names, the record and key
// buffers, the range, filters and DISTINCT that restrict the view, and the
// outcome of the last record operation. The local cursor of the dataset layer
// is the implementation; the table data, indexes and search read and write
// its fields. Thread rule: a cursor has no lock of its own and is used by one
// thread at a time; operations on the shared table data take its lock through
// LockTableData and UnlockTableData.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/coding/QXLCompression.h"
#include "engine/coding/QXLPassword.h"
#include "engine/core/schema/QXLConstraintDef.h"
#include "engine/core/QXLExpression.h"
#include "engine/core/schema/QXLFieldDef.h"
#include "engine/core/schema/QXLIndexDef.h"
#include "engine/core/containers/QXLIndexPositionCache.h"
#include "engine/core/containers/QXLPageItemID.h"
#include "engine/core/search/QXLScanSearchCondition.h"
#include "engine/core/streams/QXLStream.h"
#include "engine/core/values/QXLTypes.h"
#include "engine/core/abstract/QXLBLOBTypes.h"
#include "engine/core/abstract/QXLNavigationInfo.h"
#include "engine/core/abstract/QXLRecordBitmap.h"
#include "platform/RuntimeVariant.h"

namespace qxl {

class TQXLAO;
class TQXLBaseSession;
class TQXLCursorWalk;
class TQXLVariant;

// A comparison operator of the SQL layer, which gives its values.
enum TQXLDataOperator : std::uint8_t;

// Where a cursor stands: enough to come back after a temporary move.
struct TQXLCursorPosition {
  bool FirstPosition = false;
  bool LastPosition = false;
  TQXLPageItemID CurrentRecordID{};
};

// The dataset's filter-record callback: true when the record in Buffer is shown.
using TQXLFilterRecordEvent = std::function<bool(std::uint8_t* Buffer, void* Dataset)>;

class TQXLCursor {
public:
  TQXLCursor() = default;
  // Frees the record buffers the cursor still holds. Raises nothing.
  virtual ~TQXLCursor();
  TQXLCursor(const TQXLCursor&) = delete;
  TQXLCursor& operator=(const TQXLCursor&) = delete;

  // Slots 0 to 10: table operations and locks.
  virtual void CreateTable(TQXLFieldDefs& FieldDefs, TQXLIndexDefs& IndexDefs, TQXLConstraintDefs& ConstraintDefs) = 0;
  virtual void DeleteTable() = 0;
  virtual void EmptyTable() = 0;
  virtual void RenameTable(const std::string& NewTableName) = 0;
  virtual void InternalInitFieldDefs() = 0;
  virtual void OpenTableByFieldDefs(TQXLFieldDefs* FieldDefs, TQXLIndexDefs* IndexDefs,
                                    TQXLConstraintDefs* ConstraintDefs) = 0;
  virtual void CloseTable() = 0;
  virtual void LockTableData() = 0;
  virtual void UnlockTableData() = 0;
  virtual bool LockTable(TQXLLockType LockType, std::int32_t TryCount, std::int32_t Delay,
                         bool AllowXIRWAfterSIRW) = 0;
  virtual bool UnlockTable(TQXLLockType LockType, bool IgnoreIfNoLock) = 0;
  // Slots 11 and 12; the base works on the cursor's own lists (30345, 30346).
  virtual void RenameField(const std::string& FieldName, const std::string& NewFieldName);
  virtual TQXLIndexDefs* GetIndexDefs() { return FIndexDefs.get(); }
  // Slots 13 to 19: indexes, field copy, record initialisation.
  virtual void AddIndex(TQXLIndexDef& IndexDef) = 0;
  virtual void DeleteIndex(const std::string& Name) = 0;
  virtual void DeleteAllIndexes() = 0;
  virtual std::string FindOrCreateIndex(const std::vector<std::string>& FieldNamesList,
                                        const std::vector<std::string>& AscDescList,
                                        const std::vector<std::string>& CaseSensitivityList, bool& IsCreated) = 0;
  virtual bool IndexExists(const std::vector<std::string>& FieldNamesList, const std::vector<std::string>& AscDescList,
                           const std::vector<std::string>& CaseSensitivityList) = 0;
  virtual void CopyFieldValue(std::int32_t SrcFieldNo, bool DirectAccess, std::int32_t DestFieldNo,
                              TQXLCursor* DestCursor) = 0;
  virtual void InternalInitRecord(std::uint8_t* RecordBuffer, bool InsertMode) = 0;
  // Slot 20; the base frees the buffer through the engine memory manager.
  virtual void FreeRecordBuffer(std::uint8_t*& Buffer);
  // Slots 21 to 27: counting and moving.
  virtual std::int64_t GetRecordCount() = 0;
  virtual TQXLGetRecordResult GetRecordBuffer(TQXLGetRecordMode GetRecordMode) = 0;
  virtual void SetRecNo(std::int64_t Value) = 0;
  virtual std::int64_t GetRecNo() = 0;
  virtual std::int32_t CompareRecordsOrder(const TQXLPageItemID& RecordID1, const TQXLPageItemID& RecordID2) = 0;
  virtual void InternalFirst() = 0;
  virtual void InternalLast() = 0;
  // Slots 28 to 33: editing.
  virtual void InternalInsert() = 0;
  virtual void InternalEdit() = 0;
  virtual void InternalCancel(bool ToInsert) = 0;
  virtual void InternalPost(bool ToInsert) = 0;
  virtual void InternalDelete() = 0;
  virtual bool IsRecordLocked() = 0;
  // Slots 34 to 39: views and searches.
  virtual void ApplyDistinct(const std::vector<std::string>& FieldNamesList,
                             const std::vector<std::string>& AscDescList,
                             const std::vector<std::string>& CaseSensitivityList) = 0;
  virtual void ActivateFilters(const std::string& FilterText, bool CaseInsensitive, bool PartialKey) = 0;
  virtual void DeactivateFilters() = 0;
  virtual bool Locate(const std::string& KeyFields, const Variant& KeyValues, bool CaseInsensitive,
                      bool PartialKey) = 0;
  virtual bool FindKey(TQXLSearchCondition SearchCondition) = 0;
  virtual bool IsAnyRecordMatchCondition(const std::string& FieldName, TQXLDataOperator Operator,
                                         const TQXLVariant& Value) = 0;
  // Slots 40 to 47: BLOBs, auto-increment, batches, constraints.
  virtual TQXLStream* InternalCreateBlobStream(bool ToInsert, bool ToEdit, std::int32_t FieldNo,
                                               TQXLBLOBOpenMode OpenMode, bool CanDoGetRecordBuffer) = 0;
  virtual void InternalCloseBLOB(std::int32_t FieldNo) = 0;
  virtual void ClearBLOBStreams(bool WriteOnly) = 0;
  virtual std::int64_t LastAutoincValue(std::int32_t FieldNo) = 0;
  virtual void BeginBatchUpdate() = 0;
  virtual void EndBatchUpdate() = 0;
  virtual void CancelBatchUpdate() = 0;
  virtual bool CheckConstraints(bool ToInsert) = 0;

  // Stores the name and looks its index up (case-insensitive); -1 when none.
  void SetIndexName(const std::string& Value);
  const std::string& IndexName() const { return FIndexName; }
  const std::string& TableName() const { return FTableName; }
  std::int32_t ErrorCode() const { return FErrorCode; }
  const std::string& ErrorMessage() const { return FErrorMessage; }
  bool InBatchUpdate() const { return FBatchUpdate; }
  // The session's number; -1 without a session.
  std::int32_t SessionID() const;

  // Visible field FieldNo of a record buffer (10005, 10006).
  bool GetFieldData(std::int32_t FieldNo, void* Buffer, const std::uint8_t* RecordBuffer) const;
  void SetFieldData(std::int32_t FieldNo, const void* Buffer, std::uint8_t* RecordBuffer) const;
  // Zeroes string fields past their text, and NULL ones whole.
  void ClearStringFieldsGarbage(std::uint8_t* RecordBuffer) const;
  // A field of the current record (10317, 20191).
  void GetFieldValue(TQXLVariant& Value, std::int32_t FieldNo, bool DirectAccess) const;
  // Casts Value to the field's type and stores it (20193, 20192; 20056 when too long).
  void SetFieldValue(TQXLVariant& Value, std::int32_t FieldNo, bool DirectAccess,
                     std::uint8_t* RecordBuffer = nullptr);
  std::uint8_t* AllocateRecordBuffer() const;
  std::uint8_t* AllocateKeyRecordBuffer() const;
  void InternalInitKeyBuffer(std::uint8_t* RecordBuffer);
  std::unique_ptr<TQXLCursorPosition> SavePosition() const;
  void RestorePosition(const TQXLCursorPosition& Pos);
  void FreePosition(std::unique_ptr<TQXLCursorPosition>& Pos) { Pos.reset(); }
  void DisableRecordBitmap();
  // Rebuilds the visible fields from table field names and aliases (10321, 10322, 10323).
  void ApplyProjection(const std::vector<std::string>& FieldNamesList, const std::vector<std::string>& AliasList);
  bool IsIndexApplied() const { return FIndexID != -1; }
  bool IsDistinctApplied() const { return FDistinctFieldCount > 0; }
  bool IsFilterApplied() const { return FFilterExpression || FilterRecord || FSQLFilterExpression; }
  bool IsRangeApplied() const { return FRangeStartBuffer || FRangeEndBuffer; }
  bool IsViewRestricted() const { return IsFilterApplied() || IsRangeApplied() || IsDistinctApplied(); }
  // The buffers stay the caller's.
  void ApplyRange(std::uint8_t* StartBuffer, std::uint8_t* EndBuffer, std::int32_t StartKeyFieldCount,
                  std::int32_t EndKeyFieldCount, bool StartExclusive, bool EndExclusive);
  void ResetRange();
  void SetSQLFilter(TQXLBaseExpression* FilterExpr, TQXLAO* ParentQueryAO, TQXLCursor* ParentCursor);

  bool FSettingProjection = false;
  std::string FTableName;
  std::string FIndexName;
  std::int32_t FIndexID = -1;
  bool FReadOnly = false;
  bool FExclusive = false;
  bool FInMemory = false;
  bool FTemporary = false;
  TQXLBaseSession* FSession = nullptr;  // not owned
  bool FIsOpen = false;
  // Record buffers of FRecordBufferSize bytes from the engine memory manager.
  std::uint8_t* FCurrentRecordBuffer = nullptr;
  std::uint8_t* FDistinctRecordBuffer = nullptr;
  std::uint8_t* FEditRecordBuffer = nullptr;
  TQXLPassword FPassword;
  std::unique_ptr<TQXLConstraintDefs> FConstraintDefs;
  TQXLCompression FBLOBCompression;
  std::unique_ptr<TQXLFieldDefs> FFieldDefs;
  std::unique_ptr<TQXLFieldDefs> FVisibleFieldDefs;
  std::unique_ptr<TQXLIndexDefs> FIndexDefs;
  std::vector<std::unique_ptr<TQXLStream>> FBLOBStreams;
  std::unique_ptr<TQXLRecordBitmap> FRecordBitmap;
  std::unique_ptr<TQXLIndexPositionCache> FIndexPositionCache;
  // The walk of the restricted view kept between steps; the table data
  // drops it whenever it may no longer hold.
  std::shared_ptr<TQXLCursorWalk> FWalk;
  bool FTableLockedByCursor = false;
  bool FBatchUpdate = false;
  bool FDisableTempFiles = false;
  bool FIsRepairing = false;
  std::int32_t FErrorCode = 0;
  std::string FErrorMessage;
  bool FIsDesignMode = false;
  std::int32_t FRecordBufferSize = 0;
  std::int32_t FRecordSize = 0;
  std::int32_t FKeyBufferSize = 0;
  std::int32_t FKeyOffset = 0;
  std::int32_t FKeyFieldCount = 0;
  std::int32_t FFieldValuesOffset = 0;
  std::int32_t FCalculatedFieldsOffset = 0;
  std::int32_t FBookmarkOffset = 0;
  std::unique_ptr<TQXLBaseExpression> FFilterExpression;
  TQXLBaseExpression* FSQLFilterExpression = nullptr;  // not owned
  std::uint8_t* FKeyBuffer = nullptr;              // not owned
  std::uint8_t* FRangeStartBuffer = nullptr;       // not owned
  std::uint8_t* FRangeEndBuffer = nullptr;         // not owned
  bool FRangeStartExclusive = false;
  bool FRangeEndExclusive = false;
  std::int32_t FRangeStartKeyFieldCount = 0;
  std::int32_t FRangeEndKeyFieldCount = 0;
  std::int32_t FDistinctFieldCount = 0;
  TQXLPageItemID CurrentRecordID{};
  bool FirstPosition = false;
  bool LastPosition = false;
  TQXLFilterRecordEvent FilterRecord;
  void* Dataset = nullptr;  // the dataset component, handed to FilterRecord

protected:
  // The field definition and null bit number of FieldNo; Codes are the
  // visible and the direct-access error codes.
  const TQXLFieldDef& ChooseField(std::int32_t FieldNo, bool DirectAccess, std::int32_t VisibleCode,
                                  std::int32_t DirectCode, std::int32_t& NullBit) const;
};

}  // namespace qxl
