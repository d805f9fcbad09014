// Copying a table: into its own database, "MEMORY" and another file, with
// the indexes; an existing target (kept, replaced or logged); a stop through
// the progress event, which answers false also in the short form; the
// progress percentages; bad input (a source that does not open, a wrong
// password, a missing file), which changes nothing.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/core/QXLException.h"
#include "engine/datasets/QXLAdvIndexDefs.h"
#include "tests/engine/datasets/movers/MoversFixture.h"
#include "tests/support/EngineErrors.h"
#include "tests/support/ScriptedUserInterface.h"
#include "platform/Clock.h"

using namespace qxl;

namespace {

class CopyTableTest : public qxl::testsupport::MoversFixture {};

const std::vector<std::string> ThreePeople{
    "ID=1|Name=P1|Score=0.5|Notes=-", "ID=2|Name=P2|Score=1|Notes=-", "ID=3|Name=P3|Score=1.5|Notes=-"};

TEST_F(CopyTableTest, CopiesRecordsAndIndexesIntoEachKindOfTarget) {
  const std::string other = MakeDatabaseFile("other.qxl", "Pw'1");
  struct Case {
    const char* Title;
    std::string Target;  // the file argument
    std::string Password;
  } Cases[] = {{"own database", "", ""}, {"memory", "MEMORY", ""}, {"another file", other, "Pw'1"}};
  std::unique_ptr<TQXLTable> T = People(3);
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Title);
    std::string Log;
    bool Continue = true;
    EXPECT_TRUE(T->CopyTable("Copy", Log, Continue, C.Target, C.Password, false, false, true, 0, 100));
    EXPECT_EQ(Log, "");
    EXPECT_TRUE(Continue);
    EXPECT_FALSE(T->Active());

    TQXLDatabase Reader;
    Reader.SetDatabaseName("Reader");
    Reader.SetDatabaseFileName(C.Target);
    Reader.Password = C.Password;
    std::string DatabaseName = C.Target.empty() ? "Db" : C.Target == "MEMORY" ? "MEMORY" : "Reader";
    TQXLTable Copy;
    Copy.SetDatabaseName(DatabaseName);
    Copy.SetTableName("Copy");
    Copy.Open();
    EXPECT_EQ(Rows(Copy), ThreePeople);
    // The name index came along and orders the copy.
    Copy.SetIndexName("ByName");
    EXPECT_EQ(Forward(Copy), (std::vector<std::int32_t>{1, 2, 3}));
    Copy.Close();
    Copy.DeleteTable();
  }
}

TEST_F(CopyTableTest, WithoutIndexesTheCopyHasNone) {
  std::unique_ptr<TQXLTable> T = People(2);
  std::string Log;
  bool Continue = true;
  ASSERT_TRUE(T->CopyTable("Bare", Log, Continue, "MEMORY", "", false, false, false, 0, 100));
  TQXLTable Copy;
  Copy.SetDatabaseName("MEMORY");
  Copy.SetTableName("Bare");
  Copy.UpdateIndexDefs();
  EXPECT_EQ(Copy.IndexDefs().Count(), 0);
  Copy.DeleteTable();
}

TEST_F(CopyTableTest, AnOpenTableStaysOpenOnItsRecord) {
  std::unique_ptr<TQXLTable> T = People(4);
  T->Open();
  T->First();
  T->Next();
  T->Next();
  ASSERT_TRUE(T->CopyTable("Copy"));
  EXPECT_TRUE(T->Active());
  EXPECT_EQ(T->FieldByName("ID").AsInteger(), 3);
  EXPECT_EQ(RowsOf("Db", "Copy").size(), 4u);
}

TEST_F(CopyTableTest, AnExistingTargetIsKeptReplacedOrLogged) {
  std::unique_ptr<TQXLTable> T = People(3);
  std::unique_ptr<TQXLTable> Old = People(1, "Old");
  const std::vector<std::string> OldRows = RowsOf("Db", "Old");
  struct Case {
    const char* Title;
    std::string Target;
    bool IgnoreErrors;
    bool Overwrite;
    bool Answer;
    std::int32_t Code;
    std::string Log;
  };
  const std::string Label = File + ".People";
  const std::vector<Case> Cases{
      {"own, raised", "", false, false, false, 30448, ""},
      {"own, logged", "", true, false, false, 0, "Table '" + Label + "' already exists\r\n"},
      {"memory, raised", "MEMORY", false, false, false, 10515, ""},
      {"memory, logged", "MEMORY", true, false, false, 0, "Table 'MEMORY.People' already exists\r\n"},
  };
  // A table Old in memory as well.
  ASSERT_TRUE(Old->CopyTable("Old", "MEMORY"));
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Title);
    std::string Log;
    bool Continue = true;
    bool Answer = true;
    EXPECT_EQ(NativeCodeOf([&] {
                Answer = T->CopyTable("Old", Log, Continue, C.Target, "", C.IgnoreErrors, C.Overwrite, true, 0, 100);
              }),
              C.Code);
    if (!C.Code) {
      EXPECT_EQ(Answer, C.Answer);
    }
    EXPECT_EQ(Log, C.Log);
    EXPECT_EQ(RowsOf(C.Target == "MEMORY" ? "MEMORY" : "Db", "Old"), OldRows);
    EXPECT_FALSE(T->Active());
  }
  for (const std::string Target : {"", "MEMORY"}) {
    std::string Log;
    bool Continue = true;
    EXPECT_TRUE(T->CopyTable("Old", Log, Continue, Target, "", false, true, true, 0, 100));
    EXPECT_EQ(RowsOf(Target.empty() ? "Db" : "MEMORY", "Old"), ThreePeople);
  }
}

