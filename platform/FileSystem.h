#pragma once
// The seam between the engine and the operating system's files: a file system
// that opens, creates, deletes and renames files, and the handles it gives out
// (positioned I/O, size, flush, byte-range locks and their probes). The engine's
// file objects take a FileSystem at construction; the real one is the default,
// and tests put a double in its place that fails chosen calls.
//
// Threads: RealFileSystem() may be used from any thread. A handle's lock calls
// are safe from several threads; its other calls belong to one thread at a time.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

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
// "operation 'fileName': message", the text of an EOSError.
std::string DescribeFailure(const char* operation, const std::string& fileName, int errorCode);

enum class AccessMode { ReadOnly, ReadWrite };

// As on Windows: Exclusive admits no other handle; DenyWrite admits other
// handles that only read; DenyNone admits any handle that admits it.
enum class ShareMode { Exclusive, DenyWrite, DenyNone };

class FileHandle {
public:
  virtual ~FileHandle() = default;

  // The name the handle was opened by, for messages.
  virtual const std::string& Name() const = 0;

  // One transfer at offset: the number of bytes moved, which may be fewer than
  // count (0 at the end of the file, or a write that made no progress), or
  // -errno; -EINTR when a signal interrupted it before anything moved.
  virtual std::int64_t ReadSome(void* buffer, std::size_t count, std::int64_t offset) = 0;
  virtual std::int64_t WriteSome(const void* buffer, std::size_t count, std::int64_t offset) = 0;

  // Reads up to count bytes at offset; fewer only at the end of the file. Short
  // and interrupted transfers are repeated. Throws EOSError.
  std::size_t ReadAt(void* buffer, std::size_t count, std::int64_t offset);
  // Writes all count bytes at offset, repeating short and interrupted
  // transfers, or throws EOSError (EIO for a write that makes no progress).
  void WriteAt(const void* buffer, std::size_t count, std::int64_t offset);

  virtual std::int64_t Size() const = 0;
  virtual void SetSize(std::int64_t size) = 0;
  virtual void Flush() = 0;
  // False when the handle no longer refers to a usable file (the health check
  // before a handle is given up and opened again). Never throws.
  virtual bool IsHealthy() const = 0;
  // Releases the handle and its locks. Throws EOSError when closing reports an
  // error; the handle is released all the same, and every later call fails.
  virtual void Close() = 0;

  // Exclusive lock of [offset, offset+count). False when another handle holds
  // any of it, when this handle already holds any of it, or the range is
  // invalid. Other failures throw EOSError.
  virtual bool Lock(std::int64_t offset, std::int64_t count) = 0;
  // Releases a range locked by this handle with exactly these bounds; false
  // when this handle holds no such lock.
  virtual bool Unlock(std::int64_t offset, std::int64_t count) = 0;
  // True when the range cannot be locked now by this handle: some handle
  // (this one included) holds part of it. Never takes a lock.
  virtual bool IsRegionLocked(std::int64_t offset, std::int64_t count) const = 0;
  bool IsByteLocked(std::int64_t offset) const { return IsRegionLocked(offset, 1); }
};

class FileSystem {
public:
  virtual ~FileSystem() = default;

  // Opens an existing file. Throws EOSError; ErrorSharingViolation when the
  // share modes of this or another open handle forbid it.
  virtual std::unique_ptr<FileHandle> Open(const std::string& fileName, AccessMode access, ShareMode share) = 0;
  // Creates the file read-write, or empties it when it exists. An existing file
  // that another handle has open is refused (ErrorSharingViolation), never
  // emptied.
  virtual std::unique_ptr<FileHandle> Create(const std::string& fileName, ShareMode share) = 0;
  // False when any handle has the file open; other failures throw EOSError.
  virtual bool Delete(const std::string& fileName) = 0;
  // Never replaces an existing file; false when any handle has the old file
  // open; other failures (an existing new name: EEXIST) throw EOSError.
  virtual bool Rename(const std::string& oldName, const std::string& newName) = 0;
  // Puts fileName in the place of existingName in one atomic step; false when
  // any handle has either file open; other failures throw EOSError and change
  // nothing.
  virtual bool Replace(const std::string& fileName, const std::string& existingName) = 0;
  // The bytes this process may still write on the file system that holds the
  // folder of fileName. Throws EOSError.
  virtual std::int64_t FreeSpace(const std::string& fileName) = 0;
  // True when a file (not a directory) of that name exists.
  virtual bool Exists(const std::string& fileName) = 0;
  // True when the file is marked read-only: it has no write permission for
  // anybody.
  virtual bool IsReadOnly(const std::string& fileName) = 0;
  // True only when the system refuses this process permission to write the
  // file. Never opens the file, so it disturbs no other handle's open.
  virtual bool IsWriteRefused(const std::string& fileName) = 0;
  // Reserves a new unique name in the temporary folder.
  virtual std::string TempFileName() = 0;
};

// The operating system's files.
FileSystem& RealFileSystem();

}  // namespace platform
