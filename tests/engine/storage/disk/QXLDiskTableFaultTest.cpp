// A record change of a disk table that fails part way (the file refuses to
// grow, a write fails, another process holds the header lock) leaves nothing
// behind: in the same session and after a reopen the records, every index and
// the stored count agree with the changes reported done. A process that dies
// at any write of an insert leaves the table whole before or after it, or a
// file that reports that it needs repair.
#include <cerrno>
#include <cstring>
#include <map>

#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/btree/QXLBTreeRecordPageIndex.h"
#include "engine/storage/records/QXLDiskRecordManager.h"
#include "tests/engine/storage/disk/DiskTableFixture.h"
#include "tests/support/FaultyFileSystem.h"

using namespace qxl;

namespace qxl::disktable {
namespace {

using platform::test::FaultyFileSystem;

constexpr std::int32_t CodeField = 1;
constexpr std::int32_t TaskMemoField = 2;
// Small pages fill after a few dozen rows, so that splits come early.
constexpr std::int32_t SmallPageSize = 512;

// What one table shows through one session.
struct TCounts {
  std::size_t Physical = 0, ByID = 0, ByCode = 0;
  std::int64_t Stored = 0;
  bool Agree(std::size_t Rows) const {
    return Physical == Rows && ByID == Rows && ByCode == Rows && Stored == static_cast<std::int64_t>(Rows);
  }
};

std::ostream& operator<<(std::ostream& Out, const TCounts& C) {
  return Out << "physical " << C.Physical << ", by ID " << C.ByID << ", by code " << C.ByCode << ", stored "
             << C.Stored;
}

// How the change is made to fail.
enum class TFault { NoRoom, WriteError, HeaderLockedElsewhere };

class DiskTableFaultTest : public DiskTableFixture {
protected:
  void SetUp() override {
    TQXLDiskDatabaseData Creator;
    Creator.SetDatabaseName(FileName());
    Creator.SetPageSize(SmallPageSize);
    Creator.CreateDatabase();
    auto User = Connect(true);
    TQXLFieldDefs Fields;
    AddField(Fields, "ID", aftInteger);
    AddField(Fields, "Code", aftInteger);
    AddCompressedBlob(Fields, "Memo", 16);
    TQXLIndexDefs Indexes;
    Indexes.AddCreated()->AssignByNames({"ID"}, {"ASC"}, {"CASE"});
    Indexes.GetIndexDef(0)->Name = "ByID";
    Indexes.AddCreated()->AssignByNames({"Code"}, {"DESC"}, {"CASE"});
    Indexes.GetIndexDef(1)->Name = "ByCode";
    CreateTable(*User, "Tasks", Fields, Indexes);
    Disconnect(*User);
  }

  // A user of the file whose handle goes through Faulty.
  std::unique_ptr<DiskUser> ConnectFaulty() {
    auto User = std::make_unique<DiskUser>();
    User->Database = std::make_unique<TQXLDiskDatabaseData>(Faulty);
    User->Database->SetDatabaseName(FileName());
    User->Session.FMultiUser = true;
    User->Database->ConnectSession(&User->Session);
    return User;
  }

  // Stores task Id (code 1000 - Id) with Memo ("" for none) through C; a
  // quiet insert leaves the table lock to whatever state the process is in.
  static bool InsertTask(TQXLDiskTableData& Table, DiskCursor& C, std::int32_t Id, const std::string& Memo = "",
                         bool Quiet = false) {
    C.InternalInitRecord(C.FCurrentRecordBuffer, true);
    C.SetFieldData(IdField, &Id, C.FCurrentRecordBuffer);
    const std::int32_t Code = 1000 - Id;
    C.SetFieldData(CodeField, &Code, C.FCurrentRecordBuffer);
    if (!Memo.empty()) {
      std::unique_ptr<TQXLStream> s = Table.InternalCreateBlobStream(&C, false, TaskMemoField, bomWrite);
      s->Write(Memo.data(), static_cast<std::int32_t>(Memo.size()));
      s->SetModified(true);
      Table.WriteBLOBFieldToRecordBuffer(&C, TaskMemoField, *s);
    }
    if (!Quiet) return InsertCurrent(Table, C);
    Table.LockTable(C.SessionID(), ltRW, 1, 1, false);
    Table.LoadMostUpdated(C.SessionID());
    TQXLCursor* Changing = &C;
    const bool Done = Table.InsertRecord(Changing);
    Table.UnlockTable(C.SessionID(), ltRW, false);
    return Done;
  }

