#include "engine/coding/Cipher.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

#include "engine/coding/Ciphers.h"
#include "platform/Format.h"

namespace {

constexpr int MaxBlock = 64;

// The chaining of one buffer. BT is the block size when known at compile
// time (0: take it from the cipher), so that the xor loops of the page sizes
// unroll.
template <int BT>
class TChaining {
public:
  TChaining(const TCipher& Cipher, std::uint8_t* Feedback, std::uint8_t* Work)
      : C(Cipher), F(Feedback), K(Work), B(BT ? BT : Cipher.BufSize()) {}

  void Encode(TCipherMode Mode, const std::uint8_t* s, std::uint8_t* d, std::int32_t n) const {
    const std::int32_t full = n / B * B;
    alignas(16) std::uint8_t t[MaxBlock];
    switch (Mode) {
      case cmCTS:
      case cmCBC:
        for (std::int32_t i = 0; i < full; i += B) {
          for (int j = 0; j < B; ++j) t[j] = s[i + j] ^ F[j];
          C.EncryptBlock(t);
          if (Mode == cmCTS)
            for (int j = 0; j < B; ++j) F[j] ^= t[j];
          else
            std::memcpy(F, t, B);
          std::memcpy(d + i, t, B);
        }
        Tail(s + full, d + full, n - full);
        break;
      case cmECB:
        for (std::int32_t i = 0; i < full; i += B) {
          std::memcpy(t, s + i, B);
          C.EncryptBlock(t);
          std::memcpy(d + i, t, B);
        }
        Tail(s + full, d + full, n - full);
        break;
      case cmCFB:
        for (std::int32_t i = 0; i < n; ++i) {
          KeyStream();
          const std::uint8_t c = s[i] ^ K[0];
          Shift(c);
          d[i] = c;
        }
        break;
      case cmOFB:
        Ofb(s, d, n);
        break;
      default:
        Mac(Mode, s, n);
        break;
    }
  }

  void Decode(TCipherMode Mode, const std::uint8_t* s, std::uint8_t* d, std::int32_t n) const {
    const std::int32_t full = n / B * B;
    alignas(16) std::uint8_t t[MaxBlock];
    switch (Mode) {
      case cmCTS:
      case cmCBC:
        for (std::int32_t i = 0; i < full; i += B) {
          std::memcpy(t, s + i, B);
          alignas(16) std::uint8_t next[MaxBlock];
          for (int j = 0; j < B; ++j) next[j] = Mode == cmCTS ? t[j] ^ F[j] : t[j];
          C.DecryptBlock(t);
          for (int j = 0; j < B; ++j) d[i + j] = t[j] ^ F[j];
          std::memcpy(F, next, B);
        }
        Tail(s + full, d + full, n - full);
        break;
      case cmECB:
        for (std::int32_t i = 0; i < full; i += B) {
          std::memcpy(t, s + i, B);
          C.DecryptBlock(t);
          std::memcpy(d + i, t, B);
        }
        Tail(s + full, d + full, n - full);
        break;
      case cmCFB:
        for (std::int32_t i = 0; i < n; ++i) {
          KeyStream();
          const std::uint8_t c = s[i];
          Shift(c);
          d[i] = c ^ K[0];
        }
        break;
      case cmOFB:
        Ofb(s, d, n);
        break;
      default:
        Mac(Mode, s, n);
        break;
    }
  }

private:
  // K := E(F).
  void KeyStream() const {
    std::memcpy(K, F, B);
    C.EncryptBlock(K);
  }

  // F moves one byte towards its start; Last becomes its last byte.
  void Shift(std::uint8_t Last) const {
    std::memmove(F, F + 1, B - 1);
    F[B - 1] = Last;
  }

  // A last partial block: xor with the key stream E(F), and F := F xor E(F).
  void Tail(const std::uint8_t* s, std::uint8_t* d, std::int32_t n) const {
    if (n <= 0) return;
    KeyStream();
    for (std::int32_t j = 0; j < n; ++j) d[j] = s[j] ^ K[j];
    for (int j = 0; j < B; ++j) F[j] ^= K[j];
  }

  void Ofb(const std::uint8_t* s, std::uint8_t* d, std::int32_t n) const {
    for (std::int32_t i = 0; i < n; ++i) {
      KeyStream();
      d[i] = s[i] ^ K[0];
      Shift(K[0]);
    }
  }

