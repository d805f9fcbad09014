// Several operating-system processes on one database file, through the
// qxl_store_worker program. Every test ends with a look at the file's
// structure from the outside.
#include <algorithm>
#include <cstring>
#include <memory>
#include <set>

#include "engine/storage/pager/QXLDiskPageManager.h"
#include "tests/engine/storage/PageManagerTestSupport.h"
#include "tests/engine/storage/StorageStructureCheck.h"
#include "tests/engine/storage/StorageTestUtil.h"
#include "tests/engine/storage/WorkerProcess.h"

using namespace qxl;

namespace {

class MultiProcessTest : public ::testing::Test {
protected:
  void SetUp() override {
    TQXLDiskPageManager M;
    M.CreateAndOpenDatabase(Name, {}, 4096, 8);
  }
  TQXLDBHeader Stored() {
    TQXLDBHeader H;
    std::memcpy(&H, ReadWholeFile(Name).data(), sizeof H);
    return H;
  }
  // Starts a worker that stops inside the page store, and waits until it
  // stands there.
  std::unique_ptr<TWorker> StartHanging(const std::string& Command) {
    const std::string Ready = Dir.File(Command + ".ready");
    auto Worker = std::make_unique<TWorker>(std::vector<std::string>{Command, Name, Ready}, Dir.File(Command + ".out"));
    EXPECT_TRUE(Worker->AwaitFile(Ready)) << "the worker never got there; " << Worker->Errors();
    return Worker;
  }

  TScratchDir Dir;
  std::string Name = Dir.File("shared.qxl");
};

TEST_F(MultiProcessTest, ConcurrentAllocationNeverGivesAPageTwice) {
  constexpr int Workers = 4, Each = 400;
  const std::string Gate = Dir.File("gate");
  std::vector<std::unique_ptr<TWorker>> Started;
  for (int w = 0; w < Workers; ++w)
    Started.push_back(std::make_unique<TWorker>(
        std::vector<std::string>{"alloc", Name, std::to_string(Each), "w" + std::to_string(w), "gate=" + Gate},
        Dir.File("out" + std::to_string(w))));
  std::vector<TWorkerOutput> Outputs;
  ASSERT_TRUE(RunThroughGate(Started, Gate, Outputs));
  EXPECT_TRUE(PeriodsOverlap(Outputs));

  std::set<std::int32_t> All;
  {
    TQXLDiskPageManager M;
    EXPECT_FALSE(OpenShared(M, Name));
    for (int w = 0; w < Workers; ++w) {
      const auto& Pages = Outputs[w].Numbers;
      ASSERT_EQ(Pages.size(), static_cast<std::size_t>(Each));
      for (std::int32_t No : Pages) {
        EXPECT_TRUE(All.insert(No).second) << "page given twice: " << No;
        // Each commit was seen whole by this process.
        TQXLPage* Page = M.GetPage(0, No, ptTableRecord, true);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(Page->PageData())),
                  "w" + std::to_string(w) + " " + std::to_string(No));
        M.PutPage(Page);
      }
    }
  }
  // Every commit advanced the counter under the header lock: none was lost.
  EXPECT_EQ(int(Stored().State), Workers * Each);
  EXPECT_EQ(Stored().WriteChangesState, 2);
  EXPECT_TRUE(FileStructureIsSound(Name, All));
}

TEST_F(MultiProcessTest, ProcessKilledInsideACommit) {
  TQXLDiskPageManager Survivor;
  EXPECT_FALSE(OpenShared(Survivor, Name));
  auto Hanging = StartHanging("hang-commit");
  EXPECT_EQ(Stored().WriteChangesState, 1);
  Hanging->Kill();

  {
    TQXLDiskPageManager Probe;
    EXPECT_TRUE(OpenShared(Probe, Name));
  }
  // The survivor still takes the header lock and commits; the mark stays.
  const std::int32_t No = AddCommittedPage(Survivor, "after the crash");
  EXPECT_EQ(Stored().WriteChangesState, 1);

  // So does a new process.
  TWorker Late({"alloc", Name, "2", "late"}, Dir.File("late.out"));
  EXPECT_TRUE(Late.Succeeds());
  const auto LatePages = Late.Output().Numbers;
  EXPECT_EQ(LatePages.size(), 2u);
  for (std::int32_t L : LatePages) EXPECT_NE(L, No);

  TQXLDiskPageManager Probe;
  EXPECT_TRUE(OpenShared(Probe, Name));
  TQXLPage* Seen = Probe.GetPage(0, No, ptTableRecord, true);
  EXPECT_STREQ(reinterpret_cast<const char*>(Seen->PageData()), "after the crash");
  Probe.PutPage(Seen);
  std::set<std::int32_t> Live(LatePages.begin(), LatePages.end());
  Live.insert(No);
  EXPECT_TRUE(FileStructureIsSound(Name, Live, {}, true));
}

