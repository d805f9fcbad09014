#pragma once
// Random numbers for fresh page states, password control blocks and the
// object numbers of read-only files.
//
// Threads: safe from any thread; one generator behind its own mutex.
#include <cstdint>

namespace qxl {

// A value from 0 up to, not including, Limit (Limit > 0).
std::int32_t QXLRandom(std::int32_t Limit);

}  // namespace qxl
