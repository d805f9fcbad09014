#include "engine/core/values/QXLTypes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <string>

#include "engine/core/QXLException.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

TEST(QXLTypes, DataTypeSizes) {
  struct Case {
    TQXLBaseFieldType type;
    std::int32_t length;
    std::int64_t size;
  } cases[] = {
      {bftChar, 10, 11},        {bftChar, 0, 1},           {bftWideChar, 10, 22},     {bftWideChar, 0, 2},
      {bftVarchar, 5, 6},       {bftWideVarchar, 5, 12},   {bftSignedInt8, 99, 1},    {bftSignedInt16, 0, 2},
      {bftSignedInt32, 0, 4},   {bftSignedInt64, 0, 8},    {bftUnsignedInt8, 0, 1},   {bftUnsignedInt16, 0, 2},
      {bftUnsignedInt32, 0, 4}, {bftSingle, 0, 4},         {bftDouble, 0, 8},         {bftExtended, 0, 10},
      {bftDate, 0, 4},          {bftTime, 0, 4},           {bftDateTime, 0, 8},       {bftBlob, 0, 10},
      {bftClob, 0, 10},         {bftWideClob, 0, 10},      {bftLogical, 0, 2},        {bftCurrency, 0, 8},
      {bftBytes, 16, 17},       {bftVarBytes, 16, 17},
      // The widest declared length does not overflow.
      {bftWideChar, 2147483647, 4294967296},
  };
  for (const Case& c : cases)
    EXPECT_EQ(qxl::GetDataTypeSize(c.type, c.length), c.size) << int(c.type) << " length " << c.length;
}

TEST(QXLTypes, SizeOfTypesWithoutStorageFails) {
  for (TQXLBaseFieldType t : {bftUnknown, bftBFile, TQXLBaseFieldType(26), TQXLBaseFieldType(255)}) {
    EQXLException e = Raised([t] { qxl::GetDataTypeSize(t, 1); });
    EXPECT_EQ(e.NativeError, 30050);
    EXPECT_EQ(e.Message, "Unknown DataType: 'Unknown' - Native error: 30050");
  }
}

TEST(QXLTypes, CatalogueRowsAndOrder) {
  ASSERT_EQ(SQLFieldTypes.size(), 62u);
  EXPECT_STREQ(SQLFieldTypes[0].SqlName, "CHAR");
  EXPECT_STREQ(SQLFieldTypes[1].SqlName, "FIXEDCHAR");
  EXPECT_EQ(SQLFieldTypes[33].FieldType, ftBCD);  // row 34
  EXPECT_EQ(SQLFieldTypes[54].FieldType, ftOraClob);  // row 55
  EXPECT_STREQ(SQLFieldTypes[61].SqlName, "GUID");
  for (const TSQLFieldType& row : SQLFieldTypes) {
    EXPECT_NE(row.BaseFieldType, bftUnknown);
    EXPECT_NE(row.BaseFieldType, bftBFile);
    EXPECT_NE(row.AdvancedFieldType, aftUnknown);
  }
  // Every advanced type but aftUnknown has a row.
  for (int t = 1; t < QXLAdvancedFieldTypeCount; ++t)
    EXPECT_NE(qxl::AdvancedFieldTypeName(TQXLAdvancedFieldType(t)), "Unknown") << t;
}

