#pragma once
// What the tables of the in-memory and the temporary database share: their
// teardown, their own page manager for the indexes (changes reach it at
// once: these databases have no transaction over them), the managers they
// build alike, the checks of BLOB fields, the making of BLOB streams, and a
// record change that is whole or not at all.
//
// Thread rule: as the derived tables; record, BLOB and record-number
// operations run under the table lock (the database's lock).
#include <cstdint>
#include <functional>
#include <memory>

#include "engine/core/QXLException.h"
#include "engine/core/streams/QXLTemporaryStream.h"
#include "engine/core/abstract/QXLTableData.h"
#include "engine/storage/pager/QXLPageManager.h"

namespace qxl {

class TQXLIndexFactory;


class TQXLVolatileTableData : public TQXLTableData {
public:
  TQXLVolatileTableData(TQXLDatabaseData* aDatabaseData, TQXLIndexFactory* IndexFactory)
      : TQXLTableData(aDatabaseData), FIndexFactory(IndexFactory) {}

  void CreateFieldManager(TQXLFieldDefs& FieldDefs) override;
  void CreateIndexManager(TQXLIndexDefs& IndexDefs) override;
  // Frees the table unless DesignMode keeps it for cursors still open on it;
  // the caller must not touch it afterwards.
  void DeleteTable(TQXLCursor* Cursor, bool DesignMode) override;
  void OpenTable(TQXLCursor* Cursor) override;
  void AddIndex(TQXLIndexDef& IndexDef, TQXLCursor* Cursor) override;
  void DeleteIndex(std::int32_t IndexID, TQXLCursor* Cursor) override;
  void FreeDirectBlobData(TQXLCursor* Cursor, std::int32_t FieldNo, std::uint8_t* RecordBuffer,
                          TQXLPartialTemporaryBLOBDescriptor& BLOBDescriptor, void*& pBlobData) override;

protected:
  // The table's own page manager, or null before it has one.
  TQXLPageManager* OwnPages() const { return static_cast<TQXLPageManager*>(PageManager()); }
  // Empties the table and drops its indexes; called by the derived
  // destructor, which raises nothing.
  void TearDown() noexcept;
  // Commits the table's own pages in the cursor's session.
  void ApplyOwnPages(TQXLCursor* Cursor);

  template <typename TRecords>
  TRecords& RecordsAs(std::int32_t NilCode) const {
    if (!FRecordManager) throw EQXLException(NilCode, "Nil pointer occured");
    return static_cast<TRecords&>(*FRecordManager);
  }

  bool IsBlobField(std::int32_t FieldNo) const;
  // Raises for a field that is not a BLOB field of the table.
  void CheckBlobField(std::int32_t FieldNo) const;
  // A work stream for a BLOB value, in memory when temporary files are off.
  std::unique_ptr<TQXLTemporaryStream> NewWorkStream() const;
  // The compressed BLOB stream of a BLOB field over Work: an empty value when
  // Work is null, else the value whose compressed bytes Work holds.
  std::unique_ptr<TQXLStream> NewBlobStream(std::int32_t FieldNo, std::unique_ptr<TQXLTemporaryStream> Work,
                                            std::int32_t NumBlocks, std::int64_t UncompressedSize) const;

  // Runs one record change of the cursor's session whole or not at all: the
  // index pages it changed are taken back when Change raises or answers
  // false, and so is what it registered through Undo, last first.
  using TUndo = std::function<void(std::function<void()>)>;
  bool ChangeWhole(TQXLCursor* Cursor, const std::function<bool(const TUndo& Undo)>& Change);

  TQXLIndexFactory* FIndexFactory;
};

}  // namespace qxl
