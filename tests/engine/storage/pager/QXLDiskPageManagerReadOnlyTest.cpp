// Whether a database file is opened read-only: only a file marked read-only or
// a write permission the system refuses may decide it, never a file in use by
// another handle or a delete that another process tries meanwhile.
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>

#include "engine/storage/pager/QXLDiskPageManager.h"
#include "tests/engine/storage/StorageTestUtil.h"

using namespace qxl;

namespace {

class FileReadOnlyTest : public ::testing::Test {
protected:
  void SetUp() override {
    TQXLDiskPageManager M;
    M.CreateAndOpenDatabase(Name, {}, 4096, 8);
  }
  TScratchDir Dir;
  std::string Name = Dir.File("db.qxl");
};

TEST_F(FileReadOnlyTest, FileInUseIsNoReadOnlyFile) {
  for (bool MultiUser : {false, true}) {
    TQXLDatabaseFile Holder;
    Holder.OpenFile(Name, amReadWrite, MultiUser ? smShareDenyNone : smExclusive);
    bool StillMultiUser = MultiUser;
    EXPECT_FALSE(TQXLDiskPageManager::IsFileReadOnly(Name, StillMultiUser)) << MultiUser;
    EXPECT_EQ(StillMultiUser, MultiUser);
  }
  ASSERT_EQ(::chmod(Name.c_str(), 0444), 0);
  bool MultiUser = true;
  EXPECT_TRUE(TQXLDiskPageManager::IsFileReadOnly(Name, MultiUser));
  EXPECT_FALSE(MultiUser);
}

// One process holds the file, another keeps trying to delete it; opening the
// database meanwhile never turns read-only.
TEST_F(FileReadOnlyTest, RefusedDeletesNeverMakeAnOpenReadOnly) {
  TQXLDatabaseFile Holder;
  Holder.OpenFile(Name, amReadWrite, smShareDenyNone);
  const pid_t Parent = getpid();
  const pid_t Deleter = fork();
  if (Deleter == 0) {
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != Parent) _exit(1);
    for (;;) {
      TQXLDatabaseFile F;
      try {
        F.DeleteFile(Name);
        _exit(2);  // never: the file is in use
      } catch (const EQXLException&) {
      }
    }
  }
  int Opens = 0, ReadOnlyOpens = 0;
  const auto End = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  while (std::chrono::steady_clock::now() < End) {
    bool MultiUser = true;
    ++Opens;
    if (TQXLDiskPageManager::IsFileReadOnly(Name, MultiUser)) ++ReadOnlyOpens;
  }
  kill(Deleter, SIGKILL);
  int Status = 0;
  waitpid(Deleter, &Status, 0);
  EXPECT_TRUE(WIFSIGNALED(Status)) << "the deleter ended by itself";
  EXPECT_GT(Opens, 100);
  EXPECT_EQ(ReadOnlyOpens, 0) << "of " << Opens;
}

}  // namespace
