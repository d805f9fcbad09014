#include <gtest/gtest.h>

#include "engine/sql/nodes/QXLExprNodeBoolean.h"
#include "engine/sql/nodes/QXLExprNodeComparison.h"
#include "tests/engine/sql/nodes/NodeTestSupport.h"

using namespace qxl;

namespace qxl::nodetest {
namespace {

using Maker = std::function<TNodePtr()>;
const Maker null = [] { return Null(); };
Maker I(std::int32_t v) {
  return [v] { return Int(v); };
}
Maker S(const char* v) {
  return [v] { return Str(v); };
}
Maker B(bool v) {
  return [v] { return Bool(v); };
}

std::string Compare(TQXLDataOperator Op, const Maker& L, const Maker& R, bool ThreeValued) {
  TQXLExprNodeComparison node(Op, L(), R(), ThreeValued, true, false);
  return Text(node.GetDataValue());
}

TEST(ExprNodeComparisonTest, NullLogicIsTheOneFixedAtConstruction) {
  struct Case {
    TQXLDataOperator Op;
    Maker L, R;
    const char* ThreeValued;
    const char* TwoValued;
  } cases[] = {
      {doEQ, I(5), I(5), "True", "True"},        {doNE, I(5), I(6), "True", "True"},
      {doLT, null, I(5), "False", "True"},       {doEQ, null, I(5), "False", "False"},
      {doNE, null, I(5), "False", "True"},       {doGT, I(5), null, "False", "True"},
      {doEQ, null, null, "False", "True"},       {doNE, null, null, "False", "False"},
      {doGE, null, null, "False", "True"},       {doLE, I(4), I(5), "True", "True"},
      {doEQ, S("abc"), S("ABC"), "True", "True"},  // the node's case flag is on
      {doGT, S("b"), S("a"), "True", "True"},
  };
  for (const Case& c : cases) {
    const std::string what = OperatorText(c.Op) + " " + Text(c.L()->GetDataValue()) + " " + Text(c.R()->GetDataValue());
    EXPECT_EQ(Compare(c.Op, c.L, c.R, true), c.ThreeValued) << what;
    EXPECT_EQ(Compare(c.Op, c.L, c.R, false), c.TwoValued) << what;
  }
  TQXLExprNodeComparison sensitive(doEQ, Str("abc"), Str("ABC"), true, false, false);
  EXPECT_EQ(Text(sensitive.GetDataValue()), "False");
  TQXLExprNodeComparison prefix(doEQ, Str("abcdef"), Str("abc"), true, false, true);
  EXPECT_EQ(Text(prefix.GetDataValue()), "True");
  TQXLExprNodeComparison wrong(doLIKE, Int(1), Int(1), true, true, false);
  EXPECT_EQ(CodeOf([&] { wrong.GetDataValue(); }), 30117);
}

TEST(ExprNodeComparisonTest, QuantifiedComparisonsAskTheSubquery) {
  auto sub = std::make_unique<TestSubquery>();
  TestSubquery* subquery = sub.get();
  subquery->Answer = true;
  TQXLExprNodeComparison node(doGT, qALL, Int(3), std::move(sub), true, true, false);
  EXPECT_EQ(Text(node.GetDataValue()), "True");
  EXPECT_EQ(subquery->AskedOperator, doGT);
  EXPECT_EQ(subquery->AskedQuantifier, qALL);
  EXPECT_EQ(subquery->Asked, "3");
  TQXLExprNodeComparison notSubquery(doGT, qANY, Int(3), Int(4), true, true, false);
  EXPECT_EQ(CodeOf([&] { notSubquery.GetDataValue(); }), 30117);
}

TEST(ExprNodeComparisonTest, WideConstantAgainstAnAnsiColumnBecomesAnsi) {
  NodeTestCursor cursor;
  cursor.SetText("NAME", "Zoë");
  TQXLExprNodeComparison narrow(doEQ, std::make_unique<TQXLExprNodeField>(&cursor, "NAME", ""), WStr(u"Zoë"), true,
                                false, false);
  narrow.AfterAssign();
  EXPECT_EQ(narrow.Child(1)->GetDataValue()->DataType(), bftVarchar);
  EXPECT_EQ(Text(narrow.GetDataValue()), "True");
  TQXLExprNodeComparison wide(doEQ, std::make_unique<TQXLExprNodeField>(&cursor, "WNAME", ""), WStr(u"x"), true,
                              false, false);
  wide.AfterAssign();
  EXPECT_EQ(wide.Child(1)->GetDataValue()->DataType(), bftWideVarchar);
}

TEST(ExprNodeComparisonTest, JoinConditionsPairOneColumnOfEachOperator) {
  TestAO left({{"A", "ID", aftInteger, 4}, {"A", "K", aftInteger, 4}});
  TestAO right({{"B", "REF", aftInteger, 4}, {"B", "K", aftInteger, 4}});
  auto eq = [](const char* T1, const char* C1, const char* T2, const char* C2, TQXLDataOperator Op = doEQ) {
    return TQXLExprNodeComparison(Op, std::make_unique<TQXLExprNodeField>(nullptr, C1, T1),
                                  std::make_unique<TQXLExprNodeField>(nullptr, C2, T2), true, true, false);
  };
  EXPECT_TRUE(eq("", "ID", "", "REF").IsJoinCondition(&left, &right));
  EXPECT_TRUE(eq("", "REF", "", "ID").IsJoinCondition(&left, &right));
  EXPECT_TRUE(eq("A", "K", "B", "K").IsJoinCondition(&left, &right));
  EXPECT_FALSE(eq("A", "K", "A", "ID").IsJoinCondition(&left, &right));  // both on one side
  EXPECT_FALSE(eq("", "ID", "", "REF", doLT).IsJoinCondition(&left, &right));
  EXPECT_FALSE(eq("", "ID", "", "NONE").IsJoinCondition(&left, &right));
  EXPECT_EQ(CodeOf([&] { eq("", "K", "", "ID").IsJoinCondition(&left, &right); }), 10404);
  EXPECT_EQ(CodeOf([&] { eq("", "ID", "", "K").IsJoinCondition(&left, &right); }), 10405);
  TQXLExprNodeComparison withConstant(doEQ, std::make_unique<TQXLExprNodeField>(nullptr, "ID", ""), Int(1), true,
                                      true, false);
  EXPECT_FALSE(withConstant.IsJoinCondition(&left, &right));
}

std::string Logic(TQXLDataOperator Op, std::vector<Maker> Operands, bool CaseInsensitive = true,
                  const std::string& Escape = "") {
  TQXLExprNodeBoolean node(Op, CaseInsensitive, false, Escape);
  for (const Maker& m : Operands) node.AddChild(m());
  return Text(node.GetDataValue());
}

TEST(ExprNodeBooleanTest, AndOrNotAreThreeValued) {
  struct Case {
    TQXLDataOperator Op;
    std::vector<Maker> Operands;
    const char* Expected;
  } cases[] = {
      {doAND, {null, B(false)}, "False"}, {doAND, {null, B(true)}, "NULL"},  {doAND, {B(true), B(true)}, "True"},
      {doAND, {B(false), null}, "False"}, {doOR, {null, B(true)}, "True"},   {doOR, {null, B(false)}, "NULL"},
      {doOR, {B(false), B(false), B(true)}, "True"},                         {doNOT, {null}, "NULL"},
      {doNOT, {B(false)}, "True"},        {doISNULL, {null}, "True"},        {doISNOTNULL, {null}, "False"},
      {doISNULL, {S("")}, "True"},  // the dialect does not tell an empty string from NULL
      {doISNOTNULL, {I(0)}, "True"},
  };
  for (const Case& c : cases) EXPECT_EQ(Logic(c.Op, c.Operands), c.Expected) << OperatorText(c.Op);
}

TEST(ExprNodeBooleanTest, AndStopsAtTheFirstFalse) {
  // A third operand that cannot be evaluated is never reached.
  TQXLExprNodeBoolean node(doAND, B(true)(), B(false)(), std::make_unique<TQXLExprNodeField>(nullptr, "X", ""), true,
                           false);
  EXPECT_EQ(Text(node.GetDataValue()), "False");
}

TEST(ExprNodeBooleanTest, InBetweenAndLikeFollowTheDialect) {
  struct Case {
    TQXLDataOperator Op;
    std::vector<Maker> Operands;
    const char* Expected;
  } cases[] = {
      {doIN, {I(5), I(1), null, I(5)}, "True"},
      {doIN, {I(7), I(1), null}, "False"},
      {doIN, {null, I(1), I(2)}, "NULL"},
      {doNOTIN, {null, I(1), I(2)}, "NULL"},
      {doNOTIN, {I(7), I(1), null}, "True"},
      {doIN, {S("b"), S("A"), S("B")}, "True"},
      {doBETWEEN, {S("b"), S("A"), S("C")}, "True"},
      {doBETWEEN, {I(5), I(1), null}, "NULL"},
      {doNOTBETWEEN, {null, I(1), I(2)}, "NULL"},
      {doBETWEEN, {I(1), I(1), I(2)}, "True"},
      {doNOTBETWEEN, {I(3), I(1), I(2)}, "True"},
      {doLIKE, {null, S("%")}, "True"},
      {doLIKE, {null, S("a%")}, "False"},
      {doLIKE, {S("abc"), null}, "NULL"},
      {doNOTLIKE, {S("abc"), null}, "NULL"},
      {doLIKE, {I(5), S("5")}, "True"},
      {doLIKE, {S("abcd"), S("a_c%")}, "True"},
      {doLIKE, {S("ABCD"), S("a_c%")}, "True"},
      {doNOTLIKE, {S("xbcd"), S("a%")}, "True"},
      {doLIKE, {[] { return WStr(u"Ωmega"); }, S("_mega")}, "True"},
  };
  for (const Case& c : cases) {
    std::string what = OperatorText(c.Op);
    for (const Maker& m : c.Operands) what += " " + Text(m()->GetDataValue());
    EXPECT_EQ(Logic(c.Op, c.Operands), c.Expected) << what;
  }
  EXPECT_EQ(Logic(doLIKE, {S("ABCD"), S("a_c%")}, false), "False");
  EXPECT_EQ(Logic(doLIKE, {S("50%"), S("50!%")}, true, "!"), "True");
  EXPECT_EQ(Logic(doLIKE, {S("500"), S("50!%")}, true, "!"), "False");
  EXPECT_EQ(Logic(doLIKE, {S("500"), S("50!%")}, true), "False");
  EXPECT_EQ(CodeOf([] { Logic(doLIKE, {I(5), I(5)}); }), 30120);
  EXPECT_NE(MessageOf([] { Logic(doLIKE, {I(5), I(5)}); }).find("'LIKE'"), std::string::npos);
  EXPECT_EQ(CodeOf([] { Logic(doADD, {I(5)}); }), 30116);
}

TEST(ExprNodeBooleanTest, InAndExistsAskASubquery) {
  auto sub = std::make_unique<TestSubquery>();
  TestSubquery* subquery = sub.get();
  subquery->Answer = true;
  TQXLExprNodeBoolean in(doNOTIN, Str("v"), std::move(sub), true, false);
  EXPECT_EQ(Text(in.GetDataValue()), "False");
  EXPECT_EQ(subquery->Asked, "v");
  auto sub2 = std::make_unique<TestSubquery>();
  TQXLExprNodeBoolean exists(doEXISTS, std::move(sub2), true, false);
  EXPECT_EQ(Text(exists.GetDataValue()), "False");
}

TEST(ExprNodeBooleanTest, ColumnNullsAreThreeValuedBetweenColumns) {
  NodeTestCursor cursor;
  cursor.SetNull("ID");
  cursor.SetInt("SMALL", 3);
  auto col = [&](const char* Name) { return std::make_unique<TQXLExprNodeField>(&cursor, Name, ""); };
  TQXLExprNodeComparison eq(doEQ, col("ID"), col("SMALL"), true, true, false);
  EXPECT_EQ(Text(eq.GetDataValue()), "False");
  TQXLExprNodeBoolean notEq(doNOT, std::make_unique<TQXLExprNodeComparison>(doEQ, col("ID"), col("SMALL"), true, true,
                                                                            false),
                            true, false);
  EXPECT_EQ(Text(notEq.GetDataValue()), "True");
  cursor.SetInt("ID", 3);
  EXPECT_EQ(Text(eq.GetDataValue()), "True");
}

}  // namespace
}  // namespace qxl::nodetest
