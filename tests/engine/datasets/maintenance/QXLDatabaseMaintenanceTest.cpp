// The maintenance operations of the database component on database files:
// compact, repair, change password and change settings, in place and into a
// new file; their events and progress; the free-space check; and, for each
// in-place operation, a failure at the replacement of the file, at the close
// of the rebuilt file and at the deletion after a failure, after which the
// old file opens with its data.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include "engine/core/QXLException.h"
#include "platform/Clock.h"
#include "tests/engine/datasets/maintenance/MaintenanceFixture.h"
#include "tests/support/EngineErrors.h"
#include "tests/support/ScriptedUserInterface.h"

using namespace qxl;
using namespace qxl::testsupport;

namespace {

class DatabaseMaintenanceTest : public MaintenanceFixture {
protected:
  // An in-place operation as a test runs it: the log it answers, or raises.
  struct TOperation {
    const char* Name;
    std::function<std::string(TQXLDatabase&)> Run;
    // The events the component fires for it.
    TQXLMaintenanceEvent TQXLDatabase::*Before;
    TQXLMaintenanceProgressEvent TQXLDatabase::*Progress;
    TQXLMaintenanceEvent TQXLDatabase::*After;
    // The password the file answers to after a success.
    std::string NewPassword;
  };

  static std::vector<TOperation> InPlaceOperations() {
    return {
        {"compact", [](TQXLDatabase& D) { return D.CompactDatabase() ? std::string() : std::string("false"); },
         &TQXLDatabase::BeforeCompact, &TQXLDatabase::OnCompactProgress, &TQXLDatabase::AfterCompact, "Rk#4w%"},
        {"repair", [](TQXLDatabase& D) { return D.RepairDatabase(); }, &TQXLDatabase::BeforeRepair,
         &TQXLDatabase::OnRepairProgress, &TQXLDatabase::AfterRepair, "Rk#4w%"},
        {"change password", [](TQXLDatabase& D) { return D.ChangePassword("n3w", craTwofish_128); },
         &TQXLDatabase::BeforeChangePassword, &TQXLDatabase::OnChangePasswordProgress,
         &TQXLDatabase::AfterChangePassword, "n3w"},
        {"change settings",
         [](TQXLDatabase& D) {
           std::string Log;
           return D.ChangeDatabaseSettings(Log, false, "s3t", craRijndael_128, 2048, 4, 20) ? Log
                                                                                             : "false " + Log;
         },
         &TQXLDatabase::BeforeChangeDatabaseSettings, &TQXLDatabase::OnChangeDatabaseSettingsProgress,
         &TQXLDatabase::AfterChangeDatabaseSettings, "s3t"},
    };
  }

  // Two tables of items, filled.
  void FillTwoTables() {
    FillTable("Items", Range(1, 300));
    FillTable("More", Range(1, 40));
  }
  void ExpectTwoTablesIn(const std::string& FileName, const std::string& FilePassword) {
    EXPECT_EQ(Ids("Items", FileName, &FilePassword), Range(1, 300));
    EXPECT_EQ(Ids("More", FileName, &FilePassword), Range(1, 40));
  }
};

}  // namespace

TEST_F(DatabaseMaintenanceTest, CompactAfterDeletesKeepsTheRowsInASmallerFile) {
  FillTable("Items", Range(1, 2000));
  FillTable("Empty", {});
  DeleteEvenIds("Items");
  const std::int64_t Before = static_cast<std::int64_t>(Bytes(File).size());
  EXPECT_TRUE(Db().CompactDatabase());
  const std::int64_t After = static_cast<std::int64_t>(Bytes(File).size());
  EXPECT_LT(After, Before * 3 / 4);
  EXPECT_EQ(Ids("Items"), Range(1, 2000, 2));
  EXPECT_TRUE(Ids("Empty").empty());
  EXPECT_FALSE(Exists(Temp));
  EXPECT_FALSE(Db().Connected());
  // The file keeps its settings.
  Db().Open();
  EXPECT_EQ(Db().PageSize, 1024);
  Db().Close();
}

