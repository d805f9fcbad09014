#include "engine/storage/pager/QXLDatabaseFile.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/storage/pager/QXLDiskFormat.h"
#include "platform/Clock.h"

namespace qxl {

bool TryRepeatedly(std::int32_t TryCount, std::int32_t DelayMS, const std::function<bool()>& LockFunction) {
  for (std::int32_t i = 0; i < TryCount; ++i) {
    if (LockFunction()) return true;
    platform::Sleep(static_cast<std::uint32_t>(DelayMS));
  }
  return false;
}

namespace {

platform::AccessMode TranslateAccess(TQXLAccessMode Mode) {
  switch (Mode) {
    case amReadOnly: return platform::AccessMode::ReadOnly;
    case amReadWrite: return platform::AccessMode::ReadWrite;
  }
  throw EQXLException(30366, "Unknown Access mode: '%d'", {static_cast<int>(Mode)});
}

platform::ShareMode TranslateShare(TQXLShareMode Mode) {
  switch (Mode) {
    case smExclusive: return platform::ShareMode::Exclusive;
    case smShareDenyNone: return platform::ShareMode::DenyNone;
    case smShareDenyWrite: return platform::ShareMode::DenyWrite;
  }
  throw EQXLException(30367, "Unknown Share mode: '%d'", {static_cast<int>(Mode)});
}

constexpr std::int64_t SearchWindow = 10000;
constexpr std::int64_t SearchOverlap = 16;

bool IsHeaderAt(const std::uint8_t* Bytes) {
  std::int16_t HeaderSize;
  std::memcpy(&HeaderSize, Bytes + QXLDatabaseSignatureSize, 2);
  return std::memcmp(Bytes, QXLDatabaseSignature, QXLDatabaseSignatureSize) == 0 &&
         HeaderSize == static_cast<std::int16_t>(sizeof(TQXLDBHeader));
}

}  // namespace

// Inside a form editor the file stays closed between accesses: each access
// opens it for itself and closes it again. Nested accesses find it open.
class TQXLDatabaseFile::TDesignTimeAccess {
public:
  explicit TDesignTimeAccess(TQXLDatabaseFile& File)
      : FFile(FormEditorMode && !File.FIsOpened && !File.FFileName.empty() ? &File : nullptr) {
    if (FFile) FFile->OpenFileForDesignTime();
  }
  ~TDesignTimeAccess() {
    try {
      if (FFile) FFile->CloseFileForDesignTime();
    } catch (const platform::Exception&) {
    }
  }
  TDesignTimeAccess(const TDesignTimeAccess&) = delete;
  TDesignTimeAccess& operator=(const TDesignTimeAccess&) = delete;

private:
  TQXLDatabaseFile* FFile;
};

TQXLDatabaseFile::TQXLDatabaseFile(platform::FileSystem& FileSystem) : FFileSystem(FileSystem) {}

TQXLDatabaseFile::~TQXLDatabaseFile() {
  try {
    CloseHandle();
  } catch (const platform::Exception&) {
  }
}

void TQXLDatabaseFile::CheckOpened(const char* Operation) const {
  if (!FIsOpened)
    throw EQXLException(30376, "Cannot perform this operation (%s) on a closed file", {Operation});
}

void TQXLDatabaseFile::CheckClosed(const char* Operation) const {
  if (FIsOpened)
    throw EQXLException(30377, "Cannot perform this operation (%s) on a opened file", {Operation});
}

void TQXLDatabaseFile::CreateAndOpenFile(const std::string& FileName) {
  CheckClosed("CreateFile");
  if (FileName.empty()) throw EQXLException(30374, "Cannot create file with blank FileName");
  FFileName = FileName;
  FAccessMode = amReadWrite;
  FShareMode = smExclusive;
  // An existing file is deleted first (which also drops a read-only mark),
  // but never while a handle has it open: then creating is refused too.
  try {
    if (FFileSystem.Exists(FileName)) FFileSystem.Delete(FileName);
  } catch (const platform::Exception&) {
  }
  try {
    FFile = FFileSystem.Create(FileName, platform::ShareMode::Exclusive);
  } catch (const platform::EOSError& e) {
    throw EQXLException(30361, "Cannot create file: '%s' Error code: %d. ErrorMessage: %s",
                        {FileName, e.ErrorCode, platform::SysErrorMessage(e.ErrorCode)});
  }
  FIsOpened = true;
  FPosition = 0;
}

void TQXLDatabaseFile::OpenHandle() {
  FFile = FFileSystem.Open(FFileName, TranslateAccess(FAccessMode), TranslateShare(FShareMode));
}

void TQXLDatabaseFile::CloseHandle() {
  if (!FFile) return;
  std::unique_ptr<platform::FileHandle> Handle = std::move(FFile);
  Handle->Close();
}

void TQXLDatabaseFile::OpenFile(const std::string& FileName, TQXLAccessMode AccessMode,
                                TQXLShareMode ShareMode) {
  CheckClosed("OpenFile");
  FFileName = FileName;
  FAccessMode = AccessMode;
  FShareMode = ShareMode;
  try {
    OpenHandle();
  } catch (const platform::EOSError& e) {
    throw EQXLException(30364, "Cannot open file:'%s' Error code: %d. ErrorMessage: %s",
                        {FileName, e.ErrorCode, platform::SysErrorMessage(e.ErrorCode)});
  }
  FIsOpened = true;
  FPosition = 0;
}

void TQXLDatabaseFile::DeleteFile(const std::string& FileName) {
  CheckClosed("DeleteFile");
  int Error = platform::ErrorSharingViolation;
  try {
    if (FFileSystem.Delete(FileName)) return;
  } catch (const platform::EOSError& e) {
    Error = e.ErrorCode;
  }
  throw EQXLException(30362, "Cannot delete file: '%s' Error code: %d. ErrorMessage: %s",
                      {FileName, Error, platform::SysErrorMessage(Error)});
}

void TQXLDatabaseFile::RenameFile(const std::string& OldFileName, const std::string& NewFileName) {
  int Error = platform::ErrorSharingViolation;
  try {
    if (FFileSystem.Rename(OldFileName, NewFileName)) return;
  } catch (const platform::EOSError& e) {
    Error = e.ErrorCode;
  }
  throw EQXLException(30378, "Cannot rename file '%s' to '%s' ErrorCode:%d. ErrorMessage: %s",
                      {OldFileName, NewFileName, Error, platform::SysErrorMessage(Error)});
}

void TQXLDatabaseFile::CloseFile() {
  CheckOpened("CloseFile");
  // The handle is released even when closing reports an error, and with it
  // every lock.
  FIsOpened = false;
  FHeldLocks.clear();
  FLocksLost = false;
  try {
    CloseHandle();
  } catch (const platform::EOSError& e) {
    throw EQXLException(30365, "Cannot close file:'%s' Error code: %d. ErrorMessage: %s",
                        {FFileName, e.ErrorCode, platform::SysErrorMessage(e.ErrorCode)});
  }
}

void TQXLDatabaseFile::OpenFileForDesignTime() {
  if (DesignOpenCount == 0) OpenFile(FFileName, FAccessMode, FShareMode);
  ++DesignOpenCount;
}

void TQXLDatabaseFile::CloseFileForDesignTime() {
  if (DesignOpenCount < 1) return;
  if (--DesignOpenCount == 0) CloseFile();
}

bool TQXLDatabaseFile::ReopenDatabaseFile() {
  if (FFile && FFile->IsHealthy()) return true;
  for (int Try = 0; Try < 3; ++Try) {
    if (Try > 0) platform::Sleep(1000);
    try {
      CloseHandle();
    } catch (const platform::Exception&) {
    }
    try {
      OpenHandle();
      break;
    } catch (const platform::Exception&) {
    }
  }
  if (!FFile) return false;
  CheckNoLocksHeldAcrossReopen();
  return true;
}

void TQXLDatabaseFile::CheckNoLocksHeldAcrossReopen() {
  if (FHeldLocks.empty()) return;
  // The old handle took its locks with it, and between the two handles
  // another process may have taken one, changed what it guards and let it
  // go: a lock taken again would not tell. What this object read under them
  // is stale, so the file refuses changes until it is closed.
  const std::int64_t Lost = FHeldLocks.front().Offset;
  FHeldLocks.clear();
  FLocksLost = true;
  throw EQXLException(30380, "File '%s' was opened again and lost its lock at %d. "
                             "The file refuses changes until it is closed",
                      {FFileName, Lost});
}

void TQXLDatabaseFile::CheckLocksKept() const {
  if (FLocksLost)
    throw EQXLException(30380, "File '%s' lost its locks when it was opened again. "
                               "The file refuses changes until it is closed",
                        {FFileName});
}

bool TQXLDatabaseFile::TryWithReopen(const std::function<void()>& Call, int* SystemError) {
  int Error = 0;
  auto Attempt = [&] {
    if (!FFile) return false;
    try {
      Call();
      return true;
    } catch (const platform::EOSError& e) {
      Error = e.ErrorCode;
      return false;
    }
  };
  const bool Done = Attempt() || (ReopenDatabaseFile() && Attempt());
  if (SystemError) *SystemError = Error;
  return Done;
}

void TQXLDatabaseFile::WithReopen(const std::function<void()>& Call, const std::function<void(int)>& Raise) {
  int Error = 0;
  if (!TryWithReopen(Call, &Error)) Raise(Error);
}

bool TQXLDatabaseFile::Seek(std::int64_t Position) {
  TDesignTimeAccess Access(*this);
  CheckOpened("Seek");
  // The descriptor has no pointer of its own; a position is valid when it is
  // not negative and the handle is usable.
  if (Position < 0) return false;
  return TryWithReopen([&] { FPosition = Position; });
}

std::int64_t TQXLDatabaseFile::QuietSize() {
  try {
    return FFile ? FFile->Size() : -1;
  } catch (const platform::Exception&) {
    return -1;
  }
}

void TQXLDatabaseFile::RaisingSeek(std::int64_t Position, std::int32_t ErrorCode) {
  if (Seek(Position)) return;
  throw EQXLException(ErrorCode ? ErrorCode : 30372,
                      "Cannot Set File Position to %d. FileName='%s'. FilePosition = %d, FileSize = %d",
                      {Position, FFileName, FPosition, QuietSize()});
}

std::int64_t TQXLDatabaseFile::GetPosition() {
  TDesignTimeAccess Access(*this);
  CheckOpened("GetPosition");
  return FPosition;
}

void TQXLDatabaseFile::SetPosition(std::int64_t Value) {
  TDesignTimeAccess Access(*this);
  CheckOpened("SetPosition");
  RaisingSeek(Value, 30372);
}

std::int64_t TQXLDatabaseFile::GetSize() {
  TDesignTimeAccess Access(*this);
  CheckOpened("GetSize");
  std::int64_t Size = 0;
  WithReopen([&] { Size = FFile->Size(); },
             [&](int Error) {
               throw EQXLException(30371, "Cannot Get File Size for file: '%s'. ErrorCode:%d. ErrorMessage: %s",
                                   {FFileName, Error, platform::SysErrorMessage(Error)});
             });
  return Size;
}

void TQXLDatabaseFile::SetSize(std::int64_t NewSize) {
  TDesignTimeAccess Access(*this);
  CheckOpened("SetSize");
  CheckLocksKept();
  RaisingSeek(NewSize, 30372);
  WithReopen([&] { FFile->SetSize(NewSize); },
             [&](int Error) {
               throw EQXLException(30370, "Cannot Truncate File '%s' to %d bytes. ErrorCode:%d. ErrorMessage: %s",
                                   {FFileName, NewSize, Error, platform::SysErrorMessage(Error)});
             });
}

void TQXLDatabaseFile::FlushFileBuffers() {
  TDesignTimeAccess Access(*this);
  CheckOpened("FlushFileBuffers");
  WithReopen([&] { FFile->Flush(); },
             [&](int Error) {
               throw EQXLException(30379, "Cannot flush file buffers for file: '%s'. ErrorCode:%d. ErrorMessage: %s",
                                   {FFileName, Error, platform::SysErrorMessage(Error)});
             });
}

bool TQXLDatabaseFile::ReadBuffer(void* Buffer, std::int64_t Count, std::int64_t Position) {
  TDesignTimeAccess Access(*this);
  CheckOpened("ReadBuffer");
  if (Position < 0 || Count < 0) return false;
  return TryWithReopen([&] { ReadAt(Buffer, Count, Position); });
}

void TQXLDatabaseFile::ReadAt(void* Buffer, std::int64_t Count, std::int64_t Position) {
  const std::size_t Read = FFile->ReadAt(Buffer, static_cast<std::size_t>(Count), Position);
  FPosition = Position + static_cast<std::int64_t>(Read);
}

std::string TQXLDatabaseFile::IOMessage(const char* Template, std::int64_t Position, std::int64_t Count,
                                        int SystemError) {
  // Fetching position and size for the message never replaces the error
  // being reported.
  std::string Text;
  const std::string SystemMessage = platform::SysErrorMessage(SystemError);
  const platform::FormatArg Args[] = {FFileName, Position,    Count,        FPosition,
                                      QuietSize(), SystemError, SystemMessage};
  if (!platform::TryFormat(Text, Template, Args)) Text = Template;
  return Text;
}

void TQXLDatabaseFile::ReadBuffer(void* Buffer, std::int64_t Count, std::int64_t Position,
                                  std::int32_t ErrorCode) {
  TDesignTimeAccess Access(*this);
  CheckOpened("ReadBuffer");
  int Error = 0;
  if (Position >= 0 && Count >= 0 && TryWithReopen([&] { ReadAt(Buffer, Count, Position); }, &Error)) return;
  throw EQXLException(ErrorCode, IOMessage("Cannot Read from file: '%s' Position = %d, Count = %d, "
                                           "FilePosition = %d, FileSize = %d, ErrorCode:%d. ErrorMessage: %s",
                                           Position, Count, Error));
}

void TQXLDatabaseFile::WriteBuffer(const void* Buffer, std::int64_t Count, std::int64_t Position,
                                   std::int32_t ErrorCode) {
  TDesignTimeAccess Access(*this);
  CheckOpened("WriteBuffer");
  CheckLocksKept();
  RaisingSeek(Position, ErrorCode);
  int Error = 0;
  const bool Done = Count >= 0 && TryWithReopen(
                                      [&] {
                                        // Short writes are repeated until every byte is written, or fail.
                                        FFile->WriteAt(Buffer, static_cast<std::size_t>(Count), Position);
                                        FPosition = Position + Count;
                                      },
                                      &Error);
  if (!Done)
    throw EQXLException(ErrorCode, IOMessage("Cannot Write to file: '%s' Position = %d, Count = %d, "
                                             "FilePosition = %d, FileSize = %d, ErrorCode:%d. ErrorMessage: %s",
                                             Position, Count, Error));
}

bool TQXLDatabaseFile::LockByte(std::int64_t Offset, std::int32_t Count) {
  TDesignTimeAccess Access(*this);
  CheckOpened("LockByte");
  CheckLocksKept();
  // A lock that was not taken is always a failed attempt, whatever the
  // reason; a refusal is no fault of the handle.
  bool Taken = false;
  TryWithReopen([&] { Taken = FFile->Lock(Offset, Count); });
  if (Taken) FHeldLocks.push_back({Offset, Count});
  return Taken;
}

bool TQXLDatabaseFile::UnlockByte(std::int64_t Offset, std::int32_t Count) {
  TDesignTimeAccess Access(*this);
  CheckOpened("UnlockByte");
  bool Done = false;
  TryWithReopen([&] { Done = FFile->Unlock(Offset, Count); });
  if (Done) {
    for (auto It = FHeldLocks.begin(); It != FHeldLocks.end(); ++It)
      if (It->Offset == Offset && It->Count == Count) {
        FHeldLocks.erase(It);
        break;
      }
  }
  return Done || FormEditorMode;
}

bool TQXLDatabaseFile::IsByteLocked(std::int64_t Offset) {
  TDesignTimeAccess Access(*this);
  CheckOpened("IsByteLocked");
  return IsRegionLocked(Offset, 1);
}

bool TQXLDatabaseFile::HoldsByte(std::int64_t Offset) const {
  return std::any_of(FHeldLocks.begin(), FHeldLocks.end(),
                     [&](const TLockRange& Held) { return Offset >= Held.Offset && Offset < Held.Offset + Held.Count; });
}

bool TQXLDatabaseFile::IsRegionLocked(std::int64_t Offset, std::int32_t Count) {
  TDesignTimeAccess Access(*this);
  CheckOpened("IsRegionLocked");
  try {
    return !FFile || FFile->IsRegionLocked(Offset, Count);
  } catch (const platform::Exception&) {
    return true;  // a byte that cannot be probed cannot be locked either
  }
}

bool TQXLDatabaseFile::FindSignature(std::int64_t& Offset) {
  TDesignTimeAccess Access(*this);
  const std::int64_t SavedPosition = FPosition;
  struct RestorePosition {
    TQXLDatabaseFile* File;
    std::int64_t Position;
    ~RestorePosition() { File->FPosition = Position; }
  } Restore{this, SavedPosition};

  std::vector<std::uint8_t> Window(SearchWindow, 0);
  const std::int64_t First = sizeof(TQXLDBHeader) + QXLDatabaseSignatureSize;
  if (ReadBuffer(Window.data(), First, 0) && QuietSize() >= First && IsHeaderAt(Window.data())) {
    Offset = 0;
    return true;
  }
  const std::int64_t FileSize = QuietSize();
  for (std::int64_t Start = 0; Start < FileSize; Start += SearchWindow - SearchOverlap) {
    const std::int64_t Count = std::min(SearchWindow, FileSize - Start);
    if (!ReadBuffer(Window.data(), Count, Start)) return false;
    for (std::int64_t i = 0; i + QXLDatabaseSignatureSize + 2 <= Count; ++i)
      if (IsHeaderAt(Window.data() + i)) {
        Offset = Start + i;
        return true;
      }
  }
  return false;
}

}  // namespace qxl
