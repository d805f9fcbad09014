// The processor's dispatch by first words and the parsing steps every
// statement shares: table names with database, alias and password, aliases,
// name and column lists, and their positioned errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/sql/statements/QXLSQLCommand.h"
#include "engine/sql/statements/QXLSQLProcessor.h"

using namespace qxl;

namespace {

// Runs Sql through a processor without a query; the native code of what it
// raises and the message, or 0.
std::pair<std::int32_t, std::string> RunText(const std::string& Sql) {
  TQXLLocalSQLProcessor Processor(nullptr);
  Processor.PrepareStatement(Sql);
  try {
    Processor.OpenQuery();
  } catch (const EQXLException& E) {
    return {E.NativeError, E.Message};
  }
  return {0, std::string()};
}

TEST(QXLSQLProcessor, DispatchRefusesWhatNoStatementStartsWith) {
  struct Case {
    const char* Sql;
    std::int32_t Code;
    const char* MessageStart;
  } Cases[] = {
      {"", 30145, "Blank SQL command"},
      {"  ; -- nothing\n ; /* at all */", 30145, "Blank SQL command"},
      {"CREATE VIEW v", 30147, "Object type keyword expected, but 'VIEW' found at line 1, column 8"},
      {"CREATE", 30148, "Unexpected end of SQL command found at line 1, column 1"},
      {"DROP", 30150, "Unexpected end of SQL command found at line 1, column 1"},
      {"  DROP x", 30149, "Object type keyword expected, but 'x' found at line 1, column 8"},
      {"ALTER INDEX i", 30151, "Object type keyword expected, but 'INDEX' found at line 1, column 7"},
      {"\nALTER", 30152, "Unexpected end of SQL command found at line 2, column 1"},
      {"RENAME", 30353, "Unexpected end of SQL command found at line 1, column 1"},
      {"RENAME TABLE", 30353, "Unexpected end of SQL command found at line 1, column 1"},
      {"GRANT x", 30153, "SQL token expected, but 'GRANT' found at line 1, column 1"},
      {"people", 30154, "SQL token expected, but 'people' found at line 1, column 1"},
      {"'text'", 30154, "SQL token expected, but 'text' found at line 1, column 1"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Sql);
    const auto [Code, Message] = RunText(C.Sql);
    EXPECT_EQ(Code, C.Code);
    EXPECT_EQ(Message.rfind(C.MessageStart, 0), 0u) << Message;
  }
}

TEST(QXLSQLProcessor, ASecondStatementsErrorNamesItsPlaceInTheText) {
  const auto [Code, Message] = RunText("CREATE VIEW v; people");
  EXPECT_EQ(Code, 30147);
  EXPECT_EQ(Message.rfind("SQL statement 1 of 2: Object type keyword expected", 0), 0u) << Message;
}

// A statement that only parses what the base offers, to look at the results.
class TableNameStatement : public TQXLSQLCommand {
public:
  TableNameStatement(TQXLLexer& Lexer, TQXLDataSet* Query) : TQXLSQLCommand(Lexer, Query) {}
  void ExecSQL(TQXLDataSet*, bool, bool, bool&, TQXLAO*, TQXLCursor*) override {}

