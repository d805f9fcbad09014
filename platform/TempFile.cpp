#include "platform/TempFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace platform {
namespace {

// Creates the file; returns its descriptor and sets name.
int MakeTempFile(std::string& name) {
  std::string pattern = TempDirectory() + "/QXLXXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  int fd = mkostemp(buffer.data(), O_CLOEXEC);
  if (fd < 0) {
    int e = errno;
    throw EOSError(e, "Create temporary file '" + pattern + "': " + SysErrorMessage(e));
  }
  name.assign(buffer.data());
  return fd;
}

}  // namespace

std::string TempDirectory() {
  const char* dir = std::getenv("TMPDIR");
  std::string result = dir && *dir ? dir : "/tmp";
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

TempFile::TempFile() {
  int fd = MakeTempFile(FFileName);
  try {
    FFile.Adopt(fd, FFileName);
  } catch (...) {
    ::unlink(FFileName.c_str());
    throw;
  }
}

TempFile::~TempFile() {
  try {
    FFile.Close();
  } catch (const EOSError&) {
    // The file goes all the same.
  }
  ::unlink(FFileName.c_str());
}

std::string TempFileName() {
  std::string name;
  ::close(MakeTempFile(name));
  return name;
}

}  // namespace platform
