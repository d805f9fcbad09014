#include "engine/core/values/QXLConversion.h"

namespace qxl {

namespace {

// By left type (row) and right type (column); 0 is bftUnknown: no common type.
// The rows are deliberately not symmetric: a signed integer meeting a wider
// unsigned one keeps the unsigned type, the reverse goes signed; Single and
// Double meeting Currency give Currency, the reverse the float type.
constexpr std::uint8_t CommonTypes[26][26] = {
    { 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0},  // 0
    { 0,  1,  2,  3,  4,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  0,  1,  2,  1,  1,  0,  0,  0},  // 1
    { 0,  2,  2,  2,  4,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  0,  2,  2,  2,  2,  0,  0,  0},  // 2
    { 0,  3,  2,  3,  4,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  0,  3,  4,  3,  3,  0,  0,  0},  // 3
    { 0,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  0,  4,  4,  4,  4,  0,  0,  0},  // 4
    { 0,  1,  2,  3,  4,  5,  6,  7,  8,  6, 10, 11, 12, 13, 14, 15, 16, 17,  0,  0,  0,  5, 22,  0,  0,  0},  // 5
    { 0,  1,  2,  3,  4,  6,  6,  7,  8,  6, 10, 11, 12, 13, 14, 15, 16, 17,  0,  0,  0,  6, 22,  0,  0,  0},  // 6
    { 0,  1,  2,  3,  4,  7,  7,  7,  8,  7,  7,  8, 12, 13, 14, 15, 16, 17,  0,  0,  0,  7, 22,  0,  0,  0},  // 7
    { 0,  1,  2,  3,  4,  8,  8,  8,  8,  8,  8,  8, 12, 13, 14, 15, 16, 17,  0,  0,  0,  8, 22,  0,  0,  0},  // 8
    { 0,  1,  2,  3,  4,  6,  6,  7,  8,  9, 10, 11, 12, 13, 14, 15, 16, 17,  0,  0,  0,  9, 22,  0,  0,  0},  // 9
    { 0,  1,  2,  3,  4,  7,  7,  7,  8, 10, 10, 11, 12, 13, 14, 15, 16, 17,  0,  0,  0, 10, 22,  0,  0,  0},  // 10
    { 0,  1,  2,  3,  4,  8,  8,  8,  8, 11, 11, 11, 12, 13, 14, 15, 16, 17,  0,  0,  0, 11, 22,  0,  0,  0},  // 11
    { 0,  1,  2,  3,  4, 12, 12, 12, 12, 12, 12, 12, 12, 13, 14, 15, 16, 17,  0,  0,  0, 12, 22,  0,  0,  0},  // 12
    { 0,  1,  2,  3,  4, 13, 13, 13, 13, 13, 13, 13, 13, 13, 14, 15, 16, 17,  0,  0,  0, 13, 22,  0,  0,  0},  // 13
    { 0,  1,  2,  3,  4, 14, 14, 14, 14, 14, 14, 14, 14, 14, 14, 15, 16, 17,  0,  0,  0, 14, 22,  0,  0,  0},  // 14
    { 0,  1,  2,  3,  4, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 17, 17,  0,  0,  0,  0,  0,  0,  0,  0},  // 15
    { 0,  1,  2,  3,  4, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 17, 16, 17,  0,  0,  0,  0,  0,  0,  0,  0},  // 16
    { 0,  1,  2,  3,  4, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17,  0,  0,  0,  0,  0,  0,  0,  0},  // 17
    { 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0},  // 18
    { 0,  1,  2,  3,  4,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  1,  2,  0,  0,  0,  0,  0},  // 19
    { 0,  2,  2,  4,  4,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  2,  2,  0,  0,  0,  0,  0},  // 20
    { 0,  1,  2,  3,  4,  5,  6,  7,  8,  9, 10, 11, 12, 13, 14,  0,  0,  0,  0,  0,  0, 21,  0,  0,  0,  0},  // 21
    { 0,  1,  2,  3,  4, 22, 22, 22, 22, 22, 22, 22, 12, 13, 14,  0,  0,  0,  0,  0,  0,  0, 22,  0,  0,  0},  // 22
    { 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0},  // 23
    { 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0},  // 24
    { 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0},  // 25
};

bool IsText(TQXLBaseFieldType t) { return t >= bftChar && t <= bftWideVarchar; }
bool IsDateOrTime(TQXLBaseFieldType t) { return t >= bftDate && t <= bftDateTime; }

}  // namespace

TQXLBaseFieldType GetCommonDataType(TQXLBaseFieldType Left, TQXLBaseFieldType Right, bool PreferDateTime) {
  if (Left >= QXLBaseFieldTypeCount || Right >= QXLBaseFieldTypeCount) return bftUnknown;
  if (PreferDateTime) {
    if (IsText(Left) && IsDateOrTime(Right)) return Right;
    if (IsDateOrTime(Left) && IsText(Right)) return Left;
  }
  return static_cast<TQXLBaseFieldType>(CommonTypes[Left][Right]);
}

TQXLAdvancedFieldType GetCommonAdvancedFieldType(TQXLAdvancedFieldType A, TQXLAdvancedFieldType B,
                                                 bool PreferDateTime) {
  const TQXLBaseFieldType baseA = qxl::AdvancedToBaseFieldType(A);
  const TQXLBaseFieldType baseB = qxl::AdvancedToBaseFieldType(B);
  const TQXLBaseFieldType common = qxl::GetCommonDataType(baseA, baseB, PreferDateTime);
  if (baseA == common) return A;
  if (baseB == common) return B;
  return qxl::BaseToAdvancedFieldType(common);
}

}  // namespace qxl