  static std::size_t RowsBy(TQXLDiskTableData& Table, DiskCursor& C, const std::string& Index) {
    C.SetIndexName(Index);
    std::size_t Rows = 0;
    C.FirstPosition = true;
    C.LastPosition = false;
    while (Table.GetRecordBuffer(&C, grmNext) == grrOK) {
      ++Rows;
      Table.ClearBlobsCacheInRecordBuffer(C.FCurrentRecordBuffer);
    }
    C.SetIndexName("");
    return Rows;
  }

  static TCounts CountsOf(TQXLDiskTableData& Table, DiskCursor& C) {
    TCounts Counts;
    Counts.Physical = RowsBy(Table, C, "");
    Counts.ByID = RowsBy(Table, C, "ByID");
    Counts.ByCode = RowsBy(Table, C, "ByCode");
    Counts.Stored = Table.InternalGetRecordCount(&C);
    return Counts;
  }

  static bool RootIsLeaf(TQXLDiskTableData& Table, DiskCursor& C, const std::string& Index) {
    TQXLDiskPageManager& M = *static_cast<TQXLDiskDatabaseData*>(Table.DatabaseData())->DiskPageManager();
    // The page's data begins with IsRoot and IsLeaf.
    TQXLPage* Root = M.GetPage(C.SessionID(), Table.IndexManager()->IndexDefs().GetIndexDefByName(Index)->RootPageNo,
                               ptAny, true);
    const bool Leaf = Root->PageData()[1] != 0;
    M.PutPage(Root);
    return Leaf;
  }

  static std::int32_t RecordPageCount(TQXLDiskTableData& Table, DiskCursor& C) {
    qxl::TQXLBTreeRecordPageIndex& Index = Table.DiskRecordManager()->RecordPageIndex();
    qxl::TQXLKeyPath Path;
    std::int32_t Pages = 0;
    for (bool More = Index.GotoFirst(C.SessionID(), Path); More; More = Index.GotoNext(C.SessionID(), Path)) ++Pages;
    return Pages;
  }

  // Inserts rows 1, 2, ... until the indexes have split and the records
  // need a second page, keeping the file as it was before each row.
  void Fill() {
    auto User = Connect(true);
    TQXLDiskTableData Table(User->Database.get());
    DiskCursor C("Tasks");
    Open(Table, C, *User);
    for (std::int32_t Row = 1; Row <= 500 && (SplitRow == 0 || PageRow == 0); ++Row) {
      Snapshots[Row] = ReadWholeFile(FileName());
      ASSERT_TRUE(InsertTask(Table, C, Row));
      if (SplitRow == 0 && !RootIsLeaf(Table, C, "ByID")) SplitRow = Row;
      if (PageRow == 0 && RecordPageCount(Table, C) > 1) PageRow = Row;
    }
    Close(Table, C);
    Disconnect(*User);
    ASSERT_GT(SplitRow, 0);
    ASSERT_GT(PageRow, 1);
    // The cases below need the two boundaries apart.
    ASSERT_NE(SplitRow, PageRow);
    ASSERT_NE(SplitRow, PageRow - 1);
  }

  // The commit mark the file holds now.
  std::int32_t StoredWriteState() const {
    const std::vector<std::uint8_t> File = ReadWholeFile(FileName());
    TQXLDBHeader Header{};
    std::memcpy(&Header, File.data(), sizeof Header);
    return Header.WriteChangesState;
  }

  // The counts after a reopen through the real file system; false when the
  // file reports that it needs repair.
  bool ReopenedCounts(TCounts& Counts) {
    auto User = Connect(true);
    const bool Repair = User->Session.FRepairNeeded;
    if (!Repair) {
      TQXLDiskTableData Table(User->Database.get());
      DiskCursor C("Tasks");
      Open(Table, C, *User);
      Counts = CountsOf(Table, C);
      Close(Table, C);
    }
    Disconnect(*User);
    return !Repair;
  }

