#include "platform/DateTimeText.h"

#include <gtest/gtest.h>

#include <cmath>

#include "ParseCases.h"

using namespace platform;
using platform::test::ExpectParses;
using platform::test::ParseCase;

namespace {

// 2026-03-05 (a Thursday) 14:07:09.045
TDateTime Sample() { return EncodeDate(2026, 3, 5) + EncodeTime(14, 7, 9, 45); }

}  // namespace

TEST(DateTimeText, FormatTokens) {
  const TFormatSettings settings;
  struct Case {
    const char* format;
    const char* text;
  } cases[] = {
      {"d", "5"},          {"dd", "05"},         {"ddd", "Thu"},        {"dddd", "Thursday"},
      {"m", "3"},          {"mm", "03"},         {"mmm", "Mar"},        {"mmmm", "March"},
      {"yy", "26"},        {"yyyy", "2026"},     {"h", "14"},           {"hh", "14"},
      {"n", "7"},          {"nn", "07"},         {"s", "9"},            {"ss", "09"},
      {"z", "45"},         {"zzz", "045"},       {"hh:mm", "14:07"},    {"h:m:s", "14:7:9"},
      {"h:nn am/pm", "2:07 pm"},                 {"hh AM/PM", "02 PM"}, {"h a/p", "2 p"},
      {"ampm", "PM"},      {"c", "05.03.2026 14:07:09"},                {"ddddd", "05.03.2026"},
      {"t", "14:07"},      {"tt", "14:07:09"},   {"yyyy/mm/dd", "2026.03.05"},
      {"'d' d \"mm\" m", "d 5 mm 3"},            {"DD-MMM-YYYY", "05-Mar-2026"},
      {" ddd ddddd", " Thu 05.03.2026"},         {"d 'unclosed", "5 unclosed"},
      {"hh 'x' mm", "14 x 07"},                  {"dd mm", "05 03"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatDateTime(c.format, Sample(), settings), c.text) << c.format;
}

TEST(DateTimeText, TwelveHourClockAndMidnight) {
  const TFormatSettings settings;
  TDateTime day = EncodeDate(2026, 3, 5);
  struct Case {
    TDateTime time;
    const char* text;
  } cases[] = {
      {EncodeTime(0, 30, 0, 0), "12:30 AM"},
      {EncodeTime(12, 0, 0, 0), "12:00 PM"},
      {EncodeTime(11, 59, 0, 0), "11:59 AM"},
      {EncodeTime(23, 1, 0, 0), "11:01 PM"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatDateTime("hh:nn ampm", day + c.time, settings), c.text);
  EXPECT_EQ(FormatDateTime("c", day, settings), "05.03.2026");  // no time at midnight
  EXPECT_EQ(FormatDateTime("c", day + EncodeTime(0, 0, 0, 1), settings), "05.03.2026 00:00:00");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn", -1.25, settings), "1899-12-29 06:00");
  EXPECT_THROW(FormatDateTime("c", 1e12, settings), EConvertError);
}

TEST(DateTimeText, ProcessWideDefaultsHaveFourDigitYears) {
  TDateTime v = Sample();
  EXPECT_EQ(DateToStr(v), "05.03.2026");
  EXPECT_EQ(TimeToStr(v), "14:07:09");
  EXPECT_EQ(DateTimeToStr(v), "05.03.2026 14:07:09");
  EXPECT_EQ(DateTimeToStr(std::trunc(v)), "05.03.2026");
  EXPECT_EQ(TimeToStr(0), "00:00:00");
}

TEST(DateTimeText, ParseDates) {
  const TFormatSettings settings;
  TDateTime today = Date();
  int thisYear, m, d;
  DecodeDate(today, thisYear, m, d);
  const ParseCase<TDateTime> cases[] = {
      {"05.03.2026", true, EncodeDate(2026, 3, 5)},
      {"5.3.2026", true, EncodeDate(2026, 3, 5)},
      {" 5 . 3 . 2026 ", true, EncodeDate(2026, 3, 5)},
      {"29.02.2024", true, EncodeDate(2024, 2, 29)},
      {"01.01.0001", true, MinDateTime},
      {"15.06.1800", true, EncodeDate(1800, 6, 15)},
      {"5.3", true, EncodeDate(thisYear, 3, 5)},
      {"29.02.2023", false, 0},
      {"05/03/2026", false, 0},
      {"2026-03-05", false, 0},
      {"05.03.2026x", false, 0},
      {"05.03.", false, 0},
      {"05.03.20261", false, 0},
      {"0.3.2026", false, 0},
      {"", false, 0},
      {"5", false, 0},
  };
  ExpectParses(cases, [&](const char* text, TDateTime& v) { return TryStrToDate(text, v, settings); });
  EXPECT_THROW(StrToDate("31.04.2026", settings), EConvertError);
}

TEST(DateTimeText, TwoDigitYearsFallInTheCenturyWindow) {
  TFormatSettings settings;
  int thisYear, m, d;
  DecodeDate(Date(), thisYear, m, d);
  const int start = thisYear - settings.TwoDigitYearCenturyWindow;
  for (int yy : {0, 26, 49, 50, 75, 99}) {
    TDateTime v;
    ASSERT_TRUE(TryStrToDate("1.1." + std::to_string(yy), v, settings));
    int y, mm, dd;
    DecodeDate(v, y, mm, dd);
    EXPECT_EQ(y % 100, yy);
    EXPECT_GE(y, start);
    EXPECT_LT(y, start + 100);
  }
}

TEST(DateTimeText, ParseFollowsTheShortDateOrderAndSeparator) {
  TFormatSettings ymd;
  ymd.ShortDateFormat = "yyyy/mm/dd";
  ymd.DateSeparator = '-';
  TFormatSettings mdy;
  mdy.ShortDateFormat = "m/d/yyyy";
  mdy.DateSeparator = '/';
  TDateTime v;
  ASSERT_TRUE(TryStrToDate("2026-03-05", v, ymd));
  EXPECT_EQ(v, EncodeDate(2026, 3, 5));
  EXPECT_EQ(DateToStr(v, ymd), "2026-03-05");
  ASSERT_TRUE(TryStrToDate("3/5/2026", v, mdy));
  EXPECT_EQ(v, EncodeDate(2026, 3, 5));
  EXPECT_EQ(DateToStr(v, mdy), "3/5/2026");
  EXPECT_FALSE(TryStrToDate("13/5/2026", v, mdy));
}

TEST(DateTimeText, ParseTimes) {
  const TFormatSettings settings;
  struct Case {
    const char* text;
    bool ok;
    int h, m, s, ms;
  } cases[] = {
      {"14:07:09", true, 14, 7, 9, 0},  {"14:07", true, 14, 7, 0, 0},     {"9", true, 9, 0, 0, 0},
      {" 2:07 PM ", true, 14, 7, 0, 0}, {"2:07pm", true, 14, 7, 0, 0},    {"12:00 AM", true, 0, 0, 0, 0},
      {"12:00 PM", true, 12, 0, 0, 0},  {"AM 11:30", true, 11, 30, 0, 0}, {"11:30 p", true, 23, 30, 0, 0},
      {"14:07:09.5", true, 14, 7, 9, 500},                                {"14:07:09.045", true, 14, 7, 9, 45},
      {"13:00 PM", false, 0, 0, 0, 0},  {"24:00", false, 0, 0, 0, 0},     {"14:60", false, 0, 0, 0, 0},
      {"14:", false, 0, 0, 0, 0},       {"14:07:", false, 0, 0, 0, 0},    {"x", false, 0, 0, 0, 0},
      {"", false, 0, 0, 0, 0},          {"14.07", false, 0, 0, 0, 0},     {"14:07 XM", false, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    TDateTime v = -99;  // left as it is by text that does not parse
    ASSERT_EQ(TryStrToTime(c.text, v, settings), c.ok) << c.text;
    EXPECT_EQ(v, c.ok ? EncodeTime(c.h, c.m, c.s, c.ms) : -99) << c.text;
  }
  EXPECT_THROW(StrToTime("25:00", settings), EConvertError);
}

TEST(DateTimeText, ParseDateTimesAndRoundTrip) {
  const TFormatSettings settings;
  TDateTime v;
  ASSERT_TRUE(TryStrToDateTime("05.03.2026 14:07:09", v, settings));
  EXPECT_EQ(v, EncodeDate(2026, 3, 5) + EncodeTime(14, 7, 9, 0));
  ASSERT_TRUE(TryStrToDateTime("05.03.2026", v, settings));
  EXPECT_EQ(v, EncodeDate(2026, 3, 5));
  ASSERT_TRUE(TryStrToDateTime("14:07", v, settings));
  EXPECT_EQ(v, EncodeTime(14, 7, 0, 0));
  ASSERT_TRUE(TryStrToDateTime("29.12.1899 06:00", v, settings));
  EXPECT_EQ(v, -1.25);
  EXPECT_FALSE(TryStrToDateTime("05.03.2026 25:00", v, settings));
  EXPECT_FALSE(TryStrToDateTime("05.03.2026 14:07 x", v, settings));
  try {
    StrToDateTime("never", settings);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, "'never' is not a valid date and time");
  }
  for (TDateTime value : {Sample(), EncodeDate(1800, 6, 15) - EncodeTime(10, 20, 30, 0), EncodeDate(9999, 12, 31),
                          EncodeDate(1, 1, 1) - EncodeTime(23, 59, 59, 0), EncodeTime(0, 0, 1, 0)}) {
    const TDateTime seconds = std::round(value * 86400) / 86400;
    ASSERT_TRUE(TryStrToDateTime(DateTimeToStr(value, settings), v, settings)) << DateTimeToStr(value, settings);
    EXPECT_NEAR(v, seconds, 1e-9) << DateTimeToStr(value, settings);
  }
}
