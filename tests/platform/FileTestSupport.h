#pragma once
// Scratch files for the file tests, and forked children: one that reports by
// exit code, one that keeps its own handle of a file open until released.
#include <signal.h>
#include <sys/prctl.h>
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

// A forked child with its own handle of path (shared, read-write). It runs
// act on the handle, reports act's character, then runs hold (by default:
// wait until released) and exits; its locks go with it.
class HoldingChild {
public:
  HoldingChild(const std::string& path, const std::function<char(File&)>& act,
               const std::function<void(File&)>& hold = {}) {
    if (pipe(FReport) != 0 || pipe(FRelease) != 0) return;
    const pid_t parent = getpid();
    FPid = fork();
    if (FPid != 0) return;
    // Never outlive the test, even one that crashes.
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) _exit(1);
    char c = 'e';
    try {
      File f = OpenShared(path);
      c = act(f);
      if (write(FReport[1], &c, 1) != 1) _exit(1);
      if (hold) hold(f);
      else if (read(FRelease[0], &c, 1) != 1) _exit(1);
    } catch (...) {
      if (write(FReport[1], &c, 1) != 1) _exit(1);
    }
    _exit(0);
  }
  ~HoldingChild() {
    if (FPid > 0) kill(FPid, SIGKILL);
    Wait();
    for (int fd : {FReport[0], FReport[1], FRelease[0], FRelease[1]})
      if (fd >= 0) close(fd);
  }
  HoldingChild(const HoldingChild&) = delete;
  HoldingChild& operator=(const HoldingChild&) = delete;

  // act's character ('e' when the child failed), once the child has acted.
  char Report() {
    char c = 'e';
    return FPid > 0 && read(FReport[0], &c, 1) == 1 ? c : 'e';
  }
  // Lets the child end normally and waits until it has.
  void Release() {
    if (FPid > 0 && write(FRelease[1], "x", 1) == 1) Wait();
  }
  // Ends the child at once and waits until it is gone.
  void Kill() {
    if (FPid > 0) kill(FPid, SIGKILL);
    Wait();
  }

private:
  void Wait() {
    int status;
    if (FPid > 0) waitpid(FPid, &status, 0);
    FPid = -1;
  }

  int FReport[2] = {-1, -1}, FRelease[2] = {-1, -1};
  pid_t FPid = -1;
};

}  // namespace platform::test