  TQXLTableNameParts Parts;
  std::string After;  // the token the parse stopped at

protected:
  void Parse() override {
    Parts = ParseTableName();
    After = CurrentToken() ? Token.Text : "<end>";
  }
};

class NameListStatement : public TQXLSQLCommand {
public:
  NameListStatement(TQXLLexer& Lexer, TQXLDataSet* Query) : TQXLSQLCommand(Lexer, Query) {}
  void ExecSQL(TQXLDataSet*, bool, bool, bool&, TQXLAO*, TQXLCursor*) override {}
  std::vector<std::string> Names;
  std::string After;

protected:
  void Parse() override {
    ParseFieldNameList(Names);
    After = CurrentToken() ? Token.Text : "<end>";
  }
};

template <typename T>
std::unique_ptr<T> ParseWith(TQXLLexer& L) {
  L.GetNextCommand();
  L.SetCurrentTokenNo(0);
  return TQXLSQLCommand::Make<T>(L, nullptr);
}

TEST(QXLSQLCommand, TableNamesWithDatabaseAliasAndPassword) {
  TQXLSQLParams Params;
  Params.AddCreated()->SetAsAnsiString("people");
  Params.GetValue(0)->Name = "t";
  Params.AddCreated()->SetAsAnsiString("secret");
  Params.GetValue(1)->Name = "pw";
  Params.AddCreated()->SetAsAnsiString("\"my table\"");
  Params.GetValue(2)->Name = "q";
  struct Case {
    const char* Sql;
    TQXLTableNameParts Expected;
    const char* After;
  } Cases[] = {
      {"people", {"", "people", false, "", ""}, "<end>"},
      {"MEMORY people p WHERE", {"", "people", true, "", "p"}, "WHERE"},
      {"other.people AS p PASSWORD 'x'", {"other", "people", false, "x", "p"}, "<end>"},
      {"[my table] PASSWORD :pw ,", {"", "my table", false, "secret", ""}, ","},
      {"MEMORY :t", {"", "people", true, "", ""}, "<end>"},
      {":q x", {"", "my table", false, "", "x"}, "<end>"},
      {"\"quoted name\" [the alias]", {"", "quoted name", false, "", "the alias"}, "<end>"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Sql);
    TQXLLexer L(C.Sql, &Params, false);
    std::unique_ptr<TableNameStatement> S = ParseWith<TableNameStatement>(L);
    EXPECT_EQ(S->Parts.DatabaseName, C.Expected.DatabaseName);
    EXPECT_EQ(S->Parts.TableName, C.Expected.TableName);
    EXPECT_EQ(S->Parts.InMemory, C.Expected.InMemory);
    EXPECT_EQ(S->Parts.Password, C.Expected.Password);
    EXPECT_EQ(S->Parts.Alias, C.Expected.Alias);
    EXPECT_EQ(S->After, C.After);
  }
}

TEST(QXLSQLCommand, BadTableNamesAreRefusedWhereTheyStand) {
  TQXLSQLParams Params;
  // Values that are not one name: the part after a quoted part would be lost.
  Params.AddCreated()->SetAsAnsiString("\"abc\"def");
  Params.GetValue(0)->Name = "a";
  Params.AddCreated()->SetAsAnsiString("");
  Params.GetValue(1)->Name = "b";
  Params.AddCreated()->SetAsAnsiString("x\"y");
  Params.GetValue(2)->Name = "c";
  struct Case {
    const char* Sql;
    std::int32_t Code;
    const char* Message;
  } Cases[] = {
      {", t", 30230, "Table name expected, but ',' found at line 1, column 1"},
      {"MEMORY ,", 30231, "Table name expected, but ',' found at line 1, column 8"},
      {"MEMORY", 30161, "Unexpected end of SQL command found at line 1, column 1"},
      {"db. 5", 30230, "Table name expected, but '5' found at line 1, column 5"},
      {"t PASSWORD x", 30238,
       "Quoted password expected (for PASSWORD \"passwordData\"), but 'x' found at line 1, column 12"},
      {"t AS ,", 30177, "Field pseudonym expected, but ',' found at line 1, column 6"},
      {":a", 30230, "Table name expected, but '\"abc\"def' found at line 1, column 1"},
      {"MEMORY :b", 30231, "Table name expected, but '' found at line 1, column 8"},
      {"x.:c", 30230, "Table name expected, but 'x\"y' found at line 1, column 3"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Sql);
    TQXLLexer L(C.Sql, &Params, false);
    try {
      ParseWith<TableNameStatement>(L);
      ADD_FAILURE() << "no error";
    } catch (const EQXLException& E) {
      EXPECT_EQ(E.NativeError, C.Code);
      EXPECT_EQ(E.Message.rfind(C.Message, 0), 0u) << E.Message;
    }
  }
}

TEST(QXLSQLCommand, NameListsEndAtTheFirstTokenThatIsNotAComma) {
  {
    TQXLLexer L("a, \"b c\", [d] WHERE", nullptr, false);
    std::unique_ptr<NameListStatement> S = ParseWith<NameListStatement>(L);
    EXPECT_EQ(S->Names, (std::vector<std::string>{"a", "b c", "d"}));
    EXPECT_EQ(S->After, "WHERE");
  }
  struct Case {
    const char* Sql;
    std::int32_t Code;
    const char* Message;
  } Cases[] = {
      {"a, 5", 10406, "Unexpected token '5' found at line 1, column 4"},
      {"5, a", 10408, "Field name expected, but expression '5...' found at line 1, column 1"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Sql);
    TQXLLexer L(C.Sql, nullptr, false);
    try {
      ParseWith<NameListStatement>(L);
      ADD_FAILURE() << "no error";
    } catch (const EQXLException& E) {
      EXPECT_EQ(E.NativeError, C.Code);
      EXPECT_EQ(E.Message.rfind(C.Message, 0), 0u) << E.Message;
    }
  }
}

}  // namespace
