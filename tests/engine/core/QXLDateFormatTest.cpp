#include "engine/core/values/QXLDateFormat.h"

#include <gtest/gtest.h>

#include "engine/core/QXLException.h"
#include "platform/DateTime.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

using platform::ComposeDateTime;
using platform::EncodeDate;
using platform::EncodeTime;

namespace {

std::vector<TDateFormatToken> Tokens(std::string_view f) { return TDateFormater(f).Tokens(); }

TDateTime At(int y, int m, int d, int h = 0, int n = 0, int s = 0) {
  return ComposeDateTime(EncodeDate(y, m, d), EncodeTime(h, n, s, 0));
}

}  // namespace

TEST(DateFormat, Tokenising) {
  using V = std::vector<TDateFormatToken>;
  EXPECT_EQ(Tokens("YYYY-MM-DD"),
            (V{{dfYYYY, "YYYY"}, {dfText, "-"}, {dfMM, "MM"}, {dfText, "-"}, {dfDD, "DD"}}));
  EXPECT_EQ(Tokens("yyyy"), (V{{dfYYYY, "yyyy"}}));
  EXPECT_EQ(Tokens("DD 'of' MONTH"),
            (V{{dfDD, "DD"}, {dfText, " "}, {dfText, "of"}, {dfText, " "}, {dfMONTH, "MONTH"}}));
  // The longest keyword wins.
  EXPECT_EQ(Tokens("MONTH"), (V{{dfMONTH, "MONTH"}}));
  EXPECT_EQ(Tokens("MONTHS"), (V{{dfMONTH, "MONTH"}, {dfS, "S"}}));
  EXPECT_EQ(Tokens("hh24:nn"), (V{{dfHH24, "hh24"}, {dfText, ":"}, {dfNN, "nn"}}));
  EXPECT_EQ(Tokens("Day"), (V{{dfDAY, "Day"}}));
  EXPECT_EQ(Tokens("DDD"), (V{{dfDDD, "DDD"}}));
  EXPECT_EQ(Tokens("DDDD"), (V{{dfDDD, "DDD"}, {dfD, "D"}}));
  EXPECT_EQ(Tokens("ampm"), (V{{dfAMPM, "ampm"}}));
  // Single letters are keywords, so unquoted words break up.
  EXPECT_EQ(Tokens("at"), (V{{dfText, "at"}}));
  EXPECT_EQ(Tokens("Date"), (V{{dfD, "D"}, {dfText, "ate"}}));
  // Quotes: empty quoted text is kept, the other kind of quote is literal
  // inside, and an unclosed quote runs to the end.
  EXPECT_EQ(Tokens("''"), (V{{dfText, ""}}));
  EXPECT_EQ(Tokens("\"it's\"YY"), (V{{dfText, "it's"}, {dfYY, "YY"}}));
  EXPECT_EQ(Tokens("YY'MM"), (V{{dfYY, "YY"}, {dfText, "MM"}}));
  EXPECT_EQ(Tokens(""), V{});
  EXPECT_EQ(Tokens("\xC3\xA9t\xC3\xA9"), (V{{dfText, "\xC3\xA9t\xC3\xA9"}}));
  EXPECT_EQ(DateFormatMaxKeywordLength, 5u);
}

TEST(DateFormat, ToString) {
  struct Case { const char* format; TDateTime value; const char* want; } cases[] = {
      {"YYYY-MM-DD HH24:NN:SS", At(2019, 4, 4, 13, 5, 9), "2019-04-04 13:05:09"},
      {"D.M.YY H24:N:S", At(2009, 1, 2, 3, 4, 5), "2.1.09 3:4:5"},
      {"HH12:NN AMPM", At(1899, 12, 30, 12, 30), "00:30 PM"},
      {"HH:NN AMPM", At(2000, 1, 1, 23, 59), "11:59 PM"},
      {"H12 AMPM", At(2000, 1, 1, 9), "9 AM"},
      {"Q RM", At(2019, 7, 15), "3 VII"},
      {"Q RM", At(2019, 12, 31), "4 XII"},
      {"DAY, DD MONTH YYYY", At(2019, 7, 15), "Monday, 15 July 2019"},
      {"DDD DD MON YEAR", At(2026, 12, 10), "Thu 10 Dec 2026"},
      {"DY DW", At(2020, 12, 31), "366 4"},
      {"DY DW", At(2019, 1, 6), "6 7"},  // a Sunday is day 7
      {"YYYY", At(5, 1, 1), "0005"},
      {"'Q'Q", At(2019, 4, 1), "Q2"},
  };
  for (const auto& c : cases) EXPECT_EQ(TDateFormater(c.format).ToString(c.value), c.want) << c.format;
  EXPECT_THROW(TDateFormater("YYYY").ToString(1e9), platform::EConvertError);
}

