#include "engine/storage/pager/QXLDiskPageManager.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>
#include <new>
#include <vector>

#include "engine/coding/Crc32.h"
#include "engine/core/QXLException.h"
#include "engine/storage/pager/QXLRandom.h"

namespace qxl {

namespace {

constexpr char NotOpened[] = "Error - database file is not opened.";

std::uint32_t DataCrc(const TQXLPage* Page) { return UpdateCrc32(0, Page->PageData(), Page->PageDataSize()); }

}  // namespace

void EncryptBuffer(TQXLCryptoAlgorithm Algorithm, void* Buffer, std::int32_t Size, const std::string& Password) {
  if (qxl::IsValidCryptoAlgorithm(Algorithm)) QXLEncryptBuffer(Algorithm, Buffer, Size, Password);
}

void DecryptBuffer(TQXLCryptoAlgorithm Algorithm, void* Buffer, std::int32_t Size, const std::string& Password) {
  if (qxl::IsValidCryptoAlgorithm(Algorithm)) QXLDecryptBuffer(Algorithm, Buffer, Size, Password);
}

TQXLDiskPageManager::TQXLDiskPageManager(platform::FileSystem& FileSystem) : FDatabaseFile(FileSystem) {
  InitDBHeader();
}

TQXLDiskPageManager::~TQXLDiskPageManager() {
  try {
    CloseDatabase();
  } catch (...) {
    // Nothing can report a failed close of a manager being freed.
  }
}

void TQXLDiskPageManager::InitDBHeader() {
  std::memset(&FDBHeader, 0, sizeof FDBHeader);
  std::memcpy(FDBHeader.Signature, QXLDatabaseSignature, QXLDatabaseSignatureSize);
  FDBHeader.HeaderSize = sizeof(TQXLDBHeader);
  FDBHeader.Version = QXLDatabaseVersion;
  FDBHeader.TotalPageCount = 0;
  FDBHeader.LastUsedPageNo = -1;
  FDBHeader.WriteChangesState = QXLWriteChangesDone;
  std::memset(&FLockedBytes, 0, sizeof FLockedBytes);
  FLockedBytes.LockedByteSize = sizeof(TQXLLockedBytes);
  std::memset(&FCryptoHeader, 0, sizeof FCryptoHeader);
  FCryptoHeader.CryptoHeaderSize = sizeof(TQXLCryptoHeader);
}

TQXLDatabaseFreeSpaceManager& TQXLDiskPageManager::FreeSpace() {
  if (!FDatabaseFreeSpaceManager) throw EQXLException(10459, NotOpened);
  return *FDatabaseFreeSpaceManager;
}

void TQXLDiskPageManager::CheckOpenedFor(std::int32_t ErrorCode) const {
  if (!FormEditorMode && !FDatabaseFile.IsOpened()) throw EQXLException(ErrorCode, NotOpened);
}

// ---- Header records ------------------------------------------------------

void TQXLDiskPageManager::ReadDBHeader() {
  CheckOpenedFor(10459);
  std::memset(&FDBHeader, 0, sizeof FDBHeader);
  FDatabaseFile.ReadBuffer(&FDBHeader, sizeof FDBHeader, FOffsetToDBHeader, 10464);
}

void TQXLDiskPageManager::WriteDBHeader(bool Check) {
  CheckOpenedFor(10460);
  if (FormEditorMode) {
    TQXLDBHeader Stored{};
    FDatabaseFile.ReadBuffer(&Stored, sizeof Stored, FOffsetToDBHeader, 20195);
    if (Check && Stored.WriteChangesState == QXLWriteChangesWriting && Stored.State != FDBHeader.State)
      throw EQXLException(20196, "Cannot write changes. Database file was modified by external application");
  }
  FDatabaseFile.WriteBuffer(&FDBHeader, sizeof FDBHeader, FOffsetToDBHeader, 10462);
}

void TQXLDiskPageManager::ReadCryptoHeader() {
  CheckOpenedFor(30436);
  std::memset(&FCryptoHeader, 0, sizeof FCryptoHeader);
  FDatabaseFile.ReadBuffer(&FCryptoHeader, sizeof FCryptoHeader, FOffsetToCryptoHeader, 30439);
}

void TQXLDiskPageManager::WriteCryptoHeader() {
  CheckOpenedFor(30437);
  FDatabaseFile.WriteBuffer(&FCryptoHeader, sizeof FCryptoHeader, FOffsetToCryptoHeader, 30438);
}

void TQXLDiskPageManager::ReadLockedBytes() {
  CheckOpenedFor(30441);
  FLockedBytes.LockedByteSize = 0;
  FDatabaseFile.ReadBuffer(&FLockedBytes.LockedByteSize, sizeof FLockedBytes.LockedByteSize,
                           FOffsetToLockedBytes, 30442);
}

void TQXLDiskPageManager::WriteLockedBytes() {
  CheckOpenedFor(30443);
  FDatabaseFile.WriteBuffer(&FLockedBytes, sizeof FLockedBytes, FOffsetToLockedBytes, 30444);
}

std::int64_t TQXLDiskPageManager::GetPageOffset(std::int32_t PageNo) const {
  if (PageNo == -1) throw EQXLException(10471, "Invalid PageNo = %d", {PageNo});
  return FOffsetToFirstPage + static_cast<std::int64_t>(PageNo) * FPageSize;
}

// ---- Create, open, close -------------------------------------------------

void TQXLDiskPageManager::CreateAndOpenDatabase(const std::string& DatabaseFileName, const TQXLPassword& Password,
                                                std::uint16_t PageSize, std::uint16_t ExtentPageCount) {
  if (FDatabaseFile.IsOpened())
    throw EQXLException(10461, "Error - database file %s is in use.", {FDatabaseFile.FileName()});
  // Settings under which no page or space map could be addressed.
  if (PageSize <= QXLDiskPageHeaderSize || ExtentPageCount < 1 ||
      (!Password.Password.empty() && !qxl::IsValidCryptoAlgorithm(Password.CryptoAlgorithm)))
    throw EQXLException(20237, "Invalid database format");
  InitDBHeader();
  FOffsetToDBHeader = 0;
  FOffsetToCryptoHeader = sizeof(TQXLDBHeader);
  FOffsetToLockedBytes = FOffsetToCryptoHeader + sizeof(TQXLCryptoHeader);
  FOffsetToLastObjectID = FOffsetToLockedBytes + sizeof(TQXLLockedBytes);
  FOffsetToFirstPage = FOffsetToLastObjectID + 4;
  FPageSize = PageSize;
  FPageHeaderSize = QXLDiskPageHeaderSize;
  FPageDataSize = PageSize - QXLDiskPageHeaderSize;
  FPassword = Password;
  FCrypter.reset();
  FDatabaseFile.CreateAndOpenFile(DatabaseFileName);

  FDBHeader.Encrypted = Password.Password.empty() ? 0 : 0xFF;
  FDBHeader.PageSize = PageSize;
  FDBHeader.PageCountInExtent = ExtentPageCount;
  if (Encrypted()) {
    FCryptoHeader.CryptoAlgorithm = Password.CryptoAlgorithm;
    for (std::uint8_t& Byte : FCryptoHeader.ControlBlock) Byte = static_cast<std::uint8_t>(QXLRandom(255));
    FCryptoHeader.ControlBlockCRC = qxl::UpdateCrc32(0, FCryptoHeader.ControlBlock, QXLControlBlockSize);
    EncryptBuffer(Password.CryptoAlgorithm, FCryptoHeader.ControlBlock, QXLControlBlockSize, Password.Password);
  }
  WriteDBHeader(true);
  WriteCryptoHeader();
  WriteLockedBytes();
  InitObjectID();
  FDatabaseFreeSpaceManager = std::make_unique<TQXLDatabaseFreeSpaceManager>(*this);
}

bool TQXLDiskPageManager::IsFileReadOnly(const std::string& FileName, bool& MultiUser,
                                         platform::FileSystem& FileSystem) {
  if (FileSystem.IsReadOnly(FileName)) {
    MultiUser = false;
    return true;
  }
  // Only a refused permission makes the file read-only. A file in use is for
  // the open itself to judge, and a probe open would take share locks that
  // make other processes' opens fail meanwhile.
  return FileSystem.IsWriteRefused(FileName);
}

void TQXLDiskPageManager::OpenDatabase(const std::string& DatabaseFileName, const TQXLPassword& Password,
                                       bool& ReadOnly, bool& RepairNeeded, bool Exclusive, bool& aMultiUser) {
  if (FDatabaseFile.IsOpened())
    throw EQXLException(10462, "Error - database file %s is in use.", {FDatabaseFile.FileName()});
  FPassword = Password;
  FCrypter.reset();
  platform::FileSystem& Files = FDatabaseFile.FileSystem();
  if (!ReadOnly && Files.Exists(DatabaseFileName)) ReadOnly = IsFileReadOnly(DatabaseFileName, aMultiUser, Files);
  FMultiUser = aMultiUser;
  FExclusive = Exclusive;
  TQXLAccessMode Access = amReadWrite;
  TQXLShareMode Share = smShareDenyNone;
  if (ReadOnly) {
    Access = amReadOnly;
  } else if (Exclusive) {
    Share = smExclusive;
    FMultiUser = false;
  }
  FDatabaseFile.OpenFile(DatabaseFileName, Access, Share);
  if (FormEditorMode) FDatabaseFile.CloseFile();

  // The header lock byte lies where it lies in a file created by this engine
  // until the header has been located.
  FOffsetToDBHeader = 0;
  FOffsetToCryptoHeader = sizeof(TQXLDBHeader);
  FOffsetToLockedBytes = FOffsetToCryptoHeader + sizeof(TQXLCryptoHeader);
  FOffsetToLastObjectID = FOffsetToLockedBytes + sizeof(TQXLLockedBytes);
  FOffsetToFirstPage = FOffsetToLastObjectID + 4;
  try {
    {
      QXLWaitForHeaderLock(*this, 20230);
      TQXLUnlockOnExit Unlock([this] { return UnlockDBHeader(); });
      OpenUnderHeaderLock(RepairNeeded);
    }
    FDatabaseFreeSpaceManager = std::make_unique<TQXLDatabaseFreeSpaceManager>(*this);
  } catch (...) {
    // A file that failed to open is not kept open (and nothing was written);
    // the open's failure is the one to report.
    try {
      CloseDatabase();
    } catch (...) {
    }
    throw;
  }
}

void TQXLDiskPageManager::OpenUnderHeaderLock(bool& RepairNeeded) {
  {
    std::int64_t Found = 0;
    if (FDatabaseFile.FindSignature(Found)) FOffsetToDBHeader = Found;
  }
  ReadDBHeader();
  RepairNeeded = FDBHeader.WriteChangesState != QXLWriteChangesDone || FDBHeader.Version < QXLMinimumCleanVersion;

  if (std::memcmp(FDBHeader.Signature, QXLDatabaseSignature, QXLDatabaseSignatureSize) != 0) {
    std::string Found(FDBHeader.Signature, QXLDatabaseSignatureSize);
    Found.resize(std::strlen(Found.c_str()));
    throw EQXLException(10470, "Invalid file format. Found signature: '%s', expected: '%s'",
                        {Found, QXLDatabaseSignature});
  }
  if (FDBHeader.PageSize <= QXLDiskPageHeaderSize || FDBHeader.HeaderSize < static_cast<int>(sizeof(TQXLDBHeader)))
    throw EQXLException(20237, "Invalid database format");
  FPageSize = FDBHeader.PageSize;
  FPageHeaderSize = QXLDiskPageHeaderSize;
  FPageDataSize = FPageSize - QXLDiskPageHeaderSize;

  FOffsetToCryptoHeader = FOffsetToDBHeader + FDBHeader.HeaderSize;
  FOffsetToLockedBytes = FOffsetToCryptoHeader + sizeof(TQXLCryptoHeader);
  // A file cut short of its crypto header is no file with a wrong password.
  if (FileSize() < FOffsetToLockedBytes + static_cast<std::int64_t>(sizeof FLockedBytes.LockedByteSize))
    throw EQXLException(20237, "Invalid database format");
  ReadCryptoHeader();
  if (Encrypted()) {
    // No file of this engine names a cipher it does not know; its pages could
    // be neither read nor written.
    if (!qxl::IsValidCryptoAlgorithm(FCryptoHeader.CryptoAlgorithm)) throw EQXLException(20237, "Invalid database format");
    FPassword.CryptoAlgorithm = static_cast<TQXLCryptoAlgorithm>(FCryptoHeader.CryptoAlgorithm);
    DecryptBuffer(FPassword.CryptoAlgorithm, FCryptoHeader.ControlBlock, QXLControlBlockSize, FPassword.Password);
    if (qxl::UpdateCrc32(0, FCryptoHeader.ControlBlock, QXLControlBlockSize) != FCryptoHeader.ControlBlockCRC)
      throw EQXLException(30445, "Cannot open database - incorrect password");
  }
  if (FOffsetToCryptoHeader + FCryptoHeader.CryptoHeaderSize != FOffsetToLockedBytes)
    throw EQXLException(20237, "Invalid database format");
  ReadLockedBytes();
  FOffsetToLastObjectID = FOffsetToLockedBytes + FLockedBytes.LockedByteSize;
  FOffsetToFirstPage = FOffsetToLastObjectID + 4;
  ValidateLayout();
}

void TQXLDiskPageManager::ValidateLayout() {
  // Counters and sizes that no file of this engine carries, and a file shorter
  // than its header says, are refused before anything reads a page.
  const std::int64_t Size = FileSize();
  const std::int32_t Total = FDBHeader.TotalPageCount, LastUsed = FDBHeader.LastUsedPageNo;
  if (FLockedBytes.LockedByteSize < QXLDBHeaderByteOffset + 1 || FDBHeader.PageCountInExtent < 1 || Total < 0 ||
      LastUsed < -1 || LastUsed >= Total ||
      Size < FOffsetToFirstPage + static_cast<std::int64_t>(Total) * FPageSize)
    throw EQXLException(20237, "Invalid database format");
}

std::int64_t TQXLDiskPageManager::FileSize() {
  return FDatabaseFile.GetSize();
}

void TQXLDiskPageManager::CloseDatabase() {
  // A close that reports an error may have lost what was written: the caller
  // must hear of it, once everything is released.
  std::exception_ptr Failure;
  if (FDatabaseFile.IsOpened()) {
    try {
      FDatabaseFile.CloseFile();
    } catch (...) {
      Failure = std::current_exception();
    }
  }
  FLockDBHeaderCount = 0;
  FDatabaseFreeSpaceManager.reset();
  FCrypter.reset();
  if (Failure) std::rethrow_exception(Failure);
}

void TQXLDiskPageManager::ExtendFile(std::int32_t PageCount) {
  if (PageCount < 1) return;
  // The size follows from the header's count, not from the size found: a
  // growth that died before its header was written left the file longer.
  const std::int64_t NewCount = static_cast<std::int64_t>(FDBHeader.TotalPageCount) + PageCount;
  // A count that would leave 32 bits comes from a damaged header; the file
  // is not touched.
  if (FDBHeader.TotalPageCount < 0 || NewCount > std::numeric_limits<std::int32_t>::max())
    throw EQXLException(20237, "Invalid database format");
  FDatabaseFile.SetSize(FOffsetToFirstPage + NewCount * FPageSize);
  FDBHeader.TotalPageCount = static_cast<std::int32_t>(NewCount);
}

void TQXLDiskPageManager::TruncateFile(std::int32_t PageCount) {
  if (PageCount < 1 || PageCount > FDBHeader.TotalPageCount) return;
  FDBHeader.TotalPageCount -= PageCount;
  // The header goes first: a file cut off after it is only longer than its
  // header says, never shorter.
  WriteDBHeader(true);
  FDatabaseFile.SetSize(FOffsetToFirstPage + static_cast<std::int64_t>(FDBHeader.TotalPageCount) * FPageSize);
}

void TQXLDiskPageManager::TruncateDatabase() {
  const std::int32_t Count = FDBHeader.TotalPageCount - 1 - FDBHeader.LastUsedPageNo;
  if (Count > 0) TruncateFile(Count);
}

// ---- Pages ---------------------------------------------------------------

std::int32_t TQXLDiskPageManager::GetPageCount() {
  // Readers ask this while other processes commit, and a commit holds the
  // header lock: the count comes without it. The header read last may be
  // older than another process's growth, which the file's size already
  // shows; pages past the end read as no page of any type.
  const std::int64_t InFile = FPageSize > 0 ? (FileSize() - FOffsetToFirstPage) / FPageSize : 0;
  const std::int64_t Count = std::max<std::int64_t>(FDBHeader.TotalPageCount, InFile);
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(Count, 0, std::numeric_limits<std::int32_t>::max()));
}

