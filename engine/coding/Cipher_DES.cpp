// DES (single, triple, and triple over three 24-byte lanes). Blocks are two
// big-endian words; key parity bits are ignored.
#include <cstring>

#include "engine/coding/CodingWords.h"
#include "engine/coding/Ciphers.h"

namespace qxl {

namespace {

constexpr int IP[64] = {58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
                        62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
                        57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
                        61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};
constexpr int PC1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18, 10, 2,  59, 51, 43,
                         35, 27, 19, 11, 3,  60, 52, 44, 36, 63, 55, 47, 39, 31, 23, 15, 7,  62, 54,
                         46, 38, 30, 22, 14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};
constexpr int PC2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
                         26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
                         51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};
constexpr int P[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                       2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};
constexpr int Shifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};
constexpr std::uint8_t SBox[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0, 7, 0, 15, 7,  4,  14, 2,  13, 1,  10, 6, 12, 11,
     9,  5,  3,  8, 4,  1,  14, 8,  13, 6,  2,  11, 15, 12, 9, 7, 3, 10, 5,  0,  15, 12, 8,  2,  4,  9, 1,  7,
     5,  11, 3,  14, 10, 0, 6, 13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7, 2,  13, 12, 0, 5,  10, 3,  13, 4,  7,  15, 2,
     8,  14, 12, 0,  1,  10, 6,  9,  11, 5, 0,  14, 7,  11, 10, 4,  13, 1,  5,  8,  12, 6,
     9,  3,  2,  15, 13, 8,  10, 1,  3,  15, 4, 2,  11, 6,  7,  12, 0,  5,  14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8,  13, 7,  0, 9,  3,  4,
     6,  10, 2,  8,  5, 14, 12, 11, 15, 1,  13, 6,  4,  9,  8,  15, 3,  0,  11, 1,  2, 12,
     5,  10, 14, 7,  1, 10, 13, 0,  6,  9,  8,  7,  4,  15, 14, 3,  11, 5,  2,  12},
    {7,  13, 14, 3,  0,  6,  9,  10, 1,  2, 8,  5,  11, 12, 4,  15, 13, 8,  11, 5, 6,  15,
     0,  3,  4,  7,  2,  12, 1,  10, 14, 9, 10, 6,  9,  0,  12, 11, 7,  13, 15, 1, 3,  14,
     5,  2,  8,  4,  3,  15, 0,  6,  10, 1, 13, 8,  9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4,  1,  7,  10, 11, 6,  8,  5,  3,  15, 13, 0,  14, 9,  14, 11, 2,  12, 4, 7,
     13, 1,  5,  0,  15, 10, 3,  9,  8,  6,  4,  2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,
     6,  3,  0,  14, 11, 8,  12, 7,  1,  14, 2,  13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9,  2,  6,  8,  0, 13, 3,  4,  14, 7,  5,  11, 10, 15, 4,  2,  7,  12,
     9,  5,  6,  1,  13, 14, 0,  11, 3, 8,  9,  14, 15, 5,  2,  8,  12, 3,  7,  0,  4,  10,
     1,  13, 11, 6,  4,  3,  2,  12, 9, 5,  15, 10, 11, 14, 1,  7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0,  8, 13, 3,  12, 9,  7, 5,  10, 6,  1,  13, 0,  11, 7,  4,  9,
     1,  10, 14, 3,  5,  12, 2, 15, 8,  6,  1,  4, 11, 13, 12, 3,  7,  14, 10, 15, 6,  8,
     0,  5,  9,  2,  6,  11, 13, 8, 1,  4,  10, 7, 9,  5,  0,  15, 14, 2,  3,  12},
    {13, 2,  8,  4,  6,  15, 11, 1,  10, 9,  3,  14, 5,  0,  12, 7,  1,  15, 13, 8, 10, 3,
     7,  4,  12, 5,  6,  11, 0,  14, 9,  2,  7,  11, 4,  1,  9,  12, 14, 2,  0,  6, 10, 13,
     15, 3,  5,  8,  2,  1,  14, 7,  4,  10, 8,  13, 15, 12, 9,  0,  3,  5,  6,  11}};

// Bit Table[j] (counted from 1 at the most significant end of an InBits-wide
// value) becomes output bit j of an OutBits-wide value.
constexpr std::uint64_t Permute(std::uint64_t In, const int* Table, int OutBits, int InBits) {
  std::uint64_t out = 0;
  for (int j = 0; j < OutBits; ++j) out = (out << 1) | ((In >> (InBits - Table[j])) & 1);
  return out;
}

