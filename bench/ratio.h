// Benchmarks that time our renderer against a reference on the same work (SDL2, or a plain
// loop over the same bytes): each case reports megapixels per second, and the ratios
// (ours / theirs) of the named pairs are printed after the run, from the medians when the
// cases ran more than once (--benchmark_repetitions).
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <strings.h>
#include <unistd.h>

// Sets the case's megapixels-per-second counter.
inline void ReportPixels(benchmark::State& state, double pixelsPerIteration) {
  state.counters["MPix/s"] = benchmark::Counter(
      double(state.iterations()) * pixelsPerIteration / 1e6, benchmark::Counter::kIsRate);
}

// The console options the library would give its own reporter: colour by
// --benchmark_color (or BENCHMARK_COLOR; "auto" colours a terminal), counters in columns
// by --benchmark_counters_tabular. A reporter handed to the library is not told them, so
// they are read here, before the library takes its flags out of argv.
inline benchmark::ConsoleReporter::OutputOptions ConsoleOptions(int argc, char** argv) {
  auto envOr = [](const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return std::string(v ? v : fallback);
  };
  std::string colour = envOr("BENCHMARK_COLOR", "auto");
  std::string tabular = envOr("BENCHMARK_COUNTERS_TABULAR", "false");
  for (int i = 1; i < argc; i++) {
    const std::string arg = argv[i];
    if (arg.rfind("--benchmark_color=", 0) == 0) colour = arg.substr(18);
    if (arg == "--benchmark_counters_tabular") tabular = "true";
    if (arg.rfind("--benchmark_counters_tabular=", 0) == 0) tabular = arg.substr(29);
  }
  // The library's reading of a yes/no value: false, no, off and 0 (or their first letter)
  // say no; anything else yes.
  auto truthy = [](const std::string& v) {
    if (v.size() == 1) return std::strchr("0fFnN", v[0]) == nullptr;
    return strcasecmp(v.c_str(), "false") != 0 && strcasecmp(v.c_str(), "no") != 0 &&
           strcasecmp(v.c_str(), "off") != 0 && !v.empty();
  };
  bool useColour;
  if (strcasecmp(colour.c_str(), "auto") == 0) {
    const char* term = std::getenv("TERM");
    useColour = isatty(STDOUT_FILENO) && term && std::strcmp(term, "dumb") != 0;
  } else {
    useColour = truthy(colour);
  }
  int options = benchmark::ConsoleReporter::OO_None;
  if (useColour) options |= benchmark::ConsoleReporter::OO_Color;
  if (truthy(tabular)) options |= benchmark::ConsoleReporter::OO_Tabular;
  return benchmark::ConsoleReporter::OutputOptions(options);
}

// The console table with every counter as a plain number (1234.5, not 1.2345k/s), keeping
// each case's rate (the counter named, megapixels per second unless told) for the ratios:
// the single runs by name, and the medians of repeated runs by the name of the case.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  explicit RatioReporter(OutputOptions options) : ConsoleReporter(options) {}
  std::string counter = "MPix/s";
  std::map<std::string, double> rates, medians;

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      auto it = run.counters.find(counter);
      if (it == run.counters.end()) continue;
      if (run.run_type == Run::RT_Iteration) {
        rates[run.benchmark_name()] = it->second.value;
      } else if (run.aggregate_name == "median") {
        medians[run.run_name.str()] = it->second.value;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // The median of the case when it was repeated, else its one rate; -1 when it did not run.
  double Rate(const std::string& name) const {
    auto m = medians.find(name);
    if (m != medians.end()) return m->second;
    auto r = rates.find(name);
    return r != rates.end() ? r->second : -1;
  }

 protected:
  void PrintRunData(const Run& run) override {
    const bool colour = (output_options_ & OO_Color) != 0;
    auto paint = [&](const char* code, const std::string& text) {
      return colour ? std::string("\033[") + code + "m" + text + "\033[m" : text;
    };
    std::string line =
        paint("32", Format("%-*s ", int(name_field_width_), run.benchmark_name().c_str()));
    if (run.error_occurred) {
      GetOutputStream() << line << paint("31", "ERROR OCCURRED: '" + run.error_message + "'")
                        << "\n";
      return;
    }
    // The coefficient of variation of repeated runs is a fraction, shown as a percentage.
    const bool percent =
        run.run_type == Run::RT_Aggregate && run.aggregate_unit == benchmark::kPercentage;
    const char* unit = UnitName(run.time_unit);
    line +=
        paint("33", percent ? Format("%10.2f %% %10.2f %% ", 100.0 * run.real_accumulated_time,
                                     100.0 * run.cpu_accumulated_time)
                            : Format("%s %-4s %s %-4s ", Time(run.GetAdjustedRealTime()).c_str(),
                                     unit, Time(run.GetAdjustedCPUTime()).c_str(), unit));
    line += paint("36", Format("%10lld", static_cast<long long>(run.iterations)));
    for (const auto& [name, c] : run.counters) {
      std::string value = percent ? Format("%.2f%%", 100.0 * c.value) : Format("%.1f", c.value);
      line += (output_options_ & OO_Tabular) ? Format(" %10s", value.c_str())
                                             : Format(" %s=%s", name.c_str(), value.c_str());
    }
    if (!run.report_label.empty()) line += " " + run.report_label;
    GetOutputStream() << line << "\n";
  }

 private:
  template <class... A>
  static std::string Format(const char* format, A... args) {
    char text[512];
    std::snprintf(text, sizeof text, format, args...);
    return text;
  }
  // The library's widths: ten characters, more decimals for small times.
  static std::string Time(double t) {
    return Format(t < 1 ? "%10.3f" : t < 10 ? "%10.2f" : t < 100 ? "%10.1f" : "%10.0f", t);
  }
  static const char* UnitName(benchmark::TimeUnit unit) {
    switch (unit) {
      case benchmark::kNanosecond:
        return "ns";
      case benchmark::kMicrosecond:
        return "us";
      case benchmark::kMillisecond:
        return "ms";
      default:
        return "s";
    }
  }
};

// The body of main: runs the cases, then prints a line per pair (ours, theirs) that ran,
// with the rates of `counter` (medians of repeated runs) and the ratio.
inline int RunWithRatios(int argc, char** argv,
                         std::initializer_list<std::pair<const char*, const char*>> pairs,
                         const char* counter = "MPix/s", const char* theirs = "theirs") {
  RatioReporter reporter(ConsoleOptions(argc, argv));
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  reporter.counter = counter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n%-26s %-24s %10s %10s %7s\n", "ours", theirs, counter, counter, "ratio");
  for (const auto& [ours, other] : pairs) {
    double a = reporter.Rate(ours), b = reporter.Rate(other);
    if (a < 0 || b <= 0) continue;
    std::printf("%-26s %-24s %10.1f %10.1f %7.2f\n", ours, other, a, b, a / b);
  }
  benchmark::Shutdown();
  return 0;
}
