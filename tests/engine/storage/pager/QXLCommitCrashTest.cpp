// A change of a database file stopped at every one of its writes in turn, by a
// crash or by writes that fail from then on: the next open reports that the
// file needs repair, or shows exactly the state before or after the change.
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "engine/storage/pager/QXLDiskPageManager.h"
#include "platform/Clock.h"
#include "tests/engine/storage/PageManagerTestSupport.h"
#include "tests/engine/storage/StorageStructureCheck.h"
#include "tests/engine/storage/StorageTestUtil.h"
#include "tests/support/FaultyFileSystem.h"

using namespace qxl;

namespace {

using platform::test::FaultyFileSystem;

// Pages and their texts in one committed state; pages that state has released.
struct TState {
  std::map<std::int32_t, std::string> Texts;
  std::set<std::int32_t> Released;
};

// A change: what a session does before it commits (pages allocated, the file
// grown), and the states before and after its commit.
struct TChange {
  std::function<void(TQXLDiskPageManager&)> Work;
  TState Before, After;
};

class CommitCrashTest : public ::testing::Test {
protected:
  static std::int32_t Add(TQXLDiskPageManager& M, const std::string& Text) {
    TQXLPage* Page = M.AddPage(0, ptTableRecord);
    std::strcpy(reinterpret_cast<char*>(Page->PageData()), Text.c_str());
    const std::int32_t No = Page->PageNo();
    M.PutPage(Page);
    return No;
  }
  static void Rewrite(TQXLDiskPageManager& M, std::int32_t No, const std::string& Text) {
    TQXLPage* Page = M.GetPage(0, No, ptTableRecord, true);
    Page->MakeWritable();
    std::strcpy(reinterpret_cast<char*>(Page->PageData()), Text.c_str());
    M.PutPage(Page);
  }
  // Creates the file with Count committed pages; their numbers and texts.
  TState CreateWith(int Count) {
    TQXLDiskPageManager M;
    M.CreateAndOpenDatabase(Name, {}, 4096, 8);
    TState S;
    for (int i = 0; i < Count; ++i) {
      const std::string Text = "page " + std::to_string(i);
      S.Texts[Add(M, Text)] = Text;
    }
    M.ApplyChanges(0);
    return S;
  }

  // Runs the change on the file through Files, arming Fault once the file is
  // open; the writes before its commit and in all.
  void Run(TChange& Change, FaultyFileSystem& Files, const std::function<void()>& Fault, int& BeforeCommit,
           int& Total) {
    TQXLDiskPageManager M(Files);
    OpenShared(M, Name);
    if (Fault) Fault();
    const int Start = Files.Writes();
    try {
      Change.Work(M);
      BeforeCommit = Files.Writes() - Start;
      M.ApplyChanges(0);
    } catch (const platform::Exception&) {
    }
    Total = Files.Writes() - Start;
  }

  // What the next open sees: repair, or one of the two states whole.
  enum TSeen { Repair, Before, After };
  TSeen Seen(const TChange& Change) {
    TQXLDiskPageManager M;
    if (OpenShared(M, Name)) return Repair;
    // Every page of one state has its text and is used in the space map; the
    // pages that state released are free.
    auto Shows = [&](const TState& S) {
      for (const auto& [No, Text] : S.Texts) {
        if (!M.FreeSpaceManager()->GetPageUsageFromPFS(No)) return false;
        TQXLPage* Page = M.GetPage(0, No, ptTableRecord, true);
        const bool Same = Text == reinterpret_cast<const char*>(Page->PageData());
        M.PutPage(Page);
        if (!Same) return false;
      }
      for (std::int32_t No : S.Released)
        if (M.FreeSpaceManager()->GetPageUsageFromPFS(No)) return false;
      return true;
    };
    if (Shows(Change.After)) return After;
    if (Shows(Change.Before)) return Before;
    ADD_FAILURE() << "the file shows neither state";
    return Repair;
  }

