// A definition step of a disk table that fails part way (the file refuses
// to grow, a write fails, another process holds the header lock) leaves
// nothing of itself for the next step to commit: after the next definition
// step and the next record change of the same session, and after a reopen,
// the table list, the table's fields and indexes and its records are those of
// before the failed step (or of after it, when it reported success), and
// every page of the file is used once or free (after a full disk, that
// refuses the writes that would give room back, no page is owned twice or
// owned and free).
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>

#include "engine/storage/pager/QXLDiskPageManager.h"
#include "tests/engine/storage/disk/DiskTableFixture.h"
#include "tests/engine/storage/disk/TableStructureCheck.h"
#include "tests/support/FaultyFileSystem.h"

using namespace qxl;

namespace qxl::disktable {
namespace {

using platform::test::FaultyFileSystem;

constexpr std::int32_t CodeField = 1;
constexpr std::int32_t TaskMemoField = 2;
constexpr std::int32_t SmallPageSize = 512;
constexpr std::int32_t Rows = 60;

// The file refuses every write from one on until the step has returned (a
// full disk), one write fails, or another user is in the middle of its
// commit (it holds the header lock, and its commit mark is on the header).
enum class TFault { NoRoom, WriteError, HeaderLockedElsewhere };

// What the file shows of the tables: their names, and for the table that the
// steps change (under its name of the moment) its field names, its index
// names, its records' IDs, the number of records each index leads to, and
// its stored count.
struct TState {
  std::vector<std::string> Tables;
  std::vector<std::string> Fields, Indexes;
  std::vector<std::int32_t> Ids;
  std::map<std::string, std::size_t> ByIndex;
  std::int64_t Stored = -1;
  bool operator==(const TState&) const = default;
};

std::ostream& operator<<(std::ostream& Out, const TState& S) {
  Out << "tables";
  for (const auto& T : S.Tables) Out << " " << T;
  Out << "; fields";
  for (const auto& F : S.Fields) Out << " " << F;
  Out << "; indexes";
  for (const auto& [Index, Count] : S.ByIndex) Out << " " << Index << "(" << Count << ")";
  return Out << "; " << S.Ids.size() << " records, stored " << S.Stored;
}

// One definition step on the table "Tasks", and what the file shows once it
// is done.
struct TStep {
  const char* What;
  std::function<void(DiskUser&)> Run;
  std::function<void(TState&)> Done;
};

class DiskTableDdlFaultTest : public DiskTableFixture {
protected:
  void SetUp() override {
    TQXLDiskDatabaseData Creator;
    Creator.SetDatabaseName(FileName());
    Creator.SetPageSize(SmallPageSize);
    Creator.CreateDatabase();
    auto User = Connect(true);
    for (const char* Name : {"Tasks", "Spare"}) {
      TQXLFieldDefs Fields;
      AddField(Fields, "ID", aftInteger);
      AddField(Fields, "Code", aftInteger);
      AddCompressedBlob(Fields, "Memo", 16);
      TQXLIndexDefs Indexes;
      Indexes.AddCreated()->AssignByNames({"ID"}, {"ASC"}, {"CASE"});
      Indexes.GetIndexDef(0)->Name = "ByID";
      Indexes.AddCreated()->AssignByNames({"Code"}, {"DESC"}, {"CASE"});
      Indexes.GetIndexDef(1)->Name = "ByCode";
      CreateTable(*User, Name, Fields, Indexes);
    }
    {
      TQXLDiskTableData Table(User->Database.get());
      DiskCursor C("Tasks");
      Open(Table, C, *User);
      for (std::int32_t Id = 1; Id <= Rows; ++Id)
        ASSERT_TRUE(InsertTask(Table, C, Id, Id % 10 == 1 ? std::string(900, static_cast<char>('a' + Id % 26)) : ""));
      Close(Table, C);
    }
    Disconnect(*User);
    Snapshot = ReadWholeFile(FileName());
    Before = StateOf(*Connect(true), true);
    ASSERT_EQ(Before.Ids.size(), static_cast<std::size_t>(Rows));
  }

  static bool InsertTask(TQXLDiskTableData& Table, DiskCursor& C, std::int32_t Id, const std::string& Memo = "") {
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
    return InsertCurrent(Table, C);
  }

  std::unique_ptr<DiskUser> ConnectFaulty() {
    auto User = std::make_unique<DiskUser>();
    User->Database = std::make_unique<TQXLDiskDatabaseData>(Faulty);
    User->Database->SetDatabaseName(FileName());
    User->Session.FMultiUser = true;
    User->Database->ConnectSession(&User->Session);
    return User;
  }

