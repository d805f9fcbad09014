// Memory tables: creation and its errors, record changes with the cursor's
// position and record bitmap, record numbers, and the in-memory database.
#include <gtest/gtest.h>

#include "tests/engine/storage/memory/MemoryTableFixture.h"

using namespace qxl;

namespace qxl {
namespace {

using MemoryTable = MemoryTableFixture;

TEST_F(MemoryTable, DeletingTheLastRecordHidesItAndKeepsItsPredecessorVisible) {
  // A delete that moved the caller's identity to the prior record made the
  // table hide the live predecessor and leave the deleted record shown.
  for (std::int32_t id : {10, 11, 12}) Insert(id);
  TQXLRecordBitmap& bitmap = ShowAll(Cursor);
  Fetch(2);
  ASSERT_TRUE(Delete(Cursor));
  EXPECT_FALSE(bitmap.IsRecordVisible(TQXLPageItemID{2, 0}));
  EXPECT_TRUE(bitmap.IsRecordVisible(TQXLPageItemID{1, 0}));
  EXPECT_TRUE(bitmap.IsRecordVisible(TQXLPageItemID{0, 0}));
  EXPECT_EQ(bitmap.GetRecordCount(), 2);
  EXPECT_FALSE(bitmap.Outdated());
  EXPECT_EQ(+Cursor.CurrentRecordID.PageNo, 1);
  EXPECT_FALSE(Cursor.FirstPosition);
}

TEST_F(MemoryTable, DeleteMovesTheCursorToTheSuccessorElseThePredecessorElseTheStart) {
  for (std::int32_t id : {10, 11, 12}) Insert(id);
  Fetch(1);
  ASSERT_TRUE(Delete(Cursor));
  EXPECT_EQ(+Cursor.CurrentRecordID.PageNo, 2);
  ASSERT_TRUE(Delete(Cursor));
  EXPECT_EQ(+Cursor.CurrentRecordID.PageNo, 0);
  ASSERT_TRUE(Delete(Cursor));
  EXPECT_TRUE(Cursor.FirstPosition);
  EXPECT_FALSE(Cursor.LastPosition);
  EXPECT_EQ(Table->InternalGetRecordCount(&Cursor), 0);
  EXPECT_EQ(+Insert(13).PageNo, 0);
}

TEST_F(MemoryTable, AnEditOfARecordAnotherCursorDeletedIsRefused) {
  MemoryCursor other("Notes");
  Open(other);
  for (std::int32_t id : {10, 11, 12}) Insert(id);
  Fetch(1, other);
  Fetch(1);
  ASSERT_TRUE(Delete(Cursor));
  const std::int32_t changed = 99;
  other.SetFieldData(IdField, &changed, other.FCurrentRecordBuffer);
  EXPECT_FALSE(Update(other));
  EXPECT_EQ(Table->InternalGetRecordCount(&Cursor), 2);
  EXPECT_EQ(Records().StoredRecord(1), nullptr);
  Table->CloseTable(&other);
}

TEST_F(MemoryTable, RecordNumbersWithGapsAndTheBitmapSpan) {
  for (std::int32_t id = 0; id < 10; ++id) Insert(id);
  for (std::int32_t p : {3, 7, 9}) {
    Fetch(p);
    ASSERT_TRUE(Delete(Cursor));
  }
  // Bits are numbered by position: the span reaches the last record, not the record count.
  EXPECT_EQ(Table->GetRecordBitmapSize(0), 9);
  EXPECT_EQ(Table->InternalGetRecordCount(&Cursor), 7);
  Table->InternalSetRecNo(&Cursor, 4);
  EXPECT_EQ(+Cursor.CurrentRecordID.PageNo, 4);
  EXPECT_EQ(Table->InternalGetRecNo(&Cursor), 4);
  Table->InternalSetRecNo(&Cursor, 7);
  EXPECT_EQ(+Cursor.CurrentRecordID.PageNo, 8);
  Table->InternalSetRecNo(&Cursor, 0);
  EXPECT_EQ(+Cursor.CurrentRecordID.PageNo, 8);
  Table->InternalSetRecNo(&Cursor, 8);
  EXPECT_EQ(+Cursor.CurrentRecordID.PageNo, 8);
  EXPECT_EQ(Table->RecordIDToBitNo(TQXLPageItemID{8, 0}), 8);
  EXPECT_EQ(+Table->BitNoToRecordID(8).PageNo, 8);
}

TEST_F(MemoryTable, EmptyTableForgetsRecordsAndStartsAgainAtPositionZero) {
  for (std::int32_t id : {1, 2, 3}) {
    Insert(id);
    WriteMemo("memo " + std::to_string(id));
    ASSERT_TRUE(Update(Cursor));
  }
  EXPECT_EQ(Table->BlobBlocks().Count(), 3u);
  Table->EmptyTable(&Cursor);
  EXPECT_EQ(Table->InternalGetRecordCount(&Cursor), 0);
  EXPECT_EQ(Table->BlobBlocks().Count(), 0u);
  EXPECT_EQ(+Insert(4).PageNo, 0);
}

TEST_F(MemoryTable, OperationsWithoutRecordManagerOrBufferAndBadDefinitions) {
  MemoryCursor bare("Bare");
  TQXLTableData* empty = Database.CreateTableData(&bare);
  TQXLCursor* c = &bare;
  EXPECT_EQ(NativeCodeOf([&] { empty->InsertRecord(c); }), 10010);
  EXPECT_EQ(NativeCodeOf([&] { empty->DeleteRecord(c); }), 10013);
  EXPECT_EQ(NativeCodeOf([&] { empty->UpdateRecord(c); }), 10014);
  EXPECT_EQ(NativeCodeOf([&] { empty->InternalGetRecordCount(c); }), 10009);
  EXPECT_EQ(NativeCodeOf([&] { empty->InternalGetRecNo(c); }), 10033);
  EXPECT_EQ(NativeCodeOf([&] { empty->InternalSetRecNo(c, 1); }), 10074);

  TQXLFieldDefs noFields;
  TQXLIndexDefs indexes;
  TQXLConstraintDefs constraints;
  EXPECT_EQ(NativeCodeOf([&] { empty->CreateTable(&bare, noFields, indexes, constraints); }), 10025);
  TQXLFieldDefs fields;
  AddField(fields, "ID", aftInteger);
  constraints.AddNotNull()->ConstraintType = ctFK;
  EXPECT_EQ(NativeCodeOf([&] { empty->CreateTable(&bare, fields, indexes, constraints); }), 30040);

  std::uint8_t* buffer = Cursor.FCurrentRecordBuffer;
  Cursor.FCurrentRecordBuffer = nullptr;
  c = &Cursor;
  EXPECT_EQ(NativeCodeOf([&] { Table->InsertRecord(c); }), 10018);
  EXPECT_EQ(NativeCodeOf([&] { Table->UpdateRecord(c); }), 10017);
  Cursor.FCurrentRecordBuffer = buffer;
}

TEST(MemoryDatabase, NameSessionsObjectIdsAndTables) {
  TQXLMemoryDatabaseData db;
  EXPECT_EQ(db.DatabaseName(), "MEMORY");
  EXPECT_EQ(db.PageManager(), nullptr);
  FakeSession s;
  s.FSessionID = 5;
  db.ConnectSession(&s);
  EXPECT_EQ(s.FSessionID, 0);
  const std::int32_t first = db.GetNewObjectId();
  EXPECT_EQ(db.GetNewObjectId(), first + 1);
  MemoryCursor a("A"), b("b");
  TQXLTableData* ta = db.CreateTableData(&a);
  db.CreateTableData(&b);
  EXPECT_EQ(ta->TableName(), "A");
  EXPECT_EQ(db.TableDataCount(), 2);
  MemoryCursor again("a");
  EXPECT_EQ(db.FindTableData(&again), ta);
  ta->DeleteTable(nullptr, false);
  EXPECT_EQ(db.TableDataCount(), 1);
  db.DisconnectSession(&s);
}

}  // namespace
}  // namespace qxl
