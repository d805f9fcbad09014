#pragma once
// One table of the in-memory database: its records in a memory record
// manager, its index pages in a memory page manager of its own, its BLOB
// values in memory blocks. Nothing of it reaches a disk; it lives until it is
// deleted or its database goes. A record change inside a transaction of its
// session is refused: nothing here could be taken back by the rollback.
// Thread rule: record, BLOB and record-number operations take the table lock
// (the database's lock) for their whole run.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/storage/memory/QXLMemoryBlobBlocks.h"
#include "engine/storage/memory/QXLVolatileTableData.h"

namespace qxl {

class TQXLMemoryPageManager;
class TQXLMemoryRecordManager;

class TQXLMemoryTableData : public TQXLVolatileTableData {
public:
  // IndexFactory makes the table's index objects; it must outlive the table.
  TQXLMemoryTableData(TQXLDatabaseData* aDatabaseData, std::int32_t AllocRecordsBy, TQXLIndexFactory* IndexFactory);
  // Frees the records, indexes and BLOB blocks. Raises nothing.
  ~TQXLMemoryTableData() override;

  void CreateRecordManager() override;
  // Only PRIMARY KEY, UNIQUE, NOT NULL and CHECK (30040).
  void CreateConstraintManager(TQXLConstraintDefs& ConstraintDefs) override;
  // No fields: 10025 outside the form editor.
  void CreateTable(TQXLCursor* Cursor, TQXLFieldDefs& FieldDefs, TQXLIndexDefs& IndexDefs,
                   TQXLConstraintDefs& ConstraintDefs) override;
  // Inside a transaction of the cursor's session: 20182.
  void EmptyTable(TQXLCursor* Cursor) override;

  // Bits are numbered by position, so a bitmap covers every position up to the last record.
  std::int64_t GetRecordBitmapSize(std::int32_t SessionID) override;
  std::int64_t RecordIDToBitNo(const TQXLPageItemID& RecordID) override;
  TQXLPageItemID BitNoToRecordID(std::int64_t BitNo) override;

  // The stream is the value's compressed BLOB stream, as InternalCreateBlobStream makes it.
  void WriteBLOBFieldToRecordBuffer(TQXLCursor* Cursor, std::int32_t FieldNo, TQXLStream& BLOBStream) override;
  void ClearBLOBFieldInRecordBuffer(std::uint8_t* RecordBuffer, std::int32_t FieldNo) override;
  // A compressed BLOB stream over a work stream of its own.
  std::unique_ptr<TQXLStream> InternalCreateBlobStream(TQXLCursor* Cursor, bool ToInsert, std::int32_t FieldNo,
                                                       TQXLBLOBOpenMode OpenMode) override;
  void GetDirectBlobData(TQXLCursor* Cursor, std::int32_t FieldNo, std::uint8_t* RecordBuffer,
                         TQXLPartialTemporaryBLOBDescriptor& BLOBDescriptor, void*& pBlobData) override;
  void SetDirectBlobData(TQXLCursor* Cursor, std::int32_t FieldNo, std::uint8_t* RecordBuffer,
                         TQXLPartialTemporaryBLOBDescriptor& BLOBDescriptor, void*& pBlobData) override;

  // Whole or not at all; inside a transaction of the cursor's session: 20182.
  bool InsertRecord(TQXLCursor*& Cursor) override;
  bool DeleteRecord(TQXLCursor* Cursor) override;
  bool UpdateRecord(TQXLCursor* Cursor) override;

  void InternalSetRecNo(TQXLCursor* Cursor, std::int64_t RecNo) override;
  std::int64_t InternalGetRecNo(TQXLCursor* Cursor) override;
  std::int64_t InternalGetRecordCount(TQXLCursor* Cursor) override;
  std::int64_t LastAutoincValue(std::int32_t FieldNo, TQXLBaseSession* Session) override;

  std::int32_t AllocRecordsBy() const { return FAllocRecordsBy; }
  TQXLMemoryPageManager& MemoryPageManager() const { return *FMemoryPageManager; }
  const TQXLMemoryBlobBlocks& BlobBlocks() const { return FBlobBlocks; }

private:
  TQXLMemoryRecordManager& Records(std::int32_t NilCode) const;
  // Raises 20182 naming Operation while the cursor's session is in a transaction.
  static void RefuseInTransaction(const TQXLCursor* Cursor, const char* Operation);
  // The block a BLOB field of RecordBuffer names; null for NULL.
  void* BlobOf(const std::uint8_t* RecordBuffer, std::int32_t FieldNo) const;
  void SetBlob(std::uint8_t* RecordBuffer, std::int32_t FieldNo, void* Block) const;
  // Every block RecordBuffer names; none for a null buffer.
  std::vector<void*> BlobsOf(const std::uint8_t* RecordBuffer) const;
  // The record the cursor would show after (else before) D, if any.
  bool FindNeighbour(TQXLCursor* Cursor, const TQXLPageItemID& D, TQXLPageItemID& Neighbour);
  // Shows the cursor's changed record in its active bitmap when its view shows it, else hides it.
  void ShowChangedRecord(TQXLCursor* Cursor);

  std::int32_t FAllocRecordsBy;
  std::unique_ptr<TQXLMemoryPageManager> FMemoryPageManager;
  TQXLMemoryBlobBlocks FBlobBlocks;
};

}  // namespace qxl
