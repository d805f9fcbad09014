#include <gtest/gtest.h>

#include "engine/sql/nodes/QXLDataOperator.h"
#include "engine/sql/nodes/QXLExprNodeArithmetic.h"
#include "engine/sql/nodes/QXLExprNodeBoolean.h"
#include "engine/sql/nodes/QXLExprNodeStringFunction.h"
#include "engine/sql/nodes/QXLSemicolonList.h"
#include "tests/engine/sql/nodes/NodeTestSupport.h"

using namespace qxl;

namespace qxl::nodetest {
namespace {

TEST(ExprNodeTreeTest, ChildrenMoveInAndOutWithTheirOwnership) {
  auto root = std::make_unique<TQXLExprNodeBoolean>(doAND, Int(1), Int(2), Int(3), true, false);
  ASSERT_EQ(root->ChildCount(), 3);
  TQXLExprNode* second = root->Child(1);

  TNodePtr taken = root->DetachChild(second);
  EXPECT_EQ(taken.get(), second);
  EXPECT_EQ(root->ChildCount(), 2);
  EXPECT_EQ(root->IndexOfChild(second), -1);
  EXPECT_EQ(root->DetachChild(second), nullptr);  // no longer a child

  root->InsertChild(0, std::move(taken));
  EXPECT_EQ(root->Child(0), second);
  TNodePtr old = root->ReplaceChild(2, Int(9));
  EXPECT_EQ(Text(old->GetDataValue()), "3");
  EXPECT_EQ(Text(root->Child(2)->GetDataValue()), "9");

  root->AddChild(nullptr);  // no node, no child
  EXPECT_EQ(root->ChildCount(), 3);
  EXPECT_EQ(CodeOf([&] { root->Child(3); }), 20279);
  EXPECT_EQ(CodeOf([&] { root->DetachChild(-1); }), 20279);
  EXPECT_EQ(root->ChildCount(), 3);
}

TEST(ExprNodeTreeTest, TypeFoldsTheChildrenFromTheLeft) {
  struct Case {
    std::function<TNodePtr()> A, B;
    TQXLAdvancedFieldType Expected;
  } cases[] = {
      {[] { return Int(1); }, [] { return Int(2); }, aftInteger},
      {[] { return Int(1); }, [] { return Dbl(2); }, aftDouble},
      {[] { return Str("a"); }, [] { return Int(2); }, aftString},
      {[] { return Date(2020, 1, 1); }, [] { return Int(2); }, aftDate},
  };
  for (const Case& c : cases) {
    TQXLExprNodeArithmetic node(doMUL, c.A(), c.B(), true, false);
    EXPECT_EQ(node.GetDataType(), c.Expected);
  }
  TQXLExprNodeArithmetic empty(doADD, true, false);
  EXPECT_EQ(CodeOf([&] { empty.GetDataType(); }), 30283);
  TQXLExprNodeArithmetic unknown(doMUL, Null(bftUnknown), Null(bftUnknown), true, false);
  EXPECT_EQ(CodeOf([&] { unknown.GetDataType(); }), 30283);
}

TEST(ExprNodeTreeTest, BaseSlotsAskTheChildren) {
  TQXLExprNodeBoolean node(doAND, Int(1), Str("x"), true, false);
  EXPECT_FALSE(node.IsAggregated());
  EXPECT_FALSE(node.IsAggregatedCountAll());
  EXPECT_TRUE(node.CanBeAssigned(nullptr, nullptr, nullptr, false));
  EXPECT_TRUE(node.CanBeUsedInGroupBy("A;B"));
  EXPECT_EQ(node.GetSubqueryFieldValue(0), nullptr);
  EXPECT_EQ(node.GetPrecision(), 0);
  EXPECT_FALSE(node.CanUseIndex(0, scNone, nullptr, 0));
  EXPECT_FALSE(node.IsJoinCondition(nullptr, nullptr));
}

TEST(ExprNodeRoutinesTest, ComparisonOperatorsMirrorAndNegate) {
  struct Case {
    TQXLDataOperator Op, Mirrored, Negated;
    const char* Text;
  } cases[] = {
      {doEQ, doEQ, doNE, "="},          {doNE, doNE, doEQ, "<>"},         {doGT, doLT, doLE, ">"},
      {doLT, doGT, doGE, "<"},          {doGE, doLE, doLT, ">="},         {doLE, doGE, doGT, "<="},
      {doAND, doUNDEFINED, doUNDEFINED, "AND"}, {doLIKE, doUNDEFINED, doUNDEFINED, "LIKE"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MirrorComparisonOperator(c.Op), c.Mirrored) << c.Text;
    EXPECT_EQ(NegateComparisonOperator(c.Op), c.Negated) << c.Text;
    EXPECT_EQ(OperatorText(c.Op), c.Text);
  }
  EXPECT_EQ(OperatorText(doCOUNTALL), "COUNT(*)");
  EXPECT_EQ(OperatorText(doROUND), "unknown");
}

TEST(ExprNodeRoutinesTest, SemicolonListsAreTrimmedAndUpperCased) {
  struct Case {
    const char* Text;
    std::vector<std::string> Items;
  } cases[] = {
      {"a ; b;", {"A", "B"}},
      {"A;;B", {"A", "", "B"}},
      {"", {}},
      {" \tname\r\n", {"NAME"}},
      {"é;x", {"É", "X"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> items{"stale"};
    SplitSemicolonList(items, c.Text);
    EXPECT_EQ(items, c.Items) << c.Text;
  }
  std::int32_t pos = 1;
  std::string item;
  ExtractSemicolonItem("ab;cd", pos, item);
  EXPECT_EQ(item, "ab");
  EXPECT_EQ(pos, 4);
  ExtractSemicolonItem("ab;cd", pos, item);
  EXPECT_EQ(item, "cd");
  EXPECT_EQ(pos, 6);
}

TEST(ExprNodeConstTest, TypeAndSizeFollowTheValue) {
  struct Case {
    std::function<TNodePtr()> Make;
    TQXLAdvancedFieldType Type;
    std::int32_t Size;
  } cases[] = {
      {[] { return Int(5); }, aftInteger, 0},
      {[] { return Null(); }, aftInteger, 0},
      {[] { return Str("abc"); }, aftString, 3},
      {[] { return Str("é"); }, aftString, 1},
      {[] { return WStr(u"abcd"); }, aftWideString, 8},
      {[] { return Null(bftVarchar); }, aftString, 0},
      {[] { return Dbl(1.5); }, aftDouble, 0},
      {[] { return Bool(true); }, aftBoolean, 0},
  };
  for (const Case& c : cases) {
    TNodePtr n = c.Make();
    EXPECT_EQ(n->GetDataType(), c.Type) << Text(n->GetDataValue());
    EXPECT_EQ(n->GetDataSize(), c.Size) << Text(n->GetDataValue());
    EXPECT_TRUE(n->CanBeAssigned(nullptr, nullptr, nullptr, false));
  }
}

TEST(ExprNodeConstTest, PrefixPatternsAreRecognisedAndTruncated) {
  struct Case {
    std::function<TNodePtr()> Make;
    bool Prefix;
    std::string Truncated;
  } cases[] = {
      {[] { return Str("abc%"); }, true, "abc"},   {[] { return WStr(u"ab%"); }, true, "ab"},
      {[] { return Str("a%"); }, true, "a"},       {[] { return Str("%"); }, false, ""},
      {[] { return Str("a%c%"); }, false, ""},     {[] { return Str("a_c%"); }, false, ""},
      {[] { return Str("abc"); }, false, ""},      {[] { return Int(5); }, false, ""},
  };
  for (const Case& c : cases) {
    TNodePtr n = c.Make();
    auto* k = static_cast<TQXLExprNodeConst*>(n.get());
    const std::string written = Text(k->GetDataValue());
    ASSERT_EQ(k->IsLikePatternEqualToPartialComparePattern(), c.Prefix) << written;
    if (!c.Prefix) continue;
    const TQXLBaseFieldType type = k->Value().DataType();
    k->TruncateForPartialCompare();
    EXPECT_EQ(Text(k->GetDataValue()), c.Truncated);
    EXPECT_EQ(k->Value().DataType(), type);
  }
}

TEST(ExprNodeConstTest, CaseTestsLookAtStringsOnly) {
  struct Case {
    std::function<TNodePtr()> Make;
    bool Upper, Lower;
  } cases[] = {
      {[] { return Str("ABC 1"); }, true, false},  {[] { return Str("abc 1"); }, false, true},
      {[] { return Str("Abc"); }, false, false},   {[] { return WStr(u"ÄÖ"); }, true, false},
      {[] { return Str("123"); }, true, true},     {[] { return Int(5); }, false, false},
  };
  for (const Case& c : cases) {
    TNodePtr n = c.Make();
    auto* k = static_cast<TQXLExprNodeConst*>(n.get());
    EXPECT_EQ(k->IsUpperCase(), c.Upper) << Text(k->GetDataValue());
    EXPECT_EQ(k->IsLowerCase(), c.Lower) << Text(k->GetDataValue());
  }
}

}  // namespace
}  // namespace qxl::nodetest
