// A record change of a memory or temporary table is whole or not at all: an
// index that fails after it changed its pages leaves neither the record nor
// the index entry behind. A memory table refuses changes inside a transaction
// of its session, which no rollback could take back.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/containers/QXLMemoryManager.h"
#include "engine/storage/btree/QXLBTreeRecordIndex.h"
#include "engine/storage/memory/QXLMemoryDatabaseData.h"
#include "engine/storage/memory/QXLMemoryTableData.h"
#include "engine/storage/temporary/QXLTemporaryDatabaseData.h"
#include "tests/support/CursorFields.h"
#include "tests/support/EngineErrors.h"
#include "tests/support/FakeCursor.h"
#include "tests/support/FakeIndex.h"
#include "tests/support/FakeSession.h"
#include "tests/support/TestFieldDefs.h"

using namespace qxl;

namespace qxl {
namespace {

// The B-tree record index, failing after its own work on the records'
// changes while Fail is set.
class TFailingIndex : public TQXLBTreeRecordIndex {
public:
  TFailingIndex(TQXLBaseIndexManager* Manager, const bool& Fail) : TQXLBTreeRecordIndex(Manager), FFail(Fail) {}
  void InsertRecord(TQXLCursor* Cursor) override {
    TQXLBTreeRecordIndex::InsertRecord(Cursor);
    if (FFail) throw EQXLException(20310, "Index page is damaged. PageNo=%d", {0});
  }
  void UpdateRecord(TQXLCursor* Cursor, bool Before) override {
    TQXLBTreeRecordIndex::UpdateRecord(Cursor, Before);
    if (FFail && !Before) throw EQXLException(20310, "Index page is damaged. PageNo=%d", {0});
  }

private:
  const bool& FFail;
};

class OwnBufferCursor : public FakeCursor {
public:
  using FakeCursor::FakeCursor;
  ~OwnBufferCursor() override {
    if (FCurrentRecordBuffer) QXLMemoryManager().FreeAndNillMem(FCurrentRecordBuffer);
  }
};

// One table "Rows" with an integer "ID" indexed by "ByID", in the database D
// made with the factory below, opened through one cursor of one session.
template <typename TDatabase>
class VolatileTableTest : public ::testing::Test {
protected:
  VolatileTableTest() : Database(&Factory) {
    Factory.Make = [this](TQXLBaseIndexManager* Manager) { return std::make_unique<TFailingIndex>(Manager, Fail); };
  }
  void SetUp() override {
    Database.ConnectSession(&Session);
    Cursor.FSession = &Session;
    TQXLFieldDefs Fields;
    AddField(Fields, "ID", aftInteger);
    TQXLIndexDefs Indexes;
    Indexes.AddCreated()->AssignByNames({"ID"}, {"ASC"}, {"CASE"});
    Indexes.GetIndexDef(0)->Name = "ByID";
    TQXLConstraintDefs Constraints;
    Table = Database.FindOrCreateTableData(&Cursor);
    Table->CreateTable(&Cursor, Fields, Indexes, Constraints);
    Table->OpenTable(&Cursor);
    ShowEveryTableField(Cursor, Table->FieldManager()->FieldDefs());
    Cursor.FIndexDefs = std::make_unique<TQXLIndexDefs>();
    Cursor.FIndexDefs->Assign(Table->IndexManager()->IndexDefs());
    Table->InitCursorRecordSize(&Cursor);
    Cursor.FRecordBufferSize = Cursor.FRecordSize;
    Cursor.FCurrentRecordBuffer = Cursor.AllocateRecordBuffer();
  }
  void TearDown() override {
    Table->CloseTable(&Cursor);
    Database.DisconnectSession(&Session);
  }

  bool Insert(std::int32_t Id) {
    Cursor.InternalInitRecord(Cursor.FCurrentRecordBuffer, true);
    Cursor.SetFieldData(0, &Id, Cursor.FCurrentRecordBuffer);
    TQXLCursor* C = &Cursor;
    return Table->InsertRecord(C);
  }

  // The IDs in physical order (Index "") or in the order of ByID.
  std::vector<std::int32_t> Walk(const std::string& Index) {
    Cursor.SetIndexName(Index);
    Cursor.FIndexPositionCache = std::make_unique<TQXLIndexPositionCache>();
    Cursor.FirstPosition = true;
    Cursor.LastPosition = false;
    std::vector<std::int32_t> Ids;
    while (Table->GetRecordBuffer(&Cursor, grmNext) == grrOK) {
      std::int32_t Id = -1;
      Cursor.GetFieldData(0, &Id, Cursor.FCurrentRecordBuffer);
      Ids.push_back(Id);
    }
    Cursor.SetIndexName("");
    return Ids;
  }

