// BLOB values of a disk table: streams over a work stream in the values'
// compressed form, and the caches the BLOB manager keeps per record buffer.
#include <mutex>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/streams/QXLTemporaryStream.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/storage/blobs/QXLDiskBlobManager.h"
#include "engine/storage/disk/QXLDiskTableData.h"
#include "engine/core/streams/QXLOwningBLOBStream.h"

namespace qxl {

void TQXLDiskTableData::CheckBlobField(std::int32_t FieldNo) const {
  const bool IsBlob = FFieldManager && FieldNo >= 0 && FieldNo < FFieldManager->FieldDefs().Count() &&
                      qxl::IsBlobBaseFieldType(FFieldManager->FieldDefs().GetDef(FieldNo)->BaseFieldType);
  if (!IsBlob)
    throw platform::Exception(platform::Format("Field %d of table '%s' is not a BLOB field", FieldNo, FTableName));
}

void TQXLDiskTableData::ClearBlobsCacheInRecordBuffer(std::uint8_t* Buffer) {
  std::lock_guard Guard(FDatabaseData->CriticalSection());
  ClearBLOBFieldsInRecordBuffer(Buffer);
}

void TQXLDiskTableData::ClearBLOBFieldInRecordBuffer(std::uint8_t* RecordBuffer, std::int32_t FieldNo) {
  std::lock_guard Guard(FDatabaseData->CriticalSection());
  if (FBlobManager) FBlobManager->ClearBlobInRecordBuffer(RecordBuffer, FieldNo, false);
}

void TQXLDiskTableData::ClearModifiedBLOBFieldsInRecordBuffer(std::uint8_t* RecordBuffer) {
  std::lock_guard Guard(FDatabaseData->CriticalSection());
  if (!FBlobManager || !FFieldManager->BlobFieldsPresent()) return;
  const TQXLFieldDefs& Fields = FFieldManager->FieldDefs();
  for (std::int32_t FieldNo = 0; FieldNo < Fields.Count(); ++FieldNo)
    if (qxl::IsBlobBaseFieldType(Fields.GetDef(FieldNo)->BaseFieldType))
      FBlobManager->ClearBlobInRecordBuffer(RecordBuffer, FieldNo, true);
}

void TQXLDiskTableData::WriteBLOBFieldToRecordBuffer(TQXLCursor* Cursor, std::int32_t FieldNo,
                                                     TQXLStream& BLOBStream) {
  std::lock_guard Guard(FDatabaseData->CriticalSection());
  CheckBlobField(FieldNo);
  auto* Blob = dynamic_cast<TQXLCompressedBLOBStream*>(&BLOBStream);
  if (!Blob) throw platform::Exception("A disk table stores BLOB values only from compressed BLOB streams");
  if (!Cursor->FCurrentRecordBuffer)
    throw platform::Exception(platform::Format("No record to store field %d of table '%s' in", FieldNo, FTableName));
  Blobs().CopyBlobFromStreamToRecordBuffer(Cursor->FCurrentRecordBuffer, FieldNo, *Blob, Blob->Modified());
}

std::unique_ptr<TQXLStream> TQXLDiskTableData::InternalCreateBlobStream(TQXLCursor* Cursor, bool,
                                                                        std::int32_t FieldNo,
                                                                        TQXLBLOBOpenMode OpenMode) {
  std::lock_guard Guard(FDatabaseData->CriticalSection());
  CheckBlobField(FieldNo);
  const TQXLFieldDef& Field = *FFieldManager->FieldDefs().GetDef(FieldNo);
  if (Field.BLOBBlockSize == 0) throw EQXLException(20149, "Stream block size = 0 is not allowed");
  TQXLBLOBDescriptor Descriptor;
  Descriptor.BlockSize = Field.BLOBBlockSize;
  Descriptor.CompressionAlgorithm = Field.BLOBCompressionAlgorithm;
  Descriptor.CompressionMode = Field.BLOBCompressionMode;
  Descriptor.StartPosition = 0;
  auto Work = std::make_unique<TQXLTemporaryStream>(DisableTempFiles());
  std::uint8_t* Record = Cursor->FCurrentRecordBuffer;
  if (OpenMode == bomWrite || !Record || qxl::GetBitInBuffer(FieldNo, Record)) {
    Descriptor.NumBlocks = 0;
    Descriptor.UncompressedSize = 0;
    return std::make_unique<qxl::TQXLOwningBLOBStream>(std::move(Work), Descriptor, true);
  }
  try {
    Blobs().CopyBlobFromRecordBufferToStream(Cursor->SessionID(), Record, FieldNo, Descriptor, *Work);
    Work->SetPosition(0);
    if (Descriptor.UncompressedSize < 0) throw EQXLException(20248, "Invalid blob field size");
    return std::make_unique<qxl::TQXLOwningBLOBStream>(std::move(Work), Descriptor, false);
  } catch (...) {
    Blobs().FreeBlobCache(Record, FieldNo, true);
    throw;
  }
}

void TQXLDiskTableData::GetDirectBlobData(TQXLCursor* Cursor, std::int32_t FieldNo, std::uint8_t* RecordBuffer,
                                          TQXLPartialTemporaryBLOBDescriptor& BLOBDescriptor, void*& pBlobData) {
  std::lock_guard Guard(FDatabaseData->CriticalSection());
  CheckBlobField(FieldNo);
  const std::uint8_t* Data = nullptr;
  Blobs().GetDirectBlobInfoFromRecordBuffer(Cursor->SessionID(), RecordBuffer, FieldNo, BLOBDescriptor, Data);
  // The cache's own bytes: nobody writes through them, and they stay until
  // FreeDirectBlobData.
  pBlobData = const_cast<std::uint8_t*>(Data);
}

void TQXLDiskTableData::SetDirectBlobData(TQXLCursor*, std::int32_t FieldNo, std::uint8_t* RecordBuffer,
                                          TQXLPartialTemporaryBLOBDescriptor& BLOBDescriptor, void*& pBlobData) {
  std::lock_guard Guard(FDatabaseData->CriticalSection());
  CheckBlobField(FieldNo);
  Blobs().SetDirectBlobInfoFromRecordBuffer(RecordBuffer, FieldNo, BLOBDescriptor,
                                            static_cast<const std::uint8_t*>(pBlobData));
}

void TQXLDiskTableData::FreeDirectBlobData(TQXLCursor*, std::int32_t FieldNo, std::uint8_t* RecordBuffer,
                                           TQXLPartialTemporaryBLOBDescriptor&, void*& pBlobData) {
  std::lock_guard Guard(FDatabaseData->CriticalSection());
  Blobs().FreeBlobCache(RecordBuffer, FieldNo, false);
  pBlobData = nullptr;
}

}  // namespace qxl
