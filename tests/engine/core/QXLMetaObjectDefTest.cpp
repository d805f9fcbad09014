#include <gtest/gtest.h>

#include "engine/core/schema/QXLIndexDef.h"
#include "engine/core/values/QXLInvalidCast.h"
#include "engine/core/containers/QXLListError.h"
#include "tests/engine/core/QXLSchemaTestSupport.h"

using namespace qxl;

namespace {

void Name(TQXLIndexDefs& defs, std::initializer_list<const char*> names) {
  std::int32_t id = 10;
  for (auto n : names) {
    auto* d = defs.AddCreated();
    d->Name = n;
    d->ObjectID = id++;
  }
}

std::string Order(const TQXLMetaObjectDefs& defs) {
  std::string s;
  for (int i = 0; i < defs.Count(); ++i) s += defs.GetDef(i)->Name;
  return s;
}

}  // namespace

TEST(QXLMetaObjectDef, HeaderOfAnEmptyNameIsOneZeroByteAndTheID) {
  TQXLMetaObjectDef d;
  EXPECT_EQ(d.ObjectID, -1);
  EXPECT_EQ(d.SchemaID, -1);
  TQXLMemoryStream s;
  d.SaveToStream(s);
  EXPECT_EQ(ContentOf(s), (Bytes{0, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(QXLMetaObjectDef, NamesAreStoredInTheAnsiCodePage) {
  TQXLMetaObjectDef d;
  d.Name = "Größe€";
  d.ObjectID = 1;
  TQXLMemoryStream s;
  d.SaveToStream(s);
  EXPECT_EQ(ContentOf(s), (Bytes{6, 'G', 'r', 0xF6, 0xDF, 'e', 0x80, 1, 0, 0, 0}));
  s.SetPosition(0);
  TQXLMetaObjectDef back;
  back.LoadFromStream(s);
  EXPECT_EQ(back.Name, "Größe€");

  d.Name = std::string(255, 'n');
  EXPECT_EQ(NativeCodeOf([&] { d.SaveToStream(s); }), 0);
  d.Name = std::string(256, 'n');
  EXPECT_EQ(NativeCodeOf([&] { d.SaveToStream(s); }), 10164);
}

TEST(QXLMetaObjectDefs, LookupsByNameIgnoreCaseAndTheFirstWins) {
  TQXLIndexDefs defs;
  Name(defs, {"ID", "Größe", "id"});
  EXPECT_EQ(defs.GetDefNumberByName("id"), 0);
  EXPECT_EQ(defs.GetDefNumberByName("gRÖßE"), 1);
  EXPECT_EQ(defs.GetDefNumberByName("x"), -1);
  EXPECT_EQ(defs.GetDefByName("x"), nullptr);
  EXPECT_EQ(defs.GetDefByName("Id"), defs.GetDef(0));
  EXPECT_EQ(defs.GetDefNumberByObjectId(12), 2);
  EXPECT_EQ(defs.GetDefByObjectId(99), nullptr);
}

TEST(QXLMetaObjectDefs, PositionalOperations) {
  TQXLIndexDefs defs;
  Name(defs, {"A", "B", "C"});
  defs.Move(0, 2);
  EXPECT_EQ(Order(defs), "BCA");
  defs.Move(2, 0);
  EXPECT_EQ(Order(defs), "ABC");
  auto d = std::make_unique<TQXLIndexDef>();
  d->Name = "X";
  defs.Insert(3, std::move(d));
  EXPECT_EQ(Order(defs), "ABCX");
  defs.Delete(1);
  EXPECT_EQ(Order(defs), "ACX");
  auto y = std::make_unique<TQXLIndexDef>();
  y->Name = "Y";
  defs.SetDef(0, std::move(y));
  EXPECT_EQ(Order(defs), "YCX");

  EXPECT_THROW(defs.GetDef(3), EQXLListError);
  EXPECT_THROW(defs.Delete(-1), EQXLListError);
  EXPECT_THROW(defs.Move(0, 3), EQXLListError);
  EXPECT_THROW(defs.Insert(5, std::make_unique<TQXLIndexDef>()), EQXLListError);
  EXPECT_THROW(defs.AddDef(std::make_unique<TQXLMetaObjectDef>()), EQXLInvalidCast);
  EXPECT_THROW(defs.AddDef(nullptr), EQXLInvalidCast);
  defs.Clear();
  EXPECT_EQ(defs.Count(), 0);
}

TEST(QXLMetaObjectDefs, TheBaseListCannotCreateDefinitions) {
  TQXLMetaObjectDefs base;
  EXPECT_EQ(MessageOf([&] { base.InternalAddCreated(); }),
            "The method 'InternalAddCreated' not overrided in class 'TQXLMetaObjectDefs' - Native error: 30339");
  TQXLIndexDefs source;
  Name(source, {"A"});
  EXPECT_EQ(NativeCodeOf([&] { base.Assign(source); }), 30339);
}
