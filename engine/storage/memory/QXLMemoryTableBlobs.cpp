// BLOB values of a memory table: blocks hung on the records, read through a
// compressed BLOB stream and handed between tables in their compressed form.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/streams/QXLCompressedBLOBStream.h"
#include "engine/core/QXLException.h"
#include "engine/core/containers/QXLMemoryManager.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/storage/memory/QXLMemoryTableData.h"

namespace qxl {

void* TQXLMemoryTableData::BlobOf(const std::uint8_t* RecordBuffer, std::int32_t FieldNo) const {
  if (GetBitInBuffer(FieldNo, RecordBuffer)) return nullptr;
  void* block = nullptr;
  std::memcpy(&block, RecordBuffer + FFieldManager->FieldDefs().GetDef(FieldNo)->MemoryOffset, sizeof block);
  return block;
}

void TQXLMemoryTableData::SetBlob(std::uint8_t* RecordBuffer, std::int32_t FieldNo, void* Block) const {
  std::memcpy(RecordBuffer + FFieldManager->FieldDefs().GetDef(FieldNo)->MemoryOffset, &Block, sizeof Block);
  SetBitInBuffer(Block == nullptr, FieldNo, RecordBuffer);
}

std::vector<void*> TQXLMemoryTableData::BlobsOf(const std::uint8_t* RecordBuffer) const {
  std::vector<void*> blocks;
  if (!RecordBuffer || !FFieldManager) return blocks;
  for (std::int32_t i = 0; i < FFieldManager->FieldDefs().Count(); ++i)
    if (IsBlobField(i))
      if (void* b = BlobOf(RecordBuffer, i)) blocks.push_back(b);
  return blocks;
}

void TQXLMemoryTableData::ClearBLOBFieldInRecordBuffer(std::uint8_t* RecordBuffer, std::int32_t FieldNo) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  if (!IsBlobField(FieldNo) || GetBitInBuffer(FieldNo, RecordBuffer)) return;
  void* block = BlobOf(RecordBuffer, FieldNo);
  if (!block) throw EQXLException(10118, "Nil pointer occured");
  // A block a stored record still names stays: an edit may yet be cancelled.
  FBlobBlocks.Discard(block);
  SetBlob(RecordBuffer, FieldNo, nullptr);
}

void TQXLMemoryTableData::WriteBLOBFieldToRecordBuffer(TQXLCursor* Cursor, std::int32_t FieldNo,
                                                       TQXLStream& BLOBStream) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  if (!BLOBStream.Modified()) return;
  CheckBlobField(FieldNo);
  std::uint8_t* record = Cursor->FCurrentRecordBuffer;
  if (!record) throw EQXLException(10118, "Nil pointer occured");
  auto* blob = dynamic_cast<TQXLCompressedBLOBStream*>(&BLOBStream);
  if (!blob) throw platform::Exception("A memory table stores BLOB values only from compressed BLOB streams");
  if (blob->GetSize() == 0) {
    ClearBLOBFieldInRecordBuffer(record, FieldNo);
    return;
  }
  TQXLStream& compressed = blob->CompressedStream();
  const std::int64_t size = compressed.Size();
  const TQXLBLOBDescriptor& d = blob->BLOBDescriptor();
  std::uint8_t* block = FBlobBlocks.New(static_cast<std::int32_t>(d.NumBlocks), d.UncompressedSize, size);
  compressed.SetPosition(0);
  std::int64_t done = 0;
  while (done < size) {
    const auto chunk = static_cast<std::int32_t>(std::min<std::int64_t>(size - done, TQXLStream::DefaultBlockSize));
    const std::int32_t got = compressed.Read(block + TQXLMemoryBlobBlocks::HeadSize + done, chunk);
    done += got;
    if (got < chunk) break;
  }
  if (done < size) {
    FBlobBlocks.Discard(block);
    throw EQXLException(10117, "Cannot read from stream. Position = %d, Stream size = %d, Block size = %d, Bytes Read = %d",
                        {std::int64_t{0}, size, size, done});
  }
  // The former value goes only once the new one is complete.
  ClearBLOBFieldInRecordBuffer(record, FieldNo);
  SetBlob(record, FieldNo, block);
}

