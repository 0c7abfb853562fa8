// The request encoding over values of 1 KB, 1 MB and 64 MB: UrlEscape,
// s256to62 and MakeHash (with fixed draws).
#include <benchmark/benchmark.h>

#include "bench/sample_text.h"
#include "protocol/encoding.h"

namespace {

namespace protocol = corvanta::protocol;

void BM_UrlEscape(benchmark::State& state) {
  const std::string text = corvanta::bench::SampleText(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    std::string escaped = protocol::UrlEscape(text);
    benchmark::DoNotOptimize(escaped.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_s256to62(benchmark::State& state) {
  const std::string text = corvanta::bench::SampleText(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    std::string encoded = protocol::s256to62(text);
    benchmark::DoNotOptimize(encoded.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_MakeHash(benchmark::State& state) {
  const std::string text = corvanta::bench::SampleText(static_cast<std::size_t>(state.range(0)));
  const protocol::HashDraws draws{17, 61, 40, 22};
  for (auto _ : state) {
    std::string hash = protocol::MakeHash(text, draws);
    benchmark::DoNotOptimize(hash.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

#define SIZES Arg(1 << 10)->Arg(1 << 20)->Arg(64 << 20)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_UrlEscape)->SIZES;
BENCHMARK(BM_s256to62)->SIZES;
BENCHMARK(BM_MakeHash)->SIZES;

}  // namespace

BENCHMARK_MAIN();
