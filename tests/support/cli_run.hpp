#pragma once

#include <string>

namespace twinlens::testing {

// What a run of the built twinlens-cli gave.
struct CliRun {
  int status;
  std::string output;  // standard output and standard error together
};

// `text` quoted for the shell.
std::string shellQuoted(const std::string& text);

// The shell command that runCli() runs, standard error joined to standard output.
std::string cliCommand(const std::string& arguments, const std::string& environment = "");

// Runs "<build>/src/cli/twinlens-cli <arguments>" through the shell, the build folder taken from
// $TWINLENS_BUILD_DIR (which ctest sets); `environment` ("NAME=value ...") goes before it.
CliRun runCli(const std::string& arguments, const std::string& environment = "");

}  // namespace twinlens::testing
