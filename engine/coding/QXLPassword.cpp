#include "engine/coding/QXLPassword.h"

#include <cstring>

#include "engine/coding/Ciphers.h"
#include "platform/Format.h"

namespace qxl {

const std::array<const char*, QXLCryptoAlgorithmCount> QXLCryptoAlgorithmNames = {
    "Rijndael_128", "Rijndael_256", "DES_Single", "DES_Triple",
    "Blowfish",     "Twofish_128",  "Twofish_256", "Square"};

namespace {

struct TChoice {
  qxl::TCipherClass (*Cipher)();
  qxl::THashClass (*Hash)();
};

constexpr TChoice Choices[QXLCryptoAlgorithmCount] = {
    {qxl::TCipher_Rijndael::Class, qxl::THash_RipeMD128::Class}, {qxl::TCipher_Rijndael::Class, qxl::THash_RipeMD256::Class},
    {qxl::TCipher_1DES::Class, qxl::THash_RipeMD128::Class},     {qxl::TCipher_3TDES::Class, qxl::THash_RipeMD128::Class},
    {qxl::TCipher_Blowfish::Class, qxl::THash_RipeMD256::Class}, {qxl::TCipher_Twofish::Class, qxl::THash_RipeMD128::Class},
    {qxl::TCipher_Twofish::Class, qxl::THash_RipeMD256::Class},  {qxl::TCipher_Square::Class, qxl::THash_RipeMD128::Class}};

const TChoice& Choice(TQXLCryptoAlgorithm Algorithm) {
  if (!qxl::IsValidCryptoAlgorithm(Algorithm))
    throw qxl::ECipherException(1, platform::Format("Unknown crypto algorithm %d.", int(Algorithm)));
  return Choices[Algorithm];
}

// The largest block of the eight choices (triple DES lanes).
constexpr int MaxPageBlock = 24;

}  // namespace

bool IsValidCryptoAlgorithm(int Value) { return Value >= 0 && Value < QXLCryptoAlgorithmCount; }

TCipherClass CryptoAlgorithmCipher(TQXLCryptoAlgorithm Algorithm) { return Choice(Algorithm).Cipher(); }

THashClass CryptoAlgorithmHash(TQXLCryptoAlgorithm Algorithm) { return Choice(Algorithm).Hash(); }

std::unique_ptr<TCipher> NewPageCipher(TQXLCryptoAlgorithm Algorithm, std::string_view Password) {
  const TChoice& choice = Choice(Algorithm);
  // The constructor keys a non-empty password once with its default digest;
  // the choice's digest and InitKey then replace that key.
  std::unique_ptr<qxl::TCipher> cipher = choice.Cipher()->Create(Password, nullptr);
  cipher->SetHashClass(choice.Hash());
  cipher->InitKey(Password, cipher->Vector());
  cipher->SetMode(qxl::cmCTS);
  return cipher;
}

void QXLEncryptBuffer(TQXLCryptoAlgorithm Algorithm, void* Buffer, std::int32_t Size, std::string_view Password) {
  qxl::NewPageCipher(Algorithm, Password)->EncodeBuffer(Buffer, Buffer, Size);
}

void QXLDecryptBuffer(TQXLCryptoAlgorithm Algorithm, void* Buffer, std::int32_t Size, std::string_view Password) {
  qxl::NewPageCipher(Algorithm, Password)->DecodeBuffer(Buffer, Buffer, Size);
}

TQXLPageCipher::TQXLPageCipher(TQXLCryptoAlgorithm Algorithm, std::string_view Password)
    : FAlgorithm(Algorithm), FCipher(qxl::NewPageCipher(Algorithm, Password)) {}

void TQXLPageCipher::Encrypt(void* Buffer, std::int32_t Size) const {
  std::uint8_t feedback[MaxPageBlock], work[MaxPageBlock];
  std::memcpy(feedback, FCipher->Vector(), FCipher->BufSize());
  FCipher->EncodeWith(qxl::cmCTS, feedback, work, Buffer, Buffer, Size);
}

void TQXLPageCipher::Decrypt(void* Buffer, std::int32_t Size) const {
  std::uint8_t feedback[MaxPageBlock], work[MaxPageBlock];
  std::memcpy(feedback, FCipher->Vector(), FCipher->BufSize());
  FCipher->DecodeWith(qxl::cmCTS, feedback, work, Buffer, Buffer, Size);
}

TQXLPageCrypter::TQXLPageCrypter(std::string Password) : FPassword(std::move(Password)) {}

const TQXLPageCipher& TQXLPageCrypter::Cipher(TQXLCryptoAlgorithm Algorithm) {
  Choice(Algorithm);
  std::lock_guard lock(FLock);
  auto& slot = FCiphers[Algorithm];
  if (!slot) slot = std::make_unique<TQXLPageCipher>(Algorithm, FPassword);
  return *slot;
}

void TQXLPageCrypter::Encrypt(TQXLCryptoAlgorithm Algorithm, void* Buffer, std::int32_t Size) {
  Cipher(Algorithm).Encrypt(Buffer, Size);
}

void TQXLPageCrypter::Decrypt(TQXLCryptoAlgorithm Algorithm, void* Buffer, std::int32_t Size) {
  Cipher(Algorithm).Decrypt(Buffer, Size);
}

}  // namespace qxl
