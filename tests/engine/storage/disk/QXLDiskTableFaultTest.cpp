// A record change of a disk table that fails part way (an insert, an update
// or a delete; the file refuses to grow, a write fails, another process holds
// the header lock) leaves nothing behind: in the same session and after a
// reopen the records, every index and the stored count agree with the changes
// reported done, and the file's pages are each used once or free (after a
// full disk, that refuses the writes that would give room back, no page is
// owned twice or owned and free). A process that dies
// at any write of an insert leaves the table whole before or after it, or a
// file that reports that it needs repair.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <string>

#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/btree/QXLBTreeRecordPageIndex.h"
#include "engine/storage/records/QXLDiskRecordManager.h"
#include "tests/engine/storage/disk/DiskTableFixture.h"
#include "tests/engine/storage/disk/TableStructureCheck.h"
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

// How the change is made to fail: the file refuses every write from one on
// until the change has returned (a full disk), one write fails, or another
// user is in the middle of its commit (it holds the header lock, and its
// commit mark is on the header).
enum class TFault { NoRoom, WriteError, HeaderLockedElsewhere };

// What each record holds, by ID: its code and its memo ("" for none).
using TRows = std::map<std::int32_t, std::pair<std::int32_t, std::string>>;

// What one table shows through one session: the records in physical order,
// the keys met walking each index, and the stored count.
struct TContents {
  TRows Rows;
  std::vector<std::int32_t> ByID, ByCode;
  std::int64_t Stored = 0;
};

// The indexes list every record once in their order, and the stored count
// is the number of records.
::testing::AssertionResult InStep(const TContents& C) {
  std::vector<std::int32_t> Ids, Codes;
  for (const auto& [Id, Row] : C.Rows) {
    Ids.push_back(Id);
    Codes.push_back(Row.first);
  }
  std::sort(Codes.rbegin(), Codes.rend());
  if (C.ByID != Ids) return ::testing::AssertionFailure() << "the walk by ID differs from the records";
  if (C.ByCode != Codes) return ::testing::AssertionFailure() << "the walk by code differs from the records";
  if (C.Stored != static_cast<std::int64_t>(C.Rows.size()))
    return ::testing::AssertionFailure() << "stored count " << C.Stored << " for " << C.Rows.size() << " records";
  return ::testing::AssertionSuccess();
}

// The records as a line to compare and print: ID, code and a digest of the memo each.
std::string Summary(const TRows& Rows) {
  std::string Line;
  for (const auto& [Id, Row] : Rows)
    Line += std::to_string(Id) + ":" + std::to_string(Row.first) + ":" + std::to_string(Row.second.size()) + "/" +
            std::to_string(std::hash<std::string>{}(Row.second) % 10007) + " ";
  return Line;
}

// The change a run makes: insert row Row, or update or delete record Target,
// on the file as it was before row Row was inserted. An update gives the
// record NewId (code 1000 - NewId) and Memo when not empty.
enum class TKind { Insert, Update, Delete };
struct TChange {
  const char* Where;
  TKind Kind;
  std::int32_t Row;
  std::string Memo;
  std::int32_t Target = 0, NewId = 0;
};

// Text that does not shrink much when compressed, so that it takes BLOB pages.
std::string Noise(std::size_t Size, std::uint32_t Seed) {
  std::string Text(Size, ' ');
  for (char& c : Text) {
    Seed = Seed * 1103515245u + 12345u;
    c = static_cast<char>('!' + (Seed >> 16) % 90);
  }
  return Text;
}

