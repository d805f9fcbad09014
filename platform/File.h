#pragma once
// The real file handle: positioned I/O, Windows-like share modes and exclusive,
// non-blocking byte-range locks owned by the handle (Linux OFD locks).
// Threads: lock calls from any thread; the others one thread at a time.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace platform {

class File : public FileHandle {
public:
  // Share modes are kept as shared locks on these bytes, far beyond any data;
  // byte-range locks may not reach them.
  static constexpr std::int64_t ShareBytesOffset = 0x7FFFFFFFFFFF0000;

  File() = default;
  ~File() override;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens an existing file. Throws EOSError; ErrorSharingViolation when the
  // share modes of this or another open handle forbid it.
  void Open(const std::string& fileName, AccessMode access, ShareMode share);
  // Creates the file read-write, or empties it when it exists. An existing file
  // that another handle has open is refused (ErrorSharingViolation), never
  // emptied.
  void Create(const std::string& fileName, ShareMode share = ShareMode::Exclusive);
  // Releases the handle and its locks. Throws EOSError when close reports an
  // error; the handle is released all the same.
  void Close() override;

  bool IsOpen() const { return FFd >= 0; }
  const std::string& Name() const override { return FFileName; }

  std::int64_t ReadSome(void* buffer, std::size_t count, std::int64_t offset) override;
  std::int64_t WriteSome(const void* buffer, std::size_t count, std::int64_t offset) override;
  std::int64_t Size() const override;
  void SetSize(std::int64_t size) override;
  void Flush() override;
  bool IsHealthy() const override;

  bool Lock(std::int64_t offset, std::int64_t count) override;
  bool Unlock(std::int64_t offset, std::int64_t count) override;
  bool IsRegionLocked(std::int64_t offset, std::int64_t count) const override;

private:
  struct Range {
    std::int64_t Offset, Count;
  };

  void CheckOpen(const char* operation) const;
  void OpenDescriptor(const std::string& fileName, int flags, AccessMode access);
  void TakeShare(ShareMode share);
  // Opens the descriptor and takes the share locks until the name still names
  // the file held once they are taken.
  void OpenByName(const std::string& fileName, int flags, AccessMode access, ShareMode share, bool refuseInUse);
  // 0 once no delete or rename holds the file's guard, else an error code.
  int WaitForGuard() const;
  bool NameHoldsFile(const std::string& fileName) const;
  // Whether this handle's registry holds part of the range (FLocksMutex held).
  bool HoldsPartOf(std::int64_t offset, std::int64_t count) const;
  [[noreturn]] void Fail(const char* operation, int errorCode) const;
  // Closes the descriptor of a handle that could not be opened, and throws.
  [[noreturn]] void Abandon(const char* operation, int errorCode);

  int FFd = -1;
  std::string FFileName;
  AccessMode FAccess = AccessMode::ReadOnly;
  mutable std::mutex FLocksMutex;
  std::vector<Range> FLocks;
};

// True when a file (not a directory) of that name exists.
bool FileExists(const std::string& fileName);
// True when the file is marked read-only: nobody may write it.
bool IsFileReadOnly(const std::string& fileName);
// True only when the system refuses this process permission to write the file.
bool IsFileWriteRefused(const std::string& fileName);
// Deletes a file; false when any handle has it open. Other failures (such as a
// missing file) throw EOSError.
bool DeleteFile(const std::string& fileName);
// Renames a file without replacing an existing one; false when any handle has
// the old file open. Other failures (an existing new name: EEXIST) throw
// EOSError.
bool RenameFile(const std::string& oldName, const std::string& newName);
// Puts fileName in the place of existingName in one atomic step (the old file
// is gone from its name as the new one takes it); false when any handle has
// either file open. Other failures throw EOSError and change nothing.
bool ReplaceFile(const std::string& fileName, const std::string& existingName);
// The bytes this process may still write on the file system that holds the
// folder of fileName (the file itself need not exist). Throws EOSError.
std::int64_t FreeSpaceForFile(const std::string& fileName);

}  // namespace platform