  // Runs the insert of row Row (with Memo) on the file as it was before that
  // row, with Fault armed from the file's write Write on (or the header lock
  // held by another user); then checks the table in the same session, inserts
  // one more row with the fault gone, and checks again after a reopen. A
  // commit cut short after its first header write has marked the file for
  // repair and written part of the row: the session then shows the row or
  // not, but whole. False once the insert needed fewer writes than Write, so
  // that nothing failed.
  bool FailInsert(TFault Fault, int Write, std::int32_t Row, const std::string& Memo) {
    WriteWholeFile(FileName(), Snapshots.at(Row));
    std::size_t Expected = static_cast<std::size_t>(Row - 1);
    bool FaultHit = false;
    {
      auto User = ConnectFaulty();
      std::unique_ptr<DiskUser> Other;
      {
        TQXLDiskTableData Table(User->Database.get());
        DiskCursor C("Tasks");
        Open(Table, C, *User);
        const int Start = Faulty.Writes();
        if (Fault == TFault::HeaderLockedElsewhere) {
          Other = Connect(true);
          EXPECT_TRUE(Other->Database->DiskPageManager()->LockDBHeader());
        } else {
          Faulty.FailWrite(Write, Fault == TFault::NoRoom ? ENOSPC : EIO, -1);
        }
        bool Done = false;
        try {
          Done = InsertTask(Table, C, Row, Memo);
        } catch (const std::exception&) {
        }
        if (Other) {
          EXPECT_TRUE(Other->Database->DiskPageManager()->UnlockDBHeader());
          FaultHit = !Done;
        } else {
          FaultHit = Faulty.Writes() - Start >= Write;
          Faulty.FailWrite(1, 0);
        }
        if (Done) ++Expected;
        const bool CommitCut = StoredWriteState() != QXLWriteChangesDone;
        const TCounts Now = CountsOf(Table, C);
        if (CommitCut && !Done && Now.Agree(Expected + 1)) ++Expected;
        EXPECT_TRUE(Now.Agree(Expected)) << Now << "; expected " << Expected;
        EXPECT_TRUE(InsertTask(Table, C, 10000, "after"));
        const TCounts Later = CountsOf(Table, C);
        EXPECT_TRUE(Later.Agree(Expected + 1)) << Later << "; expected " << Expected + 1;
        Close(Table, C);
      }
      if (Other) Disconnect(*Other);
      Disconnect(*User);
    }
    TCounts Reopened;
    if (ReopenedCounts(Reopened)) {
      EXPECT_TRUE(Reopened.Agree(Expected + 1)) << Reopened << "; expected " << Expected + 1;
    }
    return FaultHit;
  }

  // Fails the insert of Row at each of its writes in turn, until one run
  // needs no more writes than those that went through.
  void FailAtEveryWrite(TFault Fault, std::int32_t Row, const std::string& Memo) {
    int Runs = 0;
    for (int Write = 1; Write < 200; ++Write) {
      SCOPED_TRACE("failing from write " + std::to_string(Write));
      ++Runs;
      if (!FailInsert(Fault, Write, Row, Memo)) break;
    }
    EXPECT_GT(Runs, 3) << "the insert wrote less than the test needs";
  }

