#include <gtest/gtest.h>

#include "tests/engine/core/QXLTestExpression.h"

using namespace qxl;

TEST(QXLExpressionServices, NothingIsCreatedWithoutAnSQLLayer) {
  EXPECT_EQ(qxl::CreateExpression(), nullptr);
}

TEST(QXLExpressionServices, TheRegisteredLayerCreatesExpressions) {
  {
    TestExpressionServices services([](const TQXLVariant&) { return true; });
    auto e = qxl::CreateExpression();
    ASSERT_NE(e, nullptr);
    EXPECT_NE(dynamic_cast<TestExpression*>(e.get()), nullptr);
    EXPECT_TRUE(e->IsEmpty());
  }
  EXPECT_EQ(qxl::CreateExpression(), nullptr);
}
