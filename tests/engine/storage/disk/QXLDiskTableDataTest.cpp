// Tables of a database file: created, opened, read back after the file was
// closed and reopened, renamed, emptied and deleted; exclusive access against
// other cursors of the process and against other users of the file.
#include <algorithm>

#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/blobs/QXLDiskBlobManager.h"
#include "engine/storage/files/QXLInternalDBTransactedAccessFile.h"
#include "engine/storage/locks/QXLTableLocksFile.h"
#include "engine/storage/records/QXLDiskRecordManager.h"
#include "tests/engine/storage/disk/DiskTableFixture.h"

using namespace qxl;

namespace qxl::disktable {
namespace {

std::vector<std::string> Tables(DiskUser& User) {
  std::vector<std::string> Names;
  User.Database->GetTablesList(Names);
  return Names;
}

bool PageUsed(DiskUser& User, std::int32_t PageNo) {
  return User.Database->DiskPageManager()->FreeSpaceManager()->GetPageUsageFromPFS(PageNo);
}

class DiskTableDataTest : public TwoUsersNotesFixture {};

TEST_F(DiskTableDataTest, StoredRecordsAndValuesComeBackAfterTheFileIsReopened) {
  const std::string Long(20000, 'x');
  {
    TQXLDiskTableData Table(A->Database.get());
    DiskCursor C("Notes");
    Open(Table, C, *A);
    ASSERT_TRUE(Insert(Table, C, 1, "first"));
    ASSERT_TRUE(Insert(Table, C, 2));
    ASSERT_TRUE(Insert(Table, C, 3, Long));
    Close(Table, C);
  }
  Reconnect(true);
  TQXLDiskTableData Table(A->Database.get());
  DiskCursor C("Notes");
  Open(Table, C, *A);
  EXPECT_EQ(Table.InternalGetRecordCount(&C), 3);
  EXPECT_EQ(Walk(Table, C), (std::vector<std::string>{"1:first", "2:<NULL>", "3:" + Long}));
  EXPECT_EQ(Table.FieldManager()->FieldDefs().Count(), 2);
  EXPECT_EQ(Table.FieldManager()->FieldDefs().GetDef(MemoField)->BLOBBlockSize, 16);
  Close(Table, C);
}

TEST_F(DiskTableDataTest, ATableWithoutFieldsIsRefusedAndLeavesNothing) {
  DiskCursor C("Empty");
  C.FSession = &A->Session;
  TQXLDiskTableData Creator(A->Database.get());
  TQXLFieldDefs NoFields;
  TQXLIndexDefs Indexes;
  TQXLConstraintDefs Constraints;
  const std::int32_t PagesBefore = A->Database->DiskPageManager()->GetPageCount();
  EXPECT_EQ(NativeCodeOf([&] { Creator.CreateTable(&C, NoFields, Indexes, Constraints); }), 20128);
  EXPECT_EQ(Tables(*A), (std::vector<std::string>{"Notes"}));
  EXPECT_EQ(A->Database->DiskPageManager()->GetPageCount(), PagesBefore);
}

TEST_F(DiskTableDataTest, AFailedCreationIsCancelledWhole) {
  // The table list refuses a second table of the same name only after the
  // table's files and managers were written: none of it may stay.
  const std::int32_t PagesBefore = A->Database->DiskPageManager()->GetPageCount();
  std::vector<std::int32_t> UsedBefore;
  for (std::int32_t p = 1; p < PagesBefore; ++p) UsedBefore.push_back(PageUsed(*A, p));
  EXPECT_EQ(NativeCodeOf([&] { CreateNotes(*A); }), 30395);
  EXPECT_EQ(Tables(*A), (std::vector<std::string>{"Notes"}));
  std::vector<std::int32_t> UsedAfter;
  for (std::int32_t p = 1; p < PagesBefore; ++p) UsedAfter.push_back(PageUsed(*A, p));
  EXPECT_EQ(UsedAfter, UsedBefore);
  for (std::int32_t p = PagesBefore; p < A->Database->DiskPageManager()->GetPageCount(); ++p)
    EXPECT_FALSE(PageUsed(*A, p)) << "page " << p;
}

TEST_F(DiskTableDataTest, CursorsOfOneProcessShareTheOpenTable) {
  TQXLDiskTableData Table(A->Database.get());
  DiskCursor C1("Notes"), C2("Notes");
  Open(Table, C1, *A);
  const TQXLBaseFieldManager* Fields = Table.FieldManager();
  Open(Table, C2, *A);
  EXPECT_EQ(Table.FieldManager(), Fields) << "the second cursor joins the managers the first one built";
  EXPECT_EQ(Table.CursorList().size(), 2u);
  Close(Table, C1);
  EXPECT_NE(Table.TableLocksFile(), nullptr);
  Close(Table, C2);
  EXPECT_EQ(Table.FieldManager(), nullptr);
  EXPECT_EQ(Table.TableLocksFile(), nullptr);
}

// Who holds the table, and what an open of this process then gets.
struct TExclusiveCase {
  const char* Name;
  bool HolderIsOtherProcess;
  bool HolderExclusive;
  bool OpenExclusive;
  std::int32_t Code;
};

class ExclusiveOpen : public DiskTableDataTest, public ::testing::WithParamInterface<TExclusiveCase> {};

TEST_P(ExclusiveOpen, IsRefusedWithTheCodeOfTheConflict) {
  const TExclusiveCase& Case = GetParam();
  DiskUser& Holder = Case.HolderIsOtherProcess ? *B : *A;
  TQXLDiskTableData HolderTable(Holder.Database.get());
  TQXLDiskTableData OtherTable(A->Database.get());
  TQXLDiskTableData& Table = Case.HolderIsOtherProcess ? OtherTable : HolderTable;
  DiskCursor Held("Notes"), C("Notes");
  Open(HolderTable, Held, Holder, Case.HolderExclusive);
  C.FSession = &A->Session;
  C.FExclusive = Case.OpenExclusive;
  Table.SetTableName("Notes");
  EXPECT_EQ(NativeCodeOf([&] { Table.OpenTable(&C); }), Case.Code);
  EXPECT_EQ(std::count(Table.CursorList().begin(), Table.CursorList().end(), &C), 0) << "a refused cursor is not kept";
  EXPECT_FALSE(C.FTableLockedByCursor);
  Close(HolderTable, Held);
  // Once the holder is gone the same open succeeds.
  Table.OpenTable(&C);
  Table.CloseTable(&C);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExclusiveOpen,
    ::testing::Values(TExclusiveCase{"SameProcessSharedThenExclusive", false, false, true, 20242},
                      TExclusiveCase{"OtherProcessSharedThenExclusive", true, false, true, 20208},
                      TExclusiveCase{"OtherProcessExclusiveThenShared", true, true, false, 20209},
                      TExclusiveCase{"OtherProcessExclusiveThenExclusive", true, true, true, 20208}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(DiskTableDataTest, DeletingRemovesTheTableItsPagesAndItsFilesAtOnce) {
  std::vector<std::int32_t> TablePages;
  {
    TQXLDiskTableData Table(A->Database.get());
    DiskCursor C("Notes");
    Open(Table, C, *A);
    for (std::int32_t Id = 1; Id <= 3; ++Id) ASSERT_TRUE(Insert(Table, C, Id, std::string(5000, 'a' + Id)));
    TablePages = {Table.TableLocksFile()->StartPageNo(), Table.TableMetadataFile()->StartPageNo(),
                  Table.TableMostUpdatedFile()->StartPageNo(),
                  Table.DiskRecordManager()->RecordPageIndex().RootPageNo(),
                  Table.BlobManager()->BlobPageIndex().RootPageNo()};
    std::int32_t RecordPage = -1;
    ASSERT_TRUE(Table.DiskRecordManager()->RecordPageIndex().GetFirstRecordPage(C.SessionID(), RecordPage));
    TablePages.push_back(RecordPage);
    Close(Table, C);
  }
  for (std::int32_t p : TablePages) ASSERT_TRUE(PageUsed(*A, p)) << "page " << p;
  TQXLDiskTableData Deleter(A->Database.get());
  Deleter.SetTableName("Notes");
  DiskCursor C("Notes");
  C.FSession = &A->Session;
  Deleter.DeleteTable(&C, false);
  EXPECT_FALSE(C.FExclusive) << "the cursor's own setting comes back";
  EXPECT_TRUE(Tables(*B).empty()) << "another process sees the deletion committed";
  for (std::int32_t p : TablePages) EXPECT_FALSE(PageUsed(*B, p)) << "page " << p;
}

TEST_F(DiskTableDataTest, ATableInUseElsewhereIsNeitherDeletedNorRenamed) {
  TQXLDiskTableData Other(B->Database.get());
  DiskCursor Held("Notes");
  Open(Other, Held, *B);
  ASSERT_TRUE(Insert(Other, Held, 7, "kept"));

  TQXLDiskTableData Deleter(A->Database.get());
  Deleter.SetTableName("Notes");
  DiskCursor C("Notes");
  C.FSession = &A->Session;
  EXPECT_EQ(NativeCodeOf([&] { Deleter.DeleteTable(&C, false); }), 20208);
  EXPECT_EQ(Tables(*A), (std::vector<std::string>{"Notes"})) << "a refused deletion keeps the table listed";
  TQXLDiskTableData Renamer(A->Database.get());
  Renamer.SetTableName("Notes");
  EXPECT_EQ(NativeCodeOf([&] { Renamer.RenameTable("Memos", &C); }), 20208);
  EXPECT_EQ(Tables(*A), (std::vector<std::string>{"Notes"}));
  EXPECT_FALSE(C.FExclusive);

  // Nothing of the table was touched: its holder goes on, and after it the
  // table opens with its record.
  EXPECT_EQ(Walk(Other, Held), (std::vector<std::string>{"7:kept"}));
  Close(Other, Held);
  TQXLDiskTableData Table(A->Database.get());
  DiskCursor Reader("Notes");
  Open(Table, Reader, *A);
  EXPECT_EQ(Walk(Table, Reader), (std::vector<std::string>{"7:kept"}));
  Close(Table, Reader);
}

TEST_F(DiskTableDataTest, RenamingMovesTheTableToItsNewName) {
  {
    TQXLDiskTableData Table(A->Database.get());
    DiskCursor C("Notes");
    Open(Table, C, *A);
    ASSERT_TRUE(Insert(Table, C, 1, "one"));
    Close(Table, C);
  }
  TQXLDiskTableData Renamer(A->Database.get());
  Renamer.SetTableName("Notes");
  DiskCursor C("Notes");
  C.FSession = &A->Session;
  Renamer.RenameTable("Memos", &C);
  EXPECT_EQ(Renamer.TableName(), "Notes") << "the object keeps its name; the caller frees it";
  EXPECT_EQ(Tables(*B), (std::vector<std::string>{"Memos"}));
  TQXLDiskTableData Table(B->Database.get());
  Table.SetTableName("Memos");
  DiskCursor Reader("Memos");
  Open(Table, Reader, *B);
  EXPECT_EQ(Walk(Table, Reader), (std::vector<std::string>{"1:one"}));
  Close(Table, Reader);
}

TEST_F(DiskTableDataTest, EmptyingDropsRecordsAndValuesAndKeepsTheTableUsable) {
  std::int32_t StateBefore = 0;
  {
    TQXLDiskTableData Table(A->Database.get());
    DiskCursor C("Notes");
    Open(Table, C, *A);
    for (std::int32_t Id = 1; Id <= 3; ++Id) ASSERT_TRUE(Insert(Table, C, Id, std::string(3000, 'm')));
    StateBefore = Table.LastUsedTableState();
    Close(Table, C);
  }
  TQXLDiskTableData Emptier(A->Database.get());
  DiskCursor E("Notes");
  E.FSession = &A->Session;
  Emptier.SetTableName("Notes");
  Emptier.EmptyTable(&E);
  EXPECT_FALSE(E.FExclusive);
  EXPECT_TRUE(Emptier.CursorList().empty());

  TQXLDiskTableData Table(B->Database.get());
  DiskCursor C("Notes");
  Open(Table, C, *B);
  EXPECT_EQ(Table.InternalGetRecordCount(&C), 0);
  EXPECT_GT(Table.LastUsedTableState(), StateBefore) << "the state goes on after an empty";
  EXPECT_TRUE(Walk(Table, C).empty());
  ASSERT_TRUE(Insert(Table, C, 9, "again"));
  EXPECT_EQ(Walk(Table, C), (std::vector<std::string>{"9:again"}));
  Close(Table, C);
}

TEST_F(DiskTableDataTest, RenamedFieldsAreStoredInTheMetadata) {
  {
    TQXLDiskTableData Table(A->Database.get());
    DiskCursor C("Notes");
    Open(Table, C, *A);
    Table.RenameField("Memo", "Text");
    Close(Table, C);
  }
  TQXLDiskTableData Table(B->Database.get());
  DiskCursor C("Notes");
  Open(Table, C, *B);
  EXPECT_EQ(Table.FieldManager()->FieldDefs().GetDef(MemoField)->Name, "Text");
  Close(Table, C);
}

TEST_F(DiskTableDataTest, ASingleUserTableWorksWithoutTableLocks) {
  Reconnect(false);
  {
    TQXLDiskTableData Table(A->Database.get());
    DiskCursor C("Notes");
    Open(Table, C, *A, true);
    for (std::int32_t Id = 1; Id <= 3; ++Id) ASSERT_TRUE(Insert(Table, C, Id, "s" + std::to_string(Id)));
    ASSERT_TRUE(MoveTo(Table, C, 2));
    ASSERT_TRUE(DeleteCurrent(Table, C));
    Close(Table, C);
  }
  Reconnect(false);
  TQXLDiskTableData Table(A->Database.get());
  DiskCursor C("Notes");
  Open(Table, C, *A);
  EXPECT_EQ(Table.InternalGetRecordCount(&C), 2);
  EXPECT_EQ(Walk(Table, C), (std::vector<std::string>{"1:s1", "3:s3"}));
  Close(Table, C);
}

TEST_F(DiskTableDataTest, SingleUserLocksAreGrantedWithoutTheLocksFile) {
  Reconnect(false);
  // Nothing is open, so any touch of the locks file would raise.
  TQXLDiskTableData Table(A->Database.get());
  Table.SetTableName("Notes");
  const TQXLPageItemID Record{5, 1};
  EXPECT_TRUE(Table.LockTable(0, ltX, 1, 1, false));
  EXPECT_TRUE(Table.UnlockTable(0, ltX, false));
  EXPECT_TRUE(Table.LockRecord(0, Record, 1, 1));
  EXPECT_FALSE(Table.IsRecordLocked(0, Record));
  EXPECT_TRUE(Table.UnlockRecord(0, Record));
}

}  // namespace
}  // namespace disktable
