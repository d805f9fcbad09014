// Whole-buffer compression side by side: PPM at levels 1, 5 and 9 against
// zlib and bzip2 on the same text and binary inputs. Counters: ratio
// (compressed size / input size) and bytes_per_second of the input.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/coding/QXLCompression.h"

using namespace qxl;

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t InputSize = 4 << 20;

// Task-list prose: entries built from a few hundred words with uneven frequencies.
Bytes MakeText() {
  static const char* const verbs[] = {"check", "update", "review", "send", "call", "fix", "write", "plan", "order",
                                      "test", "move", "close", "prepare", "discuss", "print", "archive"};
  static const char* const things[] = {"the invoice", "the report", "the meeting notes", "the budget", "a reply",
                                       "the server backup", "the contract", "the schedule", "the price list",
                                       "the customer list", "the database file", "the team calendar", "the release",
                                       "the printer driver", "the holiday plan", "the test results"};
  static const char* const people[] = {"Anna", "Boris", "Chen", "Dana", "Erik", "Fatima", "Georg", "Hana",
                                       "Ivan", "Julia", "Karl", "Lena"};
  static const char* const tails[] = {"before Friday", "as discussed", "if time allows", "urgent",
                                      "see the attached file", "after the call", "for the next release", "again"};
  std::mt19937 rng(4);
  std::geometric_distribution<int> skew(0.2);
  auto pick = [&](const auto& list) { return list[std::min<std::size_t>(skew(rng), std::size(list) - 1)]; };
  Bytes out;
  for (int n = 1; out.size() < InputSize; ++n) {
    std::string line = "Task " + std::to_string(n) + ": " + pick(verbs) + " " + pick(things) + " with " +
                       pick(people) + ", " + pick(tails) + ". Due " + std::to_string(1 + rng() % 28) + "." +
                       std::to_string(1 + rng() % 12) + ".2026, priority " + std::to_string(rng() % 5) + ".\n";
    out.insert(out.end(), line.begin(), line.end());
  }
  out.resize(InputSize);
  return out;
}

// Stored records: ascending keys, time stamps, amounts, fixed-width names, flags.
Bytes MakeBinary() {
  static const char* const names[] = {"Anna", "Boris", "Chen", "Dana", "Erik", "Fatima", "Georg", "Hana"};
  std::mt19937 rng(5);
  Bytes out;
  double stamp = 46000.0;
  for (std::int32_t id = 1; out.size() < InputSize; ++id) {
    std::uint8_t record[48] = {};
    stamp += (rng() % 1000) / 86400.0;
    const double amount = (rng() % 100000) / 100.0;
    const std::int32_t owner = static_cast<std::int32_t>(rng() % 8);
    std::memcpy(record, &id, 4);
    std::memcpy(record + 4, &stamp, 8);
    std::memcpy(record + 12, &amount, 8);
    std::memcpy(record + 20, &owner, 4);
    std::strncpy(reinterpret_cast<char*>(record + 24), names[owner], 20);
    record[44] = static_cast<std::uint8_t>(rng() % 3);
    out.insert(out.end(), record, record + sizeof record);
  }
  out.resize(InputSize);
  return out;
}

const Bytes& Input(int kind) {
  static const Bytes text = MakeText(), binary = MakeBinary();
  return kind == 0 ? text : binary;
}

void Compress(benchmark::State& state, int kind, TQXLCompressionAlgorithm alg, int mode) {
  const Bytes& in = Input(kind);
  Bytes out;
  std::int32_t size = 0;
  for (auto _ : state) {
    if (!qxl::CompressBuffer(alg, static_cast<std::uint8_t>(mode), in.data(), static_cast<std::int32_t>(in.size()), out,
                        size))
      state.SkipWithError("compression failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
  state.counters["ratio"] = static_cast<double>(size) / static_cast<double>(in.size());
}

void Decompress(benchmark::State& state, int kind, TQXLCompressionAlgorithm alg, int mode) {
  const Bytes& in = Input(kind);
  Bytes packed, out;
  std::int32_t size = 0;
  if (!qxl::CompressBuffer(alg, static_cast<std::uint8_t>(mode), in.data(), static_cast<std::int32_t>(in.size()), packed,
                      size)) {
    state.SkipWithError("compression failed");
    return;
  }
  for (auto _ : state) {
    std::int32_t outSize = static_cast<std::int32_t>(in.size());
    if (!qxl::DecompressBuffer(alg, packed.data(), size, out, outSize) || out != in)
      state.SkipWithError("decompression failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
  state.counters["ratio"] = static_cast<double>(size) / static_cast<double>(in.size());
}

struct TSubject {
  const char* Name;
  TQXLCompressionAlgorithm Alg;
  int Mode;
};
constexpr TSubject Subjects[] = {{"zlib-1", acaZLIB, 1}, {"zlib-6", acaZLIB, 6}, {"zlib-9", acaZLIB, 9},
                                 {"bzip2-9", acaBZIP, 9}, {"ppm-1", acaPPM, 1},   {"ppm-5", acaPPM, 5},
                                 {"ppm-9", acaPPM, 9}};

const bool Registered = [] {
  for (int kind = 0; kind < 2; ++kind)
    for (const char* direction : {"compress", "decompress"})
      for (const TSubject& s : Subjects) {
        const std::string name = std::string(direction) + "/" + (kind == 0 ? "text" : "binary") + "/" + s.Name;
        auto* b = std::string(direction) == "compress"
                      ? benchmark::RegisterBenchmark(name.c_str(), Compress, kind, s.Alg, s.Mode)
                      : benchmark::RegisterBenchmark(name.c_str(), Decompress, kind, s.Alg, s.Mode);
        b->Unit(benchmark::kMillisecond)->UseRealTime();
      }
  return true;
}();

}  // namespace
