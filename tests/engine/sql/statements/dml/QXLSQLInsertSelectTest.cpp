// INSERT with SELECT when it fails: a row that breaks a key or a value that
// does not fit cancels the whole statement's batch (nothing of it stays),
// and the temporary copy of the SELECT's rows is gone afterwards whether the
// statement succeeded or failed. The successful forms are in the script
// tests (tests/engine/sql/scripts/dml_insert_select.sqlt).
#include <gtest/gtest.h>

#include "engine/datasets/base/Field.h"
#include "tests/engine/sql/statements/ddl/SqlRunFixture.h"

using namespace qxl;

namespace {

class SqlInsertSelect : public qxl::testsupport::SqlRunFixture {
protected:
  void SetUp() override {
    SqlRunFixture::SetUp();
    CreatePeople();
    Run("INSERT INTO People (ID, Name, Score) VALUES (1, 'Ann', 1), (2, 'Bob', 2), (3, 'Cy', 3)");
    Run("CREATE TABLE Copy (Id INTEGER NOT NULL, Label VARCHAR(5), Amount INTEGER, PRIMARY KEY (Id))");
  }

  std::vector<std::int32_t> CopyIds() {
    std::unique_ptr<TQXLTable> T = Opened("Copy");
    return Forward(*T, "Id");
  }

  // The tables of the process's temporary database that an INSERT copied
  // its rows into, listed through a table of that database made for the look.
  std::vector<std::string> LeftCopies() {
    TQXLTable Probe;
    Probe.SetTemporary(true);
    Probe.SetTableName("ProbeOfTemp");
    Probe.AdvFieldDefs().Add("A", aftInteger, 0, false);
    Probe.CreateTable();
    Probe.Open();
    std::vector<std::string> Tables, Copies;
    Probe.Database()->GetTablesList(Tables);
    Probe.Close();
    Probe.DeleteTable();
    for (const std::string& Name : Tables)
      if (Name.rfind("TmpTableForInsert", 0) == 0) Copies.push_back(Name);
    if (Tables.empty()) ADD_FAILURE() << "the temporary database lists no table, not even the probe";
    return Copies;
  }
};

TEST_F(SqlInsertSelect, AFailingRowCancelsTheWholeStatement) {
  {
    // The look at the temporary database sees such a copy when there is one.
    TQXLTable Probe;
    Probe.SetTemporary(true);
    Probe.SetTableName("TmpTableForInsertProbe");
    Probe.AdvFieldDefs().Add("A", aftInteger, 0, false);
    Probe.CreateTable();
    EXPECT_EQ(LeftCopies(), (std::vector<std::string>{"TmpTableForInsertProbe"}));
    Probe.DeleteTable();
  }
  EXPECT_EQ(Run("INSERT INTO Copy (Id) SELECT ID + 10 FROM People"), 3);
  EXPECT_TRUE(LeftCopies().empty());
  struct Case {
    const char* Sql;
    const char* Mentions;
  } Cases[] = {
      // 4 and 5 go in first; the third row's 11 is there already.
      {"INSERT INTO Copy (Id) SELECT CASE WHEN ID = 3 THEN 11 ELSE ID + 3 END FROM People", ""},
      {"INSERT INTO Copy (Id, Label) SELECT ID + 20, Name || ' and more' FROM People", "Label"},
      {"INSERT INTO Copy (Id, Amount) SELECT ID + 30, Name FROM People", "Amount"},
      {"INSERT INTO Copy (Label) SELECT Name FROM People", ""},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Sql);
    const auto [Code, Message] = Failure(C.Sql);
    EXPECT_NE(Code, 0);
    EXPECT_NE(Message.find(C.Mentions), std::string::npos) << Message;
    EXPECT_EQ(CopyIds(), (std::vector<std::int32_t>{11, 12, 13}));
    EXPECT_TRUE(LeftCopies().empty());
  }
  // Refused before the copy is made.
  EXPECT_EQ(Failure("INSERT INTO Copy (Id) SELECT ID, Name FROM People").first, 20259);
  EXPECT_EQ(Failure("INSERT INTO Copy (Id) SELECT ID FROM Missing").first, 10303);
  EXPECT_TRUE(LeftCopies().empty());
}

TEST_F(SqlInsertSelect, InsideATransactionTheRowsGoWithARollback) {
  Run("START TRANSACTION; INSERT INTO Copy (Id, Label) SELECT ID, Name FROM People; ROLLBACK");
  EXPECT_TRUE(CopyIds().empty());
  Run("START TRANSACTION; INSERT INTO Copy (Id, Label) SELECT ID, Name FROM People WHERE ID > 1; COMMIT");
  EXPECT_EQ(CopyIds(), (std::vector<std::int32_t>{2, 3}));
  EXPECT_TRUE(LeftCopies().empty());
}

}  // namespace
