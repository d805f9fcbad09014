#include "engine/storage/memory/QXLVolatileTableData.h"

#include <mutex>
#include <vector>

#include "engine/core/abstract/QXLCursor.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/containers/QXLMemoryManager.h"
#include "engine/storage/pager/QXLPageSavepoint.h"
#include "engine/core/streams/QXLOwningBLOBStream.h"

namespace qxl {

void TQXLVolatileTableData::TearDown() noexcept {
  try {
    EmptyTable(nullptr);
    DeleteAllIndexes(nullptr);
    if (OwnPages()) OwnPages()->ApplyChanges(QXLSystemSessionID);
  } catch (...) {
    // Everything the table holds is in memory or in temporary files that go with it.
  }
  // The indexes use the page manager; they go first.
  FIndexManager.reset();
  SetPageManager(nullptr);
}

void TQXLVolatileTableData::CreateFieldManager(TQXLFieldDefs& FieldDefs) {
  FFieldManager.reset();
  TQXLTableData::CreateFieldManager(FieldDefs);
}

void TQXLVolatileTableData::CreateIndexManager(TQXLIndexDefs& IndexDefs) {
  FIndexManager.reset();
  FIndexManager = std::make_unique<TQXLBaseIndexManager>(this, PageManager(), FIndexFactory);
  TQXLTableData::CreateIndexManager(IndexDefs);
}

void TQXLVolatileTableData::DeleteTable(TQXLCursor* Cursor, bool DesignMode) {
  TQXLTableData::DeleteTable(Cursor, DesignMode);
  if (DesignMode && !FCursorList.empty()) return;
  FDatabaseData->FreeTableData(this);
}

void TQXLVolatileTableData::OpenTable(TQXLCursor* Cursor) {
  SetTableName(Cursor->FTableName);
  TQXLTableData::OpenTable(Cursor);
}

void TQXLVolatileTableData::AddIndex(TQXLIndexDef& IndexDef, TQXLCursor* Cursor) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  TQXLTableData::AddIndex(IndexDef, Cursor);
  ApplyOwnPages(Cursor);
}

void TQXLVolatileTableData::DeleteIndex(std::int32_t IndexID, TQXLCursor* Cursor) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  TQXLTableData::DeleteIndex(IndexID, Cursor);
  if (!Cursor) {
    if (OwnPages()) OwnPages()->ApplyChanges(QXLSystemSessionID);
    return;
  }
  ApplyOwnPages(Cursor);
}

void TQXLVolatileTableData::ApplyOwnPages(TQXLCursor* Cursor) {
  if (Cursor) TQXLTableData::ApplyChanges(Cursor->SessionID(), false);
}

void TQXLVolatileTableData::FreeDirectBlobData(TQXLCursor*, std::int32_t, std::uint8_t*,
                                               TQXLPartialTemporaryBLOBDescriptor&, void*& pBlobData) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  QXLMemoryManager().FreeAndNillMem(pBlobData);
}

bool TQXLVolatileTableData::IsBlobField(std::int32_t FieldNo) const {
  if (!FFieldManager || FieldNo < 0 || FieldNo >= FFieldManager->FieldDefs().Count()) return false;
  return IsBlobBaseFieldType(FFieldManager->FieldDefs().GetDef(FieldNo)->BaseFieldType);
}

void TQXLVolatileTableData::CheckBlobField(std::int32_t FieldNo) const {
  if (!IsBlobField(FieldNo))
    throw platform::Exception(platform::Format("Field %d of table '%s' is not a BLOB field", FieldNo, FTableName));
}

std::unique_ptr<TQXLTemporaryStream> TQXLVolatileTableData::NewWorkStream() const {
  return std::make_unique<TQXLTemporaryStream>(DisableTempFiles());
}

std::unique_ptr<TQXLStream> TQXLVolatileTableData::NewBlobStream(std::int32_t FieldNo,
                                                                 std::unique_ptr<TQXLTemporaryStream> Work,
                                                                 std::int32_t NumBlocks,
                                                                 std::int64_t UncompressedSize) const {
  const TQXLFieldDef& Field = *FFieldManager->FieldDefs().GetDef(FieldNo);
  TQXLBLOBDescriptor D;
  D.BlockSize = Field.BLOBBlockSize;
  D.CompressionAlgorithm = Field.BLOBCompressionAlgorithm;
  D.CompressionMode = Field.BLOBCompressionMode;
  if (!Work) return std::make_unique<TQXLOwningBLOBStream>(NewWorkStream(), D, true);
  Work->SetPosition(0);
  D.NumBlocks = NumBlocks;
  D.UncompressedSize = UncompressedSize;
  return std::make_unique<TQXLOwningBLOBStream>(std::move(Work), D, false);
}

bool TQXLVolatileTableData::ChangeWhole(TQXLCursor* Cursor,
                                        const std::function<bool(const TUndo& Undo)>& Change) {
  std::vector<std::function<void()>> Undos;
  struct TTakeBack {
    std::vector<std::function<void()>>& Undos;
    bool Done = false;
    ~TTakeBack() {
      if (Done) return;
      for (auto It = Undos.rbegin(); It != Undos.rend(); ++It) try {
          (*It)();
        } catch (...) {
          // The change's own error is the one to report.
        }
    }
  };
  // Declared before the undos run, so that the pages go back after the records.
  TQXLPageSavepoint Pages(*OwnPages(), Cursor->SessionID());
  TTakeBack TakeBack{Undos};
  if (!Change([&](std::function<void()> Undo) { Undos.push_back(std::move(Undo)); })) return false;
  TakeBack.Done = true;
  Pages.Release();
  return true;
}

}  // namespace qxl
