// The repair of a database file with one damaged table: the other tables are
// copied, the damaged one is named in the log, and the damaged file is kept
// beside the repaired one; the repair that an open asks for; and the wait
// window that shows a rebuild's progress when the program set no events.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>

#include "engine/core/QXLException.h"
#include "engine/storage/pager/QXLDiskFormat.h"
#include "platform/Clock.h"
#include "tests/engine/datasets/maintenance/MaintenanceFixture.h"
#include "tests/support/EngineErrors.h"
#include "tests/support/ScriptedUserInterface.h"

using namespace qxl;
using namespace qxl::testsupport;

namespace {

using Lines = std::vector<std::string>;

// The first bytes of every page.
const std::string PageSignature = "QXLP";

class DatabaseRepairTest : public MaintenanceFixture {
protected:
  // Fills the table as the last one of the file, and damages the data of
  // every page of it: the pages whose header names the one owner that only
  // the pages added for this table have. Encrypted pages carry a checksum of
  // their data, so that even a repair cannot read them. The pages damaged.
  std::size_t FillBrokenTable(const std::string& Name, const std::vector<std::int32_t>& Ids) {
    const std::size_t Before = Bytes(File).size();
    FillTable(Name, Ids);
    std::string Content = Bytes(File);
    // Pages start where the signature is, at one offset modulo the page size.
    const std::size_t PageSize = 1024;
    const std::size_t First = Content.find(PageSignature);
    if (First == std::string::npos) return 0;
    auto OwnerAt = [&](std::size_t Page) {
      std::int32_t Owner = 0;
      std::memcpy(&Owner, &Content[Page + offsetof(TQXLDiskPageHeader, ObjectID)], sizeof Owner);
      return Owner;
    };
    std::set<std::int32_t> Earlier, Added;
    for (std::size_t Page = First % PageSize; Page + PageSize <= Content.size(); Page += PageSize) {
      if (Content.compare(Page, PageSignature.size(), PageSignature) != 0) continue;
      (Page < Before ? Earlier : Added).insert(OwnerAt(Page));
    }
    std::vector<std::int32_t> New;
    for (std::int32_t Owner : Added)
      if (!Earlier.count(Owner)) New.push_back(Owner);
    if (New.size() != 1) return 0;
    std::size_t Damaged = 0;
    for (std::size_t Page = First % PageSize; Page + PageSize <= Content.size(); Page += PageSize) {
      if (Content.compare(Page, PageSignature.size(), PageSignature) != 0 || OwnerAt(Page) != New[0]) continue;
      for (std::size_t i = QXLDiskPageHeaderSize; i < QXLDiskPageHeaderSize + 16; ++i) Content[Page + i] ^= 0x5A;
      ++Damaged;
    }
    std::ofstream(File, std::ios::binary | std::ios::trunc) << Content;
    return Damaged;
  }

  void MarkNotClosedCleanly() {
    const std::uint8_t Writing = QXLWriteChangesWriting;
    std::fstream F(File, std::ios::in | std::ios::out | std::ios::binary);
    F.seekp(static_cast<std::streamoff>(offsetof(TQXLDBHeader, WriteChangesState)));
    F.write(reinterpret_cast<const char*>(&Writing), 1);
  }

  static Lines LinesOf(const std::string& Log) {
    Lines Result;
    std::size_t Start = 0;
    for (std::size_t End = Log.find("\r\n"); End != std::string::npos; End = Log.find("\r\n", Start)) {
      if (End > Start) Result.push_back(Log.substr(Start, End - Start));
      Start = End + 2;
    }
    if (Start < Log.size()) Result.push_back(Log.substr(Start));
    return Result;
  }
};

// A clock that moves on a little every time it is read, so that a wait
// window's half second passes during an operation.
class TMovingClock : public platform::Clock {
public:
  void Sleep(std::uint32_t ms) override { FTicks += ms; }
  std::uint32_t GetTickCount() override { return FTicks += 200; }

private:
  std::uint32_t FTicks = 0;
};

}  // namespace

TEST_F(DatabaseRepairTest, ARepairCopiesTheReadableTablesAndKeepsTheDamagedFile) {
  FillTable("First", Range(1, 100));
  FillTable("Last", Range(1, 100));
  ASSERT_GT(FillBrokenTable("Broken", Range(1, 100)), 0u);
  const std::string Damaged = Bytes(File);

  const std::string Log = Db().RepairDatabase();
  const Lines Logged = LinesOf(Log);
  ASSERT_FALSE(Logged.empty());
  EXPECT_NE(Log.find("'Broken'"), std::string::npos) << Log;
  const std::string Kept = File + ".damaged";
  EXPECT_EQ(Logged.back(), "The damaged database file was kept as '" + Kept + "'.");
  EXPECT_TRUE(Bytes(Kept) == Damaged);
  EXPECT_FALSE(Exists(Temp));
  EXPECT_EQ(Ids("First"), Range(1, 100));
  EXPECT_EQ(Ids("Last"), Range(1, 100));

  // A second repair finds nothing more to lose... unless the table is still
  // damaged; either way the first kept file stays and the next name is new.
  const std::string Again = Db().RepairDatabase();
  if (!Again.empty()) {
    EXPECT_EQ(LinesOf(Again).back(), "The damaged database file was kept as '" + Kept + "2'.");
    EXPECT_TRUE(Bytes(Kept) == Damaged);
  }
}

