#pragma once
// One append-only table of the temporary database, such as a query's result:
// records in a temporary record manager, index pages in a temporary page
// manager, BLOB values appended to a BLOB file of the table's own. Records,
// pages and BLOB values move to temporary files beyond their share of memory
// unless the creating cursor disabled temporary files. Thread rule: record,
// BLOB and record-number operations take the table lock for their whole run.
#include <cstdint>
#include <functional>
#include <memory>

#include "engine/storage/memory/QXLVolatileTableData.h"

namespace qxl {

class TQXLTemporaryPageManager;
class TQXLTemporaryRecordManager;

// The free memory that sizes a new table's shares of memory.
using TQXLFreeMemorySource = std::function<std::int64_t()>;

class TQXLTemporaryTableData : public TQXLVolatileTableData {
public:
  // IndexFactory makes the table's index objects; it must outlive the table.
  TQXLTemporaryTableData(TQXLDatabaseData* aDatabaseData, std::int32_t RecordsPerPage, std::int32_t AllocRecordsBy,
                         TQXLIndexFactory* IndexFactory, TQXLFreeMemorySource FreeMemory);
  // Frees records, indexes, pages and the BLOB file. Raises nothing.
  ~TQXLTemporaryTableData() override;

  void CreateRecordManager() override;
  void CreateConstraintManager(TQXLConstraintDefs& ConstraintDefs) override;
  // No fields: 10132, in the form editor too.
  void CreateTable(TQXLCursor* Cursor, TQXLFieldDefs& FieldDefs, TQXLIndexDefs& IndexDefs,
                   TQXLConstraintDefs& ConstraintDefs) override;
  void EmptyTable(TQXLCursor* Cursor) override;

  std::int64_t GetRecordBitmapSize(std::int32_t SessionID) override;
  std::int64_t RecordIDToBitNo(const TQXLPageItemID& RecordID) override;
  TQXLPageItemID BitNoToRecordID(std::int64_t BitNo) override;

  // The stream is the value's compressed BLOB stream.
  void WriteBLOBFieldToRecordBuffer(TQXLCursor* Cursor, std::int32_t FieldNo, TQXLStream& BLOBStream) override;
  std::unique_ptr<TQXLStream> InternalCreateBlobStream(TQXLCursor* Cursor, bool ToInsert, std::int32_t FieldNo,
                                                       TQXLBLOBOpenMode OpenMode) override;
  void GetDirectBlobData(TQXLCursor* Cursor, std::int32_t FieldNo, std::uint8_t* RecordBuffer,
                         TQXLPartialTemporaryBLOBDescriptor& BLOBDescriptor, void*& pBlobData) override;
  void SetDirectBlobData(TQXLCursor* Cursor, std::int32_t FieldNo, std::uint8_t* RecordBuffer,
                         TQXLPartialTemporaryBLOBDescriptor& BLOBDescriptor, void*& pBlobData) override;

  // Whole or not at all.
  bool InsertRecord(TQXLCursor*& Cursor) override;
  // Records are never deleted or changed: false.
  bool DeleteRecord(TQXLCursor* Cursor) override;
  bool UpdateRecord(TQXLCursor* Cursor) override;

  void InternalSetRecNo(TQXLCursor* Cursor, std::int64_t RecNo) override;
  std::int64_t InternalGetRecNo(TQXLCursor* Cursor) override;
  std::int64_t InternalGetRecordCount(TQXLCursor* Cursor) override;

  TQXLTemporaryPageManager* TemporaryPageManager() const { return FTemporaryPageManager.get(); }
  TQXLStream* BLOBFile() const { return FBLOBFile.get(); }

private:
  TQXLTemporaryRecordManager& Records(std::int32_t NilCode) const;
  void CreateBLOBFile();
  TQXLStream& CheckedBLOBFile(std::int32_t NilCode) const;
  // The offset a BLOB field of RecordBuffer holds.
  std::int64_t OffsetOf(const std::uint8_t* RecordBuffer, std::int32_t FieldNo) const;
  // Appends a value (descriptor, then Size bytes from Source) and stores its offset in the field.
  void AppendValue(std::uint8_t* RecordBuffer, std::int32_t FieldNo, const TQXLPartialTemporaryBLOBDescriptor& D,
                   TQXLStream* Source, const void* Bytes, std::int32_t SeekCode, std::int32_t WriteCode);
  // Reads the descriptor of the value at Offset; the file is left after it.
  TQXLPartialTemporaryBLOBDescriptor ReadDescriptor(std::int64_t Offset, std::int32_t SeekCode,
                                                    std::int32_t ReadCode) const;

  std::unique_ptr<TQXLStream> FBLOBFile;
  std::int32_t FRecordsPerPage;
  std::int32_t FAllocRecordsBy;
  TQXLFreeMemorySource FFreeMemory;
  std::unique_ptr<TQXLTemporaryPageManager> FTemporaryPageManager;
};

}  // namespace qxl
