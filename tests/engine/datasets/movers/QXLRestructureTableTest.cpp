// Restructuring a table in a database file and in memory: a renamed field
// keeps its values by object id, a dropped one goes, an added one starts
// NULL, a changed type converts; a failure midway (a value the new type
// cannot hold, a write the file system refuses), a structure that cannot
// be made and a stop through the progress event all leave the table as it
// was, with no table left aside.
#include <gtest/gtest.h>

#include <cerrno>

#include "engine/core/QXLException.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/QXLAdvIndexDefs.h"
#include "tests/engine/datasets/movers/MoversFixture.h"
#include "tests/support/EngineErrors.h"
#include "tests/support/FaultyFileSystem.h"

using namespace qxl;

namespace {

class RestructureTableTest : public qxl::testsupport::MoversFixture,
                             public ::testing::WithParamInterface<const char*> {
protected:
  // People 1..3 in the database of the test's parameter ("Db" or "MEMORY").
  std::unique_ptr<TQXLTable> Subject() {
    std::unique_ptr<TQXLTable> T = People(3);
    if (std::string(GetParam()) == "Db") return T;
    EXPECT_TRUE(T->CopyTable("People", "MEMORY"));
    T->DeleteTable();
    auto M = std::make_unique<TQXLTable>();
    M->SetDatabaseName("MEMORY");
    M->SetTableName("People");
    return M;
  }
  void TearDown() override {
    TQXLTable M;
    M.SetDatabaseName("MEMORY");
    M.SetTableName("People");
    if (M.Exists()) M.DeleteTable();
  }
  // The tables of the parameter's database.
  std::vector<std::string> Tables() {
    TQXLDatabase* database = nullptr;
    std::unique_ptr<TQXLTable> probe = std::make_unique<TQXLTable>();
    probe->SetDatabaseName(GetParam());
    database = probe->OpenDatabase();
    std::vector<std::string> list;
    database->GetTablesList(list);
    probe->CloseDatabase(database);
    return list;
  }
  std::vector<std::string> RowsNow(TQXLTable& T) {
    T.Open();
    std::vector<std::string> rows = Rows(T);
    T.Close();
    return rows;
  }
  const std::vector<std::string> Original{"ID=1|Name=P1|Score=0.5|Notes=-", "ID=2|Name=P2|Score=1|Notes=-",
                                          "ID=3|Name=P3|Score=1.5|Notes=-"};
};

TEST_P(RestructureTableTest, RenamedDroppedAndAddedFieldsKeepTheDataByObjectId) {
  std::unique_ptr<TQXLTable> T = Subject();
  T->UpdateFieldDefs();
  T->UpdateIndexDefs();
  TQXLAdvFieldDefs& D = T->RestructureFieldDefs();
  D.Find("Name")->Name = "FullName";
  D.DeleteFieldDef("Score");
  D.Add("Age", aftInteger, 0, false);
  // A new field with the name of the dropped one.
  D.Add("Score", aftString, 10, false);
  // ID becomes a large integer.
  D.Find("ID")->DataType = aftLargeint;
  T->RestructureIndexDefs().Find("ByName")->Fields = "FullName";
  std::vector<std::string> Events;
  T->BeforeRestructure = [&](TQXLTable&) { Events.push_back("before"); };
  T->AfterRestructure = [&](TQXLTable&) { Events.push_back("after"); };
  TProgressLog Progress;
  T->OnRestructureProgress = Progress.Handler();
  std::string Log;
  EXPECT_TRUE(T->RestructureTable(Log));
  EXPECT_EQ(Log, "");
  EXPECT_EQ(Events, (std::vector<std::string>{"before", "after"}));
  EXPECT_EQ(Progress.Percents, (std::vector<std::int32_t>{33, 66, 99}));
  EXPECT_EQ(T->TableName(), "People");
  EXPECT_FALSE(T->Active());
  // The old Score has no place by object id and goes, as text, to the new
  // field of its name.
  EXPECT_EQ(RowsNow(*T), (std::vector<std::string>{"ID=1|FullName=P1|Notes=-|Age=-|Score=0.5",
                                                    "ID=2|FullName=P2|Notes=-|Age=-|Score=1",
                                                    "ID=3|FullName=P3|Notes=-|Age=-|Score=1.5"}));
  T->UpdateFieldDefs();
  ASSERT_NE(T->AdvFieldDefs().Find("ID"), nullptr);
  EXPECT_EQ(T->AdvFieldDefs().Find("ID")->DataType, aftLargeint);
  T->Open();
  T->SetIndexName("ByName");
  EXPECT_EQ(Forward(*T), (std::vector<std::int32_t>{1, 2, 3}));
  T->Close();
  EXPECT_EQ(Tables(), (std::vector<std::string>{"People"}));
}

TEST_P(RestructureTableTest, AFailureMidwayLeavesTheTableAsItWas) {
  std::unique_ptr<TQXLTable> T = Subject();
  T->UpdateFieldDefs();
  // Names such as "P1" are no integers: the first record fails.
  T->RestructureFieldDefs().Find("Name")->DataType = aftInteger;
  T->RestructureFieldDefs().Find("Name")->Size = 0;
  T->RestructureIndexDefs().Clear();
  std::vector<std::string> Events;
  T->AfterRestructure = [&](TQXLTable&) { Events.push_back("after"); };
  std::string Log;
  EXPECT_ANY_THROW(T->RestructureTable(Log));
  // The message names the table as it was called while set aside.
  EXPECT_EQ(Log.find("Error copying table \"OLD_People_{"), 0u) << Log;
  EXPECT_NE(Log.find("}\". Record #1, field 'Name' was copied with Null value due to error: "), std::string::npos) << Log;
  EXPECT_EQ(Events, (std::vector<std::string>{"after"}));
  EXPECT_EQ(T->TableName(), "People");
  EXPECT_EQ(RowsNow(*T), Original);
  T->UpdateFieldDefs();
  ASSERT_NE(T->AdvFieldDefs().Find("Name"), nullptr);
  EXPECT_EQ(T->AdvFieldDefs().Find("Name")->DataType, aftString);
  EXPECT_EQ(Tables(), (std::vector<std::string>{"People"}));
}

TEST_P(RestructureTableTest, AStructureThatCannotBeMadeOrAStopChangesNothing) {
  std::unique_ptr<TQXLTable> T = Subject();
  T->UpdateFieldDefs();
  T->UpdateIndexDefs();
  // The index still names the field that is renamed.
  T->RestructureFieldDefs().Find("Name")->Name = "FullName";
  std::string Log;
  EXPECT_FALSE(T->RestructureTable(Log));
  EXPECT_EQ(Log.find("Error restructuring table. Cannot create table due to error: "), 0u) << Log;
  EXPECT_EQ(RowsNow(*T), Original);
  EXPECT_EQ(Tables(), (std::vector<std::string>{"People"}));

  T->UpdateFieldDefs();
  T->UpdateIndexDefs();
  T->RestructureFieldDefs().DeleteFieldDef("Score");
  TProgressLog Progress;
  Progress.StopAt = 1;
  T->OnRestructureProgress = Progress.Handler();
  Log.clear();
  EXPECT_FALSE(T->RestructureTable(Log));
  EXPECT_EQ(Log, "Terminated by User.\r\n");
  EXPECT_EQ(T->TableName(), "People");
  EXPECT_EQ(RowsNow(*T), Original);
  EXPECT_EQ(Tables(), (std::vector<std::string>{"People"}));

  // An open table is refused.
  T->Open();
  EXPECT_ANY_THROW(T->RestructureTable());
  T->Close();
  EXPECT_EQ(RowsNow(*T), Original);
}

INSTANTIATE_TEST_SUITE_P(DiskAndMemory, RestructureTableTest, ::testing::Values("Db", "MEMORY"));

class RestructureFaultTest : public qxl::testsupport::MoversFixture {};

TEST_F(RestructureFaultTest, AWriteRefusedWhileCopyingLeavesTheFileWithTheOldTable) {
  platform::test::FaultyFileSystem Files;
  Db->Close();
  Db->SetFileSystem(Files);
  Db->Open();
  std::unique_ptr<TQXLTable> T = People(4);
  const std::vector<std::string> Before = RowsOf("Db", "People");
  // The k-th write after the new table is made fails, and so does the one
  // try again that the file layer makes after a failed write.
  for (const int K : {1, 2, 3, 6}) {
    SCOPED_TRACE(K);
    T->UpdateFieldDefs();
    T->UpdateIndexDefs();
    T->RestructureFieldDefs().Find("Score")->Name = "Points";
    T->BeforeRestructure = [&](TQXLTable&) { Files.FailWrite(K, EIO, 2); };
    int Writes = 0;
    T->AfterRestructure = [&](TQXLTable&) { Writes = Files.Writes(); };
    std::string Log;
    EXPECT_ANY_THROW(T->RestructureTable(Log));
    EXPECT_GE(Writes, K);
    EXPECT_EQ(T->TableName(), "People");
    EXPECT_EQ(RowsOf("Db", "People"), Before);
  }
  // The file, opened afresh on the real files, holds the old table alone.
  Db->Close();
  TQXLDatabase Reader;
  Reader.SetDatabaseName("Reader");
  Reader.SetDatabaseFileName(File);
  Reader.Open();
  std::vector<std::string> List;
  Reader.GetTablesList(List);
  EXPECT_EQ(List, (std::vector<std::string>{"People"}));
  EXPECT_EQ(RowsOf("Reader", "People"), Before);
}


}  // namespace
