#include "engine/core/QXLException.h"

#include <gtest/gtest.h>

TEST(QXLException, PlainMessagePadsCodeWithZeros) {
  EQXLException e(2011, "Oops");
  EXPECT_EQ(e.Message, "Oops - Native error: 02011");
  EXPECT_EQ(e.NativeError, 2011);
  EXPECT_EQ(EQXLException(30004, "x").Message, "x - Native error: 30004");
}

TEST(QXLException, TemplatedMessagePadsCodeWithBlanks) {
  EQXLException e(30004, "Memory limit exceeded (Limit = %d bytes)", {1000});
  EXPECT_EQ(e.Message, "Memory limit exceeded (Limit = 1000 bytes) - Native error: 30004");
  EXPECT_EQ(EQXLException(2156, "No placeholders", {}).Message, "No placeholders - Native error:  2156");
}

TEST(QXLException, MismatchedArgumentsKeepTheTemplate) {
  for (auto* e : {new EQXLException(10001, "Value %d", {"text"}), new EQXLException(10002, "%s and %s", {"one"})}) {
    EXPECT_NE(e->Message.find(" Arguments are invalid! - Native error: "), std::string::npos) << e->Message;
    EXPECT_GT(e->NativeError, 10000);
    delete e;
  }
}
