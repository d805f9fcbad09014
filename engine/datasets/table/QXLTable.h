#pragma once
// The table component: the dataset over one named table of a database. It
// opens a local cursor on the table, chooses the active index by name or by
// fields, searches by key and restricts the view to key ranges, follows a
// master dataset, and carries the table's maintenance: create, delete, empty
// and rename the table, rename a field, add and delete indexes.
// Thread rule: one thread; maintenance works on a cursor of its own opened
// for this component alone.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/datasets/dataset/QXLDataSet.h"
#include "engine/datasets/movers/QXLBatchMove.h"

namespace qxl {

class TQXLExportToSqlOptions;
class TQXLLocalCursor;
class TQXLStream;


class TDataSource;
class TMasterDataLink;
class TQXLTable;
class TQXLWaitForm;

// Progress of a long table operation; setting Continue to false stops it.
using TQXLProgressEvent = std::function<void(TQXLTable& Sender, std::int32_t PercentDone, bool& Continue)>;
using TQXLDataSetNotifyEvent = std::function<void(TQXLTable& DataSet)>;

// The long operations whose progress the table reports.
enum class TQXLTableOperation : std::uint8_t { Copy, Import, Export, Restructure, BatchMove };

class TQXLTable : public TQXLDataSet {
public:
  // The tries of the shared lock around a resync after a key search or a
  // range change, and of the exclusive lock of AddIndex.
  static constexpr std::int32_t ResyncLockTries = 900;
  static constexpr std::int32_t ResyncLockDelayMS = 100;
  static constexpr std::int32_t AddIndexLockTries = 50;
  static constexpr std::int32_t AddIndexLockDelayMS = 100;

  explicit TQXLTable(const TComponent* Owner = nullptr, bool OwnerInDesignMode = false);
  // Closes the table. Raises nothing.
  ~TQXLTable() override;

  const std::string& TableName() const { return FTableName; }
  void SetTableName(const std::string& Value);
  bool Exclusive() const { return FExclusive; }
  void SetExclusive(bool Value);
  bool Temporary() const { return FTemporary; }
  // True also names the database "TEMP".
  void SetTemporary(bool Value);
  bool DisableTempFiles = false;
  // Whether the table exists; false for any failure to find out.
  bool Exists();

  // The active index, chosen by name or by its fields (";"-separated); the
  // one not in use reads empty. An index that does not exist raises.
  std::string IndexName() const { return FFieldsIndex ? std::string() : FIndexName; }
  void SetIndexName(const std::string& Value) { SetIndex(Value, false); }
  std::string IndexFieldNames() const { return FFieldsIndex ? FIndexName : std::string(); }
  void SetIndexFieldNames(const std::string& Value) { SetIndex(Value, true); }
  // The field object of the active index's column Index.
  TField& GetIndexField(std::int32_t Index) const;
  // The dataset's index definitions, read from the table when outdated.
  void UpdateIndexDefs();
  void UpdateFieldDefs();

  // Master-detail: the table's view follows the master's record through
  // its index, the master's fields of MasterFields giving the key.
  TDataSource* MasterSource() const;
  // A source whose chain leads back to this table raises.
  void SetMasterSource(TDataSource* Value);
  const std::string& MasterFields() const;
  void SetMasterFields(const std::string& Value);
  TDataSource* GetDataSource() const override { return MasterSource(); }

  // Keys and ranges on the active index.
  void SetKey();
  void EditKey();
  void SetRangeStart();
  void EditRangeStart();
  void SetRangeEnd();
  void EditRangeEnd();
  // Only in the set-key state.
  bool KeyExclusive() const;
  void SetKeyExclusive(bool Value);
  std::int32_t KeyFieldCount() const;
  void SetKeyFieldCount(std::int32_t Value);
  // Values in index column order; more values than the index has columns raise.
  bool FindKey(const std::vector<Variant>& KeyValues);
  void FindNearest(const std::vector<Variant>& KeyValues);
  bool GotoKey();
  // Nothing at or after the key leaves the table on its last record.
  void GotoNearest();
  void SetRange(const std::vector<Variant>& StartValues, const std::vector<Variant>& EndValues);
  void ApplyRange();
  void CancelRange();

