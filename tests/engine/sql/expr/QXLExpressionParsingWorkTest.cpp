#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "engine/sql/expr/QXLExpressions.h"
#include "tests/engine/sql/expr/ExpressionTestCursor.h"

using namespace qxl;

namespace qxl::exprtest {
namespace {

// Production calls of parsing the filter built for each nesting depth.
std::int64_t CallsAt(TExpressionTestCursor& Cursor, const std::function<std::string(int)>& Make, int Depth) {
  TQXLExpression E;
  E.ParseForFilter(&Cursor, Make(Depth), false, false);
  EXPECT_NE(E.Root(), nullptr);
  return E.LastParseProductionCalls();
}

std::string Repeat(const std::string& S, int N) {
  std::string R;
  for (int i = 0; i < N; ++i) R += S;
  return R;
}

// Chains of OR, each the first operand of the next: the tree is as high as
// all of them together, while the parser nests only a few levels at a time.
std::string NestedChains(int Chains, int Length) {
  std::string S = "ID = 1";
  for (int c = 0; c < Chains; ++c) S = "(" + S + Repeat(" OR ID = 1", Length) + ")";
  return S;
}

TEST(ExpressionParsingWork, GrowsLinearlyWithTheNesting) {
  TExpressionTestCursor Cursor;
  struct Case {
    const char* What;
    std::function<std::string(int)> Make;
  } Cases[] = {
      {"conditions in parentheses", [](int D) { return Repeat("(", D) + "ID = 1" + Repeat(")", D); }},
      {"values in parentheses", [](int D) { return "ID = " + Repeat("(", D) + "1" + Repeat(")", D); }},
      {"operands tried by every predicate",
       [](int D) { return Repeat("(", D) + "ID" + Repeat(")", D) + " BETWEEN 1 AND 2"; }},
      {"sums undone by a concatenation",
       [](int D) {
         std::string S = "'x'";
         for (int i = 0; i < D; ++i) S = "(" + S + " + 2 || 'x')";
         return "NAME = " + S;
       }},
      {"nested function arguments",
       [](int D) { return Repeat("UPPER(", D) + "NAME" + Repeat(")", D) + " = 'A'"; }},
      {"alternating levels",
       [](int D) {
         std::string S = "ID = 1";
         for (int i = 0; i < D; ++i) S = i % 2 ? "(" + S + " OR FLAG)" : "(" + S + " AND NOT FLAG)";
         return S;
       }},
  };
  for (const Case& C : Cases) {
    const std::int64_t C10 = CallsAt(Cursor, C.Make, 10);
    const std::int64_t C20 = CallsAt(Cursor, C.Make, 20);
    const std::int64_t C40 = CallsAt(Cursor, C.Make, 40);
    // Every level of nesting costs the same number of calls.
    EXPECT_EQ(C40 - C20, 2 * (C20 - C10)) << C.What << ": " << C10 << " " << C20 << " " << C40;
    EXPECT_LT(C40, 40 * 200) << C.What;
  }
}

TEST(ExpressionParsingWork, NestingBeyondTheLimitIsAParseError) {
  TExpressionTestCursor Cursor;
  for (const std::string& Filter : {Repeat("(", 3000) + "ID = 1" + Repeat(")", 3000),
                                    "ID = " + Repeat("(", 3000) + "1" + Repeat(")", 3000),
                                    Repeat("UPPER(", 3000) + "NAME" + Repeat(")", 3000) + " = 'A'",
                                    // Chains that lean left are as deep as they are long.
                                    "ID = 1" + Repeat(" OR ID = 1", 6000),
                                    "ID = 1" + Repeat(" * 1", 6000),
                                    NestedChains(8, 700)}) {
    TQXLExpression E;
    try {
      E.ParseForFilter(&Cursor, Filter, false, false);
      ADD_FAILURE() << "no error for depth 3000";
    } catch (const EQXLException& Ex) {
      EXPECT_EQ(Ex.NativeError, 30510);
      EXPECT_NE(std::string(Ex.what()).find("Expression nested too deeply at line 1, column"), std::string::npos)
          << Ex.what();
    }
  }
  // A depth well inside the limit still parses and evaluates.
  Cursor.Standard();
  TQXLExpression E;
  for (const std::string& Filter : {Repeat("(", 60) + "ID = 7" + Repeat(")", 60),
                                    "ID = 1" + Repeat(" OR ID = 1", 3000) + " OR ID = 7",
                                    NestedChains(3, 700) + " OR ID = 7",
                                    "ID = 7" + Repeat(" AND ID = 7", 6000),
                                    "ID = 7" + Repeat(" * 1", 500)}) {
    E.ParseForFilter(&Cursor, Filter, false, false);
    E.AssignCursorBuffer(Cursor.FCurrentRecordBuffer, false);
    EXPECT_TRUE(E.GetResult()) << Filter.substr(0, 40);
  }
}

}  // namespace
}  // namespace qxl::exprtest