TEST_F(DatabaseRepairTest, ARepairWithoutLossesKeepsNoCopy) {
  FillTable("First", Range(1, 50));
  EXPECT_EQ(Db().RepairDatabase(), "");
  EXPECT_FALSE(Exists(File + ".damaged"));
  EXPECT_EQ(Ids("First"), Range(1, 50));
}

TEST_F(DatabaseRepairTest, RepairIntoANewFileAnswersTrueWithTheLog) {
  FillTable("First", Range(1, 50));
  ASSERT_GT(FillBrokenTable("Broken", Range(1, 50)), 0u);
  const std::string Damaged = Bytes(File);
  const std::string Repaired = Dir.File("repaired.qxl");
  std::string Log;
  EXPECT_TRUE(Db().RepairDatabase(Repaired, Log));
  EXPECT_NE(Log.find("'Broken'"), std::string::npos) << Log;
  EXPECT_TRUE(Bytes(File) == Damaged);
  EXPECT_EQ(Ids("First", Repaired), Range(1, 50));
}

TEST_F(DatabaseRepairTest, CompactAndChangesRefuseADamagedTableAndKeepTheFile) {
  FillTable("First", Range(1, 50));
  ASSERT_GT(FillBrokenTable("Broken", Range(1, 50)), 0u);
  const std::string Damaged = Bytes(File);
  EXPECT_EQ(NativeCodeOf([&] { Db().CompactDatabase(); }), 20199);
  EXPECT_EQ(NativeCodeOf([&] { Db().ChangePassword("n3w"); }), 20199);
  std::string Log;
  EXPECT_EQ(NativeCodeOf([&] { Db().ChangeDatabaseSettings(Log, false, Password, craRijndael_128, 1024, 8, 10); }), 20199);
  EXPECT_TRUE(Bytes(File) == Damaged);
  EXPECT_FALSE(Exists(Temp));
  EXPECT_EQ(Db().Password, Password);
  // Ignoring errors, the settings change keeps what was lost as a repair does.
  EXPECT_TRUE(Db().ChangeDatabaseSettings(Log, true, "n3w", craRijndael_128, 1024, 8, 10));
  EXPECT_NE(Log.find("'Broken'"), std::string::npos) << Log;
  EXPECT_TRUE(Bytes(File + ".damaged") == Damaged);
  EXPECT_EQ(Db().Password, "n3w");
  const std::string NewPassword = "n3w";
  EXPECT_EQ(Ids("First", File, &NewPassword), Range(1, 50));
}

TEST_F(DatabaseRepairTest, AnOpenThatFindsTheFileNotClosedCleanlyRunsTheRepair) {
  FillTable("First", Range(1, 50));
  MarkNotClosedCleanly();
  ScriptedUserInterface Ui;
  Ui.Answers = {true};
  Db().SilentMode = false;
  Db().Open();
  EXPECT_TRUE(Db().Connected());
  Db().Close();
  ASSERT_GE(Ui.Log.size(), 3u);
  EXPECT_EQ(Ui.Log[0], "confirm Database file was not correctly closed last time. Do you want to repair it?");
  // The repair's window shows at once.
  EXPECT_EQ(Ui.Log[1], "show Repairing Database... 0");
  EXPECT_EQ(Ui.Log.back(), "hide");
  EXPECT_FALSE(Exists(Temp));
  EXPECT_EQ(Ids("First"), Range(1, 50));
  // Repaired, the file opens without a question.
  Ui.Log.clear();
  Db().Open();
  Db().Close();
  EXPECT_TRUE(Ui.Log.empty());
}

TEST_F(DatabaseRepairTest, WithoutEventsAWaitWindowShowsTheProgressAndItsAbortStops) {
  FillTable("First", Range(1, 300));
  FillTable("Second", Range(1, 300));
  const std::string Old = Bytes(File);
  TMovingClock Clock;
  platform::ScopedClock UseClock(Clock);
  {
    SCOPED_TRACE("silent");
    ScriptedUserInterface Ui;
    EXPECT_TRUE(Db().CompactDatabase());
    EXPECT_TRUE(Ui.Log.empty());
  }
  Db().SilentMode = false;
  {
    SCOPED_TRACE("shown");
    ScriptedUserInterface Ui;
    EXPECT_TRUE(Db().CompactDatabase());
    ASSERT_FALSE(Ui.Log.empty());
    EXPECT_EQ(Ui.Log.front().rfind("show Compacting Database...", 0), 0u) << Ui.Log.front();
    EXPECT_EQ(Ui.Log.back(), "hide");
  }
  const std::string Compacted = Bytes(File);
  {
    SCOPED_TRACE("aborted");
    ScriptedUserInterface Ui;
    Ui.AbortPressed = true;
    std::string Log;
    EXPECT_EQ(NativeCodeOf([&] { Log = Db().ChangePassword("n3w"); }), 0);
    EXPECT_NE(Log.find("Terminated by User."), std::string::npos) << Log;
    EXPECT_EQ(Db().Password, Password);
    EXPECT_TRUE(Bytes(File) == Compacted);
    EXPECT_FALSE(Exists(Temp));
    EXPECT_EQ(Ui.Log.back(), "hide");
    Ui.Log.clear();
    EXPECT_EQ(NativeCodeOf([&] { Db().CompactDatabase(); }), 30456);
    EXPECT_TRUE(Bytes(File) == Compacted);
  }
  EXPECT_EQ(Ids("First"), Range(1, 300));
}
