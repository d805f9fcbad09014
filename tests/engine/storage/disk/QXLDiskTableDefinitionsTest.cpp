// A disk table's definitions changed by one user while another keeps the
// table open with its own database object and file handle, as a separate
// process does: from its next change or read on, the other user works with
// the new definitions, so that it neither writes into an index whose pages
// were given back nor leaves an index added elsewhere without its records.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "tests/engine/storage/StorageTestUtil.h"
#include "tests/engine/storage/disk/TableStructureCheck.h"
#include "tests/support/DiskTableUser.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace {

using qxl::testsupport::TDiskTableUser;

class DiskTableDefinitionsTest : public ::testing::Test {
protected:
  void SetUp() override {
    qxl::testsupport::CreateDatabaseFile(Name, {}, 8);
    TDiskTableUser Maker(Name, {});
    Maker.CreateTable("Items", {"ID", "Who"});
  }

  static std::int32_t AddIndex(TDiskTableUser& U, const std::string& Field) {
    TQXLIndexDef Def;
    Def.Name = "By" + Field;
    Def.AssignByNames({Field}, {"ASC"}, {"CASE"});
    U.Table().AddIndex(Def, &U.Cursor());
    return Def.ObjectID;
  }

  static void PostRows(TDiskTableUser& U, std::int32_t From, std::int32_t Count) {
    for (std::int32_t Id = From; Id < From + Count; ++Id) U.Post({Id, 1000 - Id});
  }

  // The entries in the leaves of the named index's tree.
  static std::int64_t IndexEntries(TDiskTableUser& U, const std::string& Name) {
    TQXLBaseIndexManager& Indexes = *U.Table().IndexManager();
    const TQXLIndexDef* Def = Indexes.IndexDefs().GetIndexDefByName(Name);
    if (!Def) return -1;
    auto& Index = dynamic_cast<qxl::TQXLBTreeRecordIndex&>(*Indexes.OpenIndex(Def->ObjectID));
    std::int64_t Entries = 0;
    std::vector<std::int32_t> Pages{Def->RootPageNo};
    while (!Pages.empty()) {
      const std::int32_t PageNo = Pages.back();
      Pages.pop_back();
      qxl::TQXLBTreePage Page =
          qxl::TQXLBTreePage::Fetch(U.Database().DiskPageManager(), Index.KeyRef(), U.SessionID(), PageNo);
      if (Page.IsLeaf())
        Entries += Page.EntryCount();
      else
        for (std::int32_t Entry = 0; Entry < Page.EntryCount(); ++Entry) Pages.push_back(Page.ChildPageNo(Entry));
    }
    return Entries;
  }

  static std::int64_t Rows(TDiskTableUser& U) {
    std::int64_t Count = 0;
    U.Rewind();
    while (U.Next()) ++Count;
    return Count;
  }

  platform::FakeClock Clock;
  platform::ScopedClock UseClock{Clock};
  TScratchDir Dir;
  std::string Name = Dir.File("definitions.qxl");
};

TEST_F(DiskTableDefinitionsTest, AnIndexDroppedByAnotherUserIsNoLongerWritten) {
  TDiskTableUser A(Name, {}), B(Name, {});
  A.Open("Items");
  const std::int32_t ByWho = AddIndex(A, "Who");
  B.Open("Items");
  PostRows(B, 0, 5);
  ASSERT_EQ(IndexEntries(B, "ByWho"), 5);

  A.Table().DeleteIndex(ByWho, &A.Cursor());
  // Enough rows for new pages, which the dropped index's pages are free to
  // become before B writes again.
  PostRows(A, 5, 300);
  PostRows(B, 305, 300);
  EXPECT_EQ(B.Table().IndexManager()->IndexDefs().GetIndexDefByName("ByWho"), nullptr);
  EXPECT_EQ(B.Table().SchemaVersion(), A.Table().SchemaVersion());
  std::set<std::int32_t> Ids;
  A.Rewind();
  while (A.Next()) Ids.insert(A.Get(0));
  EXPECT_EQ(Ids.size(), 605u);
  EXPECT_EQ(Ids.empty() ? -1 : *Ids.rbegin(), 604);
  A.Close();
  B.Close();
  EXPECT_TRUE(tablecheck::TableFileIsSound(Name, {}));
}

