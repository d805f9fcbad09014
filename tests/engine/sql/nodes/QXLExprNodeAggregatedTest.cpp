#include <gtest/gtest.h>

#include <limits>
#include <optional>

#include "engine/sql/nodes/QXLExprNodeAggregated.h"
#include "engine/sql/nodes/QXLExprNodeArithmetic.h"
#include "engine/sql/nodes/QXLExprNodeField.h"
#include "tests/engine/sql/nodes/NodeTestSupport.h"

using namespace qxl;

namespace qxl::nodetest {
namespace {

// One group's rows: each a value of the argument (nullopt: NULL).
struct Row {
  Row() = default;
  Row(std::int64_t V) : Int(V) {}
  Row(int, const char* T) : Text(T) {}
  Row(int, std::nullptr_t, double R) : Real(R) {}
  std::optional<std::int64_t> Int;
  const char* Text = nullptr;
  std::optional<double> Real;
};

TNodePtr ValueOf(const Row& R) {
  if (R.Text) return Str(R.Text);
  if (R.Real) return Dbl(*R.Real);
  if (!R.Int) return Null();
  const std::int64_t v = *R.Int;
  if (v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max())
    return Int(static_cast<std::int32_t>(v));
  return Int64(v);
}

// An argument node whose value the test sets row by row.
class Argument : public TQXLExprNode {
public:
  Argument() : TQXLExprNode(true, false) {}
  TQXLVariant* GetDataValue() override { return &Value(); }
  TQXLAdvancedFieldType GetDataType() override { return Type; }
  std::int32_t GetDataSize() override { return Size; }
  void Set(const Row& R) {
    TNodePtr v = ValueOf(R);
    Value().Assign(*v->GetDataValue(), true);
  }
  TQXLAdvancedFieldType Type = aftInteger;
  std::int32_t Size = 0;
};

struct Aggregate {
  std::unique_ptr<TQXLExprNodeAggregated> Node;
  Argument* Arg = nullptr;
};

Aggregate Make(TQXLDataOperator Op, bool Distinct = false) {
  Aggregate A;
  if (Op == doCOUNTALL) {
    A.Node = std::make_unique<TQXLExprNodeAggregated>(doCOUNTALL);
    return A;
  }
  auto Arg = std::make_unique<Argument>();
  A.Arg = Arg.get();
  A.Node = std::make_unique<TQXLExprNodeAggregated>(Op, Distinct, std::move(Arg));
  return A;
}

// Init, one Accumulate per row, then the group's value.
const TQXLVariant* Group(Aggregate& A, const std::vector<Row>& Rows) {
  A.Node->Init();
  for (const Row& R : Rows) {
    if (A.Arg) A.Arg->Set(R);
    A.Node->Accumulate();
  }
  return A.Node->GetDataValue();
}

TEST(ExprNodeAggregatedTest, ValuesOverAGroupWithNullsAndDistinct) {
  struct Case {
    TQXLDataOperator Op;
    bool Distinct;
    std::vector<Row> Rows;
    const char* Expected;
    TQXLBaseFieldType Type;
  } Cases[] = {
      {doCOUNTALL, false, {}, "0", bftSignedInt32},
      {doCOUNT, false, {}, "0", bftSignedInt32},
      {doSUM, false, {}, "NULL", bftUnknown},
      {doMIN, false, {}, "NULL", bftUnknown},
      {doAVG, false, {}, "NULL", bftDouble},
      {doCOUNTALL, false, {{1}, {}, {3}}, "3", bftSignedInt32},
      {doCOUNT, false, {{1}, {}, {3}}, "2", bftSignedInt32},
      {doSUM, false, {{1}, {2}}, "3", bftSignedInt64},
      {doSUM, false, {{}, {2}, {}}, "2", bftSignedInt64},
      {doAVG, false, {{1}, {2}}, "1.5", bftDouble},
      {doAVG, false, {{1}, {}, {2}}, "1.5", bftDouble},
      {doMIN, false, {{0, "b"}, {0, "A"}, {0, "c"}}, "A", bftVarchar},
      {doMAX, false, {{0, "b"}, {0, "A"}, {0, "c"}}, "c", bftVarchar},
      {doMAX, false, {{1}, {}, {3}}, "3", bftSignedInt32},
      {doMIN, false, {{}, {5}, {4}}, "4", bftSignedInt32},
      // Equal without regard to case: the first stays.
      {doMIN, false, {{0, "a"}, {0, "A"}}, "a", bftVarchar},
      {doSUM, false, {{0, nullptr, 0.25}, {0, nullptr, 0.5}}, "0.75", bftDouble},
      // Integers sum in 64 bits: two Int32 maxima do not wrap.
      {doSUM, false, {{2147483647}, {2147483647}}, "4294967294", bftSignedInt64},
      {doSUM, false, {{5000000000LL}, {1}}, "5000000001", bftSignedInt64},
      {doCOUNT, true, {{1}, {1}, {2}, {}, {2}}, "2", bftSignedInt32},
      {doSUM, true, {{1}, {1}, {2}}, "3", bftSignedInt64},
      {doAVG, true, {{1}, {1}, {4}}, "2.5", bftDouble},
      {doCOUNT, true, {{0, "a"}, {0, "A"}, {0, "a"}}, "2", bftSignedInt32},
      {doMAX, true, {{1}, {3}, {3}}, "3", bftSignedInt32},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(OperatorText(C.Op) + (C.Distinct ? " DISTINCT" : "") + " #" + std::to_string(&C - Cases));
    Aggregate A = Make(C.Op, C.Distinct);
    const TQXLVariant* v = Group(A, C.Rows);
    EXPECT_EQ(Text(v), C.Expected);
    if (C.Type != bftUnknown) {
      EXPECT_EQ(v->DataType(), C.Type);
    }
  }
}

TEST(ExprNodeAggregatedTest, EachGroupStartsAfreshAndAResultReadsTheSameTwice) {
  Aggregate Avg = Make(doAVG, true);
  EXPECT_EQ(Text(Group(Avg, {{1}, {2}, {2}})), "1.5");
  EXPECT_EQ(Text(Avg.Node->GetDataValue()), "1.5");
  EXPECT_EQ(Text(Avg.Node->GetDataValue()), "1.5");
  // The second group has seen none of the first group's values.
  EXPECT_EQ(Text(Group(Avg, {{2}, {6}})), "4");
  EXPECT_EQ(Avg.Node->Count(), 2);

  Aggregate Max = Make(doMAX);
  EXPECT_EQ(Text(Group(Max, {{9}})), "9");
  EXPECT_EQ(Text(Group(Max, {{}})), "NULL");

  // COUNT(*) of a whole table from its record count, without rows.
  Aggregate Count = Make(doCOUNTALL);
  Count.Node->Init();
  Count.Node->SetCountAll(41);
  EXPECT_EQ(Text(Count.Node->GetDataValue()), "41");
}

TEST(ExprNodeAggregatedTest, FailuresOfTheArgument) {
  struct Case {
    TQXLDataOperator Op;
    std::vector<Row> Rows;
    std::int32_t Code;
  } Cases[] = {
      {doSUM, {{1}, {0, "x"}}, 30132},
      {doAVG, {{0, "x"}}, 30133},
      {doSUM, {{std::numeric_limits<std::int64_t>::max()}, {1}}, 30146},
      {doSUM, {{std::numeric_limits<std::int64_t>::min()}, {-1}}, 30146},
      {doLENGTH, {{1}}, 30134},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::to_string(&C - Cases));
    Aggregate A = Make(C.Op);
    EXPECT_EQ(CodeOf([&] { Group(A, C.Rows); }), C.Code);
  }
  Aggregate Sum = Make(doSUM);
  EXPECT_EQ(MessageOf([&] { Group(Sum, {{0, "x"}}); }).rfind("Not numeric argument in numeric operator 'SUM'", 0), 0u);
}

TEST(ExprNodeAggregatedTest, TypesAndSizesForPlanning) {
  struct Case {
    TQXLDataOperator Op;
    TQXLAdvancedFieldType Argument;
    TQXLAdvancedFieldType Type;
    std::int32_t Size;
  } Cases[] = {
      {doSUM, aftInteger, aftLargeint, 0},  {doSUM, aftSmallint, aftLargeint, 0},
      {doSUM, aftDouble, aftDouble, 0},     {doSUM, aftCurrency, aftCurrency, 0},
      {doSUM, aftSingle, aftSingle, 0},     {doAVG, aftInteger, aftDouble, 0},
      {doMIN, aftString, aftString, 20},    {doMAX, aftDate, aftDate, 20},
      {doCOUNT, aftString, aftInteger, 0},  {doCOUNTALL, aftUnknown, aftInteger, 0},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::to_string(&C - Cases));
    Aggregate A = Make(C.Op);
    if (A.Arg) {
      A.Arg->Type = C.Argument;
      A.Arg->Size = 20;
    }
    EXPECT_EQ(A.Node->GetDataType(), C.Type);
    EXPECT_EQ(A.Node->GetDataSize(), C.Size);
    EXPECT_TRUE(A.Node->IsAggregated());
    EXPECT_EQ(A.Node->IsAggregatedCountAll(), C.Op == doCOUNTALL);
    EXPECT_TRUE(A.Node->CanBeUsedInGroupBy("OTHER"));
  }
  // An expression over an aggregate is aggregated too.
  TQXLExprNodeArithmetic Plus(doADD, Make(doSUM).Node, Int(1), true, false);
  EXPECT_TRUE(Plus.IsAggregated());
  EXPECT_FALSE(Plus.IsAggregatedCountAll());
}

