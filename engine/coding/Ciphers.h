#pragma once
// The block ciphers of the page encryption: Rijndael, Blowfish, DES, the two
// triple DES forms, Twofish and Square. Each gives exactly the bytes of the
// stored format, including where it departs from its published algorithm.
//
// A class adds only its block and key-schedule operations; its name, sizes and
// TestVector text are in its Class() descriptor. A non-empty Password keys
// the new cipher through InitKey.
#include "engine/coding/Cipher.h"

namespace qxl {

// Rijndael with 10, 12 or 14 rounds by key size; a key of more than 24 bytes
// uses an eight-word expansion of its own, not AES-256's.
class TCipher_Rijndael : public TCipher {
public:
  explicit TCipher_Rijndael(std::string_view Password = {}, std::shared_ptr<TProtection> AProtection = nullptr);
  void EncryptBlock(void* Block) const override;
  void DecryptBlock(void* Block) const override;
  void Init(const void* Key, std::int32_t Size, const void* IVector) override;
  std::int32_t Rounds() const { return FRounds; }
  static TCipherClass Class();

private:
  std::int32_t FRounds = 10;
};

class TCipher_Blowfish : public TCipher {
public:
  explicit TCipher_Blowfish(std::string_view Password = {}, std::shared_ptr<TProtection> AProtection = nullptr);
  void EncryptBlock(void* Block) const override;
  void DecryptBlock(void* Block) const override;
  // An empty key is refused with ECipherException: its bytes are taken
  // cyclically.
  void Init(const void* Key, std::int32_t Size, const void* IVector) override;
  static TCipherClass Class();
};

class TCipher_1DES : public TCipher {
public:
  explicit TCipher_1DES(std::string_view Password = {}, std::shared_ptr<TProtection> AProtection = nullptr);
  void EncryptBlock(void* Block) const override;
  void DecryptBlock(void* Block) const override;
  void Init(const void* Key, std::int32_t Size, const void* IVector) override;
  static TCipherClass Class();

protected:
  TCipher_1DES(TCipherClass Class, std::shared_ptr<TProtection> AProtection);
};

// Encrypt-decrypt-encrypt with K1, K2, K3 (bytes 0-7, 8-15, 16-23 of a
// zero-padded 24-byte key).
class TCipher_3DES : public TCipher_1DES {
public:
  explicit TCipher_3DES(std::string_view Password = {}, std::shared_ptr<TProtection> AProtection = nullptr);
  void EncryptBlock(void* Block) const override;
  void DecryptBlock(void* Block) const override;
  void Init(const void* Key, std::int32_t Size, const void* IVector) override;
  static TCipherClass Class();

protected:
  TCipher_3DES(TCipherClass Class, std::shared_ptr<TProtection> AProtection);
};

// Triple DES over 24-byte blocks: three DES lanes, with bytes 4-7 and 8-11
// exchanged between the three passes.
class TCipher_3TDES : public TCipher_3DES {
public:
  explicit TCipher_3TDES(std::string_view Password = {}, std::shared_ptr<TProtection> AProtection = nullptr);
  void EncryptBlock(void* Block) const override;
  void DecryptBlock(void* Block) const override;
  static TCipherClass Class();
};

// Twofish whose odd subkeys are ROL(A + (B >> 1), 9).
class TCipher_Twofish : public TCipher {
public:
  explicit TCipher_Twofish(std::string_view Password = {}, std::shared_ptr<TProtection> AProtection = nullptr);
  void EncryptBlock(void* Block) const override;
  void DecryptBlock(void* Block) const override;
  void Init(const void* Key, std::int32_t Size, const void* IVector) override;
  static TCipherClass Class();
};

class TCipher_Square : public TCipher {
public:
  explicit TCipher_Square(std::string_view Password = {}, std::shared_ptr<TProtection> AProtection = nullptr);
  void EncryptBlock(void* Block) const override;
  void DecryptBlock(void* Block) const override;
  void Init(const void* Key, std::int32_t Size, const void* IVector) override;
  static TCipherClass Class();
};

}  // namespace qxl
