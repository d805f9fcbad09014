#pragma once
// The only object that touches a database file: positioned reads and writes,
// size, flush, byte-range locks and the header search, each call that fails
// with a system error retried once after the handle was checked and, if it
// went bad, reopened.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/abstract/QXLFormEditorMode.h"
#include "platform/FileSystem.h"

namespace qxl {

enum TQXLAccessMode { amReadOnly, amReadWrite };
enum TQXLShareMode { smExclusive, smShareDenyNone, smShareDenyWrite };

// Calls LockFunction up to TryCount times, sleeping DelayMS after each failed
// call (the last one too); true at the first success.
bool TryRepeatedly(std::int32_t TryCount, std::int32_t DelayMS, const std::function<bool()>& LockFunction);

// The wait for the header and object-counter locks: about 90 seconds.
inline constexpr std::int32_t QXLLockTries = 4500;
inline constexpr std::int32_t QXLLockDelayMS = 20;

// Releases a lock on every way out of a scope; a failing release never
// replaces the error that is on its way out.
class TQXLUnlockOnExit {
public:
  explicit TQXLUnlockOnExit(std::function<bool()> Unlock) : FUnlock(std::move(Unlock)) {}
  ~TQXLUnlockOnExit() {
    try {
      FUnlock();
    } catch (...) {
    }
  }
  TQXLUnlockOnExit(const TQXLUnlockOnExit&) = delete;
  TQXLUnlockOnExit& operator=(const TQXLUnlockOnExit&) = delete;

private:
  std::function<bool()> FUnlock;
};

class TQXLDatabaseFile {
public:
  // Every file of the object is opened, created, deleted and renamed through
  // FileSystem, which must outlive the object.
  explicit TQXLDatabaseFile(platform::FileSystem& FileSystem = platform::RealFileSystem());
  ~TQXLDatabaseFile();
  TQXLDatabaseFile(const TQXLDatabaseFile&) = delete;
  TQXLDatabaseFile& operator=(const TQXLDatabaseFile&) = delete;

  const std::string& FileName() const { return FFileName; }
  platform::FileSystem& FileSystem() const { return FFileSystem; }
  bool IsOpened() const { return FIsOpened; }
  TQXLAccessMode AccessMode() const { return FAccessMode; }

  // Creates an empty file, opened read-write and exclusively. An existing file
  // is replaced only when no handle has it open.
  void CreateAndOpenFile(const std::string& FileName);
  void OpenFile(const std::string& FileName, TQXLAccessMode AccessMode, TQXLShareMode ShareMode);
  void DeleteFile(const std::string& FileName);
  void RenameFile(const std::string& OldFileName, const std::string& NewFileName);
  void CloseFile();
  void OpenFileForDesignTime();
  void CloseFileForDesignTime();
  // True when the handle is healthy or could be opened again. A handle opened
  // again while this object held locks has lost them (the old handle's locks
  // went with it, and another process may have used the gap): it raises
  // 30380, and the object then refuses writes, size changes and new locks
  // (30380) until CloseFile.
  bool ReopenDatabaseFile();
  // Raises 30380 when a reopen lost this object's locks.
  void CheckLocksKept() const;

  std::int64_t GetPosition();
  void SetPosition(std::int64_t Value);
  std::int64_t GetSize();
  void SetSize(std::int64_t NewSize);
  void FlushFileBuffers();

  // A read at or past the end succeeds; the part of Buffer not filled keeps
  // its content.
  bool ReadBuffer(void* Buffer, std::int64_t Count, std::int64_t Position);
  void ReadBuffer(void* Buffer, std::int64_t Count, std::int64_t Position, std::int32_t ErrorCode);
  // Writes all Count bytes or raises ErrorCode.
  void WriteBuffer(const void* Buffer, std::int64_t Count, std::int64_t Position, std::int32_t ErrorCode);

  // Locks never raise on a refusal: false means not granted. LockByte raises
  // 30380 once a reopen lost the object's locks.
  bool LockByte(std::int64_t Offset, std::int32_t Count);
  bool UnlockByte(std::int64_t Offset, std::int32_t Count);
  // Probes that never take a lock, so nobody else's attempt can fail by them.
  bool IsByteLocked(std::int64_t Offset);
  bool IsRegionLocked(std::int64_t Offset, std::int32_t Count);
  // Whether this object holds a lock on the byte at Offset; asks the system nothing.
  bool HoldsByte(std::int64_t Offset) const;

  // Locates the database header; false when no signature was found.
  bool FindSignature(std::int64_t& Offset);

private:
  // The design-time bracket of every access, while FormEditorMode is set.
  class TDesignTimeAccess;

  void CheckOpened(const char* Operation) const;
  void CheckClosed(const char* Operation) const;
  void OpenHandle();
  // Releases the handle; throws the platform's error when closing reports one.
  void CloseHandle();
  // Runs Call on the handle: one attempt, then, when it raised a system
  // error and the handle is usable again, one more. False when neither
  // succeeded, with the last system error in SystemError (0 without a
  // handle): for the calls whose failure is an answer (a read that reports
  // false, a lock not taken).
  bool TryWithReopen(const std::function<void()>& Call, int* SystemError = nullptr);
  // The same for every other call: when neither attempt succeeded, Raise is
  // given the system error and throws.
  void WithReopen(const std::function<void()>& Call, const std::function<void(int)>& Raise);
  void ReadAt(void* Buffer, std::int64_t Count, std::int64_t Position);
  // Raises 30380 when the handle was opened again while locks were held.
  void CheckNoLocksHeldAcrossReopen();
  bool Seek(std::int64_t Position);
  void RaisingSeek(std::int64_t Position, std::int32_t ErrorCode);
  // Position and size for messages; -1 when they cannot be had.
  std::int64_t QuietSize();
  std::string IOMessage(const char* Template, std::int64_t Position, std::int64_t Count, int SystemError);

  platform::FileSystem& FFileSystem;
  std::string FFileName;
  TQXLAccessMode FAccessMode = amReadWrite;
  TQXLShareMode FShareMode = smExclusive;
  // Null while no handle is open.
  std::unique_ptr<platform::FileHandle> FFile;
  bool FIsOpened = false;
  std::int32_t DesignOpenCount = 0;
  // The emulated file pointer: where the last seek, read or write ended.
  std::int64_t FPosition = 0;
  struct TLockRange {
    std::int64_t Offset;
    std::int32_t Count;
  };
  // The ranges this object holds, which a reopen must take again.
  std::vector<TLockRange> FHeldLocks;
  // Set when a reopen could not take them all again; cleared by CloseFile.
  bool FLocksLost = false;
};

}  // namespace qxl
