#pragma once
// The two implementations of one Rijndael block under a ready key schedule:
// portable lookup tables, and the processor's AES instructions where present.
// Both give the same bytes for every round count and schedule.
#include <cstdint>

namespace qxl {

// Builds the encryption and decryption schedules (60 words each at most) from
// Size key bytes (0 to 32); returns the number of rounds.
int RijndaelKeySchedule(const void* Key, int Size, std::uint32_t* Encrypt, std::uint32_t* Decrypt);

// Rk: 4 * (Rounds + 1) little-endian words, round 0 first. Decryption takes
// the equivalent-inverse schedule (InvMixColumns on rounds 1 to Rounds - 1).
void RijndaelEncryptTables(const std::uint32_t* Rk, int Rounds, void* Block);
void RijndaelDecryptTables(const std::uint32_t* Rk, int Rounds, void* Block);

bool RijndaelHardwareAvailable();
// Only when RijndaelHardwareAvailable() is true.
void RijndaelEncryptHardware(const std::uint32_t* Rk, int Rounds, void* Block);
void RijndaelDecryptHardware(const std::uint32_t* Rk, int Rounds, void* Block);

}  // namespace qxl
