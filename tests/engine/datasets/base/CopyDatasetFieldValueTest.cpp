// Copying a field's value into a field of another type.
#include <gtest/gtest.h>

#include "engine/datasets/base/CopyDatasetFieldValue.h"
#include "engine/datasets/base/DatabaseError.h"
#include "tests/engine/datasets/base/OneRecordDataSet.h"

using namespace qxl;
using qxl::tests::OneRecord;

TEST(CopyDatasetFieldValue, AdaptsTheValueToTheTargetType) {
  struct Case {
    TFieldType From;
    Variant Value;
    TFieldType To;
    std::string Text;
  };
  const Case cases[] = {
      {ftString, Variant("abc"), ftWideString, "abc"},
      {ftWideString, Variant(u"Gr\u00fc\u00dfe"), ftString, "Gr\u00fc\u00dfe"},
      {ftInteger, Variant(std::int32_t(7)), ftLargeint, "7"},
      {ftLargeint, Variant(std::int64_t(9000000000)), ftFloat, "9000000000"},
      {ftSmallint, Variant(std::int32_t(-5)), ftInteger, "-5"},
      {ftString, Variant("long text"), ftWideMemo, "long text"},
      {ftString, Variant("plain"), ftMemo, "plain"},
      {ftMemo, Variant("memo"), ftString, "memo"},
      {ftWideMemo, Variant(u"\u0416 wide"), ftWideString, "\u0416 wide"},
      {ftWideMemo, Variant(u"wide"), ftMemo, "wide"},
      {ftInteger, Variant::Null(), ftString, ""},
  };
  std::vector<TFieldType> types;
  for (const Case& c : cases) {
    types.push_back(c.From);
    types.push_back(c.To);
  }
  OneRecord ds(types);
  ds.Open();
  ds.Edit();
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    TField& from = ds.Fields(static_cast<std::int32_t>(2 * i));
    TField& to = ds.Fields(static_cast<std::int32_t>(2 * i + 1));
    from.SetAsVariant(cases[i].Value);
    CopyDatasetFieldValue(from, to);
    EXPECT_EQ(to.IsNull(), cases[i].Value.IsNull());
    EXPECT_EQ(to.AsString(), cases[i].Text);
  }
}

TEST(CopyDatasetFieldValue, BytesBecomeVariableBytes) {
  OneRecord ds({ftBytes, ftVarBytes, ftBlob});
  ds.Open();
  ds.Edit();
  const std::uint8_t bytes[] = {1, 0, 255, 7};
  TQXLVariant value;
  value.SetData(bytes, 4, bftBytes, true);
  ds.Fields(0).SetValue(value);
  CopyDatasetFieldValue(ds.Fields(0), ds.Fields(1));
  TQXLVariant copied;
  ASSERT_TRUE(ds.Fields(1).GetValue(copied));
  EXPECT_EQ(copied.DataType(), bftVarBytes);
  ASSERT_EQ(copied.DataSize(), 4);
  const auto* data = static_cast<const std::uint8_t*>(copied.pData());
  EXPECT_EQ(std::vector<std::uint8_t>(data, data + 4), std::vector<std::uint8_t>(bytes, bytes + 4));
  CopyDatasetFieldValue(ds.Fields(1), ds.Fields(2));
  ASSERT_TRUE(ds.Fields(2).GetValue(copied));
  EXPECT_EQ(copied.DataType(), bftBlob);
  EXPECT_EQ(copied.DataSize(), 4);
}

TEST(CopyDatasetFieldValue, AValueTheTargetCannotHoldRaises) {
  OneRecord ds({ftString, ftInteger});
  ds.Open();
  ds.Edit();
  ds.Fields(0).SetAsString("twelve");
  ds.Fields(1).SetAsInteger(3);
  EXPECT_THROW(CopyDatasetFieldValue(ds.Fields(0), ds.Fields(1)), EDatabaseError);
  EXPECT_EQ(ds.Fields(1).AsInteger(), 3);
  // NULL replaces a value.
  ds.Fields(0).Clear();
  CopyDatasetFieldValue(ds.Fields(0), ds.Fields(1));
  EXPECT_TRUE(ds.Fields(1).IsNull());
}
