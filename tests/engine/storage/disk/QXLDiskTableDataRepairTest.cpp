// What a disk table does when things go wrong or are unusual: counters that
// do not match the record pages are rebuilt by a repairing open; an insert
// the record store refuses keeps its cause and changes neither the counters
// nor the file; definitions the engine cannot store are refused before
// anything is written; indexes added and dropped reach the metadata.
#include <cerrno>
#include <cstring>

#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/files/QXLInternalDBTransactedAccessFile.h"
#include "engine/storage/records/QXLDiskRecordManager.h"
#include "tests/engine/storage/disk/DiskTableFixture.h"
#include "tests/support/FakeIndex.h"
#include "tests/support/FaultyFileSystem.h"

using namespace qxl;

namespace qxl::disktable {
namespace {

class DiskTableRepairTest : public DiskTableFixture {
protected:
  void SetUp() override {
    CreateDatabaseFile();
    A = Connect(true);
    CreateNotes(*A);
  }
  void TearDown() override { Disconnect(*A); }

  std::vector<std::string> TablesOf(DiskUser& User) {
    std::vector<std::string> Names;
    User.Database->GetTablesList(Names);
    return Names;
  }

  // Opens "Notes" in a new table object, runs Body, closes it.
  template <typename F>
  void WithNotes(F Body, bool Repairing = false, TQXLIndexFactory* Factory = nullptr) {
    TQXLDiskTableData Table(A->Database.get(), Factory);
    Table.SetIsRepairing(Repairing);
    DiskCursor C("Notes");
    Open(Table, C, *A);
    Body(Table, C);
    Close(Table, C);
  }

