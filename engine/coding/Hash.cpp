#include "engine/coding/Hash.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <vector>

#include "engine/coding/CodingWords.h"
#include "engine/coding/StringFormat.h"

namespace qxl {

// --- THash -----------------------------------------------------------------

void THash::Calc(const void*, std::int32_t) {}

std::uint8_t* THash::DigestKey() { throw platform::Exception("Not implemented 14"); }

std::string THash::DigestStr(std::int32_t Format) { return BytesToFormat(DigestKey(), DigestKeySize(), Format); }

void THashClassInfo::TestVector() const { throw platform::Exception(TestVectorText); }

void THash::TestVector() { throw platform::Exception("Not implemented 14"); }

void THash::SelfTest() { throw platform::Exception("Not implemented 14"); }

void THash::BeginCoding(TPAction Action) {
  Init();
  if (Action == paWipe) throw platform::Exception("Not implemented 12");
  TProtection::BeginCoding(Action);
}

void THash::EndCoding(TPAction Action) {
  TProtection::EndCoding(Action);
  if (Action == paCalc)
    Done();
  else
    Init();
}

void THash::CodeChunk(void* Buffer, std::int32_t Size, TPAction Action) {
  if (Action != paDecode) TProtection::CodeChunk(Buffer, Size, Action);
  if (HasAction(Action) && Buffer) {
    auto* bytes = static_cast<std::uint8_t*>(Buffer);
    const std::int32_t digestSize = DigestKeySize();
    switch (Action) {
      case paCalc:
        Calc(Buffer, Size);
        break;
      case paScramble:
      case paWipe:
        for (std::int32_t pos = 0; pos < Size && digestSize > 0; pos += digestSize) {
          const std::int32_t n = std::min(digestSize, Size - pos);
          Calc(bytes + pos, n);
          Done();
          std::memcpy(bytes + pos, DigestKey(), n);
        }
        break;
      case paEncode:
      case paDecode:
        for (std::int32_t pos = 0; pos < Size && digestSize > 0; pos += digestSize) {
          const std::int32_t n = std::min(digestSize, Size - pos);
          std::vector<std::uint8_t> digest(DigestKey(), DigestKey() + digestSize);
          Calc(digest.data(), digestSize);
          Done();
          XORBuffers(bytes + pos, DigestKey(), n, bytes + pos);
        }
        break;
    }
  }
  if (Action == paDecode) TProtection::CodeChunk(Buffer, Size, Action);
}

std::string THash::CalcBuffer(THashClass Class, const void* Buffer, std::int32_t BufferSize,
                              std::shared_ptr<TProtection> Protection, std::int32_t Format) {
  std::shared_ptr<THash> hash = Class->Create(std::move(Protection));
  hash->Init();
  hash->Calc(Buffer, BufferSize);
  hash->Done();
  return BytesToFormat(hash->DigestKey(), hash->DigestKeySize(), Format);
}

std::string THash::CalcString(THashClass Class, const std::string& Data, std::shared_ptr<TProtection> Protection,
                              std::int32_t Format) {
  return CalcBuffer(Class, Data.data(), static_cast<std::int32_t>(Data.size()), std::move(Protection), Format);
}

std::string THash::CalcStream(THashClass Class, std::istream& Stream, std::int64_t StreamSize,
                              std::shared_ptr<TProtection> Protection, std::int32_t Format) {
  std::shared_ptr<THash> hash = Class->Create(std::move(Protection));
  if (StreamSize < 0) {
    Stream.clear();
    Stream.seekg(0, std::ios::end);
    StreamSize = static_cast<std::int64_t>(Stream.tellg());
    Stream.seekg(0);
  }
  hash->Init();
  char buffer[4096];
  while (StreamSize > 0) {
    Stream.read(buffer, std::min<std::int64_t>(StreamSize, sizeof buffer));
    const std::streamsize got = Stream.gcount();
    if (got < 1) break;
    hash->Calc(buffer, static_cast<std::int32_t>(got));
    StreamSize -= got;
  }
  hash->Done();
  return BytesToFormat(hash->DigestKey(), hash->DigestKeySize(), Format);
}

std::string THash::CalcFile(THashClass Class, const std::string& FileName, std::shared_ptr<TProtection> Protection,
                            std::int32_t Format) {
  std::ifstream file(FileName, std::ios::binary);
  if (!file) throw platform::Exception("Cannot open file \"" + FileName + "\".");
  return CalcStream(Class, file, -1, std::move(Protection), Format);
}

// --- MD4 family --------------------------------------------------------------

THash_MD4::~THash_MD4() { std::memset(FDigest, 0, sizeof FDigest); }

void THash_MD4::Init() {
  std::memset(FBuffer, 0, sizeof FBuffer);
  std::memset(FDigest, 0, sizeof FDigest);
  FDigest[0] = 0x67452301;
  FDigest[1] = 0xEFCDAB89;
  FDigest[2] = 0x98BADCFE;
  FDigest[3] = 0x10325476;
  FCount = 0;
}

void THash_MD4::Calc(const void* Data, std::int32_t DataSize) {
  if (DataSize < 1) return;
  auto* data = static_cast<const std::uint8_t*>(Data);
  std::uint32_t size = static_cast<std::uint32_t>(DataSize);
  const std::uint32_t r = FCount % 64;
  FCount += size;
  if (r > 0) {
    if (size < 64 - r) {
      std::memcpy(FBuffer + r, data, size);
      return;
    }
    std::memcpy(FBuffer + r, data, 64 - r);
    CompressBlock(FBuffer);
    data += 64 - r;
    size -= 64 - r;
  }
  for (; size >= 64; data += 64, size -= 64) CompressBlock(data);
  std::memcpy(FBuffer, data, size);
}

void THash_MD4::Done() {
  std::uint32_t i = FCount % 64;
  FBuffer[i++] = 0x80;
  if (i > 56) {
    std::memset(FBuffer + i, 0, 64 - i);
    CompressBlock(FBuffer);
    i = 0;
  }
  std::memset(FBuffer + i, 0, 56 - i);
  const std::uint32_t bits = FCount * 8;
  std::memcpy(FBuffer + 56, &bits, 4);
  std::memset(FBuffer + 60, 0, 4);
  CompressBlock(FBuffer);
  std::memset(FBuffer, 0, sizeof FBuffer);
}

namespace {

inline std::uint32_t MD4F(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (x & y) | (~x & z); }
inline std::uint32_t MD4G(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (x & y) | (x & z) | (y & z); }
inline std::uint32_t MD4H(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; }

}  // namespace

void THash_MD4::CompressBlock(const std::uint8_t* Block) {
  std::uint32_t X[16];
  std::memcpy(X, Block, 64);
  std::uint32_t s[4] = {FDigest[0], FDigest[1], FDigest[2], FDigest[3]};
  // Step j changes word (4 - j) mod 4 of (a, b, c, d).
  auto step = [&](int j, std::uint32_t f, std::uint32_t x, std::uint32_t k, int shift) {
    std::uint32_t& t = s[(4 - j % 4) % 4];
    t = ROL(t + f + x + k, shift);
  };
  auto abcd = [&](int j, int i) { return s[(4 - j % 4 + i) % 4]; };
  static constexpr int R1S[4] = {3, 7, 11, 19}, R2S[4] = {3, 5, 9, 13}, R3S[4] = {3, 9, 11, 15};
  static constexpr int R2X[16] = {0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15};
  static constexpr int R3X[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
  for (int j = 0; j < 16; ++j) step(j, MD4F(abcd(j, 1), abcd(j, 2), abcd(j, 3)), X[j], 0, R1S[j % 4]);
  for (int j = 0; j < 16; ++j)
    step(j, MD4G(abcd(j, 1), abcd(j, 2), abcd(j, 3)), X[R2X[j]], 0x5A827999, R2S[j % 4]);
  for (int j = 0; j < 16; ++j)
    step(j, MD4H(abcd(j, 1), abcd(j, 2), abcd(j, 3)), X[R3X[j]], 0x6ED9EBA1, R3S[j % 4]);
  for (int i = 0; i < 4; ++i) FDigest[i] += s[i];
}

THashClass THash_MD4::Class() {
  static const THashClassInfo info{"THash_MD4", 16, NewHash<THash_MD4>, "THash_MD4.TestVector not implemented 28"};
  return &info;
}

}  // namespace qxl