  bool Fail = false;
  FakeIndexFactory Factory;
  TDatabase Database;
  FakeSession Session;
  OwnBufferCursor Cursor{"Rows"};
  TQXLTableData* Table = nullptr;
};

using MemoryTableChangeTest = VolatileTableTest<TQXLMemoryDatabaseData>;
using TemporaryTableChangeTest = VolatileTableTest<TQXLTemporaryDatabaseData>;

TEST_F(MemoryTableChangeTest, AnInsertWhoseIndexFailsLeavesNeitherRecordNorEntry) {
  ASSERT_TRUE(Insert(2));
  ASSERT_TRUE(Insert(1));
  Fail = true;
  EXPECT_EQ(NativeCodeOf([&] { Insert(3); }), 20310);
  Fail = false;
  EXPECT_EQ(Table->RecordManager()->RecordCount(), 2);
  EXPECT_EQ(Walk(""), (std::vector<std::int32_t>{2, 1}));
  EXPECT_EQ(Walk("ByID"), (std::vector<std::int32_t>{1, 2}));
  ASSERT_TRUE(Insert(0));
  EXPECT_EQ(Walk("ByID"), (std::vector<std::int32_t>{0, 1, 2}));
}

TEST_F(MemoryTableChangeTest, AnUpdateWhoseIndexFailsKeepsTheRecordAndItsEntry) {
  ASSERT_TRUE(Insert(1));
  ASSERT_TRUE(Insert(5));  // the cursor stays on it
  // The stored form, as an edit keeps it for the indexes to find the old key.
  Cursor.FEditRecordBuffer = Cursor.AllocateRecordBuffer();
  std::memcpy(Cursor.FEditRecordBuffer, Cursor.FCurrentRecordBuffer, static_cast<std::size_t>(Cursor.FRecordBufferSize));
  const std::int32_t NewId = 0;
  Cursor.SetFieldData(0, &NewId, Cursor.FCurrentRecordBuffer);
  Fail = true;
  EXPECT_EQ(NativeCodeOf([&] { Table->UpdateRecord(&Cursor); }), 20310);
  Fail = false;
  EXPECT_EQ(Walk(""), (std::vector<std::int32_t>{1, 5}));
  EXPECT_EQ(Walk("ByID"), (std::vector<std::int32_t>{1, 5}));
}

TEST_F(MemoryTableChangeTest, ChangesInsideATransactionAreRefusedAndChangeNothing) {
  ASSERT_TRUE(Insert(1));
  Session.FInTransaction = true;
  EXPECT_EQ(NativeCodeOf([&] { Insert(2); }), 20182);
  ASSERT_EQ(Walk(""), (std::vector<std::int32_t>{1}));
  EXPECT_EQ(NativeCodeOf([&] { Table->UpdateRecord(&Cursor); }), 20182);
  EXPECT_EQ(NativeCodeOf([&] { Table->DeleteRecord(&Cursor); }), 20182);
  EXPECT_EQ(NativeCodeOf([&] { Table->EmptyTable(&Cursor); }), 20182);
  EXPECT_EQ(Walk("ByID"), (std::vector<std::int32_t>{1}));
  Session.FInTransaction = false;
  ASSERT_TRUE(Insert(2));
  EXPECT_EQ(Walk("ByID"), (std::vector<std::int32_t>{1, 2}));
}

TEST_F(TemporaryTableChangeTest, AnInsertWhoseIndexFailsLeavesNeitherRecordNorEntry) {
  ASSERT_TRUE(Insert(2));
  Fail = true;
  EXPECT_EQ(NativeCodeOf([&] { Insert(1); }), 20310);
  Fail = false;
  EXPECT_EQ(Table->RecordManager()->RecordCount(), 1);
  EXPECT_EQ(Walk(""), (std::vector<std::int32_t>{2}));
  EXPECT_EQ(Walk("ByID"), (std::vector<std::int32_t>{2}));
  // A temporary table is no transaction's: its changes stand inside one.
  Session.FInTransaction = true;
  ASSERT_TRUE(Insert(0));
  Session.FInTransaction = false;
  EXPECT_EQ(Walk(""), (std::vector<std::int32_t>{2, 0}));
  EXPECT_EQ(Walk("ByID"), (std::vector<std::int32_t>{0, 2}));
}

}  // namespace
}  // namespace qxl
