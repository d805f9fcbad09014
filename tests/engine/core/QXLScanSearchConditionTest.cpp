#include <gtest/gtest.h>

#include <cstring>

#include "engine/core/schema/QXLIndexDef.h"
#include "engine/core/containers/QXLMemoryManager.h"
#include "engine/core/search/QXLScanSearchCondition.h"
#include "tests/engine/core/QXLSchemaTestSupport.h"
#include "tests/engine/core/QXLTestExpression.h"

using namespace qxl;

namespace {

// Stand-ins for expression nodes: only their addresses matter here.
TQXLExprNode* Node(int n) { return reinterpret_cast<TQXLExprNode*>(static_cast<std::uintptr_t>(0x1000 + 16 * n)); }

std::unique_ptr<TQXLScanSearchCondition> IndexCondition(std::int32_t indexID, bool fromExpression) {
  auto c = std::make_unique<TQXLScanSearchCondition>();
  c->IndexID = indexID;
  c->Condition = scEqual;
  c->CreatedFromExpression = fromExpression;
  return c;
}

}  // namespace

TEST(QXLScanSearchCondition, AssignCopiesTheKeyBufferIntoItsOwn) {
  auto* external = static_cast<std::uint8_t*>(QXLMemoryManager().AllocMem(8));
  std::memcpy(external, "KEYBYTES", 8);
  {
    TQXLScanSearchCondition src(true);
    src.KeyRecordBuffer = external;
    src.KeyRecordBufferSize = 8;
    src.KeyFieldCount = 1;
    src.IndexID = 3;
    src.Condition = scGreaterEqual;
    src.PartialCompare = true;
    src.ParentExpressionNodes = {Node(1)};
    TQXLScanSearchCondition copy;
    copy.Assign(src);
    EXPECT_NE(copy.KeyRecordBuffer, external);
    EXPECT_EQ(std::memcmp(copy.KeyRecordBuffer, "KEYBYTES", 8), 0);
    EXPECT_FALSE(copy.FExternalKeyRecordBuffer);
    EXPECT_EQ(copy.Condition, scGreaterEqual);
    EXPECT_TRUE(copy.PartialCompare);
    EXPECT_EQ(copy.ParentExpressionNodes, src.ParentExpressionNodes);
  }
  // The external buffer outlived both conditions.
  QXLMemoryManager().FreeAndNillMem(external);
}

TEST(QXLScanSearchConditionArray, AddAndDeleteCheckTheirArguments) {
  TQXLScanSearchConditionArray a;
  TQXLScanSearchCondition nothing;
  EXPECT_EQ(MessageOf([&] { a.AddCondition(nothing); }),
            "Invalid scan condition - indexID = -1, count = 0 - Native error: 10388");
  TestExpression e;
  a.AddExpression(&e);
  a.AddCondition(*IndexCondition(7, true));
  ASSERT_EQ(a.Count(), 2);
  EXPECT_EQ(a.Item(0)->Expression, &e);
  EXPECT_EQ(a.Item(0)->Condition, scNone);
  EXPECT_EQ(a.Item(0)->IndexID, -1);
  EXPECT_EQ(a.Item(1)->IndexID, 7);
  EXPECT_EQ(MessageOf([&] { a.Delete(2); }), "Invalid item number - ItemNo = 2, ItemCount = 2 - Native error: 10413");
  EXPECT_EQ(NativeCodeOf([&] { a.Delete(-1); }), 10413);
  a.Delete(0);
  EXPECT_EQ(a.Item(0)->IndexID, 7);
}

