#pragma once

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace twinlens::bench {

// A ratio printed after the runs, one way for every benchmark: the time `subject` takes over the
// time `baseline` takes for the same work (lower is better), both measured in the same run, per
// byte when both report bytes, else per item, else per iteration. `target` is the highest ratio
// that meets its goal; 0 when none was set.
struct Ratio {
  std::string subject;
  std::string baseline;
  std::string label;
  double target = 0;
};

// Runs the registered benchmarks, prints the usual table, then one line per ratio:
// "<label>: <ratio> (target <= <target>)", or "(no target)".
int runWithRatios(int argc, char** argv, const std::vector<Ratio>& ratios);

}  // namespace twinlens::bench