bool TQXLDiskPageManager::IsPageUpToDate(std::int32_t SessionID, TQXLPage* Page) {
  if (!FMultiUser) return true;
  std::int32_t WorkTable, Work, RecordedTable, Recorded;
  return FTablePagesCacheManager.GetWorkTableState(SessionID, WorkTable, Work) &&
         Page->GetTableState(SessionID, RecordedTable, Recorded) && WorkTable == RecordedTable && Work == Recorded;
}

void TQXLDiskPageManager::SetPageUpToDate(std::int32_t SessionID, TQXLPage* Page) {
  std::int32_t WorkTable, Work;
  if (FMultiUser && FTablePagesCacheManager.GetWorkTableState(SessionID, WorkTable, Work))
    Page->SetTableState(SessionID, WorkTable, Work);
}

void TQXLDiskPageManager::InternalAddPage(TQXLPage* Page) {
  Page->SetPageNo(FreeSpace().GetPage());
  Page->AllocPageBuffer();
}

void TQXLDiskPageManager::InternalRemovePage(std::int32_t PageNo) {
  InternalWritePageState(PageNo, QXLRemovedPageState);
  FreeSpace().FreePage(PageNo);
}

bool TQXLDiskPageManager::IsEncryptedPage(const TQXLPage* Page) {
  return Encrypted() && Page->EncryptionEnabled() && !FreeSpace().IsSystemPage(Page->PageNo());
}

