// The eight page-encryption choices: key derivation, coding of whole pages and
// odd sizes, and the kept key schedules.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>

#include "engine/coding/Ciphers.h"
#include "engine/coding/QXLPassword.h"
#include "tests/engine/coding/CipherTestUtil.h"

using namespace qxl;

namespace {

const TQXLCryptoAlgorithm AllChoices[] = {craRijndael_128, craRijndael_256, craDES_Single, craDES_Triple,
                                          craBlowfish,     craTwofish_128,  craTwofish_256, craSquare};

std::vector<std::uint8_t> Pattern(std::size_t Size, int Seed = 1) {
  std::vector<std::uint8_t> v(Size);
  for (std::size_t i = 0; i < Size; ++i) v[i] = std::uint8_t(i * 31 + Seed * 17 + (i >> 8));
  return v;
}

// The buffer coded from the pieces: the choice's digest of the password cut to
// the key size, a vector of 0xFF bytes, full blocks Y := E(P xor F), F := Y
// xor F, a tail xor-ed with E(F).
std::vector<std::uint8_t> ExpectedCoding(TQXLCryptoAlgorithm Algorithm, const std::string& Password,
                                         std::vector<std::uint8_t> Data) {
  auto hash = qxl::CryptoAlgorithmHash(Algorithm)->Create(nullptr);
  hash->Init();
  hash->Calc(Password.data(), std::int32_t(Password.size()));
  hash->Done();
  auto cipher = qxl::CryptoAlgorithmCipher(Algorithm)->Create({}, nullptr);
  const int keySize = std::min(hash->DigestKeySize(), cipher->KeySize());
  cipher->Init(hash->DigestKey(), keySize, nullptr);
  const std::size_t B = cipher->BufSize();
  std::vector<std::uint8_t> F(B, 0xFF), block(B);
  std::size_t pos = 0;
  for (; pos + B <= Data.size(); pos += B) {
    for (std::size_t j = 0; j < B; ++j) block[j] = Data[pos + j] ^ F[j];
    cipher->EncryptBlock(block.data());
    for (std::size_t j = 0; j < B; ++j) {
      Data[pos + j] = block[j];
      F[j] ^= block[j];
    }
  }
  if (pos < Data.size()) {
    block = F;
    cipher->EncryptBlock(block.data());
    for (std::size_t j = 0; pos + j < Data.size(); ++j) Data[pos + j] ^= block[j];
  }
  return Data;
}

TEST(PasswordTest, ChoicesNamesAndClasses) {
  const char* names[] = {"Rijndael_128", "Rijndael_256", "DES_Single", "DES_Triple",
                         "Blowfish",     "Twofish_128",  "Twofish_256", "Square"};
  for (int i = 0; i < 8; ++i) EXPECT_STREQ(QXLCryptoAlgorithmNames[i], names[i]);
  // Cipher, key digest, key bytes and block bytes of each stored choice.
  struct TChoiceRow {
    qxl::TCipherClass Cipher;
    qxl::THashClass Hash;
    int KeyBytes, BlockBytes;
  };
  const TChoiceRow rows[] = {{qxl::TCipher_Rijndael::Class(), qxl::THash_RipeMD128::Class(), 16, 16},
                             {qxl::TCipher_Rijndael::Class(), qxl::THash_RipeMD256::Class(), 32, 16},
                             {qxl::TCipher_1DES::Class(), qxl::THash_RipeMD128::Class(), 8, 8},
                             {qxl::TCipher_3TDES::Class(), qxl::THash_RipeMD128::Class(), 16, 24},
                             {qxl::TCipher_Blowfish::Class(), qxl::THash_RipeMD256::Class(), 32, 8},
                             {qxl::TCipher_Twofish::Class(), qxl::THash_RipeMD128::Class(), 16, 16},
                             {qxl::TCipher_Twofish::Class(), qxl::THash_RipeMD256::Class(), 32, 16},
                             {qxl::TCipher_Square::Class(), qxl::THash_RipeMD128::Class(), 16, 16}};
  for (TQXLCryptoAlgorithm a : AllChoices) {
    const TChoiceRow& row = rows[a];
    EXPECT_EQ(qxl::CryptoAlgorithmCipher(a), row.Cipher) << names[a];
    EXPECT_EQ(qxl::CryptoAlgorithmHash(a), row.Hash) << names[a];
    EXPECT_EQ(std::min(row.Hash->DigestKeySize, row.Cipher->Sizes.KeySize), row.KeyBytes) << names[a];
    EXPECT_EQ(row.Cipher->Sizes.BufSize, row.BlockBytes) << names[a];
  }
  EXPECT_FALSE(qxl::IsValidCryptoAlgorithm(8));
  std::uint8_t b[4] = {};
  EXPECT_THROW(QXLEncryptBuffer(TQXLCryptoAlgorithm(8), b, 4, "pw"), qxl::ECipherException);

  TQXLPassword password;
  EXPECT_EQ(password.CryptoAlgorithm, craRijndael_128);
  EXPECT_TRUE(password.Password.empty());
}

TEST(PasswordTest, EachChoiceCodesAsItsKeyDerivationSays) {
  for (TQXLCryptoAlgorithm a : AllChoices)
    for (const std::string password : {"secret", "", "a much longer password with \xe9 8-bit bytes"}) {
      SCOPED_TRACE(std::string(QXLCryptoAlgorithmNames[a]) + " / " + password);
      auto data = Pattern(4096 + 19);
      auto coded = data;
      QXLEncryptBuffer(a, coded.data(), std::int32_t(coded.size()), password);
      EXPECT_EQ(ToHex(coded), ToHex(ExpectedCoding(a, password, data)));
    }
}

TEST(PasswordTest, Rijndael128BlockIsAes128OfTheBlockXorFF) {
  const std::string password = "password";
  auto hash = qxl::THash_RipeMD128::Class()->Create(nullptr);
  hash->Init();
  hash->Calc(password.data(), std::int32_t(password.size()));
  hash->Done();
  auto block = Pattern(16);
  auto expected = block;
  for (auto& b : expected) b ^= 0xFF;
  qxl::TCipher_Rijndael aes;
  aes.Init(hash->DigestKey(), 16, nullptr);
  EXPECT_EQ(aes.Rounds(), 10);
  aes.EncryptBlock(expected.data());
  QXLEncryptBuffer(craRijndael_128, block.data(), 16, password);
  EXPECT_EQ(ToHex(block), ToHex(expected));

  // The 256-bit choice runs 14 rounds with the 32-byte digest.
  auto rij = qxl::NewPageCipher(craRijndael_256, password);
  EXPECT_EQ(static_cast<qxl::TCipher_Rijndael&>(*rij).Rounds(), 14);
}

// Every choice decodes what it encodes, for sizes around its block and for
// pages; nothing outside the buffer is touched (guards here, ASan in CI).
TEST(PasswordTest, RoundTripForSizesAroundTheBlockAndForPages) {
  for (TQXLCryptoAlgorithm a : AllChoices) {
    const int B = qxl::CryptoAlgorithmCipher(a)->Sizes.BufSize;
    TQXLPageCipher kept(a, "pw");
    std::vector<int> sizes = {0, 1, B - 1, B, B + 1, 2 * B - 1, 2 * B, 2 * B + 1, 3 * B + 5, 256, 4096, 4095, 8192};
    for (int size : sizes) {
      SCOPED_TRACE(std::string(QXLCryptoAlgorithmNames[a]) + " size " + std::to_string(size));
      auto plain = Pattern(size + 16, size);
      auto buffer = plain;
      std::uint8_t* data = buffer.data() + 8;
      QXLEncryptBuffer(a, data, size, "pw");
      EXPECT_EQ(std::memcmp(buffer.data(), plain.data(), 8), 0);
      EXPECT_EQ(std::memcmp(buffer.data() + 8 + size, plain.data() + 8 + size, 8), 0);
      if (size >= 8) {
        EXPECT_NE(std::memcmp(data, plain.data() + 8, size), 0);
      }

      // The kept schedule gives the same bytes as a fresh key setup.
      auto again = plain;
      kept.Encrypt(again.data() + 8, size);
      EXPECT_EQ(ToHex(again), ToHex(buffer));

      QXLDecryptBuffer(a, data, size, "pw");
      EXPECT_EQ(ToHex(buffer), ToHex(plain));
      kept.Decrypt(again.data() + 8, size);
      EXPECT_EQ(ToHex(again), ToHex(plain));
    }
    // Exactly sized heap buffers, so that an overrun is caught by ASan.
    for (int size : {1, B - 1, B + 1}) {
      auto exact = std::make_unique<std::uint8_t[]>(size);
      std::memset(exact.get(), 0x5A, size);
      kept.Encrypt(exact.get(), size);
      kept.Decrypt(exact.get(), size);
      EXPECT_EQ(exact[size - 1], 0x5A);
    }
  }
}

TEST(PasswordTest, TripleDesPageAndControlBlockEndInA16ByteTail) {
  for (int size : {4096, 256}) {
    EXPECT_EQ(size % 24, 16);
    auto plain = Pattern(size);
    auto buffer = plain;
    QXLEncryptBuffer(craDES_Triple, buffer.data(), size, "pw");
    QXLDecryptBuffer(craDES_Triple, buffer.data(), size, "pw");
    EXPECT_EQ(buffer, plain);
  }
}

TEST(PasswordTest, PagesAreCodedIndependently) {
  for (TQXLCryptoAlgorithm a : AllChoices) {
    auto one = Pattern(4096), two = Pattern(4096);
    QXLEncryptBuffer(a, one.data(), 4096, "pw");
    QXLEncryptBuffer(a, two.data(), 4096, "pw");
    EXPECT_EQ(one, two) << QXLCryptoAlgorithmNames[a];
  }
}

TEST(PasswordTest, AWrongPasswordGivesOtherBytesWithoutError) {
  for (TQXLCryptoAlgorithm a : AllChoices) {
    auto plain = Pattern(256);
    auto buffer = plain;
    QXLEncryptBuffer(a, buffer.data(), 256, "right");
    EXPECT_NO_THROW(QXLDecryptBuffer(a, buffer.data(), 256, "wrong"));
    EXPECT_NE(buffer, plain) << QXLCryptoAlgorithmNames[a];
    // Another choice with the right password does not decode it either.
    buffer = plain;
    QXLEncryptBuffer(a, buffer.data(), 256, "right");
    QXLDecryptBuffer(TQXLCryptoAlgorithm((a + 1) % 8), buffer.data(), 256, "right");
    EXPECT_NE(buffer, plain) << QXLCryptoAlgorithmNames[a];
  }
}

TEST(PasswordTest, CrypterKeepsOneCipherPerChoiceAndServesThreads) {
  TQXLPageCrypter crypter("shared");
  EXPECT_EQ(&crypter.Cipher(craSquare), &crypter.Cipher(craSquare));
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 20; ++round) {
        const auto a = AllChoices[(t + round) % 8];
        auto plain = Pattern(4096, t * 100 + round);
        auto buffer = plain;
        crypter.Encrypt(a, buffer.data(), 4096);
        auto fresh = plain;
        QXLEncryptBuffer(a, fresh.data(), 4096, "shared");
        if (fresh != buffer) ++failures[t];
        crypter.Decrypt(a, buffer.data(), 4096);
        if (buffer != plain) ++failures[t];
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
