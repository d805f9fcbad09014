// The shared table: refusals while cursors have it open, tables without
// fields, renaming fields into the indexes, indexes with their constraints,
// temporary indexes on demand with the session's page changes, emptying and
// rollback.
#include <gtest/gtest.h>

#include "engine/core/abstract/QXLFormEditorMode.h"
#include "tests/engine/core/abstract/AbstractTableFixture.h"
#include "tests/support/FakePageManager.h"

using namespace qxl;

namespace {

class TableDataTest : public AbstractTableFixture {
protected:
  void SetUp() override {
    AddField("Id", aftAutoInc).AutoincInitialValue = 10;
    AddField("Name", aftString, 10);
    AddIndex("ByName", {"NAME"});
  }
  TQXLIndexDefs& IndexDefsOfTable() { return Table->IndexManager()->IndexDefs(); }
  TQXLConstraintDefs& ConstraintsOfTable() { return Table->ConstraintManager()->ConstraintDefs(); }
};

}  // namespace

TEST_F(TableDataTest, OpenTablesCannotBeDeletedOrRenamed) {
  Create();
  EXPECT_NO_THROW(Table->DeleteTable(&Cursor, true));
  EXPECT_EQ(MessageOf([&] { Table->DeleteTable(&Cursor, false); }),
            "Cannot delete table 'Tasks'. Table is open by another dataset - Native error: 20017");
  FakeCursor other("Tasks");
  EXPECT_EQ(NativeCodeOf([&] { Table->RenameTable("New", &other); }), 10150);
  Table->CloseTable(&Cursor);
  EXPECT_TRUE(Table->CursorList().empty());
  Table->RenameTable("New", nullptr);
  EXPECT_EQ(Table->TableName(), "New");
  EXPECT_NO_THROW(Table->DeleteTable(nullptr, false));
}

TEST_F(TableDataTest, ATableWithoutFieldsOnlyInTheFormEditor) {
  Fields.Clear();
  Indexes.Clear();
  Cursor.FSession = &Session;
  Table = static_cast<FakeTableData*>(Database.FindOrCreateTableData(&Cursor));
  Table->CreateFieldManager(Fields);
  EXPECT_EQ(NativeCodeOf([&] { Table->GetRecordBufferSize(); }), 10131);
  FormEditorMode = true;
  EXPECT_EQ(Table->GetRecordBufferSize(), 0);
  Cursor.FFieldValuesOffset = 9;
  Table->InitCursorRecordSize(&Cursor);
  FormEditorMode = false;
  EXPECT_EQ(Cursor.FFieldValuesOffset, 0);
  EXPECT_EQ(Cursor.FRecordSize, 0);
}

TEST_F(TableDataTest, DefinitionsGetFreshObjectIds) {
  Create();
  const TQXLFieldDefs& fields = Table->FieldManager()->FieldDefs();
  EXPECT_EQ(fields.GetDef(0)->ObjectID, 1000);
  EXPECT_EQ(fields.GetDef(1)->ObjectID, 1001);
  EXPECT_EQ(IndexDefsOfTable().GetIndexDef(0)->ObjectID, 1002);
  EXPECT_EQ(Table->FieldManager()->LastAutoIncValues()[0], 10);
  EXPECT_EQ(Cursor.FFieldValuesOffset, 1);
  EXPECT_EQ(Cursor.FRecordSize, fields.GetMemoryRecordBufferSize());
}

TEST_F(TableDataTest, RenameFieldReachesTheIndexColumnsAndRefusesTakenNames) {
  Create();
  Table->RenameField("name", "Title");
  EXPECT_EQ(Table->FieldManager()->FieldDefs().GetDef(1)->Name, "Title");
  EXPECT_EQ(IndexDefsOfTable().GetIndexDef(0)->GetIndexColumn(0).FieldName, "Title");
  EXPECT_EQ(NativeCodeOf([&] { Table->RenameField("Name", "X"); }), 30343);
  EXPECT_EQ(MessageOf([&] { Table->RenameField("Title", "ID"); }),
            "Cannot rename field 'Title'. Field 'ID' already exists - Native error: 30344");
  EXPECT_EQ(Table->FieldManager()->FieldDefs().GetDef(1)->Name, "Title");
}

