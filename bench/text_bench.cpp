// Costs of the text services on the index-key and LIKE paths.
#include <benchmark/benchmark.h>

#include "engine/core/values/QXLTextUtils.h"
#include "platform/CodePage.h"
#include "platform/Collation.h"

using namespace qxl;

namespace {

void BM_CompareWide(benchmark::State& state) {
  const std::u16string a = u"Customer name 00012345", b = u"Customer name 00012346";
  for (auto _ : state) benchmark::DoNotOptimize(platform::CompareStringWide(platform::SORT_STRINGSORT, a, b));
}
BENCHMARK(BM_CompareWide);

void BM_CompareAnsiIgnoreCase(benchmark::State& state) {
  const std::string a = "Customer name 00012345", b = "CUSTOMER NAME 00012346";
  const auto flags = platform::SORT_STRINGSORT | platform::NORM_IGNORECASE;
  for (auto _ : state) benchmark::DoNotOptimize(platform::CompareStringAnsi(flags, a, b));
}
BENCHMARK(BM_CompareAnsiIgnoreCase);

void BM_AnsiToUtf8(benchmark::State& state) {
  const std::string a(200, '\xE9');
  for (auto _ : state) benchmark::DoNotOptimize(platform::AnsiToUtf8(a));
}
BENCHMARK(BM_AnsiToUtf8);

void BM_MatchLike(benchmark::State& state) {
  const std::string data = "The quick brown fox jumps over the lazy dog";
  for (auto _ : state) benchmark::DoNotOptimize(qxl::MatchLikeAnsi(data, "%fox%lazy%", false, 0, state.range(0) != 0));
}
BENCHMARK(BM_MatchLike)->Arg(0)->Arg(1);

}  // namespace
