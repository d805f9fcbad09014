#pragma once
// Message digests: MD4, RIPEMD-128 and RIPEMD-256. They turn a text key into
// the key bytes of the ciphers and can also act as a link of a coder chain.
#include <bit>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

#include "engine/coding/Protection.h"

namespace qxl {

static_assert(std::endian::native == std::endian::little, "digest words are little-endian in memory");

class THash;

// What a digest class offers without an object: its name, its digest size, a
// way to make one, and the text its TestVector raises.
struct THashClassInfo {
  const char* ClassName;
  std::int32_t DigestKeySize;
  std::shared_ptr<THash> (*Create)(std::shared_ptr<TProtection> AProtection);
  const char* TestVectorText;

  [[noreturn]] void TestVector() const;
};
using THashClass = const THashClassInfo*;

class THash : public TProtection {
public:
  using TProtection::TProtection;

  virtual void Init() {}
  virtual void Calc(const void* Data, std::int32_t DataSize);
  virtual void Done() {}
  virtual std::uint8_t* DigestKey();
  virtual std::int32_t DigestKeySize() const { return 0; }

  // The digest as text in a registered format.
  std::string DigestStr(std::int32_t Format);

  void BeginCoding(TPAction Action) override;
  void EndCoding(TPAction Action) override;
  void CodeChunk(void* Buffer, std::int32_t Size, TPAction Action) override;

  // The base class has neither; each digest's TestVector is its class's.
  static void TestVector();
  static void SelfTest();

  // Digest of the data in Format, made by a temporary object of class Class.
  static std::string CalcBuffer(THashClass Class, const void* Buffer, std::int32_t BufferSize,
                                std::shared_ptr<TProtection> Protection, std::int32_t Format);
  static std::string CalcString(THashClass Class, const std::string& Data,
                                std::shared_ptr<TProtection> Protection, std::int32_t Format);
  // StreamSize below 0: the whole stream from position 0.
  static std::string CalcStream(THashClass Class, std::istream& Stream, std::int64_t StreamSize,
                                std::shared_ptr<TProtection> Protection, std::int32_t Format);
  static std::string CalcFile(THashClass Class, const std::string& FileName,
                              std::shared_ptr<TProtection> Protection, std::int32_t Format);
};

// Buffering and finishing of the MD4 family; the compression function is MD4.
class THash_MD4 : public THash {
public:
  using THash::THash;
  ~THash_MD4() override;

  void Init() override;
  void Calc(const void* Data, std::int32_t DataSize) override;
  void Done() override;
  std::uint8_t* DigestKey() override { return reinterpret_cast<std::uint8_t*>(FDigest); }
  std::int32_t DigestKeySize() const override { return 16; }
  static THashClass Class();

protected:
  virtual void CompressBlock(const std::uint8_t* Block);

  std::uint32_t FCount = 0;
  std::uint8_t FBuffer[64] = {};
  std::uint32_t FDigest[10] = {};
};

class THash_RipeMD128 : public THash_MD4 {
public:
  using THash_MD4::THash_MD4;
  static THashClass Class();

protected:
  void CompressBlock(const std::uint8_t* Block) override;
};

class THash_RipeMD256 : public THash_MD4 {
public:
  using THash_MD4::THash_MD4;

  void Init() override;
  std::int32_t DigestKeySize() const override { return 32; }
  static THashClass Class();

protected:
  void CompressBlock(const std::uint8_t* Block) override;
};

// Makes a digest of class C chained to AProtection.
template <class C>
std::shared_ptr<THash> NewHash(std::shared_ptr<TProtection> AProtection) {
  return std::make_shared<C>(std::move(AProtection));
}

}  // namespace qxl
