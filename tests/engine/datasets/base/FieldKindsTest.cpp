// Field objects of every kind the type catalogue gives: their engine value
// types, values through them and back, and the errors of values that do not fit.
#include <gtest/gtest.h>

#include <set>

#include "engine/datasets/base/DatabaseError.h"
#include "engine/datasets/base/FieldKinds.h"
#include "tests/engine/datasets/base/OneRecordDataSet.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;
using qxl::tests::OneRecord;

TEST(FieldKinds, EveryCatalogueFieldTypeHasAKindWithACatalogueValueType) {
  std::set<TFieldType> types;
  for (const TSQLFieldType& row : SQLFieldTypes) types.insert(row.FieldType);
  for (TFieldType t : types) {
    SCOPED_TRACE(static_cast<int>(t));
    std::unique_ptr<TField> f = CreateField(t);
    EXPECT_EQ(f->DataType(), t);
    bool listed = false;
    for (const TSQLFieldType& row : SQLFieldTypes)
      listed = listed || (row.FieldType == t && row.BaseFieldType == f->ValueType());
    EXPECT_TRUE(listed);
  }
  EXPECT_NE(dynamic_cast<TBlobField*>(CreateField(ftMemo).get()), nullptr);
  EXPECT_THROW(CreateField(ftADT), EDatabaseError);
}

TEST(FieldKinds, ValuesCrossIntoTheFieldsAndBack) {
  struct Case {
    TFieldType Type;
    Variant In;
    Variant Out;
  };
  const Case cases[] = {
      {ftString, Variant("Hello"), Variant("Hello")},
      {ftFixedChar, Variant("AB"), Variant("AB")},
      {ftWideString, Variant(u"Gr\u00fc\u00dfe \u0416"), Variant(u"Gr\u00fc\u00dfe \u0416")},
      {ftSmallint, Variant(std::int32_t(-300)), Variant(std::int16_t(-300))},
      {ftInteger, Variant(std::int32_t(123456)), Variant(std::int32_t(123456))},
      {ftWord, Variant(std::int32_t(65535)), Variant(std::uint16_t(65535))},
      {ftLargeint, Variant(std::int64_t(9000000000)), Variant(std::int64_t(9000000000))},
      {ftAutoInc, Variant(std::int32_t(5)), Variant(std::int32_t(5))},
      {ftFloat, Variant(2.5), Variant(2.5)},
      // The engine reads a currency value out as a double.
      {ftCurrency, Variant::Currency(12.25), Variant(12.25)},
      {ftBoolean, Variant(true), Variant(true)},
      {ftDate, Variant::Date(45000), Variant::Date(45000)},
      {ftTime, Variant::Date(0.75), Variant::Date(0.75)},
      {ftDateTime, Variant::Date(45000.25), Variant::Date(45000.25)},
      {ftInteger, Variant("42"), Variant(std::int32_t(42))},
      {ftFloat, Variant(std::int32_t(3)), Variant(3.0)},
      {ftString, Variant(std::int32_t(17)), Variant("17")},
      {ftInteger, Variant::Null(), Variant::Null()},
  };
  std::vector<TFieldType> types;
  for (const Case& c : cases) types.push_back(c.Type);
  OneRecord ds(types);
  ds.Open();
  ds.Edit();
  for (std::int32_t i = 0; i < ds.FieldCount(); ++i) {
    SCOPED_TRACE(i);
    TField& f = ds.Fields(i);
    f.SetAsVariant(cases[i].In);
    EXPECT_EQ(f.AsVariant(), cases[i].Out);
    EXPECT_EQ(f.IsNull(), cases[i].Out.IsNull());
  }
}

TEST(FieldKinds, TypedAccessConvertsAndNullReadsAsEmpty) {
  OneRecord ds({ftInteger, ftFloat, ftBoolean, ftDateTime, ftString, ftWideMemo});
  ds.Open();
  ds.Edit();
  TField& number = ds.Fields(0);
  number.SetAsString("12");
  EXPECT_EQ(number.AsInteger(), 12);
  EXPECT_EQ(number.AsFloat(), 12.0);
  EXPECT_EQ(number.AsString(), "12");
  ds.Fields(1).SetAsInteger(3);
  EXPECT_EQ(ds.Fields(1).AsFloat(), 3.0);
  ds.Fields(2).SetAsBoolean(true);
  EXPECT_TRUE(ds.Fields(2).AsBoolean());
  ds.Fields(3).SetAsDateTime(45000.5);
  EXPECT_EQ(ds.Fields(3).AsDateTime(), 45000.5);
  ds.Fields(4).SetAsString("");
  EXPECT_TRUE(ds.Fields(4).IsNull());
  ds.Fields(5).SetAsString("memo text");
  EXPECT_EQ(ds.Fields(5).AsString(), "memo text");
  number.Clear();
  EXPECT_TRUE(number.IsNull());
  EXPECT_EQ(number.AsInteger(), 0);
  EXPECT_EQ(number.AsString(), "");
  EXPECT_FALSE(ds.Fields(2).IsNull());
}

TEST(FieldKinds, AValueOfTheWrongTypeRaisesAnErrorNamingTheField) {
  OneRecord ds({ftInteger, ftDate});
  ds.Open();
  ds.Edit();
  ds.Fields(0).DisplayLabel = "Count";
  ds.Fields(0).SetAsInteger(1);
  const std::string text = MessageOf([&] { ds.Fields(0).SetAsString("many"); });
  EXPECT_EQ(text.rfind("Invalid value for field 'Count'", 0), 0u) << text;
  EXPECT_EQ(ds.Fields(0).AsInteger(), 1);
  EXPECT_THROW(ds.Fields(1).SetAsString("not a date"), EDatabaseError);
  EXPECT_THROW(ds.FieldByName("F9"), EDatabaseError);
  EXPECT_THROW(ds.Fields(2), EDatabaseError);
  ds.Fields(0).ReadOnly = true;
  EXPECT_THROW(ds.Fields(0).SetAsInteger(2), EDatabaseError);
}
