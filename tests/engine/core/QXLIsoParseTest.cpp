#include <gtest/gtest.h>

#include "engine/core/values/QXLTextUtils.h"
#include "platform/DateTime.h"

using namespace qxl;

using platform::EncodeDate;
using platform::EncodeTime;

TEST(IsoParse, Dates) {
  struct Case { const char* text; bool ok; TDateTime want; } cases[] = {
      {"2019-04-04", true, EncodeDate(2019, 4, 4)},
      {"2019/04/04", true, EncodeDate(2019, 4, 4)},
      {"2019-04-04 ", true, EncodeDate(2019, 4, 4)},    // one trailing character
      {"2019-04-04\xC3\xA9", true, EncodeDate(2019, 4, 4)},  // one, of two bytes
      {"20190404", false, 0},
      {"2019-04-04 1", false, 0}, {"2019-04-04  ", false, 0},
      {"19-04-04", false, 0}, {"2019-4-04", false, 0}, {"2019-04-4", false, 0},
      {"02019-04-04", false, 0}, {"2019-04-004", false, 0}, {"", false, 0}, {"2019", false, 0},
      {"2019-04", false, 0}, {"-2019-04-04", false, 0}, {"0001-01-01", true, EncodeDate(1, 1, 1)},
      {"99999999999999999999-04-04", false, 0},
  };
  for (const auto& c : cases) {
    TDateTime v = -1;
    EXPECT_EQ(qxl::TryParseDate(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.want) << c.text;
    }
  }
}

TEST(IsoParse, TimesAndDateTimes) {
  TDateTime v = 0;
  ASSERT_TRUE(qxl::TryParseTime("13:05:09", v));
  EXPECT_DOUBLE_EQ(v, (13 * 3600 + 5 * 60 + 9) / 86400.0);
  EXPECT_TRUE(qxl::TryParseTime("00:00:00.", v));
  EXPECT_EQ(v, 0);
  EXPECT_FALSE(qxl::TryParseTime("13:05", v));
  EXPECT_FALSE(qxl::TryParseTime("13:05:09.123", v));
  EXPECT_FALSE(qxl::TryParseTime("1:05:09", v));

  ASSERT_TRUE(qxl::TryParseDateTime("2019-04-04 13:05:09", v));
  EXPECT_EQ(v, EncodeDate(2019, 4, 4) + EncodeTime(13, 5, 9, 0));
  ASSERT_TRUE(qxl::TryParseDateTime("2019-04-04T13:05:09Z", v));
  EXPECT_EQ(v, EncodeDate(2019, 4, 4) + EncodeTime(13, 5, 9, 0));
  ASSERT_TRUE(qxl::TryParseDateTime("1899-12-29 06:00:00", v));
  EXPECT_EQ(v, -1.25);
  EXPECT_FALSE(qxl::TryParseDateTime("2019-04-04", v));
  EXPECT_FALSE(qxl::TryParseDateTime("2019-04-04 13:05:09+01", v));
}

TEST(IsoParse, GroupsThatFormNoDateRaise) {
  TDateTime v;
  EXPECT_THROW(qxl::TryParseDate("2019-13-01", v), platform::EConvertError);
  EXPECT_THROW(qxl::TryParseDate("2019-02-29", v), platform::EConvertError);
  EXPECT_THROW(qxl::TryParseDate("0000-01-01", v), platform::EConvertError);
  EXPECT_THROW(qxl::TryParseTime("24:00:00", v), platform::EConvertError);
  EXPECT_THROW(qxl::TryParseDateTime("2019-01-01 12:60:00", v), platform::EConvertError);
  EXPECT_TRUE(qxl::TryParseDate("2020-02-29", v));
}

TEST(IsoParse, SecondsWithAFractionKeepMilliseconds) {
  struct Case { const char* text; bool ok; TDateTime want; } times[] = {
      {"13:05:09.123", true, EncodeTime(13, 5, 9, 123)}, {"13:05:09.5", true, EncodeTime(13, 5, 9, 500)},
      {"00:00:00.05", true, EncodeTime(0, 0, 0, 50)},     {"13:05:09", false, 0},
      {"13:05:09.", false, 0},                             {"13:05:09.1234", false, 0},
      {"13:05:09.12x", false, 0},                          {"13:05.123", false, 0},
      {"13:05:09x.123", false, 0},                         {"1:05:09.123", false, 0},
  };
  for (const auto& c : times) {
    TDateTime v = -1;
    EXPECT_EQ(qxl::TryParseTimeWithFraction(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.want) << c.text;
    }
  }
  TDateTime v = 0;
  ASSERT_TRUE(qxl::TryParseDateTimeWithFraction("1999-12-31 23:59:58.007", v));
  EXPECT_EQ(v, EncodeDate(1999, 12, 31) + EncodeTime(23, 59, 58, 7));
  EXPECT_FALSE(qxl::TryParseDateTimeWithFraction("1999-12-31 23:59:58", v));
  EXPECT_FALSE(qxl::TryParseDateTimeWithFraction("31.12.1999", v));
}
