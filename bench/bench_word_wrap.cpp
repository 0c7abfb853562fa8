// WordWrap at width 76 over message bodies of 1 KB, 1 MB and 64 MB.
#include <benchmark/benchmark.h>

#include "bench/sample_text.h"
#include "text/word_wrap.h"

namespace {

void BM_WordWrap(benchmark::State& state) {
  const std::string text = corvanta::bench::SampleText(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    std::string wrapped = corvanta::modWordWrap::WordWrap(text, 76);
    benchmark::DoNotOptimize(wrapped.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_WordWrap)->Arg(1 << 10)->Arg(1 << 20)->Arg(64 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
