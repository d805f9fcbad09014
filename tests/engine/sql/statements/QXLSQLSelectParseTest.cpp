// The SELECT block and the query expression as they are read: every clause
// into its structure (select list items with their aliases and duplicate
// names, INTO, FROM as a tree of references and joins, derived tables,
// GROUP BY, HAVING, ORDER BY), set operations with their binding, and the
// positioned errors of each clause.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/sql/expr/QXLExpressions.h"
#include "engine/sql/statements/QXLSQLProcessor.h"
#include "engine/sql/statements/QXLSQLSelect.h"
#include "engine/sql/statements/QXLSQLUnion.h"

using namespace qxl;

namespace {

struct TParsed {
  std::unique_ptr<TQXLLexer> Lexer;
  std::unique_ptr<TQXLSQLUnion> Query;
  const TQXLSQLSelect& Block() const { return *Query->RootNode()->SelectCommand; }
};

TParsed Parse(const std::string& Sql, const TQXLSQLParams* Params = nullptr) {
  TParsed P;
  P.Lexer = std::make_unique<TQXLLexer>(Sql, Params, false);
  P.Lexer->GetNextCommand();
  P.Lexer->SetCurrentTokenNo(0);
  P.Query = TQXLSQLCommand::Make<TQXLSQLUnion>(*P.Lexer, nullptr);
  return P;
}

// The code and message of what parsing Sql raises; 0 when it parses.
std::pair<std::int32_t, std::string> ParseError(const std::string& Sql, const TQXLSQLParams* Params = nullptr) {
  try {
    Parse(Sql, Params);
  } catch (const EQXLException& E) {
    return {E.NativeError, E.Message};
  }
  return {0, std::string()};
}

// One select-list item, as text: [table.]field or "expr", flags and alias.
std::string Describe(const TQXLSelectListItem& Item) {
  std::string Text;
  if (Item.IsExpression)
    Text = Item.IsDuplicatedField ? "dup " + Item.FieldName : "expr";
  else
    Text = (Item.TableName.empty() ? "" : Item.TableName + ".") + Item.FieldName;
  if (Item.AllFields) Text += " all";
  if (!Item.Pseudonym.empty()) Text += " as " + Item.Pseudonym;
  return Text;
}

std::vector<std::string> Items(const TQXLSQLSelect& Block) {
  std::vector<std::string> Result;
  for (const TQXLSelectListItem& Item : Block.SelectList) Result.push_back(Describe(Item));
  return Result;
}

// A FROM reference as text: tables as [MEMORY ][db.]name[ alias][ pw],
// joins as (left KIND right ...), derived tables as (query)alias.
std::string Describe(const TQXLTableReference& R) {
  switch (R.TableType) {
    case attTable: {
      std::string Text = R.InMemory ? "MEMORY " : "";
      if (!R.DatabaseName.empty()) Text += R.DatabaseName + ".";
      Text += R.TableName;
      if (!R.Pseudonym.empty()) Text += " " + R.Pseudonym;
      if (!R.Password.empty()) Text += " pw=" + R.Password;
      return Text;
    }
    case attSubQuery:
      return "(query)" + R.Pseudonym;
    case attJoinedTable:
      break;
  }
  static const char* Kinds[] = {"CROSS", "INNER", "LEFT", "RIGHT", "FULL"};
  std::string Text = "(" + Describe(*R.LeftTable) + " " + (R.NaturalJoin ? "NATURAL " : "") + Kinds[R.JoinType] +
                     " " + Describe(*R.RightTable);
  if (R.SearchCondition) Text += " ON";
  for (const std::string& Name : R.UsingFields) Text += " using " + Name;
  return Text + ")" + (R.Pseudonym.empty() ? "" : R.Pseudonym);
}

std::vector<std::string> From(const TQXLSQLSelect& Block) {
  std::vector<std::string> Result;
  for (const auto& R : Block.FromTables) Result.push_back(Describe(*R));
  return Result;
}

using Strings = std::vector<std::string>;

TEST(QXLSQLSelectParse, SelectListItemsAliasesAndDuplicates) {
  struct Case {
    const char* Sql;
    Strings Expected;
  } Cases[] = {
      {"SELECT a, t.b, c AS x, d y, [e] \"q\" FROM t", {"a", "t.b", "c as x", "d as y", "e as q"}},
      {"SELECT a + 1, UPPER(b) AS u FROM t", {"expr", "expr as u"}},
      {"SELECT t.*, u.a FROM t, u", {"t.* all", "u.a"}},
      // A column named twice becomes an expression named after it.
      {"SELECT a, a, A FROM t", {"a", "dup a as a_1", "dup A as A_2"}},
      {"SELECT a, a, b AS a_1 FROM t", {"a", "dup a as a_2", "b as a_1"}},
      {"SELECT a, a_1, a FROM t", {"a", "a_1", "dup a as a_2"}},
      {"SELECT a, t.a, a AS z FROM t", {"a", "t.a", "dup a as z"}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Sql);
    TParsed P = Parse(C.Sql);
    EXPECT_EQ(Items(P.Block()), C.Expected);
  }
  TParsed Star = Parse("SELECT * FROM t");
  EXPECT_TRUE(Star.Block().AllFields);
  EXPECT_TRUE(Star.Block().SelectList.empty());
}

TEST(QXLSQLSelectParse, DistinctTopAndInto) {
  TQXLSQLParams Params;
  Params.AddCreated()->SetAsInteger(7);
  Params.GetValue(0)->Name = "n";
  Params.AddCreated()->SetAsAnsiString("Results");
  Params.GetValue(1)->Name = "t";
  struct Case {
    const char* Sql;
    bool Distinct;
    std::int32_t Top, First;
    const char* IntoDatabase;
    const char* IntoTable;
    bool Memory, Immediate;
  } Cases[] = {
      {"SELECT a FROM t", false, -1, -1, "", "", false, false},
      {"SELECT ALL a FROM t", false, -1, -1, "", "", false, false},
      {"SELECT DISTINCT TOP 10, 5 a FROM t", true, 10, 5, "", "", false, false},
      {"SELECT TOP :n * FROM t", false, 7, -1, "", "", false, false},
      {"SELECT * INTO r FROM t", false, -1, -1, "", "r", false, false},
      {"SELECT * INTO MEMORY r FROM t", false, -1, -1, "", "r", true, false},
      {"SELECT * INTO MEMORY IMMEDIATE r FROM t", false, -1, -1, "", "r", true, true},
      {"SELECT * INTO other.r FROM t", false, -1, -1, "other", "r", false, false},
      {"SELECT * INTO :t FROM t", false, -1, -1, "", "Results", false, false},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Sql);
    TParsed P = Parse(C.Sql, &Params);
    const TQXLSQLSelect& B = P.Block();
    EXPECT_EQ(B.Distinct, C.Distinct);
    EXPECT_EQ(B.TopRowCount, C.Top);
    EXPECT_EQ(B.FirstRowNo, C.First);
    // The block's INTO becomes the whole query's.
    EXPECT_EQ(P.Query->IntoDatabase, C.IntoDatabase);
    EXPECT_EQ(P.Query->IntoTable, C.IntoTable);
    EXPECT_EQ(P.Query->IntoMemory, C.Memory);
    EXPECT_EQ(P.Query->IntoImmediate, C.Immediate);
  }
}