TEST_F(MultiProcessTest, ReaderSynchronisesWhileWritersCommit) {
  std::int32_t Counter;
  {
    TQXLDiskPageManager M;
    OpenShared(M, Name);
    Counter = AddCommittedPage(M, "");  // a page of zeros: the counter at 0
  }
  constexpr int Writers = 2, Each = 500;
  const std::string Gate = Dir.File("gate"), Page = std::to_string(Counter);
  std::vector<std::unique_ptr<TWorker>> Started;
  for (int w = 0; w < Writers; ++w)
    Started.push_back(std::make_unique<TWorker>(
        std::vector<std::string>{"count", Name, Page, std::to_string(Each), "gate=" + Gate},
        Dir.File("writer" + std::to_string(w))));
  Started.push_back(std::make_unique<TWorker>(
      std::vector<std::string>{"watch", Name, Page, std::to_string(Writers * Each), "gate=" + Gate},
      Dir.File("reader")));
  std::vector<TWorkerOutput> Outputs;
  ASSERT_TRUE(RunThroughGate(Started, Gate, Outputs));
  EXPECT_TRUE(PeriodsOverlap(Outputs));
  // The reader met values between the first and the last: it read while the
  // writers were still committing, and never a torn page or a step back.
  EXPECT_GT(Outputs.back().Seen, 2);

  // Each writer reread the page the other had changed: no increment was lost.
  TQXLDiskPageManager M;
  OpenShared(M, Name);
  TQXLPage* Seen = M.GetPage(0, Counter, ptTableRecord, true);
  std::int32_t Value;
  std::memcpy(&Value, Seen->PageData(), sizeof Value);
  M.PutPage(Seen);
  EXPECT_EQ(Value, Writers * Each);
  EXPECT_EQ(int(Stored().State), 1 + Writers * Each);
  EXPECT_TRUE(FileStructureIsSound(Name, {Counter}));
}

TEST_F(MultiProcessTest, TwoProcessesOnOneEncryptedFile) {
  const TQXLPassword Password{"Rk#4w%", craTwofish_256};
  {
    TQXLDiskPageManager M;
    M.CreateAndOpenDatabase(Name, Password, 4096, 8);
  }
  constexpr int Workers = 2, Each = 400;
  const std::string Gate = Dir.File("gate");
  std::vector<std::unique_ptr<TWorker>> Started;
  for (int w = 0; w < Workers; ++w)
    Started.push_back(std::make_unique<TWorker>(
        std::vector<std::string>{"alloc", Name, std::to_string(Each), "secret" + std::to_string(w),
                                 "gate=" + Gate, "password=" + Password.Password},
        Dir.File("out" + std::to_string(w))));
  std::vector<TWorkerOutput> Outputs;
  ASSERT_TRUE(RunThroughGate(Started, Gate, Outputs));
  EXPECT_TRUE(PeriodsOverlap(Outputs));

  const auto Bytes = ReadWholeFile(Name);
  EXPECT_EQ(std::search(Bytes.begin(), Bytes.end(), std::begin("secret"), std::end("secret") - 1), Bytes.end())
      << "plain page data in the file";
  std::set<std::int32_t> All;
  TQXLDiskPageManager M;
  OpenShared(M, Name, Password);
  for (int w = 0; w < Workers; ++w) {
    ASSERT_EQ(Outputs[w].Numbers.size(), static_cast<std::size_t>(Each));
    for (std::int32_t No : Outputs[w].Numbers) {
      EXPECT_TRUE(All.insert(No).second) << "page given twice: " << No;
      TQXLPage* Page = M.GetPage(0, No, ptTableRecord, true);  // decrypted, its CRC checked
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(Page->PageData())),
                "secret" + std::to_string(w) + " " + std::to_string(No));
      M.PutPage(Page);
    }
  }
  EXPECT_TRUE(FileStructureIsSound(Name, All, Password));
}

