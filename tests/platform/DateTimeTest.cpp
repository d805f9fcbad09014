#include "platform/DateTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace platform;

TEST(DateTime, KnownDayNumbers) {
  struct Case {
    int y, m, d;
    double value;
    int dayOfWeek;
  } cases[] = {
      {1899, 12, 30, 0, 7},      {1899, 12, 29, -1, 6},   {1900, 1, 1, 2, 2},
      {2000, 1, 1, 36526, 7},    {1, 1, 1, -693593, 2},   {9999, 12, 31, 2958465, 6},
      {1800, 1, 1, -36522, 4},   {2026, 3, 5, 46086, 5},  {2024, 2, 29, 45351, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(EncodeDate(c.y, c.m, c.d), c.value);
    int y, m, d;
    DecodeDate(c.value, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, c.y * 10000 + c.m * 100 + c.d);
    EXPECT_EQ(DayOfWeek(c.value), c.dayOfWeek);
  }
}

TEST(DateTime, EveryDayRoundTripsAndFollowsTheDayBefore) {
  TDateTime previous = MinDateTime - 1;
  for (int y = 1; y <= 9999; ++y) {
    for (int m = 1; m <= 12; ++m) {
      for (int d = 1; d <= DaysInMonth(y, m); ++d) {
        TDateTime v;
        ASSERT_TRUE(TryEncodeDate(y, m, d, v));
        ASSERT_EQ(v, previous + 1) << y << "-" << m << "-" << d;
        previous = v;
        if (d == 1 || d >= 28) {  // month ends, and the first of each month
          int yy, mm, dd;
          DecodeDate(v + (v < 0 ? -0.75 : 0.75), yy, mm, dd);  // any time of that day
          ASSERT_EQ(yy * 10000 + mm * 100 + dd, y * 10000 + m * 100 + d);
        }
      }
    }
  }
  EXPECT_EQ(previous, 2958465);
}

TEST(DateTime, LeapYearsAndInvalidDates) {
  struct Case {
    int year;
    bool leap;
  } years[] = {{1600, true}, {1700, false}, {1900, false}, {2000, true}, {2023, false}, {2024, true}, {4, true}};
  for (const Case& c : years) {
    EXPECT_EQ(IsLeapYear(c.year), c.leap) << c.year;
    EXPECT_EQ(DaysInMonth(c.year, 2), c.leap ? 29 : 28) << c.year;
    TDateTime v;
    EXPECT_EQ(TryEncodeDate(c.year, 2, 29, v), c.leap) << c.year;
  }
  TDateTime v = 123;
  for (auto [y, m, d] : {std::array{0, 1, 1}, {10000, 1, 1}, {2024, 0, 1}, {2024, 13, 1}, {2024, 1, 0},
                         {2024, 4, 31}, {2024, 1, 32}, {-5, 1, 1}}) {
    EXPECT_FALSE(TryEncodeDate(y, m, d, v)) << y << "-" << m << "-" << d;
  }
  EXPECT_EQ(v, 123);  // untouched on failure
  EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
  EXPECT_EQ(DaysInMonth(2024, 13), 0);
}

TEST(DateTime, TimesEncodeAndDecode) {
  struct Case {
    int h, m, s, ms;
  } cases[] = {{0, 0, 0, 0}, {12, 0, 0, 0}, {6, 30, 15, 250}, {23, 59, 59, 999}, {0, 0, 0, 1}};
  for (const Case& c : cases) {
    TDateTime t = EncodeTime(c.h, c.m, c.s, c.ms);
    EXPECT_GE(t, 0);
    EXPECT_LT(t, 1);
    for (TDateTime day : {0.0, 45000.0, -36522.0}) {
      int h, m, s, ms;
      DecodeTime(ComposeDateTime(day, t), h, m, s, ms);
      EXPECT_EQ((std::array{h, m, s, ms}), (std::array{c.h, c.m, c.s, c.ms})) << day;
    }
  }
  EXPECT_EQ(EncodeTime(12, 0, 0, 0), 0.5);
  TDateTime t;
  for (auto [h, m, s, ms] : {std::array{24, 0, 0, 0}, {0, 60, 0, 0}, {0, 0, 60, 0}, {0, 0, 0, 1000}, {-1, 0, 0, 0}})
    EXPECT_FALSE(TryEncodeTime(h, m, s, ms, t));
  EXPECT_THROW(EncodeTime(25, 0, 0, 0), EConvertError);
}

TEST(DateTime, ValuesBefore1899KeepTheTimeAsTheFractionsMagnitude) {
  int y, mo, d, h, mi, s, ms;
  DecodeDateTime(-1.25, y, mo, d, h, mi, s, ms);
  EXPECT_EQ((std::array{y, mo, d, h, mi}), (std::array{1899, 12, 29, 6, 0}));
  DecodeDateTime(-0.25, y, mo, d, h, mi, s, ms);
  EXPECT_EQ((std::array{y, mo, d, h, mi}), (std::array{1899, 12, 30, 6, 0}));
  EXPECT_EQ(ComposeDateTime(EncodeDate(1899, 12, 29), EncodeTime(6, 0, 0, 0)), -1.25);
  EXPECT_EQ(DateOf(-1.25), -1);
  EXPECT_EQ(TimeOf(-1.25), 0.25);
  EXPECT_EQ(DayOfWeek(-1.25), 6);  // Friday
}

TEST(DateTime, TimeRoundsToTheMillisecondAndCarriesIntoTheNextDay) {
  int y, mo, d, h, mi, s, ms;
  DecodeDateTime(1 - 1e-10, y, mo, d, h, mi, s, ms);
  EXPECT_EQ((std::array{y, mo, d, h, mi, s, ms}), (std::array{1899, 12, 31, 0, 0, 0, 0}));
  DecodeDateTime(EncodeTime(10, 0, 0, 0) + 0.4 / MSecsPerDay, y, mo, d, h, mi, s, ms);
  EXPECT_EQ((std::array{h, mi, s, ms}), (std::array{10, 0, 0, 0}));
}

TEST(DateTime, ValuesOutsideTheCalendarAreRefused) {
  int y, m, d;
  for (double v : {std::nan(""), std::numeric_limits<double>::infinity(), 1e20, -1e20, MaxDateTime + 1,
                   MinDateTime - 1.0})
    EXPECT_THROW(DecodeDate(v, y, m, d), EConvertError) << v;
  EXPECT_NO_THROW(DecodeDate(MinDateTime - 0.5, y, m, d));  // 0001-01-01 12:00
  EXPECT_EQ(y * 10000 + m * 100 + d, 10101);
}

TEST(DateTime, NowIsToday) {
  TDateTime now = Now(), today = Date();
  EXPECT_GT(now, EncodeDate(2020, 1, 1));
  EXPECT_EQ(today, std::trunc(today));
  EXPECT_LE(today, now);
  EXPECT_LT(now - today, 1.0 + 1.0 / 86400);  // a day's change between the calls at most
}