std::unique_ptr<TQXLStream> TQXLMemoryTableData::InternalCreateBlobStream(TQXLCursor* Cursor, bool,
                                                                          std::int32_t FieldNo,
                                                                          TQXLBLOBOpenMode OpenMode) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  CheckBlobField(FieldNo);
  const TQXLFieldDef& field = *FFieldManager->FieldDefs().GetDef(FieldNo);
  if (field.BLOBBlockSize == 0) throw EQXLException(10420, "Stream block size = 0 is not allowed");
  const std::uint8_t* record = Cursor->FCurrentRecordBuffer;
  if (OpenMode == bomWrite || !record || GetBitInBuffer(FieldNo, record)) return NewBlobStream(FieldNo, nullptr, 0, 0);
  const void* block = BlobOf(record, FieldNo);
  // A copy that outlived its record's value names a block that is gone.
  if (!block || !FBlobBlocks.Contains(block)) throw EQXLException(10112, "Nil pointer occured");
  const std::int64_t size = TQXLMemoryBlobBlocks::CompressedSize(block);
  const std::uint8_t* bytes = TQXLMemoryBlobBlocks::CompressedBytes(block);
  std::unique_ptr<TQXLTemporaryStream> work = NewWorkStream();
  for (std::int64_t done = 0; done < size;) {
    const auto chunk = static_cast<std::int32_t>(std::min<std::int64_t>(size - done, TQXLStream::DefaultBlockSize));
    done += work->Write(bytes + done, chunk);
  }
  return NewBlobStream(FieldNo, std::move(work), TQXLMemoryBlobBlocks::NumBlocks(block),
                       TQXLMemoryBlobBlocks::UncompressedSize(block));
}

void TQXLMemoryTableData::GetDirectBlobData(TQXLCursor*, std::int32_t FieldNo, std::uint8_t* RecordBuffer,
                                            TQXLPartialTemporaryBLOBDescriptor& BLOBDescriptor, void*& pBlobData) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  CheckBlobField(FieldNo);
  BLOBDescriptor = TQXLPartialTemporaryBLOBDescriptor{};
  pBlobData = nullptr;
  if (GetBitInBuffer(FieldNo, RecordBuffer)) return;
  const void* block = BlobOf(RecordBuffer, FieldNo);
  if (!block || !FBlobBlocks.Contains(block)) throw EQXLException(10511, "Nil pointer occured");
  BLOBDescriptor.NumBlocks = TQXLMemoryBlobBlocks::NumBlocks(block);
  BLOBDescriptor.UncompressedSize = TQXLMemoryBlobBlocks::UncompressedSize(block);
  BLOBDescriptor.CompressedSize = TQXLMemoryBlobBlocks::CompressedSize(block);
  if (BLOBDescriptor.CompressedSize <= 0) return;
  pBlobData = QXLMemoryManager().GetMem(BLOBDescriptor.CompressedSize);
  std::memcpy(pBlobData, TQXLMemoryBlobBlocks::CompressedBytes(block),
              static_cast<std::size_t>(BLOBDescriptor.CompressedSize));
}

void TQXLMemoryTableData::SetDirectBlobData(TQXLCursor*, std::int32_t FieldNo, std::uint8_t* RecordBuffer,
                                            TQXLPartialTemporaryBLOBDescriptor& BLOBDescriptor, void*& pBlobData) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  CheckBlobField(FieldNo);
  if (BLOBDescriptor.CompressedSize <= 0 || !pBlobData) {
    ClearBLOBFieldInRecordBuffer(RecordBuffer, FieldNo);
    return;
  }
  std::uint8_t* block =
      FBlobBlocks.New(BLOBDescriptor.NumBlocks, BLOBDescriptor.UncompressedSize, BLOBDescriptor.CompressedSize);
  std::memcpy(block + TQXLMemoryBlobBlocks::HeadSize, pBlobData, static_cast<std::size_t>(BLOBDescriptor.CompressedSize));
  ClearBLOBFieldInRecordBuffer(RecordBuffer, FieldNo);
  SetBlob(RecordBuffer, FieldNo, block);
}

}  // namespace qxl
