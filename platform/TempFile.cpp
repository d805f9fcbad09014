#include "platform/TempFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/File.h"

namespace platform {

std::string TempDirectory() {
  const char* dir = std::getenv("TMPDIR");
  std::string result = dir && *dir ? dir : "/tmp";
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

std::string TempFileName() {
  const std::string pattern = TempDirectory() + "/QXLXXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) {
    const int e = errno;
    throw EOSError(e, "Create temporary file '" + pattern + "': " + SysErrorMessage(e));
  }
  ::close(fd);
  return name.data();
}

}  // namespace platform
