// Several operating-system processes on one database file, through the
// qxl_store_worker tool.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "engine/storage/QXLDiskPageManager.h"
#include "tests/engine/storage/StorageTestUtil.h"

extern char** environ;

namespace {

// The tools folder from the environment, else beside the tests' own folder.
std::string WorkerPath() {
  if (const char* Dir = std::getenv("QXL_TOOLS_DIR")) return std::string(Dir) + "/qxl_store_worker";
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "tools" /
          "qxl_store_worker")
      .string();
}

// A worker process, killed and reaped at the end of its scope if it still
// runs, so that no failed test leaves one behind.
class TWorker {
public:
  // Starts the worker with its output going to OutFile.
  TWorker(const std::vector<std::string>& Args, const std::string& OutFile) {
    std::vector<std::string> All{WorkerPath()};
    All.insert(All.end(), Args.begin(), Args.end());
    std::vector<char*> Argv;
    for (auto& A : All) Argv.push_back(A.data());
    Argv.push_back(nullptr);
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    posix_spawn_file_actions_addopen(&Actions, 1, OutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int Error = posix_spawn(&FPid, Argv[0], &Actions, nullptr, Argv.data(), environ);
    posix_spawn_file_actions_destroy(&Actions);
    if (Error != 0) throw std::runtime_error("cannot start " + All[0] + ": " + std::strerror(Error));
  }
  ~TWorker() {
    if (FPid > 0) Kill();
  }
  TWorker(const TWorker&) = delete;
  TWorker& operator=(const TWorker&) = delete;

  void Kill() {
    kill(FPid, SIGKILL);
    waitpid(FPid, nullptr, 0);
    FPid = -1;
  }
  // True when the worker ended by itself with exit code 0 within the time;
  // one that is still running then is killed.
  bool Succeeds(std::chrono::seconds Limit = std::chrono::seconds(120)) {
    const auto Deadline = std::chrono::steady_clock::now() + Limit;
    int Status = 0;
    while (waitpid(FPid, &Status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > Deadline) {
        Kill();
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    FPid = -1;
    return WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
  }

private:
  pid_t FPid = -1;
};

std::vector<std::int32_t> Numbers(const std::string& File) {
  std::ifstream In(File);
  std::vector<std::int32_t> V;
  for (std::int32_t N; In >> N;) V.push_back(N);
  return V;
}

class MultiProcessTest : public ::testing::Test {
protected:
  void SetUp() override {
    TQXLDiskPageManager M;
    M.CreateAndOpenDatabase(Name, {}, 4096, 8);
  }
  bool Open(TQXLDiskPageManager& M) {
    bool ReadOnly = false, RepairNeeded = false, MultiUser = true;
    M.OpenDatabase(Name, {}, ReadOnly, RepairNeeded, false, MultiUser);
    return RepairNeeded;
  }
  TQXLDBHeader Stored() {
    TQXLDBHeader H;
    std::memcpy(&H, ReadWholeFile(Name).data(), sizeof H);
    return H;
  }

  TScratchDir Dir;
  std::string Name = Dir.File("shared.qxl");
};

TEST_F(MultiProcessTest, ConcurrentAllocationNeverGivesAPageTwice) {
  constexpr int Workers = 4, Each = 40;
  std::vector<std::unique_ptr<TWorker>> Started;
  for (int w = 0; w < Workers; ++w)
    Started.push_back(std::make_unique<TWorker>(
        std::vector<std::string>{"alloc", Name, std::to_string(Each), "w" + std::to_string(w)},
        Dir.File("out" + std::to_string(w))));
  for (auto& Worker : Started) ASSERT_TRUE(Worker->Succeeds());

  std::set<std::int32_t> All;
  TQXLDiskPageManager M;
  EXPECT_FALSE(Open(M));
  for (int w = 0; w < Workers; ++w) {
    const auto Pages = Numbers(Dir.File("out" + std::to_string(w)));
    ASSERT_EQ(Pages.size(), static_cast<std::size_t>(Each));
    for (std::int32_t No : Pages) {
      EXPECT_TRUE(All.insert(No).second) << "page given twice: " << No;
      EXPECT_FALSE(M.FreeSpaceManager()->IsSystemPage(No));
      // Each commit was seen whole by this process.
      TQXLPage* Page = M.GetPage(0, No, ptTableRecord, true);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(Page->PageData())),
                "w" + std::to_string(w) + " " + std::to_string(No));
      M.PutPage(Page);
    }
  }
  // Every commit advanced the counter under the header lock: none was lost.
  EXPECT_EQ(int(Stored().State), Workers * Each);
  EXPECT_EQ(Stored().WriteChangesState, 2);
}

TEST_F(MultiProcessTest, ProcessKilledInsideACommit) {
  TQXLDiskPageManager Survivor;
  EXPECT_FALSE(Open(Survivor));
  const std::string Ready = Dir.File("ready");
  TWorker Hanging({"hang", Name, Ready}, Dir.File("hang.out"));
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!std::filesystem::exists(Ready) && std::chrono::steady_clock::now() < Deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(std::filesystem::exists(Ready)) << "the worker never reached its commit";
  EXPECT_EQ(Stored().WriteChangesState, 1);
  Hanging.Kill();

  {
    TQXLDiskPageManager Probe;
    EXPECT_TRUE(Open(Probe));
  }
  // The survivor still takes the header lock and commits; the mark stays.
  TQXLPage* Page = Survivor.AddPage(0, ptTableRecord);
  std::strcpy(reinterpret_cast<char*>(Page->PageData()), "after the crash");
  const std::int32_t No = Page->PageNo();
  Survivor.PutPage(Page);
  Survivor.ApplyChanges(0);
  EXPECT_EQ(Stored().WriteChangesState, 1);

  // So does a new process.
  TWorker Late({"alloc", Name, "2", "late"}, Dir.File("late.out"));
  EXPECT_TRUE(Late.Succeeds());
  const auto LatePages = Numbers(Dir.File("late.out"));
  EXPECT_EQ(LatePages.size(), 2u);
  for (std::int32_t L : LatePages) EXPECT_NE(L, No);

  TQXLDiskPageManager Probe;
  EXPECT_TRUE(Open(Probe));
  TQXLPage* Seen = Probe.GetPage(0, No, ptTableRecord, true);
  EXPECT_STREQ(reinterpret_cast<const char*>(Seen->PageData()), "after the crash");
  Probe.PutPage(Seen);
}

}  // namespace
