// Encrypting and decrypting one 4096-byte page under each of the eight
// page-encryption choices, against AES-128 (CBC) of nettle. "kept" codes with
// a key schedule made once; "fresh" makes the two digests and key schedules
// for every page. The table at the end gives each time as a multiple of
// nettle's.
#include <benchmark/benchmark.h>
#include <nettle/aes.h>
#include <nettle/cbc.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/coding/QXLPassword.h"

using namespace qxl;

namespace {

constexpr int PageSize = 4096;
const char* const Password = "bench password";

std::vector<std::uint8_t> Page() {
  std::vector<std::uint8_t> page(PageSize);
  for (int i = 0; i < PageSize; ++i) page[i] = std::uint8_t(i * 7 + (i >> 8));
  return page;
}

void BM_Kept(benchmark::State& state) {
  const auto algorithm = TQXLCryptoAlgorithm(state.range(0));
  const TQXLPageCipher cipher(algorithm, Password);
  auto page = Page();
  for (auto _ : state) {
    cipher.Encrypt(page.data(), PageSize);
    cipher.Decrypt(page.data(), PageSize);
    benchmark::DoNotOptimize(page.data());
  }
  state.SetBytesProcessed(state.iterations() * PageSize * 2);
  state.SetLabel(QXLCryptoAlgorithmNames[algorithm]);
}

void BM_Fresh(benchmark::State& state) {
  const auto algorithm = TQXLCryptoAlgorithm(state.range(0));
  auto page = Page();
  for (auto _ : state) {
    QXLEncryptBuffer(algorithm, page.data(), PageSize, Password);
    QXLDecryptBuffer(algorithm, page.data(), PageSize, Password);
    benchmark::DoNotOptimize(page.data());
  }
  state.SetBytesProcessed(state.iterations() * PageSize * 2);
  state.SetLabel(QXLCryptoAlgorithmNames[algorithm]);
}

void BM_NettleAes128(benchmark::State& state) {
  std::uint8_t key[16];
  for (int i = 0; i < 16; ++i) key[i] = std::uint8_t(i);
  aes128_ctx enc, dec;
  aes128_set_encrypt_key(&enc, key);
  aes128_set_decrypt_key(&dec, key);
  auto page = Page();
  for (auto _ : state) {
    std::uint8_t iv[16];
    std::memset(iv, 0xFF, 16);
    cbc_encrypt(&enc, reinterpret_cast<nettle_cipher_func*>(aes128_encrypt), 16, iv, PageSize, page.data(),
                page.data());
    std::memset(iv, 0xFF, 16);
    cbc_decrypt(&dec, reinterpret_cast<nettle_cipher_func*>(aes128_decrypt), 16, iv, PageSize, page.data(),
                page.data());
    benchmark::DoNotOptimize(page.data());
  }
  state.SetBytesProcessed(state.iterations() * PageSize * 2);
}

BENCHMARK(BM_NettleAes128);
BENCHMARK(BM_Kept)->DenseRange(0, QXLCryptoAlgorithmCount - 1);
BENCHMARK(BM_Fresh)->DenseRange(0, QXLCryptoAlgorithmCount - 1);

// Keeps the time per iteration of every run for the ratio table.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& Runs) override {
    for (const Run& run : Runs)
      if (run.run_type == Run::RT_Iteration) Times[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(Runs);
  }
  std::map<std::string, double> Times;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto nettle = reporter.Times.find("BM_NettleAes128");
  if (nettle == reporter.Times.end()) return 0;
  std::printf("\nEncrypt + decrypt of a 4096-byte page, time relative to nettle AES-128 CBC:\n");
  std::printf("%-14s %10s %10s\n", "choice", "kept", "fresh");
  for (int a = 0; a < QXLCryptoAlgorithmCount; ++a) {
    auto ratio = [&](const char* kind) {
      const auto it = reporter.Times.find(std::string("BM_") + kind + "/" + std::to_string(a));
      return it == reporter.Times.end() ? 0.0 : it->second / nettle->second;
    };
    std::printf("%-14s %9.2fx %9.2fx\n", QXLCryptoAlgorithmNames[a], ratio("Kept"), ratio("Fresh"));
  }
  benchmark::Shutdown();
  return 0;
}