  // Structure. Create, delete, rename and the field and index changes raise
  // inside a transaction; a failure stores nothing.
  void CreateTable();
  void DeleteTable();
  void EmptyTable();
  void RenameTable(const std::string& NewTableName);
  void RenameField(const std::string& FieldName, const std::string& NewFieldName);
  // 20228 while another user has the table open.
  void AddIndex(const std::string& Name, const std::string& Fields, TIndexOptions Options,
                const std::string& DescFields = "", const std::string& CaseInsFields = "");
  void DeleteIndex(const std::string& Name);
  void DeleteAllIndexes();
  std::string FindOrCreateIndex(const std::vector<std::string>& FieldNamesList,
                                const std::vector<std::string>& AscDescList,
                                const std::vector<std::string>& CaseSensitivityList, bool& IsCreated);
  bool IndexExists(const std::vector<std::string>& FieldNamesList, const std::vector<std::string>& AscDescList,
                   const std::vector<std::string>& CaseSensitivityList);
  void ApplyDistinct(const std::vector<std::string>& FieldNamesList, const std::vector<std::string>& AscDescList,
                     const std::vector<std::string>& CaseSensitivityList);
  // The other dataset's distinct view on this table.
  void ApplyDistinct(TQXLDataSet& DataSet);
  std::int64_t LastAutoincValue(std::int32_t FieldIndex);
  std::int64_t LastAutoincValue(const std::string& FieldName);
  bool IsRecordLocked();
  // Opens the table once in repair mode, for a rebuild to read it.
  void RepairOpen();
  // The table as an SQL script, as ExportToSqlOptions chooses. The table must
  // be inactive. Into a stream at its position and into a file (created,
  // replacing one that exists) the text goes in the 8-bit code page; the
  // string form answers UTF-8.
  TQXLExportToSqlOptions& ExportToSqlOptions() const { return *FExportToSqlOptions; }
  void SetExportToSqlOptions(const TQXLExportToSqlOptions& Value);
  void ExportToSQL(TQXLStream& Stream);
  void ExportToSQL(const std::string& FileName);
  std::string ExportToSQL();

  // Whole-table moves. CopyTable copies the table into NewTableName of its
  // own database (empty DestDatabaseFileName), of "MEMORY" or of another
  // database file; false when the copy was stopped or, with IgnoreErrors,
  // when the new table could not be made. The short form logs nowhere,
  // ignores no error, keeps an existing table and copies the indexes.
  bool CopyTable(const std::string& NewTableName, std::string& Log, bool& Continue,
                 const std::string& DestDatabaseFileName, const std::string& DestDatabasePassword, bool IgnoreErrors,
                 bool OverwriteExistingTable, bool CopyIndexes, std::int32_t MinProgress, std::int32_t MaxProgress);
  bool CopyTable(const std::string& NewTableName, const std::string& DestDatabaseFileName = "",
                 const std::string& DestDatabasePassword = "");

  // ImportTable makes the (inactive) table anew from SourceTable's structure
  // and fills it; ExportTable fills DestinationTable, which
  // CreateTablePointer makes, from the table. Both log every problem and
  // answer whether the log stayed as it was; the short forms keep no log.
  bool ImportTable(TDataSet& SourceTable, std::string& Log, const TIndexDefs* aIndexDefs);
  bool ImportTable(TDataSet& SourceTable);
  bool ExportTable(TDataSet& DestinationTable, const std::function<void()>& CreateTablePointer, std::string& Log);
  bool ExportTable(TDataSet& DestinationTable, const std::function<void()>& CreateTablePointer);

  // Merges SourceTableOrQuery's records into this table by key (see
  // QXLBatchMove.h); records that cannot be inserted are skipped and raised
  // about, with their count, after the move.
  void BatchMove(TQXLDataSet& SourceTableOrQuery, TQXLBatchMoveType MoveType,
                 const std::string& DstTableIndexNameToIdentifyEqualRecords = "");

  // Gives the (inactive) table the structure of RestructureFieldDefs and
  // RestructureIndexDefs, keeping its records: a field keeps its values
  // under a new name, a dropped one loses them, a new one starts NULL. Any
  // failure leaves the table as it was.
  bool RestructureTable(std::string& Log);
  bool RestructureTable();