TEST(QXLSQLSelectParse, FromReferencesJoinsAndDerivedTables) {
  struct Case {
    const char* Sql;
    Strings Expected;
  } Cases[] = {
      {"SELECT * FROM t u", {"t u"}},
      {"SELECT * FROM t AS u, [my table], MEMORY m", {"t u", "my table", "MEMORY m"}},
      {"SELECT * FROM other.t x PASSWORD 'secret'", {"other.t x pw=secret"}},
      {"SELECT * FROM a JOIN b ON a.x = b.x", {"(a INNER b ON)"}},
      {"SELECT * FROM a INNER JOIN b USING (x, y)", {"(a INNER b using x using y)"}},
      {"SELECT * FROM a LEFT OUTER JOIN b ON a.x = b.x RIGHT JOIN c ON b.y = c.y",
       {"((a LEFT b ON) RIGHT c ON)"}},
      {"SELECT * FROM a FULL JOIN b ON a.x = b.x", {"(a FULL b ON)"}},
      {"SELECT * FROM a CROSS JOIN b", {"(a CROSS b)"}},
      {"SELECT * FROM a NATURAL JOIN b", {"(a NATURAL INNER b)"}},
      {"SELECT * FROM a NATURAL LEFT JOIN b", {"(a NATURAL LEFT b)"}},
      // A join without its own ON takes the following joins into its right operand.
      {"SELECT * FROM a CROSS JOIN b CROSS JOIN c", {"(a CROSS (b CROSS c))"}},
      {"SELECT * FROM (a JOIN b ON a.x = b.x) j, c", {"(a INNER b ON)j", "c"}},
      {"SELECT * FROM (SELECT a FROM t) d", {"(query)d"}},
      {"SELECT * FROM (SELECT a FROM t UNION SELECT a FROM u) AS d JOIN v ON d.a = v.a", {"((query)d INNER v ON)"}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Sql);
    TParsed P = Parse(C.Sql);
    EXPECT_EQ(From(P.Block()), C.Expected);
  }
}

