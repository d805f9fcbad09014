// Connections and table-list changes of separate operating-system processes
// on one database file, through the qxl_store_worker program.
#include <set>

#include "tests/engine/storage/StorageStructureCheck.h"
#include "tests/engine/storage/files/AnnouncingWorker.h"
#include "tests/engine/storage/files/DatabaseStructureSupport.h"

using namespace qxl;

namespace {

constexpr std::int32_t N = 3;

class SessionsMultiProcessTest : public ::testing::Test {
protected:
  void SetUp() override { Structure = CreateStructuredDatabase(Name, N); }
  TAnnouncingWorker Connect(const std::string& Tag, const std::string& Mode) {
    return StartAnnouncing(Dir, Tag, {"connect", Name, Mode});
  }

  TScratchDir Dir;
  std::string Name = Dir.File("shared.qxl");
  TDatabaseStructure Structure;
};

TEST_F(SessionsMultiProcessTest, ProcessesTakeNumbersUpToTheLimitAndADeadOneFreesItsNumber) {
  std::vector<TAnnouncingWorker> Connected;
  for (int i = 0; i < N; ++i) {
    Connected.push_back(Connect("w" + std::to_string(i), "multi"));
    EXPECT_EQ(Connected.back().Line, "session " + std::to_string(i));
  }
  auto Refused = Connect("over", "multi");
  EXPECT_EQ(Refused.Line, "error 20094");
  EXPECT_TRUE(Refused.Worker->Succeeds());

  TQXLDiskPageManager M;
  OpenShared(M, Name);
  TQXLActiveSessionsFile Sessions(M);
  Sessions.OpenFile(Structure.SessionsPageNo);
  EXPECT_EQ(Sessions.GetDBFileConnectionsCount(), N);
  Connected[1].Worker->Kill();
  EXPECT_EQ(Sessions.GetDBFileConnectionsCount(), N - 1);
  EXPECT_EQ(Connect("again", "multi").Line, "session 1");
}

TEST_F(SessionsMultiProcessTest, SingleUserExcludesOtherProcessesBothWays) {
  TQXLDiskPageManager M;
  OpenShared(M, Name);
  TQXLActiveSessionsFile Sessions(M);
  Sessions.OpenFile(Structure.SessionsPageNo);

  auto Other = Connect("multi", "multi");
  ASSERT_EQ(Other.Line, "session 0");
  EXPECT_FALSE(Sessions.SingleUserConnect());
  EXPECT_EQ(Connect("single", "single").Line, "refused");
  Other.Worker->Kill();

  ASSERT_TRUE(Sessions.SingleUserConnect());
  EXPECT_EQ(Connect("late", "multi").Line, "error 20094");
  EXPECT_EQ(Connect("late-single", "single").Line, "refused");
  Sessions.SingleUserDisconnect();
  EXPECT_EQ(Connect("after", "multi").Line, "session 0");
}

TEST_F(SessionsMultiProcessTest, TablesCreatedAtOnceByTwoProcessesAreAllListed) {
  constexpr int Each = 250;
  const std::string Gate = Dir.File("gate");
  std::vector<std::unique_ptr<TWorker>> Workers;
  for (const char* Prefix : {"A", "B"})
    Workers.push_back(std::make_unique<TWorker>(
        std::vector<std::string>{"addtables", Name, Prefix, std::to_string(Each), "gate=" + Gate},
        Dir.File(std::string(Prefix) + ".out")));
  std::vector<TWorkerOutput> Outputs;
  ASSERT_TRUE(RunThroughGate(Workers, Gate, Outputs));
  EXPECT_TRUE(PeriodsOverlap(Outputs));

  TQXLDiskPageManager M;
  OpenShared(M, Name);
  TQXLTableListFile List(M);
  List.OpenFile(Structure.TableListPageNo);
  std::vector<std::string> Names;
  List.GetTablesList(Names);
  const std::set<std::string> Listed(Names.begin(), Names.end());
  EXPECT_EQ(Names.size(), 2u * Each);
  for (const char* Prefix : {"A", "B"})
    for (int i = 0; i < Each; ++i) EXPECT_TRUE(Listed.count(Prefix + std::to_string(i))) << Prefix << i;
  M.CloseDatabase();
  EXPECT_TRUE(FileStructureIsSound(Name, {Structure.SessionsPageNo, Structure.TableListPageNo}));
}

}  // namespace
