#include <sys/mman.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <fstream>

#include <gtest/gtest.h>

#include "FileTestSupport.h"

using namespace platform;
using platform::test::OpenShared;
using platform::test::RunInChild;
using platform::test::ScratchPath;

namespace {

int OpenError(const std::string& path, AccessMode access, ShareMode share) {
  try {
    File f;
    f.Open(path, access, share);
    return 0;
  } catch (const EOSError& e) {
    return e.ErrorCode;
  }
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(File, ReadsAndWritesAtPositions) {
  ScratchPath path;
  File f;
  f.Create(path);
  EXPECT_EQ(f.Size(), 0);
  f.WriteAt("hello", 5, 0);
  f.WriteAt("world", 5, 100);
  EXPECT_EQ(f.Size(), 105);
  char buf[8];
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(f.ReadAt(buf, 8, 100), 5u);  // short only at the end of the file
  EXPECT_EQ(std::string(buf, 8), "world###");
  EXPECT_EQ(f.ReadAt(buf, 8, 4096), 0u);
  EXPECT_EQ(f.ReadAt(buf, 3, 5), 3u);
  EXPECT_EQ(std::string(buf, 3), std::string(3, '\0'));  // the hole reads as zeros
  f.SetSize(3);
  EXPECT_EQ(f.Size(), 3);
  f.Flush();
  f.Close();
  EXPECT_FALSE(f.IsOpen());
  EXPECT_EQ(Contents(path), "hel");
  EXPECT_THROW(f.Size(), EOSError);
}

TEST(File, ErrorsCarryTheirCode) {
  ScratchPath path;
  File f;
  try {
    f.Open(path.str() + ".missing", AccessMode::ReadWrite, ShareMode::DenyNone);
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, ENOENT);
    EXPECT_NE(e.Message.find(".missing"), std::string::npos);
  }
  f.Open(path, AccessMode::ReadOnly, ShareMode::DenyNone);
  try {
    f.WriteAt("x", 1, 0);
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, EBADF);
  }
  EXPECT_THROW(f.SetSize(0), EOSError);
  char c;
  EXPECT_THROW(f.ReadAt(&c, 1, -1), EOSError);
  EXPECT_THROW(f.Open(path, AccessMode::ReadOnly, ShareMode::DenyNone), EOSError);  // already open
}

TEST(File, ShortWriteIsRepeatedOrReported) {
  ScratchPath path;
  // The file size limit makes the kernel write part of the buffer, then refuse.
  int code = RunInChild([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {1000, 1000};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 1;
    File f;
    f.Create(path);
    char buf[4096];
    std::memset(buf, 'a', sizeof buf);
    try {
      f.WriteAt(buf, sizeof buf, 0);
      return 2;  // a write that did not happen reported as done
    } catch (const EOSError& e) {
      return e.ErrorCode == EFBIG && f.Size() == 1000 ? 0 : 3;
    }
  });
  EXPECT_EQ(code, 0);
}

// Each row: the first handle's modes, the second's, and whether the second
// open is admitted (the Windows rules: every handle reads; a handle is admitted
// when it admits the others' access and they admit its own).
TEST(File, ShareModes) {
  using A = AccessMode;
  using S = ShareMode;
  struct Case {
    A firstAccess;
    S firstShare;
    A secondAccess;
    S secondShare;
    bool admitted;
  } cases[] = {
      {A::ReadWrite, S::DenyNone, A::ReadWrite, S::DenyNone, true},
      {A::ReadOnly, S::DenyNone, A::ReadOnly, S::Exclusive, false},
      {A::ReadWrite, S::Exclusive, A::ReadOnly, S::DenyNone, false},
      {A::ReadOnly, S::Exclusive, A::ReadOnly, S::DenyNone, false},
      {A::ReadOnly, S::DenyWrite, A::ReadOnly, S::DenyNone, true},
      {A::ReadOnly, S::DenyWrite, A::ReadWrite, S::DenyNone, false},
      {A::ReadOnly, S::DenyWrite, A::ReadOnly, S::DenyWrite, true},
      {A::ReadWrite, S::DenyNone, A::ReadOnly, S::DenyWrite, false},
      {A::ReadOnly, S::DenyNone, A::ReadOnly, S::DenyWrite, true},
      {A::ReadWrite, S::DenyWrite, A::ReadOnly, S::DenyNone, true},
      {A::ReadWrite, S::DenyWrite, A::ReadOnly, S::DenyWrite, false},
  };
  ScratchPath path;
  int row = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(row++);
    File first;
    first.Open(path, c.firstAccess, c.firstShare);
    EXPECT_EQ(OpenError(path, c.secondAccess, c.secondShare), c.admitted ? 0 : ErrorSharingViolation);
    // Another process sees the same.
    int child = RunInChild([&] { return OpenError(path, c.secondAccess, c.secondShare) ? 1 : 0; });
    EXPECT_EQ(child, c.admitted ? 0 : 1);
  }
  // Once the others are closed, an exclusive open is admitted.
  EXPECT_EQ(OpenError(path, A::ReadWrite, S::Exclusive), 0);
}

