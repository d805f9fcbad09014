#include "engine/core/values/QXLRounding.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

using namespace qxl;

namespace {

struct Case {
  double value;
  std::int32_t digits;
  TQXLRoundingMode mode;
  double want;
};

void Check(const Case& c) {
  const long double got = qxl::RoundDecimal(c.value, c.digits, c.mode);
  EXPECT_EQ(static_cast<double>(got), c.want)
      << c.value << " to " << c.digits << " digits, mode " << int(c.mode);
}

}  // namespace

TEST(Rounding, TiesByMode) {
  const Case cases[] = {
      {2.5, 0, rmHalfEven, 2},   {2.5, 0, rmHalfPos, 3},   {2.5, 0, rmHalfNeg, 2},
      {2.5, 0, rmHalfDown, 2},   {2.5, 0, rmHalfUp, 3},    {-2.5, 0, rmHalfEven, -2},
      {-2.5, 0, rmHalfPos, -2},  {-2.5, 0, rmHalfNeg, -3}, {-2.5, 0, rmHalfDown, -2},
      {-2.5, 0, rmHalfUp, -3},   {3.5, 0, rmHalfEven, 4},  {-3.5, 0, rmHalfEven, -4},
      {0.125, 2, rmHalfEven, 0.12}, {0.375, 2, rmHalfEven, 0.38},
      // Not ties: every nearest mode agrees.
      {2.4, 0, rmHalfUp, 2},     {2.6, 0, rmHalfDown, 3},  {-2.6, 0, rmHalfPos, -3},
      {2.7, 0, rmHalfEven, 3},   {3.3, 0, rmHalfEven, 3},
      // A mode number past the named ones: ties to even, without tolerance.
      {2.5, 0, static_cast<TQXLRoundingMode>(10), 2}, {3.5, 0, static_cast<TQXLRoundingMode>(200), 4},
  };
  for (const auto& c : cases) Check(c);
}

TEST(Rounding, DirectedModes) {
  const Case cases[] = {
      {2.3, 0, rmRndNeg, 2},   {2.3, 0, rmRndPos, 3},   {2.3, 0, rmRndDown, 2},  {2.3, 0, rmRndUp, 3},
      {-2.3, 0, rmRndNeg, -3}, {-2.3, 0, rmRndPos, -2}, {-2.3, 0, rmRndDown, -2}, {-2.3, 0, rmRndUp, -3},
      {2.0, 0, rmRndUp, 2},    {-2.0, 0, rmRndNeg, -2},
      // Within the tolerance of an integer the value counts as that integer.
      {2.9999999999999996, 0, rmRndNeg, 3}, {3.0000000000000004, 0, rmRndPos, 3},
      {-2.9999999999999996, 0, rmRndUp, -3}, {0.29, 1, rmRndDown, 0.2}, {1.01, 1, rmRndUp, 1.1},
  };
  for (const auto& c : cases) Check(c);
}

TEST(Rounding, ToleranceCoversBinaryError) {
  Check({2.675, 2, rmHalfUp, 2.68});
  Check({1.005, 2, rmHalfUp, 1.01});
  Check({-2.675, 2, rmHalfUp, -2.68});
  EXPECT_EQ(static_cast<double>(qxl::RoundDecimalWithError(2.675, 2, rmHalfUp, 0)), 2.67);
  EXPECT_EQ(std::bit_cast<std::uint64_t>(QXLDefaultMaxRelErr), 0x3CC3C0000001E5EDull);
}

TEST(Rounding, NegativeDigitsRoundToTens) {
  const Case cases[] = {
      {1234.5, -2, rmHalfEven, 1200}, {1250, -2, rmHalfEven, 1200}, {1350, -2, rmHalfEven, 1400},
      {1250, -2, rmHalfUp, 1300},     {-1250, -2, rmHalfUp, -1300}, {1201, -2, rmRndUp, 1300},
      {1299, -2, rmRndDown, 1200},    {15, -1, rmHalfNeg, 10},      {49, -2, rmHalfEven, 0},
  };
  for (const auto& c : cases) Check(c);
}

TEST(Rounding, SpecialValuesAndModeNoneComeBackUnchanged) {
  const double inf = std::numeric_limits<double>::infinity();
  for (int mode = 0; mode <= 10; ++mode) {
    const auto m = static_cast<TQXLRoundingMode>(mode);
    EXPECT_TRUE(std::isnan(qxl::RoundDecimal(std::nan(""), 2, m)));
    EXPECT_EQ(qxl::RoundDecimal(inf, 2, m), inf);
    EXPECT_EQ(qxl::RoundDecimal(-inf, 0, m), -inf);
  }
  EXPECT_EQ(static_cast<double>(qxl::RoundDecimal(2.675, 2, rmNone)), 2.675);
  EXPECT_TRUE(qxl::IsNanOrInfinite(std::numeric_limits<long double>::infinity()));
  EXPECT_TRUE(qxl::IsNanOrInfinite(std::numeric_limits<long double>::quiet_NaN()));
  EXPECT_FALSE(qxl::IsNanOrInfinite(std::numeric_limits<long double>::max()));
  EXPECT_FALSE(qxl::IsNanOrInfinite(0.0L));
}

TEST(Rounding, ValuesBeyondTheIntermediateRangeStayFiniteAndSane) {
  // Scaled past 2^63 there are no digits left to round: the value stays.
  EXPECT_EQ(static_cast<double>(qxl::RoundDecimal(1e300, 2, rmHalfEven)), 1e300);
  EXPECT_EQ(static_cast<double>(qxl::RoundDecimal(-1e19, 0, rmRndUp)), -1e19);
  EXPECT_EQ(static_cast<double>(qxl::RoundDecimal(0.5, 400000000, rmHalfUp)), 0.5);
  EXPECT_EQ(static_cast<double>(qxl::RoundDecimal(0, 6000, rmHalfUp)), 0);
  // Rounding to far more tens than the value has gives zero, not NaN, and ends.
  EXPECT_EQ(static_cast<double>(qxl::RoundDecimal(123.0, -6000, rmHalfEven)), 0);
  EXPECT_EQ(static_cast<double>(qxl::RoundDecimal(123.0, std::numeric_limits<std::int32_t>::min(), rmRndUp)), 0);
  EXPECT_EQ(static_cast<double>(qxl::RoundDecimal(123.0, -400, rmHalfEven)), 0);
}