TEST(QXLSQLSelectParse, WhereGroupByHavingAndOrderBy) {
  TParsed P = Parse("SELECT c * 2 AS d, COUNT(*) FROM t WHERE d > 1 GROUP BY d, t.e HAVING COUNT(*) > 2 "
                    "ORDER BY 2 DESC, t.d, x ASC");
  const TQXLSQLSelect& B = P.Block();
  ASSERT_TRUE(B.SearchCondition);
  EXPECT_FALSE(B.SearchCondition->IsEmpty());
  ASSERT_TRUE(B.HavingCondition);
  ASSERT_EQ(B.GroupByFields.size(), 2u);
  EXPECT_EQ(B.GroupByFields[0].FieldName, "d");
  EXPECT_EQ(B.GroupByFields[1].TableName, "t");
  EXPECT_EQ(B.GroupByFields[1].FieldName, "e");
  ASSERT_EQ(B.OrderBySpecs.size(), 3u);
  EXPECT_EQ(B.OrderBySpecs[0].ColumnName, "2");
  EXPECT_TRUE(B.OrderBySpecs[0].Descending);
  EXPECT_EQ(B.OrderBySpecs[1].TableName, "t");
  EXPECT_EQ(B.OrderBySpecs[1].ColumnName, "d");
  EXPECT_FALSE(B.OrderBySpecs[1].Descending);
  EXPECT_EQ(B.OrderBySpecs[2].ColumnName, "x");
}

std::string Shape(const TQXLQueryExprNode& Node) {
  switch (Node.NodeType) {
    case qetSelect:
      return Node.SelectCommand->FromTables.front()->TableName;
    case qetUnion:
      return "(" + Shape(*Node.Left) + (Node.All ? " UNION ALL " : " UNION ") + Shape(*Node.Right) + ")";
    case qetExcept:
      return "(" + Shape(*Node.Left) + " EXCEPT " + Shape(*Node.Right) + ")";
    case qetIntersect:
      return "(" + Shape(*Node.Left) + " INTERSECT " + Shape(*Node.Right) + ")";
  }
  return "?";
}

TEST(QXLSQLUnionParse, SetOperationsBindAsWritten) {
  struct Case {
    const char* Sql;
    const char* Shape;
  } Cases[] = {
      {"SELECT a FROM t", "t"},
      {"(SELECT a FROM t)", "t"},
      {"SELECT a FROM a UNION SELECT a FROM b INTERSECT SELECT a FROM c", "(a UNION (b INTERSECT c))"},
      {"(SELECT a FROM a UNION SELECT a FROM b) INTERSECT SELECT a FROM c", "((a UNION b) INTERSECT c)"},
      {"SELECT a FROM a UNION ALL SELECT a FROM b UNION SELECT a FROM c", "((a UNION ALL b) UNION c)"},
      {"SELECT a FROM a EXCEPT SELECT a FROM b", "(a EXCEPT b)"},
      {"SELECT a FROM a MINUS SELECT a FROM b", "(a EXCEPT b)"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Sql);
    TParsed P = Parse(C.Sql);
    EXPECT_EQ(Shape(*P.Query->RootNode()), C.Shape);
  }
}

TEST(QXLSQLUnionParse, OrderByAfterTheLastBlockOrdersTheWhole) {
  TParsed P = Parse("SELECT a FROM t UNION SELECT a FROM u ORDER BY a DESC");
  ASSERT_EQ(P.Query->OrderBySpecs.size(), 1u);
  EXPECT_TRUE(P.Query->OrderBySpecs[0].Descending);
  EXPECT_TRUE(P.Query->RootNode()->Right->SelectCommand->OrderBySpecs.empty());

  TParsed C = Parse("SELECT * FROM t UNION CORRESPONDING BY (a, b) SELECT * FROM u");
  EXPECT_TRUE(C.Query->RootNode()->Corresponding);
  EXPECT_EQ(C.Query->RootNode()->CorrespondingFields, (Strings{"a", "b"}));
}

