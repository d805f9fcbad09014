// UPDATE and DELETE on a database file: values read from the row being
// changed (all of them before any is set), the table.column prefix, the
// rows a condition chooses; outside a transaction a failure midway (a
// unique key, a NOT NULL column, a value that does not convert) cancels the
// whole statement's batch after its retries, inside one the changes go with
// a rollback; and the syntax the dialect lacks.
#include <gtest/gtest.h>

#include "engine/datasets/base/Field.h"
#include "platform/Clock.h"
#include "tests/engine/sql/statements/ddl/SqlRunFixture.h"

using namespace qxl;

namespace {

class SqlUpdateDelete : public qxl::testsupport::SqlRunFixture {
protected:
  void SetUp() override {
    SqlRunFixture::SetUp();
    CreatePeople();
    Run("INSERT INTO People (ID, Name, Score) VALUES (1, 'Ann', 10), (2, 'Bob', 20), (3, 'Cy', 30), (4, NULL, 40)");
  }

  // ID:Name:Score of every row.
  std::vector<std::string> People() {
    std::unique_ptr<TQXLTable> T = Opened("People");
    std::vector<std::string> Rows;
    for (T->First(); !T->Eof(); T->Next())
      Rows.push_back(std::to_string(T->FieldByName("ID").AsInteger()) + ":" +
                     (T->FieldByName("Name").IsNull() ? "-" : T->FieldByName("Name").AsString()) + ":" +
                     std::to_string(static_cast<int>(T->FieldByName("Score").AsFloat())));
    return Rows;
  }