TEST(QXLScanSearchConditionArray, ConditionsDrawnFromExpressionsAndExtendedOverIndexColumns) {
  TQXLIndexDefs indexes;
  auto* two = indexes.AddCreated();
  two->ObjectID = 100;
  two->SetColumnCount(2);
  auto* one = indexes.AddCreated();
  one->ObjectID = 200;
  one->SetColumnCount(1);

  TestExpression first, second;
  std::int32_t sessionSeen = 0;
  first.OnCreateIndexScanConditions = [&](TQXLIndexDefs* defs, TQXLScanSearchConditionArray* conditions,
                                          std::int32_t session) {
    EXPECT_EQ(defs, &indexes);
    sessionSeen = session;
    for (std::int32_t id : {100, 200}) {
      auto c = IndexCondition(id, true);
      c->KeyFieldCount = 1;
      conditions->AddCondition(*c);
    }
  };
  std::vector<TQXLBaseExpression*> extenders;
  auto extendOnce = [&](TQXLBaseExpression* self) {
    return [&, self](TQXLScanSearchCondition* c, TQXLIndexDef* def) {
      extenders.push_back(self);
      if (c->KeyFieldCount >= def->ColumnCount()) return false;
      ++c->KeyFieldCount;
      return true;
    };
  };
  second.OnExtend = extendOnce(&second);

  TQXLScanSearchConditionArray a;
  a.AddExpression(&first);
  a.AddExpression(&second);
  a.CreateIndexScanConditionsFromExpressions(&indexes, 4);
  EXPECT_EQ(sessionSeen, 4);
  ASSERT_EQ(a.Count(), 4);
  EXPECT_EQ(a.Item(2)->KeyFieldCount, 2);  // two columns: extended once
  EXPECT_EQ(a.Item(3)->KeyFieldCount, 1);  // one column: never offered
  // Pass one: first declines, second extends; pass two: both decline.
  EXPECT_EQ(extenders, (std::vector<TQXLBaseExpression*>{&second, &second}));
}

TEST(QXLScanSearchConditionArray, ExtensionStopsEvenIfAnExpressionAlwaysClaimsSuccess) {
  TQXLIndexDefs indexes;
  auto* def = indexes.AddCreated();
  def->ObjectID = 1;
  def->SetColumnCount(3);
  TestExpression liar;
  int calls = 0;
  liar.OnExtend = [&](TQXLScanSearchCondition*, TQXLIndexDef*) { return ++calls > 0; };
  TQXLScanSearchConditionArray a;
  a.AddCondition(*IndexCondition(1, true));
  a.ExtendIndexCondition(0, def, {&liar});
  EXPECT_EQ(calls, 3);
}

// Deleting conditions before the chosen ones lowers the chosen numbers, so
// that they still name the same conditions, at any position.
TEST(QXLScanSearchConditionArray, RemovingUnusedConditionsKeepsTheChosenOnes) {
  TestExpression e;
  TQXLScanSearchConditionArray a;
  a.AddExpression(&e);
  for (int i = 1; i <= 300; ++i) a.AddCondition(*IndexCondition(i, i != 290));
  std::int32_t scan = 280, end = 2;
  a.RemoveUnusedConditionsCreatedFromExpressions(scan, end);
  ASSERT_EQ(a.Count(), 4);
  EXPECT_EQ(a.Item(0)->Expression, &e);
  EXPECT_EQ(a.Item(scan)->IndexID, 280);
  EXPECT_EQ(a.Item(end)->IndexID, 2);
  EXPECT_EQ(a.Item(3)->IndexID, 290);  // not made from an expression: kept

  std::int32_t none = -1, alsoNone = -1;
  a.RemoveUnusedConditionsCreatedFromExpressions(none, alsoNone);
  EXPECT_EQ(a.Count(), 2);
}

TEST(QXLScanSearchConditionArray, ExtractedNodesGoBackToTheirExpressionsOnce) {
  TestExpression e1, e2;
  std::vector<std::pair<std::int32_t, std::int32_t>> extracted;
  e1.OnRemoveExtractedNodes = [&](TQXLScanSearchConditionArray*, std::int32_t s, std::int32_t t) {
    extracted.push_back({s, t});
  };
  TQXLScanSearchConditionArray a;
  a.AddExpression(&e1);
  a.AddExpression(&e2);
  auto c = IndexCondition(5, true);
  c->ParentExpressions = {&e1, &e2, &e1};
  c->ParentExpressionNodes = {Node(1), Node(2), Node(3)};
  a.AddCondition(*c);
  a.ExtractChosenConditionsFromExpressions(2, 2);
  EXPECT_EQ(extracted, (std::vector<std::pair<std::int32_t, std::int32_t>>{{2, 2}}));
  a.ReturnExtractedConditionsToExpressions(2, 2);
  EXPECT_EQ(e1.Nodes, (std::vector<TQXLExprNode*>{Node(1), Node(3)}));
  EXPECT_EQ(e2.Nodes, (std::vector<TQXLExprNode*>{Node(2)}));
  a.ReturnExtractedConditionsToExpressions(-1, -1);
  EXPECT_EQ(e1.Nodes.size(), 2u);
}
