#pragma once
// The engine's cursor: binds the abstract cursor to a shared table data of
// its session's database. It keeps private copies of the table's definitions
// and the record layout, reads in physical or index order with filters,
// ranges and DISTINCT, finds records by Locate and FindKey, opens BLOB
// streams on its record, and changes records under the cross-process table
// and record locks of a multi-user database file, reporting a failed record
// operation as an error code from -1 to -13 instead of raising.
// Thread rule: table operations take the database data's lock, record work
// the table data's (the same re-entrant lock), which the lock loops leave
// while they pause; a cursor is used by one thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>
#include <string>

#include "engine/core/abstract/QXLCursor.h"
#include "engine/datasets/base/DataSetTypes.h"

namespace qxl {

class TQXLDatabaseData;
class TQXLDiskTableData;
class TQXLTableData;

class TQXLLocalBLOBStream;

// The dataset layer's 6 bytes at a key buffer's FKeyOffset.
#pragma pack(push, 1)
struct TQXLKeyInfo {
  std::uint8_t Modified = 0;
  std::uint8_t Exclusive = 0;
  std::int32_t FieldCount = 0;
};
#pragma pack(pop)
static_assert(sizeof(TQXLKeyInfo) == 6);

// The byte at FBookmarkOffset + 6 of a record buffer.
// The dataset's own bookmark flags, whose values the byte stores.
using TQXLBookmarkFlag = TBookmarkFlag;

class TQXLLocalCursor : public TQXLCursor {
public:
  // Closed: no index, lists, buffers, database or table data; its own position cache.
  TQXLLocalCursor();
  // Closes the table. Raises nothing.
  ~TQXLLocalCursor() override;

  // The tries and pauses of the record operations' locks.
  static constexpr std::int32_t EditTableLockTries = 900;
  static constexpr std::int32_t EditTableLockDelayMS = 100;
  static constexpr std::int32_t RecordLockTries = 15;
  static constexpr std::int32_t RecordLockDelayMS = 100;
  static constexpr std::int32_t PostLockTries = 2250;
  static constexpr std::int32_t PostLockPauseMS = 40;
  static constexpr std::int32_t DeleteLockTries = 900;
  static constexpr std::int32_t DeleteLockPauseMS = 100;
  static constexpr std::int32_t BlobLockTries = 2250;
  static constexpr std::int32_t BlobLockDelayMS = 40;

  // Opens on an already open table data of the session's database.
  void OpenTable(TQXLTableData* TableData);
  TQXLTableData* TableData() const { return FTableData; }
  TQXLDatabaseData* DatabaseData() const { return FDatabaseData; }

  void CreateTable(TQXLFieldDefs& FieldDefs, TQXLIndexDefs& IndexDefs, TQXLConstraintDefs& ConstraintDefs) override;
  void DeleteTable() override;
  void EmptyTable() override;
  void RenameTable(const std::string& NewTableName) override;
  void InternalInitFieldDefs() override;
  void OpenTableByFieldDefs(TQXLFieldDefs* FieldDefs, TQXLIndexDefs* IndexDefs,
                            TQXLConstraintDefs* ConstraintDefs) override;
  void CloseTable() override;
  // Refuse a closed cursor with 10260 and 10261.
  void LockTableData() override;
  void UnlockTableData() override;
  // A disk table's locks for the session; any other table grants at once.
  // A closed cursor raises 20221 and 20222.
  bool LockTable(TQXLLockType LockType, std::int32_t TryCount, std::int32_t Delay, bool AllowXIRWAfterSIRW) override;
  bool UnlockTable(TQXLLockType LockType, bool IgnoreIfNoLock) override;
  void RenameField(const std::string& FieldName, const std::string& NewFieldName) override;
  TQXLIndexDefs* GetIndexDefs() override;
  // An existing name raises 20022.
  void AddIndex(TQXLIndexDef& IndexDef) override;
  // An unknown name raises 20021.
  void DeleteIndex(const std::string& Name) override;
  void DeleteAllIndexes() override;
  std::string FindOrCreateIndex(const std::vector<std::string>& FieldNamesList,
                                const std::vector<std::string>& AscDescList,
                                const std::vector<std::string>& CaseSensitivityList, bool& IsCreated) override;
  bool IndexExists(const std::vector<std::string>& FieldNamesList, const std::vector<std::string>& AscDescList,
                   const std::vector<std::string>& CaseSensitivityList) override;
  // BLOB values travel compressed; NULL only sets the destination's null bit.
  void CopyFieldValue(std::int32_t SrcFieldNo, bool DirectAccess, std::int32_t DestFieldNo,
                      TQXLCursor* DestCursor) override;
  // Every field NULL and the rest of the memory record zero; nothing from
  // the bookmark on. An insert into a table that is not temporary gets the
  // column defaults.
  void InternalInitRecord(std::uint8_t* RecordBuffer, bool InsertMode) override;
  void FreeRecordBuffer(std::uint8_t*& Buffer) override;
  // The next, prior or current record of the cursor's view into its current
  // record buffer, under the table data's lock.
  TQXLGetRecordResult GetRecordBuffer(TQXLGetRecordMode GetRecordMode) override;
  std::int64_t GetRecordCount() override;
  void SetRecNo(std::int64_t Value) override;
  std::int64_t GetRecNo() override;
  // -1, 0 or 1 by the active index, then by page and item number; a record
  // that cannot be read sorts first as RecordID1 and last as RecordID2.
  std::int32_t CompareRecordsOrder(const TQXLPageItemID& RecordID1, const TQXLPageItemID& RecordID2) override;
  void InternalFirst() override;
  void InternalLast() override;
  void InternalInsert() override {}

