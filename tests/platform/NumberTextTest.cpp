#include "platform/NumberText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ParseCases.h"

using namespace platform;
using platform::test::ExpectParses;
using platform::test::ParseCase;

TEST(NumberText, GeneralFloatText) {
  const TFormatSettings settings;
  struct Case {
    long double value;
    const char* text;
  } cases[] = {
      {0, "0"},
      {1, "1"},
      {-1.5, "-1.5"},
      {0.1, "0.1"},
      {100, "100"},
      {1.0 / 3, "0.333333333333333"},
      {2.0 / 3, "0.666666666666667"},
      {1e20, "1E20"},
      {1.5e-7, "1.5E-7"},
      {-2.5e-300, "-2.5E-300"},
      {0.0001, "0.0001"},
      {0.00001, "1E-5"},
      {0.00012345, "0.00012345"},
      {123456789012345.0, "123456789012345"},
      {999999999999999.9, "1E15"},
      {1e15, "1E15"},
      {1234567890123456.0, "1.23456789012346E15"},
      {3.14159, "3.14159"},
      {static_cast<float>(0.1), "0.100000001490116"},
      {1e4000L, "1E4000"},
      {std::numeric_limits<double>::quiet_NaN(), "NAN"},
      {std::numeric_limits<double>::infinity(), "INF"},
      {-std::numeric_limits<double>::infinity(), "-INF"},
  };
  for (const Case& c : cases) EXPECT_EQ(FloatToStr(c.value, settings), c.text) << c.text;
  TFormatSettings comma;
  comma.DecimalSeparator = ',';
  EXPECT_EQ(FloatToStr(3.25, comma), "3,25");
  EXPECT_EQ(FloatToStr(1.5e-7, comma), "1,5E-7");
}

TEST(NumberText, FloatParsing) {
  const TFormatSettings settings;
  const ParseCase<double> cases[] = {
      {"1.5", true, 1.5},     {" 1.5 ", true, 1.5},    {"+2", true, 2},        {"-.5", true, -0.5},
      {"5.", true, 5},        {"1e3", true, 1000},     {"1E-2", true, 0.01},   {"-1.5e+2", true, -150},
      {"1e-400", true, 0},    {"0.1", true, 0.1},      {"007", true, 7},
      {"1,5", false, 0},      {"", false, 0},          {".", false, 0},        {"e5", false, 0},
      {"1e", false, 0},       {"1e+", false, 0},       {"1.5x", false, 0},     {"1e400", false, 0},
      {"-1e400", false, 0},   {"1.2.3", false, 0},     {"NaN", false, 0},      {"INF", false, 0},
      {"0x10", false, 0},     {"1 000", false, 0},     {"1,000.5", false, 0},  {"--1", false, 0},
  };
  ExpectParses(cases, [&](const char* text, double& v) { return TryStrToFloat(text, v, settings); });
  long double ld;
  ASSERT_TRUE(TryStrToFloat("1e4000", ld, settings));
  EXPECT_EQ(ld, 1e4000L);
  EXPECT_THROW(StrToFloat("abc", settings), EConvertError);
}

TEST(NumberText, FloatTextRoundTrips) {
  const TFormatSettings settings;
  for (double v : {0.1, -123.456, 1e20, 1.5e-7, 6.02214076e23, 9.87654321012345e-100, 42.0}) {
    EXPECT_EQ(StrToFloat(FloatToStr(v, settings), settings), v) << FloatToStr(v, settings);
  }
}

TEST(NumberText, DecimalSeparatorComesFromTheSettingsPassed) {
  const char global = FormatSettings().DecimalSeparator;
  TFormatSettings comma;
  comma.DecimalSeparator = ',';
  EXPECT_EQ(FloatToStr(1.5, comma), "1,5");
  double v;
  EXPECT_TRUE(TryStrToFloat("2,5", v, comma));
  EXPECT_EQ(v, 2.5);
  TFormatSettings dot;
  dot.DecimalSeparator = '.';
  EXPECT_EQ(StrToFloat("0.25", dot), 0.25);
  EXPECT_THROW(StrToFloat("0,25", dot), EConvertError);
  EXPECT_EQ(FormatSettings().DecimalSeparator, global);
}

