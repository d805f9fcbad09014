#include "platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace platform {
namespace {

static_assert(ErrorSharingViolation == EBUSY);

// The share-mode bytes. Every handle holds a shared lock on each byte that
// describes it, and checks the bytes that describe handles it cannot live with
// only after taking its own: of two handles that open at the same moment, at
// least one sees the other.
constexpr std::int64_t OpenByte = File::ShareBytesOffset;        // every handle
constexpr std::int64_t ExclusiveByte = File::ShareBytesOffset + 1;  // exclusive handles
constexpr std::int64_t WriteByte = File::ShareBytesOffset + 2;      // handles that write
constexpr std::int64_t DenyWriteByte = File::ShareBytesOffset + 3;  // handles that deny writing
// Held by a delete or rename from its check for open handles to its end. It
// never refuses an open: an open that meets it waits until it is gone, and
// then checks that its name still names the file it holds.
constexpr std::int64_t GuardByte = File::ShareBytesOffset + 4;

// How often an open starts again because its name was renamed or deleted
// under it, and how long it waits for a delete or rename to end.
constexpr int MaxOpenAttempts = 100;
constexpr auto GuardWaitStep = std::chrono::microseconds(100);
constexpr int GuardWaitSteps = 50000;  // five seconds

struct flock MakeLock(short type, std::int64_t offset, std::int64_t count) {
  struct flock fl;
  std::memset(&fl, 0, sizeof fl);
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = offset;
  fl.l_len = count;
  return fl;
}

// Repeats a system call that a signal interrupted; its result otherwise.
template <typename Call>
auto RetryOnInterrupt(Call call) {
  decltype(call()) result;
  do {
    result = call();
  } while (result < 0 && errno == EINTR);
  return result;
}

// 0 on success, else the errno value.
int SetLock(int fd, short type, std::int64_t offset, std::int64_t count) {
  struct flock fl = MakeLock(type, offset, count);
  return RetryOnInterrupt([&] { return fcntl(fd, F_OFD_SETLK, &fl); }) == 0 ? 0 : errno;
}

bool IsConflict(int error) { return error == EAGAIN || error == EACCES; }

// 1 when another open file description holds a lock on part of the range,
// 0 when none does, -errno on failure.
int OtherHolds(int fd, std::int64_t offset, std::int64_t count) {
  struct flock fl = MakeLock(F_WRLCK, offset, count);
  if (RetryOnInterrupt([&] { return fcntl(fd, F_OFD_GETLK, &fl); }) != 0) return -errno;
  return fl.l_type == F_UNLCK ? 0 : 1;
}

std::string Describe(const char* operation, const std::string& fileName, int errorCode) {
  return DescribeFailure(operation, fileName, errorCode);
}

}  // namespace

File::~File() {
  if (FFd >= 0) ::close(FFd);
}

File::File(File&& other) noexcept { *this = std::move(other); }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (FFd >= 0) ::close(FFd);
    FFd = other.FFd;
    FFileName = std::move(other.FFileName);
    FAccess = other.FAccess;
    {
      std::lock_guard guard(other.FLocksMutex);
      FLocks = std::move(other.FLocks);
      other.FLocks.clear();
    }
    other.FFd = -1;
  }
  return *this;
}

void File::Fail(const char* operation, int errorCode) const {
  throw EOSError(errorCode, Describe(operation, FFileName, errorCode));
}

void File::Abandon(const char* operation, int errorCode) {
  ::close(FFd);  // releases whatever share bytes were taken
  FFd = -1;
  throw EOSError(errorCode, Describe(operation, FFileName, errorCode));
}

void File::CheckOpen(const char* operation) const {
  if (FFd < 0) throw EOSError(EBADF, std::string(operation) + ": the file is not open");
}