  // Stops the change at each of its writes in turn: the process dies after
  // write k (Crash), or write k and every one after it fail.
  void StopAtEveryWrite(TChange& Change, bool Crash) {
    const auto Original = ReadWholeFile(Name);
    int BeforeCommit = 0, Total = 0;
    {
      FaultyFileSystem Files;
      Run(Change, Files, nullptr, BeforeCommit, Total);
    }
    ASSERT_EQ(Seen(Change), After);
    ASSERT_TRUE(FileStructureIsSound(Name, {}));
    ASSERT_GT(Total, BeforeCommit + 2);
    for (int k = 1; k <= Total; ++k) {
      SCOPED_TRACE("stopped at write " + std::to_string(k) + " of " + std::to_string(Total) + ", " +
                   std::to_string(BeforeCommit) + " before the commit");
      WriteWholeFile(Name, Original);
      FaultyFileSystem Files;
      int Ignored = 0;
      Run(Change, Files, [&] { Crash ? Files.CrashAfterWrite(k) : Files.FailWrite(k, EIO, -1); }, Ignored,
          Ignored);
      // The commit's first write marks the header, its last one clears the
      // mark: a file stopped in between needs repair. A failed mark changed
      // nothing; after a crash past the last write the change is whole.
      TSeen Expected = Repair;
      if (k <= BeforeCommit + (Crash ? 0 : 1)) Expected = Before;
      else if (Crash && k == Total) Expected = After;
      EXPECT_EQ(Seen(Change), Expected);
      if (Expected == After) {
        EXPECT_TRUE(FileStructureIsSound(Name, {}));
      }
    }
  }

  platform::FakeClock Clock;
  platform::ScopedClock UseClock{Clock};
  TScratchDir Dir;
  std::string Name = Dir.File("db.qxl");
};

class StoppedChange : public CommitCrashTest, public ::testing::WithParamInterface<bool> {
protected:
  TChange Change;
};

// A full file: the change adds a page, which grows the file and its space
// map, rewrites a page and releases another.
TEST_P(StoppedChange, GrowingTheFile) {
  Change.Before = CreateWith(4);
  const std::int32_t First = Change.Before.Texts.begin()->first;
  const std::int32_t Second = std::next(Change.Before.Texts.begin())->first;
  Change.After = Change.Before;
  Change.After.Texts[First] = "rewritten";
  Change.After.Texts.erase(Second);
  Change.After.Released = {Second};
  Change.Work = [&](TQXLDiskPageManager& M) {
    Change.After.Texts[Add(M, "added")] = "added";
    Rewrite(M, First, "rewritten");
    M.RemovePage(0, Second);
  };
  StopAtEveryWrite(Change, GetParam());
}

// The change releases the last twenty pages, which shrinks the file in
// several cuts, and rewrites a page.
TEST_P(StoppedChange, ShrinkingTheFile) {
  Change.Before = CreateWith(30);
  Change.After = Change.Before;
  const std::int32_t First = Change.Before.Texts.begin()->first;
  Change.After.Texts[First] = "rewritten";
  std::vector<std::int32_t> Released;
  for (auto It = Change.Before.Texts.rbegin(); Released.size() < 20; ++It) Released.push_back(It->first);
  for (std::int32_t No : Released) {
    Change.After.Texts.erase(No);
    Change.After.Released.insert(No);
  }
  Change.Work = [&](TQXLDiskPageManager& M) {
    for (std::int32_t No : Released) M.RemovePage(0, No);
    Rewrite(M, First, "rewritten");
  };
  StopAtEveryWrite(Change, GetParam());
}

INSTANTIATE_TEST_SUITE_P(CrashOrFailingWrites, StoppedChange, ::testing::Bool(),
                         [](const auto& Info) { return Info.param ? "Crash" : "WritesFail"; });

// A flush that keeps failing is reported with the file's flush error.
TEST_F(CommitCrashTest, FailingFlushIsReported) {
  CreateWith(1);
  FaultyFileSystem Files;
  TQXLDiskPageManager M(Files);
  OpenShared(M, Name);
  Files.FailFlush(1, EIO, -1);
  EXPECT_EQ(NativeCodeOf([&] { M.DatabaseFile().FlushFileBuffers(); }), 30379);
  EXPECT_EQ(Files.Flushes(), 2);  // tried again once on a healthy handle
}

}  // namespace
