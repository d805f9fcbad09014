#include <algorithm>
#include <array>
#include <cstring>

#include "engine/coding/CodingWords.h"
#include "engine/coding/Ciphers.h"
#include "engine/coding/RijndaelBlocks.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace qxl {

#endif

namespace {

constexpr std::uint8_t XTime(std::uint8_t x) { return std::uint8_t((x << 1) ^ ((x & 0x80) ? 0x1B : 0)); }

constexpr std::uint8_t Mul(std::uint8_t a, std::uint8_t b) {
  std::uint8_t r = 0;
  for (; b; b >>= 1, a = XTime(a))
    if (b & 1) r ^= a;
  return r;
}

constexpr std::uint32_t Word(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
  return std::uint32_t(b0) | std::uint32_t(b1) << 8 | std::uint32_t(b2) << 16 | std::uint32_t(b3) << 24;
}

constexpr std::uint32_t Rol(std::uint32_t x, int n) { return n ? (x << n) | (x >> (32 - n)) : x; }

// The S-box, its inverse, and the round tables (S-box and column mixing in
// one lookup) for little-endian column words.
struct TRijndaelTables {
  std::uint8_t S[256]{}, Si[256]{};
  std::uint32_t Te[4][256]{}, Td[4][256]{};

  constexpr TRijndaelTables() {
    std::uint8_t exp[256]{}, log[256]{};
    std::uint8_t p = 1;
    for (int i = 0; i < 255; ++i) {
      exp[i] = p;
      log[p] = std::uint8_t(i);
      p ^= XTime(p);
    }
    for (int x = 0; x < 256; ++x) {
      const std::uint8_t inv = x ? exp[(255 - log[x]) % 255] : 0;
      std::uint8_t s = inv;
      for (int k = 1; k <= 4; ++k) s ^= std::uint8_t((inv << k) | (inv >> (8 - k)));
      s ^= 0x63;
      S[x] = s;
      Si[s] = std::uint8_t(x);
    }
    for (int x = 0; x < 256; ++x) {
      const std::uint8_t s = S[x], si = Si[x];
      const std::uint32_t te = Word(Mul(s, 2), s, s, Mul(s, 3));
      const std::uint32_t td = Word(Mul(si, 14), Mul(si, 9), Mul(si, 13), Mul(si, 11));
      for (int k = 0; k < 4; ++k) {
        Te[k][x] = Rol(te, 8 * k);
        Td[k][x] = Rol(td, 8 * k);
      }
    }
  }
};

constexpr TRijndaelTables T;

inline std::uint8_t Byte(std::uint32_t w, int n) { return std::uint8_t(w >> (8 * n)); }

std::uint32_t SubWord(std::uint32_t w) {
  return Word(T.S[Byte(w, 0)], T.S[Byte(w, 1)], T.S[Byte(w, 2)], T.S[Byte(w, 3)]);
}

std::uint32_t InvMixColumn(std::uint32_t w) {
  return T.Td[0][T.S[Byte(w, 0)]] ^ T.Td[1][T.S[Byte(w, 1)]] ^ T.Td[2][T.S[Byte(w, 2)]] ^ T.Td[3][T.S[Byte(w, 3)]];
}

// One step of the work key. For eight words the whole chain runs first and
// the upper half is then mixed once more: that is the stored format, not
// AES-256's expansion.
void AdvanceKey(std::uint32_t* w, int Nk, std::uint8_t Rcon) {
  w[0] ^= SubWord(ROR(w[Nk - 1], 8)) ^ Rcon;
  for (int i = 1; i < Nk; ++i) w[i] ^= w[i - 1];
  if (Nk == 8) {
    w[4] ^= SubWord(w[3]);
    for (int i = 5; i < 8; ++i) w[i] ^= w[i - 1];
  }
}

constexpr int ScheduleWords = 60;

struct TRijndaelSchedule {
  std::uint32_t Encrypt[ScheduleWords];
  std::uint32_t Decrypt[ScheduleWords];
};
static_assert(sizeof(TRijndaelSchedule) == 480);

}  // namespace

TCipher_Rijndael::TCipher_Rijndael(std::string_view Password, std::shared_ptr<TProtection> AProtection)
    : TCipher(Class(), std::move(AProtection)) {
  MakeSchedule<TRijndaelSchedule>();
  KeyFromPassword(Password);
}

int RijndaelKeySchedule(const void* Key, int Size, std::uint32_t* Encrypt, std::uint32_t* Decrypt) {
  const int rounds = Size <= 16 ? 10 : Size <= 24 ? 12 : 14;
  const int Nk = rounds - 6;
  std::uint32_t work[8] = {};
  if (Size > 0) std::memcpy(work, Key, std::min(Size, 32));
  const int total = 4 * (rounds + 1);
  int have = std::min(Nk, total);
  std::copy(work, work + have, Encrypt);
  std::uint8_t rcon = 1;
  while (have < total) {
    AdvanceKey(work, Nk, rcon);
    rcon = XTime(rcon);
    const int n = std::min(Nk, total - have);
    std::copy(work, work + n, Encrypt + have);
    have += n;
  }
  std::copy(Encrypt, Encrypt + total, Decrypt);
  for (int i = 4; i < 4 * rounds; ++i) Decrypt[i] = InvMixColumn(Decrypt[i]);
  std::memset(work, 0, sizeof work);
  return rounds;
}