  // The authentication modes leave their code in F and write no output.
  void Mac(TCipherMode Mode, const std::uint8_t* s, std::int32_t n) const {
    if (Mode == cmCFBMAC) {
      for (std::int32_t i = 0; i < n; ++i) {
        KeyStream();
        Shift(s[i] ^ K[0]);
      }
      return;
    }
    const std::int32_t full = n / B * B;
    for (std::int32_t i = 0; i < full; i += B) {
      for (int j = 0; j < B; ++j) K[j] = s[i + j] ^ F[j];
      C.EncryptBlock(K);
      if (Mode == cmCTSMAC)
        for (int j = 0; j < B; ++j) F[j] ^= K[j];
      else
        std::memcpy(F, K, B);
    }
    if (n > full) {
      KeyStream();
      for (int j = 0; j < B; ++j) F[j] ^= K[j];
    }
  }

  const TCipher& C;
  std::uint8_t* F;
  std::uint8_t* K;
  const int B;
};

template <class Fn>
void WithChaining(const TCipher& Cipher, std::uint8_t* Feedback, std::uint8_t* Work, Fn&& Run) {
  switch (Cipher.BufSize()) {
    case 8: Run(TChaining<8>(Cipher, Feedback, Work)); break;
    case 16: Run(TChaining<16>(Cipher, Feedback, Work)); break;
    case 24: Run(TChaining<24>(Cipher, Feedback, Work)); break;
    default: Run(TChaining<0>(Cipher, Feedback, Work)); break;
  }
}

struct TCipherList {
  std::mutex Lock;
  // The engine's start-up registers Rijndael with an empty name and description.
  std::vector<std::pair<TCipherClass, std::string>> Entries{{TCipher_Rijndael::Class(), "Rijndael="}};
};

TCipherList& CipherList();

std::string Trim(const std::string& S) {
  const auto first = S.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = S.find_last_not_of(" \t\r\n");
  return S.substr(first, last - first + 1);
}

}  // namespace

TCipher::TCipher(TCipherSizes Sizes, std::shared_ptr<TProtection> AProtection)
    : TProtection(std::move(AProtection)), FHashClass(THash_RipeMD256::Class()), FSizes(Sizes) {
  FBuffer = std::make_unique<std::uint8_t[]>(FSizes.BufSize);
  FVector = std::make_unique<std::uint8_t[]>(FSizes.BufSize);
  FFeedback = std::make_unique<std::uint8_t[]>(FSizes.BufSize);
  FUser = std::make_unique<std::uint64_t[]>((FSizes.UserSize + 7) / 8);
  TCipher::Protect();
}

TCipher::~TCipher() { TCipher::Protect(); }

void TCipher::KeyFromPassword(std::string_view Password) {
  if (!Password.empty()) InitKey(Password, nullptr);
}

THash& TCipher::Hash() {
  if (!FHash) FHash = FHashClass->Create(nullptr);
  return *FHash;
}

void TCipher::SetHashClass(THashClass Value) {
  if (Value == FHashClass) return;
  FHash.reset();
  FHashClass = Value ? Value : THash_RipeMD256::Class();
}

void TCipher::SetStateFlag(int Index, bool Value) {
  if (Value)
    FFlags |= 1 << Index;
  else
    FFlags &= ~(1 << Index);
}

void TCipher::EncryptBlock(void*) const {}

void TCipher::DecryptBlock(void*) const {}

void TCipher::Init(const void*, std::int32_t, const void*) {}

void TCipher::Protect() {
  SetStateFlag(0, false);
  SetStateFlag(1, false);
  const std::size_t b = FSizes.BufSize, u = FSizes.UserSize;
  for (std::uint8_t fill : {0xAA, 0x55}) {
    std::memset(FVector.get(), fill, b);
    std::memset(FFeedback.get(), fill, b);
    std::memset(FBuffer.get(), fill, b);
    std::memset(User(), fill, u);
  }
  std::memset(FVector.get(), 0xFF, b);
  std::memset(FFeedback.get(), 0xFF, b);
  std::memset(FBuffer.get(), 0x00, b);
  std::memset(User(), 0x00, u);
}

void TCipher::StartKeySetup(std::int32_t& Size) {
  SetStateFlag(1, false);
  Protect();
  Size = std::clamp(Size, 0, FSizes.KeySize);
}

void TCipher::FinishKeySetup(const void* IVector) {
  if (!IVector)
    EncryptBlock(FVector.get());
  else
    std::memmove(FVector.get(), IVector, FSizes.BufSize);
  std::memcpy(FFeedback.get(), FVector.get(), FSizes.BufSize);
  SetStateFlag(1, true);
}