bool TQXLDiskPageManager::InternalReadPage(TQXLPage* Page) {
  if (!Page->PageBuffer()) Page->AllocPageBuffer();
  const bool Read = FDatabaseFile.ReadBuffer(Page->PageBuffer(), FPageSize, GetPageOffset(Page->PageNo()));
  if (!Read) {
    Page->SetHeaderState(QXLRemovedPageState);
  } else if (IsEncryptedPage(Page)) {
    TQXLDiskPageHeader Header;
    std::memcpy(&Header, Page->PageBuffer(), sizeof Header);
    const auto Algorithm = static_cast<TQXLCryptoAlgorithm>(Header.Cipherype);
    if (qxl::IsValidCryptoAlgorithm(Algorithm)) {
      if (!FCrypter) FCrypter = std::make_unique<TQXLPageCrypter>(FPassword.Password);
      try {
        FCrypter->Decrypt(Algorithm, Page->PageData(), FPageDataSize);
      } catch (const std::bad_alloc&) {
        throw;
      } catch (const std::exception&) {
        // Bytes that could not be decrypted are never handed out as page
        // data, whether or not CRC errors are ignored.
        throw EQXLException(30446, "Decrypt page error. Check CRC failed. PageNo: %d", {Page->PageNo()});
      }
    }
    if (!FIgnoreCRCErrors && DataCrc(Page) != Header.CRC32)
      throw EQXLException(30446, "Decrypt page error. Check CRC failed. PageNo: %d", {Page->PageNo()});
  }
  Page->SetReloaded(true);
  return Read;
}

