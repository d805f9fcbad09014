// INSERT with VALUES on a database file: several rows, columns by list and by
// position, defaults for the columns not given, expressions and parameters
// as values, every row's length checked against the column list before
// anything is stored, a value that does not convert named by its column,
// and a failing row cancelled while the rows before it stay.
#include <gtest/gtest.h>

#include "engine/datasets/base/Field.h"
#include "tests/engine/sql/statements/ddl/SqlRunFixture.h"

using namespace qxl;

namespace {

class SqlInsert : public qxl::testsupport::SqlRunFixture {
protected:
  struct Row {
    std::int32_t Id;
    std::string Name;
    double Score;
    bool operator==(const Row&) const = default;
  };
  std::vector<Row> People() {
    std::unique_ptr<TQXLTable> T = Opened("People");
    std::vector<Row> Rows;
    for (T->First(); !T->Eof(); T->Next())
      Rows.push_back({T->FieldByName("ID").AsInteger(),
                      T->FieldByName("Name").IsNull() ? "<null>" : T->FieldByName("Name").AsString(),
                      T->FieldByName("Score").AsFloat()});
    return Rows;
  }
};

TEST_F(SqlInsert, RowsByListAndByPosition) {
  CreatePeople();
  EXPECT_EQ(Run("INSERT INTO People VALUES (1, 'Ann', 1.5), (2, 'Bob', 2 * 3)"), 2);
  EXPECT_EQ(Run("INSERT INTO People (Score, ID) VALUES (-1, 3)"), 1);
  EXPECT_EQ(Run("INSERT INTO People (ID, Name) VALUES (4, UPPER('d') || 'an'), (5, NULL)"), 2);
  EXPECT_EQ(Run("INSERT INTO People (ID) VALUES (6); INSERT INTO People (ID) VALUES (7), (8)"), 3);
  EXPECT_EQ(People(), (std::vector<Row>{{1, "Ann", 1.5},
                                        {2, "Bob", 6},
                                        {3, "<null>", -1},
                                        {4, "Dan", 0},
                                        {5, "<null>", 0},
                                        {6, "<null>", 0},
                                        {7, "<null>", 0},
                                        {8, "<null>", 0}}));
}

TEST_F(SqlInsert, ColumnsNotGivenTakeTheirDefaults) {
  Run("CREATE TABLE T (Id AUTOINC, Name VARCHAR(10) DEFAULT 'none', Qty INTEGER DEFAULT 5 NULL, Made DATE)");
  Run("INSERT INTO T (Made) VALUES ('2024-02-29'), (NULL)");
  Run("INSERT INTO T (Name, Qty) VALUES ('x', NULL)");
  std::unique_ptr<TQXLTable> T = Opened("T");
  T->First();
  EXPECT_EQ(T->FieldByName("Id").AsInteger(), 1);
  EXPECT_EQ(T->FieldByName("Name").AsString(), "none");
  EXPECT_EQ(T->FieldByName("Qty").AsInteger(), 5);
  EXPECT_FALSE(T->FieldByName("Made").IsNull());
  T->Next();
  EXPECT_EQ(T->FieldByName("Id").AsInteger(), 2);
  EXPECT_TRUE(T->FieldByName("Made").IsNull());
  T->Next();
  EXPECT_EQ(T->FieldByName("Name").AsString(), "x");
  EXPECT_TRUE(T->FieldByName("Qty").IsNull());
}

TEST_F(SqlInsert, ParametersAndATableOfAnotherDatabaseFile) {
  const std::string Other = Dir.File("other.qxl");
  TQXLDatabase Maker;
  Maker.SetDatabaseName("OtherMaker");
  Maker.SetDatabaseFileName(Other);
  Maker.PageSize = 1024;
  Maker.CreateDatabase();
  Run("CREATE TABLE \"" + Other + "\".T (A INTEGER, B VARCHAR(10))");
  EXPECT_EQ(Run("INSERT INTO \"" + Other + "\".T VALUES (1, 'one')"), 1);
  EXPECT_FALSE(NewTable("T")->Exists());

  TQXLDataSet Query;
  Query.SetDatabaseName("Db");
  TQXLLocalSQLProcessor Processor(&Query);
  Processor.SQLParams().AddCreated()->SetAsInteger(7);
  Processor.SQLParams().GetValue(0)->Name = "id";
  Processor.SQLParams().AddCreated()->SetAsAnsiString("People");
  Processor.SQLParams().GetValue(1)->Name = "t";
  CreatePeople();
  Processor.PrepareStatement("INSERT INTO :t (ID, Name) VALUES (:id, 'p' || :id)");
  Processor.ExecuteQuery();
  EXPECT_EQ(Processor.FRowsAffected, 1);
  EXPECT_EQ(People(), (std::vector<Row>{{7, "p7", 0}}));
}

TEST_F(SqlInsert, EveryRowMustFitTheColumnList) {
  CreatePeople();
  struct Case {
    const char* Sql;
    std::int32_t Code;
    const char* Message;
  } Cases[] = {
      {"INSERT INTO People (ID, Name) VALUES (1, 'a', 2)", 20259,
       "Number of field names does not equal the number of field values: 2 <> 3. Found at line 1, column 38"},
      // A later row of another length is refused too, before any row is stored.
      {"INSERT INTO People (ID, Name) VALUES (1, 'a'),\n (2)", 20259,
       "Number of field names does not equal the number of field values: 2 <> 1. Found at line 2, column 2"},
      {"INSERT INTO People (ID, Name) VALUES (1, 'a'), (2, 'b', 3)", 20259,
       "Number of field names does not equal the number of field values: 2 <> 3. Found at line 1, column 48"},
      {"INSERT INTO People VALUES (1, 'a', 2, 'n', 5)", 20259,
       "Number of field names does not equal the number of field values: 4 <> 5. Found at line 1, column 27"},
      {"INSERT People VALUES (1)", 30206, "Token 'INTO' expected, but 'People' found at line 1, column 8"},
      {"INSERT", 30205, "Unexpected end of SQL command found at line 1, column 1"},
      {"INSERT INTO , x", 30207, "Table name expected, but ',' found at line 1, column 13"},
      {"INSERT INTO MEMORY ,", 30208, "Table name expected, but ',' found at line 1, column 20"},
      {"INSERT INTO People", 30209, "Unexpected end of SQL command found at line 1, column 13"},
      {"INSERT INTO x., VALUES (1)", 30493, "Table name expected, but ',' found at line 1, column 15"},
      {"INSERT INTO People PASSWORD x", 30210,
       "Quoted password expected (for PASSWORD \"passwordData\"), but 'x' found at line 1, column 29"},
      {"INSERT INTO People PASSWORD 'x'", 30211, "Unexpected end of SQL command found at line 1, column 29"},
      {"INSERT INTO People (5) VALUES (1)", 2156, "Field name expected, but '5' found at line 1, column 21"},
      {"INSERT INTO People (ID Name) VALUES (1)", 30212,
       "')' or ',' symbol expected, but 'Name' found at line 1, column 24"},
      {"INSERT INTO People (ID)", 30213, "Unexpected end of SQL command found at line 1, column 23"},
      {"INSERT INTO People VALUES 1", 30214, "'(' symbol expected, but '1' found at line 1, column 27"},
      // An unclosed row is refused when the text is cut into tokens.
      {"INSERT INTO People VALUES (1,", 30059, "Missing symbol ')' at line 1, column 27"},
      {"INSERT INTO People (ID) x", 30213, "Unexpected end of SQL command found at line 1, column 25"},
      {"INSERT INTO People VALUES (1, )", 30357, "Error parsing parameter ')' at line 1, column 31"},
      {"INSERT INTO People VALUES (1 2)", 30212, "')' or ',' symbol expected, but '2' found at line 1, column 30"},
      {"INSERT INTO People VALUES (1) LIMIT 1", 20260,
       "End of SQL command expected, but 'LIMIT' found at line 1, column 31"},
      {"INSERT INTO People (ID) VALUES (1 != 2)", 30212,
       "')' or ',' symbol expected, but '!' found at line 1, column 35"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Sql);
    const auto [Code, Message] = Failure(C.Sql);
    EXPECT_EQ(Code, C.Code);
    EXPECT_EQ(Message.rfind(C.Message, 0), 0u) << Message;
  }
  EXPECT_TRUE(People().empty());
}

TEST_F(SqlInsert, AFailingRowIsCancelledAndTheRowsBeforeItStay) {
  CreatePeople();
  // The third row breaks the primary key; the fourth is never tried.
  const auto [Code, Message] = Failure("INSERT INTO People (ID, Name) VALUES (1, 'a'), (2, 'b'), (1, 'c'), (3, 'd')");
  EXPECT_NE(Code, 0);
  EXPECT_EQ(People(), (std::vector<Row>{{1, "a", 0}, {2, "b", 0}}));

  // A value that does not convert names its column.
  const auto [BadCode, BadMessage] = Failure("INSERT INTO People (ID, Score) VALUES (5, 'lots')");
  EXPECT_NE(BadCode, 0);
  EXPECT_NE(BadMessage.find("Score"), std::string::npos) << BadMessage;
  // A NOT NULL column left empty.
  EXPECT_NE(Failure("INSERT INTO People (Name) VALUES ('nobody')").first, 0);
  // A column that is not there.
  const auto [MissingCode, MissingMessage] = Failure("INSERT INTO People (ID, Nope) VALUES (6, 1)");
  EXPECT_NE(MissingCode, 0);
  EXPECT_NE(MissingMessage.find("Nope"), std::string::npos) << MissingMessage;
  EXPECT_EQ(People(), (std::vector<Row>{{1, "a", 0}, {2, "b", 0}}));

  // The table is usable afterwards: nothing was left in insert state or locked.
  EXPECT_EQ(Run("INSERT INTO People (ID, Name) VALUES (3, 'c')"), 1);
}

}  // namespace