void TCipher::Done() {
  if (std::memcmp(FVector.get(), FFeedback.get(), FSizes.BufSize) == 0) return;
  std::memcpy(FBuffer.get(), FFeedback.get(), FSizes.BufSize);
  std::memcpy(FFeedback.get(), FVector.get(), FSizes.BufSize);
}

void TCipher::InitKey(std::string_view Key, const void* IVector) {
  THash& hash = Hash();
  hash.Init();
  hash.Calc(Key.data(), static_cast<std::int32_t>(Key.size()));
  hash.Done();
  const std::int32_t n = std::min(hash.DigestKeySize(), FSizes.KeySize);
  Init(hash.DigestKey(), n, IVector);
  EncodeBuffer(hash.DigestKey(), hash.DigestKey(), hash.DigestKeySize());
  Done();
  SetStateFlag(0, true);
}

void TCipher::CheckInitialized() const {
  if (!Initialized())
    throw ECipherException(3, platform::Format("%s is not initialized call Init() or InitKey() before.", ClassName()));
}

void TCipher::EncodeBuffer(const void* Source, void* Dest, std::int32_t DataSize) {
  CheckInitialized();
  EncodeWith(FMode, FFeedback.get(), FBuffer.get(), Source, Dest, DataSize);
}

void TCipher::DecodeBuffer(const void* Source, void* Dest, std::int32_t DataSize) {
  CheckInitialized();
  DecodeWith(FMode, FFeedback.get(), FBuffer.get(), Source, Dest, DataSize);
}

void TCipher::EncodeWith(TCipherMode AMode, std::uint8_t* Feedback, std::uint8_t* Work, const void* Source,
                         void* Dest, std::int32_t DataSize) const {
  if (DataSize <= 0) return;
  WithChaining(*this, Feedback, Work, [&](const auto& chaining) {
    chaining.Encode(AMode, static_cast<const std::uint8_t*>(Source), static_cast<std::uint8_t*>(Dest), DataSize);
  });
}

void TCipher::DecodeWith(TCipherMode AMode, std::uint8_t* Feedback, std::uint8_t* Work, const void* Source,
                         void* Dest, std::int32_t DataSize) const {
  if (DataSize <= 0) return;
  WithChaining(*this, Feedback, Work, [&](const auto& chaining) {
    chaining.Decode(AMode, static_cast<const std::uint8_t*>(Source), static_cast<std::uint8_t*>(Dest), DataSize);
  });
}

void TCipher::BeginCoding(TPAction Action) {
  CheckInitialized();
  if (Action == paWipe) throw platform::Exception("Not implemented 12");
  if (Action != paCalc) Done();
  TProtection::BeginCoding(Action);
}

void TCipher::EndCoding(TPAction Action) {
  TProtection::EndCoding(Action);
  if (Action == paWipe) throw platform::Exception("Not implemented 12");
  if (Action != paCalc) Done();
}

void TCipher::CodeChunk(void* Buffer, std::int32_t Size, TPAction Action) {
  if (Action == paDecode) {
    if (HasAction(paDecode)) DecodeBuffer(Buffer, Buffer, Size);
    TProtection::CodeChunk(Buffer, Size, Action);
    return;
  }
  TProtection::CodeChunk(Buffer, Size, Action);
  if (HasAction(Action)) EncodeBuffer(Buffer, Buffer, Size);
}

void TCipher::TestVector() { throw platform::Exception("Not implemented 14"); }

void TCipher::SelfTest() { throw platform::Exception("Not implemented 14"); }

bool TCipher::RegisterCipherClass(TCipherClass CipherClass, const std::string& Name, const std::string& Description) {
  if (!CipherClass) return false;
  std::string entry = Trim(Name);
  if (entry.empty()) {
    entry = CipherClass->ClassName;
    if (!entry.empty() && entry[0] == 'T') entry.erase(0, 1);
    const auto underscore = entry.find('_');
    if (underscore != std::string::npos) entry.erase(0, underscore + 1);
  }
  entry += "=" + Description;
  TCipherList& list = CipherList();
  std::lock_guard lock(list.Lock);
  for (auto& e : list.Entries)
    if (e.first == CipherClass) {
      e.second = entry;
      return true;
    }
  list.Entries.emplace_back(CipherClass, entry);
  return true;
}

std::vector<std::string> TCipher::CipherClassEntries() {
  TCipherList& list = CipherList();
  std::lock_guard lock(list.Lock);
  std::vector<std::string> out;
  for (auto& e : list.Entries) out.push_back(e.second);
  return out;
}

namespace {

TCipherList& CipherList() {
  // The engine's start-up registers Rijndael as the default cipher.
  static TCipherList list;
  return list;
}

}  // namespace
