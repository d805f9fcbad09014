// The local session: connecting to the list's databases, creating a file
// database through the engine that gives it, freeing it with the last
// session, transactions.
#include <gtest/gtest.h>

#include "engine/core/abstract/QXLDatabaseDataList.h"
#include "engine/datasets/QXLLocalSession.h"
#include "tests/support/EngineErrors.h"
#include "tests/support/FakeDatabaseData.h"
#include "tests/support/FakePageManager.h"

using namespace qxl;

namespace {

std::unique_ptr<TQXLDatabaseData> Named(const char* Name) {
  auto d = std::make_unique<FakeDatabaseData>();
  d->SetDatabaseName(Name);
  return d;
}

}  // namespace

TEST(QXLLocalSession, ConnectsToTheProcessDatabasesAndLeavesThemListed) {
  TQXLDatabaseDataList list;
  TQXLDatabaseData* memory = list.Add(Named("MEMORY"));
  memory->SetReadOnly(true);
  TQXLLocalSession s(list);
  s.FDatabaseName = "memory";
  s.SetConnected(true);
  EXPECT_TRUE(s.GetConnected());
  EXPECT_EQ(s.DatabaseData(), memory);
  EXPECT_EQ(s.FSessionID, 0);
  EXPECT_TRUE(s.FReadOnly);
  s.SetConnected(true);  // already connected: nothing happens
  EXPECT_EQ(memory->SessionList().size(), 1u);
  s.SetConnected(false);
  EXPECT_FALSE(s.GetConnected());
  EXPECT_EQ(list.Count(), 1u);
  EXPECT_TRUE(memory->SessionList().empty());
}

TEST(QXLLocalSession, FileDatabasesComeFromTheirEngineAndGoWithTheLastSession) {
  TQXLDatabaseDataList list;
  std::int32_t made = 0;
  auto creator = [&made](TQXLLocalSession&) -> std::unique_ptr<TQXLDatabaseData> {
    ++made;
    return std::make_unique<FakeDatabaseData>();
  };
  TQXLLocalSession a(list, creator), b(list, creator);
  a.FDatabaseName = b.FDatabaseName = "tasks.qxl";
  a.SetConnected(true);
  b.SetConnected(true);
  EXPECT_EQ(made, 1);
  EXPECT_EQ(a.DatabaseData(), b.DatabaseData());
  EXPECT_EQ(a.DatabaseData()->DatabaseName(), "tasks.qxl");
  a.SetConnected(false);
  EXPECT_EQ(list.Count(), 1u);
  b.SetConnected(false);
  EXPECT_EQ(list.Count(), 0u);

  TQXLLocalSession orphan(list);
  orphan.FDatabaseName = "other.qxl";
  EXPECT_EQ(NativeCodeOf([&] { orphan.SetConnected(true); }), 10434);
  EXPECT_FALSE(orphan.GetConnected());
  EXPECT_EQ(orphan.FMaxSessionCount, 500);
  EXPECT_EQ(orphan.FPageSize, 4096);
  EXPECT_EQ(orphan.FPagesPerExtent, 8);
}

TEST(QXLLocalSession, CommitAndRollbackOnlyInsideATransaction) {
  TQXLDatabaseDataList list;
  TQXLDatabaseData* memory = list.Add(Named("MEMORY"));
  FakePageManager pages;
  memory->SetPageManager(&pages);
  TQXLLocalSession s(list);
  s.FDatabaseName = "MEMORY";
  s.SetConnected(true);
  EXPECT_EQ(MessageOf([&] { s.Commit(false); }),
            "Database is not within a transaction. Cannot perform operation - Native error: 20229");
  EXPECT_EQ(NativeCodeOf([&] { s.Rollback(); }), 20229);
  s.StartTransaction();
  s.Commit(true);
  EXPECT_FALSE(s.FInTransaction);
  s.StartTransaction();
  s.Rollback();
  EXPECT_EQ(pages.Applied, std::vector<std::int32_t>{0});
  EXPECT_EQ(pages.Cancelled, std::vector<std::int32_t>{0});
  TQXLLocalSession idle(list);
  idle.StartTransaction();
  EXPECT_EQ(NativeCodeOf([&] { idle.Commit(false); }), 10435);
}

// A commit that stored the changes but kept some locks ended the transaction
// all the same; one that stored nothing leaves it for the rollback.
TEST(QXLLocalSession, ACommitThatStoredItsChangesEndsTheTransactionWhateverItRaises) {
  struct TFailingCommit : FakeDatabaseData {
    std::int32_t Code = 0;
    void Commit(std::int32_t, bool) override { throw EQXLException(Code, "commit"); }
  };
  TQXLDatabaseDataList list;
  auto* data = static_cast<TFailingCommit*>(list.Add(std::make_unique<TFailingCommit>()));
  data->SetDatabaseName("MEMORY");
  TQXLLocalSession s(list);
  s.FDatabaseName = "MEMORY";
  s.SetConnected(true);
  for (std::int32_t Code : {qxl::CommittedWithLocksLeftCode, 20233}) {
    data->Code = Code;
    s.StartTransaction();
    EXPECT_EQ(NativeCodeOf([&] { s.Commit(false); }), Code);
    EXPECT_EQ(s.FInTransaction, Code != qxl::CommittedWithLocksLeftCode) << Code;
  }
  s.Rollback();
  EXPECT_EQ(NativeCodeOf([&] { s.Rollback(); }), 20229);
  s.SetConnected(false);
}
