// The shared database object: sessions, open tables found by name, commit and
// rollback through the page cache and the tables, and freeing through its list.
#include <gtest/gtest.h>

#include "engine/core/QXLSession.h"
#include "engine/core/abstract/QXLDatabaseDataList.h"
#include "tests/support/FakeCursor.h"
#include "tests/support/FakeDatabaseData.h"
#include "tests/support/FakePageManager.h"
#include "tests/support/FakeSession.h"

using namespace qxl;

namespace {

using TestSession = FakeSession;

class RollbackCounter : public FakeTableData {
public:
  using FakeTableData::FakeTableData;
  void Rollback(std::int32_t SessionID) override { Rolled.push_back(SessionID); }
  std::vector<std::int32_t> Rolled;
};

class CountingDatabase : public FakeDatabaseData {
public:
  TQXLTableData* CreateTableData(TQXLCursor* Cursor) override {
    auto t = std::make_unique<RollbackCounter>(this);
    t->SetTableName(Cursor->FTableName);
    return RegisterTableData(std::move(t));
  }
};

}  // namespace

TEST(QXLDatabaseData, FindsOpenTablesIgnoringCaseAndCreatesOnlyOnce) {
  FakeDatabaseData db;
  FakeCursor tasks("TaskList");
  FakeCursor upper("TASKLIST");
  EXPECT_EQ(db.FindTableData(&tasks), nullptr);
  EXPECT_FALSE(db.TableExists("tasklist"));
  TQXLTableData* t = db.FindOrCreateTableData(&tasks);
  EXPECT_EQ(db.FindOrCreateTableData(&upper), t);
  EXPECT_EQ(db.TablesCreated, 1);
  EXPECT_TRUE(db.TableExists("tasklist"));
  std::vector<std::string> names;
  db.GetTablesList(names);
  EXPECT_EQ(names, std::vector<std::string>{"TaskList"});
}

TEST(QXLDatabaseData, SessionsConnectWithNumberZeroAndLeave) {
  FakeDatabaseData db;
  TestSession a, b;
  db.ConnectSession(&a);
  db.ConnectSession(&b);
  EXPECT_EQ(a.FSessionID, 0);
  EXPECT_EQ(db.SessionList().size(), 2u);
  db.DisconnectSession(&a);
  ASSERT_EQ(db.SessionList().size(), 1u);
  EXPECT_EQ(db.SessionList()[0], &b);
}

TEST(QXLDatabaseData, CommitAndRollbackGoToThePageCacheAndEveryTable) {
  CountingDatabase db;
  FakeCursor a("A"), b("B");
  auto* ta = static_cast<RollbackCounter*>(db.FindOrCreateTableData(&a));
  auto* tb = static_cast<RollbackCounter*>(db.FindOrCreateTableData(&b));

  // Without a page cache the tables still roll back.
  db.Commit(3, true);
  db.Rollback(3);
  EXPECT_EQ(ta->Rolled, std::vector<std::int32_t>{3});
  EXPECT_EQ(tb->Rolled, std::vector<std::int32_t>{3});

  FakePageManager pages;
  db.SetPageManager(&pages);
  db.Commit(4, false);
  db.Rollback(5);
  EXPECT_EQ(pages.Applied, std::vector<std::int32_t>{4});
  EXPECT_EQ(pages.Cancelled, std::vector<std::int32_t>{5});
  EXPECT_EQ(ta->Rolled, (std::vector<std::int32_t>{3, 5}));
}

TEST(QXLDatabaseData, FreeTableDataTakesItOutOfTheList) {
  FakeDatabaseData db;
  FakeCursor a("A");
  TQXLTableData* t = db.FindOrCreateTableData(&a);
  db.FreeTableData(t);
  EXPECT_EQ(db.TableDataCount(), 0);
  EXPECT_EQ(db.FindTableData(&a), nullptr);
}

TEST(QXLDatabaseData, FreedThroughItsListWhenTheLastSessionLeaves) {
  TQXLDatabaseDataList list;
  TQXLDatabaseData* db = list.Add(std::make_unique<FakeDatabaseData>());
  TestSession s;
  db->ConnectSession(&s);
  db->FreeIfNoSessionsConnected();
  EXPECT_EQ(list.Count(), 1u);
  db->DisconnectSession(&s);
  db->FreeIfNoSessionsConnected();
  EXPECT_EQ(list.Count(), 0u);
}

TEST(QXLDatabaseData, OutsideAListItIsLeftToItsOwner) {
  FakeDatabaseData db;
  db.FreeIfNoSessionsConnected();
  db.SetDatabaseName("still here");
  EXPECT_EQ(db.DatabaseName(), "still here");
}
