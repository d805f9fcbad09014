#include "engine/core/values/QXLRounding.h"

#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace qxl {

static_assert(std::numeric_limits<long double>::digits == 64, "80-bit extended long double expected");

const double QXLDefaultMaxRelErr = std::bit_cast<double>(std::uint64_t{0x3CC3C0000001E5EDull});

namespace {

// Every integer from here on is exact in the extended type, and beyond it the
// 64-bit intermediate of the rounding cannot hold the scaled value.
constexpr long double kTwoPow63 = 9223372036854775808.0L;

// To the nearest integer, ties to even, as the processor rounds by default.
long double Round(long double x) { return static_cast<long double>(std::llrint(x)); }

long double RoundScaled(long double X, long double E, TQXLRoundingMode Mode) {
  switch (Mode) {
    case rmHalfEven: {
      const long double a = Round(X - E);
      return std::fmod(a, 2.0L) == 0 ? a : Round(X + E);
    }
    case rmHalfPos: return Round(X + E);
    case rmHalfNeg: return Round(X - E);
    case rmHalfDown: return Round(std::fabs(X) - E);
    case rmHalfUp: return Round(std::fabs(X) + E);
    case rmRndNeg: return Round(X + E - 0.5L);
    case rmRndPos: return Round(X - E + 0.5L);
    case rmRndDown: return Round(std::fabs(X) + E - 0.5L);
    case rmRndUp: return Round(std::fabs(X) - E + 0.5L);
    default: return Round(X);
  }
}

bool WorksOnMagnitude(TQXLRoundingMode Mode) {
  return Mode == rmHalfDown || Mode == rmHalfUp || Mode == rmRndDown || Mode == rmRndUp;
}

}  // namespace

bool IsNanOrInfinite(long double Value) {
  unsigned char bytes[sizeof(long double)];
  std::memcpy(bytes, &Value, sizeof bytes);
  std::uint64_t mantissa;
  std::uint16_t signAndExponent;
  std::memcpy(&mantissa, bytes, 8);
  std::memcpy(&signAndExponent, bytes + 8, 2);
  return (signAndExponent & 0x7FFF) == 0x7FFF && mantissa != 0;
}

long double RoundDecimalWithError(long double Value, std::int32_t Digits, TQXLRoundingMode Mode,
                                  double MaxRelErr) {
  if (qxl::IsNanOrInfinite(Value) || Mode == rmNone) return Value;
  // 10^|Digits|; past the extended range it stays infinite instead of looping
  // on through a huge count.
  const std::int64_t count = std::llabs(static_cast<std::int64_t>(Digits));
  long double S = 1;
  for (std::int64_t i = 0; i < count && !std::isinf(S); ++i) S *= 10;
  long double E = std::fabs(Value * MaxRelErr);
  long double X;
  if (Digits >= 0) {
    X = Value * S;
    E *= S;
  } else {
    X = Value / S;
    E /= S;
  }
  // A scaled value this large has no digits left to round away.
  if (!(std::fabs(X) + E + 1 < kTwoPow63)) return Value;
  const long double R = RoundScaled(X, E, Mode);
  long double result = R == 0 ? 0.0L : Digits >= 0 ? R / S : R * S;
  if (WorksOnMagnitude(Mode) && Value < 0) result = -result;
  return result;
}

long double RoundDecimal(double Value, std::int32_t Digits, TQXLRoundingMode Mode) {
  return qxl::RoundDecimalWithError(Value, Digits, Mode, QXLDefaultMaxRelErr);
}

}  // namespace qxl