void TQXLDiskPageManager::InternalWritePage(TQXLPage* Page) {
  Page->SetHeaderState(NextPageState(Page->HeaderState()));
  if (!IsEncryptedPage(Page)) {
    FDatabaseFile.WriteBuffer(Page->PageBuffer(), FPageSize, GetPageOffset(Page->PageNo()), 10469);
    return;
  }
  TQXLDiskPageHeader Header;
  std::memcpy(&Header, Page->PageBuffer(), sizeof Header);
  Header.Cipherype = FPassword.CryptoAlgorithm;
  Header.CRC32 = DataCrc(Page);
  std::memcpy(Page->PageBuffer(), &Header, sizeof Header);
  // The copy is coded, so the page in memory keeps its plain data.
  std::vector<std::uint8_t> Coded(Page->PageBuffer(), Page->PageBuffer() + FPageSize);
  if (!FCrypter) FCrypter = std::make_unique<TQXLPageCrypter>(FPassword.Password);
  FCrypter->Encrypt(FPassword.CryptoAlgorithm, Coded.data() + FPageHeaderSize, FPageDataSize);
  FDatabaseFile.WriteBuffer(Coded.data(), FPageSize, GetPageOffset(Page->PageNo()), 10469);
}

std::int32_t TQXLDiskPageManager::InternalReadPageState(std::int32_t PageNo) {
  std::int32_t State = QXLRemovedPageState;
  if (!FMultiUser) return State;
  try {
    FDatabaseFile.ReadBuffer(&State, sizeof State, GetPageOffset(PageNo) + QXLPageHeaderStateOffset, 20197);
  } catch (const platform::Exception&) {
    return QXLRemovedPageState;
  }
  return State;
}

