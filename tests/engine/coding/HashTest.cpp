// Digests: published vectors of MD4, RIPEMD-128 and RIPEMD-256, buffering,
// the chain behaviour and the wiping of the digest.
#include <gtest/gtest.h>

#include <sstream>

#include "engine/coding/Hash.h"
#include "engine/coding/StringFormat.h"
#include "tests/engine/coding/CipherTestUtil.h"

using namespace qxl;

namespace {

std::string Digest(qxl::THashClass Class, const std::string& Data) {
  auto hash = Class->Create(nullptr);
  hash->Init();
  hash->Calc(Data.data(), std::int32_t(Data.size()));
  hash->Done();
  return ToHex(hash->DigestKey(), hash->DigestKeySize());
}

const std::string Alnum = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
const std::string Digits80 = [] {
  std::string s;
  for (int i = 0; i < 8; ++i) s += "1234567890";
  return s;
}();

struct TDigestCase {
  std::string Data;
  const char* Expected;
};

void ExpectDigests(qxl::THashClass Class, const std::vector<TDigestCase>& Cases) {
  for (const auto& c : Cases) EXPECT_EQ(Digest(Class, c.Data), c.Expected) << Class->ClassName << " of " << c.Data;
}

TEST(HashTest, MD4PublishedVectors) {
  ExpectDigests(qxl::THash_MD4::Class(), {{"", "31d6cfe0d16ae931b73c59d7e0c089c0"},
                                     {"a", "bde52cb31de33e46245e05fbdbd6fb24"},
                                     {"abc", "a448017aaf21d8525fc10ae87aa6729d"},
                                     {"message digest", "d9130a8164549fe818874806e1c7014b"},
                                     {"abcdefghijklmnopqrstuvwxyz", "d79e1c308aa5bbcdeea8ed63df412da9"},
                                     {Alnum, "043f8582f241db351ce627e153e7f0e4"},
                                     {Digits80, "e33b4ddc9c38f2199c3e7b164fcc0536"}});
}

TEST(HashTest, RipeMD128PublishedVectors) {
  ExpectDigests(qxl::THash_RipeMD128::Class(),
                {{"", "cdf26213a150dc3ecb610f18f6b38b46"},
                 {"a", "86be7afa339d0fc7cfc785e72f578d33"},
                 {"abc", "c14a12199c66e4ba84636b0f69144c77"},
                 {"message digest", "9e327b3d6e523062afc1132d7df9d1b8"},
                 {"abcdefghijklmnopqrstuvwxyz", "fd2aa607f71dc8f510714922b371834e"},
                 {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "a1aa0689d0fafa2ddc22e88b49133a06"},
                 {Alnum, "d1e959eb179c911faea4624c60c5c702"},
                 {Digits80, "3f45ef194732c2dbb2c4a2c769795fa3"},
                 {std::string(1000000, 'a'), "4a7f5723f954eba1216c9d8f6320431f"}});
}

TEST(HashTest, RipeMD256PublishedVectors) {
  ExpectDigests(
      qxl::THash_RipeMD256::Class(),
      {{"", "02ba4c4e5f8ecd1877fc52d64d30e37a2d9774fb1e5d026380ae0168e3c5522d"},
       {"a", "f9333e45d857f5d90a91bab70a1eba0cfb1be4b0783c9acfcd883a9134692925"},
       {"abc", "afbd6e228b9d8cbbcef5ca2d03e6dba10ac0bc7dcbe4680e1e42d2e975459b65"},
       {"message digest", "87e971759a1ce47a514d5c914c392c9018c7c46bc14465554afcdf54a5070c0e"},
       {"abcdefghijklmnopqrstuvwxyz", "649d3034751ea216776bf9a18acc81bc7896118a5197968782dd1fd97d8d5133"},
       {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
        "3843045583aac6c8c8d9128573e7a9809afb2a0f34ccc36ea9e72f16f6368e3f"},
       {Alnum, "5740a408ac16b720b84424ae931cbb1fe363d1d0bf4017f1a89f7ea6de77a0b8"},
       {Digits80, "06fdcc7a409548aaf91368c06a6275b553e3f099bf0ea4edfd6778df89a890dd"},
       {std::string(1000000, 'a'), "ac953744e10e31514c150d4d8d7b677342e33399788296e43ae4850ce4f97978"}});
}

// Pieces of any length give the digest of the joined bytes; lengths around
// the 55/56-byte limit of one finishing block included.
TEST(HashTest, CalcInPiecesEqualsOneCall) {
  std::string data;
  for (int i = 0; i < 300; ++i) data += char(i * 7 + 3);
  for (qxl::THashClass cls : {qxl::THash_MD4::Class(), qxl::THash_RipeMD128::Class(), qxl::THash_RipeMD256::Class()}) {
    for (std::size_t total : {0u, 1u, 55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 300u}) {
      const std::string whole = data.substr(0, total);
      const std::string expected = Digest(cls, whole);
      for (std::size_t piece : {1u, 18u, 38u, 64u, 100u}) {
        auto hash = cls->Create(nullptr);
        hash->Init();
        for (std::size_t pos = 0; pos < total; pos += piece) {
          hash->Calc(whole.data() + pos, std::int32_t(std::min(piece, total - pos)));
          hash->Calc(whole.data(), 0);
          hash->Calc(whole.data(), -5);
        }
        hash->Done();
        EXPECT_EQ(ToHex(hash->DigestKey(), hash->DigestKeySize()), expected)
            << cls->ClassName << " total " << total << " piece " << piece;
      }
    }
  }
}

TEST(HashTest, ClassOperationsAndFormats) {
  EXPECT_EQ(qxl::THash::CalcString(qxl::THash_RipeMD128::Class(), "abc", nullptr, 4196),
            qxl::TStringFormat_MIME64::Class()->StrTo("\xc1\x4a\x12\x19\x9c\x66\xe4\xba\x84\x63\x6b\x0f\x69\x14\x4c\x77", 16));
  EXPECT_EQ(qxl::THash::CalcString(qxl::THash_MD4::Class(), "abc", nullptr, 1), std::string(
      "\xa4\x48\x01\x7a\xaf\x21\xd8\x52\x5f\xc1\x0a\xe8\x7a\xa6\x72\x9d", 16));

  std::stringstream stream("xxabc");
  stream.seekg(2);
  EXPECT_EQ(qxl::THash::CalcStream(qxl::THash_MD4::Class(), stream, 3, nullptr, 1),
            qxl::THash::CalcString(qxl::THash_MD4::Class(), "abc", nullptr, 1));
  EXPECT_EQ(qxl::THash::CalcStream(qxl::THash_MD4::Class(), stream, -1, nullptr, 1),
            qxl::THash::CalcString(qxl::THash_MD4::Class(), "xxabc", nullptr, 1));
  EXPECT_THROW(qxl::THash::CalcFile(qxl::THash_MD4::Class(), "/nonexistent/qxl-file", nullptr, 1), platform::Exception);
}

TEST(HashTest, FixedFailureTexts) {
  ExpectMessage([] { qxl::THash::TestVector(); }, "Not implemented 14");
  ExpectMessage([] { qxl::THash::SelfTest(); }, "Not implemented 14");
  ExpectMessage([] { qxl::THash_MD4::Class()->TestVector(); }, "THash_MD4.TestVector not implemented 28");
  ExpectMessage([] { qxl::THash_RipeMD128::Class()->TestVector(); }, "THash_RipeMD128.TestVector not implemented 30");
  ExpectMessage([] { qxl::THash_RipeMD256::Class()->TestVector(); }, "THash_RipeMD256.TestVector not implemented 31");
  ExpectMessage([] { qxl::THash base; base.DigestKey(); }, "Not implemented 14");
  ExpectMessage([] { qxl::THash_MD4 h; std::uint8_t b[4] = {}; h.CodeBuffer(b, 4, qxl::paWipe); }, "Not implemented 12");
}

// Wiping on destruction: the words the object held are zero afterwards.
TEST(HashTest, DestructionWipesTheDigest) {
  alignas(qxl::THash_RipeMD256) unsigned char storage[sizeof(qxl::THash_RipeMD256)];
  auto* hash = new (storage) qxl::THash_RipeMD256();
  hash->Init();
  hash->Calc("abc", 3);
  hash->Done();
  const std::uint8_t* digest = hash->DigestKey();
  const std::size_t offset = digest - reinterpret_cast<const std::uint8_t*>(hash);
  hash->~THash_RipeMD256();
  for (int i = 0; i < 32; ++i) EXPECT_EQ(storage[offset + i], 0) << i;
}

// As a chain link: paCalc digests the data; paEncode and paDecode xor with a
// running digest and undo each other.
TEST(HashTest, ChainActions) {
  qxl::THash_RipeMD128 hash;
  std::string data = "some bytes to digest";
  hash.CodeBuffer(data.data(), std::int32_t(data.size()), qxl::paCalc);
  EXPECT_EQ(ToHex(hash.DigestKey(), 16), Digest(qxl::THash_RipeMD128::Class(), "some bytes to digest"));

  std::string text(50, 'x');
  hash.CodeBuffer(text.data(), 50, qxl::paEncode);
  EXPECT_NE(text, std::string(50, 'x'));
  hash.CodeBuffer(text.data(), 50, qxl::paDecode);
  EXPECT_EQ(text, std::string(50, 'x'));
}

}  // namespace
