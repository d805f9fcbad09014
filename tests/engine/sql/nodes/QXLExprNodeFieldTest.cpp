#include <gtest/gtest.h>

#include "engine/sql/nodes/QXLExprNodeComparison.h"
#include "engine/sql/nodes/QXLExprNodeStringFunction.h"
#include "tests/engine/sql/nodes/NodeTestSupport.h"

using namespace qxl;

namespace qxl::nodetest {
namespace {

TEST(ExprNodeFieldTest, ReadsEveryColumnOfTheBoundRecord) {
  NodeTestCursor cursor;
  cursor.SetText("NAME", "Smith");
  TQXLVariant wide(bftWideVarchar);
  wide.SetAsWideString(u"Ünal");
  cursor.Set("WNAME", wide);
  cursor.SetInt("ID", 42);
  TQXLVariant big(bftSignedInt64);
  big.SetAsInt64(1LL << 40);
  cursor.Set("BIG", big);
  TQXLVariant price(bftDouble);
  price.SetAsDouble(2.5);
  cursor.Set("PRICE", price);
  TQXLVariant day(bftDate);
  day.SetAsTDate(platform::EncodeDate(2020, 3, 4));
  cursor.Set("DAY", day);
  TQXLVariant flag(bftLogical);
  flag.SetAsBoolean(true);
  cursor.Set("FLAG", flag);
  cursor.SetBlob("MEMO", "long text");
  const std::u16string wmemo = u"wide memo €";
  cursor.SetBlob("WMEMO", std::string(reinterpret_cast<const char*>(wmemo.data()), wmemo.size() * 2));

  struct Case {
    const char* Name;
    TQXLBaseFieldType Type;
    TQXLAdvancedFieldType SqlType;
    std::string Text;
  } cases[] = {
      {"NAME", bftVarchar, aftString, "Smith"},     {"name", bftVarchar, aftString, "Smith"},
      {"WNAME", bftWideVarchar, aftWideString, "Ünal"}, {"ID", bftSignedInt32, aftInteger, "42"},
      {"BIG", bftSignedInt64, aftLargeint, "1099511627776"}, {"PRICE", bftDouble, aftDouble, Text(&price)},
      {"DAY", bftDate, aftDate, Text(&day)},         {"FLAG", bftLogical, aftBoolean, Text(&flag)},
      {"MEMO", bftClob, aftMemo, "long text"},       {"WMEMO", bftWideClob, aftWideMemo, "wide memo €"},
      {"AT", bftUnknown, aftTime, "NULL"},           {"CODE", bftUnknown, aftGuid, "NULL"},
  };
  for (const Case& c : cases) {
    TQXLExprNodeField node(&cursor, c.Name, "");
    const TQXLVariant* v = node.GetDataValue();
    EXPECT_EQ(Text(v), c.Text) << c.Name;
    if (!v->IsNull()) {
      EXPECT_EQ(v->DataType(), c.Type) << c.Name;
    }
    EXPECT_EQ(node.GetDataType(), c.SqlType) << c.Name;
  }
  EXPECT_EQ(cursor.OpenBlobs, 0);
  EXPECT_EQ(cursor.BufferSeenByBlobOpen, cursor.FCurrentRecordBuffer);
}

TEST(ExprNodeFieldTest, FollowsTheRecordBufferItIsGiven) {
  NodeTestCursor cursor;
  cursor.SetInt("ID", 1);
  cursor.SetBlob("MEMO", "first");
  TQXLExprNodeField id(&cursor, "ID", "");
  TQXLExprNodeField memo(&cursor, "MEMO", "");

  std::uint8_t* other = cursor.AllocateRecordBuffer();
  std::memcpy(other, cursor.FCurrentRecordBuffer, static_cast<std::size_t>(cursor.FRecordBufferSize));
  cursor.SetInt("ID", 2);
  id.AssignCursorBuffer(other, false);
  memo.AssignCursorBuffer(other, false);
  EXPECT_EQ(Text(id.GetDataValue()), "1");
  // The BLOB is opened with the given buffer as the cursor's record, which
  // the cursor gets back afterwards.
  std::uint8_t* current = cursor.FCurrentRecordBuffer;
  EXPECT_EQ(Text(memo.GetDataValue()), "first");
  EXPECT_EQ(cursor.BufferSeenByBlobOpen, other);
  EXPECT_EQ(cursor.FCurrentRecordBuffer, current);

  id.AssignCursorBuffer(current, true);  // only outer references take it
  EXPECT_EQ(Text(id.GetDataValue()), "1");
  cursor.FreeRecordBuffer(other);
}

TEST(ExprNodeFieldTest, BindingFailuresNameTheColumn) {
  NodeTestCursor cursor;
  TQXLExprNodeField unbound(nullptr, "ID", "T");
  EXPECT_EQ(unbound.FieldNo(), -1);
  EXPECT_EQ(CodeOf([&] { unbound.GetDataValue(); }), 30196);
  EXPECT_EQ(CodeOf([&] { unbound.GetDataType(); }), 30284);
  EXPECT_EQ(CodeOf([&] { unbound.AssignCursor(nullptr, nullptr, nullptr); }), 30202);
  EXPECT_EQ(CodeOf([&] { TQXLExprNodeField(&cursor, "NOPE", ""); }), 30115);
  EXPECT_NE(MessageOf([&] { TQXLExprNodeField(&cursor, "NOPE", ""); }).find("'NOPE'"), std::string::npos);
  // A record buffer gives an unbound reference nothing to read.
  unbound.AssignCursorBuffer(cursor.FCurrentRecordBuffer, false);
  EXPECT_EQ(CodeOf([&] { unbound.GetDataValue(); }), 30196);
  TestAO ao({{"T", "A", aftInteger, 4}});
  ao.Row[0].Clear(bftSignedInt32);
  ao.Row[0].SetAsInteger(9);
  TQXLExprNodeField onOperator(nullptr, "A", "");
  onOperator.AssignAO(&ao, nullptr, nullptr);
  onOperator.AssignCursorBuffer(cursor.FCurrentRecordBuffer, false);
  EXPECT_EQ(Text(onOperator.GetDataValue()), "9");
  TQXLExprNodeField missing(nullptr, "B", "T");
  EXPECT_EQ(CodeOf([&] { missing.AssignAO(&ao, nullptr, nullptr); }), 30197);
  EXPECT_NE(MessageOf([&] { missing.AssignAO(&ao, nullptr, nullptr); }).find("'T.B'"), std::string::npos);
}

TEST(ExprNodeFieldTest, FindsAColumnByItsVisibleAlias) {
  NodeTestCursor cursor;
  cursor.SetInt("ID", 7);
  cursor.FVisibleFieldDefs->GetDef(cursor.No("ID"))->Name = "KEY";
  TQXLExprNodeField node(&cursor, "key", "");
  EXPECT_EQ(node.FieldNo(), cursor.No("ID"));
  EXPECT_EQ(Text(node.GetDataValue()), "7");
}

TEST(ExprNodeFieldTest, BindsToAnOperatorAndReadsItsRow) {
  TestAO ao({{"A", "X", aftInteger, 4}, {"B", "X", aftString, 10}, {"B", "Y", aftString, 30}});
  ao.Row[2].Clear(bftVarchar);
  ao.Row[2].SetAsAnsiString("why");

  TQXLExprNodeField y(nullptr, "Y", "");
  EXPECT_TRUE(y.CanBeAssigned(&ao, nullptr, nullptr, false));
  EXPECT_FALSE(y.GetFromParent());
  y.AssignAO(&ao, nullptr, nullptr);
  EXPECT_EQ(y.FieldNo(), 2);
  EXPECT_EQ(y.GetDataType(), aftString);
  EXPECT_EQ(y.GetDataSize(), 30);
  EXPECT_EQ(Text(y.GetDataValue()), "why");

  // Two columns match: not bindable by the planner's test, yet bound to the first.
  TQXLExprNodeField x(nullptr, "X", "");
  EXPECT_FALSE(x.CanBeAssigned(&ao, nullptr, nullptr, false));
  x.AssignAO(&ao, nullptr, nullptr);
  EXPECT_EQ(x.FieldNo(), 0);
  TQXLExprNodeField bx(nullptr, "X", "B");
  EXPECT_TRUE(bx.CanBeAssigned(&ao, nullptr, nullptr, false));

  // Found only in the parent query's operator: an outer reference.
  TestAO inner({{"C", "Z", aftInteger, 4}});
  TQXLExprNodeField outer(nullptr, "Y", "");
  EXPECT_TRUE(outer.CanBeAssigned(&inner, &ao, nullptr, false));
  EXPECT_TRUE(outer.GetFromParent());
  outer.AssignAO(&inner, &ao, nullptr);
  EXPECT_EQ(outer.AO(), &ao);
  EXPECT_EQ(Text(outer.GetDataValue()), "why");
  // The operator's own column wins over the enclosing query's.
  TQXLExprNodeField own(nullptr, "Z", "");
  TestAO alsoZ({{"P", "Z", aftInteger, 4}});
  EXPECT_TRUE(own.CanBeAssigned(&inner, &alsoZ, nullptr, false));
  EXPECT_FALSE(own.GetFromParent());
}

TEST(ExprNodeFieldTest, RewritesAliasesOfTheSelectList) {
  std::vector<TQXLSelectListItem> list(3);
  list[0].Pseudonym = "total";
  list[0].IsExpression = true;
  list[1].Pseudonym = "N";
  list[1].FieldName = "NAME";
  list[1].TableName = "T";
  list[2].Pseudonym = "n";
  list[2].FieldName = "NICK";
  list[2].TableName = "U";
  TQXLExprNodeField total(nullptr, "TOTAL", "");
  total.ReplacePseudonyms(list);
  EXPECT_EQ(total.FieldName(), "TOTAL");  // an expression alias stays
  TQXLExprNodeField n(nullptr, "n", "");
  n.ReplacePseudonyms(list);
  EXPECT_EQ(n.FieldName(), "NAME");  // rewritten once, then no alias matches "NAME"
  EXPECT_EQ(n.TableName(), "T");
  TQXLExprNodeField qualified(nullptr, "N", "U");
  qualified.ReplacePseudonyms(list);
  EXPECT_EQ(qualified.FieldName(), "NICK");

  TQXLSelectListItem item;
  qualified.FillItem(item);
  EXPECT_EQ(item.FieldName, "NICK");
  EXPECT_EQ(item.TableName, "U");
  EXPECT_TRUE(qualified.CanBeUsedInGroupBy("name ; nick"));
  EXPECT_FALSE(qualified.CanBeUsedInGroupBy("NAME"));
}

TEST(ExprNodeFieldTest, IndexSidesAreColumnsOfTheScannedTableAndConstants) {
  NodeTestCursor cursor;
  TQXLExprNodeField column(&cursor, "NAME", "");
  auto upper = std::make_unique<TQXLExprNodeStringFunction>(
      doUPPER, std::make_unique<TQXLExprNodeField>(&cursor, "NAME", ""), true, false);
  TQXLExprNodeField unbound(nullptr, "NAME", "");
  TestAO parent({{"P", "Q", aftInteger, 4}});
  TQXLExprNodeField outer(nullptr, "Q", "");
  ASSERT_TRUE(outer.CanBeAssigned(nullptr, &parent, nullptr, false));
  TNodePtr constant = Int(1);

  EXPECT_TRUE(TQXLExprNode::CanUseNodeAsField(&column));
  EXPECT_TRUE(TQXLExprNode::CanUseNodeAsField(upper.get()));
  EXPECT_FALSE(TQXLExprNode::CanUseNodeAsField(&unbound));
  EXPECT_FALSE(TQXLExprNode::CanUseNodeAsField(constant.get()));
  EXPECT_TRUE(TQXLExprNode::CanUseNodeAsConst(constant.get()));
  EXPECT_TRUE(TQXLExprNode::CanUseNodeAsConst(&outer));
  EXPECT_FALSE(TQXLExprNode::CanUseNodeAsConst(&column));
}

TEST(ExprNodeFieldTest, OuterReferencesReadTheParentCursorAndMoveWithIt) {
  NodeTestCursor inner;
  NodeTestCursor parent;
  parent.SetInt("ID", 5);
  inner.SetInt("ID", 1);
  // The inner cursor knows no column "OUTERID"; the parent's visible alias does.
  parent.FVisibleFieldDefs->GetDef(parent.No("ID"))->Name = "OUTERID";
  TQXLExprNodeField outer(nullptr, "OUTERID", "");
  EXPECT_FALSE(outer.CanBeAssigned(nullptr, nullptr, nullptr, false));
  TestAO innerAO({{"T", "ID", aftInteger, 4}});
  ASSERT_TRUE(outer.CanBeAssigned(&innerAO, nullptr, &parent, false));
  EXPECT_TRUE(outer.GetFromParent());
  outer.AssignCursor(&inner, nullptr, &parent);
  EXPECT_EQ(outer.Cursor(), &parent);
  EXPECT_EQ(Text(outer.GetDataValue()), "5");

  // Moving the inner references leaves it; moving the outer ones takes it.
  std::uint8_t* row = parent.AllocateRecordBuffer();
  std::memcpy(row, parent.FCurrentRecordBuffer, static_cast<std::size_t>(parent.FRecordBufferSize));
  parent.SetInt("ID", 6);
  outer.AssignCursorBuffer(row, false);
  EXPECT_EQ(Text(outer.GetDataValue()), "6");
  outer.AssignCursorBuffer(row, true);
  EXPECT_EQ(Text(outer.GetDataValue()), "5");
  parent.FreeRecordBuffer(row);

  // A plain reference missing from the cursor is looked for in the parent cursor.
  TQXLExprNodeField plain(nullptr, "OUTERID", "");
  plain.AssignCursor(&inner, nullptr, &parent);
  EXPECT_EQ(plain.Cursor(), &parent);
  EXPECT_FALSE(plain.GetFromParent());
}

TEST(ExprNodeFieldTest, ATreeCanBeAssignedWhenEveryColumnIsFound) {
  TestAO ao({{"A", "X", aftInteger, 4}});
  auto make = [](const char* Second) {
    auto node = std::make_unique<TQXLExprNodeComparison>(
        doEQ, std::make_unique<TQXLExprNodeField>(nullptr, "X", ""),
        std::make_unique<TQXLExprNodeField>(nullptr, Second, ""), true, true, false);
    return node;
  };
  EXPECT_TRUE(make("X")->CanBeAssigned(&ao, nullptr, nullptr, false));
  EXPECT_FALSE(make("Y")->CanBeAssigned(&ao, nullptr, nullptr, false));
}

}  // namespace
}  // namespace qxl::nodetest