TEST(QXLSQLSelectParse, ErrorsNameTheTokenAndItsPlace) {
  TQXLSQLParams Params;
  Params.AddCreated()->SetAsAnsiString("\"abc\"def");
  Params.GetValue(0)->Name = "bad";
  Params.AddCreated()->SetAsAnsiString("x");
  Params.GetValue(1)->Name = "text";
  struct Case {
    const char* Sql;
    std::int32_t Code;
    const char* Message;
  } Cases[] = {
      {"SELECT", 30161, "Unexpected end of SQL command found at line 1, column 1"},
      {"SELECT TOP x a FROM t", 30158, "Integer expected, but 'x' found at line 1, column 12"},
      {"SELECT TOP 5, y a FROM t", 30159, "Integer expected, but 'y' found at line 1, column 15"},
      {"SELECT TOP :text a FROM t", 30158, "Integer expected, but 'x' found at line 1, column 12"},
      {"SELECT a AS 5 FROM t", 30162, "Field pseudonym expected, but '5' found at line 1, column 13"},
      {"SELECT , FROM t", 30160, "Expression expected, but ',' found at line 1, column 8"},
      {"SELECT a INTO 5 FROM t", 30165, "Table name expected, but '5' found at line 1, column 15"},
      {"SELECT a INTO db., FROM t", 30166, "Table name expected, but ',' found at line 1, column 18"},
      {"SELECT a t", 30184, "Token 'FROM' expected, but '' found at line 1, column 10"},
      {"SELECT a WHERE", 30184, "Token 'FROM' expected, but 'WHERE' found at line 1, column 10"},
      {"SELECT a FROM 5", 30180, "Table name expected, but '5' found at line 1, column 15"},
      {"SELECT a FROM t, 5", 30181, "Table name expected, but '5' found at line 1, column 18"},
      {"SELECT a FROM :bad", 30180, "Table name expected, but '\"abc\"def' found at line 1, column 15"},
      {"SELECT a FROM t PASSWORD x", 30178, "Quoted password expected (for PASSWORD \"passwordData\"), but 'x'"},
      {"SELECT a FROM (5)", 30179, "Field name expected, but '5' found at line 1, column 16"},
      {"SELECT a FROM t CROSS b", 30168, "Unexpected token 'b' found at line 1, column 23"},
      {"SELECT a FROM t NATURAL b", 30169, "Unexpected token 'b' found"},
      {"SELECT a FROM t INNER b", 30170, "Unexpected token 'b' found"},
      {"SELECT a FROM t LEFT b", 30171, "Unexpected token 'b' found"},
      {"SELECT a FROM t RIGHT b", 30172, "Unexpected token 'b' found"},
      {"SELECT a FROM t FULL b", 30173, "Unexpected token 'b' found"},
      {"SELECT a FROM t LEFT OUTER b", 30174, "Unexpected token 'b' found"},
      {"SELECT a FROM t LEFT OUTER WHERE", 30175, "Token 'JOIN' expected, but 'WHERE' found"},
      {"SELECT a FROM t JOIN 5", 30176, "Table name expected, but '5' found at line 1, column 22"},
      {"SELECT a FROM t JOIN u USING x", 30167, "Token '(' expected, but 'x' found at line 1, column 30"},
      {"SELECT a FROM t GROUP a", 30185, "Token 'BY' expected, but 'a' found at line 1, column 23"},
      {"SELECT a FROM t GROUP BY a + 1", 10409, "Field name expected, but expression 'a...' found"},
      {"SELECT a FROM t ORDER a", 30188, "Token 'BY' expected, but 'a' found at line 1, column 23"},
      {"SELECT a FROM t ORDER BY ,", 30187, "Field name expected, but ',' found at line 1, column 26"},
      {"SELECT a FROM t ORDER BY t.,", 30186, "Unexpected token ',' found at line 1, column 28"},
      {"SELECT a FROM t ORDER BY a, ,", 30189, "Unexpected token ',' found at line 1, column 29"},
      {"SELECT a FROM t\nWHERE", 30161, "Unexpected end of SQL command found at line 2, column 1"},
      {"SELECT a FROM t UNION FROM", 30194, "Token 'SELECT' expected, but 'FROM' found at line 1, column 23"},
      {"SELECT a FROM t UNION CORRESPONDING BY a SELECT a FROM u", 30193, "Token '(' expected, but 'a' found"},
      {"SELECT a INTO r FROM t UNION SELECT a FROM u", 20272, "UNION subselect cannot contain INTO caluse"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Sql);
    const auto [Code, Message] = ParseError(C.Sql, &Params);
    EXPECT_EQ(Code, C.Code) << Message;
    EXPECT_EQ(Message.rfind(C.Message, 0), 0u) << Message;
  }
}

TEST(QXLSQLProcessor, ATokenAfterTheQueryIsRefused) {
  TQXLLocalSQLProcessor Processor(nullptr);
  Processor.PrepareStatement("SELECT a FROM t ORDER BY a DESC x");
  try {
    Processor.OpenQuery();
    FAIL() << "no error";
  } catch (const EQXLException& E) {
    EXPECT_EQ(E.NativeError, 20260);
    EXPECT_EQ(E.Message.rfind("End of SQL command expected, but 'x' found at line 1, column 33", 0), 0u) << E.Message;
  }
}

}  // namespace
