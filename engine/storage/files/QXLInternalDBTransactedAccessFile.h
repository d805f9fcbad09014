#pragma once
// An internal file read and written through the page cache on behalf of one
// session: its content is replaced whole, optionally compressed, and stays
// private to the session until the session's changes are committed. Holds the
// system directory, the table list and each table's metadata and
// most-updated files.
// Thread rule: no lock of its own; used under the owning database's or
// table's lock.
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/coding/QXLCompression.h"
#include "engine/storage/files/QXLInternalFileLayout.h"

namespace qxl {

class TQXLDiskPageManager;

class TQXLInternalDBTransactedAccessFile {
public:
  TQXLInternalDBTransactedAccessFile(TQXLDiskPageManager& PageManager, std::uint16_t PageTypeID);
  ~TQXLInternalDBTransactedAccessFile() = default;
  TQXLInternalDBTransactedAccessFile(const TQXLInternalDBTransactedAccessFile&) = delete;
  TQXLInternalDBTransactedAccessFile& operator=(const TQXLInternalDBTransactedAccessFile&) = delete;

  std::int32_t StartPageNo() const { return FStartPageNo; }
  std::uint16_t PageTypeID() const { return FPageTypeID; }
  bool IsOpen() const { return FStartPageNo != -1; }

  void CreateFile(std::int32_t SessionID);
  // -1 keeps the start page.
  void OpenFile(std::int32_t StartPageNo);
  // -1 removes the open file.
  void DeleteFile(std::int32_t SessionID, std::int32_t StartPageNo = -1);
  void InitFileHeader(std::int32_t SessionID);
  void SetFileSize(std::int32_t SessionID, std::int32_t NewSize, std::int32_t DecompressedSize,
                   TQXLCompressionAlgorithm CompressionAlgorithm);
  void GetFileSize(std::int32_t SessionID, std::int32_t& Size, std::int32_t& DecompressedSize,
                   TQXLCompressionAlgorithm& CompressionAlgorithm, bool& FileWasChanged, bool SyncronizeAllowed);
  std::int32_t GetSize(std::int32_t SessionID);
  void ReadFile(std::int32_t SessionID, void* Buffer, std::int32_t Count, bool SynchronizeAllowed);
  // The whole uncompressed content, sized by what the file holds rather than
  // by what its header claims.
  std::vector<std::uint8_t> ReadContent(std::int32_t SessionID, bool SynchronizeAllowed);
  void WriteFile(std::int32_t SessionID, const void* Buffer, std::int32_t Count,
                 TQXLCompressionAlgorithm Algorithm, std::int32_t CompressionMode);
  bool LockFile();
  bool UnlockFile();

private:
  void CheckOpen(const char* Operation) const;
  // Makes the chain at least Need pages long.
  void ExtendChain(std::int32_t SessionID, std::int32_t Need);
  // Hands up to Target stored bytes to Sink page by page; the number of bytes
  // the chain held.
  using TSink = std::function<void(const std::uint8_t*, std::int32_t)>;
  std::int32_t ReadStored(std::int32_t SessionID, std::int32_t Target, bool SynchronizeAllowed, const TSink& Sink);
  std::vector<std::uint8_t> ReadStoredBytes(std::int32_t SessionID, std::int32_t Target, bool SynchronizeAllowed);
  static void CheckRead(std::int32_t Target, std::int32_t Read);
  // The first Count bytes of the decompressed content; 20189 or 30387 when
  // there are not that many.
  static std::vector<std::uint8_t> Decompressed(const std::vector<std::uint8_t>& Stored, std::int32_t Uncompressed,
                                                TQXLCompressionAlgorithm Algorithm, std::int32_t Count);
  void WriteStored(std::int32_t SessionID, const std::uint8_t* Bytes, std::int32_t Count);

  TQXLDiskPageManager& LPageManager;
  std::int32_t FStartPageNo = -1;
  std::uint16_t FPageTypeID;
};

}  // namespace qxl
