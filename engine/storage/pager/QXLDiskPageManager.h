#pragma once
// The page manager of a database file: creates and opens it (password check,
// repair detection), reads and writes pages with CRC and encryption, hands out
// page and object numbers, offers the file's lock bytes, and commits a
// session's pages under the header lock with the two-step write state.
//
// Locking and durability
//
// Lock bytes (file offsets for a header at offset 0; all exclusive,
// non-blocking byte-range locks owned by this manager's file handle):
// - 358, free-space byte (locked bytes + 2): LockFreeSpaceManager; nothing
//   takes it today.
// - 359, tables byte (locked bytes + 3): LockTables, by the layers above
//   around each change of the table list and each opening of a table, 200
//   tries of 20 ms; held for that change or opening only.
// - 360, header byte (locked bytes + 4): LockDBHeader, 4500 tries of 20 ms,
//   around every read-modify-write of the header: the open (while it locates
//   and reads the header), each commit (from its reread of the header to its
//   last header write) and each page allocation and release by the space
//   map; never by a read (PageCount goes without it). Counted, so re-entrant within one
//   manager: the space map's allocation and release inside a commit reuse
//   the commit's lock. Two managers, in one process or two, exclude each
//   other through the file.
// - 376, object-counter byte (first byte of LastObjectID): GetNextObjectID
//   and InitObjectID, 4500 tries of 20 ms, around the counter's
//   read-modify-write only.
// - Bytes inside pages (LockPageByte): the sessions file's byte per
//   connected session, held for the connection, and the table locks files'
//   bytes, held as long as the table or record lock they stand for; taken by
//   the layers above.
// - The file object's share bytes, far beyond any page, held for the life
//   of the handle (shared or exclusive open).
// Order: the tables byte and page bytes first, the header byte after them,
// never the other way round; nothing else is waited for while the header
// byte or the object-counter byte is held. Every wait is bounded, so a
// wrong order ends in "Database is locked", never in a deadlock.
//
// Caller: no operation takes an in-process lock; the caller holds the
// database data's critical section (or its table data's, which is the same
// one) around every call, and a session's pages are given back before its
// commit.
//
// Durability: a page added is taken in the space map at once, under the
// header lock and outside any commit. A commit writes the header with
// WriteChangesState 1 before its first page write and with 2 after its last
// (State one up). Against a process that dies: a commit cut short leaves 1,
// every later open reports that repair is needed and later commits keep the
// mark; an allocation cut short leaves its page marked used but not counted
// (above the stored last used page the next growth takes it again, below it
// the page stays used until the file is compacted or repaired); a growth cut
// short leaves the file longer than its header, which the next growth or cut
// sets right. Not against power loss or an operating-system crash: nothing is
// flushed by a commit (the database data flushes afterwards when asked), so
// without a flush any of the writes, the two header writes included, may be
// lost or reach the disk in another order, and an open may then find state 2
// over half-written pages.
//
// Threads: one thread at a time per manager, under the caller's lock above.
#include <cstdint>
#include <memory>
#include <string>

#include "engine/coding/QXLPassword.h"
#include "engine/storage/pager/QXLDatabaseFile.h"
#include "engine/storage/pager/QXLDiskFormat.h"
#include "engine/storage/pager/QXLFreeSpaceManager.h"
#include "engine/storage/pager/QXLPageManager.h"
#include "engine/storage/pager/QXLTablePagesCache.h"

namespace qxl {

// Code one buffer in place under a choice, raising what the cipher raises. A
// value outside 0 to 7 leaves the buffer unchanged.
void EncryptBuffer(TQXLCryptoAlgorithm Algorithm, void* Buffer, std::int32_t Size, const std::string& Password);
void DecryptBuffer(TQXLCryptoAlgorithm Algorithm, void* Buffer, std::int32_t Size, const std::string& Password);

class TQXLDiskPageManager : public TQXLPageManager, public TQXLFreeSpaceHost {
public:
  // The database file is reached through FileSystem, which must outlive the manager.
  explicit TQXLDiskPageManager(platform::FileSystem& FileSystem = platform::RealFileSystem());
  ~TQXLDiskPageManager() override;

  void CreateAndOpenDatabase(const std::string& DatabaseFileName, const TQXLPassword& Password,
                             std::uint16_t PageSize = QXLDefaultPageSize,
                             std::uint16_t ExtentPageCount = QXLDefaultPageCountInExtent);
  void OpenDatabase(const std::string& DatabaseFileName, const TQXLPassword& Password, bool& ReadOnly,
                    bool& RepairNeeded, bool Exclusive, bool& aMultiUser);
  // Releases the file; a failure of its close is raised once all is released.
  void CloseDatabase();
  void TruncateDatabase();
  void ExtendFile(std::int32_t PageCount) override;
  void TruncateFile(std::int32_t PageCount) override;

  void InitDBHeader();
  void ReadDBHeader() override;
  void WriteDBHeader(bool Check) override;
  void ReadCryptoHeader();
  void WriteCryptoHeader();
  void ReadLockedBytes();
  void WriteLockedBytes();
  std::int64_t GetPageOffset(std::int32_t PageNo) const;
  // True when the file is marked read-only (which clears MultiUser) or the
  // system refuses this process permission to write it; never because another
  // handle has it open.
  static bool IsFileReadOnly(const std::string& FileName, bool& MultiUser,
                             platform::FileSystem& FileSystem = platform::RealFileSystem());