TEST_F(MultiProcessTest, FileShrunkWhileAnotherProcessHoldsPagesPastTheNewEnd) {
  TWorker First({"alloc", Name, "30", "a"}, Dir.File("first"));
  ASSERT_TRUE(First.Succeeds());
  ASSERT_EQ(First.Output().Numbers.back(), 31);
  const std::int32_t TotalBefore = Stored().TotalPageCount;

  TQXLDiskPageManager Holder;
  OpenShared(Holder, Name);
  Holder.PutPage(Holder.GetPage(0, 31, ptTableRecord, true));  // cached
  TQXLPage* Held = Holder.GetPage(0, 30, ptTableRecord, true);  // in use

  TWorker Shrinker({"release", Name, "12", "31"}, Dir.File("release"));
  ASSERT_TRUE(Shrinker.Succeeds());
  ASSERT_LT(int(Stored().TotalPageCount), 30) << "the file did not shrink from " << TotalBefore;

  // The copies past the end stay readable and say that they were released.
  TQXLPage* Cached = Holder.GetPage(0, 31, ptTableRecord, true);
  EXPECT_EQ(Cached->HeaderState(), QXLRemovedPageState);
  EXPECT_STREQ(reinterpret_cast<const char*>(Cached->PageData()), "a 31");
  Holder.PutPage(Cached);
  Holder.PutPage(Held);
  // A page past the end that is not cached is never handed out as read.
  EXPECT_NE(NativeCodeOf([&] { Holder.GetPage(0, 33, ptTableRecord, true); }), 0);
  // Nor is a change of a released page past the end committed: it would be
  // lost, and the file would grow beyond its header.
  const auto SizeAfterShrink = std::filesystem::file_size(Name);
  Cached = Holder.GetPage(0, 31, ptTableRecord, true);
  Cached->MakeWritable();
  std::strcpy(reinterpret_cast<char*>(Cached->PageData()), "lost");
  Holder.PutPage(Cached);
  EXPECT_EQ(NativeCodeOf([&] { Holder.ApplyChanges(0); }), 10471);
  EXPECT_EQ(std::filesystem::file_size(Name), SizeAfterShrink);
  EXPECT_EQ(Stored().WriteChangesState, QXLWriteChangesDone);
  Holder.CancelChanges(0);
  Holder.RemovePage(0, 31);  // a release of it likewise
  EXPECT_EQ(NativeCodeOf([&] { Holder.ApplyChanges(0); }), 10471);
  EXPECT_EQ(std::filesystem::file_size(Name), SizeAfterShrink);
  EXPECT_EQ(Stored().WriteChangesState, QXLWriteChangesDone);
  Holder.CancelChanges(0);

  // The file grows back over the released pages; the holder sees the new ones.
  TWorker Second({"alloc", Name, "25", "b"}, Dir.File("second"));
  ASSERT_TRUE(Second.Succeeds());
  const auto Pages = Second.Output().Numbers;
  ASSERT_EQ(Pages.size(), 25u);
  for (std::int32_t No : {30, 31}) {
    TQXLPage* Page = Holder.GetPage(0, No, ptTableRecord, true);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(Page->PageData())), "b " + std::to_string(No));
    Holder.PutPage(Page);
  }
  std::set<std::int32_t> Live(Pages.begin(), Pages.end());
  for (std::int32_t No = 2; No < 12; ++No) Live.insert(No);
  EXPECT_TRUE(FileStructureIsSound(Name, Live));
}

// A process killed inside a page allocation, after the space map marks the
// page used and before the header's counters say so, leaves a used bit above
// the stored last used page; with the page at the end of the file, or the
// file just grown for it, the next growth meets that bit.
struct TKilledAllocationCase {
  const char* Name;
  int PagesBefore;  // pages 2, 3, ... taken before the worker's allocation
  bool ReleaseFirst;  // the survivor releases a page before it allocates
};

class KilledAllocationTest : public MultiProcessTest, public ::testing::WithParamInterface<TKilledAllocationCase> {};

TEST_P(KilledAllocationTest, LeavesNoPageThatCannotBeHandedOut) {
  std::set<std::int32_t> Live;
  {
    TQXLDiskPageManager M;
    OpenShared(M, Name);
    for (int i = 0; i < GetParam().PagesBefore; ++i) Live.insert(AddCommittedPage(M, "before"));
  }
  const TQXLDBHeader Before = Stored();
  StartHanging("hang-alloc")->Kill();
  EXPECT_EQ(int(Stored().LastUsedPageNo), int(Before.LastUsedPageNo));

  TQXLDiskPageManager Survivor;
  EXPECT_FALSE(OpenShared(Survivor, Name));
  if (GetParam().ReleaseFirst) {
    Survivor.RemovePage(0, *Live.begin());
    Live.erase(Live.begin());
    Survivor.ApplyChanges(0);
    TQXLDiskPageManager Reopened;
    EXPECT_FALSE(OpenShared(Reopened, Name)) << "the release left a header that no longer opens";
  }
  // Enough pages that the file grows over the leftover bit.
  for (int i = 0; i < 4; ++i) {
    std::int32_t No = -1;
    EXPECT_EQ(NativeCodeOf([&] { No = AddCommittedPage(Survivor, "after"); }), 0);
    EXPECT_TRUE(Live.insert(No).second) << "page given twice: " << No;
  }
  Survivor.CloseDatabase();
  EXPECT_TRUE(FileStructureIsSound(Name, Live));
}

INSTANTIATE_TEST_SUITE_P(
    AtTheEndOfTheFile, KilledAllocationTest,
    ::testing::Values(TKilledAllocationCase{"LastPageOfTheFile", 3, false},
                      TKilledAllocationCase{"FirstPageOfAGrowth", 4, false},
                      TKilledAllocationCase{"FirstPageOfAGrowthThenARelease", 4, true}),
    [](const auto& Info) { return std::string(Info.param.Name); });

}  // namespace
