#pragma once
// bzip2 streams made with libbzip2 itself for the decoders' size limits: a
// few hundred bytes that decode to a huge run of zeros.
#include <bzlib.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace compression_samples {

inline std::vector<std::uint8_t> BZip2OfZeros(std::uint64_t Count) {
  bz_stream s{};
  if (BZ2_bzCompressInit(&s, 9, 0, 0) != BZ_OK) throw std::runtime_error("bzip2 init");
  std::vector<char> zeros(1 << 20, 0);
  std::vector<std::uint8_t> out;
  char room[4096];
  std::uint64_t left = Count;
  for (int result = BZ_RUN_OK; result != BZ_STREAM_END;) {
    if (s.avail_in == 0 && left > 0) {
      const auto n = static_cast<unsigned>(std::min<std::uint64_t>(left, zeros.size()));
      s.next_in = zeros.data();
      s.avail_in = n;
      left -= n;
    }
    s.next_out = room;
    s.avail_out = sizeof room;
    result = BZ2_bzCompress(&s, left == 0 && s.avail_in == 0 ? BZ_FINISH : BZ_RUN);
    if (result < 0) throw std::runtime_error("bzip2 compress");
    out.insert(out.end(), room, room + (sizeof room - s.avail_out));
  }
  BZ2_bzCompressEnd(&s);
  return out;
}

}  // namespace compression_samples
