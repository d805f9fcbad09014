// The disk database data with tables: the table data objects it makes for
// cursors, and transactions over a table between two processes: nothing of a
// transaction is seen elsewhere before its commit, all of it after, and
// nothing after its rollback.
#include "engine/storage/disk/QXLDiskDatabaseData.h"

#include "engine/storage/locks/QXLDatabaseTableLockManager.h"
#include "tests/engine/storage/disk/DiskTableFixture.h"

using namespace qxl;

namespace qxl::disktable {
namespace {

class DiskDatabaseTablesTest : public TwoUsersNotesFixture {
protected:
  // The table data of Notes in User's database, made or found through a cursor.
  static TQXLDiskTableData& Notes(DiskUser& User) {
    DiskCursor Probe("Notes");
    return dynamic_cast<TQXLDiskTableData&>(*User.Database->FindOrCreateTableData(&Probe));
  }
  // The IDs of Notes as User reads them now.
  static std::vector<std::string> Rows(DiskUser& User) {
    TQXLDiskTableData& Table = Notes(User);
    DiskCursor C("Notes");
    Open(Table, C, User);
    std::vector<std::string> Seen = Walk(Table, C);
    Close(Table, C);
    return Seen;
  }
  // Starts a transaction of A's session on Notes and inserts the IDs in it,
  // holding XIRW as the cursors of a transaction do.
  void InsertInTransaction(DiskCursor& C, std::initializer_list<std::int32_t> Ids) {
    TQXLDiskTableData& Table = Notes(*A);
    A->Session.FInTransaction = true;
    Open(Table, C, *A);
    ASSERT_TRUE(Table.LockTable(C.SessionID(), ltXIRW, 1, 1, false));
    for (std::int32_t Id : Ids) ASSERT_TRUE(Insert(Table, C, Id));
  }
};

}  // namespace

TEST_F(DiskDatabaseTablesTest, CursorsOfATableShareOneTableDataNamedAfterIt) {
  DiskCursor First("Notes"), Upper("NOTES");
  TQXLTableData* Made = A->Database->FindOrCreateTableData(&First);
  ASSERT_NE(dynamic_cast<TQXLDiskTableData*>(Made), nullptr);
  EXPECT_EQ(Made->TableName(), "Notes");
  EXPECT_EQ(A->Database->FindOrCreateTableData(&Upper), Made);
  EXPECT_EQ(A->Database->TableDataCount(), 1);
  EXPECT_EQ(B->Database->TableDataCount(), 0);
}

TEST_F(DiskDatabaseTablesTest, TransactionIsSeenByOthersOnlyOnceCommitted) {
  DiskCursor C("Notes");
  InsertInTransaction(C, {1, 2, 3});
  EXPECT_TRUE(Rows(*B).empty());
  A->Database->Commit(C.SessionID(), true);
  A->Session.FInTransaction = false;
  EXPECT_EQ(Rows(*B), (std::vector<std::string>{"1:<NULL>", "2:<NULL>", "3:<NULL>"}));
  // The cursor's own IS stays; the transaction's locks are gone.
  for (const TQXLTableLockItem& Item : A->Database->TableLockManager()->SessionLocks(C.SessionID()).Items())
    EXPECT_TRUE(Item.LockType != ltXIRW && Item.LockType != ltRW) << int(Item.LockType);
  Close(Notes(*A), C);
}

TEST_F(DiskDatabaseTablesTest, RolledBackTransactionLeavesNothing) {
  DiskCursor C("Notes");
  InsertInTransaction(C, {1, 2});
  A->Database->Rollback(C.SessionID());
  A->Session.FInTransaction = false;
  EXPECT_TRUE(Rows(*B).empty());
  EXPECT_TRUE(Rows(*A).empty());
  // The table goes on: a later change commits as usual.
  ASSERT_TRUE(Insert(Notes(*A), C, 7));
  EXPECT_EQ(Rows(*B), std::vector<std::string>{"7:<NULL>"});
  Close(Notes(*A), C);
}

TEST_F(DiskDatabaseTablesTest, TablesGetBTreeIndexesThatOutliveTheFilesClosing) {
  DiskCursor C("Keyed");
  C.FSession = &A->Session;
  TQXLFieldDefs Fields;
  AddField(Fields, "ID", aftInteger);
  TQXLIndexDefs Indexes;
  TQXLIndexDef* ById = Indexes.AddCreated();
  ById->Name = "ByID";
  ById->AssignByNames({"ID"}, {"ASC"}, {"CASE"});
  ById->Unique = true;
  TQXLConstraintDefs Constraints;
  auto& Creator = dynamic_cast<TQXLDiskTableData&>(*A->Database->FindOrCreateTableData(&C));
  Creator.CreateTable(&C, Fields, Indexes, Constraints);
  Creator.CloseTable(&C);
  A->Database->FreeTableData(&Creator);
  {
    auto& Table = dynamic_cast<TQXLDiskTableData&>(*A->Database->FindOrCreateTableData(&C));
    Open(Table, C, *A);
    ASSERT_TRUE(Insert(Table, C, 1));
    ASSERT_TRUE(Insert(Table, C, 3));
    Close(Table, C);
  }
  Disconnect(*A);
  A = Connect(true);
  auto& Table = dynamic_cast<TQXLDiskTableData&>(*A->Database->FindOrCreateTableData(&C));
  Open(Table, C, *A);
  ASSERT_EQ(Table.IndexManager()->IndexDefs().Count(), 1);
  TQXLIndex* Index = Table.IndexManager()->OpenIndex(Table.IndexManager()->IndexDefs().GetDef(0)->ObjectID);
  ASSERT_NE(dynamic_cast<qxl::TQXLBTreeRecordIndex*>(Index), nullptr);
  // The stored index knows the stored keys.
  for (const auto& [Id, Free] : std::vector<std::pair<std::int32_t, bool>>{{1, false}, {2, true}, {3, false}}) {
    C.InternalInitRecord(C.FCurrentRecordBuffer, true);
    C.SetFieldData(IdField, &Id, C.FCurrentRecordBuffer);
    EXPECT_EQ(Index->CanInsertRecord(C.SessionID(), C.FCurrentRecordBuffer), Free) << Id;
  }
  Close(Table, C);
}

}  // namespace disktable
