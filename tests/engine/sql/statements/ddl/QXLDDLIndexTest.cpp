// CREATE [UNIQUE] INDEX and DROP INDEX on a database file: the columns'
// order and case options, the index in the query's database and in a
// database file named in the text, the password item, and the positioned
// parse errors.
#include <gtest/gtest.h>

#include "tests/engine/sql/statements/ddl/SqlRunFixture.h"

using namespace qxl;

namespace {

class DDLIndex : public qxl::testsupport::SqlRunFixture {
protected:
  // The definition of index Name of table Table as stored; nullptr when it is not there.
  std::unique_ptr<TQXLAdvIndexDef> Stored(const std::string& Table, const std::string& Name) {
    std::unique_ptr<TQXLTable> T = Opened(Table);
    const TQXLAdvIndexDef* D = T->AdvIndexDefs().Find(Name);
    if (!D) return nullptr;
    auto Copy = std::make_unique<TQXLAdvIndexDef>();
    Copy->Assign(*D);
    return Copy;
  }
};

TEST_F(DDLIndex, CreateIndexTakesEachColumnsOptions) {
  Run("CREATE TABLE Clients (Id INTEGER, Client VARCHAR(40), A INTEGER, B VARCHAR(5))");
  Run("CREATE UNIQUE INDEX ByName ON Clients (Client NOCASE, Id DESC)");
  Run("CREATE INDEX X ON Clients (A ASC DESC, B NOCASE CASE)");
  Run("CREATE INDEX \"Y Z\" ON Clients (B, A junk words)");
  struct Case {
    const char* Name;
    const char* Fields;
    const char* Desc;
    const char* CaseIns;
    bool Unique;
  } Cases[] = {
      {"ByName", "Client;Id", "Id", "Client", true},
      {"X", "A;B", "A", "", false},
      {"Y Z", "B;A", "", "", false},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    std::unique_ptr<TQXLAdvIndexDef> D = Stored("Clients", C.Name);
    ASSERT_NE(D, nullptr);
    EXPECT_EQ(D->Fields, C.Fields);
    EXPECT_EQ(D->DescFields, C.Desc);
    EXPECT_EQ(D->CaseInsFields, C.CaseIns);
    EXPECT_EQ(D->Options.Contains(ixUnique), C.Unique);
  }

  // The unique index refuses a second client of the same name in any letter case.
  Run("INSERT INTO Clients (Id, Client) VALUES (1, 'Ann')");
  EXPECT_NE(Failure("INSERT INTO Clients (Id, Client) VALUES (1, 'ANN')").first, 0);

  Run("DROP INDEX Clients.X");
  EXPECT_EQ(Stored("Clients", "X"), nullptr);
  EXPECT_NE(Stored("Clients", "ByName"), nullptr);
  // Dropping it again is the table component's error, unchanged.
  EXPECT_NE(Failure("DROP INDEX Clients.X").first, 0);
}

TEST_F(DDLIndex, IndexesOfATableInAnotherDatabaseFile) {
  const std::string Other = Dir.File("other.qxl");
  TQXLDatabase Maker;
  Maker.SetDatabaseName("OtherMaker");
  Maker.SetDatabaseFileName(Other);
  Maker.Password = "pw";
  Maker.PageSize = 1024;
  Maker.CreateDatabase();
  Run("CREATE TABLE \"" + Other + "\".T PASSWORD 'pw' (A INTEGER, B INTEGER)");
  Run("CREATE INDEX IA ON \"" + Other + "\".T (A, PASSWORD 'pw')");
  Run("CREATE INDEX IB ON \"" + Other + "\".T PASSWORD 'pw' (B DESC)");
  Run("DROP INDEX \"" + Other + "\".T.IA PASSWORD 'pw'");

  TQXLDatabase Check;
  Check.SetDatabaseName("Check");
  Check.SetDatabaseFileName(Other);
  Check.Password = "pw";
  Check.Open();
  TQXLTable T;
  T.SetDatabaseName("Check");
  T.SetTableName("T");
  T.Open();
  EXPECT_EQ(T.AdvIndexDefs().Find("IA"), nullptr);
  ASSERT_NE(T.AdvIndexDefs().Find("IB"), nullptr);
  EXPECT_EQ(T.AdvIndexDefs().Find("IB")->DescFields, "B");
  T.Close();
  // The query's own database has no such table.
  EXPECT_FALSE(NewTable("T")->Exists());
}

TEST_F(DDLIndex, ParseErrorsNameWhatTheyFoundAndWhere) {
  struct Case {
    const char* Sql;
    std::int32_t Code;
    const char* Message;
  } Cases[] = {
      {"CREATE UNIQUE", 30161, "Unexpected end of SQL command found at line 1, column 8"},
      {"CREATE UNIQUE X", 30267, "'INDEX' keyword expected, but 'X' found at line 1, column 15"},
      {"CREATE UNIQUE TABLE X", 30268, "'INDEX' keyword expected, but 'TABLE' found at line 1, column 15"},
      {"CREATE INDEX 5 ON T (A)", 30269, "index name expected, but '5' found at line 1, column 14"},
      {"CREATE INDEX X T (A)", 30270, "'ON' keyword expected, but 'T' found at line 1, column 16"},
      {"CREATE INDEX X FROM T (A)", 30271, "'ON' keyword expected, but 'FROM' found at line 1, column 16"},
      {"CREATE INDEX X ON T A", 30273, "'(' symbol expected, but 'A' found at line 1, column 21"},
      {"CREATE INDEX X ON T (5)", 30274, "Field name expected, but '5' found at line 1, column 22"},
      {"CREATE INDEX X ON T (PASSWORD x)", 30275,
       "Quoted password expected (for PASSWORD \"passwordData\"), but 'x' found at line 1, column 31"},
      {"CREATE INDEX X ON T (PASSWORD 'p' A)", 30276, "')' or ',' symbol expected, but 'A' found at line 1, column 35"},
      {"DROP INDEX", 30278, "Unexpected end of SQL command found at line 1, column 6"},
      {"DROP INDEX X", 30498, "Table name expected, but 'X' found at line 1, column 12"},
      {"DROP INDEX Db.T.", 30281, "Unexpected end of SQL command found at line 1, column 16"},
      {"DROP INDEX Db.T.X PASSWORD x", 30282,
       "Quoted password expected (for PASSWORD \"passwordData\"), but 'x' found at line 1, column 28"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Sql);
    const auto [Code, Message] = Failure(C.Sql);
    EXPECT_EQ(Code, C.Code);
    EXPECT_EQ(Message.rfind(C.Message, 0), 0u) << Message;
  }
}

}  // namespace