  // Declared first so that it outlives the database objects on it.
  FaultyFileSystem Faulty;
  // The file before each row was inserted.
  std::map<std::int32_t, std::vector<std::uint8_t>> Snapshots;
  // The row that turned the first index's root into a node, and the row
  // that needed a second record page.
  std::int32_t SplitRow = 0, PageRow = 0;
};

const std::string LongMemo(700, 'm');

TEST_F(DiskTableFaultTest, AnInsertRefusedByAFullDiskAtAnIndexSplitLeavesNothingForTheNextCommit) {
  Fill();
  WriteWholeFile(FileName(), Snapshots.at(SplitRow));
  {
    auto User = ConnectFaulty();
    TQXLDiskTableData Table(User->Database.get());
    DiskCursor C("Tasks");
    Open(Table, C, *User);
    // Every write fails as on a full disk: the split cannot take a page.
    Faulty.FailWrite(1, ENOSPC, -1);
    EXPECT_ANY_THROW(InsertTask(Table, C, SplitRow));
    Faulty.FailWrite(1, 0);
    EXPECT_TRUE(RootIsLeaf(Table, C, "ByID")) << "the failed split was taken back";
    const TCounts Now = CountsOf(Table, C);
    EXPECT_TRUE(Now.Agree(static_cast<std::size_t>(SplitRow - 1))) << Now;
    ASSERT_TRUE(InsertTask(Table, C, SplitRow + 1000));
    Close(Table, C);
    Disconnect(*User);
  }
  TCounts Reopened;
  ASSERT_TRUE(ReopenedCounts(Reopened));
  EXPECT_TRUE(Reopened.Agree(static_cast<std::size_t>(SplitRow))) << Reopened;
}

TEST_F(DiskTableFaultTest, AFailedWriteAtAnyPointOfAnInsertLeavesTheRecordsIndexesAndCountInStep) {
  Fill();
  struct TCase {
    const char* Where;
    std::int32_t Row;
    std::string Memo;
  };
  for (const TCase& Case : {TCase{"index split", SplitRow, ""}, TCase{"record page and BLOB pages", PageRow, LongMemo}})
    for (TFault Fault : {TFault::NoRoom, TFault::WriteError}) {
      SCOPED_TRACE(std::string(Case.Where) + (Fault == TFault::NoRoom ? ", no room" : ", write error"));
      FailAtEveryWrite(Fault, Case.Row, Case.Memo);
    }
}

// The header lock is needed by the first page an insert adds, or else by its
// commit: a row that splits the indexes, a new record page, BLOB pages, or
// none of these, where only the counters and the commit are left.
TEST_F(DiskTableFaultTest, AnInsertMeetingTheHeaderLockOfAnotherUserLeavesNothingBehind) {
  Fill();
  struct TCase {
    const char* Where;
    std::int32_t Row;
    std::string Memo;
  };
  for (const TCase& Case : {TCase{"index split", SplitRow, ""}, TCase{"record page", PageRow, ""},
                            TCase{"BLOB pages", PageRow - 1, LongMemo}, TCase{"commit", PageRow - 1, ""}}) {
    SCOPED_TRACE(Case.Where);
    EXPECT_TRUE(FailInsert(TFault::HeaderLockedElsewhere, 0, Case.Row, Case.Memo));
  }
}

TEST_F(DiskTableFaultTest, AProcessThatDiesAtAnyWriteOfAnInsertLeavesTheTableWholeOrAskingForRepair) {
  Fill();
  const std::int32_t Row = SplitRow;
  int Total = 0;
  for (int Write = 1; Write < 200; ++Write) {
    SCOPED_TRACE("dies after write " + std::to_string(Write));
    WriteWholeFile(FileName(), Snapshots.at(Row));
    bool Died = false;
    {
      FaultyFileSystem Files;
      auto User = std::make_unique<DiskUser>();
      User->Database = std::make_unique<TQXLDiskDatabaseData>(Files);
      User->Database->SetDatabaseName(FileName());
      User->Session.FMultiUser = true;
      User->Database->ConnectSession(&User->Session);
      auto Table = std::make_unique<TQXLDiskTableData>(User->Database.get());
      DiskCursor C("Tasks");
      Open(*Table, C, *User);
      const int Start = Files.Writes();
      Files.CrashAfterWrite(Write);
      try {
        InsertTask(*Table, C, Row, LongMemo, true);
      } catch (const std::exception&) {
      }
      Died = Files.Crashed();
      Total = Files.Writes() - Start;
      // What a dead process leaves behind is let go without a word.
      try {
        Close(*Table, C);
      } catch (const std::exception&) {
      }
      Table.reset();
      try {
        Disconnect(*User);
      } catch (const std::exception&) {
      }
      User.reset();
    }
    TCounts Reopened;
    if (ReopenedCounts(Reopened)) {
      EXPECT_TRUE(Reopened.Agree(static_cast<std::size_t>(Row - 1)) || Reopened.Agree(static_cast<std::size_t>(Row)))
          << Reopened;
    }
    if (!Died) break;
  }
  EXPECT_GT(Total, 3);
}

}  // namespace
}  // namespace disktable
