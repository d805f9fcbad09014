// START TRANSACTION, COMMIT and ROLLBACK in SQL text: the changes between
// them kept or dropped, the FLUSH option, a second START and a ROLLBACK
// without a transaction refused by the database component, and the parse
// errors.
#include <gtest/gtest.h>

#include "engine/sql/statements/ddl/QXLTransactionStatements.h"
#include "tests/engine/sql/statements/ddl/SqlRunFixture.h"

using namespace qxl;

namespace {

class TransactionStatements : public qxl::testsupport::SqlRunFixture {
protected:
  std::vector<std::int32_t> PeopleIds() {
    std::unique_ptr<TQXLTable> T = Opened("People");
    return Forward(*T);
  }
};

TEST_F(TransactionStatements, CommittedChangesStayAndRolledBackOnesGo) {
  CreatePeople();
  Run("START TRANSACTION; INSERT INTO People (ID, Name) VALUES (1, 'a'), (2, 'b'); ROLLBACK");
  EXPECT_TRUE(PeopleIds().empty());
  EXPECT_FALSE(Db->InTransaction());

  Run("START TRANSACTION; INSERT INTO People (ID, Name) VALUES (3, 'c'); COMMIT WORK");
  EXPECT_EQ(PeopleIds(), (std::vector<std::int32_t>{3}));

  // Statements of separate texts share the database's transaction.
  Run("START TRANSACTION WORK");
  EXPECT_TRUE(Db->InTransaction());
  Run("INSERT INTO People (ID) VALUES (4)");
  Run("ROLLBACK WORK");
  Run("START TRANSACTION");
  Run("INSERT INTO People (ID) VALUES (5)");
  Run("COMMIT FLUSH");
  EXPECT_EQ(PeopleIds(), (std::vector<std::int32_t>{3, 5}));
  Run("START TRANSACTION; ROLLBACK TRANSACTION");
  EXPECT_FALSE(Db->InTransaction());
}

TEST_F(TransactionStatements, TheDatabaseComponentRefusesWhatItCannotDo) {
  CreatePeople();
  const auto [Code, Message] = Failure("ROLLBACK");
  EXPECT_EQ(Code, 20229);
  EXPECT_NE(Message.find("Database is not within a transaction"), std::string::npos) << Message;
  EXPECT_EQ(Failure("COMMIT").first, 20229);

  // The second START fails; the first one's transaction is still there to roll back.
  const auto [SecondCode, SecondMessage] =
      Failure("START TRANSACTION; INSERT INTO People (ID) VALUES (1); START TRANSACTION");
  EXPECT_EQ(SecondCode, -1);
  EXPECT_NE(SecondMessage.find("Database is already within a transaction"), std::string::npos) << SecondMessage;
  EXPECT_TRUE(Db->InTransaction());
  Run("ROLLBACK");
  EXPECT_TRUE(PeopleIds().empty());
}

TEST_F(TransactionStatements, CommitFlushesWhenFlushStandsAnywhereAfterIt) {
  struct Case {
    const char* Sql;
    bool Flush;
  } Cases[] = {
      {"COMMIT", false},
      {"COMMIT WORK", false},
      {"COMMIT FLUSH", true},
      {"COMMIT WORK FLUSH", true},
      {"COMMIT TRANSACTION anything FLUSH", true},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Sql);
    TQXLLexer L(C.Sql, nullptr, false);
    L.GetNextCommand();
    L.SetCurrentTokenNo(0);
    EXPECT_EQ(TQXLSQLCommand::Make<TQXLSQLCommit>(L, nullptr)->FFlush, C.Flush);
  }
}

TEST_F(TransactionStatements, ParseErrors) {
  struct Case {
    const char* Sql;
    std::int32_t Code;
    const char* Message;
  } Cases[] = {
      {"START", 30459, "Unexpected end of SQL command found at line 1, column 1"},
      {"START WORK", 30460, "Token 'TRANSACTION' expected, but 'WORK' found at line 1, column 7"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Sql);
    const auto [Code, Message] = Failure(C.Sql);
    EXPECT_EQ(Code, C.Code);
    EXPECT_EQ(Message.rfind(C.Message, 0), 0u) << Message;
  }
  EXPECT_FALSE(Db->InTransaction());
}

}  // namespace