  // A cursor made outside (a query result); the table opens on it and never frees it.
  void SetExternalHandle(TQXLCursor* Value) { FExternalHandle = Value; }

  // What a provider asks of the table: its name, the order it gives (the
  // chosen index, else the first primary, else the first unique index whose
  // fields all exist; nullptr for none), its key fields (the fields of the
  // first primary or unique index whose fields all have field objects, else
  // every field), and parameters as the range (values in index column order;
  // none cancels the range).
  const std::string& PSGetTableName() const { return FTableName; }
  void PSSetCommandText(const std::string& Text) { SetTableName(Text); }
  const TIndexDef* PSGetDefaultOrder();
  std::string PSGetKeyFields();
  void PSSetParams(const std::vector<Variant>& Values);

  // The events of the long operations; without them, unless the database is
  // silent or the table temporary, a wait window shows the progress and its
  // Abort button stops the operation.
  TQXLDataSetNotifyEvent BeforeCopy, AfterCopy, BeforeImport, AfterImport, BeforeExport, AfterExport;
  TQXLDataSetNotifyEvent BeforeRestructure, AfterRestructure, BeforeBatchMove, AfterBatchMove;
  TQXLProgressEvent OnCopyProgress, OnImportProgress, OnExportProgress, OnRestructureProgress, OnBatchMoveProgress;
  void DoBeforeOperation(TQXLTableOperation Operation);
  // False when the operation is to stop.
  bool DoOperationProgress(TQXLTableOperation Operation, std::int32_t PercentDone);
  void DoAfterOperation(TQXLTableOperation Operation);

protected:
  TQXLCursor* CreateCursorHandle() override;
  void ApplyMasterRange() override;
  void DoOnNewRecord() override;
  void EndKeyEdit(bool Posted) override;

private:
  // A local cursor on the table, opened; field definitions read when asked.
  std::unique_ptr<TQXLLocalCursor> OpenLocalCursor(bool WithFieldDefs);
  // A cursor for a structure change: opened for this component alone, or only made.
  std::unique_ptr<TQXLLocalCursor> NewMaintenanceCursor();
  // The open cursor in browse mode, or else a local cursor opened into Temporary.
  TQXLCursor* StructureCursor(std::unique_ptr<TQXLLocalCursor>& Temporary);
  void CheckTableName() const;
  void CheckNotInTransaction(std::int32_t Code, const char* Operation) const;
  void SetIndex(const std::string& Value, bool FieldsIndex);
  // The index name of Value, checked against Cursor's indexes when there is one.
  std::string ResolveIndexName(const std::string& Value, bool FieldsIndex, TQXLCursor* Cursor);
  void ReadIndexDefsFrom(TQXLCursor& Cursor);
  void EditKeyBuffer(TKeyIndex Index, bool Clear);
  // Fills a key with values in index column order.
  void SetKeyFields(TKeyIndex Index, const std::vector<Variant>& Values);
  void SetKeyFromMaster(TKeyIndex Index);
  // Runs Step with the shared table lock held where it can be had.
  void UnderSharedLock(std::int32_t NoCursorCode, const std::function<void()>& Step);
  void ResyncUnderSharedLock(bool Exact);
  // Moves to the first record with the shared table lock held where it can be had.
  void FirstUnderSharedLock();
  std::int32_t KeyInfoOffset() const;
  void MasterChanged();
  void MasterDisabled();
  // Whether the wait window stays away: a silent database or a temporary table.
  bool QuietProgress();
  // Normalises and checks the SQL-level definitions for CreateTable.
  void PrepareFieldDefsForCreate();
  void PrepareIndexDefsForCreate();

  std::string FTableName;
  bool FExclusive = false;
  bool FTemporary = false;
  std::string FIndexName;
  bool FFieldsIndex = false;
  bool FIndexDefsOutdated = true;
  bool FIsRepairing = false;
  std::unique_ptr<TMasterDataLink> FMasterLink;
  std::unique_ptr<TQXLWaitForm> FWaitForm;
  std::unique_ptr<TQXLExportToSqlOptions> FExportToSqlOptions;
};

}  // namespace qxl