TEST_F(DatabaseMaintenanceTest, CompactIntoANewFileLeavesTheOldOne) {
  FillTwoTables();
  const std::string Old = Bytes(File);
  const std::string Copy = Dir.File("copy.qxl");
  EXPECT_TRUE(Db().CompactDatabase(Copy));
  EXPECT_TRUE(Bytes(File) == Old);
  ExpectTwoTablesIn(Copy, Password);
  ExpectTwoTablesIn(File, Password);
}

TEST_F(DatabaseMaintenanceTest, ADatabaseWithoutTablesCompactsToAnEmptyFile) {
  int Befores = 0, Afters = 0;
  std::vector<std::int32_t> Progress;
  Db().BeforeCompact = [&](TQXLDatabase&) { ++Befores; };
  Db().AfterCompact = [&](TQXLDatabase&) { ++Afters; };
  Db().OnCompactProgress = [&](TQXLDatabase&, std::int32_t Percent, bool&) { Progress.push_back(Percent); };
  EXPECT_TRUE(Db().CompactDatabase());
  EXPECT_EQ(Befores, 1);
  EXPECT_EQ(Afters, 1);
  EXPECT_EQ(Progress, std::vector<std::int32_t>{100});
  std::vector<std::string> Tables;
  Db().GetTablesList(Tables);
  EXPECT_TRUE(Tables.empty());
}

TEST_F(DatabaseMaintenanceTest, ProgressRisesAcrossTheTablesToAFinal100) {
  FillTable("A", Range(1, 200));
  FillTable("B", Range(1, 200));
  FillTable("C", Range(1, 200));
  for (const TOperation& Op : InPlaceOperations()) {
    SCOPED_TRACE(Op.Name);
    std::vector<std::int32_t> Progress;
    std::vector<std::string> Order;
    Db().*Op.Before = [&](TQXLDatabase& Sender) {
      EXPECT_EQ(&Sender, &Db());
      Order.push_back("before");
    };
    Db().*Op.Progress = [&](TQXLDatabase& Sender, std::int32_t Percent, bool& Continue) {
      EXPECT_EQ(&Sender, &Db());
      EXPECT_TRUE(Continue);
      Progress.push_back(Percent);
    };
    Db().*Op.After = [&](TQXLDatabase&) { Order.push_back("after"); };
    EXPECT_EQ(Op.Run(Db()), "");
    Db().Password = Op.NewPassword;
    EXPECT_EQ(Order, (std::vector<std::string>{"before", "after"}));
    ASSERT_GE(Progress.size(), 4u);
    EXPECT_TRUE(std::is_sorted(Progress.begin(), Progress.end()));
    EXPECT_GE(Progress.front(), 0);
    EXPECT_EQ(Progress.back(), 100);
    EXPECT_EQ(Ids("C", File, &Op.NewPassword), Range(1, 200));
    Db().*Op.Before = nullptr;
    Db().*Op.Progress = nullptr;
    Db().*Op.After = nullptr;
  }
}

TEST_F(DatabaseMaintenanceTest, ChangePasswordAndSettingsTakeEffectWithTheNewFile) {
  FillTwoTables();
  EXPECT_EQ(Db().ChangePassword("n3w", craTwofish_128), "");
  EXPECT_EQ(Db().Password, "n3w");
  EXPECT_EQ(Db().CryptoAlgorithm, craTwofish_128);
  EXPECT_EQ(NativeCodeOf([&] { Ids("Items"); }), 30445);
  ExpectTwoTablesIn(File, "n3w");

  std::string Log = "old text";
  EXPECT_TRUE(Db().ChangeDatabaseSettings(Log, false, "s3t", craRijndael_128, 4096, 16, 20));
  EXPECT_EQ(Log, "");
  EXPECT_EQ(Db().Password, "s3t");
  Db().Open();
  EXPECT_EQ(Db().PageSize, 4096);
  EXPECT_EQ(Db().PageCountInExtent, 16);
  EXPECT_EQ(Db().MaxConnections, 20);
  EXPECT_EQ(Db().CryptoAlgorithm, craRijndael_128);
  Db().Close();
  ExpectTwoTablesIn(File, "s3t");
  EXPECT_EQ(Db().ChangePassword("last"), "");
  EXPECT_EQ(Db().CryptoAlgorithm, craRijndael_128);
  ExpectTwoTablesIn(File, "last");
}