// Every pair of modes against the Windows rule itself: a share mode admits
// the access of others (Exclusive none, DenyWrite reading, DenyNone all).
TEST(File, ShareModesFollowTheRuleForEveryPair) {
  const auto admits = [](ShareMode share, AccessMode access) {
    return share == ShareMode::DenyNone || (share == ShareMode::DenyWrite && access == AccessMode::ReadOnly);
  };
  ScratchPath path;
  for (AccessMode a1 : {AccessMode::ReadOnly, AccessMode::ReadWrite})
    for (ShareMode s1 : {ShareMode::Exclusive, ShareMode::DenyWrite, ShareMode::DenyNone})
      for (AccessMode a2 : {AccessMode::ReadOnly, AccessMode::ReadWrite})
        for (ShareMode s2 : {ShareMode::Exclusive, ShareMode::DenyWrite, ShareMode::DenyNone}) {
          SCOPED_TRACE(testing::Message() << int(a1) << int(s1) << " then " << int(a2) << int(s2));
          File first;
          first.Open(path, a1, s1);
          const bool admitted = admits(s1, a2) && admits(s2, a1);
          EXPECT_EQ(OpenError(path, a2, s2), admitted ? 0 : ErrorSharingViolation);
        }
}

TEST(File, FileInUseIsNeverDeletedRenamedOrReplaced) {
  ScratchPath path;
  std::string renamed = path.str() + ".renamed";
  {
    File f;
    f.Create(path);
    f.WriteAt("data", 4, 0);
    f.Close();
  }
  for (ShareMode share : {ShareMode::DenyNone, ShareMode::DenyWrite, ShareMode::Exclusive}) {
    File f;
    f.Open(path, AccessMode::ReadOnly, share);
    EXPECT_FALSE(DeleteFile(path));
    EXPECT_FALSE(RenameFile(path, renamed));
    File g;
    try {
      g.Create(path, ShareMode::DenyNone);
      ADD_FAILURE() << "created over a file in use";
    } catch (const EOSError& e) {
      EXPECT_EQ(e.ErrorCode, ErrorSharingViolation);
    }
    // Nor from another process.
    EXPECT_EQ(RunInChild([&] { return DeleteFile(path) || RenameFile(path, renamed) ? 1 : 0; }), 0);
    EXPECT_TRUE(FileExists(path));
    EXPECT_FALSE(FileExists(renamed));
    EXPECT_EQ(Contents(path), "data");
  }
  ASSERT_TRUE(RenameFile(path, renamed));
  EXPECT_FALSE(FileExists(path));
  EXPECT_EQ(Contents(renamed), "data");
  ASSERT_TRUE(DeleteFile(renamed));
  EXPECT_FALSE(FileExists(renamed));
}

TEST(File, DeleteAndRenameReportOtherFailures) {
  ScratchPath path, other;
  try {
    DeleteFile(path.str() + ".missing");
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, ENOENT);
  }
  try {
    RenameFile(path, other);  // never replaces an existing file
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, EEXIST);
  }
  EXPECT_TRUE(FileExists(path));
  EXPECT_FALSE(FileExists(TempDirectory()));  // a directory is not a file
}

TEST(File, CreateEmptiesAFileNobodyHasOpen) {
  ScratchPath path;
  {
    std::ofstream(path.str()) << "old content";
  }
  File f;
  f.Create(path);
  EXPECT_EQ(f.Size(), 0);
  EXPECT_EQ(OpenError(path, AccessMode::ReadOnly, ShareMode::DenyNone), ErrorSharingViolation);
}

TEST(TempFile, NewNamesInTheTemporaryFolder) {
  ScratchPath first, second;
  for (const std::string& name : {first.str(), second.str()}) {
    EXPECT_EQ(name.rfind(TempDirectory() + "/QXL", 0), 0u) << name;
    EXPECT_EQ(name.size(), TempDirectory().size() + 10) << name;  // "/QXL" and six characters
    EXPECT_TRUE(FileExists(name));
    EXPECT_EQ(Contents(name), "");
  }
  EXPECT_NE(first.str(), second.str());
}

