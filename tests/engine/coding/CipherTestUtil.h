#pragma once
// Hex conversion, one-block and message helpers for the cipher, digest,
// text-format and password tests.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/coding/Cipher.h"

namespace qxl {

inline std::vector<std::uint8_t> FromHex(const std::string& Hex) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 1 < Hex.size(); i += 2) out.push_back(std::uint8_t(std::stoul(Hex.substr(i, 2), nullptr, 16)));
  return out;
}

inline std::string ToHex(const void* Data, std::size_t Size) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  auto* p = static_cast<const std::uint8_t*>(Data);
  for (std::size_t i = 0; i < Size; ++i) {
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
  }
  return out;
}

inline std::string ToHex(const std::vector<std::uint8_t>& Data) { return ToHex(Data.data(), Data.size()); }

// One block under the hex key through Run (&TCipher::EncryptBlock or
// &TCipher::DecryptBlock), as hex.
inline std::string BlockHex(qxl::TCipher& Cipher, void (qxl::TCipher::*Run)(void*) const, const std::string& Key,
                            const std::string& Block) {
  auto key = FromHex(Key);
  auto block = FromHex(Block);
  Cipher.Init(key.data(), std::int32_t(key.size()), nullptr);
  (Cipher.*Run)(block.data());
  return ToHex(block);
}

inline std::string EncryptHex(qxl::TCipher& Cipher, const std::string& Key, const std::string& Block) {
  return BlockHex(Cipher, &qxl::TCipher::EncryptBlock, Key, Block);
}

// Run must raise an exception of this system whose message is Text.
template <class Fn>
void ExpectMessage(Fn&& Run, const std::string& Text) {
  try {
    Run();
    ADD_FAILURE() << "no exception for " << Text;
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.Message, Text);
  }
}

}  // namespace qxl