  // The record protocol: each leaves ErrorCode (and for -8 ErrorMessage)
  // instead of raising for a refused lock or a record changed meanwhile.
  void InternalEdit() override;
  void InternalCancel(bool ToInsert) override;
  void InternalPost(bool ToInsert) override;
  void InternalDelete() override;
  // Whether another session holds the lock of the current buffer's record.
  bool IsRecordLocked() override;

  void ApplyDistinct(const std::vector<std::string>& FieldNamesList, const std::vector<std::string>& AscDescList,
                     const std::vector<std::string>& CaseSensitivityList) override;
  // Without a registered expression engine these raise 10438.
  void ActivateFilters(const std::string& FilterText, bool CaseInsensitive, bool PartialKey) override;
  void DeactivateFilters() override;
  bool Locate(const std::string& KeyFields, const Variant& KeyValues, bool CaseInsensitive, bool PartialKey) override;
  bool IsAnyRecordMatchCondition(const std::string& FieldName, TQXLDataOperator Operator,
                                 const TQXLVariant& Value) override;
  // On the active index (20258 without one) with FKeyBuffer; a key field
  // count of 0 means every column of the index, one beyond them 10439.
  bool FindKey(TQXLSearchCondition SearchCondition) override;

  // Any number of readers and one writer per field (10115); a record only
  // being read is fetched again first when no stream is open. Null when the
  // shared table lock (ErrorCode -13) or that fetch fails. The stream
  // belongs to the cursor and tells its user stream when it is freed.
  TQXLStream* InternalCreateBlobStream(bool ToInsert, bool ToEdit, std::int32_t FieldNo, TQXLBLOBOpenMode OpenMode,
                                       bool CanDoGetRecordBuffer) override;
  // Closes the field's streams, storing a writer's content in the current record.
  void InternalCloseBLOB(std::int32_t FieldNo) override;
  void ClearBLOBStreams(bool WriteOnly) override;
  std::int64_t LastAutoincValue(std::int32_t FieldNo) override;

  // A batch defers the disk table's commit of each change to its end.
  void BeginBatchUpdate() override;
  void EndBatchUpdate() override;
  void CancelBatchUpdate() override;
  // Checks the current record without raising; a failure leaves -8.
  bool CheckConstraints(bool ToInsert) override;

protected:
  // The open table data, or a clear error.
  TQXLTableData& Table() const;
  // The database the cursor works in: its table's, else its session's (10435).
  TQXLDatabaseData& Database() const;
  // Copies of the table's index and constraint definitions.
  void RefreshDefinitions();
  // The open table when it is a disk table of a multi-user session, else null.
  TQXLDiskTableData* SharedDiskTable() const;
  bool IsTemporaryTable() const;
  bool InTransaction() const;
  bool IsMultiUser() const;
  // Takes Lock by single tries, leaving the table's lock for each pause.
  bool LockTableByPauses(TQXLLockType Lock, std::int32_t Tries, std::int32_t PauseMS);
  // The record identity in the current buffer's bookmark bytes.
  TQXLPageItemID BookmarkRecordID() const;
  enum class TRefetch { Missing, Changed, Same };
  // Reads the stored record of CurrentRecordID and tells whether its stored
  // form still equals Expected's; the current buffer stays as it is.
  TRefetch RefetchCurrent(const std::uint8_t* Expected);
  // Runs Operation on the table object of TableName, made when missing
  // (NilCode when none can be had), with the cursor closed.
  void RunTableOperation(std::int32_t NilCode, const std::function<void(TQXLTableData&)>& Operation);
  void CheckTableExists(std::int32_t Code);
  void ReleaseUnusedTableObject(TQXLTableData* Table);
  void PostBody(bool ToInsert);
  void DeleteBody();
  void CloseBlobEntry(std::size_t At);
  qxl::TQXLLocalBLOBStream& BlobEntry(std::size_t At) const;

  TQXLDatabaseData* FDatabaseData = nullptr;
  TQXLTableData* FTableData = nullptr;
  // Where a change reads the stored record back; kept to spare an allocation per change.
  std::uint8_t* FRefetchBuffer = nullptr;
  std::int32_t FRefetchBufferSize = 0;
};

}  // namespace qxl