void TQXLDiskPageManager::InternalWritePageState(std::int32_t PageNo, std::int32_t PageState) {
  FDatabaseFile.WriteBuffer(&PageState, sizeof PageState, GetPageOffset(PageNo) + QXLPageHeaderStateOffset, 20198);
}

bool TQXLDiskPageManager::ReadStoredPageState(std::int32_t PageNo, std::int32_t& State) {
  State = InternalReadPageState(PageNo);
  return true;
}

TQXLPage* TQXLDiskPageManager::GetPage(std::int32_t SessionID, std::int32_t PageNo, std::uint16_t PageType,
                                       bool SynchronizeAllowed) {
  FreeSpace().CheckPageNoForSystemPages(PageNo);
  return TQXLPageManager::GetPage(SessionID, PageNo, PageType, SynchronizeAllowed);
}

void TQXLDiskPageManager::RemovePage(std::int32_t SessionID, std::int32_t PageNo) {
  FreeSpace().CheckPageNoForSystemPages(PageNo);
  TQXLPageManager::RemovePage(SessionID, PageNo);
}

void TQXLDiskPageManager::ReadPageRegion(void* Buffer, std::int32_t PageNo, std::uint16_t Offset,
                                         std::uint16_t Count) {
  if (Offset + Count > FPageSize)
    throw EQXLException(10476, "Error - invalid page offset = %d, page size = %d", {Offset + Count, FPageSize});
  FDatabaseFile.ReadBuffer(Buffer, Count, GetPageOffset(PageNo) + Offset, 10474);
}

