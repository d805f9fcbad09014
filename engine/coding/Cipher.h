#pragma once
// The base of the block ciphers: key schedule area, vector and chaining
// registers, text keys through a digest, and the eight chaining modes that
// code byte buffers of any length.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <string>
#include <string_view>
#include <vector>

#include "engine/coding/Hash.h"
#include "engine/coding/Protection.h"

namespace qxl {

enum TCipherMode : std::uint8_t {
  cmCTS = 0,
  cmCBC = 1,
  cmCFB = 2,
  cmOFB = 3,
  cmECB = 4,
  cmCTSMAC = 5,
  cmCBCMAC = 6,
  cmCFBMAC = 7
};

class ECipherException : public platform::Exception {
public:
  ECipherException(std::int32_t AErrorCode, std::string Message)
      : Exception(std::move(Message)), ErrorCode(AErrorCode) {}
  std::int32_t ErrorCode;
};

// Block size, largest key and key-schedule size of a cipher class, in bytes.
struct TCipherSizes {
  std::int32_t BufSize;
  std::int32_t KeySize;
  std::int32_t UserSize;
};

class TCipher;

// What a cipher class offers without an object: its name, its sizes, a way to
// make one, and the text its TestVector raises.
struct TCipherClassInfo {
  const char* ClassName;
  TCipherSizes Sizes;
  std::unique_ptr<TCipher> (*Create)(std::string_view Password, std::shared_ptr<TProtection> AProtection);
  const char* TestVectorText;

  [[noreturn]] void TestVector() const;
};
using TCipherClass = const TCipherClassInfo*;

class TCipher : public TProtection {
public:
  ~TCipher() override;

  TCipherMode Mode() const { return FMode; }
  void SetMode(TCipherMode Value) { FMode = Value; }
  // The digest of InitKey, made on first use.
  THash& Hash();
  THashClass HashClass() const { return FHashClass; }
  // Nil selects RIPEMD-256; a different class drops the current digest object.
  void SetHashClass(THashClass Value);

  std::int32_t KeySize() const { return FClass->Sizes.KeySize; }
  std::int32_t BufSize() const { return FClass->Sizes.BufSize; }
  std::uint8_t* Vector() { return FVector.get(); }
  std::uint8_t* Feedback() { return FFeedback.get(); }
  const std::uint8_t* Vector() const { return FVector.get(); }
  bool HasHashKey() const { return (FFlags & 1) != 0; }
  bool Initialized() const { return (FFlags & 2) != 0; }
  const char* ClassName() const { return FClass->ClassName; }

  virtual void SetStateFlag(int Index, bool Value);
  // One block of BufSize bytes in place; they read only the key schedule.
  virtual void EncryptBlock(void* Block) const;
  virtual void DecryptBlock(void* Block) const;
  // Builds the schedule from the first Size bytes of Key; IVector is BufSize
  // bytes or nil (then the vector is the encrypted all-0xFF block).
  virtual void Init(const void* Key, std::int32_t Size, const void* IVector);
  // Ends a message: the next buffer starts from the vector again.
  virtual void Done();
  // Wipes keys and registers; the cipher is unkeyed afterwards.
  virtual void Protect();

  // Key from the digest of the bytes of Key.
  void InitKey(std::string_view Key, const void* IVector);
  // Source and Dest are the same buffer or do not overlap; DataSize of 0 or
  // less changes nothing. Raise ECipherException 3 without a key.
  void EncodeBuffer(const void* Source, void* Dest, std::int32_t DataSize);
  void DecodeBuffer(const void* Source, void* Dest, std::int32_t DataSize);

  // As EncodeBuffer and DecodeBuffer, but with the caller's chaining register
  // Feedback and work block Work (BufSize bytes each) in place of the
  // object's, which stay untouched; several threads may so share one keyed
  // cipher.
  void EncodeWith(TCipherMode AMode, std::uint8_t* Feedback, std::uint8_t* Work, const void* Source, void* Dest,
                  std::int32_t DataSize) const;
  void DecodeWith(TCipherMode AMode, std::uint8_t* Feedback, std::uint8_t* Work, const void* Source, void* Dest,
                  std::int32_t DataSize) const;

  void BeginCoding(TPAction Action) override;
  void EndCoding(TPAction Action) override;
  void CodeChunk(void* Buffer, std::int32_t Size, TPAction Action) override;

  // The base class has neither; each cipher's TestVector is its class's.
  static void TestVector();
  static void SelfTest();

  // Adds or replaces the entry "Name=Description" of the class in the
  // process-wide cipher list; false for a nil class.
  static bool RegisterCipherClass(TCipherClass CipherClass, const std::string& Name, const std::string& Description);
  // The entry texts of the cipher list, in order.
  static std::vector<std::string> CipherClassEntries();

protected:
  // Class gives the sizes and the name; the four areas are made here.
  TCipher(TCipherClass Class, std::shared_ptr<TProtection> AProtection);

  // Every concrete constructor ends with this: a non-empty password keys the cipher.
  void KeyFromPassword(std::string_view Password);
  // First step of every Init: unkeys, wipes, and brings Size into 0..KeySize.
  void StartKeySetup(std::int32_t& Size);
  virtual void FinishKeySetup(const void* IVector);
  // The key schedule area as bytes (the DES schedules are byte tables).
  std::uint8_t* User() { return reinterpret_cast<std::uint8_t*>(FUser.get()); }
  const std::uint8_t* User() const { return reinterpret_cast<const std::uint8_t*>(FUser.get()); }
  // A cipher whose schedule has a type of its own creates it in the area once,
  // in its constructor, and reaches it only through that type: under strict
  // aliasing an object may not be read through a pointer to another type. The
  // wipes write its bytes, which any object allows.
  template <class T>
  void MakeSchedule() {
    static_assert(std::is_trivially_copyable_v<T> && alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
    if (sizeof(T) > static_cast<std::size_t>(FClass->Sizes.UserSize)) throw std::logic_error("schedule too large");
    ::new (static_cast<void*>(FUser.get())) T{};
  }
  template <class T>
  T& Schedule() {
    return *std::launder(reinterpret_cast<T*>(FUser.get()));
  }
  template <class T>
  const T& Schedule() const {
    return *std::launder(reinterpret_cast<const T*>(FUser.get()));
  }
  void CheckInitialized() const;

private:
  TCipherMode FMode = cmCTS;
  std::shared_ptr<THash> FHash;
  THashClass FHashClass;
  TCipherClass FClass;
  std::unique_ptr<std::uint8_t[]> FBuffer;
  std::unique_ptr<std::uint8_t[]> FVector;
  std::unique_ptr<std::uint8_t[]> FFeedback;
  std::unique_ptr<std::byte[]> FUser;  // storage for the schedule, aligned as new aligns
  std::int32_t FFlags = 0;
};

// Makes a cipher of class C keyed by a non-empty password.
template <class C>
std::unique_ptr<TCipher> NewCipher(std::string_view Password, std::shared_ptr<TProtection> AProtection) {
  return std::make_unique<C>(Password, std::move(AProtection));
}

}  // namespace qxl
