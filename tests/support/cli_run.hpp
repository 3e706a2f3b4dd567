#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

namespace twinlens::testing {

// What a run of the built twinlens-cli gave.
struct CliRun {
  int status;
  std::string output;  // standard output and standard error together
};

// `text` quoted for the shell.
std::string shellQuoted(const std::string& text);

// Runs "<build>/src/cli/twinlens-cli <arguments>" through the shell, the build folder taken from
// $TWINLENS_BUILD_DIR (which ctest sets); `environment` ("NAME=value ...") goes before it.
CliRun runCli(const std::string& arguments, const std::string& environment = "");

// The built twinlens-cli started with its output (standard output and error together) on a pipe
// that the test reads as it comes, and its standard input on a pipe the test holds open.
class RunningCli {
 public:
  explicit RunningCli(const std::vector<std::string>& arguments);
  ~RunningCli();
  RunningCli(const RunningCli&) = delete;
  RunningCli& operator=(const RunningCli&) = delete;

  // Reads output until it holds `part` (a line need not be finished); false at its end.
  bool waitForOutput(const std::string& part);
  void signal(int number);
  // Writes `text` to its standard input.
  void answer(const std::string& text);
  // The rest of the output and the exit status; 128 + N for a death by signal N, as a shell says.
  int finish();
  const std::string& output() const { return all_; }

 private:
  pid_t pid_ = -1;
  std::FILE* output_ = nullptr;
  int input_ = -1;
  std::string all_;
  int status_ = -1;
};

}  // namespace twinlens::testing
