// BLOB values of a temporary table: appended to the table's BLOB file, each
// as its compressed-form descriptor and compressed bytes; a record's field
// holds the value's offset. Nothing is reclaimed before the file goes.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/streams/QXLCompressedBLOBStream.h"
#include "engine/core/QXLException.h"
#include "engine/core/containers/QXLMemoryManager.h"
#include "engine/core/streams/QXLMemoryStream.h"
#include "engine/core/containers/QXLOwnedBlock.h"
#include "engine/core/streams/QXLTemporaryStream.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/storage/temporary/QXLTemporaryTableData.h"

namespace qxl {

namespace {

constexpr std::int32_t DescriptorSize = sizeof(TQXLPartialTemporaryBLOBDescriptor);
constexpr std::int64_t MemoryBLOBFileSize = 1048576;

void CopyStream(TQXLStream& From, TQXLStream& To, std::int64_t Count, std::int32_t Code) {
  std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min<std::int64_t>(Count, TQXLStream::DefaultBlockSize)));
  for (std::int64_t done = 0; done < Count;) {
    const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(Count - done, TQXLStream::DefaultBlockSize));
    ReadBufferFromStream(chunk.data(), n, From, Code);
    WriteBufferToStream(chunk.data(), n, To, Code);
    done += n;
  }
}

}  // namespace

void TQXLTemporaryTableData::CreateBLOBFile() {
  FBLOBFile.reset();
  if (!FFieldManager || !FFieldManager->BlobFieldsPresent()) return;
  if (DisableTempFiles()) {
    FBLOBFile = std::make_unique<TQXLMemoryStream>(nullptr, MemoryBLOBFileSize);
  } else {
    FBLOBFile = std::make_unique<TQXLTemporaryStream>(false);
  }
}

TQXLStream& TQXLTemporaryTableData::CheckedBLOBFile(std::int32_t NilCode) const {
  if (!FBLOBFile) throw EQXLException(NilCode, "Nil pointer occured");
  return *FBLOBFile;
}

std::int64_t TQXLTemporaryTableData::OffsetOf(const std::uint8_t* RecordBuffer, std::int32_t FieldNo) const {
  std::int64_t offset;
  std::memcpy(&offset, RecordBuffer + FFieldManager->FieldDefs().GetDef(FieldNo)->MemoryOffset, sizeof offset);
  return offset;
}

void TQXLTemporaryTableData::AppendValue(std::uint8_t* RecordBuffer, std::int32_t FieldNo,
                                         const TQXLPartialTemporaryBLOBDescriptor& D, TQXLStream* Source,
                                         const void* Bytes, std::int32_t SeekCode, std::int32_t WriteCode) {
  TQXLStream& file = *FBLOBFile;
  const std::int64_t offset = file.Size();
  SetStreamPosition(file, SeekCode, offset);
  WriteBufferToStream(&D, DescriptorSize, file, WriteCode);
  if (Source) {
    Source->SetPosition(0);
    CopyStream(*Source, file, D.CompressedSize, WriteCode);
  } else {
    for (std::int64_t done = 0; done < D.CompressedSize;) {
      const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(D.CompressedSize - done, TQXLStream::DefaultBlockSize));
      WriteBufferToStream(static_cast<const std::uint8_t*>(Bytes) + done, n, file, WriteCode);
      done += n;
    }
  }
  std::memcpy(RecordBuffer + FFieldManager->FieldDefs().GetDef(FieldNo)->MemoryOffset, &offset, sizeof offset);
  SetBitInBuffer(false, FieldNo, RecordBuffer);
}

TQXLPartialTemporaryBLOBDescriptor TQXLTemporaryTableData::ReadDescriptor(std::int64_t Offset, std::int32_t SeekCode,
                                                                           std::int32_t ReadCode) const {
  TQXLStream& file = *FBLOBFile;
  SetStreamPosition(file, SeekCode, Offset);
  TQXLPartialTemporaryBLOBDescriptor d;
  ReadBufferFromStream(&d, DescriptorSize, file, ReadCode);
  // A damaged offset or descriptor must not size a buffer past the file.
  if (d.CompressedSize < 0 || d.CompressedSize > file.Size() - file.Position())
    throw EQXLException(ReadCode, "Cannot read from stream. Position = %d, Stream size = %d, Block size = %d, Bytes Read = %d",
                        {file.Position(), file.Size(), d.CompressedSize, std::int64_t{0}});
  return d;
}