TEST_F(TableDataTest, PrimaryIndexesBringTheirConstraintExceptForTemporaryCursors) {
  Create();
  Cursor.CurrentRecordID = {3, 3};
  TQXLIndexDef pk;
  pk.Name = "PK";
  pk.Primary = pk.Unique = true;
  pk.AssignByNames({"Id"}, {"ASC"}, {"CASE"});
  Table->AddIndex(pk, &Cursor);
  EXPECT_EQ(Cursor.CurrentRecordID, (TQXLPageItemID{3, 3}));  // position restored
  ASSERT_EQ(ConstraintsOfTable().Count(), 1);
  EXPECT_EQ(ConstraintsOfTable().GetDef(0)->Name, "C_PK$Id");
  EXPECT_EQ(static_cast<TQXLConstraintDefUnique*>(ConstraintsOfTable().GetDef(0))->Columns[0].ColumnObjectID, 1000);

  TQXLIndexDef plain;
  plain.Name = "Plain";
  plain.AssignByNames({"Id"}, {"DESC"}, {"CASE"});
  Table->AddIndex(plain, &Cursor);
  EXPECT_EQ(ConstraintsOfTable().Count(), 1);
  Table->DeleteIndex(plain.ObjectID, &Cursor);
  EXPECT_EQ(ConstraintsOfTable().Count(), 1);
  Table->DeleteIndex(pk.ObjectID, &Cursor);
  EXPECT_EQ(ConstraintsOfTable().Count(), 0);

  Cursor.FTemporary = true;
  TQXLIndexDef pk2;
  pk2.Name = "PK2";
  pk2.Primary = true;
  pk2.AssignByNames({"Id"}, {"ASC"}, {"CASE"});
  Table->AddIndex(pk2, &Cursor);
  EXPECT_EQ(ConstraintsOfTable().Count(), 0);
  Table->DeleteAllIndexes(&Cursor);
  EXPECT_EQ(IndexDefsOfTable().Count(), 0);
}

TEST_F(TableDataTest, FindOrCreateIndexAppliesOrCancelsTheSessionsPages) {
  Create();
  FakePageManager pages;
  Table->SetPageManager(&pages);
  bool created = true;
  EXPECT_EQ(Table->FindOrCreateIndex(&Cursor, {"Name"}, {"ASC"}, {"CASE"}, created), "ByName");
  EXPECT_FALSE(created);
  const std::string temp = Table->FindOrCreateIndex(&Cursor, {"Id"}, {"DESC"}, {"CASE"}, created);
  EXPECT_TRUE(created);
  EXPECT_EQ(temp.rfind("TEMPORARY_INDEX_", 0), 0u);
  EXPECT_EQ(pages.Applied, (std::vector<std::int32_t>{0, 0}));
  EXPECT_TRUE(Table->IndexExists(&Cursor, {"Id"}, {"DESC"}, {"CASE"}));

  Table->Indexes.Log.FailCreate = true;
  EXPECT_THROW(Table->FindOrCreateIndex(&Cursor, {"Name"}, {"DESC"}, {"CASE"}, created), std::runtime_error);
  EXPECT_EQ(pages.Cancelled, std::vector<std::int32_t>{0});
  Session.FInTransaction = true;
  EXPECT_THROW(Table->FindOrCreateIndex(&Cursor, {"Name"}, {"DESC"}, {"CASE"}, created), std::runtime_error);
  EXPECT_EQ(pages.Cancelled, std::vector<std::int32_t>{0});
}

TEST_F(TableDataTest, EmptyTableResetsCountersAndEmptiesIndexes) {
  Create();
  Table->FieldManager()->IncrementAutoinc(0);
  Table->EmptyTable(nullptr);
  EXPECT_EQ(Table->FieldManager()->LastAutoIncValues()[0], 10);
  EXPECT_EQ(Table->Indexes.Log.Calls.back(), "Empty ByName");
}

TEST_F(TableDataTest, OnlyTheFourStoredConstraintKindsAreAccepted) {
  Create();
  TQXLConstraintDefs defs;
  defs.AddNotNull()->ColumnName = "Id";
  defs.AddDef(std::make_unique<TQXLConstraintDef>(ctFK));
  EXPECT_EQ(NativeCodeOf([&] { Table->CreateConstraintManager(defs); }), 30058);
  EXPECT_NE(defs.GetDef(1)->ObjectID, -1);  // the IDs were given first
}

TEST_F(TableDataTest, RollbackRebuildsTheSessionsLaggingTemporaryIndexes) {
  Create();
  bool created = false;
  Table->FindOrCreateIndex(&Cursor, {"Id"}, {"DESC"}, {"CASE"}, created);
  TQXLPageItemID id{};
  std::vector<std::uint8_t> r(static_cast<std::size_t>(Cursor.FRecordSize), 0);
  Table->Records()->AddRecord(0, r.data(), id);  // a change that bypassed the indexes
  Table->Rollback(5);
  EXPECT_EQ(Table->Indexes.Log.Rebuilds, 0);
  Database.Rollback(0);
  EXPECT_EQ(Table->Indexes.Log.Rebuilds, 1);
}