void TQXLDiskPageManager::WritePageRegion(const void* Buffer, std::int32_t PageNo, std::uint16_t Offset,
                                          std::uint16_t Count) {
  if (Offset + Count > FPageSize)
    throw EQXLException(10477, "Error - invalid page offset = %d, page size = %d", {Offset + Count, FPageSize});
  FDatabaseFile.WriteBuffer(Buffer, Count, GetPageOffset(PageNo) + Offset, 10475);
}

void TQXLDiskPageManager::WriteEmptyPage(std::int32_t PageNo) {
  TQXLPage Page(this);
  Page.SetPageNo(PageNo);
  Page.AllocPageBuffer();
  TQXLDiskPageHeader Header{};
  std::memcpy(Header.Signature, "QXL1", 4);
  Header.PageType = ptEmpty;
  Header.State = 0;
  Header.NextPageNo = -1;
  Header.ObjectID = -1;
  std::memcpy(Page.PageBuffer(), &Header, sizeof Header);
  InternalWritePage(&Page);
}

// ---- Locks ---------------------------------------------------------------

bool TQXLDiskPageManager::LockFileByte(std::int64_t Offset) {
  return FDatabaseFile.LockByte(Offset, 1);
}

bool TQXLDiskPageManager::UnlockFileByte(std::int64_t Offset) {
  return FDatabaseFile.UnlockByte(Offset, 1);
}