  // The pages of the file as far as this manager knows without the header
  // lock: the larger of the header's count read last and the file's size.
  std::int32_t GetPageCount() override;
  bool IsPageUpToDate(std::int32_t SessionID, TQXLPage* Page) override;
  void SetPageUpToDate(std::int32_t SessionID, TQXLPage* Page) override;
  void InternalAddPage(TQXLPage* Page) override;
  void InternalRemovePage(std::int32_t PageNo) override;
  bool InternalReadPage(TQXLPage* Page) override;
  void InternalWritePage(TQXLPage* Page) override;
  void RemovePage(std::int32_t SessionID, std::int32_t PageNo) override;
  TQXLPage* GetPage(std::int32_t SessionID, std::int32_t PageNo, std::uint16_t PageType,
                    bool SynchronizeAllowed) override;
  void ApplyChanges(std::int32_t SessionID) override;
  bool ReadStoredPageState(std::int32_t PageNo, std::int32_t& State) override;

  // Part of one page straight from or to the file: no cache, encryption or CRC.
  void ReadPageRegion(void* Buffer, std::int32_t PageNo, std::uint16_t Offset, std::uint16_t Count);
  void WritePageRegion(const void* Buffer, std::int32_t PageNo, std::uint16_t Offset, std::uint16_t Count);
  void WriteEmptyPage(std::int32_t PageNo);
  std::int32_t InternalReadPageState(std::int32_t PageNo);
  void InternalWritePageState(std::int32_t PageNo, std::int32_t PageState);

  bool LockFreeSpaceManager();
  bool UnlockFreeSpaceManager();
  bool LockTables();
  bool UnlockTables();
  // Re-entrant within this manager: counted, the byte is taken once.
  bool LockDBHeader() override;
  bool UnlockDBHeader() override;
  bool LockLastObjectID();
  bool UnlockLastObjectID();
  bool LockPageByte(std::int32_t PageNo, std::uint16_t Offset);
  bool UnlockPageByte(std::int32_t PageNo, std::uint16_t Offset);
  bool IsPageByteLocked(std::int32_t PageNo, std::uint16_t Offset);
  bool IsPageRegionLocked(std::int32_t PageNo, std::uint16_t Offset, std::int32_t Count);
  // Whether this manager's file handle holds the byte; no system call.
  bool HoldsPageByte(std::int32_t PageNo, std::uint16_t Offset) const;

  // Both wait for the object-counter lock as long as for the header lock.
  std::int32_t GetNextObjectID();
  void InitObjectID();

  TQXLDatabaseFile& DatabaseFile() { return FDatabaseFile; }
  const TQXLDBHeader& DBHeader() const { return FDBHeader; }
  const TQXLCryptoHeader& CryptoHeader() const { return FCryptoHeader; }
  const TQXLLockedBytes& LockedBytes() const { return FLockedBytes; }
  const TQXLPassword& Password() const { return FPassword; }
  bool IsOpened() const { return FDatabaseFile.IsOpened(); }
  bool Encrypted() const { return FDBHeader.Encrypted != 0; }
  std::int64_t OffsetToFirstPage() const { return FOffsetToFirstPage; }
  std::int64_t OffsetToLockedBytes() const { return FOffsetToLockedBytes; }
  std::int64_t OffsetToDBHeader() const { return FOffsetToDBHeader; }
  TQXLDatabaseFreeSpaceManager* FreeSpaceManager() const { return FDatabaseFreeSpaceManager.get(); }
  TQXLDiskTablePagesCacheManager& TablePagesCacheManager() { return FTablePagesCacheManager; }
  bool Exclusive() const { return FExclusive; }

  // The space map's view of this manager.
  TQXLPageManager& SpaceMapPageManager() override { return *this; }
  TQXLDBHeader& HeaderInMemory() override { return FDBHeader; }

private:
  TQXLDatabaseFreeSpaceManager& FreeSpace();
  bool IsEncryptedPage(const TQXLPage* Page);
  void CheckOpenedFor(std::int32_t ErrorCode) const;
  // Raises 10471 for a page of the commit that lies past the file's end.
  void CheckPagesWithinFile(const TQXLSessionPageInfo& Info) const;
  void ValidateLayout();
  std::int64_t FileSize();
  void OpenUnderHeaderLock(bool& RepairNeeded);
  // One byte at a file position, inside the design-mode bracket.
  bool LockFileByte(std::int64_t Offset);
  bool UnlockFileByte(std::int64_t Offset);

  std::unique_ptr<TQXLDatabaseFreeSpaceManager> FDatabaseFreeSpaceManager;
  TQXLDatabaseFile FDatabaseFile;
  TQXLDBHeader FDBHeader{};
  TQXLCryptoHeader FCryptoHeader{};
  TQXLPassword FPassword;
  TQXLLockedBytes FLockedBytes{};
  std::int32_t FLockDBHeaderCount = 0;
  // Where the header lock byte was taken while the count is above 0.
  std::int64_t FLockedDBHeaderByte = 0;
  bool FExclusive = false;
  TQXLDiskTablePagesCacheManager FTablePagesCacheManager;
  std::int64_t FOffsetToDBHeader = 0;
  std::int64_t FOffsetToCryptoHeader = sizeof(TQXLDBHeader);
  std::int64_t FOffsetToLockedBytes = sizeof(TQXLDBHeader) + sizeof(TQXLCryptoHeader);
  std::int64_t FOffsetToLastObjectID = FOffsetToLockedBytes + sizeof(TQXLLockedBytes);
  std::int64_t FOffsetToFirstPage = FOffsetToLastObjectID + 4;
  // Keyed ciphers of the database password, one per choice met.
  std::unique_ptr<TQXLPageCrypter> FCrypter;
};

}  // namespace qxl
