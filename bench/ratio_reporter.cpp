#include "ratio_reporter.hpp"

#include <unistd.h>

#include <cstdio>
#include <map>

namespace twinlens::bench {

namespace {

struct Rate {
  double bytesPerSecond = 0;
  double itemsPerSecond = 0;
  double secondsPerIteration = 0;
};

class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal, so logs of a run stay readable.
  RecordingReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration && run.aggregate_name != "median") continue;
      Rate& rate = rates[run.run_name.function_name];
      auto counter = [&run](const char* name) {
        auto it = run.counters.find(name);
        return it == run.counters.end() ? 0.0 : static_cast<double>(it->second);
      };
      rate.bytesPerSecond = counter("bytes_per_second");
      rate.itemsPerSecond = counter("items_per_second");
      rate.secondsPerIteration =
          run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
    }
  }
  std::map<std::string, Rate> rates;
};

// Our time over the baseline's for the same work: a rate ratio turned over.
double timeRatioOf(const Rate& subject, const Rate& baseline) {
  if (subject.bytesPerSecond > 0 && baseline.bytesPerSecond > 0)
    return baseline.bytesPerSecond / subject.bytesPerSecond;
  if (subject.itemsPerSecond > 0 && baseline.itemsPerSecond > 0)
    return baseline.itemsPerSecond / subject.itemsPerSecond;
  return subject.secondsPerIteration / baseline.secondsPerIteration;
}

}  // namespace

int runWithRatios(int argc, char** argv, const std::vector<Ratio>& ratios) {
  benchmark::Initialize(&argc, argv);
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  for (const Ratio& ratio : ratios) {
    auto subject = reporter.rates.find(ratio.subject);
    auto baseline = reporter.rates.find(ratio.baseline);
    if (subject == reporter.rates.end() || baseline == reporter.rates.end()) continue;
    const double value = timeRatioOf(subject->second, baseline->second);
    if (ratio.target > 0)
      std::printf("%s: %.2f (target <= %.2f)\n", ratio.label.c_str(), value, ratio.target);
    else
      std::printf("%s: %.2f (no target)\n", ratio.label.c_str(), value);
  }
  return 0;
}

}  // namespace twinlens::bench
