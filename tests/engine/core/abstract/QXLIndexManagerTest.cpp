// The index manager: opening and closing index objects, building and
// dropping, temporary indexes on demand and their resynchronisation, record
// changes through every index, and navigation from a vanished record.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/engine/core/abstract/AbstractTableFixture.h"

using namespace qxl;

namespace {

class IndexManagerTest : public AbstractTableFixture {
protected:
  void SetUp() override {
    AddField("Name", aftString, 10);
    AddField("Names", aftString, 10);
    AddField("N", aftInteger);
    AddIndex("I1", {"Name"});
    AddIndex("I2", {"Names"});
    AddIndex("I3", {"N"}, true);
    Create();
  }
  TQXLBaseIndexManager& Manager() { return *Table->IndexManager(); }
  TQXLIndexDefs& Defs() { return Manager().IndexDefs(); }
  std::int32_t ID(std::int32_t i) { return Defs().GetIndexDef(i)->ObjectID; }
  std::vector<std::int32_t> States() {
    std::vector<std::int32_t> s;
    for (std::int32_t i = 0; i < Defs().Count(); ++i) s.push_back(Defs().GetIndexDef(i)->TableState);
    return s;
  }
  std::int32_t Count(const std::string& Call) {
    auto& calls = Table->Indexes.Log.Calls;
    return static_cast<std::int32_t>(std::count(calls.begin(), calls.end(), Call));
  }
};

}  // namespace

TEST_F(IndexManagerTest, OpenTwiceGivesOneObjectAndCloseForgetsIt) {
  TQXLIndex* first = Manager().OpenIndex(ID(0));
  EXPECT_EQ(Manager().OpenIndex(ID(0)), first);
  EXPECT_EQ(Manager().OpenIndexCount(), 1);
  Manager().CloseIndex(ID(0));
  EXPECT_EQ(Manager().FindOpenIndex(ID(0)), nullptr);
  EXPECT_EQ(Count("Open I1"), 1);
  Manager().OpenIndex(ID(0));
  EXPECT_EQ(Count("Open I1"), 2);
  EXPECT_EQ(NativeCodeOf([&] { Manager().OpenIndex(4242); }), 20018);
  EXPECT_EQ(NativeCodeOf([&] { Manager().DropIndex(0, 4242); }), 20018);
}

TEST_F(IndexManagerTest, EmptyAndDropLeaveTheIndexClosed) {
  Manager().EmptyIndex(0, ID(1));
  EXPECT_EQ(Count("Empty I2"), 1);
  EXPECT_EQ(Manager().OpenIndexCount(), 0);
  const std::int32_t id = ID(1);
  Manager().DropIndex(0, id);
  EXPECT_EQ(Count("Drop I2"), 1);
  EXPECT_EQ(Manager().OpenIndexCount(), 0);
  EXPECT_EQ(Defs().GetIndexDefByObjectId(id), nullptr);
  Manager().DropAllIndexes(-2);
  EXPECT_EQ(Defs().Count(), 0);
}

TEST_F(IndexManagerTest, EveryRecordChangeMovesEachIndexStateByOne) {
  std::int32_t one = 1;
  Insert({nullptr, nullptr, &one});
  EXPECT_EQ(States(), (std::vector<std::int32_t>{1, 1, 1}));
  EXPECT_EQ(Count("Insert I3"), 1);
  // The index's new root page reaches the stored definition.
  EXPECT_EQ(Defs().GetIndexDef(2)->RootPageNo, 0);

  Manager().UpdateRecord(&Cursor, true);
  EXPECT_EQ(States(), (std::vector<std::int32_t>{1, 1, 1}));
  Manager().UpdateRecord(&Cursor, false);
  EXPECT_EQ(States(), (std::vector<std::int32_t>{2, 2, 2}));

  Insert({nullptr, nullptr, &one});
  EXPECT_EQ(States(), (std::vector<std::int32_t>{3, 3, 3}));
  TQXLPageItemID gone = Cursor.CurrentRecordID;
  Table->Records()->DeleteRecord(0, gone);  // another cursor deleted it
  Manager().DeleteRecord(&Cursor);
  EXPECT_EQ(States(), (std::vector<std::int32_t>{3, 3, 3}));
  EXPECT_EQ(Count("Delete I1"), 0);
}

