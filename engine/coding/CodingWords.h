#pragma once
// Word routines the ciphers share: byte reversal, rotations, buffer xor and
// byte-wise comparison.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qxl {

// The ciphers reach the byte reversal through this pointer; start-up sets it.
extern std::uint32_t (*SwapInt)(std::uint32_t Value);

inline std::uint32_t ROL(std::uint32_t Value, int Shift) { return std::rotl(Value, Shift); }
inline std::uint32_t ROR(std::uint32_t Value, int Shift) { return std::rotr(Value, Shift); }

// Runs Run(Left, Right) on an 8-byte block read as two big-endian words (the
// way DES and Blowfish see a block) and writes them back the same way.
template <class Fn>
void WithBigEndianWords(void* Block, Fn&& Run) {
  std::uint32_t w[2];
  std::memcpy(w, Block, 8);
  w[0] = SwapInt(w[0]);
  w[1] = SwapInt(w[1]);
  Run(w[0], w[1]);
  w[0] = SwapInt(w[0]);
  w[1] = SwapInt(w[1]);
  std::memcpy(Block, w, 8);
}

// Dest[i] := A[i] xor B[i] for Size bytes; Dest may be A or B.
void XORBuffers(const void* A, const void* B, std::int32_t Size, void* Dest);

// The difference of the first unequal bytes of A and B (0 when equal).
int CompareBuffers(const void* A, const void* B, std::int32_t Size);

}  // namespace qxl