void TQXLTemporaryTableData::WriteBLOBFieldToRecordBuffer(TQXLCursor* Cursor, std::int32_t FieldNo,
                                                          TQXLStream& BLOBStream) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  CheckedBLOBFile(10144);
  if (!BLOBStream.Modified()) return;
  CheckBlobField(FieldNo);
  std::uint8_t* record = Cursor->FCurrentRecordBuffer;
  if (!record) throw EQXLException(10144, "Nil pointer occured");
  auto* blob = dynamic_cast<TQXLCompressedBLOBStream*>(&BLOBStream);
  if (!blob) throw platform::Exception("A temporary table stores BLOB values only from compressed BLOB streams");
  if (blob->GetSize() == 0) {
    SetBitInBuffer(true, FieldNo, record);
    return;
  }
  TQXLPartialTemporaryBLOBDescriptor d;
  d.NumBlocks = static_cast<std::int32_t>(blob->BLOBDescriptor().NumBlocks);
  d.UncompressedSize = blob->BLOBDescriptor().UncompressedSize;
  d.CompressedSize = blob->CompressedStream().Size();
  AppendValue(record, FieldNo, d, &blob->CompressedStream(), nullptr, 10422, 10145);
}

std::unique_ptr<TQXLStream> TQXLTemporaryTableData::InternalCreateBlobStream(TQXLCursor* Cursor, bool ToInsert,
                                                                             std::int32_t FieldNo,
                                                                             TQXLBLOBOpenMode OpenMode) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  CheckedBLOBFile(10140);
  CheckBlobField(FieldNo);
  const std::uint8_t* record = Cursor->FCurrentRecordBuffer;
  if (ToInsert || OpenMode == bomWrite || !record || GetBitInBuffer(FieldNo, record))
    return NewBlobStream(FieldNo, nullptr, 0, 0);
  const TQXLPartialTemporaryBLOBDescriptor stored = ReadDescriptor(OffsetOf(record, FieldNo), 10141, 10142);
  std::unique_ptr<TQXLTemporaryStream> work = NewWorkStream();
  CopyStream(*FBLOBFile, *work, stored.CompressedSize, 10142);
  return NewBlobStream(FieldNo, std::move(work), stored.NumBlocks, stored.UncompressedSize);
}

void TQXLTemporaryTableData::GetDirectBlobData(TQXLCursor*, std::int32_t FieldNo, std::uint8_t* RecordBuffer,
                                               TQXLPartialTemporaryBLOBDescriptor& BLOBDescriptor, void*& pBlobData) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  CheckBlobField(FieldNo);
  BLOBDescriptor = TQXLPartialTemporaryBLOBDescriptor{};
  pBlobData = nullptr;
  if (GetBitInBuffer(FieldNo, RecordBuffer)) return;
  TQXLStream& file = CheckedBLOBFile(10509);
  const std::int64_t before = file.Position();
  BLOBDescriptor = ReadDescriptor(OffsetOf(RecordBuffer, FieldNo), 10509, 10510);
  if (BLOBDescriptor.CompressedSize > 0) {
    TQXLOwnedBlock data(QXLMemoryManager().GetMem(BLOBDescriptor.CompressedSize));
    for (std::int64_t done = 0; done < BLOBDescriptor.CompressedSize;) {
      const auto n = static_cast<std::int32_t>(
          std::min<std::int64_t>(BLOBDescriptor.CompressedSize - done, TQXLStream::DefaultBlockSize));
      ReadBufferFromStream(static_cast<std::uint8_t*>(data.get()) + done, n, file, 10510);
      done += n;
    }
    pBlobData = data.release();
  }
  file.SetPosition(before);
}

void TQXLTemporaryTableData::SetDirectBlobData(TQXLCursor*, std::int32_t FieldNo, std::uint8_t* RecordBuffer,
                                               TQXLPartialTemporaryBLOBDescriptor& BLOBDescriptor, void*& pBlobData) {
  std::lock_guard guard(FDatabaseData->CriticalSection());
  CheckedBLOBFile(10506);
  CheckBlobField(FieldNo);
  if (BLOBDescriptor.UncompressedSize == 0 || BLOBDescriptor.CompressedSize <= 0 || !pBlobData) {
    SetBitInBuffer(true, FieldNo, RecordBuffer);
    return;
  }
  AppendValue(RecordBuffer, FieldNo, BLOBDescriptor, nullptr, pBlobData, 10507, 10508);
}

}  // namespace qxl