TEST(DateFormat, ToDate) {
  struct Case { const char* format; const char* text; TDateTime want; } cases[] = {
      {"YYYY-MM-DD HH24:NN:SS", "2019-04-04 13:05:09", At(2019, 4, 4, 13, 5, 9)},
      {"HH12:NN AMPM", "00:30 PM", At(1899, 12, 30, 12, 30)},
      {"HH12:NN AMPM", "11:15 am", At(1899, 12, 30, 11, 15)},
      {"YY", "29", 0}, // no month and day: the zero date
      {"DD.MM.YY", "01.02.29", At(2029, 2, 1)},
      {"DD.MM.YY", "01.02.30", At(1930, 2, 1)},
      {"DD.Q.YYYY", "15.3.2019", At(2019, 7, 15)},
      {"Q-YYYY", "3-2019", 0},
      {"HH24:NN", "13:45", At(1899, 12, 30, 13, 45)},
      {"D.M.YYYY", "5.12.2019", At(2019, 12, 5)},
      {"D.M.YYYY", "15.3.2019", At(2019, 3, 15)},
      {"H24:N:S", "7:5:3", At(1899, 12, 30, 7, 5, 3)},
      {"H24:N:S", "17:45:33", At(1899, 12, 30, 17, 45, 33)},
      // Literal text is skipped by its length, whatever stands there.
      {"YYYY'xx'MMDD", "2019ab0704", At(2019, 7, 4)},
      // Before 1899-12-30 the time still counts forward from midnight.
      {"YYYY-MM-DD HH24", "1899-12-29 06", At(1899, 12, 29, 6)},
  };
  for (const auto& c : cases) EXPECT_EQ(TDateFormater(c.format).ToDate(c.text), c.want) << c.format << " " << c.text;
  EXPECT_LT(TDateFormater("HH24:NN").ToDate("13:45"), 1.0);
}

TEST(DateFormat, VariableWidthTokensAreReadByWhatTheTextHolds) {
  struct Case { const char* format; const char* text; TDateTime want; } cases[] = {
      {"DD MONTH YYYY HH24", "15 September 2019 08", ComposeDateTime(0, EncodeTime(8, 0, 0, 0))},
      {"MONTH DD", "May 07", 0},
      {"DAY DD.MM.YYYY", "Wednesday 04.09.2019", At(2019, 9, 4)},
      {"DAY DD.MM.YYYY", "sunday 01.09.2019", At(2019, 9, 1)},
      {"DDD DD.MM.YYYY", "Tue 03.09.2019", At(2019, 9, 3)},
      {"MON DD.MM.YYYY", "sep 03.09.2019", At(2019, 9, 3)},
      {"RM/DD/MM/YYYY", "VIII/03/08/2019", At(2019, 8, 3)},
      {"RM/DD/MM/YYYY", "viii/03/08/2019", At(2019, 8, 3)},
      {"RM/DD/MM/YYYY", "I/03/01/2019", At(2019, 1, 3)},
      {"RM/DD/MM/YYYY", "IV/03/04/2019", At(2019, 4, 3)},
      {"DY.YYYY.MM.DD", "5.2019.01.05", At(2019, 1, 5)},
      {"DY.YYYY.MM.DD", "245.2019.09.02", At(2019, 9, 2)},
      {"DW YYYY.MM.DD", "3 2019.09.04", At(2019, 9, 4)},
      // H and H12 read the hour, in one or two digits.
      {"H:NN AMPM", "9:05 PM", ComposeDateTime(0, EncodeTime(21, 5, 0, 0))},
      {"H12:NN", "11:05", ComposeDateTime(0, EncodeTime(11, 5, 0, 0))},
      {"HH12:NN", "7:05", ComposeDateTime(0, EncodeTime(7, 5, 0, 0))},
  };
  for (const auto& c : cases) EXPECT_EQ(TDateFormater(c.format).ToDate(c.text), c.want) << c.format << " " << c.text;
}

