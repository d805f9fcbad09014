#pragma once
// Rounding of a float to a number of decimal digits by one of the named modes
// of ROUND, with a tolerance for binary representation error: 2.675 rounded
// half-up to two digits gives 2.68 although its binary value lies below 2.675.
#include <cstdint>

namespace qxl {

// The modes, numbered as ROUND passes them. A value above rmRndUp rounds to
// nearest with ties to even and no tolerance.
enum TQXLRoundingMode : std::uint8_t {
  rmNone,      // the value unchanged
  rmHalfEven,  // nearest; a tie goes to the even neighbour
  rmHalfPos,   // nearest; a tie goes toward +infinity
  rmHalfNeg,   // nearest; a tie goes toward -infinity
  rmHalfDown,  // nearest; a tie goes toward zero
  rmHalfUp,    // nearest; a tie goes away from zero
  rmRndNeg,    // toward -infinity
  rmRndPos,    // toward +infinity
  rmRndDown,   // toward zero
  rmRndUp,     // away from zero
};

// About 2.47 binary64 epsilons (bits 0x3CC3C0000001E5ED).
extern const double QXLDefaultMaxRelErr;

// Value rounded to Digits decimals (a negative count rounds to tens, hundreds
// and so on). A scaled value within |Value| * MaxRelErr of a half is a tie; for
// the directed modes, within that distance of an integer it is that integer.
long double RoundDecimalWithError(long double Value, std::int32_t Digits, TQXLRoundingMode Mode,
                                  double MaxRelErr);
long double RoundDecimal(double Value, std::int32_t Digits, TQXLRoundingMode Mode);

// True for NaN and infinity: all exponent bits set and a non-zero mantissa.
bool IsNanOrInfinite(long double Value);

}  // namespace qxl