void File::OpenDescriptor(const std::string& fileName, int flags, AccessMode access) {
  if (FFd >= 0) throw EOSError(EBUSY, "Open '" + fileName + "': the handle is already open");
  // Non-blocking, so that naming a FIFO fails at once instead of waiting for a writer.
  const int fd = RetryOnInterrupt([&] { return ::open(fileName.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666); });
  if (fd < 0) throw EOSError(errno, Describe("Open", fileName, errno));
  struct stat st;
  int code = 0;
  if (fstat(fd, &st) != 0) code = errno;
  else if (S_ISDIR(st.st_mode)) code = EISDIR;
  else if (!S_ISREG(st.st_mode)) code = EINVAL;
  if (code) {
    ::close(fd);
    throw EOSError(code, code == EINVAL ? "Open '" + fileName + "': not a regular file"
                                        : Describe("Open", fileName, code));
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  FFd = fd;
  FFileName = fileName;
  FAccess = access;
  FLocks.clear();
}

void File::TakeShare(ShareMode share) {
  const bool writes = FAccess == AccessMode::ReadWrite;
  const bool exclusive = share == ShareMode::Exclusive;
  const bool deniesWrite = share != ShareMode::DenyNone;
  int error = 0;
  bool refused = false;
  // An exclusive handle that can write takes the open byte exclusively: one
  // atomic step that no other handle can pass, nor it while another holds it.
  // (An exclusive OFD lock needs a descriptor open for writing.)
  const bool atomicExclusive = exclusive && writes;
  auto take = [&](bool wanted, std::int64_t byte, short type = F_RDLCK) {
    if (wanted && !error && !refused) {
      int e = SetLock(FFd, type, byte, 1);
      if (IsConflict(e)) refused = true;
      else error = e;
    }
  };
  auto check = [&](bool wanted, std::int64_t byte) {
    if (wanted && !error && !refused) {
      int held = OtherHolds(FFd, byte, 1);
      if (held < 0) error = -held;
      else if (held) refused = true;
    }
  };
  take(true, OpenByte, atomicExclusive ? F_WRLCK : F_RDLCK);
  take(exclusive, ExclusiveByte);
  take(writes, WriteByte);
  take(deniesWrite, DenyWriteByte);
  check(true, ExclusiveByte);
  check(exclusive && !atomicExclusive, OpenByte);
  check(writes, DenyWriteByte);
  check(deniesWrite, WriteByte);
  if (error || refused) Abandon("Open", refused ? ErrorSharingViolation : error);
}

int File::WaitForGuard() const {
  for (int step = 0; step < GuardWaitSteps; ++step) {
    const int held = OtherHolds(FFd, GuardByte, 1);
    if (held <= 0) return -held;
    std::this_thread::sleep_for(GuardWaitStep);
  }
  return ErrorSharingViolation;
}

bool File::NameHoldsFile(const std::string& fileName) const {
  struct stat held, named;
  return fstat(FFd, &held) == 0 && ::stat(fileName.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}

void File::OpenByName(const std::string& fileName, int flags, AccessMode access, ShareMode share,
                      bool refuseInUse) {
  for (int attempt = 1;; ++attempt) {
    OpenDescriptor(fileName, flags, access);
    // A create that will be refused takes nothing that another open could meet.
    if (refuseInUse) {
      const int held = OtherHolds(FFd, OpenByte, 1);
      if (held != 0) Abandon("Create", held > 0 ? ErrorSharingViolation : -held);
    }
    TakeShare(share);
    // A delete or rename that did not see this handle's share locks has
    // already moved the name, or does so before it lets go of its guard.
    if (const int error = WaitForGuard()) Abandon("Open", error);
    if (NameHoldsFile(fileName)) return;
    if (attempt == MaxOpenAttempts) Abandon("Open", ErrorSharingViolation);
    ::close(FFd);  // the file the name named a moment ago; the next attempt opens the one it names now
    FFd = -1;
  }
}

void File::Open(const std::string& fileName, AccessMode access, ShareMode share) {
  OpenByName(fileName, access == AccessMode::ReadWrite ? O_RDWR : O_RDONLY, access, share, false);
}

void File::Create(const std::string& fileName, ShareMode share) {
  OpenByName(fileName, O_RDWR | O_CREAT, AccessMode::ReadWrite, share, true);
  // Whatever the share modes would admit, a file another handle has open is
  // never emptied under it.
  const int held = OtherHolds(FFd, OpenByte, 1);
  if (held != 0) Abandon("Create", held > 0 ? ErrorSharingViolation : -held);
  if (RetryOnInterrupt([&] { return ftruncate(FFd, 0); }) != 0) Abandon("Create", errno);
}

void File::Close() {
  if (FFd < 0) return;
  int fd = FFd;
  FFd = -1;
  {
    std::lock_guard guard(FLocksMutex);
    FLocks.clear();
  }
  // The descriptor is gone after close whatever it reports; EINTR is not retried.
  if (::close(fd) != 0 && errno != EINTR) Fail("Close", errno);
}

std::int64_t File::ReadSome(void* buffer, std::size_t count, std::int64_t offset) {
  CheckOpen("Read");
  const ssize_t n = ::pread(FFd, buffer, count, offset);
  return n < 0 ? -errno : n;
}

std::int64_t File::WriteSome(const void* buffer, std::size_t count, std::int64_t offset) {
  CheckOpen("Write");
  if (FAccess != AccessMode::ReadWrite) Fail("Write", EBADF);
  const ssize_t n = ::pwrite(FFd, buffer, count, offset);
  return n < 0 ? -errno : n;
}

std::int64_t File::Size() const {
  CheckOpen("Size");
  struct stat st;
  if (fstat(FFd, &st) != 0) Fail("Size", errno);
  return st.st_size;
}

void File::SetSize(std::int64_t size) {
  CheckOpen("SetSize");
  if (FAccess != AccessMode::ReadWrite) Fail("SetSize", EBADF);
  if (size < 0) Fail("SetSize", EINVAL);
  if (RetryOnInterrupt([&] { return ftruncate(FFd, size); }) != 0) Fail("SetSize", errno);
}

bool File::IsHealthy() const {
  struct stat st;
  return FFd >= 0 && fstat(FFd, &st) == 0;
}

void File::Flush() {
  CheckOpen("Flush");
  if (RetryOnInterrupt([&] { return fdatasync(FFd); }) != 0) Fail("Flush", errno);
}

namespace {

bool ValidRange(std::int64_t offset, std::int64_t count) {
  return offset >= 0 && count > 0 && offset < File::ShareBytesOffset &&
         count <= File::ShareBytesOffset - offset;
}

}  // namespace

bool File::HoldsPartOf(std::int64_t offset, std::int64_t count) const {
  for (const Range& r : FLocks)
    if (offset < r.Offset + r.Count && r.Offset < offset + count) return true;
  return false;
}

bool File::Lock(std::int64_t offset, std::int64_t count) {
  std::lock_guard guard(FLocksMutex);
  CheckOpen("Lock");
  if (!ValidRange(offset, count) || HoldsPartOf(offset, count)) return false;
  // Exclusive locks need a descriptor open for writing. A read-only one takes a
  // shared lock, which keeps writers out, and then gives it back if any other
  // handle holds part of the range, which keeps other readers out.
  const bool writable = FAccess == AccessMode::ReadWrite;
  int e = SetLock(FFd, writable ? F_WRLCK : F_RDLCK, offset, count);
  if (IsConflict(e)) return false;
  if (e) Fail("Lock", e);
  if (!writable) {
    int held = OtherHolds(FFd, offset, count);
    if (held != 0) {
      SetLock(FFd, F_UNLCK, offset, count);
      if (held < 0) Fail("Lock", -held);
      return false;
    }
  }
  FLocks.push_back({offset, count});
  return true;
}

bool File::Unlock(std::int64_t offset, std::int64_t count) {
  std::lock_guard guard(FLocksMutex);
  CheckOpen("Unlock");
  for (auto it = FLocks.begin(); it != FLocks.end(); ++it) {
    if (it->Offset == offset && it->Count == count) {
      int e = SetLock(FFd, F_UNLCK, offset, count);
      if (e) Fail("Unlock", e);
      FLocks.erase(it);
      return true;
    }
  }
  return false;
}

bool File::IsRegionLocked(std::int64_t offset, std::int64_t count) const {
  std::lock_guard guard(FLocksMutex);
  CheckOpen("IsRegionLocked");
  if (!ValidRange(offset, count)) return true;  // such a range can never be locked
  if (HoldsPartOf(offset, count)) return true;
  int held = OtherHolds(FFd, offset, count);
  if (held < 0) Fail("IsRegionLocked", -held);
  return held != 0;
}

bool FileExists(const std::string& fileName) {
  struct stat st;
  return ::stat(fileName.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool IsFileReadOnly(const std::string& fileName) {
  struct stat st;
  return ::stat(fileName.c_str(), &st) == 0 && (st.st_mode & 0222) == 0;
}

bool IsFileWriteRefused(const std::string& fileName) {
  if (::faccessat(AT_FDCWD, fileName.c_str(), W_OK, AT_EACCESS) == 0) return false;
  return errno == EACCES || errno == EPERM || errno == EROFS;
}

namespace {

// Holds the guard byte of a file for the length of a delete or rename. It
// takes no share byte, so that a delete or rename about to be refused never
// makes another handle's open fail.
class UseGuard {
public:
  ~UseGuard() {
    if (FFd >= 0) ::close(FFd);
  }
  // False when a handle has the file open. A file this process may not read,
  // or one that is no regular file, cannot be guarded; the operation then goes
  // ahead alone. A missing file or a folder throws EOSError.
  bool Take(const std::string& fileName) {
    FFd = RetryOnInterrupt([&] { return ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); });
    if (FFd < 0) {
      if (errno == EACCES) return true;
      throw EOSError(errno, Describe("Open", fileName, errno));
    }
    struct stat st;
    if (fstat(FFd, &st) != 0) throw EOSError(errno, Describe("Open", fileName, errno));
    if (S_ISDIR(st.st_mode)) throw EOSError(EISDIR, Describe("Open", fileName, EISDIR));
    if (!S_ISREG(st.st_mode)) return true;
    if (const int e = SetLock(FFd, F_RDLCK, GuardByte, 1)) throw EOSError(e, Describe("Open", fileName, e));
    // Only after the guard: an open that takes its share bytes later waits for it.
    const int held = OtherHolds(FFd, OpenByte, 1);
    if (held < 0) throw EOSError(-held, Describe("Open", fileName, -held));
    return held == 0;
  }

private:
  int FFd = -1;
};

}  // namespace

bool DeleteFile(const std::string& fileName) {
  UseGuard guard;
  if (!guard.Take(fileName)) return false;
  if (::unlink(fileName.c_str()) != 0) throw EOSError(errno, Describe("Delete", fileName, errno));
  return true;
}

bool RenameFile(const std::string& oldName, const std::string& newName) {
  UseGuard guard;
  if (!guard.Take(oldName)) return false;
  if (::renameat2(AT_FDCWD, oldName.c_str(), AT_FDCWD, newName.c_str(), RENAME_NOREPLACE) == 0)
    return true;
  int e = errno;
  if (e == EINVAL || e == ENOSYS) {
    // A file system without no-replace renames: a hard link refuses an existing name too.
    if (::link(oldName.c_str(), newName.c_str()) != 0) e = errno;
    else if (::unlink(oldName.c_str()) != 0) e = errno;
    else return true;
  }
  throw EOSError(e, "Rename '" + oldName + "' to '" + newName + "': " + SysErrorMessage(e));
}

bool ReplaceFile(const std::string& fileName, const std::string& existingName) {
  // Both guards before the check of either, so that no open of either file
  // slips in between the check and the rename.
  UseGuard newGuard, oldGuard;
  const bool newFree = newGuard.Take(fileName);
  const bool oldFree = oldGuard.Take(existingName);
  if (!newFree || !oldFree) return false;
  if (::rename(fileName.c_str(), existingName.c_str()) == 0) return true;
  const int e = errno;
  throw EOSError(e, "Replace '" + existingName + "' by '" + fileName + "': " + SysErrorMessage(e));
}

std::int64_t FreeSpaceForFile(const std::string& fileName) {
  const std::string::size_type slash = fileName.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : fileName.substr(0, slash);
  struct statvfs st;
  if (RetryOnInterrupt([&] { return ::statvfs(folder.c_str(), &st); }) != 0)
    throw EOSError(errno, Describe("Free space of", folder, errno));
  return static_cast<std::int64_t>(st.f_bavail) * static_cast<std::int64_t>(st.f_frsize);
}

}  // namespace platform
