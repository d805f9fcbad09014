#pragma once
// A file handle with positioned I/O, Windows-like share modes and exclusive,
// non-blocking byte-range locks owned by the handle (Linux OFD locks).
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Exception.h"

namespace platform {

// An operating-system failure; ErrorCode is the errno value.
class EOSError : public Exception {
public:
  EOSError(int errorCode, std::string message) : Exception(std::move(message)), ErrorCode(errorCode) {}
  int ErrorCode;
};

// The error code of an open, create, delete or rename refused because the file
// is in use by another handle (the Windows sharing violation).
inline constexpr int ErrorSharingViolation = 16;  // EBUSY

// The system's message text for an errno value.
std::string SysErrorMessage(int errorCode);

enum class AccessMode { ReadOnly, ReadWrite };

// As on Windows: Exclusive admits no other handle; DenyWrite admits other
// handles that only read; DenyNone admits any handle that admits it.
enum class ShareMode { Exclusive, DenyWrite, DenyNone };

class File {
public:
  // Share modes are kept as shared locks on these bytes, far beyond any data;
  // byte-range locks may not reach them.
  static constexpr std::int64_t ShareBytesOffset = 0x7FFFFFFFFFFF0000;

  File() = default;
  ~File();
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
  void Close();

  bool IsOpen() const { return FFd >= 0; }

  // Reads up to count bytes at offset; fewer only at the end of the file.
  std::size_t ReadAt(void* buffer, std::size_t count, std::int64_t offset);
  // Writes all count bytes at offset, or throws.
  void WriteAt(const void* buffer, std::size_t count, std::int64_t offset);
  std::int64_t Size() const;
  void SetSize(std::int64_t size);
  void Flush();

  // Exclusive lock of [offset, offset+count). False when another handle holds
  // any of it, when this handle already holds any of it, or the range is
  // invalid. Other failures throw EOSError.
  bool Lock(std::int64_t offset, std::int64_t count);
  // Releases a range locked by this handle with exactly these bounds; false
  // when this handle holds no such lock.
  bool Unlock(std::int64_t offset, std::int64_t count);
  // True when the range cannot be locked now by this handle: some handle
  // (this one included) holds part of it. Never takes a lock.
  bool IsRegionLocked(std::int64_t offset, std::int64_t count) const;
  bool IsByteLocked(std::int64_t offset) const { return IsRegionLocked(offset, 1); }

private:
  struct Range {
    std::int64_t Offset, Count;
  };

  void CheckOpen(const char* operation) const;
  void OpenDescriptor(const std::string& fileName, int flags, AccessMode access);
  void TakeShare(ShareMode share);
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
// Deletes a file; false when any handle has it open. Other failures (such as a
// missing file) throw EOSError.
bool DeleteFile(const std::string& fileName);
// Renames a file without replacing an existing one; false when any handle has
// the old file open. Other failures (an existing new name: EEXIST) throw
// EOSError.
bool RenameFile(const std::string& oldName, const std::string& newName);

}  // namespace platform
