// The query component over tables of a database file: a live result edited
// through the query and one that is read-only (and runs again on Refresh),
// SELECT INTO a table of another database file, a text of several statements
// that fails midway, and a detail query that follows its master's record.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/abstract/QXLDatabaseDataList.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/QXLAdvIndexDefs.h"
#include "engine/datasets/QXLMain.h"
#include "engine/datasets/base/DataLink.h"
#include "engine/datasets/base/DatabaseError.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/components/QXLDatabase.h"
#include "engine/datasets/table/QXLTable.h"
#include "engine/sql/expr/QXLExpressionServices.h"
#include "engine/sql/query/QXLQuery.h"
#include "tests/engine/storage/StorageTestUtil.h"

using namespace qxl;

namespace {

class QueryTables : public ::testing::Test {
protected:
  void SetUp() override {
    RegisterSQLExpressions();
    MakeFile(File);
    Db = std::make_unique<TQXLDatabase>();
    Db->SetDatabaseName("Db");
    Db->SetDatabaseFileName(File);
    Db->MultiUser = true;
    Db->Open();
    TQXLTable People;
    People.SetDatabaseName("Db");
    People.SetTableName("People");
    People.AdvFieldDefs().Add("Id", aftInteger, 0, true);
    People.AdvFieldDefs().Add("Name", aftString, 20, false);
    People.AdvFieldDefs().Add("Score", aftInteger, 0, false);
    People.AdvIndexDefs().Add("ById", "Id", TIndexOptions{ixPrimary});
    People.CreateTable();
    People.Open();
    for (std::int32_t Id = 1; Id <= 4; ++Id) AddRow(People, Id, "P" + std::to_string(Id), Id * 10);
    People.Close();
    Query.SetDatabaseName("Db");
  }
  void TearDown() override {
    Query.Close();
    Db.reset();
    UnregisterSQLExpressions();
  }

  static void MakeFile(const std::string& Name) {
    TQXLDatabase Maker;
    Maker.SetDatabaseName("Maker");
    Maker.SetDatabaseFileName(Name);
    Maker.PageSize = 1024;
    Maker.CreateDatabase();
  }
  static void AddRow(TQXLTable& T, std::int32_t Id, const std::string& Name, std::int32_t Score) {
    T.Append();
    T.FieldByName("Id").SetAsInteger(Id);
    T.FieldByName("Name").SetAsString(Name);
    T.FieldByName("Score").SetAsInteger(Score);
    T.Post();
  }
  std::unique_ptr<TQXLTable> Table(const std::string& Name, const std::string& Database = "Db") {
    auto T = std::make_unique<TQXLTable>();
    T->SetDatabaseName(Database);
    T->SetTableName(Name);
    return T;
  }
  // The values of one column over the rows of Data, in its order.
  static std::vector<std::string> Column(TDataSet& Data, const char* Name) {
    std::vector<std::string> Values;
    for (Data.First(); !Data.Eof(); Data.Next()) Values.push_back(Data.FieldByName(Name).AsString());
    return Values;
  }
  void Run(const std::string& Sql, bool Live) {
    Query.Close();
    Query.SetSQL({Sql});
    Query.SetRequestLive(Live);
    Query.Open();
  }

  TQXLEngineScope Engine;
  TScratchDir Dir;
  std::string File = Dir.File("main.qxl");
  std::unique_ptr<TQXLDatabase> Db;
  TQXLQuery Query;
};

using Strings = std::vector<std::string>;

TEST_F(QueryTables, OnlyAPlainTableAskedForLiveIsEditable) {
  struct Case {
    const char* Sql;
    bool Live;
    bool ReadOnly;
  } Cases[] = {
      {"SELECT * FROM People WHERE Id > 1 ORDER BY Score DESC", true, false},
      {"SELECT Id, Name FROM People", true, false},
      {"SELECT * FROM People WHERE Id > 1", false, true},
      {"SELECT TOP 2 * FROM People", true, true},
      {"SELECT Id, Score + 1 AS S FROM People", true, true},
      {"SELECT Name, COUNT(*) FROM People GROUP BY Name", true, true},
      {"SELECT a.Id FROM People a JOIN People b ON a.Id = b.Id", true, true},
      {"SELECT Id FROM People UNION SELECT Id FROM People", true, true},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Sql);
    Run(C.Sql, C.Live);
    EXPECT_EQ(Query.ReadOnly(), C.ReadOnly);
    EXPECT_EQ(Query.CanModify(), !C.ReadOnly);
  }
}