  const std::vector<std::string> Initial{"1:Ann:10", "2:Bob:20", "3:Cy:30", "4:-:40"};
};

TEST_F(SqlUpdateDelete, ValuesReadTheRowBeingChanged) {
  EXPECT_EQ(Run("UPDATE People SET Score = Score + 1 WHERE ID = 2"), 1);
  EXPECT_EQ(Run("UPDATE People SET People.Score = Score * 2, Name = Name || '!' WHERE Score >= 21"), 3);
  // A concatenation that starts with NULL starts from the next operand.
  EXPECT_EQ(People(), (std::vector<std::string>{"1:Ann:10", "2:Bob!:42", "3:Cy!:60", "4:!:80"}));
  // Every value reads the row as it was: a swap.
  Run("CREATE TABLE Pair (A INTEGER, B INTEGER)");
  Run("INSERT INTO Pair VALUES (1, 2)");
  EXPECT_EQ(Run("UPDATE Pair SET A = B, B = A"), 1);
  std::unique_ptr<TQXLTable> P = Opened("Pair");
  EXPECT_EQ(P->FieldByName("A").AsInteger(), 2);
  EXPECT_EQ(P->FieldByName("B").AsInteger(), 1);
  P->Close();
  // No row chosen: nothing changes and nothing is counted.
  EXPECT_EQ(Run("UPDATE People SET Score = 0 WHERE ID > 100"), 0);
  EXPECT_EQ(Run("UPDATE People p SET Score = 0 WHERE p.ID = 1"), 1);
  EXPECT_EQ(Run("UPDATE People SET Name = 'All'"), 4);
  EXPECT_EQ(People(), (std::vector<std::string>{"1:All:0", "2:All:42", "3:All:60", "4:All:80"}));
}

TEST_F(SqlUpdateDelete, DeleteChosenRowsOrAll) {
  EXPECT_EQ(Run("DELETE FROM People WHERE Score BETWEEN 15 AND 35"), 2);
  EXPECT_EQ(People(), (std::vector<std::string>{"1:Ann:10", "4:-:40"}));
  EXPECT_EQ(Run("DELETE FROM People WHERE Name IS NULL; DELETE FROM People WHERE ID = 99"), 1);
  EXPECT_EQ(Run("DELETE FROM People"), 1);
  EXPECT_TRUE(People().empty());
}

TEST_F(SqlUpdateDelete, AFailureMidwayCancelsTheWholeBatchAfterItsRuns) {
  platform::FakeClock Quick;
  platform::ScopedClock UseQuick(Quick);
  struct Case {
    const char* Sql;
    const char* Mentions;
  } Cases[] = {
      // ID 1 moves to 5 first; ID 2 then breaks the primary key.
      {"UPDATE People SET ID = 5 WHERE ID <= 2", ""},
      {"UPDATE People SET Name = CASE WHEN ID = 3 THEN 'x' ELSE 'y' END, ID = CASE WHEN ID = 3 THEN NULL ELSE ID END",
       ""},
      {"UPDATE People SET Score = CASE WHEN ID < 3 THEN '1' ELSE 'lots' END", "Score"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Sql);
    const std::uint64_t SleptBefore = Quick.SleepCount();
    const auto [Code, Message] = Failure(C.Sql);
    EXPECT_NE(Code, 0);
    EXPECT_NE(Message.find(C.Mentions), std::string::npos) << Message;
    // Fifteen runs with a pause after each of the first fourteen.
    EXPECT_GE(Quick.SleepCount() - SleptBefore, 14u);
    EXPECT_EQ(People(), Initial);
  }
  // The table is free afterwards.
  EXPECT_EQ(Run("UPDATE People SET Score = 1 WHERE ID = 1"), 1);
}

TEST_F(SqlUpdateDelete, InsideATransactionTheChangesGoWithARollback) {
  Run("START TRANSACTION; UPDATE People SET Score = 0; DELETE FROM People WHERE ID > 2");
  EXPECT_EQ(People(), (std::vector<std::string>{"1:Ann:0", "2:Bob:0"}));
  Run("ROLLBACK");
  EXPECT_EQ(People(), Initial);
  Run("START TRANSACTION; DELETE FROM People WHERE ID = 1; UPDATE People SET Name = 'z' WHERE ID = 2; COMMIT");
  EXPECT_EQ(People(), (std::vector<std::string>{"2:z:20", "3:Cy:30", "4:-:40"}));

  // A failing row inside a transaction leaves the rows before it to the transaction.
  Run("START TRANSACTION");
  EXPECT_NE(Failure("UPDATE People SET ID = 3 WHERE ID <> 3").first, 0);
  Run("ROLLBACK");
  EXPECT_EQ(People(), (std::vector<std::string>{"2:z:20", "3:Cy:30", "4:-:40"}));
}

TEST_F(SqlUpdateDelete, SyntaxTheDialectLacksIsRefused) {
  struct Case {
    const char* Sql;
    std::int32_t Code;
    const char* Message;
  } Cases[] = {
      {"UPDATE , SET A = 1", 30217, "Table name expected, but ',' found at line 1, column 8"},
      {"UPDATE People WHERE Score = 1", 30220, "Token 'SET' expected, but 'WHERE' found at line 1, column 15"},
      {"UPDATE People SET Score 1", 30221, "Token '=' expected, but '1' found at line 1, column 25"},
      {"UPDATE People p SET p.Score = 1", 30221, "Token '=' expected, but '.' found at line 1, column 22"},
      {"UPDATE People SET Score = 1 Name = 'x'", 30222, "Token ',' expected, but 'Name' found at line 1, column 29"},
      {"UPDATE People SET Score = 1 LIMIT 1", 30222, "Token ',' expected, but 'LIMIT' found at line 1, column 29"},
      {"UPDATE People SET Score = 1,", 30223, "Unexpected end of SQL command found at line 1, column 28"},
      {"UPDATE People SET Score = )", 30060, "Unexpected symbol ')' found at line 1, column 27"},
      {"UPDATE People SET (Score, Name) Score", 30495, "Token '=' expected, but 'Score' found at line 1, column 33"},
      {"UPDATE People SET Score = 1 WHERE ID != 2", 20260,
       "End of SQL command expected, but '!' found at line 1, column 38"},
      {"DELETE People", 30184, "Token 'FROM' expected, but 'People' found at line 1, column 8"},
      {"DELETE FROM People WHERE ID = 1 LIMIT 1", 20260,
       "End of SQL command expected, but 'LIMIT' found at line 1, column 33"},
      {"DELETE FROM People WHERE ID = 1 ORDER BY ID", 20260,
       "End of SQL command expected, but 'ORDER' found at line 1, column 33"},
      {"DELETE FROM , x", 30180, "Table name expected, but ',' found at line 1, column 13"},
      {"UPDATE People SET Nope = 1", -1, "Nope"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Sql);
    const auto [Code, Message] = Failure(C.Sql);
    EXPECT_EQ(Code, C.Code);
    if (C.Code == -1)
      EXPECT_NE(Message.find(C.Message), std::string::npos) << Message;
    else
      EXPECT_EQ(Message.rfind(C.Message, 0), 0u) << Message;
  }
  EXPECT_EQ(People(), Initial);
}

}  // namespace