  // Declared first so that it outlives the database objects on it.
  platform::test::FaultyFileSystem Faulty;
  std::unique_ptr<DiskUser> A;
};

TEST_F(DiskTableRepairTest, ARepairingOpenRebuildsCountersThatDoNotMatchThePages) {
  WithNotes([](TQXLDiskTableData& Table, DiskCursor& C) {
    for (std::int32_t Id = 1; Id <= 3; ++Id) ASSERT_TRUE(Insert(Table, C, Id, "v"));
    // The stored record count, the four bytes of the counters before the
    // definitions' version at their end, becomes 99.
    TQXLInternalDBTransactedAccessFile& File = *Table.TableMostUpdatedFile();
    std::vector<std::uint8_t> Bytes = File.ReadContent(QXLSystemSessionID, true);
    const std::uint32_t Wrong = 99;
    std::memcpy(Bytes.data() + Bytes.size() - 8, &Wrong, 4);
    File.WriteFile(QXLSystemSessionID, Bytes.data(), static_cast<std::int32_t>(Bytes.size()), acaNone, 0);
    Table.ApplyChanges(QXLSystemSessionID, false);
  });
  WithNotes([](TQXLDiskTableData& Table, DiskCursor& C) {
    EXPECT_EQ(Table.InternalGetRecordCount(&C), 99) << "an ordinary open takes the counters as stored";
  });
  WithNotes(
      [](TQXLDiskTableData& Table, DiskCursor& C) {
        EXPECT_EQ(Table.InternalGetRecordCount(&C), 3);
        EXPECT_EQ(Walk(Table, C), (std::vector<std::string>{"1:v", "2:v", "3:v"}));
      },
      true);
  WithNotes([](TQXLDiskTableData& Table, DiskCursor& C) {
    EXPECT_EQ(Table.InternalGetRecordCount(&C), 3) << "the repair was stored";
    ASSERT_TRUE(Insert(Table, C, 4));
    EXPECT_EQ(Table.InternalGetRecordCount(&C), 4);
  });
}

TEST_F(DiskTableRepairTest, ARepairingOpenLeavesASoundTableAsItIs) {
  WithNotes([](TQXLDiskTableData& Table, DiskCursor& C) { ASSERT_TRUE(Insert(Table, C, 1)); });
  std::int32_t PagesBefore = A->Database->DiskPageManager()->GetPageCount();
  WithNotes([](TQXLDiskTableData& Table, DiskCursor& C) { EXPECT_EQ(Table.InternalGetRecordCount(&C), 1); }, true);
  EXPECT_EQ(A->Database->DiskPageManager()->GetPageCount(), PagesBefore) << "no index was rebuilt";
}

TEST_F(DiskTableRepairTest, ARefusedInsertKeepsItsCauseAndChangesNothing) {
  Disconnect(*A);
  A = std::make_unique<DiskUser>();
  A->Database = std::make_unique<TQXLDiskDatabaseData>(Faulty);
  A->Database->SetDatabaseName(FileName());
  A->Session.FMultiUser = true;
  A->Database->ConnectSession(&A->Session);
  WithNotes([&](TQXLDiskTableData& Table, DiskCursor& C) {
    const std::int32_t State = Table.LastUsedTableState();
    auto CommitState = [&]() -> std::int32_t { return A->Database->DiskPageManager()->DBHeader().State; };
    const std::int32_t Committed = CommitState();
    // The first record needs a new page, which the space map cannot record.
    Faulty.FailWrite(1, EIO, 1000);
    EXPECT_NE(NativeCodeOf([&] { Insert(Table, C, 1); }), 0);
    Faulty.FailWrite(1, 0);
    EXPECT_EQ(Table.LastUsedTableState(), State);
    EXPECT_EQ(Table.RecordManager()->RecordCount(), 0);
    EXPECT_EQ(CommitState(), Committed) << "nothing was committed";
    Table.CancelChanges(C.SessionID(), false);
    ASSERT_TRUE(Insert(Table, C, 2));
    EXPECT_EQ(Walk(Table, C), (std::vector<std::string>{"2:<NULL>"}));
  });
}

TEST_F(DiskTableRepairTest, DefinitionsTheEngineCannotStoreAreRefusedBeforeAnythingIsWritten) {
  const std::int32_t PagesBefore = A->Database->DiskPageManager()->GetPageCount();
  TQXLFieldDefs Fields;
  NotesFields(Fields);
  TQXLConstraintDefs Constraints;
  TQXLConstraintDef* Foreign = Constraints.AddNotNull();
  Foreign->ConstraintType = ctFK;
  TQXLIndexDefs Indexes;
  DiskCursor C("Linked");
  C.FSession = &A->Session;
  TQXLDiskTableData Creator(A->Database.get());
  EXPECT_EQ(NativeCodeOf([&] { Creator.CreateTable(&C, Fields, Indexes, Constraints); }), 30040);
  EXPECT_EQ(TablesOf(*A), (std::vector<std::string>{"Notes"}));
  EXPECT_EQ(A->Database->DiskPageManager()->GetPageCount(), PagesBefore);
}

TEST_F(DiskTableRepairTest, ABlobFieldWithoutBlockSizeHasNoStream) {
  TQXLFieldDefs Fields;
  NotesFields(Fields);
  AddField(Fields, "Raw", aftBlob).BLOBBlockSize = 0;
  CreateTable(*A, "Raw", Fields);
  TQXLDiskTableData Table(A->Database.get());
  DiskCursor C("Raw");
  Open(Table, C, *A);
  ASSERT_TRUE(Insert(Table, C, 1, "memo"));
  for (TQXLBLOBOpenMode Mode : {bomWrite, bomRead, bomReadWrite})
    EXPECT_EQ(NativeCodeOf([&] { Table.InternalCreateBlobStream(&C, false, 2, Mode); }), 20149) << int{Mode};
  Close(Table, C);
}

TEST_F(DiskTableRepairTest, IndexesAddedAndDroppedReachTheMetadata) {
  FakeIndexFactory Factory;
  std::int32_t IndexID = -1;
  WithNotes(
      [&](TQXLDiskTableData& Table, DiskCursor& C) {
        TQXLIndexDefs Defs;
        TQXLIndexDef* Def = Defs.AddCreated();
        Def->Name = "ByID";
        Def->AssignByNames({"ID"}, {"ASC"}, {"CASE"});
        Table.AddIndex(*Def, &C);
        IndexID = Def->ObjectID;
        EXPECT_EQ(NativeCodeOf([&] { Table.DeleteIndex(IndexID + 1000, &C); }), 20018);
      },
      false, &Factory);
  WithNotes(
      [&](TQXLDiskTableData& Table, DiskCursor& C) {
        ASSERT_NE(Table.IndexManager()->IndexDefs().GetIndexDefByName("ByID"), nullptr);
        EXPECT_EQ(Table.IndexManager()->IndexDefs().GetIndexDefByName("ByID")->ObjectID, IndexID);
        Table.DeleteIndex(IndexID, &C);
      },
      false, &Factory);
  WithNotes([&](TQXLDiskTableData& Table, DiskCursor&) { EXPECT_EQ(Table.IndexManager()->IndexDefs().Count(), 0); },
            false, &Factory);
}

}  // namespace
}  // namespace disktable
