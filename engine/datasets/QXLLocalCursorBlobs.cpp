// The BLOB streams of the local cursor's current record: any number of
// readers of a field beside at most one writer, whose content goes into the
// record buffer when the stream closes.
#include <memory>
#include <mutex>

#include "engine/core/streams/QXLCompressedBLOBStream.h"
#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/abstract/QXLTableData.h"
#include "engine/datasets/QXLLocalBLOBStream.h"
#include "engine/datasets/QXLLocalCursor.h"
#include "engine/storage/disk/QXLDiskTableData.h"

namespace qxl {

namespace {

constexpr const char* InvalidFieldNo = "Invalid field number - FieldNo = %d, FieldCount = %d";

bool IsWriting(TQXLBLOBOpenMode Mode) { return Mode == bomWrite || Mode == bomReadWrite; }

}  // namespace

TQXLLocalBLOBStream& TQXLLocalCursor::BlobEntry(std::size_t At) const {
  auto* entry = dynamic_cast<TQXLLocalBLOBStream*>(FBLOBStreams.at(At).get());
  if (!entry) throw EQXLException(10120, "Nil pointer occured");
  return *entry;
}

TQXLStream* TQXLLocalCursor::InternalCreateBlobStream(bool ToInsert, bool ToEdit, std::int32_t FieldNo,
                                                      TQXLBLOBOpenMode OpenMode, bool CanDoGetRecordBuffer) {
  if (!FTableData) throw EQXLException(10113, "Nil pointer occured");
  std::lock_guard guard(Database().CriticalSection());
  FErrorCode = 0;
  TQXLDiskTableData* disk = SharedDiskTable();
  // The caller learns why there is no stream: a content read or written
  // without the table's lock would be lost or wrong.
  if (disk && !LockTable(ltS, BlobLockTries, BlobLockDelayMS, true)) {
    FErrorCode = -13;
    return nullptr;
  }
  struct TUnlock {
    TQXLLocalCursor* Cursor;
    ~TUnlock() {
      if (Cursor) Cursor->UnlockTable(ltS, false);
    }
  } unlock{disk ? this : nullptr};
  if (!ToInsert && !ToEdit && CanDoGetRecordBuffer && FBLOBStreams.empty()) {
    const std::unique_ptr<TQXLCursorPosition> position = SavePosition();
    const TQXLGetRecordResult read = Table().GetRecordBuffer(this, grmCurrent);
    RestorePosition(*position);
    if (read != grrOK) return nullptr;
  }
  const std::int32_t visible = FVisibleFieldDefs ? FVisibleFieldDefs->Count() : 0;
  if (FieldNo < 0 || FieldNo >= visible) throw EQXLException(10110, InvalidFieldNo, {FieldNo, visible});
  const std::int32_t field = FVisibleFieldDefs->GetDef(FieldNo)->FieldNoReference;
  if (IsWriting(OpenMode))
    for (std::size_t i = 0; i < FBLOBStreams.size(); ++i)
      if (BlobEntry(i).FieldNo() == field && IsWriting(BlobEntry(i).OpenMode()))
        throw EQXLException(10115, "BLOB field already opened. FieldNo = %d, FieldName = %s",
                            {FieldNo, FFieldDefs->GetDef(field)->Name});
  std::unique_ptr<TQXLStream> made = Table().InternalCreateBlobStream(this, ToInsert, field, OpenMode);
  if (!made) return nullptr;
  auto* compressed = dynamic_cast<TQXLCompressedBLOBStream*>(made.get());
  if (!compressed) throw EQXLException(10114, "Nil pointer occured");
  made.release();
  auto entry = std::make_unique<TQXLLocalBLOBStream>(std::unique_ptr<TQXLCompressedBLOBStream>(compressed), nullptr,
                                                     this, OpenMode, field);
  FBLOBStreams.push_back(std::move(entry));
  return FBLOBStreams.back().get();
}

// The entry leaves the list before anything of it can fail, so that a
// failed store never leaves a stream half closed in the list.
void TQXLLocalCursor::CloseBlobEntry(std::size_t At) {
  std::unique_ptr<TQXLStream> owned = std::move(FBLOBStreams.at(At));
  FBLOBStreams.erase(FBLOBStreams.begin() + static_cast<std::ptrdiff_t>(At));
  auto& entry = static_cast<TQXLLocalBLOBStream&>(*owned);
  if (IsWriting(entry.OpenMode())) {
    // The table stores only a value that was written to.
    entry.TemporaryStream().SetModified(entry.Modified());
    Table().WriteBLOBFieldToRecordBuffer(this, entry.FieldNo(), entry.TemporaryStream());
  }
  else if (!entry.Modified() && dynamic_cast<TQXLDiskTableData*>(FTableData) && FCurrentRecordBuffer)
    Table().ClearBLOBFieldInRecordBuffer(FCurrentRecordBuffer, entry.FieldNo());
}

void TQXLLocalCursor::InternalCloseBLOB(std::int32_t FieldNo) {
  if (!FTableData) throw EQXLException(10119, "Nil pointer occured");
  std::lock_guard guard(Database().CriticalSection());
  const std::int32_t visible = FVisibleFieldDefs ? FVisibleFieldDefs->Count() : 0;
  if (FieldNo < 0 || FieldNo >= visible) throw EQXLException(10118, InvalidFieldNo, {FieldNo, visible});
  const std::int32_t field = FVisibleFieldDefs->GetDef(FieldNo)->FieldNoReference;
  for (std::size_t i = 0; i < FBLOBStreams.size();) {
    if (BlobEntry(i).FieldNo() == field)
      CloseBlobEntry(i);
    else
      ++i;
  }
}

void TQXLLocalCursor::ClearBLOBStreams(bool WriteOnly) {
  for (std::size_t i = 0; i < FBLOBStreams.size();) {
    if (!WriteOnly || IsWriting(BlobEntry(i).OpenMode()))
      CloseBlobEntry(i);
    else
      ++i;
  }
}

}  // namespace qxl