TEST_F(DatabaseMaintenanceTest, NoPositiveMaxConnectionsIsRefusedBeforeAnyFileIsMade) {
  FillTwoTables();
  const std::string Old = Bytes(File);
  for (std::int32_t Connections : {0, -1}) {
    std::string Log;
    EXPECT_EQ(NativeCodeOf([&] { Db().ChangeDatabaseSettings(Log, false, "x", craRijndael_128, 1024, 8, Connections); }),
              20274);
  }
  EXPECT_FALSE(Exists(Temp));
  EXPECT_TRUE(Bytes(File) == Old);
  EXPECT_EQ(Db().Password, Password);
}

TEST_F(DatabaseMaintenanceTest, TooLittleFreeSpaceMakesNoFile) {
  FillTwoTables();
  const std::string Old = Bytes(File);
  const std::int64_t Size = static_cast<std::int64_t>(Old.size());
  for (const TOperation& Op : InPlaceOperations()) {
    SCOPED_TRACE(Op.Name);
    int Afters = 0;
    Db().*Op.After = [&](TQXLDatabase&) { ++Afters; };
    Files.LimitFreeSpace(Size - 1);
    EXPECT_EQ(NativeCodeOf([&] { Op.Run(Db()); }), 20303);
    // A wait window opened before the check is closed all the same.
    EXPECT_EQ(Afters, 1);
    EXPECT_FALSE(Exists(Temp));
    EXPECT_TRUE(Bytes(File) == Old);
    EXPECT_EQ(Db().Password, Password);
    EXPECT_FALSE(Db().Connected());
    Db().*Op.After = nullptr;
  }
  const std::string Copy = Dir.File("copy.qxl");
  EXPECT_EQ(NativeCodeOf([&] { Db().CompactDatabase(Copy); }), 20303);
  EXPECT_FALSE(Exists(Copy));
  // Exactly the file's size is enough.
  Files.LimitFreeSpace(Size);
  EXPECT_TRUE(Db().CompactDatabase(Copy));
  ExpectTwoTablesIn(Copy, Password);
}

TEST_F(DatabaseMaintenanceTest, AWrongPasswordChangesNothing) {
  FillTwoTables();
  const std::string Old = Bytes(File);
  Db().Password = "wrong";
  for (const TOperation& Op : InPlaceOperations()) {
    SCOPED_TRACE(Op.Name);
    EXPECT_EQ(NativeCodeOf([&] { Op.Run(Db()); }), 30445);
    EXPECT_EQ(Db().Password, "wrong");
    EXPECT_FALSE(Exists(Temp));
    EXPECT_TRUE(Bytes(File) == Old);
  }
  ExpectTwoTablesIn(File, Password);
}

TEST_F(DatabaseMaintenanceTest, AFailureAtAnyStepOfTheReplacementLeavesTheOldFile) {
  FillTwoTables();
  enum class TPoint { Replace, ReplaceAndDelete, CloseOfTheNewFile, FlushOfTheNewFile, WriteOfTheNewFile };
  struct TCase {
    const char* Name;
    TPoint Point;
  };
  const TCase Cases[] = {{"rename over the old file", TPoint::Replace},
                         {"rename, then the delete of the new file", TPoint::ReplaceAndDelete},
                         {"close of the new file", TPoint::CloseOfTheNewFile},
                         {"flush of the new file", TPoint::FlushOfTheNewFile},
                         {"write of the new file", TPoint::WriteOfTheNewFile}};
  for (const TOperation& Op : InPlaceOperations()) {
    for (const TCase& C : Cases) {
      SCOPED_TRACE(std::string(Op.Name) + ", " + C.Name);
      // The new file is complete and closed when the after event runs; the
      // final progress comes before it is closed.
      Db().*Op.After = [&](TQXLDatabase&) {
        if (C.Point == TPoint::Replace) Files.FailNextNameChange(EIO);
        if (C.Point == TPoint::ReplaceAndDelete) Files.FailNextNameChange(EIO, 2);
      };
      // The file layer tries a failed write or flush once more after opening
      // the file again: both fail.
      bool Copying = false;
      Db().*Op.Progress = [&](TQXLDatabase&, std::int32_t Percent, bool&) {
        if (Percent == 100 && C.Point == TPoint::CloseOfTheNewFile) Files.FailNextClose(EIO);
        if (Percent == 100 && C.Point == TPoint::FlushOfTheNewFile) Files.FailFlush(1, EIO, 2);
        // The first progress comes from the copy of the first table: what is
        // written now goes to the new file.
        if (!Copying && C.Point == TPoint::WriteOfTheNewFile) Files.FailWrite(1, ENOSPC, 2);
        Copying = true;
      };
      std::string Result;
      const std::string Message = MessageOf([&] { Result = Op.Run(Db()); });
      if (std::string(Op.Name) == "repair" && C.Point == TPoint::WriteOfTheNewFile) {
        // A repair copies what it can: the record that could not be written
        // is in its log, and the whole file beside the repaired one.
        EXPECT_EQ(Message, "");
        const std::string Kept = File + ".damaged";
        EXPECT_NE(Result.find("kept as '" + Kept + "'"), std::string::npos) << Result;
        ExpectTwoTablesIn(Kept, Password);
        ASSERT_TRUE(platform::RealFileSystem().Replace(Kept, File));
      } else {
        EXPECT_NE(Message, "");
      }
      EXPECT_EQ(Db().Password, Password);
      ExpectTwoTablesIn(File, Password);
      if (C.Point == TPoint::ReplaceAndDelete) {
        // The file that could not be deleted is named in the failure.
        EXPECT_NE(Message.find(Temp), std::string::npos) << Message;
        EXPECT_TRUE(Exists(Temp));
        platform::RealFileSystem().Delete(Temp);
      }
      EXPECT_FALSE(Exists(Temp));
      Files.FailWrite(1, 0);
      Files.FailFlush(1, 0);
    }
    Db().*Op.Progress = nullptr;
    Db().*Op.After = nullptr;
  }
}