TEST(TempFile, FollowsTmpdir) {
  char dir[] = "/tmp/qxltmpdirXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const char* old = getenv("TMPDIR");
  std::string saved = old ? old : "";
  setenv("TMPDIR", (std::string(dir) + "/").c_str(), 1);
  EXPECT_EQ(TempDirectory(), dir);
  std::string name = TempFileName();
  EXPECT_EQ(name.rfind(std::string(dir) + "/QXL", 0), 0u) << name;
  EXPECT_TRUE(FileExists(name));
  unlink(name.c_str());
  if (old) setenv("TMPDIR", saved.c_str(), 1);
  else unsetenv("TMPDIR");
  rmdir(dir);
}

TEST(File, OnlyRegularFilesOpenAndNothingWaits) {
  ScratchPath path;
  const std::string fifo = path.str() + ".fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (AccessMode access : {AccessMode::ReadOnly, AccessMode::ReadWrite}) {
    EXPECT_EQ(OpenError(fifo, access, ShareMode::DenyNone), EINVAL);  // at once: no writer is awaited
  }
  File f;
  try {
    f.Create(fifo);
    ADD_FAILURE();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, EINVAL);
  }
  EXPECT_EQ(OpenError(TempDirectory(), AccessMode::ReadOnly, ShareMode::DenyNone), EISDIR);
  EXPECT_TRUE(DeleteFile(fifo));
  EXPECT_NE(access(fifo.c_str(), F_OK), 0);
  // A regular file opened after a refused one works normally.
  f.Open(path, AccessMode::ReadWrite, ShareMode::DenyNone);
  f.WriteAt("x", 1, 0);
  EXPECT_EQ(f.Size(), 1);
}

TEST(File, UnreadableFileCanStillBeDeletedAndRenamed) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  ScratchPath path;
  const std::string renamed = path.str() + ".renamed";
  ASSERT_EQ(chmod(path.str().c_str(), 0), 0);
  EXPECT_EQ(OpenError(path, AccessMode::ReadOnly, ShareMode::DenyNone), EACCES);
  EXPECT_TRUE(RenameFile(path, renamed));
  EXPECT_TRUE(DeleteFile(renamed));
  EXPECT_FALSE(FileExists(renamed));
}

// Two processes open the file over and over at the same time; handles whose
// modes exclude each other must never be open together.
TEST(File, RacingOpensNeverAdmitExcludedHandlesTogether) {
  struct Shared {
    std::atomic<int> writers, deniers, holders, violations, admitted[2];
  };
  void* mem = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(mem, MAP_FAILED);
  auto* shared = new (mem) Shared{};
  ScratchPath path;
  struct Modes {
    AccessMode access[2];
    ShareMode share[2];
  } rounds[] = {
      {{AccessMode::ReadWrite, AccessMode::ReadWrite}, {ShareMode::Exclusive, ShareMode::Exclusive}},
      {{AccessMode::ReadOnly, AccessMode::ReadOnly}, {ShareMode::Exclusive, ShareMode::Exclusive}},
      {{AccessMode::ReadOnly, AccessMode::ReadWrite}, {ShareMode::Exclusive, ShareMode::DenyNone}},
      {{AccessMode::ReadOnly, AccessMode::ReadWrite}, {ShareMode::DenyWrite, ShareMode::DenyNone}},
  };
  for (const Modes& m : rounds) {
    shared->holders = shared->violations = 0;
    shared->admitted[0] = shared->admitted[1] = 0;
    auto run = [&](int who) {
      for (int i = 0; i < 3000; ++i) {
        File f;
        try {
          f.Open(path, m.access[who], m.share[who]);
        } catch (const EOSError&) {
          continue;
        }
        ++shared->admitted[who];
        if (++shared->holders > 1) ++shared->violations;
        sched_yield();
        --shared->holders;  // before the handle closes
      }
    };
    pid_t pid = fork();
    if (pid == 0) {
      run(1);
      _exit(0);
    }
    run(0);
    int status;
    waitpid(pid, &status, 0);
    EXPECT_EQ(shared->violations.load(), 0);
    EXPECT_GT(shared->admitted[0] + shared->admitted[1], 0);
  }
  munmap(mem, sizeof(Shared));
}
