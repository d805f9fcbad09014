#include "engine/coding/Cipher.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

#include "engine/coding/Ciphers.h"
#include "platform/Format.h"

namespace qxl {

namespace {

constexpr int MaxBlock = 64;

// The byte that the 8-bit feedback modes shift into F: the byte written (CFB
// encoding), the byte read (CFB decoding) or the key-stream byte (OFB).
enum class TFeed { Out, In, Key };

// The chaining of one buffer. BT is the block size when known at compile
// time (0: take it from the cipher), so that the xor loops of the page sizes
// unroll. Encode and Decode are always inlined where the object is made: its
// pointers then live in registers, where the byte stores of the loops cannot
// alias them, and the xor loops vectorise (a page under Rijndael costs about
// half again as much without).
template <int BT>
class TChaining {
public:
  TChaining(const TCipher& Cipher, std::uint8_t* Feedback, std::uint8_t* Work)
      : C(Cipher), F(Feedback), K(Work), B(BT ? BT : Cipher.BufSize()) {}

  [[gnu::always_inline]] void Encode(TCipherMode Mode, const std::uint8_t* s, std::uint8_t* d,
                                     std::int32_t n) const {
    switch (Mode) {
      case cmCTS: Chain<true, true>(s, d, n); break;
      case cmCBC: Chain<false, true>(s, d, n); break;
      case cmCFB: Bytes(TFeed::Out, s, d, n); break;
      case cmOFB: Bytes(TFeed::Key, s, d, n); break;
      case cmECB: Blocks(&TCipher::EncryptBlock, s, d, n); break;
      case cmCTSMAC: Chain<true, false>(s, d, n); break;
      case cmCBCMAC: Chain<false, false>(s, d, n); break;
      case cmCFBMAC: Bytes(TFeed::Out, s, nullptr, n); break;
    }
  }

  // The authentication modes and OFB decode as they encode.
  [[gnu::always_inline]] void Decode(TCipherMode Mode, const std::uint8_t* s, std::uint8_t* d,
                                     std::int32_t n) const {
    switch (Mode) {
      case cmCTS: Unchain<true>(s, d, n); break;
      case cmCBC: Unchain<false>(s, d, n); break;
      case cmCFB: Bytes(TFeed::In, s, d, n); break;
      case cmECB: Blocks(&TCipher::DecryptBlock, s, d, n); break;
      default: Encode(Mode, s, d, n); break;
    }
  }

private:
  // Full blocks: Y := E(P xor F), then F := Y xor F (Cts) or Y. Without
  // Write (the authentication modes) nothing is written and the code stays
  // in F.
  template <bool Cts, bool Write>
  void Chain(const std::uint8_t* s, std::uint8_t* d, std::int32_t n) const {
    const std::int32_t full = n / B * B;
    alignas(16) std::uint8_t t[MaxBlock];
    for (std::int32_t i = 0; i < full; i += B) {
      for (int j = 0; j < B; ++j) t[j] = s[i + j] ^ F[j];
      C.EncryptBlock(t);
      if constexpr (Cts)
        for (int j = 0; j < B; ++j) F[j] ^= t[j];
      else
        std::memcpy(F, t, B);
      if constexpr (Write) std::memcpy(d + i, t, B);
    }
    Tail(s + full, Write ? d + full : nullptr, n - full);
  }

  // Full blocks: P := D(Y) xor F, then F := Y xor F (Cts, taken before the
  // block is decrypted) or Y.
  template <bool Cts>
  void Unchain(const std::uint8_t* s, std::uint8_t* d, std::int32_t n) const {
    const std::int32_t full = n / B * B;
    alignas(16) std::uint8_t t[MaxBlock];
    for (std::int32_t i = 0; i < full; i += B) {
      std::memcpy(t, s + i, B);
      alignas(16) std::uint8_t next[MaxBlock];
      for (int j = 0; j < B; ++j) next[j] = Cts ? t[j] ^ F[j] : t[j];
      C.DecryptBlock(t);
      for (int j = 0; j < B; ++j) d[i + j] = t[j] ^ F[j];
      std::memcpy(F, next, B);
    }
    Tail(s + full, d + full, n - full);
  }