TEST_F(QueryTables, ALiveResultIsEditedThroughTheQuery) {
  Run("SELECT * FROM People WHERE Score >= 20 ORDER BY Score DESC", true);
  ASSERT_FALSE(Query.ReadOnly());
  EXPECT_EQ(Column(Query, "Id"), (Strings{"4", "3", "2"}));
  Query.First();
  Query.Edit();
  Query.FieldByName("Name").SetAsString("Changed");
  Query.Post();
  Query.Close();
  std::unique_ptr<TQXLTable> People = Table("People");
  People->Open();
  EXPECT_EQ(Column(*People, "Name"), (Strings{"P1", "P2", "P3", "Changed"}));
}

TEST_F(QueryTables, AReadOnlyResultRefusesEditsAndRunsAgainOnRefresh) {
  Run("SELECT Id, Name FROM People WHERE Id > 2", false);
  ASSERT_TRUE(Query.ReadOnly());
  EXPECT_THROW(Query.Edit(), EDatabaseError);
  {
    std::unique_ptr<TQXLTable> People = Table("People");
    People->Open();
    AddRow(*People, 5, "P5", 50);
  }
  EXPECT_EQ(Column(Query, "Id"), (Strings{"3", "4"}));
  Query.Refresh();
  EXPECT_EQ(Column(Query, "Id"), (Strings{"3", "4", "5"}));
}

TEST_F(QueryTables, SelectIntoUsesTheDatabaseItNames) {
  const std::string Other = Dir.File("other.qxl");
  MakeFile(Other);
  Query.SetSQL({"SELECT Id, Name INTO \"" + Other + "\".Copied FROM People WHERE Id <= 2"});
  Query.ExecSQL();
  // The copy is in the other file, not in the query's own database.
  EXPECT_FALSE(Table("Copied")->Exists());
  TQXLDatabase OtherDb;
  OtherDb.SetDatabaseName("Other");
  OtherDb.SetDatabaseFileName(Other);
  OtherDb.MultiUser = true;
  OtherDb.Open();
  std::unique_ptr<TQXLTable> Copied = Table("Copied", "Other");
  Copied->Open();
  EXPECT_EQ(Column(*Copied, "Name"), (Strings{"P1", "P2"}));
  Copied->Close();
  // And it reads back through SQL by the same name.
  Run("SELECT Name FROM \"" + Other + "\".Copied ORDER BY Name DESC", false);
  EXPECT_EQ(Column(Query, "Name"), (Strings{"P2", "P1"}));
}

TEST_F(QueryTables, AFailingStatementStopsTheTextAndNamesItself) {
  Query.SetSQL({"SELECT * INTO MEMORY First FROM People;", "SELECT Nope FROM People;",
                "SELECT * INTO MEMORY Third FROM People"});
  try {
    Query.ExecSQL();
    FAIL() << "the text ran";
  } catch (const EQXLException& E) {
    EXPECT_EQ(E.NativeError, 10305) << E.Message;
    EXPECT_EQ(E.Message.rfind("SQL statement 2 of 3: ", 0), 0u) << E.Message;
  }
  // The first statement stays done, the third never ran.
  EXPECT_TRUE(Table("First", "MEMORY")->Exists());
  EXPECT_FALSE(Table("Third", "MEMORY")->Exists());
  EXPECT_EQ(Query.StmtHandle(), nullptr);
  // Nothing of the failed run holds People.
  std::unique_ptr<TQXLTable> People = Table("People");
  People->SetExclusive(true);
  EXPECT_NO_THROW(People->Open());
}

