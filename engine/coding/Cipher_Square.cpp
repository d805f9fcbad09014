// Square, 8 rounds over a 16-byte block of four rows. The mixing step works
// on rows in GF(2^8) modulo x^8+x^7+x^6+x^5+x^4+x^2+1.
#include <cstring>

#include "engine/coding/CodingWords.h"
#include "engine/coding/Ciphers.h"

namespace qxl {

namespace {

constexpr std::uint8_t Se[256] = {
    0xB1, 0xCE, 0xC3, 0x95, 0x5A, 0xAD, 0xE7, 0x02, 0x4D, 0x44, 0xFB, 0x91, 0x0C, 0x87, 0xA1, 0x50,
    0xCB, 0x67, 0x54, 0xDD, 0x46, 0x8F, 0xE1, 0x4E, 0xF0, 0xFD, 0xFC, 0xEB, 0xF9, 0xC4, 0x1A, 0x6E,
    0x5E, 0xF5, 0xCC, 0x8D, 0x1C, 0x56, 0x43, 0xFE, 0x07, 0x61, 0xF8, 0x75, 0x59, 0xFF, 0x03, 0x22,
    0x8A, 0xD1, 0x13, 0xEE, 0x88, 0x00, 0x0E, 0x34, 0x15, 0x80, 0x94, 0xE3, 0xED, 0xB5, 0x53, 0x23,
    0x4B, 0x47, 0x17, 0xA7, 0x90, 0x35, 0xAB, 0xD8, 0xB8, 0xDF, 0x4F, 0x57, 0x9A, 0x92, 0xDB, 0x1B,
    0x3C, 0xC8, 0x99, 0x04, 0x8E, 0xE0, 0xD7, 0x7D, 0x85, 0xBB, 0x40, 0x2C, 0x3A, 0x45, 0xF1, 0x42,
    0x65, 0x20, 0x41, 0x18, 0x72, 0x25, 0x93, 0x70, 0x36, 0x05, 0xF2, 0x0B, 0xA3, 0x79, 0xEC, 0x08,
    0x27, 0x31, 0x32, 0xB6, 0x7C, 0xB0, 0x0A, 0x73, 0x5B, 0x7B, 0xB7, 0x81, 0xD2, 0x0D, 0x6A, 0x26,
    0x9E, 0x58, 0x9C, 0x83, 0x74, 0xB3, 0xAC, 0x30, 0x7A, 0x69, 0x77, 0x0F, 0xAE, 0x21, 0xDE, 0xD0,
    0x2E, 0x97, 0x10, 0xA4, 0x98, 0xA8, 0xD4, 0x68, 0x2D, 0x62, 0x29, 0x6D, 0x16, 0x49, 0x76, 0xC7,
    0xE8, 0xC1, 0x96, 0x37, 0xE5, 0xCA, 0xF4, 0xE9, 0x63, 0x12, 0xC2, 0xA6, 0x14, 0xBC, 0xD3, 0x28,
    0xAF, 0x2F, 0xE6, 0x24, 0x52, 0xC6, 0xA0, 0x09, 0xBD, 0x8C, 0xCF, 0x5D, 0x11, 0x5F, 0x01, 0xC5,
    0x9F, 0x3D, 0xA2, 0x9B, 0xC9, 0x3B, 0xBE, 0x51, 0x19, 0x1F, 0x3F, 0x5C, 0xB2, 0xEF, 0x4A, 0xCD,
    0xBF, 0xBA, 0x6F, 0x64, 0xD9, 0xF3, 0x3E, 0xB4, 0xAA, 0xDC, 0xD5, 0x06, 0xC0, 0x7E, 0xF6, 0x66,
    0x6C, 0x84, 0x71, 0x38, 0xB9, 0x1D, 0x7F, 0x9D, 0x48, 0x8B, 0x2A, 0xDA, 0xA5, 0x33, 0x82, 0x39,
    0xD6, 0x78, 0x86, 0xFA, 0xE4, 0x2B, 0xA9, 0x1E, 0x89, 0x60, 0x6B, 0xEA, 0x55, 0x4C, 0xF7, 0xE2,
};

constexpr unsigned Poly = 0x1F5;
constexpr int Rounds = 8;

constexpr std::uint8_t GMul(std::uint8_t a, std::uint8_t b) {
  unsigned r = 0, x = a;
  for (; b; b >>= 1) {
    if (b & 1) r ^= x;
    x <<= 1;
    if (x & 0x100) x ^= Poly;
  }
  return std::uint8_t(r);
}

constexpr std::uint8_t GInv(std::uint8_t a) {
  for (int y = 1; y < 256; ++y)
    if (GMul(a, std::uint8_t(y)) == 1) return std::uint8_t(y);
  return 0;
}

struct TSquareTables {
  std::uint8_t G[4][4] = {{2, 1, 1, 3}, {3, 2, 1, 1}, {1, 3, 2, 1}, {1, 1, 3, 2}};
  std::uint8_t iG[4][4]{};
  std::uint8_t Sd[256]{};
  std::uint32_t Te[4][256]{}, Td[4][256]{};