TEST_F(DiskTableDefinitionsTest, AnIndexAddedByAnotherUserGetsThatUsersRecords) {
  TDiskTableUser A(Name, {}), B(Name, {});
  A.Open("Items");
  B.Open("Items");
  PostRows(B, 0, 5);
  AddIndex(A, "Who");
  PostRows(B, 5, 300);
  EXPECT_EQ(IndexEntries(B, "ByWho"), 305);
  A.Close();
  A.Open("Items");
  EXPECT_EQ(IndexEntries(A, "ByWho"), 305);
  EXPECT_EQ(Rows(A), 305);
  A.Close();
  B.Close();
  EXPECT_TRUE(tablecheck::TableFileIsSound(Name, {}));
}

TEST_F(DiskTableDefinitionsTest, AFieldRenamedByAnotherUserIsRenamedAtTheNextRead) {
  TDiskTableUser A(Name, {}), B(Name, {});
  A.Open("Items");
  AddIndex(A, "Who");
  B.Open("Items");
  A.Table().RenameField("Who", "Owner");
  PostRows(A, 0, 2);
  EXPECT_EQ(Rows(B), 2);
  const TQXLIndexDef* Index = B.Table().IndexManager()->IndexDefs().GetIndexDefByName("ByWho");
  ASSERT_NE(Index, nullptr);
  EXPECT_EQ(Index->GetIndexColumn(0).FieldName, "Owner");
  EXPECT_NE(B.Table().FieldManager()->FieldDefs().GetFieldDefByName("Owner"), nullptr);
  EXPECT_EQ(B.Table().FieldManager()->FieldDefs().GetFieldDefByName("Who"), nullptr);
}

// A definition change waits for the writers of other users, and when they
// stay, changes nothing.
TEST_F(DiskTableDefinitionsTest, ADefinitionChangeIsRefusedWhileAnotherUserWrites) {
  TDiskTableUser A(Name, {}), B(Name, {});
  A.Open("Items");
  const std::int32_t ByWho = AddIndex(A, "Who");
  const std::int32_t Version = A.Table().SchemaVersion();
  B.Open("Items");
  B.Lock(ltRW);
  EXPECT_EQ(NativeCodeOf([&] { A.Table().DeleteIndex(ByWho, &A.Cursor()); }), 20209);
  TQXLIndexDef Other;
  Other.Name = "ByID";
  Other.AssignByNames({"ID"}, {"ASC"}, {"CASE"});
  EXPECT_EQ(NativeCodeOf([&] { A.Table().AddIndex(Other, &A.Cursor()); }), 20209);
  EXPECT_EQ(A.Table().SchemaVersion(), Version);
  EXPECT_EQ(A.Table().IndexManager()->IndexDefs().Count(), 1);
  B.Unlock(ltRW);
  A.Table().DeleteIndex(ByWho, &A.Cursor());
  EXPECT_EQ(A.Table().IndexManager()->IndexDefs().Count(), 0);
  EXPECT_EQ(A.Table().SchemaVersion(), Version + 1);
}

// The holder of the table's exclusive lock needs no other lock to change it.
TEST_F(DiskTableDefinitionsTest, TheExclusiveHolderChangesTheDefinitions) {
  {
    TDiskTableUser A(Name, {});
    A.Open("Items", true);
    const std::int32_t ByWho = AddIndex(A, "Who");
    PostRows(A, 0, 3);
    EXPECT_EQ(IndexEntries(A, "ByWho"), 3);
    A.Table().DeleteIndex(ByWho, &A.Cursor());
    EXPECT_EQ(A.Table().IndexManager()->IndexDefs().Count(), 0);
  }
  TDiskTableUser B(Name, {});
  B.Open("Items");
  EXPECT_EQ(Rows(B), 3);
  EXPECT_EQ(B.Table().IndexManager()->IndexDefs().Count(), 0);
}

}  // namespace