TEST(QXLTypes, AdvancedTypesMapToTheirFirstRow) {
  struct Case {
    TQXLAdvancedFieldType type;
    TQXLBaseFieldType base;
    TFieldType field;
    const char* name;
  } cases[] = {
      {aftUnknown, bftUnknown, ftUnknown, "Unknown"},
      {aftChar, bftChar, ftFixedChar, "CHAR"},
      {aftString, bftVarchar, ftString, "STRING"},
      {aftWideChar, bftWideChar, ftWideString, "WIDECHAR"},
      {aftWideString, bftWideVarchar, ftWideString, "WIDESTRING"},
      {aftShortint, bftSignedInt8, ftSmallint, "SHORTINT"},
      {aftCardinal, bftUnsignedInt32, ftLargeint, "CARDINAL"},
      {aftAutoIncLargeint, bftSignedInt64, ftLargeint, "AUTOINCLARGEINT"},
      {aftAutoIncWord, bftUnsignedInt16, ftAutoInc, "AUTOINCWORD"},
      {aftDouble, bftDouble, ftFloat, "FLOAT"},
      {aftBoolean, bftLogical, ftBoolean, "LOGICAL"},
      {aftTimeStamp, bftDateTime, ftTimeStamp, "TIMESTAMP"},
      {aftBlob, bftBlob, ftBlob, "BLOB"},
      {aftGraphic, bftBlob, ftGraphic, "GRAPHIC"},
      {aftMemo, bftClob, ftMemo, "MEMO"},
      {aftWideMemo, bftWideClob, ftWideMemo, "WIDEMEMO"},
      {aftGuid, bftChar, ftGuid, "GUID"},
      {TQXLAdvancedFieldType(37), bftUnknown, ftUnknown, "Unknown"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(qxl::AdvancedToBaseFieldType(c.type), c.base) << int(c.type);
    EXPECT_EQ(qxl::AdvancedFieldTypeToFieldType(c.type), c.field) << int(c.type);
    EXPECT_EQ(qxl::AdvancedFieldTypeName(c.type), c.name) << int(c.type);
  }
}

TEST(QXLTypes, BaseTypesMapToTheirFirstRow) {
  struct Case {
    TQXLBaseFieldType type;
    TQXLAdvancedFieldType advanced;
    const char* name;
  } cases[] = {
      {bftUnknown, aftUnknown, "Unknown"},      {bftChar, aftChar, "CHAR"},
      {bftVarchar, aftString, "STRING"},        {bftSignedInt16, aftSmallint, "SMALLINT"},
      {bftSignedInt32, aftInteger, "INTEGER"},  {bftUnsignedInt8, aftByte, "BYTE"},
      {bftDouble, aftDouble, "FLOAT"},          {bftDateTime, aftDateTime, "DATETIME"},
      {bftClob, aftMemo, "MEMO"},               {bftWideClob, aftWideMemo, "WIDEMEMO"},
      {bftBFile, aftUnknown, "Unknown"},        {TQXLBaseFieldType(200), aftUnknown, "Unknown"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(qxl::BaseToAdvancedFieldType(c.type), c.advanced) << int(c.type);
    EXPECT_EQ(qxl::BaseFieldTypeName(c.type), c.name) << int(c.type);
  }
}

TEST(QXLTypes, FieldTypesMapBackToAdvancedTypes) {
  struct Case {
    TFieldType field;
    TQXLAdvancedFieldType advanced;
  } cases[] = {
      {ftFixedChar, aftChar},  {ftString, aftString},    {ftWideString, aftWideChar}, {ftSmallint, aftSmallint},
      {ftWord, aftWord},       {ftLargeint, aftLargeint}, {ftAutoInc, aftAutoInc},     {ftFloat, aftDouble},
      {ftBCD, aftDouble},      {ftParadoxOle, aftBlob},  {ftOraClob, aftBlob},        {ftFmtMemo, aftFormattedMemo},
      {ftGuid, aftGuid},       {ftTimeStamp, aftTimeStamp},
  };
  for (const Case& c : cases) EXPECT_EQ(qxl::FieldTypeToAdvancedFieldType(c.field), c.advanced) << int(c.field);
}

TEST(QXLTypes, FieldTypeWithoutRowFailsWithItsOrdinal) {
  struct Case {
    TFieldType field;
    const char* ordinal;
  } cases[] = {{ftFixedWideChar, "38"}, {ftShortint, "43"}, {ftByte, "44"}, {ftLongWord, "42"},
               {ftExtended, "45"},      {ftSingle, "51"},    {ftUnknown, "0"}};
  for (const Case& c : cases) {
    EQXLException e = Raised([&] { qxl::FieldTypeToAdvancedFieldType(c.field); });
    EXPECT_EQ(e.NativeError, 30289);
    EXPECT_EQ(e.Message, std::string("Unknown DataType: '") + c.ordinal + "' - Native error: 30289");
  }
}

TEST(QXLTypes, BaseTypeClasses) {
  using Pred = bool (*)(TQXLBaseFieldType);
  struct Case {
    Pred pred;
    std::set<int> members;
  } cases[] = {
      {qxl::IsStringBaseFieldType, {bftChar, bftWideChar, bftVarchar, bftWideVarchar}},
      {qxl::IsWideStringBaseFieldType, {bftWideChar, bftWideVarchar}},
      {qxl::IsBlobBaseFieldType, {bftBlob, bftClob, bftWideClob}},
      {qxl::IsNumericBaseFieldType, {5, 6, 7, 8, 9, 10, 11, 12, 13, 14, bftCurrency}},
      {qxl::IsDateTimeBaseFieldType, {bftDate, bftTime, bftDateTime}},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i)
    for (int t = 0; t < 256; ++t)
      EXPECT_EQ(cases[i].pred(TQXLBaseFieldType(t)), cases[i].members.count(t) == 1) << "class " << i << " type " << t;
}

TEST(QXLTypes, AdvancedTypeClasses) {
  using Pred = bool (*)(TQXLAdvancedFieldType);
  std::set<int> convertible;
  for (int t = 1; t < QXLAdvancedFieldTypeCount; ++t) convertible.insert(t);
  for (int t : {aftBytes, aftVarBytes, aftBlob, aftGraphic, aftGuid}) convertible.erase(t);
  std::set<int> numeric;
  for (int t = 5; t <= 22; ++t) numeric.insert(t);
  numeric.insert(aftCurrency);
  struct Case {
    Pred pred;
    std::set<int> members;
  } cases[] = {
      {qxl::IsStringAdvancedFieldType, {aftChar, aftString, aftWideChar, aftWideString, aftGuid}},
      {qxl::IsWideStringAdvancedFieldType, {aftWideChar, aftWideString}},
      {qxl::IsBytesAdvancedFieldType, {aftBytes, aftVarBytes}},
      {qxl::IsBlobAdvancedFieldType, {aftBlob, aftGraphic, aftMemo, aftFormattedMemo, aftWideMemo}},
      {qxl::IsAutoincFieldType, {12, 13, 14, 15, 16, 17, 18, 19}},
      {qxl::IsNumericAdvancedFieldType, numeric},
      {qxl::IsDateTimeAdvancedFieldType, {aftDate, aftTime, aftDateTime, aftTimeStamp}},
      {qxl::IsSizedAdvancedFieldType, {aftChar, aftString, aftWideChar, aftWideString, aftBytes, aftVarBytes}},
      {qxl::IsConvertibleAdvancedFieldType, convertible},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i)
    for (int t = 0; t < 256; ++t)
      EXPECT_EQ(cases[i].pred(TQXLAdvancedFieldType(t)), cases[i].members.count(t) == 1)
          << "class " << i << " type " << t;
}

TEST(QXLTypes, DateConversions) {
  EXPECT_EQ(DateTimeToQXLDate(0.0), 693594);
  EXPECT_EQ(DateTimeToQXLDate(-693593.0), 1);  // 0001-01-01
  EXPECT_EQ(DateTimeToQXLDate(1.75), 693595);
  EXPECT_EQ(DateTimeToQXLDate(-1.75), 693593);  // toward zero
  EXPECT_EQ(QXLDateToDateTime(693594), 0.0);
  EXPECT_EQ(QXLDateToDateTime(1), -693593.0);
}

TEST(QXLTypes, TimeConversions) {
  EXPECT_EQ(DateTimeToQXLTime(0.5), 43200000);
  EXPECT_EQ(DateTimeToQXLTime(10.25), 21600000);
  // Within half a millisecond below 1: one past the day's last millisecond.
  EXPECT_EQ(DateTimeToQXLTime(1.0 - 0.4 / QXLMSecsPerDay), 86400000);
  // Halves round to even.
  EXPECT_EQ(DateTimeToQXLTime(0.5 / QXLMSecsPerDay), 0);
  EXPECT_EQ(DateTimeToQXLTime(1.5 / QXLMSecsPerDay), 2);
  // Frac keeps the sign.
  EXPECT_EQ(DateTimeToQXLTime(-1.25), -21600000);
  EXPECT_DOUBLE_EQ(QXLTimeToDateTime(43200000), 0.5);
  EXPECT_DOUBLE_EQ(QXLTimeToDateTime(86400000), 0.0);
  EXPECT_DOUBLE_EQ(QXLTimeToDateTime(-21600000), -0.25);
}

TEST(QXLTypes, DateTimeRoundTrip) {
  for (double x : {0.0, 45000.5, 36525.999988425923, -2.25, 2958465.0}) {
    TQXLDateTime dt = DateTimeToQXLDateTime(x);
    EXPECT_EQ(dt.Date, DateTimeToQXLDate(x));
    EXPECT_EQ(dt.Time, DateTimeToQXLTime(x));
    EXPECT_NEAR(QXLDateTimeToDateTime(dt), x, 0.5 / QXLMSecsPerDay) << x;
  }
  // A negative date-time is the day part plus a negative time.
  EXPECT_DOUBLE_EQ(QXLDateTimeToDateTime(TQXLDateTime{693592, -21600000}), -2.25);
}

TEST(QXLTypes, DateTimeWithoutEngineDateFails) {
  const double inf = std::numeric_limits<double>::infinity();
  for (double x : {std::numeric_limits<double>::quiet_NaN(), inf, -inf, 1e300, -3e9})
    EXPECT_THROW(DateTimeToQXLDateTime(x), platform::Exception) << x;
}
