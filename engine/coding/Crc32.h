#pragma once
// The engine's 32-bit check value of pages, BLOB blocks and the password
// control block: the reflected CRC-32 table loop without the usual inversions.
#include <cstdint>

namespace qxl {

// The check value of Length bytes continued from Crc. Every caller starts from
// 0; a value over two pieces is that of the second continued from the first.
std::uint32_t UpdateCrc32(std::uint32_t Crc, const void* Buffer, std::uint32_t Length);

}  // namespace qxl
