// Twofish, 16 rounds. The odd subkeys are ROL(A + (B >> 1), 9), where the
// published rule has ROL(A + 2B, 9): databases are stored that way.
#include <cstring>

#include "engine/coding/CodingWords.h"
#include "engine/coding/Ciphers.h"

namespace qxl {

namespace {

constexpr std::uint8_t Q0T[4][16] = {{8, 1, 7, 13, 6, 15, 3, 2, 0, 11, 5, 9, 14, 12, 10, 4},
                                     {14, 12, 11, 8, 1, 2, 3, 5, 15, 4, 10, 6, 7, 0, 9, 13},
                                     {11, 10, 5, 14, 6, 13, 9, 0, 12, 8, 15, 3, 2, 4, 7, 1},
                                     {13, 7, 15, 4, 1, 2, 6, 14, 9, 11, 3, 0, 8, 5, 12, 10}};
constexpr std::uint8_t Q1T[4][16] = {{2, 8, 11, 13, 15, 7, 6, 14, 3, 1, 9, 4, 0, 10, 12, 5},
                                     {1, 14, 2, 11, 4, 12, 3, 7, 6, 13, 10, 5, 15, 9, 0, 8},
                                     {4, 12, 7, 5, 1, 6, 9, 10, 0, 14, 13, 8, 2, 11, 3, 15},
                                     {11, 9, 5, 1, 12, 3, 13, 14, 6, 4, 7, 15, 2, 0, 8, 10}};
constexpr std::uint8_t MDS[4][4] = {
    {0x01, 0xEF, 0x5B, 0x5B}, {0x5B, 0xEF, 0xEF, 0x01}, {0xEF, 0x5B, 0x01, 0xEF}, {0xEF, 0x01, 0xEF, 0x5B}};
constexpr std::uint8_t RS[4][8] = {{0x01, 0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E},
                                   {0xA4, 0x56, 0x82, 0xF3, 0x1E, 0xC6, 0x68, 0xE5},
                                   {0x02, 0xA1, 0xFC, 0xC1, 0x47, 0xAE, 0x3D, 0x19},
                                   {0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E, 0x03}};

constexpr std::uint8_t Ror4(std::uint8_t x) { return std::uint8_t(((x >> 1) | (x << 3)) & 15); }

constexpr std::uint8_t QPerm(const std::uint8_t (&t)[4][16], std::uint8_t x) {
  std::uint8_t a = x >> 4, b = x & 15;
  std::uint8_t a1 = a ^ b, b1 = std::uint8_t(a ^ Ror4(b) ^ ((8 * a) & 15));
  std::uint8_t a2 = t[0][a1], b2 = t[1][b1];
  std::uint8_t a3 = a2 ^ b2, b3 = std::uint8_t(a2 ^ Ror4(b2) ^ ((8 * a2) & 15));
  return std::uint8_t(t[3][b3] << 4 | t[2][a3]);
}

constexpr std::uint8_t GMul(std::uint8_t a, std::uint8_t b, unsigned Poly) {
  unsigned r = 0, x = a;
  for (; b; b >>= 1) {
    if (b & 1) r ^= x;
    x <<= 1;
    if (x & 0x100) x ^= Poly;
  }
  return std::uint8_t(r);
}

struct TTwofishTables {
  std::uint8_t Q[2][256]{};
  std::uint32_t MDSColumn[4][256]{};  // column n of the MDS matrix times y
  constexpr TTwofishTables() {
    for (int x = 0; x < 256; ++x) {
      Q[0][x] = QPerm(Q0T, std::uint8_t(x));
      Q[1][x] = QPerm(Q1T, std::uint8_t(x));
      for (int n = 0; n < 4; ++n)
        for (int i = 0; i < 4; ++i)
          MDSColumn[n][x] |= std::uint32_t(GMul(MDS[i][n], std::uint8_t(x), 0x169)) << (8 * i);
    }
  }
};

constexpr TTwofishTables T;

inline std::uint8_t B(std::uint32_t w, int n) { return std::uint8_t(w >> (8 * n)); }

// The key-dependent S-box of byte position n before the MDS matrix (the
// q-layers and key bytes of h).
std::uint8_t SBoxOut(int n, std::uint8_t y, const std::uint32_t* L, int k) {
  static constexpr int Layer4[4] = {1, 0, 0, 1}, Layer3[4] = {1, 1, 0, 0};
  static constexpr int First[4] = {0, 1, 0, 1}, Second[4] = {0, 0, 1, 1}, Third[4] = {1, 0, 1, 0};
  if (k == 4) y = T.Q[Layer4[n]][y] ^ B(L[3], n);
  if (k >= 3) y = T.Q[Layer3[n]][y] ^ B(L[2], n);
  y = T.Q[First[n]][y] ^ B(L[1], n);
  y = T.Q[Second[n]][y] ^ B(L[0], n);
  return T.Q[Third[n]][y];
}

std::uint32_t MDSColumn(int n, std::uint8_t y) { return T.MDSColumn[n][y]; }

std::uint32_t H(std::uint32_t X, const std::uint32_t* L, int k) {
  std::uint32_t z = 0;
  for (int n = 0; n < 4; ++n) z ^= MDSColumn(n, SBoxOut(n, B(X, n), L, k));
  return z;
}

struct TTwofishKey {
  std::uint32_t K[40];
  std::uint32_t M[4][256];  // MDS column n times the key-dependent S-box n
};
static_assert(sizeof(TTwofishKey) == 4256);

inline std::uint32_t G(const TTwofishKey& k, std::uint32_t x) {
  return k.M[0][B(x, 0)] ^ k.M[1][B(x, 1)] ^ k.M[2][B(x, 2)] ^ k.M[3][B(x, 3)];
}

}  // namespace

TCipher_Twofish::TCipher_Twofish(std::string_view Password, std::shared_ptr<TProtection> AProtection)
    : TCipher(Class(), std::move(AProtection)) {
  MakeSchedule<TTwofishKey>();
  KeyFromPassword(Password);
}

void TCipher_Twofish::Init(const void* Key, std::int32_t Size, const void* IVector) {
  StartKeySetup(Size);
  const int length = Size <= 16 ? 16 : Size <= 24 ? 24 : 32;
  const int k = length / 8;
  std::uint8_t key[32] = {};
  if (Size > 0) std::memcpy(key, Key, Size);
  std::uint32_t words[8], Me[4], Mo[4], S[4];
  std::memcpy(words, key, 32);
  for (int i = 0; i < k; ++i) {
    Me[i] = words[2 * i];
    Mo[i] = words[2 * i + 1];
    std::uint32_t s = 0;
    for (int j = 0; j < 4; ++j) {
      std::uint8_t v = 0;
      for (int l = 0; l < 8; ++l) v ^= GMul(RS[j][l], key[8 * i + l], 0x14D);
      s |= std::uint32_t(v) << (8 * j);
    }
    S[k - 1 - i] = s;
  }
  auto& tk = Schedule<TTwofishKey>();
  constexpr std::uint32_t rho = 0x01010101;
  for (std::uint32_t i = 0; i < 20; ++i) {
    const std::uint32_t A = H(2 * i * rho, Me, k);
    const std::uint32_t Bw = ROL(H((2 * i + 1) * rho, Mo, k), 8);
    tk.K[2 * i] = A + Bw;
    tk.K[2 * i + 1] = ROL(A + (Bw >> 1), 9);
  }
  for (int n = 0; n < 4; ++n)
    for (int x = 0; x < 256; ++x) tk.M[n][x] = MDSColumn(n, SBoxOut(n, std::uint8_t(x), S, k));
  std::memset(key, 0, sizeof key);
  std::memset(words, 0, sizeof words);
  FinishKeySetup(IVector);
}

void TCipher_Twofish::EncryptBlock(void* Block) const {
  const auto& tk = Schedule<TTwofishKey>();
  std::uint32_t w[4];
  std::memcpy(w, Block, 16);
  std::uint32_t a = w[0] ^ tk.K[0], b = w[1] ^ tk.K[1], c = w[2] ^ tk.K[2], d = w[3] ^ tk.K[3];
  for (int r = 0; r < 8; ++r) {
    std::uint32_t t0 = G(tk, a), t1 = G(tk, ROL(b, 8));
    c = ROR(c ^ (t0 + t1 + tk.K[8 + 4 * r]), 1);
    d = ROL(d, 1) ^ (t0 + 2 * t1 + tk.K[9 + 4 * r]);
    t0 = G(tk, c);
    t1 = G(tk, ROL(d, 8));
    a = ROR(a ^ (t0 + t1 + tk.K[10 + 4 * r]), 1);
    b = ROL(b, 1) ^ (t0 + 2 * t1 + tk.K[11 + 4 * r]);
  }
  w[0] = c ^ tk.K[4];
  w[1] = d ^ tk.K[5];
  w[2] = a ^ tk.K[6];
  w[3] = b ^ tk.K[7];
  std::memcpy(Block, w, 16);
}

void TCipher_Twofish::DecryptBlock(void* Block) const {
  const auto& tk = Schedule<TTwofishKey>();
  std::uint32_t w[4];
  std::memcpy(w, Block, 16);
  std::uint32_t c = w[0] ^ tk.K[4], d = w[1] ^ tk.K[5], a = w[2] ^ tk.K[6], b = w[3] ^ tk.K[7];
  for (int r = 7; r >= 0; --r) {
    std::uint32_t t0 = G(tk, c), t1 = G(tk, ROL(d, 8));
    a = ROL(a, 1) ^ (t0 + t1 + tk.K[10 + 4 * r]);
    b = ROR(b ^ (t0 + 2 * t1 + tk.K[11 + 4 * r]), 1);
    t0 = G(tk, a);
    t1 = G(tk, ROL(b, 8));
    c = ROL(c, 1) ^ (t0 + t1 + tk.K[8 + 4 * r]);
    d = ROR(d ^ (t0 + 2 * t1 + tk.K[9 + 4 * r]), 1);
  }
  w[0] = a ^ tk.K[0];
  w[1] = b ^ tk.K[1];
  w[2] = c ^ tk.K[2];
  w[3] = d ^ tk.K[3];
  std::memcpy(Block, w, 16);
}

TCipherClass TCipher_Twofish::Class() {
  static const TCipherClassInfo info{"TCipher_Twofish", {16, 32, 4256}, NewCipher<TCipher_Twofish>,
                                     "TCipher_Twofish.TestVector not implemented 26"};
  return &info;
}

}  // namespace qxl
