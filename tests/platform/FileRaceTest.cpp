// Processes racing on one file: a delete or rename that is refused because the
// file is in use must not disturb anybody else's open, and an open that a
// rename or delete overtakes must never end up on the moved or deleted file.
#include <sys/mman.h>
#include <sys/prctl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>

#include <gtest/gtest.h>

#include "FileTestSupport.h"

using namespace platform;
using platform::test::HoldingChild;
using platform::test::ScratchPath;

namespace {

// A forked child that runs step over and over until the test ends it.
class LoopingChild {
public:
  explicit LoopingChild(const std::function<void()>& step) {
    const pid_t parent = getpid();
    FPid = fork();
    if (FPid != 0) return;
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) _exit(1);
    for (;;) {
      try {
        step();
      } catch (...) {
      }
    }
  }
  ~LoopingChild() {
    if (FPid <= 0) return;
    kill(FPid, SIGKILL);
    int status;
    waitpid(FPid, &status, 0);
  }
  LoopingChild(const LoopingChild&) = delete;
  LoopingChild& operator=(const LoopingChild&) = delete;

private:
  pid_t FPid = -1;
};

// Runs body over and over for a while.
template <typename Body>
void ForAWhile(Body body) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  while (std::chrono::steady_clock::now() < end) body();
}

}  // namespace

// One process holds the file open, a second keeps trying to delete and rename
// it (refused every time); a third process's ordinary opens must all succeed.
TEST(FileRace, RefusedDeletesAndRenamesDisturbNoOpen) {
  ScratchPath path;
  const std::string other = path.str() + ".other";
  HoldingChild holder(path, [](File&) { return 'h'; });
  ASSERT_EQ(holder.Report(), 'h');
  LoopingChild deleter([&] {
    if (DeleteFile(path) || RenameFile(path, other)) _exit(2);
  });
  int opens = 0, refused = 0;
  ForAWhile([&] {
    ++opens;
    try {
      File f;
      f.Open(path, AccessMode::ReadWrite, ShareMode::DenyNone);
      f.WriteAt("x", 1, 0);
    } catch (const EOSError&) {
      ++refused;
    }
  });
  EXPECT_GT(opens, 100);
  EXPECT_EQ(refused, 0) << "of " << opens;
  EXPECT_TRUE(FileExists(path));
}

// A second process renames the file away and back over and over. Whenever an
// open succeeds, the name must still name the file the handle holds: while it
// is held nobody can rename it, so the name exists.
TEST(FileRace, OpenNeverEndsUpOnAFileRenamedUnderIt) {
  ScratchPath path;
  const std::string other = path.str() + ".other";
  LoopingChild renamer([&] {
    if (!RenameFile(path, other)) return;
    while (!RenameFile(other, path)) {
    }
  });
  int opened = 0, moved = 0;
  ForAWhile([&] {
    File f;
    try {
      f.Open(path, AccessMode::ReadWrite, ShareMode::DenyNone);
    } catch (const EOSError& e) {
      EXPECT_TRUE(e.ErrorCode == ENOENT || e.ErrorCode == ErrorSharingViolation) << e.Message;
      return;
    }
    ++opened;
    if (!FileExists(path)) ++moved;
  });
  EXPECT_GT(opened, 0);
  EXPECT_EQ(moved, 0) << "of " << opened;
}