TEST(DateFormat, RoundTripsThroughItsOwnText) {
  // Every template carries the date and time in numbers too, with names and
  // other variable-width tokens before them.
  const char* formats[] = {"DAY, DD.MM.YYYY HH12:NN:SS AMPM", "DDD MON D M YY H:N:S AMPM",
                           "MONTH RM D.M.YYYY HH24:NN:SS", "DY DW YEAR.MM.DD H24.N.S"};
  const TDateTime values[] = {At(2019, 7, 15, 0, 0, 1), At(2001, 11, 3, 12, 0, 0), At(1999, 2, 28, 23, 59, 59),
                              At(2024, 9, 9, 9, 9, 9)};
  for (const char* f : formats)
    for (TDateTime v : values) {
      const TDateFormater fmt(f);
      const std::string text = fmt.ToString(v);
      EXPECT_EQ(fmt.ToDate(text), v) << f << ": " << text;
    }
}

TEST(DateFormat, BadText) {
  const TDateFormater ampm("HH12 AMPM");
  EXPECT_EQ(NativeCodeOf([&] { ampm.ToDate("03 XM"); }), 30129);
  const std::string message = MessageOf([&] { ampm.ToDate("03 xm"); });
  EXPECT_NE(message.find("AM/PM word expected, but 'xm' found"), std::string::npos) << message;
  EXPECT_EQ(NativeCodeOf([&] { ampm.ToDate("03 "); }), 30129);
  struct Case { const char* format; const char* text; } cases[] = {
      {"YYYY-MM-DD", "20x9-01-01"}, {"YYYY-MM-DD", "2019-13-01"}, {"YYYY-MM-DD", "2019-02-30"},
      {"HH24:NN", "24:00"},         {"HH24:NN", "12:60"},         {"YYYY-MM-DD", "2019-01"},
      {"YYYY-MM-DD", ""},           {"MONTH YYYY", "Juli 2019"},  {"DAY", "Mo"},
      {"RM", "Z"},                  {"DY", "x"},                  {"DW", ""},
      {"HH12:NN AMPM", "12:30 PM"}, // the formatter's clock ends at 11
      {"DD.MM.YYYY", "\xC3\xA9\xC3\xA9.01.2019"},
  };
  for (const auto& c : cases)
    EXPECT_THROW(TDateFormater(c.format).ToDate(c.text), platform::EConvertError) << c.format << " " << c.text;
}

TEST(DateFormat, MaxSizeAndDataType) {
  EXPECT_EQ(TDateFormater("DAY, DD MONTH YYYY").GetStringMaxSize(), 31);
  EXPECT_EQ(TDateFormater("YYYY-MM-DD HH24:NN:SS AMPM").GetStringMaxSize(), 22);
  EXPECT_EQ(TDateFormater("RM Q DDD DY 'caf\xC3\xA9'").GetStringMaxSize(), 4 + 1 + 1 + 1 + 3 + 1 + 3 + 1 + 4);
  EXPECT_EQ(TDateFormater("").GetStringMaxSize(), 0);
  EXPECT_EQ(TDateFormater("HH24:NN").GetDataType(), aftTime);
  EXPECT_EQ(TDateFormater("DD.MM.YYYY").GetDataType(), aftDate);
  EXPECT_EQ(TDateFormater("'x'").GetDataType(), aftDateTime);
  EXPECT_EQ(TDateFormater("DD HH").GetDataType(), aftDateTime);
  EXPECT_EQ(TDateFormater("AMPM").GetDataType(), aftTime);
  EXPECT_EQ(TDateFormater("DW").GetDataType(), aftDate);
}