TEST_F(CopyTableTest, AStopThroughTheProgressEventAnswersFalse) {
  std::unique_ptr<TQXLTable> T = People(5);
  TProgressLog Progress;
  Progress.StopAt = 1;
  T->OnCopyProgress = Progress.Handler();
  std::string Log;
  bool Continue = true;
  EXPECT_FALSE(T->CopyTable("Part", Log, Continue, "", "", false, false, true, 0, 100));
  EXPECT_FALSE(Continue);
  EXPECT_EQ(Log, "Terminated by User.\r\n");
  EXPECT_EQ(Progress.Percents, (std::vector<std::int32_t>{20}));
  // The record copied before the stop is there; the others are not.
  EXPECT_EQ(RowsOf("Db", "Part"), (std::vector<std::string>{"ID=1|Name=P1|Score=0.5|Notes=-"}));

  // The short form keeps no log but still says the copy is not whole.
  Progress = {};
  Progress.StopAt = 2;
  EXPECT_FALSE(T->CopyTable("Short", "MEMORY"));
  EXPECT_EQ(RowsOf("MEMORY", "Short").size(), 2u);
}

TEST_F(CopyTableTest, WithoutHandlersTheWaitWindowsAbortStopsTheCopy) {
  // Every look at the clock finds 600 ms gone, so the window shows at the first report.
  class TRacingClock : public platform::Clock {
  public:
    void Sleep(std::uint32_t ms) override { FTicks += ms; }
    std::uint32_t GetTickCount() override { return FTicks += 600; }

  private:
    std::uint32_t FTicks = 0;
  } Clock;
  platform::ScopedClock UseClock(Clock);
  std::unique_ptr<TQXLTable> T = People(3);
  ScriptedUserInterface Ui;
  Ui.AbortPressed = true;
  std::string Log;
  bool Continue = true;
  EXPECT_FALSE(T->CopyTable("Part", Log, Continue, "MEMORY", "", false, false, true, 0, 100));
  EXPECT_EQ(Log, "Terminated by User.\r\n");
  EXPECT_EQ(RowsOf("MEMORY", "Part").size(), 1u);
  ASSERT_FALSE(Ui.Log.empty());
  EXPECT_EQ(Ui.Log.back(), "hide");
}

TEST_F(CopyTableTest, ProgressRunsBetweenTheBoundsAndAnEmptyTableReportsNone) {
  std::unique_ptr<TQXLTable> T = People(3);
  struct Case {
    std::int32_t Min, Max;
    std::vector<std::int32_t> Percents;
  } Cases[] = {{0, 100, {33, 67, 100}}, {10, 20, {13, 17, 20}}, {50, 50, {50, 50, 50}}};
  std::vector<std::string> Events;
  T->BeforeCopy = [&](TQXLTable&) { Events.push_back("before"); };
  T->AfterCopy = [&](TQXLTable&) { Events.push_back("after"); };
  for (const Case& C : Cases) {
    TProgressLog Progress;
    T->OnCopyProgress = Progress.Handler();
    std::string Log;
    bool Continue = true;
    EXPECT_TRUE(T->CopyTable("P", Log, Continue, "MEMORY", "", false, true, true, C.Min, C.Max));
    EXPECT_EQ(Progress.Percents, C.Percents) << C.Min << ".." << C.Max;
  }
  EXPECT_EQ(Events, (std::vector<std::string>{"before", "after", "before", "after", "before", "after"}));

  std::unique_ptr<TQXLTable> Empty = People(0, "Empty");
  TProgressLog Progress;
  Empty->OnCopyProgress = Progress.Handler();
  EXPECT_TRUE(Empty->CopyTable("EmptyCopy"));
  EXPECT_TRUE(Progress.Percents.empty());
  EXPECT_TRUE(RowsOf("Db", "EmptyCopy").empty());
}

TEST_F(CopyTableTest, BadInputRaisesAndChangesNothing) {
  const std::string other = MakeDatabaseFile("locked.qxl", "right");
  const auto Size = std::filesystem::file_size(other);
  std::unique_ptr<TQXLTable> T = People(2);
  std::string Log;
  bool Continue = true;
  // A wrong password of the target file.
  EXPECT_EQ(NativeCodeOf([&] { T->CopyTable("Copy", Log, Continue, other, "wrong", false, false, true, 0, 100); }),
            30445);
  EXPECT_EQ(std::filesystem::file_size(other), Size);
  // A target file that does not exist is not made.
  const std::string missing = Dir.File("missing.qxl");
  EXPECT_ANY_THROW(T->CopyTable("Copy", Log, Continue, missing, "", false, false, true, 0, 100));
  EXPECT_FALSE(std::filesystem::exists(missing));
  // A source table that does not exist.
  std::unique_ptr<TQXLTable> Ghost = NewTable("Ghost");
  EXPECT_ANY_THROW(Ghost->CopyTable("GhostCopy"));
  EXPECT_FALSE(NewTable("GhostCopy")->Exists());
  EXPECT_FALSE(Ghost->Active());
  EXPECT_EQ(Log, "");
  // Nothing was opened for good: the target can be opened with its password.
  TQXLDatabase Reader;
  Reader.SetDatabaseName("Reader");
  Reader.SetDatabaseFileName(other);
  Reader.Password = "right";
  Reader.Open();
  EXPECT_FALSE(Reader.TableExists("Copy"));
}

}  // namespace
