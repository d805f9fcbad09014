#pragma once
// Helpers for stored-form tests: the bytes a stream holds, a stream over given
// bytes, expected bytes built from texts and little-endian numbers; the
// engine-error helpers come with it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/core/streams/QXLMemoryStream.h"
#include "tests/support/EngineErrors.h"

namespace qxl {

using Bytes = std::vector<std::uint8_t>;

inline Bytes ContentOf(TQXLMemoryStream& s) {
  auto* p = static_cast<const std::uint8_t*>(s.Buffer());
  return p ? Bytes(p, p + s.Size()) : Bytes();
}

inline void Fill(TQXLMemoryStream& s, const Bytes& b) {
  s.SetSize(0);
  if (!b.empty()) s.Write(b.data(), static_cast<std::int32_t>(b.size()));
  s.SetPosition(0);
}

// The bytes of Text, for building expected stored forms.
inline Bytes Text(const std::string& t) { return Bytes(t.begin(), t.end()); }

inline Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline Bytes Int32LE(std::int32_t v) {
  Bytes b(4);
  std::memcpy(b.data(), &v, 4);
  return b;
}

inline Bytes Int64LE(std::int64_t v) {
  Bytes b(8);
  std::memcpy(b.data(), &v, 8);
  return b;
}

}  // namespace qxl