  // Code book: each full block on its own; a tail as in the chained modes, so
  // that its plain bytes never pass through unchanged.
  void Blocks(void (TCipher::*Run)(void*) const, const std::uint8_t* s, std::uint8_t* d, std::int32_t n) const {
    const std::int32_t full = n / B * B;
    alignas(16) std::uint8_t t[MaxBlock];
    for (std::int32_t i = 0; i < full; i += B) {
      std::memcpy(t, s + i, B);
      (C.*Run)(t);
      std::memcpy(d + i, t, B);
    }
    Tail(s + full, d + full, n - full);
  }

  // A last partial block: xor with the key stream E(F), and F := F xor E(F).
  // Without d only F changes.
  void Tail(const std::uint8_t* s, std::uint8_t* d, std::int32_t n) const {
    if (n <= 0) return;
    KeyStream();
    if (d)
      for (std::int32_t j = 0; j < n; ++j) d[j] = s[j] ^ K[j];
    for (int j = 0; j < B; ++j) F[j] ^= K[j];
  }

  // The 8-bit feedback modes: each byte is xored with E(F)[0], and F moves
  // one byte towards its start to take the Feed byte as its last. Without d
  // nothing is written (cmCFBMAC).
  void Bytes(TFeed Feed, const std::uint8_t* s, std::uint8_t* d, std::int32_t n) const {
    for (std::int32_t i = 0; i < n; ++i) {
      KeyStream();
      const std::uint8_t in = s[i], key = K[0], out = in ^ key;
      std::memmove(F, F + 1, B - 1);
      F[B - 1] = Feed == TFeed::Out ? out : Feed == TFeed::In ? in : key;
      if (d) d[i] = out;
    }
  }

  // K := E(F).
  void KeyStream() const {
    std::memcpy(K, F, B);
    C.EncryptBlock(K);
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

// The process-wide cipher list. The engine's start-up registers Rijndael with
// an empty name and description.
struct TCipherList {
  std::mutex Lock;
  std::vector<std::pair<TCipherClass, std::string>> Entries{{TCipher_Rijndael::Class(), "Rijndael="}};
};

TCipherList& CipherList() {
  static TCipherList list;
  return list;
}

// Spaces and control characters off both ends.
std::string Trim(const std::string& S) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  const auto first = std::find_if_not(S.begin(), S.end(), blank);
  const auto last = std::find_if_not(S.rbegin(), S.rend(), blank).base();
  return first < last ? std::string(first, last) : std::string();
}

}  // namespace

void TCipherClassInfo::TestVector() const { throw platform::Exception(TestVectorText); }

TCipher::TCipher(TCipherClass Class, std::shared_ptr<TProtection> AProtection)
    : TProtection(std::move(AProtection)), FHashClass(THash_RipeMD256::Class()), FClass(Class) {
  const TCipherSizes& sizes = FClass->Sizes;
  FBuffer = std::make_unique<std::uint8_t[]>(sizes.BufSize);
  FVector = std::make_unique<std::uint8_t[]>(sizes.BufSize);
  FFeedback = std::make_unique<std::uint8_t[]>(sizes.BufSize);
  FUser = std::make_unique<std::byte[]>(static_cast<std::size_t>(sizes.UserSize));
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
  const std::size_t b = FClass->Sizes.BufSize, u = FClass->Sizes.UserSize;
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
  Size = std::clamp(Size, 0, KeySize());
}

void TCipher::FinishKeySetup(const void* IVector) {
  if (!IVector)
    EncryptBlock(FVector.get());
  else
    std::memmove(FVector.get(), IVector, BufSize());
  std::memcpy(FFeedback.get(), FVector.get(), BufSize());
  SetStateFlag(1, true);
}

void TCipher::Done() {
  if (std::memcmp(FVector.get(), FFeedback.get(), BufSize()) == 0) return;
  std::memcpy(FBuffer.get(), FFeedback.get(), BufSize());
  std::memcpy(FFeedback.get(), FVector.get(), BufSize());
}

void TCipher::InitKey(std::string_view Key, const void* IVector) {
  THash& hash = Hash();
  hash.Init();
  hash.Calc(Key.data(), static_cast<std::int32_t>(Key.size()));
  hash.Done();
  const std::int32_t n = std::min(hash.DigestKeySize(), KeySize());
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

}  // namespace qxl
