#include <gtest/gtest.h>

// The SQL layer's expression object is declared beside the node classes,
// which name the core's expression interface only.
namespace qxl {
class TQXLExpression;
}

#include "engine/core/schema/QXLIndexDef.h"
#include "engine/sql/nodes/QXLExprNodes.h"
#include "tests/engine/sql/nodes/NodeTestSupport.h"

using namespace qxl;

namespace qxl::nodetest {
namespace {

constexpr std::int32_t Session = 7;

class ExprNodeIndexScanTest : public ::testing::Test {
protected:
  ExprNodeIndexScanTest() {
    Add("BY_NAME_NOCASE", {{"NAME", false, true}});
    Add("BY_ID", {{"ID", false, false}});
    Add("BY_ID_DESC", {{"ID", true, false}});
    Add("BY_ID_SMALL", {{"ID", false, false}, {"SMALL", false, false}});
    Add("OTHER_SESSION", {{"ID", false, false}}).Temporary = true;
    TQXLIndexDef& mine = Add("MY_SESSION", {{"ID", false, false}});
    mine.Temporary = true;
    mine.SessionID = Session;
    Add("BY_NAME_CASE", {{"Name", false, false}});
  }

  struct Column {
    const char* Name;
    bool Descending, CaseInsensitive;
  };
  TQXLIndexDef& Add(const char* Name, std::vector<Column> Columns) {
    TQXLIndexDef* def = Indexes.AddCreated();
    def->Name = Name;
    def->ObjectID = 100 + Indexes.Count();
    def->SetColumnCount(static_cast<std::int32_t>(Columns.size()));
    for (std::size_t i = 0; i < Columns.size(); ++i) {
      TQXLIndexColumn& c = def->GetIndexColumn(static_cast<std::int32_t>(i));
      c.FieldName = Columns[i].Name;
      c.Descending = Columns[i].Descending;
      c.CaseInsensitive = Columns[i].CaseInsensitive;
    }
    return *def;
  }
  TQXLIndexDef* Index(const char* Name) { return Indexes.GetIndexDefByName(Name); }
  TNodePtr Col(const char* Name) { return std::make_unique<TQXLExprNodeField>(&Cursor, Name, ""); }
  TNodePtr Upper(const char* Name) {
    return std::make_unique<TQXLExprNodeStringFunction>(doUPPER, Col(Name), true, false);
  }
  // The indexes, in list order, that the node can bound.
  std::vector<std::string> Usable(TQXLExprNode& Node) {
    std::vector<std::string> names;
    for (std::int32_t i = 0; i < Indexes.Count(); ++i)
      if (Node.CanUseIndex(0, scNone, Indexes.GetIndexDef(i), Session)) names.push_back(Indexes.GetIndexDef(i)->Name);
    return names;
  }
  // Key field FieldName of a key buffer, as text.
  std::string Key(const std::uint8_t* Buffer, const char* FieldName) {
    const std::int32_t no = Cursor.No(FieldName);
    if (GetBitInBuffer(no, Buffer)) return "NULL";
    const TQXLFieldDef& f = *Cursor.FFieldDefs->GetDef(no);
    TQXLVariant v;
    v.SetData(Buffer + f.MemoryOffset, f.MemoryDataSize, f.BaseFieldType, true);
    return Text(&v);
  }