// The rows given memos when the table is filled.
constexpr std::int32_t MemoRows = 3;
std::string FillMemo(std::int32_t Row) { return Row <= MemoRows ? Noise(600, static_cast<std::uint32_t>(Row)) : ""; }

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
  // need a second page, keeping the file as it was before each row and after
  // the last one. The first rows carry memos, for updates and deletes to give
  // back their pages.
  void Fill() {
    auto User = Connect(true);
    TQXLDiskTableData Table(User->Database.get());
    DiskCursor C("Tasks");
    Open(Table, C, *User);
    std::int32_t Row = 1;
    for (; Row <= 500 && (SplitRow == 0 || PageRow == 0); ++Row) {
      Snapshots[Row] = ReadWholeFile(FileName());
      ASSERT_TRUE(InsertTask(Table, C, Row, FillMemo(Row)));
      if (SplitRow == 0 && !RootIsLeaf(Table, C, "ByID")) SplitRow = Row;
      if (PageRow == 0 && RecordPageCount(Table, C) > 1) PageRow = Row;
    }
    Close(Table, C);
    Disconnect(*User);
    Snapshots[Row] = ReadWholeFile(FileName());
    ASSERT_GT(SplitRow, MemoRows);
    ASSERT_GT(PageRow, MemoRows);
    // The cases below need the two boundaries apart.
    ASSERT_NE(SplitRow, PageRow);
    ASSERT_NE(SplitRow, PageRow - 1);
  }

  // The records of the file before row Row was inserted.
  static TRows RowsBefore(std::int32_t Row) {
    TRows Rows;
    for (std::int32_t Id = 1; Id < Row; ++Id) Rows[Id] = {1000 - Id, FillMemo(Id)};
    return Rows;
  }

  // The records once Change is done.
  static TRows RowsAfter(const TChange& Change) {
    TRows Rows = RowsBefore(Change.Row);
    switch (Change.Kind) {
      case TKind::Insert: Rows[Change.Row] = {1000 - Change.Row, Change.Memo}; break;
      case TKind::Update: {
        std::string Memo = Change.Memo.empty() ? Rows.at(Change.Target).second : Change.Memo;
        Rows.erase(Change.Target);
        Rows[Change.NewId] = {1000 - Change.NewId, Memo};
        break;
      }
      case TKind::Delete: Rows.erase(Change.Target); break;
    }
    return Rows;
  }

  static std::vector<std::int32_t> KeysBy(TQXLDiskTableData& Table, DiskCursor& C, const std::string& Index,
                                          std::int32_t Field) {
    C.SetIndexName(Index);
    std::vector<std::int32_t> Keys;
    C.FirstPosition = true;
    C.LastPosition = false;
    while (Table.GetRecordBuffer(&C, grmNext) == grrOK) {
      std::int32_t Key = -1;
      EXPECT_TRUE(C.GetFieldData(Field, &Key, C.FCurrentRecordBuffer));
      Keys.push_back(Key);
      Table.ClearBlobsCacheInRecordBuffer(C.FCurrentRecordBuffer);
    }
    C.SetIndexName("");
    return Keys;
  }

  static std::string TaskMemo(TQXLDiskTableData& Table, DiskCursor& C) {
    if (qxl::GetBitInBuffer(TaskMemoField, C.FCurrentRecordBuffer)) return "";
    std::unique_ptr<TQXLStream> s = Table.InternalCreateBlobStream(&C, false, TaskMemoField, bomRead);
    std::string Text(static_cast<std::size_t>(s->Size()), '\0');
    s->Read(Text.data(), static_cast<std::int32_t>(Text.size()));
    return Text;
  }

  static TContents ContentsOf(TQXLDiskTableData& Table, DiskCursor& C) {
    TContents Contents;
    C.FirstPosition = true;
    C.LastPosition = false;
    while (Table.GetRecordBuffer(&C, grmNext) == grrOK) {
      std::int32_t Id = -1, Code = -1;
      EXPECT_TRUE(C.GetFieldData(IdField, &Id, C.FCurrentRecordBuffer));
      EXPECT_TRUE(C.GetFieldData(CodeField, &Code, C.FCurrentRecordBuffer));
      EXPECT_EQ(Contents.Rows.count(Id), 0u) << "record " << Id << " twice";
      Contents.Rows[Id] = {Code, TaskMemo(Table, C)};
      Table.ClearBlobsCacheInRecordBuffer(C.FCurrentRecordBuffer);
    }
    Contents.ByID = KeysBy(Table, C, "ByID", IdField);
    Contents.ByCode = KeysBy(Table, C, "ByCode", CodeField);
    Contents.Stored = Table.InternalGetRecordCount(&C);
    return Contents;
  }

  // Makes Change through C; the answer of the table's call.
  static bool Make(TQXLDiskTableData& Table, DiskCursor& C, const TChange& Change) {
    switch (Change.Kind) {
      case TKind::Insert: return InsertTask(Table, C, Change.Row, Change.Memo);
      case TKind::Update: {
        const std::int32_t Code = 1000 - Change.NewId;
        C.SetFieldData(IdField, &Change.NewId, C.FCurrentRecordBuffer);
        C.SetFieldData(CodeField, &Code, C.FCurrentRecordBuffer);
        if (!Change.Memo.empty()) {
          std::unique_ptr<TQXLStream> s = Table.InternalCreateBlobStream(&C, false, TaskMemoField, bomWrite);
          s->Write(Change.Memo.data(), static_cast<std::int32_t>(Change.Memo.size()));
          s->SetModified(true);
          Table.WriteBLOBFieldToRecordBuffer(&C, TaskMemoField, *s);
        }
        return UpdateCurrent(Table, C);
      }
      case TKind::Delete: return DeleteCurrent(Table, C);
    }
    return false;
  }

  // The other user writes the header's commit mark under its header lock,
  // as a process in the middle of its commit has it.
  static void MarkHeader(DiskUser& Other, std::uint8_t State) {
    TQXLDiskPageManager& M = *Other.Database->DiskPageManager();
    M.ReadDBHeader();
    M.HeaderInMemory().WriteChangesState = State;
    M.WriteDBHeader(false);
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

  // The same for the contents.
  bool ReopenedContents(TContents& Contents) {
    auto User = Connect(true);
    const bool Repair = User->Session.FRepairNeeded;
    if (!Repair) {
      TQXLDiskTableData Table(User->Database.get());
      DiskCursor C("Tasks");
      Open(Table, C, *User);
      Contents = ContentsOf(Table, C);
      Close(Table, C);
    }
    Disconnect(*User);
    return !Repair;
  }

  // Makes Change on the file as it was before its row, with Fault armed from
  // the file's write Write on (or the header lock held by another user);
  // then checks the table in the same session, inserts one more row with the
  // fault gone, and checks again after a reopen, with the file's structure.
  // A commit cut short after its first header write has marked the file for
  // repair and written part of the change: the session then shows it or not,
  // but whole. False once the change needed fewer writes than Write, so that
  // nothing failed.
  bool FailChange(TFault Fault, int Write, const TChange& Change) {
    WriteWholeFile(FileName(), Snapshots.at(Change.Row));
    const TRows Before = RowsBefore(Change.Row), After = RowsAfter(Change);
    TRows Expected = Before;
    bool FaultHit = false;
    {
      auto User = ConnectFaulty();
      std::unique_ptr<DiskUser> Other;
      {
        TQXLDiskTableData Table(User->Database.get());
        DiskCursor C("Tasks");
        Open(Table, C, *User);
        if (Change.Kind != TKind::Insert) {
          EXPECT_TRUE(MoveTo(Table, C, Change.Target));
          BeginEdit(C);
        }
        const int Start = Faulty.Writes();
        if (Fault == TFault::HeaderLockedElsewhere) {
          Other = Connect(true);
          EXPECT_TRUE(Other->Database->DiskPageManager()->LockDBHeader());
          MarkHeader(*Other, QXLWriteChangesWriting);
        } else {
          if (Fault == TFault::NoRoom)
            Faulty.FailWrite(Write, ENOSPC, -1);
          else
            Faulty.FailWrite(Write, EIO, 1);
        }
        bool Done = false;
        try {
          Done = Make(Table, C, Change);
        } catch (const std::exception&) {
        }
        if (Other) {
          MarkHeader(*Other, QXLWriteChangesDone);
          EXPECT_TRUE(Other->Database->DiskPageManager()->UnlockDBHeader());
          FaultHit = !Done;
        } else {
          FaultHit = Faulty.Writes() - Start >= Write;
          Faulty.FailWrite(1, 0);
        }
        if (Done) Expected = After;
        const bool CommitCut = StoredWriteState() != QXLWriteChangesDone;
        const TContents Now = ContentsOf(Table, C);
        if (CommitCut && !Done && Now.Rows == After) Expected = After;
        EXPECT_TRUE(InStep(Now)) << "in the same session";
        EXPECT_EQ(Summary(Now.Rows), Summary(Expected)) << "in the same session";
        Expected[10000] = {1000 - 10000, "after"};
        EXPECT_TRUE(InsertTask(Table, C, 10000, "after"));
        const TContents Later = ContentsOf(Table, C);
        EXPECT_TRUE(InStep(Later)) << "after the next change";
        EXPECT_EQ(Summary(Later.Rows), Summary(Expected)) << "after the next change";
        Close(Table, C);
      }
      if (Other) Disconnect(*Other);
      Disconnect(*User);
    }
    TContents Reopened;
    if (ReopenedContents(Reopened)) {
      EXPECT_TRUE(InStep(Reopened)) << "after a reopen";
      EXPECT_EQ(Summary(Reopened.Rows), Summary(Expected)) << "after a reopen";
      // A full disk also refuses the writes that would give back the room
      // taken before it filled.
      if (Fault == TFault::NoRoom)
        EXPECT_TRUE(tablecheck::TableFileOwnsNoPageTwice(FileName(), {}));
      else
        EXPECT_TRUE(tablecheck::TableFileIsSound(FileName(), {}));
    }
    return FaultHit;
  }

  // Fails Change at each of its writes in turn, until one run needs no more
  // writes than those that went through.
  void FailAtEveryWrite(TFault Fault, const TChange& Change) {
    int Runs = 0;
    for (int Write = 1; Write < 200; ++Write) {
      SCOPED_TRACE("failing from write " + std::to_string(Write));
      ++Runs;
      if (!FailChange(Fault, Write, Change)) break;
    }
    EXPECT_GT(Runs, 3) << "the change wrote less than the test needs";
  }

  // Declared first so that it outlives the database objects on it.
  FaultyFileSystem Faulty;
  // The file before each row was inserted, and after the last one.
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
      FailAtEveryWrite(Fault, TChange{Case.Where, TKind::Insert, Case.Row, Case.Memo});
    }
}

