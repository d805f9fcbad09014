#pragma once
// Inputs for the compression tests, made from fixed seeds: text, random,
// zero and repetitive bytes.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace compression_samples {

using Bytes = std::vector<std::uint8_t>;

// Sentences of a small vocabulary drawn with uneven frequencies.
inline Bytes Text(std::size_t n, std::uint32_t seed = 1) {
  static const char* const words[] = {"the",    "engine", "stores", "tables",  "in",     "pages",  "with",
                                      "B-tree", "index",  "and",    "a",       "record", "is",     "locked",
                                      "by",     "each",   "commit", "writes",  "every",  "page",   "file",
                                      "of",     "to",     "BLOB",   "value",   "field",  "cursor", "key",
                                      "Task",   "list",   "owner",  "due",     "date",   "done",   "team"};
  constexpr int count = sizeof(words) / sizeof(words[0]);
  std::mt19937 rng(seed);
  std::geometric_distribution<int> pick(0.12);
  Bytes out;
  while (out.size() < n) {
    std::string w = words[std::min(pick(rng), count - 1)];
    const auto r = rng() % 16;
    if (r == 0) w += ",";
    if (r == 1) w += ".\n";
    if (r == 2) w += std::to_string(rng() % 1000);
    w += ' ';
    out.insert(out.end(), w.begin(), w.end());
  }
  out.resize(n);
  return out;
}

inline Bytes Random(std::size_t n, std::uint32_t seed = 2) {
  std::mt19937 rng(seed);
  Bytes out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

inline Bytes Zeros(std::size_t n) { return Bytes(n, 0); }

// A short random block repeated: long matches for every model.
inline Bytes Repetitive(std::size_t n, std::uint32_t seed = 3) {
  const Bytes unit = Random(97, seed);
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = unit[i % unit.size()];
  return out;
}

}  // namespace compression_samples