TEST_F(IndexManagerTest, FindOrCreateMakesAUniquelyNamedTemporaryIndexOnlyWhenNeeded) {
  bool created = true;
  EXPECT_EQ(Manager().FindOrCreateIndex(&Cursor, {"Name"}, {"ASC"}, {"CASE"}, created), ID(0));
  EXPECT_FALSE(created);
  EXPECT_EQ(Defs().Count(), 3);

  const std::int32_t id = Manager().FindOrCreateIndex(&Cursor, {"N", "Name"}, {"DESC", "ASC"}, {"CASE", "CASE"}, created);
  EXPECT_TRUE(created);
  const TQXLIndexDef* temp = Defs().GetIndexDefByObjectId(id);
  ASSERT_NE(temp, nullptr);
  EXPECT_TRUE(temp->Temporary);
  EXPECT_EQ(temp->Name.rfind("TEMPORARY_INDEX_", 0), 0u);
  EXPECT_EQ(temp->Name.size(), 16u + 38u);
  EXPECT_EQ(temp->SessionID, 0);
  EXPECT_EQ(temp->RootPageNo, 100);  // what the build wrote back
  EXPECT_EQ(Manager().OpenIndexCount(), 0);

  std::int32_t again = Manager().FindOrCreateIndex(&Cursor, {"N", "Name"}, {"DESC", "ASC"}, {"CASE", "CASE"}, created);
  EXPECT_EQ(again, id);
  EXPECT_FALSE(created);
  Manager().DropTemporaryIndexes(0);
  EXPECT_EQ(Defs().Count(), 3);
}

TEST_F(IndexManagerTest, AFailedBuildLeavesNoDefinition) {
  Table->Indexes.Log.FailCreate = true;
  bool created = false;
  EXPECT_THROW(Manager().FindOrCreateIndex(&Cursor, {"N"}, {"DESC"}, {"CASE"}, created), std::runtime_error);
  EXPECT_EQ(Defs().Count(), 3);
  TQXLBaseIndexManager bare(Table, nullptr, nullptr);
  TQXLIndexDef def;
  def.Name = "X";
  EXPECT_EQ(NativeCodeOf([&] { bare.CreateIndex(&Cursor, def); }), 10433);
  EXPECT_EQ(bare.IndexDefs().Count(), 0);
}

TEST_F(IndexManagerTest, LaggingTemporaryIndexesAreRebuiltOnce) {
  bool created = false;
  Manager().FindOrCreateIndex(&Cursor, {"N"}, {"DESC"}, {"CASE"}, created);
  Insert({nullptr, nullptr, nullptr});  // moves every definition and the table together
  bool changed = true;
  Manager().SynchronizeTemporaryIndexes(&Cursor, changed);
  EXPECT_FALSE(changed);
  // A change that did not pass through here (another process, a rollback).
  TQXLPageItemID id = Cursor.CurrentRecordID;
  Table->Records()->DeleteRecord(0, id);
  Manager().SynchronizeTemporaryIndexes(&Cursor, changed);
  EXPECT_TRUE(changed);
  EXPECT_EQ(Table->Indexes.Log.Rebuilds, 1);
  Manager().SynchronizeTemporaryIndexes(&Cursor, changed);
  EXPECT_FALSE(changed);
  EXPECT_EQ(Table->Indexes.Log.Rebuilds, 1);
}

TEST_F(IndexManagerTest, NavigationFromAVanishedRecordAsksForTheClosest) {
  std::int32_t n = 5;
  const TQXLPageItemID kept = Insert({nullptr, nullptr, &n});
  TQXLPageItemID gone = Insert({nullptr, nullptr, &n});
  Table->Records()->DeleteRecord(0, gone);
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(Cursor.FRecordSize));
  TQXLNavigationInfo nav;
  nav.GetRecordMode = grmNext;
  nav.IndexID = ID(2);
  nav.RecordBuffer = buffer.data();
  nav.RecordID = gone;
  Manager().GetRecordBuffer(0, nav, nullptr, 0);
  nav.RecordID = kept;
  Manager().GetRecordBuffer(0, nav, nullptr, 0);
  nav.RecordID = gone;
  nav.FirstPosition = true;
  Manager().GetRecordBuffer(0, nav, nullptr, 0);
  EXPECT_EQ(Count("Closest I3"), 1);
  EXPECT_EQ(Count("Step I3"), 2);
}

TEST_F(IndexManagerTest, RenameFieldTouchesOnlyEqualNames) {
  Defs().GetIndexDef(0)->GetIndexColumn(0).FieldName = "NAME";
  Manager().RenameField("Name", "Title");
  EXPECT_EQ(Defs().GetIndexDef(0)->GetIndexColumn(0).FieldName, "Title");
  EXPECT_EQ(Defs().GetIndexDef(1)->GetIndexColumn(0).FieldName, "Names");
}
