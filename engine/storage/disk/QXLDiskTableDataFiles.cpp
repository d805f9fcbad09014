// The disk table's three internal files: the locks file, the metadata (the
// managers' stored forms, compressed) and the most-updated counters; and the
// repair of a table whose counters or record page index do not hold.
#include <cstring>
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/streams/QXLMemoryStream.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/storage/pager/QXLDiskFormat.h"
#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/blobs/QXLDiskBlobManager.h"
#include "engine/storage/disk/QXLDiskDatabaseData.h"
#include "engine/storage/disk/QXLDiskTableData.h"
#include "engine/storage/files/QXLInternalDBTransactedAccessFile.h"
#include "engine/storage/locks/QXLTableLocksFile.h"
#include "engine/storage/records/QXLDiskRecordManager.h"

namespace qxl {

namespace {

// The most-updated content is at most this many bytes per field and one more.
constexpr std::int32_t MostUpdatedBytesPerField = 32;

// The definitions' version follows the record counters; content written
// before it was kept has none, which reads as the first version.
std::int32_t ReadSchemaVersion(const std::uint8_t* Buf, std::int32_t Size, std::int32_t Offset) {
  std::int32_t Version = 0;
  if (Offset >= 0 && std::int64_t{Size} - Offset >= std::int64_t{sizeof Version})
    std::memcpy(&Version, Buf + Offset, sizeof Version);
  return Version;
}

}  // namespace

void TQXLDiskTableData::CreateTableFiles() {
  TQXLDiskPageManager& Pages = DiskPageManager();
  FTableLocksFile = std::make_unique<TQXLTableLocksFile>(Pages);
  FTableLocksFile->CreateFile(Database().MaxSessionCount());
  FTableMetadataFile = std::make_unique<TQXLInternalDBTransactedAccessFile>(Pages, ptTableMetaData);
  FTableMetadataFile->CreateFile(QXLSystemSessionID);
  FTableMostUpdatedFile = std::make_unique<TQXLInternalDBTransactedAccessFile>(Pages, ptTableMostUpdated);
  FTableMostUpdatedFile->CreateFile(QXLSystemSessionID);
}

void TQXLDiskTableData::OpenTableFiles(std::int32_t MetadataPageNo, std::int32_t MostUpdatedPageNo,
                                       std::int32_t LocksPageNo) {
  TQXLDiskPageManager& Pages = DiskPageManager();
  FTableLocksFile = std::make_unique<TQXLTableLocksFile>(Pages);
  FTableLocksFile->OpenFile(LocksPageNo);
  FTableMetadataFile = std::make_unique<TQXLInternalDBTransactedAccessFile>(Pages, ptTableMetaData);
  FTableMetadataFile->OpenFile(MetadataPageNo);
  FTableMostUpdatedFile = std::make_unique<TQXLInternalDBTransactedAccessFile>(Pages, ptTableMostUpdated);
  FTableMostUpdatedFile->OpenFile(MostUpdatedPageNo);
}

void TQXLDiskTableData::DeleteTableFiles() {
  FTableLocksFile->DeleteFile();
  FTableMetadataFile->DeleteFile(QXLSystemSessionID);
  FTableMostUpdatedFile->DeleteFile(QXLSystemSessionID);
}

void TQXLDiskTableData::FreeTableFiles() {
  FTableLocksFile.reset();
  FTableMetadataFile.reset();
  FTableMostUpdatedFile.reset();
}

void TQXLDiskTableData::SaveMetadata(std::int32_t SessionID) {
  TQXLMemoryStream Stream;
  FFieldManager->SaveMetadata(Stream);
  FIndexManager->SaveMetadata(Stream);
  FConstraintManager->SaveMetadata(Stream);
  DiskRecordManager()->SaveMetadata(Stream);
  FBlobManager->SaveMetadata(Stream);
  FTableMetadataFile->WriteFile(SessionID, Stream.Buffer(), static_cast<std::int32_t>(Stream.Size()), acaZLIB, 1);
}

void TQXLDiskTableData::LoadMetadata(std::int32_t SessionID) {
  const std::vector<std::uint8_t> Bytes = FTableMetadataFile->ReadContent(SessionID, true);
  TQXLMemoryStream Stream;
  if (!Bytes.empty()) Stream.Write(Bytes.data(), static_cast<std::int32_t>(Bytes.size()));
  Stream.SetPosition(0);
  FFieldManager->LoadMetadata(Stream);
  FIndexManager->LoadMetadata(Stream);
  FConstraintManager->LoadMetadata(Stream);
  DiskRecordManager()->LoadMetadata(Stream);
  FBlobManager->LoadMetadata(Stream);
}

std::vector<std::uint8_t> TQXLDiskTableData::MostUpdatedBytes() const {
  const std::int32_t Size = MostUpdatedBytesPerField * (FFieldManager->FieldDefs().Count() + 1);
  if (FFieldManager->MostUpdatedSize() + qxl::TQXLDiskRecordManager::MostUpdatedSize > Size)
    throw EQXLException(20164, "Invalid table header data");
  std::vector<std::uint8_t> Buffer(static_cast<std::size_t>(Size), 0);
  std::int32_t Offset = 0;
  FFieldManager->SaveMostUpdated(Buffer.data(), Size, Offset);
  DiskRecordManager()->SaveMostUpdated(Buffer.data(), Size, Offset);
  if (std::int64_t{Size} - Offset < std::int64_t{sizeof FSchemaVersion})
    throw EQXLException(20164, "Invalid table header data");
  std::memcpy(Buffer.data() + Offset, &FSchemaVersion, sizeof FSchemaVersion);
  Offset += static_cast<std::int32_t>(sizeof FSchemaVersion);
  Buffer.resize(static_cast<std::size_t>(Offset));
  return Buffer;
}

void TQXLDiskTableData::SetMostUpdatedBytes(const std::vector<std::uint8_t>& Bytes) {
  std::int32_t Offset = 0;
  const auto Size = static_cast<std::int32_t>(Bytes.size());
  FFieldManager->LoadMostUpdated(Bytes.data(), Size, Offset);
  DiskRecordManager()->LoadMostUpdated(Bytes.data(), Size, Offset);
  FSchemaVersion = ReadSchemaVersion(Bytes.data(), Size, Offset);
}

void TQXLDiskTableData::SaveMostUpdated(std::int32_t SessionID) {
  const std::vector<std::uint8_t> Buffer = MostUpdatedBytes();
  FTableMostUpdatedFile->WriteFile(SessionID, Buffer.data(), static_cast<std::int32_t>(Buffer.size()), acaNone, 0);
  FLastUsedTableState = FRecordManager->TableState();
}

void TQXLDiskTableData::LoadMostUpdated(std::int32_t SessionID) {
  if (!FTableMostUpdatedFile) throw EQXLException(20176, "Pointer is nil");
  TQXLDiskTablePagesCacheManager& PageState = DiskPageManager().TablePagesCacheManager();
  const bool Loaded = PageState.GetIsMostUpdatedLoaded(SessionID, FTableID);
  std::int32_t StoredSize = 0, Size = 0;
  TQXLCompressionAlgorithm Algorithm = acaNone;
  bool FileWasChanged = false;
  FTableMostUpdatedFile->GetFileSize(SessionID, StoredSize, Size, Algorithm, FileWasChanged, !Loaded);
  // A size the counters can never have is damage, not a buffer to allocate.
  if (Size < 0 || Size > MostUpdatedBytesPerField * (FFieldManager->FieldDefs().Count() + 1))
    throw EQXLException(20164, "Invalid table header data");
  std::vector<std::uint8_t> Buffer(static_cast<std::size_t>(Size), 0);
  FTableMostUpdatedFile->ReadFile(SessionID, Buffer.data(), Size, FileWasChanged);
  std::int32_t Offset = 0;
  FFieldManager->LoadMostUpdated(Buffer.data(), Size, Offset);
  DiskRecordManager()->LoadMostUpdated(Buffer.data(), Size, Offset);
  FLastUsedTableState = FRecordManager->TableState();
  FStoredSchemaVersion = ReadSchemaVersion(Buffer.data(), Size, Offset);
  // Another process changed the definitions: its indexes are the ones to
  // keep in step, and pages of an index it dropped may belong to others now.
  if (FStoredSchemaVersion > FSchemaVersion) ReloadDefinitions(SessionID);
  PageState.SetIsMostUpdatedLoaded(SessionID, FTableID, FLastUsedTableState);
}

void TQXLDiskTableData::ReloadDefinitions(std::int32_t SessionID) {
  const std::vector<std::uint8_t> Bytes = FTableMetadataFile->ReadContent(SessionID, true);
  TQXLMemoryStream Stream;
  if (!Bytes.empty()) Stream.Write(Bytes.data(), static_cast<std::int32_t>(Bytes.size()));
  Stream.SetPosition(0);
  TQXLFieldDefs Fields;
  Fields.LoadFromStream(Stream);
  TQXLFieldDefs& Own = FFieldManager->FieldDefs();
  // A table keeps its fields for life; only their names can change.
  if (Fields.Count() != Own.Count()) throw EQXLException(20164, "Invalid table header data");
  for (std::int32_t i = 0; i < Own.Count(); ++i) Own.GetDef(i)->Name = Fields.GetDef(i)->Name;
  FIndexManager->ReplaceStoredIndexDefs(Stream);
  FConstraintManager->LoadMetadata(Stream);
  FSchemaVersion = FStoredSchemaVersion;
}

void TQXLDiskTableData::OpenForRepair(TQXLCursor* Cursor) {
  const std::int32_t SessionID = Cursor->SessionID();
  try {
    LoadMostUpdated(SessionID);
    DiskRecordManager()->ValidateRecordPageIndex(SessionID);
    return;
  } catch (...) {
    // What does not hold is rebuilt from the record pages below.
  }
  if (DiskRecordSize() >= DiskPageManager().PageDataSize())
    throw EQXLException(10512, "Cannot repair page index for large table. Table name: \"%s\"", {FTableName});
  DiskRecordManager()->RebuildRecordPageIndex(SessionID);
  // Nobody else has the table open while it is repaired.
  if (FSchemaVersion < 0) FSchemaVersion = 0;
  SaveMetadata(SessionID);
  FTableMostUpdatedFile->InitFileHeader(SessionID);
  SaveMostUpdated(SessionID);
  ApplyChanges(SessionID, false);
}

}  // namespace qxl
