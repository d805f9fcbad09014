#pragma once
// The eight page-encryption choices of a database, the password record that
// carries a choice through the engine, and the coding of one buffer in place
// under a choice and password.
//
// Every buffer is coded on its own: key = the first min(digest size, KeySize)
// bytes of the choice's digest of the password bytes, vector = BufSize bytes
// of 0xFF, mode cmCTS. Equal plain buffers give equal coded buffers; a wrong
// password gives other bytes, never an error.
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "engine/coding/Cipher.h"

namespace qxl {

// Stored as one byte in the crypto header and in every page header.
enum TQXLCryptoAlgorithm : std::uint8_t {
  craRijndael_128 = 0,
  craRijndael_256 = 1,
  craDES_Single = 2,
  craDES_Triple = 3,
  craBlowfish = 4,
  craTwofish_128 = 5,
  craTwofish_256 = 6,
  craSquare = 7
};

constexpr int QXLCryptoAlgorithmCount = 8;

// "Rijndael_128", "Rijndael_256", "DES_Single", "DES_Triple", "Blowfish",
// "Twofish_128", "Twofish_256", "Square", in the order of the values.
extern const std::array<const char*, QXLCryptoAlgorithmCount> QXLCryptoAlgorithmNames;

// Passed by value through cursors, the database data and the storage layer.
struct TQXLPassword {
  std::string Password;  // 8-bit text; its bytes are what the digest reads
  TQXLCryptoAlgorithm CryptoAlgorithm = craRijndael_128;
};

bool IsValidCryptoAlgorithm(int Value);
// Cipher class and key digest of a choice; raise ECipherException for a value
// outside 0..7.
TCipherClass CryptoAlgorithmCipher(TQXLCryptoAlgorithm Algorithm);
THashClass CryptoAlgorithmHash(TQXLCryptoAlgorithm Algorithm);

// A fresh cipher keyed for one buffer exactly as stored files were written:
// made with the password, digest set to the choice's, InitKey with the
// cipher's own vector.
std::unique_ptr<TCipher> NewPageCipher(TQXLCryptoAlgorithm Algorithm, std::string_view Password);

// Codes Size bytes of Buffer in place with a fresh key setup. Any Size is
// accepted (0 or less changes nothing). Raise for a value outside 0..7: the
// caller decides what an unknown choice means.
void QXLEncryptBuffer(TQXLCryptoAlgorithm Algorithm, void* Buffer, std::int32_t Size, std::string_view Password);
void QXLDecryptBuffer(TQXLCryptoAlgorithm Algorithm, void* Buffer, std::int32_t Size, std::string_view Password);

// One choice keyed once for one password; codes any number of buffers with
// the same bytes as QXLEncryptBuffer / QXLDecryptBuffer but without the key
// setup (two digests and two key schedules) per buffer. Encrypt and Decrypt
// are const and keep their chaining registers on the stack, so several
// threads may use one object.
class TQXLPageCipher {
public:
  TQXLPageCipher(TQXLCryptoAlgorithm Algorithm, std::string_view Password);

  void Encrypt(void* Buffer, std::int32_t Size) const;
  void Decrypt(void* Buffer, std::int32_t Size) const;

  TQXLCryptoAlgorithm Algorithm() const { return FAlgorithm; }

private:
  TQXLCryptoAlgorithm FAlgorithm;
  std::unique_ptr<qxl::TCipher> FCipher;
};

// The kept ciphers of one password, one per choice, each keyed on first use.
// Pages name their own choice, so a database may need more than one.
class TQXLPageCrypter {
public:
  explicit TQXLPageCrypter(std::string Password);

  const std::string& Password() const { return FPassword; }
  void Encrypt(TQXLCryptoAlgorithm Algorithm, void* Buffer, std::int32_t Size);
  void Decrypt(TQXLCryptoAlgorithm Algorithm, void* Buffer, std::int32_t Size);
  // The keyed cipher of a choice (raises for a value outside 0..7).
  const TQXLPageCipher& Cipher(TQXLCryptoAlgorithm Algorithm);

private:
  std::string FPassword;
  std::mutex FLock;
  std::array<std::unique_ptr<TQXLPageCipher>, QXLCryptoAlgorithmCount> FCiphers;
};

}  // namespace qxl
