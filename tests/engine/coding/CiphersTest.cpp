// Known answers of the block ciphers, and the places where the stored format
// departs from the published algorithms.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "engine/coding/Ciphers.h"
#include "engine/coding/RijndaelBlocks.h"
#include "tests/engine/coding/CipherTestUtil.h"

using namespace qxl;

namespace {

struct TVector {
  const char* Key;
  const char* Plain;
  const char* Cipher;
};

template <class C>
void ExpectVectors(std::initializer_list<TVector> Vectors) {
  C cipher;
  for (const TVector& v : Vectors) {
    SCOPED_TRACE(std::string("key ") + v.Key + " block " + v.Plain);
    EXPECT_EQ(EncryptHex(cipher, v.Key, v.Plain), v.Cipher);
    EXPECT_EQ(BlockHex(cipher, &qxl::TCipher::DecryptBlock, v.Key, v.Cipher), v.Plain);
  }
}

TEST(CipherBlockTest, RijndaelEqualsAes128And192AndHasItsOwn32ByteKeyExpansion) {
  ExpectVectors<qxl::TCipher_Rijndael>({
      {"000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a"},
      {"000102030405060708090a0b0c0d0e0f1011121314151617", "00112233445566778899aabbccddeeff",
       "dda97ca4864cdfe06eaf70a0ec0d7191"},
      {"2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734", "3925841d02dc09fbdc118597196a0b32"},
      // The 32-byte key of the published example: not the published 8ea2b7ca...
      {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", "00112233445566778899aabbccddeeff",
       "7db8ca4ebc1555cd9b4e8c321b572299"},
  });
}

TEST(CipherBlockTest, RijndaelRoundsFollowTheKeySize) {
  qxl::TCipher_Rijndael cipher;
  const std::uint8_t key[32] = {};
  for (auto [size, rounds] : {std::pair{0, 10}, {16, 10}, {17, 12}, {24, 12}, {25, 14}, {32, 14}, {40, 14}}) {
    cipher.Init(key, size, nullptr);
    EXPECT_EQ(cipher.Rounds(), rounds) << size;
  }
}

// Lookup tables and AES instructions give the same bytes, the 14-round
// schedule of its own included; the table path is the one without them.
TEST(CipherBlockTest, RijndaelTablesAndInstructionsAgree) {
  if (!qxl::RijndaelHardwareAvailable()) GTEST_SKIP() << "no AES instructions";
  auto key = FromHex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
  for (int size : {16, 24, 32}) {
    std::uint32_t ek[60], dk[60];
    const int rounds = qxl::RijndaelKeySchedule(key.data(), size, ek, dk);
    std::uint8_t block[16];
    for (int i = 0; i < 16; ++i) block[i] = std::uint8_t(i * 17 + size);
    for (int round = 0; round < 50; ++round) {
      std::uint8_t a[16], b[16];
      std::memcpy(a, block, 16);
      std::memcpy(b, block, 16);
      qxl::RijndaelEncryptTables(ek, rounds, a);
      qxl::RijndaelEncryptHardware(ek, rounds, b);
      ASSERT_EQ(ToHex(a, 16), ToHex(b, 16)) << size;
      qxl::RijndaelDecryptTables(dk, rounds, a);
      qxl::RijndaelDecryptHardware(dk, rounds, b);
      ASSERT_EQ(ToHex(a, 16), ToHex(block, 16)) << size;
      ASSERT_EQ(ToHex(b, 16), ToHex(block, 16)) << size;
      qxl::RijndaelEncryptTables(ek, rounds, block);
    }
  }
}

TEST(CipherBlockTest, DesPublishedVectors) {
  ExpectVectors<qxl::TCipher_1DES>({
      {"133457799bbcdff1", "0123456789abcdef", "85e813540f0ab405"},
      {"0000000000000000", "0000000000000000", "8ca64de9c1b123a7"},
      {"ffffffffffffffff", "ffffffffffffffff", "7359b2163e4edc58"},
      {"3000000000000000", "1000000000000001", "958e6e627a05557b"},
      {"1111111111111111", "1111111111111111", "f40379ab9e0ec533"},
      {"0123456789abcdef", "1111111111111111", "17668dfc7292532d"},
      {"fedcba9876543210", "0123456789abcdef", "ed39d950fa74bcc4"},
      {"7ca110454a1a6e57", "01a1d6d039776742", "690f5b0d9a26939b"},
      // Parity bits are ignored.
      {"0101010101010101", "0000000000000000", "8ca64de9c1b123a7"},
  });
}

TEST(CipherBlockTest, BlowfishPublishedVectors) {
  ExpectVectors<qxl::TCipher_Blowfish>({
      {"0000000000000000", "0000000000000000", "4ef997456198dd78"},
      {"ffffffffffffffff", "ffffffffffffffff", "51866fd5b85ecb8a"},
      {"3000000000000000", "1000000000000001", "7d856f9a613063f2"},
      {"1111111111111111", "1111111111111111", "2466dd878b963c9d"},
      {"0123456789abcdef", "1111111111111111", "61f9c3802281b096"},
      {"fedcba9876543210", "0123456789abcdef", "0aceab0fc6a0a28d"},
      {"f0", "fedcba9876543210", "f9ad597c49db005e"},
      {"f0e1d2c3b4a5968778695a4b3c2d1e0f0011223344556677", "fedcba9876543210", "05044b62fa52d080"},
  });
}

TEST(CipherBlockTest, BlowfishRefusesAnEmptyKey) {
  qxl::TCipher_Blowfish cipher;
  const std::uint8_t key[1] = {0};
  try {
    cipher.Init(key, 0, nullptr);
    FAIL() << "an empty key was accepted";
  } catch (const qxl::ECipherException& e) {
    EXPECT_EQ(e.ErrorCode, 2);
  }
  EXPECT_FALSE(cipher.Initialized());
}

TEST(CipherBlockTest, TripleDesWithThreeKeysAndWithEqualKeys) {
  // Three distinct keys over three blocks.
  qxl::TCipher_3DES cipher;
  auto key = FromHex("0123456789abcdef23456789abcdef01456789abcdef0123");
  cipher.Init(key.data(), 24, nullptr);
  const std::string plain = "The qufck brown fox jump";
  std::string text = plain;
  for (int i = 0; i < 3; ++i) cipher.EncryptBlock(text.data() + 8 * i);
  EXPECT_EQ(ToHex(text.data(), 24), "a826fd8ce53b855fcce21c8112256fe668d5c05dd9b6b900");
  for (int i = 0; i < 3; ++i) cipher.DecryptBlock(text.data() + 8 * i);
  EXPECT_EQ(text, plain);

  // K1 = K2 = K3 is single DES.
  EXPECT_EQ(EncryptHex(cipher, "133457799bbcdff1133457799bbcdff1133457799bbcdff1", "0123456789abcdef"),
            "85e813540f0ab405");
}

TEST(CipherBlockTest, TripleDesOf16BytesHasAZeroThirdKey) {
  qxl::TCipher_3DES two, three;
  EXPECT_EQ(EncryptHex(two, "0123456789abcdef23456789abcdef01", "0011223344556677"),
            EncryptHex(three, "0123456789abcdef23456789abcdef010000000000000000", "0011223344556677"));
}

// The 24-byte form: E K1 on each lane, bytes 4-7 and 8-11 exchanged, D K2 on
// each lane, exchanged again, E K3 on each lane.
TEST(CipherBlockTest, TripleDesOver24ByteBlocksRunsThreeLanesWithAWordExchange) {
  auto key = FromHex("0123456789abcdef23456789abcdef01456789abcdef0123");
  qxl::TCipher_3TDES lanes;
  const auto block = FromHex("00112233445566778899aabbccddeeff0123456789abcdef");
  // A 16-byte key (the engine's) has eight zero bytes as its third key.
  for (int keySize : {16, 24}) {
    SCOPED_TRACE(keySize);
    lanes.Init(key.data(), keySize, nullptr);
    const std::uint8_t zero[8] = {};
    qxl::TCipher_1DES k1, k2, k3;
    k1.Init(key.data(), 8, nullptr);
    k2.Init(key.data() + 8, 8, nullptr);
    k3.Init(keySize == 24 ? key.data() + 16 : zero, 8, nullptr);

    auto expected = block;
    auto exchange = [&] {
      for (int i = 0; i < 4; ++i) std::swap(expected[4 + i], expected[8 + i]);
    };
    for (int l = 0; l < 3; ++l) k1.EncryptBlock(expected.data() + 8 * l);
    exchange();
    for (int l = 0; l < 3; ++l) k2.DecryptBlock(expected.data() + 8 * l);
    exchange();
    for (int l = 0; l < 3; ++l) k3.EncryptBlock(expected.data() + 8 * l);

    auto coded = block;
    lanes.EncryptBlock(coded.data());
    EXPECT_EQ(ToHex(coded), ToHex(expected));
    lanes.DecryptBlock(coded.data());
    EXPECT_EQ(ToHex(coded), ToHex(block));
  }

  // Equal lanes do not stay equal, and lane 2 depends on lane 2 alone.
  auto same = FromHex("0123456789abcdef0123456789abcdef0123456789abcdef");
  lanes.EncryptBlock(same.data());
  EXPECT_NE(ToHex(same.data(), 8), ToHex(same.data() + 8, 8));
  auto lane2 = FromHex("0123456789abcdef");
  qxl::TCipher_3DES ede;
  ede.Init(key.data(), 24, nullptr);
  ede.EncryptBlock(lane2.data());
  EXPECT_EQ(ToHex(same.data() + 16, 8), ToHex(lane2));
}

TEST(CipherBlockTest, TwofishHasItsOwnOddSubkeys) {
  ExpectVectors<qxl::TCipher_Twofish>({
      // Published: 9f589f5cf6122c32b6bfec2f2ae8c35a.
      {"00000000000000000000000000000000", "00000000000000000000000000000000", "9ccca731b3d900d85d912173155ba26d"},
      {"0000000000000000000000000000000000000000000000000000000000000000", "00000000000000000000000000000000",
       "80b70a7bc36430ff520def79bc67f700"},
  });
}

TEST(CipherBlockTest, SquareReferenceVector) {
  ExpectVectors<qxl::TCipher_Square>({
      {"000102030405060708090a0b0c0d0e0f", "000102030405060708090a0b0c0d0e0f", "7c3491d94994e70f0ec2e7a5ccb5a14f"},
  });
}

}  // namespace