struct TDESTables {
  std::uint64_t IPTable[8][256]{}, FPTable[8][256]{};  // by input byte, most significant first
  std::uint32_t SP[8][64]{};                 // S-box i then P, by the 6-bit input

  constexpr TDESTables() {
    int fp[64]{};
    for (int j = 0; j < 64; ++j) fp[IP[j] - 1] = j + 1;
    for (int b = 0; b < 8; ++b)
      for (int v = 0; v < 256; ++v) {
        const std::uint64_t in = std::uint64_t(v) << (56 - 8 * b);
        IPTable[b][v] = Permute(in, IP, 64, 64);
        FPTable[b][v] = Permute(in, fp, 64, 64);
      }
    for (int i = 0; i < 8; ++i)
      for (int x = 0; x < 64; ++x) {
        const int row = ((x >> 4) & 2) | (x & 1), col = (x >> 1) & 15;
        const std::uint64_t s = std::uint64_t(SBox[i][row * 16 + col]) << (28 - 4 * i);
        SP[i][x] = std::uint32_t(Permute(s, P, 32, 32));
      }
  }
};

constexpr TDESTables T;

// 16 rounds of 8 six-bit subkey pieces: 128 bytes.
using TDESKey = std::uint8_t[16][8];

std::uint64_t ByteLookup(const std::uint64_t (&Table)[8][256], std::uint64_t x) {
  std::uint64_t r = 0;
  for (int b = 0; b < 8; ++b) r |= Table[b][(x >> (56 - 8 * b)) & 0xFF];
  return r;
}

void DESKeySchedule(const std::uint8_t* Key8, TDESKey& Encrypt, TDESKey& Decrypt) {
  std::uint64_t key = 0;
  for (int i = 0; i < 8; ++i) key = (key << 8) | Key8[i];
  const std::uint64_t cd = Permute(key, PC1, 56, 64);
  std::uint32_t c = std::uint32_t(cd >> 28) & 0xFFFFFFF, d = std::uint32_t(cd) & 0xFFFFFFF;
  for (int r = 0; r < 16; ++r) {
    for (int s = 0; s < Shifts[r]; ++s) {
      c = ((c << 1) | (c >> 27)) & 0xFFFFFFF;
      d = ((d << 1) | (d >> 27)) & 0xFFFFFFF;
    }
    const std::uint64_t k = Permute((std::uint64_t(c) << 28) | d, PC2, 48, 56);
    for (int i = 0; i < 8; ++i) {
      Encrypt[r][i] = std::uint8_t((k >> (42 - 6 * i)) & 0x3F);
      Decrypt[15 - r][i] = Encrypt[r][i];
    }
  }
}

inline std::uint32_t RoundF(std::uint32_t R, const std::uint8_t* k) {
  std::uint32_t f = 0;
  for (int i = 0; i < 8; ++i) f ^= T.SP[i][(ROL(R, (4 * i + 5) & 31) & 0x3F) ^ k[i]];
  return f;
}

// One DES pass over the two words of a block, already in big-endian order.
void DESWords(const TDESKey& Key, std::uint32_t& Left, std::uint32_t& Right) {
  const std::uint64_t x = ByteLookup(T.IPTable, (std::uint64_t(Left) << 32) | Right);
  std::uint32_t l = std::uint32_t(x >> 32), r = std::uint32_t(x);
  for (int i = 0; i < 16; ++i) {
    const std::uint32_t t = l ^ RoundF(r, Key[i]);
    l = r;
    r = t;
  }
  const std::uint64_t y = ByteLookup(T.FPTable, (std::uint64_t(r) << 32) | l);
  Left = std::uint32_t(y >> 32);
  Right = std::uint32_t(y);
}

void DESBlock(const TDESKey& Key, std::uint8_t* Block) {
  WithBigEndianWords(Block, [&Key](std::uint32_t& L, std::uint32_t& R) { DESWords(Key, L, R); });
}

TDESKey* Keys(std::uint8_t* User) { return reinterpret_cast<TDESKey*>(User); }
const TDESKey* Keys(const std::uint8_t* User) { return reinterpret_cast<const TDESKey*>(User); }

