#pragma once
// The engine's cursor: binds the abstract cursor to a shared table data of
// its session's database. This class gives the services the engine's lower
// layers rely on (opening on a table data, field definitions and the record
// layout, record initialisation, table operations under the database lock,
// BLOB copies without decompression, constraint checks); navigation, filters,
// locate and the edit and post protocol are added by the dataset layer on top.
// Thread rule: table operations take the database data's lock, record work
// the table data's (the same re-entrant lock); a cursor is used by one thread.
#include <cstdint>
#include <memory>
#include <string>

#include "engine/core/abstract/QXLCursor.h"

class TQXLDatabaseData;
class TQXLTableData;

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
enum TQXLBookmarkFlag : std::uint8_t { bfCurrent = 0, bfBOF = 1, bfEOF = 2, bfInserted = 3 };

class TQXLLocalCursor : public TQXLCursor {
public:
  // Closed: no index, lists, buffers, database or table data; its own position cache.
  TQXLLocalCursor();
  // Closes the table. Raises nothing.
  ~TQXLLocalCursor() override;

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
  void LockTableData() override;
  void UnlockTableData() override;
  void RenameField(const std::string& FieldName, const std::string& NewFieldName) override;
  TQXLIndexDefs* GetIndexDefs() override;
  void AddIndex(TQXLIndexDef& IndexDef) override;
  // An unknown name raises 20018.
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
  // Every field NULL, the rest zero, bookmark flag "inserted"; an insert into
  // a table that is not temporary gets the column defaults.
  void InternalInitRecord(std::uint8_t* RecordBuffer, bool InsertMode) override;
  void FreeRecordBuffer(std::uint8_t*& Buffer) override;
  // The next, prior or current record of the cursor's view into its current
  // record buffer, under the table data's lock.
  TQXLGetRecordResult GetRecordBuffer(TQXLGetRecordMode GetRecordMode) override;
  std::int64_t LastAutoincValue(std::int32_t FieldNo) override;
  // An exception of the check becomes error code -8 with its message.
  bool CheckConstraints(bool ToInsert) override;

protected:
  // The open table data, or a clear error.
  TQXLTableData& Table() const;
  // The database the cursor works in: its table's, else its session's (10435).
  TQXLDatabaseData& Database() const;
  // Copies of the table's index and constraint definitions.
  void RefreshDefinitions();

  TQXLDatabaseData* FDatabaseData = nullptr;
  TQXLTableData* FTableData = nullptr;
};