  // The state through User; Leave disconnects it afterwards.
  static TState StateOf(DiskUser& User, bool Leave = false) {
    TState S;
    User.Database->GetTablesList(S.Tables);
    std::sort(S.Tables.begin(), S.Tables.end());
    for (const char* Name : {"Tasks", "Jobs"}) {
      if (std::find(S.Tables.begin(), S.Tables.end(), Name) == S.Tables.end()) continue;
      TQXLDiskTableData Table(User.Database.get());
      DiskCursor C(Name);
      Open(Table, C, User);
      const TQXLFieldDefs& Fields = Table.FieldManager()->FieldDefs();
      for (std::int32_t i = 0; i < Fields.Count(); ++i) S.Fields.push_back(Fields.GetDef(i)->Name);
      const TQXLIndexDefs& Indexes = Table.IndexManager()->IndexDefs();
      for (std::int32_t i = 0; i < Indexes.Count(); ++i) S.Indexes.push_back(Indexes.GetIndexDef(i)->Name);
      C.FirstPosition = true;
      C.LastPosition = false;
      while (Table.GetRecordBuffer(&C, grmNext) == grrOK) {
        S.Ids.push_back(IdOf(C));
        Table.ClearBlobsCacheInRecordBuffer(C.FCurrentRecordBuffer);
      }
      std::sort(S.Ids.begin(), S.Ids.end());
      for (const std::string& Index : S.Indexes) {
        C.SetIndexName(Index);
        std::size_t Count = 0;
        C.FirstPosition = true;
        C.LastPosition = false;
        while (Table.GetRecordBuffer(&C, grmNext) == grrOK) {
          ++Count;
          Table.ClearBlobsCacheInRecordBuffer(C.FCurrentRecordBuffer);
        }
        C.SetIndexName("");
        S.ByIndex[Index] = Count;
      }
      S.Stored = Table.InternalGetRecordCount(&C);
      Close(Table, C);
    }
    if (Leave) Disconnect(User);
    return S;
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

  // What the next steps of a session add: a new table, and a record in the
  // changed table when it is still there.
  static void Later(TState& S) {
    S.Tables.push_back("Later");
    std::sort(S.Tables.begin(), S.Tables.end());
    if (S.Fields.empty()) return;
    S.Ids.push_back(5000);
    for (auto& [Index, Count] : S.ByIndex) ++Count;
    ++S.Stored;
  }

  // Runs Step on the file as it was after SetUp with Fault armed from the
  // file's write Write on (or the header lock held by another user); then,
  // with the fault gone, the same session creates a table and inserts a
  // record, and the file is checked after a reopen. False once the step
  // needed fewer writes than Write, so that nothing failed.
  bool FailStep(TFault Fault, int Write, const TStep& Step) {
    WriteWholeFile(FileName(), Snapshot);
    TState After = Before;
    Step.Done(After);
    TState Expected = Before;
    bool FaultHit = false, Done = false;
    {
      auto User = ConnectFaulty();
      std::unique_ptr<DiskUser> Other;
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
      try {
        Step.Run(*User);
        Done = true;
      } catch (const std::exception&) {
      }
      if (Other) {
        MarkHeader(*Other, QXLWriteChangesDone);
        EXPECT_TRUE(Other->Database->DiskPageManager()->UnlockDBHeader());
        Disconnect(*Other);
        FaultHit = !Done;
      } else {
        FaultHit = Faulty.Writes() - Start >= Write;
        Faulty.FailWrite(1, 0);
      }
      if (Done) Expected = After;
      const bool CommitCut = StoredWriteState() != QXLWriteChangesDone;
      TState Now = StateOf(*User);
      // A commit cut short leaves the session with the step done or not, and
      // the file asking for repair.
      if (!Done && (CommitCut || DroppedDespiteError(Step, Now)) && Now == After) Expected = After;
      EXPECT_EQ(Now, Expected) << "in the same session, " << (Done ? "done" : "failed");
      {
        TQXLFieldDefs Fields;
        NotesFields(Fields);
        CreateTable(*User, "Later", Fields);
      }
      for (const char* Name : {"Tasks", "Jobs"}) {
        if (std::find(Now.Tables.begin(), Now.Tables.end(), Name) == Now.Tables.end()) continue;
        TQXLDiskTableData Table(User->Database.get());
        DiskCursor C(Name);
        Open(Table, C, *User);
        EXPECT_TRUE(InsertTask(Table, C, 5000));
        Close(Table, C);
      }
      Later(Expected);
      const TState Next = StateOf(*User);
      // A cut commit kept the step's pages for the next commit to finish, so
      // that the file is whole again: the step shows from then on.
      TState LaterAfter = After;
      Later(LaterAfter);
      if (!Done && CommitCut && Next == LaterAfter) Expected = LaterAfter;
      EXPECT_EQ(Next, Expected) << "after the next steps, " << (Done ? "done" : "failed");
      Disconnect(*User);
    }
    auto Reopened = Connect(true);
    if (Reopened->Session.FRepairNeeded) {
      Disconnect(*Reopened);
      return FaultHit;
    }
    EXPECT_EQ(StateOf(*Reopened, true), Expected) << "after a reopen, " << (Done ? "done" : "failed");
    // A full disk also refuses the writes that would give back the room
    // taken before it filled.
    if (Fault == TFault::NoRoom)
      EXPECT_TRUE(tablecheck::TableFileOwnsNoPageTwice(FileName(), {}));
    else
      EXPECT_TRUE(tablecheck::TableFileIsSound(FileName(), {}));
    return FaultHit;
  }

  // A delete that got the table and failed while dropping its contents
  // takes it off the list all the same.
  static bool DroppedDespiteError(const TStep& Step, const TState& Now) {
    return std::string(Step.What) == "delete table" &&
           std::find(Now.Tables.begin(), Now.Tables.end(), "Tasks") == Now.Tables.end();
  }

  void FailAtEveryWrite(TFault Fault, const TStep& Step) {
    int Runs = 0;
    for (int Write = 1; Write < 300; ++Write) {
      SCOPED_TRACE("failing from write " + std::to_string(Write));
      ++Runs;
      if (!FailStep(Fault, Write, Step)) break;
    }
    EXPECT_GT(Runs, 1) << "the step wrote nothing";
  }

  static std::vector<TStep> Steps() {
    auto OnOpenTable = [](std::function<void(TQXLDiskTableData&, DiskCursor&)> Work) {
      return [Work](DiskUser& User) {
        TQXLDiskTableData Table(User.Database.get());
        DiskCursor C("Tasks");
        Open(Table, C, User);
        try {
          Work(Table, C);
        } catch (...) {
          Close(Table, C);
          throw;
        }
        Close(Table, C);
      };
    };
    auto Renamed = [](std::vector<std::string>& Names, const std::string& From, const std::string& To) {
      std::replace(Names.begin(), Names.end(), From, To);
    };
    return {
        {"delete table",
         [](DiskUser& User) {
           TQXLDiskTableData Deleter(User.Database.get());
           Deleter.SetTableName("Tasks");
           DiskCursor C("Tasks");
           C.FSession = &User.Session;
           Deleter.DeleteTable(&C, false);
         },
         [](TState& S) {
           S = TState{};
           S.Tables = {"Spare"};
         }},
        {"rename table",
         [](DiskUser& User) {
           TQXLDiskTableData Renamer(User.Database.get());
           Renamer.SetTableName("Tasks");
           DiskCursor C("Tasks");
           C.FSession = &User.Session;
           Renamer.RenameTable("Jobs", &C);
         },
         [Renamed](TState& S) {
           Renamed(S.Tables, "Tasks", "Jobs");
           std::sort(S.Tables.begin(), S.Tables.end());
         }},
        {"rename field", OnOpenTable([](TQXLDiskTableData& Table, DiskCursor&) { Table.RenameField("Code", "Number"); }),
         [Renamed](TState& S) { Renamed(S.Fields, "Code", "Number"); }},
        {"add index",
         OnOpenTable([](TQXLDiskTableData& Table, DiskCursor& C) {
           TQXLIndexDefs Defs;
           TQXLIndexDef* Def = Defs.AddCreated();
           Def->Name = "ByIdDesc";
           Def->AssignByNames({"ID"}, {"DESC"}, {"CASE"});
           Table.AddIndex(*Def, &C);
         }),
         [](TState& S) {
           S.Indexes.push_back("ByIdDesc");
           S.ByIndex["ByIdDesc"] = S.Ids.size();
         }},
        {"delete index",
         OnOpenTable([](TQXLDiskTableData& Table, DiskCursor& C) {
           Table.DeleteIndex(Table.IndexManager()->IndexDefs().GetIndexDefByName("ByCode")->ObjectID, &C);
         }),
         [](TState& S) {
           std::erase(S.Indexes, "ByCode");
           S.ByIndex.erase("ByCode");
         }},
    };
  }

  // Declared first so that it outlives the database objects on it.
  FaultyFileSystem Faulty;
  std::vector<std::uint8_t> Snapshot;
  TState Before;
};

TEST_F(DiskTableDdlFaultTest, ADefinitionStepThatFailsAtAnyWriteLeavesNothingForTheNextCommit) {
  for (const TStep& Step : Steps())
    for (TFault Fault : {TFault::NoRoom, TFault::WriteError}) {
      SCOPED_TRACE(std::string(Step.What) + (Fault == TFault::NoRoom ? ", no room" : ", write error"));
      FailAtEveryWrite(Fault, Step);
    }
}

TEST_F(DiskTableDdlFaultTest, ADefinitionStepMeetingTheHeaderLockOfAnotherUserLeavesNothingBehind) {
  for (const TStep& Step : Steps()) {
    SCOPED_TRACE(Step.What);
    EXPECT_TRUE(FailStep(TFault::HeaderLockedElsewhere, 0, Step));
  }
}

}  // namespace
}  // namespace qxl::disktable
