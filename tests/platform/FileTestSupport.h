#pragma once
// Scratch files for the file tests, and a forked child that reports by exit code.
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "platform/File.h"
#include "platform/TempFile.h"

namespace platform::test {

// A unique path in the temporary folder; the file is removed afterwards.
class ScratchPath {
public:
  ScratchPath() : FPath(TempFileName()) {}
  ~ScratchPath() { ::unlink(FPath.c_str()); }
  const std::string& str() const { return FPath; }
  operator const std::string&() const { return FPath; }

private:
  std::string FPath;
};

// Runs body in a forked child and returns its exit code (body's result), or
// -1 when the child did not exit normally. The child never returns into the
// test framework.
inline int RunInChild(const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid == 0) {
    int code = 99;
    try {
      code = body();
    } catch (...) {
      code = 98;
    }
    _exit(code);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline File OpenShared(const std::string& path, AccessMode access = AccessMode::ReadWrite) {
  File f;
  f.Open(path, access, ShareMode::DenyNone);
  return f;
}

}  // namespace platform::test