// An update moves the record's keys in both indexes and writes or gives back
// BLOB pages; a delete takes the keys out, gives back the BLOB pages and may
// leave a record page or an index leaf empty.
TEST_F(DiskTableFaultTest, AFailedWriteAtAnyPointOfAnUpdateOrDeleteLeavesTheRecordsIndexesAndCountInStep) {
  Fill();
  const std::int32_t Full = std::max(SplitRow, PageRow) + 1;
  for (const TChange& Change : {
           TChange{"update: keys moved, a memo added", TKind::Update, PageRow, Noise(700, 7), 5, 20000},
           TChange{"update: a long memo made short", TKind::Update, PageRow, "short", 2, 2},
           TChange{"update: keys moved in a full leaf", TKind::Update, SplitRow, "", 1, 30000},
           TChange{"update: keys moved between split leaves", TKind::Update, SplitRow + 1, "", 1, 30000},
           TChange{"delete: a record with a memo", TKind::Delete, PageRow, "", 1},
           TChange{"delete: the one record of the last page", TKind::Delete, PageRow + 1, "", PageRow},
           TChange{"delete: a key of a split index", TKind::Delete, SplitRow + 1, "", 3},
           TChange{"delete: the last record added", TKind::Delete, Full, "", Full - 1},
       })
    for (TFault Fault : {TFault::NoRoom, TFault::WriteError}) {
      SCOPED_TRACE(std::string(Change.Where) + (Fault == TFault::NoRoom ? ", no room" : ", write error"));
      FailAtEveryWrite(Fault, Change);
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
    EXPECT_TRUE(FailChange(TFault::HeaderLockedElsewhere, 0, TChange{Case.Where, TKind::Insert, Case.Row, Case.Memo}));
  }
}

// An update that writes BLOB pages needs the header lock for them; one that
// writes none, and a delete, need it for the commit.
TEST_F(DiskTableFaultTest, AnUpdateOrDeleteMeetingTheHeaderLockOfAnotherUserLeavesNothingBehind) {
  Fill();
  for (const TChange& Change : {TChange{"update with BLOB pages", TKind::Update, PageRow, Noise(700, 9), 5, 20000},
                                TChange{"update at the commit", TKind::Update, PageRow, "", 6, 20000},
                                TChange{"delete", TKind::Delete, PageRow, "", 1}}) {
    SCOPED_TRACE(Change.Where);
    EXPECT_TRUE(FailChange(TFault::HeaderLockedElsewhere, 0, Change));
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