bool TQXLDiskPageManager::LockFreeSpaceManager() { return LockFileByte(FOffsetToLockedBytes + QXLFSMByteOffset); }
bool TQXLDiskPageManager::UnlockFreeSpaceManager() { return UnlockFileByte(FOffsetToLockedBytes + QXLFSMByteOffset); }
bool TQXLDiskPageManager::LockTables() { return LockFileByte(FOffsetToLockedBytes + QXLTablesByteOffset); }
bool TQXLDiskPageManager::UnlockTables() { return UnlockFileByte(FOffsetToLockedBytes + QXLTablesByteOffset); }

bool TQXLDiskPageManager::LockDBHeader() {
  // A nested call never counts on a byte that a reopen lost.
  if (FLockDBHeaderCount > 0) FDatabaseFile.CheckLocksKept();
  if (FLockDBHeaderCount == 0) {
    const std::int64_t Offset = FOffsetToLockedBytes + QXLDBHeaderByteOffset;
    if (!LockFileByte(Offset)) return false;
    // An open moves the offsets once it has found the header; the byte is
    // released where it was taken.
    FLockedDBHeaderByte = Offset;
  }
  ++FLockDBHeaderCount;
  return true;
}

bool TQXLDiskPageManager::UnlockDBHeader() {
  if (FLockDBHeaderCount <= 0) return false;
  if (--FLockDBHeaderCount > 0) return true;
  return UnlockFileByte(FLockedDBHeaderByte);
}

bool TQXLDiskPageManager::LockLastObjectID() { return LockFileByte(FOffsetToLastObjectID); }
bool TQXLDiskPageManager::UnlockLastObjectID() { return UnlockFileByte(FOffsetToLastObjectID); }
bool TQXLDiskPageManager::LockPageByte(std::int32_t PageNo, std::uint16_t Offset) {
  return LockFileByte(GetPageOffset(PageNo) + Offset);
}
bool TQXLDiskPageManager::UnlockPageByte(std::int32_t PageNo, std::uint16_t Offset) {
  return UnlockFileByte(GetPageOffset(PageNo) + Offset);
}
bool TQXLDiskPageManager::IsPageByteLocked(std::int32_t PageNo, std::uint16_t Offset) {
  return FDatabaseFile.IsByteLocked(GetPageOffset(PageNo) + Offset);
}
bool TQXLDiskPageManager::HoldsPageByte(std::int32_t PageNo, std::uint16_t Offset) const {
  return FDatabaseFile.HoldsByte(GetPageOffset(PageNo) + Offset);
}
bool TQXLDiskPageManager::IsPageRegionLocked(std::int32_t PageNo, std::uint16_t Offset, std::int32_t Count) {
  return FDatabaseFile.IsRegionLocked(GetPageOffset(PageNo) + Offset, Count);
}

