#pragma once

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace twinlens::bench {

// A ratio printed after the runs: the rate of `subject` over the rate of `baseline`, both
// measured in the same run (bytes per second when both report bytes, else items per second,
// else inverse time).
// With a target, the line shows the subject's time over the baseline's instead (lower is
// better) and the target beside it.
struct Ratio {
  std::string subject;
  std::string baseline;
  std::string label;
  double target = 0;
};

// Runs the registered benchmarks, prints the usual table, then one line per ratio.
int runWithRatios(int argc, char** argv, const std::vector<Ratio>& ratios);

}  // namespace twinlens::bench