// Three passes over each 8-byte lane with bytes 4-7 and 8-11 exchanged
// between passes.
void ThreeLanes(const TDESKey* Key, std::uint8_t* Block) {
  auto exchange = [Block] {
    std::uint8_t t[4];
    std::memcpy(t, Block + 4, 4);
    std::memcpy(Block + 4, Block + 8, 4);
    std::memcpy(Block + 8, t, 4);
  };
  for (int pass = 0; pass < 3; ++pass) {
    if (pass > 0) exchange();
    for (int lane = 0; lane < 3; ++lane) DESBlock(Key[pass], Block + 8 * lane);
  }
}

}  // namespace

// --- single DES ------------------------------------------------------------

TCipher_1DES::TCipher_1DES(TCipherClass Class, std::shared_ptr<TProtection> AProtection)
    : TCipher(Class, std::move(AProtection)) {}

TCipher_1DES::TCipher_1DES(std::string_view Password, std::shared_ptr<TProtection> AProtection)
    : TCipher_1DES(Class(), std::move(AProtection)) {
  KeyFromPassword(Password);
}

void TCipher_1DES::Init(const void* Key, std::int32_t Size, const void* IVector) {
  StartKeySetup(Size);
  std::uint8_t key[8] = {};
  if (Size > 0) std::memcpy(key, Key, Size);
  DESKeySchedule(key, Keys(User())[0], Keys(User())[1]);
  std::memset(key, 0, sizeof key);
  FinishKeySetup(IVector);
}

void TCipher_1DES::EncryptBlock(void* Block) const { DESBlock(Keys(User())[0], static_cast<std::uint8_t*>(Block)); }

void TCipher_1DES::DecryptBlock(void* Block) const { DESBlock(Keys(User())[1], static_cast<std::uint8_t*>(Block)); }

TCipherClass TCipher_1DES::Class() {
  static const TCipherClassInfo info{"TCipher_1DES", {8, 8, 256}, NewCipher<TCipher_1DES>,
                                     "TCipher_1DES.TestVector not implemented"};
  return &info;
}

// --- triple DES ------------------------------------------------------------

TCipher_3DES::TCipher_3DES(TCipherClass Class, std::shared_ptr<TProtection> AProtection)
    : TCipher_1DES(Class, std::move(AProtection)) {}

TCipher_3DES::TCipher_3DES(std::string_view Password, std::shared_ptr<TProtection> AProtection)
    : TCipher_3DES(Class(), std::move(AProtection)) {
  KeyFromPassword(Password);
}

// Sets 0-2 serve EncryptBlock (E K1, D K2, E K3), sets 3-5 DecryptBlock
// (D K3, E K2, D K1).
void TCipher_3DES::Init(const void* Key, std::int32_t Size, const void* IVector) {
  StartKeySetup(Size);
  std::uint8_t key[24] = {};
  if (Size > 0) std::memcpy(key, Key, Size);
  TDESKey* k = Keys(User());
  DESKeySchedule(key, k[0], k[5]);
  DESKeySchedule(key + 8, k[4], k[1]);
  DESKeySchedule(key + 16, k[2], k[3]);
  std::memset(key, 0, sizeof key);
  FinishKeySetup(IVector);
}

void TCipher_3DES::EncryptBlock(void* Block) const {
  for (int i = 0; i < 3; ++i) DESBlock(Keys(User())[i], static_cast<std::uint8_t*>(Block));
}

void TCipher_3DES::DecryptBlock(void* Block) const {
  for (int i = 3; i < 6; ++i) DESBlock(Keys(User())[i], static_cast<std::uint8_t*>(Block));
}

TCipherClass TCipher_3DES::Class() {
  static const TCipherClassInfo info{"TCipher_3DES", {8, 24, 768}, NewCipher<TCipher_3DES>,
                                     "TCipher_3DES.TestVector not implemented 24"};
  return &info;
}

// --- triple DES over 24-byte blocks ----------------------------------------

TCipher_3TDES::TCipher_3TDES(std::string_view Password, std::shared_ptr<TProtection> AProtection)
    : TCipher_3DES(Class(), std::move(AProtection)) {
  KeyFromPassword(Password);
}

void TCipher_3TDES::EncryptBlock(void* Block) const { ThreeLanes(Keys(User()), static_cast<std::uint8_t*>(Block)); }

void TCipher_3TDES::DecryptBlock(void* Block) const {
  ThreeLanes(Keys(User()) + 3, static_cast<std::uint8_t*>(Block));
}

TCipherClass TCipher_3TDES::Class() {
  static const TCipherClassInfo info{"TCipher_3TDES", {24, 24, 768}, NewCipher<TCipher_3TDES>,
                                     "TCipher_3TDES.TestVector not implemented 25"};
  return &info;
}

}  // namespace qxl
