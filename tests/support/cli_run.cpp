#include "support/cli_run.hpp"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace twinlens::testing {

std::string shellQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

CliRun runCli(const std::string& arguments, const std::string& environment) {
  CliRun run{-1, ""};
  const char* build = std::getenv("TWINLENS_BUILD_DIR");
  const std::string command =
      environment + " " + shellQuoted(std::string(build ? build : ".") + "/src/cli/twinlens-cli") +
      " " + arguments + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    run.output.append(buffer, n);
  int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

RunningCli::RunningCli(const std::vector<std::string>& arguments) {
  int outputEnds[2], inputEnds[2];
  if (::pipe(outputEnds) != 0 || ::pipe(inputEnds) != 0) return;
  const char* build = std::getenv("TWINLENS_BUILD_DIR");
  std::string program = std::string(build ? build : ".") + "/src/cli/twinlens-cli";
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(inputEnds[0], STDIN_FILENO);
    ::dup2(outputEnds[1], STDOUT_FILENO);
    ::dup2(outputEnds[1], STDERR_FILENO);
    ::close_range(3, ~0u, 0);
    std::vector<char*> argv{program.data()};
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(outputEnds[1]);
  ::close(inputEnds[0]);
  input_ = inputEnds[1];
  output_ = ::fdopen(outputEnds[0], "r");
}

RunningCli::~RunningCli() {
  if (output_) std::fclose(output_);
  if (input_ >= 0) ::close(input_);
  if (pid_ > 0 && status_ < 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

bool RunningCli::waitForOutput(const std::string& part) {
  const std::size_t from = all_.size();
  for (int c; output_ && (c = std::fgetc(output_)) != EOF;) {
    all_ += static_cast<char>(c);
    if (all_.find(part, from) != std::string::npos) return true;
  }
  return false;
}

void RunningCli::signal(int number) {
  ::kill(pid_, number);
}

void RunningCli::answer(const std::string& text) {
  if (::write(input_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    std::perror("RunningCli::answer");
}

int RunningCli::finish() {
  waitForOutput("\x01never\x01");
  int status = 0;
  ::waitpid(pid_, &status, 0);
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return status_;
}

}  // namespace twinlens::testing