// ---- Object numbers --------------------------------------------------------

std::int32_t TQXLDiskPageManager::GetNextObjectID() {
  if (!FormEditorMode && !FDatabaseFile.IsOpened()) throw EQXLException(30399, NotOpened);
  if (!TryRepeatedly(QXLLockTries, QXLLockDelayMS, [this] { return LockLastObjectID(); }))
    throw EQXLException(30401, "Cannot get NextObjectID. File area is Locked.");
  TQXLUnlockOnExit Unlock([this] { return UnlockLastObjectID(); });
  std::int32_t Id = 0;
  FDatabaseFile.ReadBuffer(&Id, sizeof Id, FOffsetToLastObjectID, 30400);
  Id = static_cast<std::int32_t>(static_cast<std::uint32_t>(Id) + 1);
  if (FDatabaseFile.AccessMode() == amReadWrite)
    FDatabaseFile.WriteBuffer(&Id, sizeof Id, FOffsetToLastObjectID, 30404);
  else
    Id = static_cast<std::int32_t>(static_cast<std::uint32_t>(Id) + static_cast<std::uint32_t>(QXLRandom(10000)));
  return Id;
}

void TQXLDiskPageManager::InitObjectID() {
  if (!TryRepeatedly(QXLLockTries, QXLLockDelayMS, [this] { return LockLastObjectID(); })) return;
  TQXLUnlockOnExit Unlock([this] { return UnlockLastObjectID(); });
  if (FDatabaseFile.AccessMode() != amReadWrite) return;
  const std::int32_t Zero = 0;
  FDatabaseFile.WriteBuffer(&Zero, sizeof Zero, FOffsetToLastObjectID, 30406);
}

// ---- Commit ----------------------------------------------------------------

void TQXLDiskPageManager::CheckPagesWithinFile(const TQXLSessionPageInfo& Info) const {
  // Another process may have released such a page and cut it off the end
  // while this one held a copy: writing it would lose the change and make the
  // file longer than its header says. Checked before anything is written.
  auto Check = [&](std::int32_t PageNo) {
    if (PageNo >= FDBHeader.TotalPageCount) throw EQXLException(10471, "Invalid PageNo = %d", {PageNo});
  };
  Info.DirtyPages.ForEach([&](const TQXLPage* Page) { Check(Page->PageNo()); });
  for (std::int32_t i = 0; i < Info.RemovedPageNumbers.ItemCount(); ++i) Check(Info.RemovedPageNumbers[i]);
}

void TQXLDiskPageManager::ApplyChanges(std::int32_t SessionID) {
  const TQXLSessionPageInfo* Info = FindSession(SessionID);
  if (!Info || (Info->RemovedPageNumbers.ItemCount() == 0 && Info->AddedPageNumbers.ItemCount() == 0 &&
                Info->DirtyPages.Count() == 0))
    return;
  // A commit refused for pages still in use leaves the file untouched.
  CheckCanCommit(SessionID);
  QXLWaitForHeaderLock(*this, 20213);
  TQXLUnlockOnExit Unlock([this] { return UnlockDBHeader(); });
  ReadDBHeader();
  CheckPagesWithinFile(*Info);
  // A commit that another process left half-written keeps its mark, so that
  // the next open still reports that the database needs repair.
  const bool Interrupted = FDBHeader.WriteChangesState != QXLWriteChangesDone;
  FDBHeader.WriteChangesState = QXLWriteChangesWriting;
  WriteDBHeader(true);
  TQXLPageManager::ApplyChanges(SessionID);
  FDBHeader.State = static_cast<std::int32_t>(static_cast<std::uint32_t>(FDBHeader.State) + 1);
  FDBHeader.WriteChangesState = Interrupted ? QXLWriteChangesWriting : QXLWriteChangesDone;
  WriteDBHeader(false);
}

}  // namespace qxl
