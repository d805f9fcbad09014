#include "platform/FileSystem.h"

#include <cerrno>
#include <cstring>

#include "platform/File.h"
#include "platform/TempFile.h"

namespace platform {

static_assert(ErrorSharingViolation == EBUSY);

std::string SysErrorMessage(int errorCode) {
  if (errorCode == ErrorSharingViolation) return "The file is in use by another handle";
  char buffer[256];
  // The GNU strerror_r returns the text, in buffer or elsewhere.
  return strerror_r(errorCode, buffer, sizeof buffer);
}

std::string DescribeFailure(const char* operation, const std::string& fileName, int errorCode) {
  return std::string(operation) + " '" + fileName + "': " + SysErrorMessage(errorCode);
}

std::size_t FileHandle::ReadAt(void* buffer, std::size_t count, std::int64_t offset) {
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const std::int64_t n = ReadSome(out + done, count - done, offset + static_cast<std::int64_t>(done));
    if (n == -EINTR) continue;
    if (n < 0) throw EOSError(static_cast<int>(-n), DescribeFailure("Read", Name(), static_cast<int>(-n)));
    if (n == 0) break;  // end of file
    done += static_cast<std::size_t>(n);
  }
  return done;
}

void FileHandle::WriteAt(const void* buffer, std::size_t count, std::int64_t offset) {
  const auto* in = static_cast<const char*>(buffer);
  std::size_t done = 0;
  // A short write is repeated for the rest; a write that makes no progress
  // fails rather than spin.
  while (done < count) {
    const std::int64_t n = WriteSome(in + done, count - done, offset + static_cast<std::int64_t>(done));
    if (n == -EINTR) continue;
    const int error = n < 0 ? static_cast<int>(-n) : n == 0 ? EIO : 0;
    if (error) throw EOSError(error, DescribeFailure("Write", Name(), error));
    done += static_cast<std::size_t>(n);
  }
}

namespace {

class RealFiles : public FileSystem {
public:
  std::unique_ptr<FileHandle> Open(const std::string& fileName, AccessMode access, ShareMode share) override {
    auto file = std::make_unique<File>();
    file->Open(fileName, access, share);
    return file;
  }
  std::unique_ptr<FileHandle> Create(const std::string& fileName, ShareMode share) override {
    auto file = std::make_unique<File>();
    file->Create(fileName, share);
    return file;
  }
  bool Delete(const std::string& fileName) override { return DeleteFile(fileName); }
  bool Rename(const std::string& oldName, const std::string& newName) override {
    return RenameFile(oldName, newName);
  }
  bool Replace(const std::string& fileName, const std::string& existingName) override {
    return ReplaceFile(fileName, existingName);
  }
  std::int64_t FreeSpace(const std::string& fileName) override { return FreeSpaceForFile(fileName); }
  bool Exists(const std::string& fileName) override { return FileExists(fileName); }
  bool IsReadOnly(const std::string& fileName) override { return IsFileReadOnly(fileName); }
  bool IsWriteRefused(const std::string& fileName) override { return IsFileWriteRefused(fileName); }
  std::string TempFileName() override { return platform::TempFileName(); }
};

}  // namespace

FileSystem& RealFileSystem() {
  static RealFiles files;
  return files;
}

}  // namespace platform
