#include <gtest/gtest.h>

#include "engine/core/QXLSession.h"
#include "tests/support/FakeSession.h"

using namespace qxl;

namespace {

std::int64_t SequenceValue(TQXLSessionNamedObject* o) {
  return dynamic_cast<TQXLSessionNamedObjectSequenceValue&>(*o).Value;
}

}  // namespace

TEST(QXLBaseSession, StartsUnconnectedWithoutTransaction) {
  FakeSession s;
  EXPECT_EQ(s.FSessionID, -1);
  EXPECT_FALSE(s.FInTransaction);
  EXPECT_EQ(s.NamedObjectCount(), 0);
}

TEST(QXLBaseSession, SetObjectReplacesBySameIDAndAppends) {
  FakeSession s;
  s.SetObject(std::make_unique<TQXLSessionNamedObjectSequenceValue>(7, 100));
  s.SetObject(std::make_unique<TQXLSessionNamedObjectSequenceValue>(8, 200));
  s.SetObject(std::make_unique<TQXLSessionNamedObjectSequenceValue>(7, 101));
  ASSERT_EQ(s.NamedObjectCount(), 2);
  EXPECT_EQ(s.NamedObject(0)->ObjectID, 8);
  EXPECT_EQ(s.NamedObject(1)->ObjectID, 7);
  EXPECT_EQ(SequenceValue(s.GetObjectByID(7)), 101);
}

TEST(QXLBaseSession, ObjectsByNameIgnoreCaseAndReplaceByName) {
  FakeSession s;
  s.SetObject(std::make_unique<TQXLSessionNamedObject>("Größe"));
  s.SetObject(std::make_unique<TQXLSessionNamedObject>(5));
  EXPECT_EQ(s.GetObjectByName("gRÖße"), s.NamedObject(0));
  EXPECT_EQ(s.GetObjectByName("Other"), nullptr);
  s.SetObject(std::make_unique<TQXLSessionNamedObject>("GRÖßE"));
  ASSERT_EQ(s.NamedObjectCount(), 2);
  EXPECT_EQ(s.NamedObject(1)->Name, "GRÖßE");
  EXPECT_EQ(s.GetObjectByID(5)->Name, "");
}

TEST(QXLBaseSession, UnknownIDsFindAndDeleteNothing) {
  FakeSession s;
  s.SetObject(std::make_unique<TQXLSessionNamedObject>(1));
  EXPECT_EQ(s.GetObjectByID(2), nullptr);
  s.DeleteObject(2);
  EXPECT_EQ(s.NamedObjectCount(), 1);
  s.DeleteObject(1);
  EXPECT_EQ(s.NamedObjectCount(), 0);
}

TEST(QXLSessionNamedObject, NameIsCutTo255StoredBytes) {
  std::string longName(300, 'a');
  EXPECT_EQ(TQXLSessionNamedObject(longName).Name.size(), 255u);
  // "é" is two bytes of UTF-8 but one stored byte.
  std::string accented;
  for (int i = 0; i < 200; ++i) accented += "é";
  EXPECT_EQ(TQXLSessionNamedObject(accented).Name, accented);
  EXPECT_EQ(TQXLSessionNamedObject(accented + accented).Name.size(), 255u * 2);
  EXPECT_EQ(TQXLSessionNamedObject("x").ObjectID, -1);
}
