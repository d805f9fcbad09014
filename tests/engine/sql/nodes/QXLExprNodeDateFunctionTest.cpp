#include <gtest/gtest.h>

#include <cmath>

#include "engine/sql/nodes/QXLExprNodeArithmetic.h"
#include "engine/sql/nodes/QXLExprNodeDateFunction.h"
#include "tests/engine/sql/nodes/NodeTestSupport.h"

using namespace qxl;

namespace qxl::nodetest {
namespace {

TNodePtr Time(int h, int m, int s) {
  auto n = Const();
  n->Value().Clear(bftTime);
  n->Value().SetAsQXLTime(((h * 60 + m) * 60 + s) * 1000);
  return n;
}
TNodePtr Stamp(int y, int mo, int d, int h, int mi) {
  auto n = Const();
  n->Value().Clear(bftDateTime);
  n->Value().SetAsTDateTime(platform::EncodeDate(y, mo, d) + (h * 60 + mi) / 1440.0);
  return n;
}
std::string DateText(int y, int m, int d) { return Text(Date(y, m, d)->GetDataValue()); }

TEST(ExprNodeDateFunctionTest, ToDateGivesTheTypeItsTextHolds) {
  struct Case {
    const char* Text;
    const char* Format;
    TQXLBaseFieldType Type;
    TQXLAdvancedFieldType SqlType;
  } cases[] = {
      {"2020-03-04", "YYYY-MM-DD", bftDate, aftDate},
      {"10:30", "HH24:NN", bftTime, aftTime},
      {"2020-03-04 10:30", "YYYY-MM-DD HH24:NN", bftDateTime, aftDateTime},
      {"2020-03-04 00:00", "YYYY-MM-DD HH24:NN", bftDate, aftDateTime},
  };
  for (const Case& c : cases) {
    TQXLExprNodeDateFunction node(doTODATE, Str(c.Text), c.Format);
    const TQXLVariant* v = node.GetDataValue();
    ASSERT_FALSE(v->IsNull()) << c.Text;
    EXPECT_EQ(v->DataType(), c.Type) << c.Text;
    EXPECT_EQ(node.GetDataType(), c.SqlType) << c.Text;
  }
  TQXLExprNodeDateFunction date(doTODATE, Str("2020-03-04"), "YYYY-MM-DD");
  EXPECT_EQ(Text(date.GetDataValue()), DateText(2020, 3, 4));
  TQXLExprNodeDateFunction null(doTODATE, Null(), "YYYY-MM-DD");
  EXPECT_TRUE(null.GetDataValue()->IsNull());
  EXPECT_EQ(null.GetDataValue()->DataType(), bftDateTime);
  TQXLExprNodeDateFunction bad(doTODATE, Str("10:30 XM"), "HH12:NN AMPM");
  EXPECT_EQ(CodeOf([&] { bad.GetDataValue(); }), 30129);
}

TEST(ExprNodeDateFunctionTest, ToStringWritesByTheTemplate) {
  TQXLExprNodeDateFunction year(doTOSTRING, Date(2021, 7, 9), "YYYY");
  EXPECT_EQ(Text(year.GetDataValue()), "2021");
  EXPECT_EQ(year.GetDataType(), aftString);
  EXPECT_EQ(year.GetDataSize(), TDateFormater("YYYY").GetStringMaxSize());
  TQXLExprNodeDateFunction full(doTOSTRING, Stamp(2021, 7, 9, 13, 5), "YYYY-MM-DD HH24:NN");
  EXPECT_EQ(Text(full.GetDataValue()), "2021-07-09 13:05");
  TQXLExprNodeDateFunction null(doTOSTRING, Null(), "YYYY");
  EXPECT_TRUE(null.GetDataValue()->IsNull());
  EXPECT_EQ(null.GetDataValue()->DataType(), bftVarchar);
}

TEST(ExprNodeDateFunctionTest, ExtractTakesOnePart) {
  struct Case {
    TQXLDateTimeExtractField Field;
    std::function<TNodePtr()> Source;
    std::string Text;
  } cases[] = {
      {dtefMonth, [] { return Date(2020, 3, 4); }, "3"},
      {dtefYear, [] { return Date(2020, 3, 4); }, "2020"},
      {dtefDay, [] { return Stamp(2020, 3, 4, 5, 6); }, "4"},
      {dtefSecond, [] { return Time(10, 30, 59); }, "59"},
      {dtefMinute, [] { return Time(10, 30, 59); }, "30"},
      {dtefHour, [] { return Stamp(2020, 3, 4, 23, 6); }, "23"},
      {dtefYear, [] { return Null(); }, "NULL"},
  };
  for (const Case& c : cases) {
    TQXLExprNodeDateFunction node(doEXTRACT, c.Field, c.Source());
    const TQXLVariant* v = node.GetDataValue();
    EXPECT_EQ(Text(v), c.Text) << static_cast<int>(c.Field);
    EXPECT_EQ(v->DataType(), bftUnsignedInt16);
    EXPECT_EQ(node.GetDataType(), aftWord);
  }
}

TEST(ExprNodeDateFunctionTest, TheClockFunctionsReadTheClock) {
  TQXLExprNodeDateFunction now(doSYSDATE, true, false);
  TQXLExprNodeDateFunction today(doCURRENT_DATE, true, false);
  TQXLExprNodeDateFunction time(doCURRENT_TIME, true, false);
  const TDateTime before = platform::Now();
  const TDateTime stamp = now.GetDataValue()->GetAsTDateTime();
  const TDateTime day = today.GetDataValue()->GetAsTDateTime();
  EXPECT_EQ(now.GetDataValue()->DataType(), bftDateTime);
  EXPECT_EQ(today.GetDataValue()->DataType(), bftDate);
  EXPECT_EQ(time.GetDataValue()->DataType(), bftTime);
  EXPECT_GE(stamp, before - 1.0 / 86400);
  EXPECT_EQ(day, std::floor(day));  // no time of day
  EXPECT_LE(day, stamp);
  EXPECT_EQ(now.GetDataType(), aftDateTime);
  EXPECT_EQ(today.GetDataType(), aftDate);
  EXPECT_EQ(time.GetDataType(), aftTime);
  TQXLExprNodeDateFunction wrong(doADD, true, false);
  EXPECT_EQ(CodeOf([&] { wrong.GetDataValue(); }), 30130);
  EXPECT_EQ(CodeOf([&] { wrong.GetDataType(); }), 30287);
}

TEST(ExprNodeDateFunctionTest, DateArithmeticCountsDaysAndMilliseconds) {
  auto plus = [](TNodePtr A, TNodePtr B) {
    auto n = std::make_unique<TQXLExprNodeArithmetic>(doADD, std::move(A), true, false);
    n->AddChild(std::make_unique<TQXLExprNodeArithmetic>(doADD, std::move(B), true, false));
    return n;
  };
  auto minus = [](TNodePtr A, TNodePtr B) {
    return std::make_unique<TQXLExprNodeArithmetic>(
        doADD, std::move(A), std::make_unique<TQXLExprNodeArithmetic>(doSUB, std::move(B), true, false), true, false);
  };
  EXPECT_EQ(Text(minus(Date(2020, 3, 1), Int(1))->GetDataValue()), DateText(2020, 2, 29));
  EXPECT_EQ(Text(plus(Date(2020, 12, 31), Int(1))->GetDataValue()), DateText(2021, 1, 1));
  EXPECT_EQ(Text(plus(Date(2020, 12, 31), Dbl(1.9))->GetDataValue()), DateText(2021, 1, 1));
  EXPECT_EQ(Text(plus(Stamp(2020, 1, 1, 23, 0), Dbl(0.5))->GetDataValue()),
            Text(Stamp(2020, 1, 2, 11, 0)->GetDataValue()));
  EXPECT_EQ(plus(Date(2020, 1, 1), Int(1))->GetDataType(), aftDate);
  EXPECT_EQ(CodeOf([&] { minus(Time(10, 0, 0), Time(1, 0, 0))->GetDataValue(); }), 30123);
  EXPECT_EQ(Text(plus(Date(2020, 1, 1), Null())->GetDataValue()), "NULL");
  auto oneMs = plus(Time(10, 0, 0), Int(1));
  EXPECT_EQ(oneMs->GetDataValue()->GetAsQXLTime(), 10 * 3600 * 1000 + 1);
}

}  // namespace
}  // namespace qxl::nodetest
