#include "support/cli_run.hpp"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>

namespace twinlens::testing {

std::string shellQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string cliCommand(const std::string& arguments, const std::string& environment) {
  const char* build = std::getenv("TWINLENS_BUILD_DIR");
  return environment + " " +
         shellQuoted(std::string(build ? build : ".") + "/src/cli/twinlens-cli") + " " + arguments +
         " 2>&1";
}

CliRun runCli(const std::string& arguments, const std::string& environment) {
  CliRun run{-1, ""};
  FILE* pipe = ::popen(cliCommand(arguments, environment).c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    run.output.append(buffer, n);
  int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace twinlens::testing