TEST_F(DatabaseMaintenanceTest, TheFileIsNotReplacedWhileAnotherHandleHasItOpen) {
  FillTwoTables();
  const std::string Old = Bytes(File);
  for (const TOperation& Op : InPlaceOperations()) {
    SCOPED_TRACE(Op.Name);
    std::unique_ptr<platform::FileHandle> Other;
    // Another connection comes in after the rebuild let go of the file.
    Db().*Op.After = [&](TQXLDatabase&) {
      Other = platform::RealFileSystem().Open(File, platform::AccessMode::ReadWrite, platform::ShareMode::DenyNone);
    };
    EXPECT_EQ(NativeCodeOf([&] { Op.Run(Db()); }), 10462);
    Other.reset();
    EXPECT_EQ(Db().Password, Password);
    EXPECT_TRUE(Bytes(File) == Old);
    EXPECT_FALSE(Exists(Temp));
    Db().*Op.After = nullptr;
  }
  // Nor while another connection holds it from the start.
  TQXLDatabase Other;
  Other.SetDatabaseName("Other");
  Other.SetDatabaseFileName(File);
  Other.Password = Password;
  Other.MultiUser = true;
  Other.Open();
  for (const TOperation& Op : InPlaceOperations()) {
    SCOPED_TRACE(std::string(Op.Name) + " beside an open connection");
    EXPECT_NE(MessageOf([&] { Op.Run(Db()); }), "");
    EXPECT_FALSE(Exists(Temp));
    EXPECT_EQ(Db().Password, Password);
  }
  Other.Close();
  EXPECT_TRUE(Bytes(File) == Old);
}

TEST_F(DatabaseMaintenanceTest, AnAbortFromTheProgressEndsTheOperationAndKeepsTheOldFile) {
  FillTwoTables();
  const std::string Old = Bytes(File);
  for (const TOperation& Op : InPlaceOperations()) {
    SCOPED_TRACE(Op.Name);
    Db().*Op.Progress = [&](TQXLDatabase&, std::int32_t, bool& Continue) { Continue = false; };
    std::string Result;
    const std::int32_t Code = NativeCodeOf([&] { Result = Op.Run(Db()); });
    if (std::string(Op.Name) == "compact") {
      EXPECT_EQ(Code, 30456);
    } else {
      EXPECT_EQ(Code, 0);
      EXPECT_NE(Result, "");
    }
    EXPECT_EQ(Db().Password, Password);
    EXPECT_FALSE(Exists(Temp));
    EXPECT_TRUE(Bytes(File) == Old);
    Db().*Op.Progress = nullptr;
  }
}
