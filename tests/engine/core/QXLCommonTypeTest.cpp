#include <gtest/gtest.h>

#include "engine/core/values/QXLConversion.h"

using namespace qxl;

namespace {

struct CommonCase {
  TQXLBaseFieldType Left, Right;
  bool PreferDateTime;
  TQXLBaseFieldType Expected;
};

TEST(QXLCommonType, CellsOfThePromotionTable) {
  const CommonCase cases[] = {
      // Signed meets unsigned: the left operand decides, so the pairs differ.
      {bftSignedInt8, bftUnsignedInt16, false, bftUnsignedInt16},
      {bftUnsignedInt16, bftSignedInt8, false, bftSignedInt32},
      {bftSignedInt16, bftUnsignedInt16, false, bftUnsignedInt16},
      {bftUnsignedInt16, bftSignedInt16, false, bftSignedInt32},
      {bftSignedInt8, bftUnsignedInt32, false, bftUnsignedInt32},
      {bftUnsignedInt32, bftSignedInt8, false, bftSignedInt64},
      {bftSignedInt8, bftUnsignedInt8, false, bftSignedInt16},
      {bftUnsignedInt8, bftSignedInt8, false, bftSignedInt16},
      {bftSignedInt32, bftUnsignedInt32, false, bftSignedInt64},
      {bftUnsignedInt32, bftSignedInt64, false, bftSignedInt64},
      // Floats and money: also one-sided.
      {bftSingle, bftCurrency, false, bftCurrency},
      {bftCurrency, bftSingle, false, bftSingle},
      {bftDouble, bftCurrency, false, bftCurrency},
      {bftCurrency, bftDouble, false, bftDouble},
      {bftCurrency, bftSignedInt64, false, bftCurrency},
      {bftSignedInt64, bftDouble, false, bftDouble},
      {bftExtended, bftSingle, false, bftExtended},
      // Text.
      {bftVarchar, bftWideChar, false, bftWideChar},
      {bftChar, bftWideClob, false, bftWideChar},
      {bftVarchar, bftWideClob, false, bftWideVarchar},
      {bftClob, bftClob, false, bftChar},
      {bftWideClob, bftWideClob, false, bftWideChar},
      {bftWideClob, bftVarchar, false, bftWideVarchar},
      {bftSignedInt32, bftVarchar, false, bftVarchar},
      {bftCurrency, bftChar, false, bftChar},
      {bftClob, bftSignedInt32, false, bftUnknown},
      // Dates, times, Booleans.
      {bftDate, bftTime, false, bftDateTime},
      {bftTime, bftDate, false, bftDateTime},
      {bftDouble, bftDate, false, bftDate},
      {bftTime, bftUnsignedInt8, false, bftTime},
      {bftLogical, bftSignedInt16, false, bftSignedInt16},
      {bftSignedInt8, bftLogical, false, bftSignedInt8},
      {bftLogical, bftLogical, false, bftLogical},
      {bftLogical, bftCurrency, false, bftUnknown},
      {bftLogical, bftDate, false, bftUnknown},
      {bftCurrency, bftDate, false, bftUnknown},
      // Types that meet nothing, not even themselves.
      {bftBlob, bftBlob, false, bftUnknown},
      {bftBytes, bftBytes, false, bftUnknown},
      {bftVarBytes, bftVarchar, false, bftUnknown},
      {bftBFile, bftBFile, false, bftUnknown},
      {bftUnknown, bftVarchar, false, bftUnknown},
      // Text with a date or time: the text type, or the date type when preferred.
      {bftVarchar, bftDate, false, bftVarchar},
      {bftVarchar, bftDate, true, bftDate},
      {bftDateTime, bftWideVarchar, false, bftWideVarchar},
      {bftDateTime, bftWideVarchar, true, bftDateTime},
      {bftTime, bftChar, true, bftTime},
      {bftClob, bftDate, true, bftUnknown},
  };
  for (const CommonCase& c : cases)
    EXPECT_EQ(qxl::GetCommonDataType(c.Left, c.Right, c.PreferDateTime), c.Expected)
        << int(c.Left) << " with " << int(c.Right) << (c.PreferDateTime ? " preferring dates" : "");
}

TEST(QXLCommonType, PreferDateTimeChangesOnlyTextWithDates) {
  auto isText = [](int t) { return t >= bftChar && t <= bftWideVarchar; };
  auto isDate = [](int t) { return t >= bftDate && t <= bftDateTime; };
  int changed = 0;
  for (int l = 0; l < QXLBaseFieldTypeCount; ++l)
    for (int r = 0; r < QXLBaseFieldTypeCount; ++r) {
      const auto left = static_cast<TQXLBaseFieldType>(l), right = static_cast<TQXLBaseFieldType>(r);
      const TQXLBaseFieldType plain = qxl::GetCommonDataType(left, right, false);
      const TQXLBaseFieldType preferred = qxl::GetCommonDataType(left, right, true);
      if ((isText(l) && isDate(r)) || (isDate(l) && isText(r))) {
        EXPECT_EQ(preferred, isDate(l) ? left : right);
        ++changed;
      } else {
        EXPECT_EQ(preferred, plain) << l << " with " << r;
      }
    }
  EXPECT_EQ(changed, 24);
  EXPECT_EQ(qxl::GetCommonDataType(static_cast<TQXLBaseFieldType>(26), bftVarchar, false), bftUnknown);
}

TEST(QXLCommonType, AdvancedTypesKeepAnOperandWhenTheyCan) {
  struct Case {
    TQXLAdvancedFieldType A, B;
    bool PreferDateTime;
    TQXLAdvancedFieldType Expected;
  } cases[] = {
      {aftAutoInc, aftSmallint, false, aftAutoInc},         // base Int32 is the common type
      {aftSmallint, aftAutoIncLargeint, false, aftAutoIncLargeint},
      {aftTimeStamp, aftDate, false, aftTimeStamp},
      {aftDate, aftTime, false, aftDateTime},               // neither: first row of DateTime
      {aftGuid, aftInteger, false, aftGuid},                // Guid is stored as Char
      {aftMemo, aftMemo, false, aftChar},                   // Clob with Clob gives Char
      {aftShortint, aftWord, false, aftWord},
      {aftWord, aftShortint, false, aftInteger},
      {aftString, aftDate, true, aftDate},
      {aftString, aftDate, false, aftString},
      {aftBlob, aftBlob, false, aftUnknown},
  };
  for (const Case& c : cases)
    EXPECT_EQ(qxl::GetCommonAdvancedFieldType(c.A, c.B, c.PreferDateTime), c.Expected) << int(c.A) << " with " << int(c.B);
}

}  // namespace