  NodeTestCursor Cursor;
  TQXLIndexDefs Indexes;
  TQXLBaseExpression* const Expression = reinterpret_cast<TQXLBaseExpression*>(static_cast<std::uintptr_t>(0x1000));
};

TEST_F(ExprNodeIndexScanTest, WhichIndexesAComparisonCanBound) {
  using Names = std::vector<std::string>;
  struct Case {
    const char* What;
    std::function<TNodePtr()> Make;
    Names Usable;
  };
  auto cmp = [](TQXLDataOperator Op, std::function<TNodePtr()> L, std::function<TNodePtr()> R, bool CaseInsensitive,
                bool PartialKey = false) {
    return [=] {
      return std::make_unique<TQXLExprNodeComparison>(Op, L(), R(), true, CaseInsensitive, PartialKey);
    };
  };
  auto col = [this](const char* N) { return [this, N] { return Col(N); }; };
  auto upper = [this](const char* N) { return [this, N] { return Upper(N); }; };
  auto i = [](std::int32_t v) { return [v] { return Int(v); }; };
  auto s = [](const char* v) { return [v] { return Str(v); }; };
  const Names byId{"BY_ID", "BY_ID_DESC", "BY_ID_SMALL", "MY_SESSION"};
  const Case cases[] = {
      {"ID = 5", cmp(doEQ, col("ID"), i(5), false), byId},
      {"5 < ID", cmp(doLT, i(5), col("ID"), false), byId},
      {"ID >= 5", cmp(doGE, col("ID"), i(5), false), byId},
      {"ID <> 5", cmp(doNE, col("ID"), i(5), false), {}},
      {"ID = SMALL", cmp(doEQ, col("ID"), col("SMALL"), false), {}},
      {"NAME = 'x' ignoring case", cmp(doEQ, col("NAME"), s("x"), true), {"BY_NAME_NOCASE"}},
      {"NAME = 'x'", cmp(doEQ, col("NAME"), s("x"), false), {"BY_NAME_CASE"}},
      {"NAME = 'x' as a prefix", cmp(doEQ, col("NAME"), s("x"), false, true), {}},
      {"UPPER(NAME) = 'SMITH'", cmp(doEQ, upper("NAME"), s("SMITH"), false), {"BY_NAME_NOCASE"}},
      {"UPPER(NAME) = 'Smith'", cmp(doEQ, upper("NAME"), s("Smith"), false), {}},
      {"NAME = a text as long as the column", cmp(doEQ, col("NAME"), s("12345678901234567890"), false), {}},
      {"MEMO = 'x'", cmp(doEQ, col("MEMO"), s("x"), false), {}},
  };
  for (const Case& c : cases) {
    TNodePtr node = c.Make();
    EXPECT_EQ(Usable(*node), c.Usable) << c.What;
  }
  // UPPER makes the comparison ignore case once an index takes it.
  auto upperNode = cmp(doEQ, upper("NAME"), s("SMITH"), false)();
  ASSERT_TRUE(upperNode->CanUseIndex(0, scNone, Index("BY_NAME_NOCASE"), Session));
  EXPECT_TRUE(upperNode->CaseInsensitive());
}

TEST_F(ExprNodeIndexScanTest, NewConditionsCarryTheKeyAndTheirOrigin) {
  struct Case {
    const char* What;
    std::function<TNodePtr()> Make;
    const char* Index;
    TQXLSearchCondition Condition;
    const char* Key;
  } cases[] = {
      {"ID = 5", [this] { return std::make_unique<TQXLExprNodeComparison>(doEQ, Col("ID"), Int(5), true, false, false); },
       "BY_ID", scEqual, "5"},
      {"5 < ID", [this] { return std::make_unique<TQXLExprNodeComparison>(doLT, Int(5), Col("ID"), true, false, false); },
       "BY_ID", scGreater, "5"},
      {"5 < ID descending",
       [this] { return std::make_unique<TQXLExprNodeComparison>(doLT, Int(5), Col("ID"), true, false, false); },
       "BY_ID_DESC", scLower, "5"},
      {"ID <= 5 descending",
       [this] { return std::make_unique<TQXLExprNodeComparison>(doLE, Col("ID"), Int(5), true, false, false); },
       "BY_ID_DESC", scGreaterEqual, "5"},
      {"ID IS NULL", [this] { return std::make_unique<TQXLExprNodeBoolean>(doISNULL, Col("ID"), true, false); },
       "BY_ID", scEqual, "NULL"},
      {"ID IS NOT NULL", [this] { return std::make_unique<TQXLExprNodeBoolean>(doISNOTNULL, Col("ID"), true, false); },
       "BY_ID", scGreater, "NULL"},
      {"ID IS NOT NULL descending",
       [this] { return std::make_unique<TQXLExprNodeBoolean>(doISNOTNULL, Col("ID"), true, false); }, "BY_ID_DESC",
       scLower, "NULL"},
  };
  for (const Case& c : cases) {
    TNodePtr node = c.Make();
    TQXLIndexDef* index = Index(c.Index);
    ASSERT_TRUE(node->CanUseIndex(0, scNone, index, Session)) << c.What;
    TQXLScanSearchConditionArray conditions;
    node->AddAsIndexScanCondition(&conditions, index, Expression);
    ASSERT_EQ(conditions.Count(), 1) << c.What;
    const TQXLScanSearchCondition& made = *conditions.Item(0);
    EXPECT_EQ(made.Condition, c.Condition) << c.What;
    EXPECT_EQ(made.IndexID, index->ObjectID);
    EXPECT_EQ(made.KeyFieldCount, 1);
    EXPECT_TRUE(made.CreatedFromExpression);
    EXPECT_FALSE(made.PartialCompare);
    EXPECT_EQ(made.Expression, nullptr);
    EXPECT_EQ(made.ParentExpressions, std::vector<TQXLBaseExpression*>{Expression});
    EXPECT_EQ(made.ParentExpressionNodes, std::vector<TQXLExprNode*>{node.get()});
    EXPECT_EQ(Key(made.KeyRecordBuffer, "ID"), c.Key) << c.What;
  }
}

TEST_F(ExprNodeIndexScanTest, EqualitiesLengthenAConditionOverLaterColumns) {
  TQXLExprNodeComparison first(doEQ, Col("ID"), Int(1), true, false, false);
  TQXLExprNodeComparison second(doEQ, Col("SMALL"), Int(2), true, false, false);
  TQXLExprNodeComparison greater(doGT, Col("SMALL"), Int(2), true, false, false);
  TQXLExprNodeBoolean isNull(doISNULL, Col("SMALL"), true, false);
  TQXLExprNodeBoolean notNull(doISNOTNULL, Col("SMALL"), true, false);
  TQXLIndexDef* index = Index("BY_ID_SMALL");
  TQXLScanSearchConditionArray conditions;
  first.AddAsIndexScanCondition(&conditions, index, Expression);
  TQXLScanSearchCondition& made = *conditions.Item(0);

  EXPECT_FALSE(second.CanUseIndex(0, scNone, index, Session));  // not the first column
  EXPECT_TRUE(second.CanUseIndex(1, scEqual, index, -1));
  EXPECT_FALSE(second.CanUseIndex(1, scGreater, index, -1));
  EXPECT_FALSE(greater.CanUseIndex(1, scEqual, index, -1));
  EXPECT_TRUE(isNull.CanUseIndex(1, scEqual, index, -1));
  EXPECT_FALSE(notNull.CanUseIndex(1, scEqual, index, -1));
  EXPECT_FALSE(second.CanUseIndex(2, scEqual, index, -1));  // the index has two columns

  second.ExtendIndexScanCondition(&made, index, Expression);
  EXPECT_EQ(made.KeyFieldCount, 2);
  EXPECT_EQ(Key(made.KeyRecordBuffer, "ID"), "1");
  EXPECT_EQ(Key(made.KeyRecordBuffer, "SMALL"), "2");
  EXPECT_EQ(made.ParentExpressionNodes, (std::vector<TQXLExprNode*>{&first, &second}));
}

TEST_F(ExprNodeIndexScanTest, ConditionsWithoutAColumnOrIndexAreRefused) {
  TQXLScanSearchConditionArray conditions;
  TQXLExprNodeComparison constants(doEQ, Int(1), Int(1), true, false, false);
  EXPECT_EQ(CodeOf([&] { constants.AddAsIndexScanCondition(&conditions, Index("BY_ID"), Expression); }), 20055);
  TQXLExprNodeComparison good(doEQ, Col("ID"), Int(1), true, false, false);
  TQXLIndexDef empty;
  EXPECT_EQ(CodeOf([&] { good.AddAsIndexScanCondition(&conditions, &empty, Expression); }), 20057);
  TQXLExprNodeBoolean unbound(doISNULL, std::make_unique<TQXLExprNodeField>(nullptr, "ID", ""), true, false);
  EXPECT_FALSE(unbound.CanUseIndex(0, scNone, Index("BY_ID"), Session));
  EXPECT_EQ(CodeOf([&] { unbound.AddAsIndexScanCondition(&conditions, Index("BY_ID"), Expression); }), 20254);
  TQXLExprNodeBoolean isNull(doISNULL, Col("ID"), true, false);
  EXPECT_EQ(CodeOf([&] { isNull.AddAsIndexScanCondition(&conditions, &empty, Expression); }), 20255);
  EXPECT_EQ(conditions.Count(), 0);
  TQXLExprNodeBoolean like(doLIKE, Col("NAME"), Str("a%"), true, false);
  EXPECT_FALSE(like.CanUseIndex(0, scNone, Index("BY_NAME_NOCASE"), Session));
}

}  // namespace
}  // namespace qxl::nodetest
