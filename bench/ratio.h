// Benchmarks that time our renderer against SDL2 on the same work: each case reports
// megapixels per second, and the ratios (ours / SDL) of the named pairs are printed after
// the run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Sets the case's megapixels-per-second counter.
inline void ReportPixels(benchmark::State& state, double pixelsPerIteration) {
  state.counters["MPix/s"] = benchmark::Counter(
      double(state.iterations()) * pixelsPerIteration / 1e6, benchmark::Counter::kIsRate);
}

// Keeps each case's rate (the counter named, megapixels per second unless told) for the
// ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::string counter = "MPix/s";
  std::map<std::string, double> rates;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      auto it = run.counters.find(counter);
      if (it != run.counters.end()) rates[run.benchmark_name()] = it->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

// The body of main: runs the cases, then prints a line per pair (ours, theirs) that ran,
// with the rates of `counter` and the ratio.
inline int RunWithRatios(int argc, char** argv,
                         std::initializer_list<std::pair<const char*, const char*>> pairs,
                         const char* counter = "MPix/s", const char* theirs = "SDL2") {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  reporter.counter = counter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n%-26s %-24s %10s %10s %7s\n", "ours", theirs, counter, counter, "ratio");
  for (const auto& [ours, sdl] : pairs) {
    auto a = reporter.rates.find(ours), b = reporter.rates.find(sdl);
    if (a == reporter.rates.end() || b == reporter.rates.end() || b->second <= 0) continue;
    std::printf("%-26s %-24s %10.1f %10.1f %7.2f\n", ours, sdl, a->second, b->second,
                a->second / b->second);
  }
  benchmark::Shutdown();
  return 0;
}
