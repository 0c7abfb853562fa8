#pragma once
// The main function of the benchmarks that take size flags of their own
// (--NAME=N, a whole number of at least 1) beside Google Benchmark's: the
// defaults are the full size, and a quick run (make test-bench) checks at a
// small size that the benchmark still works.
#include <benchmark/benchmark.h>

#include <charconv>
#include <functional>
#include <initializer_list>
#include <iostream>
#include <string>
#include <string_view>

namespace corvanta::bench {

struct SizeFlag {
  const char* name;
  long long* value;
};

// Takes the flags, then registers what depends on them (registerBenchmarks,
// when given) and runs the benchmarks the command line selects.
inline int Main(int argc, char** argv, std::initializer_list<SizeFlag> flags,
                const std::function<void()>& registerBenchmarks = {}) {
  benchmark::Initialize(&argc, argv);
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    bool taken = false;
    for (const SizeFlag& flag : flags) {
      const std::string prefix = std::string("--") + flag.name + "=";
      if (!arg.starts_with(prefix)) continue;
      const std::string_view number = arg.substr(prefix.size());
      long long value = 0;
      const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
      if (error != std::errc() || end != number.data() + number.size() || value < 1) {
        std::cerr << argv[0] << ": " << arg << ": want a whole number of at least 1\n";
        return 2;
      }
      *flag.value = value;
      taken = true;
    }
    if (!taken) argv[kept++] = argv[i];
  }
  argc = kept;
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  if (registerBenchmarks) registerBenchmarks();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace corvanta::bench
