// Compression functions of RIPEMD-128 and RIPEMD-256: two parallel lines of
// four passes over the block.
#include <cstring>
#include <utility>

#include "engine/coding/CodingWords.h"
#include "engine/coding/Hash.h"

namespace qxl {

namespace {

constexpr int LeftX[64] = {0, 1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
                           7, 4,  13, 1,  10, 6,  15, 3,  12, 0,  9,  5,  2,  14, 11, 8,
                           3, 10, 14, 4,  9,  15, 8,  1,  2,  7,  0,  6,  13, 11, 5,  12,
                           1, 9,  11, 10, 0,  8,  12, 4,  13, 3,  7,  15, 14, 5,  6,  2};
constexpr int RightX[64] = {5,  14, 7,  0, 9, 2,  11, 4,  13, 6,  15, 8,  1,  10, 3,  12,
                            6,  11, 3,  7, 0, 13, 5,  10, 14, 15, 8,  12, 4,  9,  1,  2,
                            15, 5,  1,  3, 7, 14, 6,  9,  11, 8,  12, 2,  10, 0,  4,  13,
                            8,  6,  4,  1, 3, 11, 15, 0,  5,  12, 2,  13, 9,  7,  10, 14};
constexpr int LeftS[64] = {11, 14, 15, 12, 5,  8,  7,  9,  11, 13, 14, 15, 6,  7,  9,  8,
                           7,  6,  8,  13, 11, 9,  7,  15, 7,  12, 15, 9,  11, 7,  13, 12,
                           11, 13, 6,  7,  14, 9,  13, 15, 14, 8,  13, 6,  5,  12, 7,  5,
                           11, 12, 14, 15, 14, 15, 9,  8,  9,  14, 5,  6,  8,  6,  5,  12};
constexpr int RightS[64] = {8,  9,  9,  11, 13, 15, 15, 5,  7,  7,  8,  11, 14, 14, 12, 6,
                            9,  13, 15, 7,  12, 8,  9,  11, 7,  7,  12, 7,  6,  15, 13, 11,
                            9,  7,  15, 11, 8,  6,  6,  14, 12, 13, 5,  14, 13, 13, 7,  5,
                            15, 5,  8,  11, 14, 14, 6,  14, 6,  9,  12, 9,  12, 5,  15, 8};
constexpr std::uint32_t LeftK[4] = {0x00000000, 0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC};
constexpr std::uint32_t RightK[4] = {0x50A28BE6, 0x5C4DD124, 0x6D703EF3, 0x00000000};

inline std::uint32_t F(int Fn, std::uint32_t x, std::uint32_t y, std::uint32_t z) {
  switch (Fn) {
    case 0: return x ^ y ^ z;
    case 1: return (x & y) | (~x & z);
    case 2: return (x | ~y) ^ z;
    default: return (x & z) | (y & ~z);
  }
}

struct TLine {
  std::uint32_t A, B, C, D;

  // One pass of 16 steps of the line.
  void Pass(int Round, const std::uint32_t* X, const int* Order, const int* Shifts, std::uint32_t K, int Fn) {
    for (int j = Round * 16; j < Round * 16 + 16; ++j) {
      const std::uint32_t t = ROL(A + F(Fn, B, C, D) + X[Order[j]] + K, Shifts[j]);
      A = D;
      D = C;
      C = B;
      B = t;
    }
  }
};

}  // namespace

void THash_RipeMD128::CompressBlock(const std::uint8_t* Block) {
  std::uint32_t X[16];
  std::memcpy(X, Block, 64);
  TLine left{FDigest[0], FDigest[1], FDigest[2], FDigest[3]};
  TLine right = left;
  for (int round = 0; round < 4; ++round) {
    left.Pass(round, X, LeftX, LeftS, LeftK[round], round);
    right.Pass(round, X, RightX, RightS, RightK[round], 3 - round);
  }
  const std::uint32_t t = FDigest[1] + left.C + right.D;
  FDigest[1] = FDigest[2] + left.D + right.A;
  FDigest[2] = FDigest[3] + left.A + right.B;
  FDigest[3] = FDigest[0] + left.B + right.C;
  FDigest[0] = t;
}

void THash_RipeMD256::Init() {
  THash_MD4::Init();
  FDigest[4] = 0x76543210;
  FDigest[5] = 0xFEDCBA98;
  FDigest[6] = 0x89ABCDEF;
  FDigest[7] = 0x01234567;
}

void THash_RipeMD256::CompressBlock(const std::uint8_t* Block) {
  std::uint32_t X[16];
  std::memcpy(X, Block, 64);
  TLine left{FDigest[0], FDigest[1], FDigest[2], FDigest[3]};
  TLine right{FDigest[4], FDigest[5], FDigest[6], FDigest[7]};
  std::uint32_t* leftWords[4] = {&left.A, &left.B, &left.C, &left.D};
  std::uint32_t* rightWords[4] = {&right.A, &right.B, &right.C, &right.D};
  for (int round = 0; round < 4; ++round) {
    left.Pass(round, X, LeftX, LeftS, LeftK[round], round);
    right.Pass(round, X, RightX, RightS, RightK[round], 3 - round);
    std::swap(*leftWords[round], *rightWords[round]);
  }
  FDigest[0] += left.A;
  FDigest[1] += left.B;
  FDigest[2] += left.C;
  FDigest[3] += left.D;
  FDigest[4] += right.A;
  FDigest[5] += right.B;
  FDigest[6] += right.C;
  FDigest[7] += right.D;
}

THashClass THash_RipeMD128::Class() {
  static const THashClassInfo info{"THash_RipeMD128", 16, NewHash<THash_RipeMD128>,
                                    "THash_RipeMD128.TestVector not implemented 30"};
  return &info;
}

THashClass THash_RipeMD256::Class() {
  static const THashClassInfo info{"THash_RipeMD256", 32, NewHash<THash_RipeMD256>,
                                    "THash_RipeMD256.TestVector not implemented 31"};
  return &info;
}

}  // namespace qxl
