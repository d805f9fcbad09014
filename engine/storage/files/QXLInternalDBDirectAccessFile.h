#pragma once
// An internal file of fixed size whose bytes are read, written and locked
// straight in the database file, bypassing the page cache and encryption, so
// that other processes see a change at once. Its bytes serve mainly as
// targets of byte-range locks: the sessions file and each table's locks file.
// Always works on behalf of the system session.
// Thread rule: no lock of its own; its owners serialise their calls.
#include <cstdint>

#include "engine/core/containers/QXLIntegerArray.h"

namespace qxl {

class TQXLDiskPageManager;

class TQXLInternalDBDirectAccessFile {
public:
  TQXLInternalDBDirectAccessFile(TQXLDiskPageManager& PageManager, std::uint16_t PageTypeID);
  ~TQXLInternalDBDirectAccessFile() = default;
  TQXLInternalDBDirectAccessFile(const TQXLInternalDBDirectAccessFile&) = delete;
  TQXLInternalDBDirectAccessFile& operator=(const TQXLInternalDBDirectAccessFile&) = delete;

  std::int32_t StartPageNo() const { return FStartPageNo; }
  // The highest position the file accepts.
  std::int32_t FileSize() const { return FFileSize; }
  const TQXLIntegerArray& FilePages() const { return FFilePages; }

  // The pages reach the file when the system session's changes are committed.
  void CreateFile(std::int32_t Size);
  // -1 keeps the start page.
  void OpenFile(std::int32_t StartPageNo = -1);
  // -1 removes the open file.
  void DeleteFile(std::int32_t StartPageNo = -1);
  std::int32_t GetSize();
  void ReadBuffer(void* Buffer, std::int32_t Count, std::int32_t Position);
  void WriteBuffer(const void* Buffer, std::int32_t Count, std::int32_t Position);
  bool LockFile();
  bool UnlockFile();
  bool LockByte(std::int32_t ByteNo);
  bool UnlockByte(std::int32_t ByteNo);
  bool IsByteLocked(std::int32_t ByteNo);
  // True when any of the ByteCount bytes from ByteNo is locked by anybody.
  bool IsRegionLocked(std::int32_t ByteNo, std::int32_t ByteCount);
  // Whether this handle holds ByteNo itself; asks the system nothing.
  bool HoldsByte(std::int32_t ByteNo);

private:
  struct TPlace {
    std::int32_t PageIndex;
    std::int32_t PageNo;
    std::uint16_t Offset;
  };
  void CheckOpen(const char* Operation) const;
  // Checks a content position against the file size and finds its page.
  TPlace Map(std::int32_t Position) const;
  // The page header read from the file from its byte From on, type-checked;
  // the next page of the chain.
  std::int32_t ReadChainHeader(std::int32_t PageNo, std::uint16_t From);
  // Count bytes from Position page by page, each part given to Transfer.
  template <typename F>
  void Walk(std::int32_t Count, std::int32_t Position, bool StopAtChainEnd, F&& Transfer);

  TQXLDiskPageManager& LPageManager;
  std::int32_t FStartPageNo = -1;
  std::uint16_t FPageTypeID;
  std::int32_t FFileSize = 0;
  TQXLIntegerArray FFilePages;
};

}  // namespace qxl