TEST_F(QueryTables, ADetailQueryFollowsItsMaster) {
  std::unique_ptr<TQXLTable> Master = Table("People");
  Master->Open();
  TDataSource Source;
  Source.SetDataSet(Master.get());
  Query.SetSQL({"SELECT Score FROM People WHERE Id = :Id"});
  Query.SetDataSource(&Source);
  Query.Open();
  EXPECT_EQ(Column(Query, "Score"), (Strings{"10"}));
  std::vector<TField*> MasterFields, DetailFields;
  Query.GetDetailLinkFields(MasterFields, DetailFields);
  ASSERT_EQ(MasterFields.size(), 1u);
  EXPECT_EQ(MasterFields[0], &Master->FieldByName("Id"));
  EXPECT_TRUE(DetailFields.empty());
  Master->Next();
  EXPECT_EQ(Column(Query, "Score"), (Strings{"20"}));
  Master->Last();
  EXPECT_EQ(Column(Query, "Score"), (Strings{"40"}));
  Query.Close();
  Query.SetDataSource(nullptr);
}

TEST_F(QueryTables, AnOpenQueryKeepsItsResultUntilItsTextChanges) {
  Run("SELECT Id FROM People WHERE Id < 3", false);
  EXPECT_THROW(Query.ExecSQL(), EDatabaseError);
  try {
    Query.Prepare();
    ADD_FAILURE() << "an open query was prepared";
  } catch (const EQXLException& E) {
    EXPECT_EQ(E.NativeError, 30141);
  }
  // The same text again leaves the query open; another line closes it.
  Query.SetSQL({"SELECT Id FROM People WHERE Id < 3"});
  EXPECT_TRUE(Query.Active());
  EXPECT_EQ(Column(Query, "Id"), (Strings{"1", "2"}));
  Query.SQL().Add("AND Id > 1");
  EXPECT_FALSE(Query.Active());
  Query.Open();
  EXPECT_EQ(Column(Query, "Id"), (Strings{"2"}));
  // An ExecSQL of a query text with a result keeps no handle and no count.
  Query.Close();
  Query.ExecSQL();
  EXPECT_EQ(Query.StmtHandle(), nullptr);
  EXPECT_FALSE(Query.Active());
}

TEST_F(QueryTables, FailedAndClosedQueriesLeaveNoTemporaryTable) {
  auto TempTables = [] {
    TQXLDatabaseData* Temp =
        DatabaseDataList().Find([](const TQXLDatabaseData& D) { return D.DatabaseName() == "TEMP"; });
    return Temp ? Temp->TableDataCount() : -1;
  };
  const std::int32_t Before = TempTables();
  ASSERT_GE(Before, 0);
  struct Case {
    const char* Sql;
    std::int32_t Code;
  } Cases[] = {
      // Fails while the rows are copied, after temporary tables were made.
      {"SELECT a.Id FROM People a JOIN People b ON a.Id = b.Id WHERE a.Score + b.Score > (SELECT Id FROM People)", 0},
      {"SELECT Name, COUNT(*) FROM People GROUP BY Name ORDER BY 9", 20243},
      {"SELECT a.Id FROM People a JOIN People b ON a.Id = b.Id ORDER BY Nope", 30195},
      {"SELECT Id FROM People WHERE Id IN (SELECT Id, Name FROM People)", 0},
      {"SELECT Id FROM People UNION SELECT Nope FROM People", 10305},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Sql);
    Query.Close();
    Query.SetSQL({C.Sql});
    try {
      Query.Open();
      ADD_FAILURE() << "the query ran";
    } catch (const EQXLException& E) {
      if (C.Code != 0) {
        EXPECT_EQ(E.NativeError, C.Code) << E.Message;
      }
    }
    EXPECT_FALSE(Query.Active());
    EXPECT_EQ(TempTables(), Before);
  }
  // A result that lives in a temporary table goes with the closing query.
  Run("SELECT a.Name FROM People a JOIN People b ON a.Id = b.Id ORDER BY 1 DESC", false);
  EXPECT_EQ(Column(Query, "Name"), (Strings{"P4", "P3", "P2", "P1"}));
  EXPECT_GT(TempTables(), Before);
  Query.Close();
  EXPECT_EQ(TempTables(), Before);
}

}  // namespace