void TCipher_Rijndael::Init(const void* Key, std::int32_t Size, const void* IVector) {
  StartKeySetup(Size);
  auto& schedule = Schedule<TRijndaelSchedule>();
  FRounds = RijndaelKeySchedule(Key, Size, schedule.Encrypt, schedule.Decrypt);
  FinishKeySetup(IVector);
}

void RijndaelEncryptTables(const std::uint32_t* Rk, int Rounds, void* Block) {
  const std::uint32_t* rk = Rk;
  std::uint32_t s[4], t[4];
  std::memcpy(s, Block, 16);
  for (int c = 0; c < 4; ++c) s[c] ^= rk[c];
  for (int r = 1; r < Rounds; ++r) {
    rk += 4;
    for (int c = 0; c < 4; ++c)
      t[c] = T.Te[0][Byte(s[c], 0)] ^ T.Te[1][Byte(s[(c + 1) & 3], 1)] ^ T.Te[2][Byte(s[(c + 2) & 3], 2)] ^
             T.Te[3][Byte(s[(c + 3) & 3], 3)] ^ rk[c];
    std::memcpy(s, t, 16);
  }
  rk += 4;
  for (int c = 0; c < 4; ++c)
    t[c] = Word(T.S[Byte(s[c], 0)], T.S[Byte(s[(c + 1) & 3], 1)], T.S[Byte(s[(c + 2) & 3], 2)],
                T.S[Byte(s[(c + 3) & 3], 3)]) ^
           rk[c];
  std::memcpy(Block, t, 16);
}

void RijndaelDecryptTables(const std::uint32_t* Rk, int Rounds, void* Block) {
  const std::uint32_t* rk = Rk + 4 * Rounds;
  std::uint32_t s[4], t[4];
  std::memcpy(s, Block, 16);
  for (int c = 0; c < 4; ++c) s[c] ^= rk[c];
  for (int r = 1; r < Rounds; ++r) {
    rk -= 4;
    for (int c = 0; c < 4; ++c)
      t[c] = T.Td[0][Byte(s[c], 0)] ^ T.Td[1][Byte(s[(c + 3) & 3], 1)] ^ T.Td[2][Byte(s[(c + 2) & 3], 2)] ^
             T.Td[3][Byte(s[(c + 1) & 3], 3)] ^ rk[c];
    std::memcpy(s, t, 16);
  }
  rk -= 4;
  for (int c = 0; c < 4; ++c)
    t[c] = Word(T.Si[Byte(s[c], 0)], T.Si[Byte(s[(c + 3) & 3], 1)], T.Si[Byte(s[(c + 2) & 3], 2)],
                T.Si[Byte(s[(c + 1) & 3], 3)]) ^
           rk[c];
  std::memcpy(Block, t, 16);
}

#if defined(__x86_64__) || defined(__i386__)

bool RijndaelHardwareAvailable() {
  static const bool available = __builtin_cpu_supports("aes") && __builtin_cpu_supports("sse2");
  return available;
}

namespace {

__attribute__((target("aes,sse2"))) inline __m128i Load(const std::uint32_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

}  // namespace

__attribute__((target("aes,sse2"))) void RijndaelEncryptHardware(const std::uint32_t* Rk, int Rounds, void* Block) {
  __m128i s = _mm_xor_si128(_mm_loadu_si128(static_cast<const __m128i*>(Block)), Load(Rk));
  for (int r = 1; r < Rounds; ++r) s = _mm_aesenc_si128(s, Load(Rk + 4 * r));
  _mm_storeu_si128(static_cast<__m128i*>(Block), _mm_aesenclast_si128(s, Load(Rk + 4 * Rounds)));
}

__attribute__((target("aes,sse2"))) void RijndaelDecryptHardware(const std::uint32_t* Rk, int Rounds, void* Block) {
  __m128i s = _mm_xor_si128(_mm_loadu_si128(static_cast<const __m128i*>(Block)), Load(Rk + 4 * Rounds));
  for (int r = Rounds - 1; r > 0; --r) s = _mm_aesdec_si128(s, Load(Rk + 4 * r));
  _mm_storeu_si128(static_cast<__m128i*>(Block), _mm_aesdeclast_si128(s, Load(Rk)));
}

#else

bool RijndaelHardwareAvailable() { return false; }
void RijndaelEncryptHardware(const std::uint32_t* Rk, int Rounds, void* Block) { RijndaelEncryptTables(Rk, Rounds, Block); }
void RijndaelDecryptHardware(const std::uint32_t* Rk, int Rounds, void* Block) { RijndaelDecryptTables(Rk, Rounds, Block); }

#endif

void TCipher_Rijndael::EncryptBlock(void* Block) const {
  const std::uint32_t* ek = Schedule<TRijndaelSchedule>().Encrypt;
  if (RijndaelHardwareAvailable())
    RijndaelEncryptHardware(ek, FRounds, Block);
  else
    RijndaelEncryptTables(ek, FRounds, Block);
}

void TCipher_Rijndael::DecryptBlock(void* Block) const {
  const std::uint32_t* dk = Schedule<TRijndaelSchedule>().Decrypt;
  if (RijndaelHardwareAvailable())
    RijndaelDecryptHardware(dk, FRounds, Block);
  else
    RijndaelDecryptTables(dk, FRounds, Block);
}

TCipherClass TCipher_Rijndael::Class() {
  static const TCipherClassInfo info{"TCipher_Rijndael", {16, 32, 480}, NewCipher<TCipher_Rijndael>,
                                     "TCipher_Rijndael.TestVector not implemented 20"};
  return &info;
}

}  // namespace qxl
