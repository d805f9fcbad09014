#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/core/containers/QXLListError.h"
#include "engine/core/QXLReservedWords.h"
#include "engine/sql/lexer/QXLLexer.h"

using namespace qxl;

namespace {

// One token as "kind:text"; keywords as "R:" and their table text, a keyword
// kind without a word as "R?:".
std::string Show(const TToken& T) {
  static const char* const Kinds[] = {"N", "S", "Q", "B", "I", "F", "R", "P", "(", ")", ",", "."};
  if (T.TokenType == tktReservedWord)
    return T.ReservedWord == rwNone ? "R?:" + T.Text : "R:" + std::string(ReservedWordNames[T.ReservedWord]);
  return std::string(Kinds[T.TokenType]) + ":" + T.Text;
}

// Each command's tokens, blank-separated, read through the token cursor.
std::vector<std::string> Cut(const std::string& Sql, const TQXLSQLParams* Params = nullptr, bool NoParams = false) {
  TQXLLexer L(Sql, Params, NoParams);
  std::vector<std::string> Commands;
  while (L.GetNextCommand()) {
    std::string Line;
    TToken T;
    for (bool More = L.GetCurrentToken(T); More; More = L.GetNextToken(T)) Line += (Line.empty() ? "" : " ") + Show(T);
    Commands.push_back(Line);
  }
  return Commands;
}

TEST(QXLLexer, CutsTextIntoCommandsAndTokens) {
  struct Case {
    const char* Sql;
    std::vector<std::string> Commands;
  } Cases[] = {
      {"SELECT 1; ; SELECT 2;", {"R:SELECT I:1", "R:SELECT I:2"}},
      {"  /* only */ -- comments\n\t ", {}},
      {"", {}},
      {"SELECT ';' , [a;b] , `c;d` /* ; */ -- ;\n x", {"R:SELECT Q:; ,:, B:a;b ,:, S:c;d S:x"}},
      {"'It''s' \"a\"\"b\"", {"Q:It's Q:a\"b"}},
      {"\"'abc%'\"", {"Q:'abc%'"}},
      {"[select] `select` `a``b\\`c` absolute ABSOLUTE select Select",
       {"B:select R?:select S:a`b`c S:absolute S:ABSOLUTE R:SELECT R:SELECT"}},
      {"a<=b a<>b a>=b x||y", {"S:a S:<= S:b S:a S:<> S:b S:a S:>= S:b S:x S:|| S:y"}},
      {"a!=b a<b", {"S:a! S:= S:b S:a S:< S:b"}},
      {"1.5 .5 1e5 1E-3 15 5-3 2+x", {"F:1.5 F:.5 F:1e5 F:1E-3 I:15 I:5 S:- I:3 I:2 S:+ S:x"}},
      {"t.col t. col (a,b)*2/c", {"S:t .:. S:col S:t .:. S:col (:( S:a ,:, S:b ):) S:* I:2 S:/ S:c"}},
      {"end-exec lastautoinc LastAutoInc rndup", {"R:END S:- R:EXEC R:LASTAUTOINC R:LASTAUTOINC R:RNDUP"}},
      // A comment ends the token it follows.
      {"5--c\n3", {"I:5 I:3"}},
      {"5/*c*/3 a/*c*/b", {"I:5 I:3 S:a S:b"}},
      {"x /* never closed ; y", {"S:x"}},
      {"a-b c+d", {"S:a S:- S:b S:c S:+ S:d"}},
      {"name + 'x'", {"S:name S:+ Q:x"}},
      {"Größe = 'ä'", {"S:Größe S:= Q:ä"}},
  };
  for (const Case& C : Cases) EXPECT_EQ(Cut(C.Sql), C.Commands) << C.Sql;
}

TEST(QXLLexer, TokensCarryTheirOneBasedLineAndColumn) {
  TQXLLexer L("\nSELECT a,\r\n  'x\ny' b;\tc", nullptr, false);
  struct Pos {
    std::string Text;
    std::int32_t Line, Column;
  };
  std::vector<Pos> Seen;
  while (L.GetNextCommand()) {
    TToken T;
    for (bool More = L.GetCurrentToken(T); More; More = L.GetNextToken(T)) Seen.push_back({T.Text, T.LineNum, T.ColumnNum});
  }
  const std::vector<Pos> Expected = {{"SELECT", 2, 1}, {"a", 2, 8}, {",", 2, 9}, {"x\ny", 3, 3}, {"b", 4, 4}, {"c", 4, 7}};
  ASSERT_EQ(Seen.size(), Expected.size());
  for (std::size_t i = 0; i < Seen.size(); ++i) {
    EXPECT_EQ(Seen[i].Text, Expected[i].Text);
    EXPECT_EQ(Seen[i].Line, Expected[i].Line) << Seen[i].Text;
    EXPECT_EQ(Seen[i].Column, Expected[i].Column) << Seen[i].Text;
  }
}

TEST(QXLLexer, MalformedTextRaisesItsCodeAtTheOffendingPlace) {
  struct Case {
    const char* Sql;
    std::int32_t Code;
    const char* Message;
  } Cases[] = {
      {"SELECT (a", 30059, "Missing symbol ')' at line 1, column 8"},
      {"x;\n((a)", 30059, "Missing symbol ')' at line 2, column 2"},
      {"a) b", 30060, "Unexpected symbol ')' found at line 1, column 2"},
      {"a\n 'abc", 30061, "Unterminated string at line 2, column 2"},
      {"[abc", 30061, "Unterminated string at line 1, column 1"},
      {"x = 12ab", 30062, "Invalid numeric symbol 'a' at line 1, column 7"},
      {"1.5x", 30062, "Invalid numeric symbol 'x' at line 1, column 4"},
      {"5ä", 30062, "Invalid numeric symbol 'ä' at line 1, column 2"},
      {"a = :p", 30358, "Value for parameter 'p' not found"},
      {"a = ?", 30358, "Value for parameter 'Param1' not found"},
  };
  for (const Case& C : Cases) {
    try {
      TQXLLexer L(C.Sql, nullptr, false);
      ADD_FAILURE() << "no error for " << C.Sql;
    } catch (const EQXLException& E) {
      EXPECT_EQ(E.NativeError, C.Code) << C.Sql;
      EXPECT_NE(std::string(E.what()).find(C.Message), std::string::npos) << C.Sql << " -> " << E.what();
    }
  }
}

TEST(QXLLexer, ParametersTakeACopyOfTheirValueWhenTheTextIsCut) {
  TQXLSQLParams Params;
  TQXLSQLParam* A = Params.AddCreated();
  A->Name = "A";
  A->SetAsInteger(7);
  TQXLSQLParam* B = Params.AddCreated();
  B->Name = "b";
  B->SetAsAnsiString("text");

  EXPECT_EQ(Cut(":a :\"A\" :'a' :[a] :B", &Params), std::vector<std::string>{"P:a P:A P:a P:a P:B"});
  EXPECT_EQ(Cut("x = ?; y = ?", &Params), (std::vector<std::string>{"S:x S:= P:Param1", "S:y S:= P:Param2"}));

  TQXLLexer L("x = :a; y = ? ; z = ?", &Params, false);
  A->SetAsInteger(8);
  std::vector<std::string> Values;
  while (L.GetNextCommand()) {
    TToken T;
    ASSERT_TRUE(L.GetNextSpecifiedToken(T, TokenTypeBit(tktParameter)));
    ASSERT_NE(T.ParamValue, nullptr);
    Values.push_back(T.ParamValue->GetAsAnsiString());
  }
  EXPECT_EQ(Values, (std::vector<std::string>{"7", "7", "text"}));

  // A "?" beyond the list fails there.
  EXPECT_THROW(TQXLLexer("? ? ?", &Params, false), EQXLListError);
  // Switched off, ":" and "?" words stay words.
  EXPECT_EQ(Cut(":x ?", nullptr, true), std::vector<std::string>{"S::x S:?"});
}

TEST(QXLLexer, TheTokenCursorMovesAndSetsBack) {
  TQXLLexer L("a b c", nullptr, false);
  TToken T;
  EXPECT_FALSE(L.GetCurrentToken(T));  // before the first command
  ASSERT_TRUE(L.GetNextCommand());
  ASSERT_TRUE(L.GetCurrentToken(T));
  EXPECT_EQ(T.Text, "a");
  ASSERT_TRUE(L.LookNextToken(T));
  EXPECT_EQ(T.Text, "b");
  EXPECT_EQ(L.GetCurrentTokenNo(), 0);
  ASSERT_TRUE(L.GetNextToken(T));
  ASSERT_TRUE(L.GetNextToken(T));
  EXPECT_EQ(T.Text, "c");
  EXPECT_FALSE(L.GetNextToken(T));
  EXPECT_EQ(T.TokenType, tktNone);
  EXPECT_TRUE(T.Text.empty());
  EXPECT_FALSE(L.GetCurrentToken(T));
  EXPECT_TRUE(L.SetCurrentTokenNo(1, T));
  EXPECT_EQ(T.Text, "b");
  EXPECT_FALSE(L.SetCurrentTokenNo(3));
  EXPECT_FALSE(L.GetNextCommand());
  EXPECT_FALSE(L.GetNextCommand());

  // A stream built by hand, its parameter values copied.
  TQXLLexer Built("", nullptr, false);
  EXPECT_EQ(Built.NumCommands(), 0);
  Built.AddCommand();
  TQXLVariant V;
  V.SetAsInteger(3);
  TToken P;
  P.TokenType = tktParameter;
  P.Text = "p";
  P.ParamValue = &V;
  Built.AddToken(P);
  V.SetAsInteger(4);
  ASSERT_TRUE(Built.SetCurrentTokenNo(0, T));
  ASSERT_NE(T.ParamValue, nullptr);
  EXPECT_NE(T.ParamValue, &V);
  EXPECT_EQ(T.ParamValue->GetAsInteger(), 3);
}

TEST(QXLLexer, ListingNamesEveryTokensKindWordAndPlace) {
  TQXLLexer L("select x", nullptr, false);
  EXPECT_EQ(L.Test(false, false), "Number of commands: 1\r\nCommand #1:\r\nselect\r\nx\r\n");
  EXPECT_EQ(L.Test(false, true),
            "Number of commands: 1\r\nCommand #1:\r\n"
            "select\r\nType = tktReservedWord\r\nReservedWord = SELECT\r\nLine = 1\r\nColumn = 1\r\n\r\n"
            "x\r\nType = tktString\r\nReservedWord = None\r\nLine = 1\r\nColumn = 8\r\n\r\n");
}

TEST(QXLLexer, TextFarLongerThanAnyStatementIsCutWithoutHarm) {
  std::string Sql;
  for (int i = 0; i < 50000; ++i) Sql += "(a) + ";
  Sql += "'" + std::string(1 << 20, 'x');  // never closed
  try {
    TQXLLexer L(Sql, nullptr, false);
    ADD_FAILURE();
  } catch (const EQXLException& E) {
    EXPECT_EQ(E.NativeError, 30061);
  }
  std::string Many(100000, '(');
  EXPECT_THROW(TQXLLexer(Many, nullptr, false), EQXLException);
}

TEST(QXLReservedWords, TheTableHoldsEveryWordAtItsFixedOrdinal) {
  EXPECT_EQ(ReservedWordCount, 292u);
  struct Case {
    TReservedWord Word;
    const char* Text;
  } Cases[] = {{rwABSOLUTE, "ABSOLUTE"}, {rwEND_EXEC, "END-EXEC"}, {rwZONE, "ZONE"},
               {rwPASSWORD, "PASSWORD"}, {rwLAST_AUTOINC, "LASTAUTOINC"}, {rwRNDUP, "RNDUP"}};
  for (const Case& C : Cases) {
    EXPECT_EQ(ReservedWordNames[C.Word], C.Text);
    EXPECT_EQ(FindReservedWord(C.Text), static_cast<std::int32_t>(C.Word));
  }
  EXPECT_EQ(rwZONE, 229);
  EXPECT_EQ(rwPASSWORD, 230);
  EXPECT_EQ(rwRNDUP, 291);
  EXPECT_EQ(FindReservedWord("select"), static_cast<std::int32_t>(rwSELECT));
  EXPECT_EQ(FindReservedWord("sélect"), -1);
  EXPECT_EQ(FindReservedWord("SELECTX"), -1);
}

}  // namespace