  constexpr TSquareTables() {
    // iG by Gauss-Jordan elimination.
    std::uint8_t a[4][8]{};
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j) a[i][j] = G[i][j];
      a[i][4 + i] = 1;
    }
    for (int c = 0; c < 4; ++c) {
      int p = c;
      while (a[p][c] == 0) ++p;
      for (int j = 0; j < 8; ++j) {
        const std::uint8_t t = a[c][j];
        a[c][j] = a[p][j];
        a[p][j] = t;
      }
      const std::uint8_t inv = GInv(a[c][c]);
      for (int j = 0; j < 8; ++j) a[c][j] = GMul(a[c][j], inv);
      for (int r = 0; r < 4; ++r)
        if (r != c && a[r][c]) {
          const std::uint8_t f = a[r][c];
          for (int j = 0; j < 8; ++j) a[r][j] ^= GMul(f, a[c][j]);
        }
    }
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) iG[i][j] = a[i][4 + j];
    for (int x = 0; x < 256; ++x) Sd[Se[x]] = std::uint8_t(x);
    for (int k = 0; k < 4; ++k)
      for (int v = 0; v < 256; ++v) {
        std::uint32_t e = 0, d = 0;
        for (int j = 0; j < 4; ++j) {
          e |= std::uint32_t(GMul(Se[v], G[k][j])) << (8 * j);
          d |= std::uint32_t(GMul(Sd[v], iG[k][j])) << (8 * j);
        }
        Te[k][v] = e;
        Td[k][v] = d;
      }
  }
};

constexpr TSquareTables T;

inline std::uint8_t B(std::uint32_t w, int n) { return std::uint8_t(w >> (8 * n)); }

// The mixing step on the four rows of a round key: each row times G.
void Theta(const std::uint32_t* In, std::uint32_t* Out) {
  for (int i = 0; i < 4; ++i) {
    std::uint32_t r = 0;
    for (int j = 0; j < 4; ++j) {
      std::uint8_t b = 0;
      for (int k = 0; k < 4; ++k) b ^= GMul(B(In[i], k), T.G[k][j]);
      r |= std::uint32_t(b) << (8 * j);
    }
    Out[i] = r;
  }
}

// Substitution, transposition and mixing (Tables) or, for the last round,
// substitution and transposition only (Box), then the round key.
void Round(std::uint32_t* s, const std::uint32_t (&Tables)[4][256], const std::uint32_t* Key) {
  std::uint32_t t[4];
  for (int i = 0; i < 4; ++i)
    t[i] = Tables[0][B(s[0], i)] ^ Tables[1][B(s[1], i)] ^ Tables[2][B(s[2], i)] ^ Tables[3][B(s[3], i)] ^ Key[i];
  std::memcpy(s, t, 16);
}

void LastRound(std::uint32_t* s, const std::uint8_t (&Box)[256], const std::uint32_t* Key) {
  std::uint32_t t[4];
  for (int i = 0; i < 4; ++i)
    t[i] = (std::uint32_t(Box[B(s[0], i)]) | std::uint32_t(Box[B(s[1], i)]) << 8 |
            std::uint32_t(Box[B(s[2], i)]) << 16 | std::uint32_t(Box[B(s[3], i)]) << 24) ^
           Key[i];
  std::memcpy(s, t, 16);
}

using TRoundKeys = std::uint32_t[Rounds + 1][4];

struct TSquareKey {
  TRoundKeys E;
  TRoundKeys D;
};
static_assert(sizeof(TSquareKey) == 288);

// One block through the round keys with the round tables and the last
// round's S-box: encryption and decryption differ only in these.
void SquareBlock(const TRoundKeys& Keys, const std::uint32_t (&Tables)[4][256], const std::uint8_t (&Box)[256],
                 void* Block) {
  std::uint32_t s[4];
  std::memcpy(s, Block, 16);
  for (int i = 0; i < 4; ++i) s[i] ^= Keys[0][i];
  for (int t = 1; t < Rounds; ++t) Round(s, Tables, Keys[t]);
  LastRound(s, Box, Keys[Rounds]);
  std::memcpy(Block, s, 16);
}

}  // namespace

TCipher_Square::TCipher_Square(std::string_view Password, std::shared_ptr<TProtection> AProtection)
    : TCipher(Class(), std::move(AProtection)) {
  MakeSchedule<TSquareKey>();
  KeyFromPassword(Password);
}

// Encryption keys: the mixed round keys 0 to 7 and the plain round key 8;
// decryption keys: plain key 8, plain keys 7 to 1, mixed key 0.
void TCipher_Square::Init(const void* Key, std::int32_t Size, const void* IVector) {
  StartKeySetup(Size);
  auto& sk = Schedule<TSquareKey>();
  std::uint32_t k[Rounds + 1][4] = {};
  if (Size > 0) std::memcpy(k[0], Key, Size);
  for (int t = 1; t <= Rounds; ++t) {
    k[t][0] = k[t - 1][0] ^ ROR(k[t - 1][3], 8) ^ (1u << (t - 1));
    for (int i = 1; i < 4; ++i) k[t][i] = k[t - 1][i] ^ k[t][i - 1];
  }
  for (int t = 0; t < Rounds; ++t) Theta(k[t], sk.E[t]);
  std::memcpy(sk.E[Rounds], k[Rounds], 16);
  for (int t = 0; t < Rounds; ++t) std::memcpy(sk.D[t], k[Rounds - t], 16);
  std::memcpy(sk.D[Rounds], sk.E[0], 16);
  std::memset(k, 0, sizeof k);
  FinishKeySetup(IVector);
}

void TCipher_Square::EncryptBlock(void* Block) const {
  SquareBlock(Schedule<TSquareKey>().E, T.Te, Se, Block);
}

void TCipher_Square::DecryptBlock(void* Block) const {
  SquareBlock(Schedule<TSquareKey>().D, T.Td, T.Sd, Block);
}

TCipherClass TCipher_Square::Class() {
  static const TCipherClassInfo info{"TCipher_Square", {16, 16, 288}, NewCipher<TCipher_Square>,
                                     "TCipher_Square.TestVector not implemented 27"};
  return &info;
}

}  // namespace qxl