TEST(NumberText, MoneyAmounts) {
  const TFormatSettings settings;
  const ParseCase<double> cases[] = {
      {"1.5", true, 1.5},
      {"12", true, 12},
      {"-0.0001", true, -0.0001},
      {"1.23456", true, 1.2346},
      {"1.23455", true, 1.2346},   // tie to even
      {"1.23465", true, 1.2346},   // tie to even
      {"1.234651", true, 1.2347},
      {"0.00005", true, 0},
      {"0.00015", true, 0.0002},
      {"-0.00025", true, -0.0002},
      {"0.000051", true, 0.0001},
      {"1e3", true, 1000},
      {"1.5e-3", true, 0.0015},
      {"1e-20", true, 0},
      {"922337203685477.5807", true, 922337203685477.5807},
      {"-922337203685477.5807", true, -922337203685477.5807},
      {"922337203685477.5808", false, 0},
      {"1e19", false, 0},
      {"1,5", false, 0},
      {"", false, 0},
      {"1.5.", false, 0},
  };
  ExpectParses(cases, [&](const char* text, double& v) { return TryStrToCurr(text, v, settings); });
  EXPECT_THROW(StrToCurr("x", settings), EConvertError);
}

TEST(NumberText, MoneyText) {
  const TFormatSettings settings;
  struct Case {
    double value;
    const char* text;
  } cases[] = {
      {0, "0"},           {1.5, "1.5"},           {-0.0001, "-0.0001"},       {12, "12"},
      {1.23456, "1.2346"}, {0.1, "0.1"},          {-1234567.891, "-1234567.891"}, {0.00004, "0"},
      {922337203685477.0, "922337203685477"},
  };
  for (const Case& c : cases) EXPECT_EQ(CurrToStr(c.value, settings), c.text) << c.text;
  TFormatSettings comma;
  comma.DecimalSeparator = ',';
  EXPECT_EQ(CurrToStr(2.75, comma), "2,75");
  EXPECT_THROW(CurrToStr(1e15, settings), EConvertError);
  EXPECT_THROW(CurrToStr(std::nan(""), settings), EConvertError);
}

TEST(NumberText, Integers) {
  const ParseCase<std::int32_t> cases[] = {
      {"0", true, 0},          {"123", true, 123},               {"-123", true, -123},
      {"+7", true, 7},         {"  42", true, 42},               {"2147483647", true, 2147483647},
      {"-2147483648", true, INT32_MIN},                          {"$FF", true, 255},
      {"$ffffffff", true, -1}, {"0x1A", true, 26},               {"x10", true, 16},
      {"-$1", true, -1},       {"$80000000", true, INT32_MIN},   {"0012", true, 12},
      {"42 ", false, 0},       {"2147483648", false, 0},         {"-2147483649", false, 0},
      {"$100000000", false, 0}, {"", false, 0},                  {"-", false, 0},
      {"$", false, 0},         {"1.5", false, 0},                {"abc", false, 0},
      {"--1", false, 0},       {"+-1", false, 0},                {"99999999999999999999", false, 0},
  };
  ExpectParses(cases, [](const char* text, std::int32_t& v) { return TryStrToInt(text, v); });
  const ParseCase<std::int64_t> cases64[] = {
      {"9223372036854775807", true, INT64_MAX},
      {"-9223372036854775808", true, INT64_MIN},
      {"9223372036854775808", false, 0},
      {"$FFFFFFFFFFFFFFFF", true, -1},
      {"4294967296", true, 4294967296},
  };
  ExpectParses(cases64, [](const char* text, std::int64_t& v) { return TryStrToInt64(text, v); });
  EXPECT_EQ(StrToInt("-5"), -5);
  EXPECT_THROW(StrToInt("5x"), EConvertError);
  EXPECT_THROW(StrToInt64(""), EConvertError);
}