class GroupingAO : public TestAO {
public:
  using TestAO::TestAO;
  bool IsGrouping() const override { return true; }
};

TEST(ExprNodeAggregatedTest, OnlyAGroupingOperatorTakesAnAggregate) {
  const std::vector<TestAO::Column> Columns{{"T", "ID", aftInteger, 0}};
  TestAO Plain(Columns);
  GroupingAO Grouping(Columns);
  auto Sum = [] {
    return std::make_unique<TQXLExprNodeAggregated>(doSUM, false,
                                                    std::make_unique<TQXLExprNodeField>(nullptr, "ID", "T"));
  };
  EXPECT_FALSE(Sum()->CanBeAssigned(&Plain, nullptr, nullptr, false));
  EXPECT_FALSE(Sum()->CanBeAssigned(nullptr, nullptr, nullptr, true));
  EXPECT_TRUE(Sum()->CanBeAssigned(&Grouping, nullptr, nullptr, true));
  auto Missing = std::make_unique<TQXLExprNodeAggregated>(
      doSUM, false, std::make_unique<TQXLExprNodeField>(nullptr, "OTHER", "T"));
  EXPECT_FALSE(Missing->CanBeAssigned(&Grouping, nullptr, nullptr, false));
  EXPECT_TRUE(TQXLExprNodeAggregated(doCOUNTALL).CanBeAssigned(&Grouping, nullptr, nullptr, false));

  // Bound to the grouping operator, the argument reads its current row.
  auto Bound = Sum();
  Bound->AssignAO(&Grouping, nullptr, nullptr);
  Bound->Init();
  for (std::int32_t v : {4, 5}) {
    Grouping.Row[0].Clear(bftSignedInt32);
    Grouping.Row[0].SetAsInteger(v);
    Bound->Accumulate();
  }
  EXPECT_EQ(Text(Bound->GetDataValue()), "9");
}

}  // namespace
}  // namespace qxl::nodetest
