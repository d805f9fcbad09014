#include "engine/core/QXLException.h"

#include <gtest/gtest.h>

using namespace qxl;

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
  const EQXLException wrongType(10001, "Value %d", {"text"});
  const EQXLException tooFew(2002, "%s and %s", {"one"});
  EXPECT_EQ(wrongType.Message, "Value %d Arguments are invalid! - Native error: 10001");
  EXPECT_EQ(wrongType.NativeError, 10001);
  EXPECT_EQ(tooFew.Message, "%s and %s Arguments are invalid! - Native error:  2002");
  EXPECT_EQ(tooFew.NativeError, 2002);
}
