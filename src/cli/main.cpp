#include <csignal>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

#include "cli/command.hpp"
#include "platform/socket_script_host.hpp"
#include "shared/twinlens_app.hpp"

namespace {

void printUsage(std::FILE* out) {
  std::fprintf(out, "usage: twinlens-cli COMMAND [ARGS...]\n\ncommands:\n");
  for (const auto& command : twinlens::cli::commands())
    std::fprintf(out, "  %-10.*s %.*s\n", static_cast<int>(command.name.size()),
                 command.name.data(), static_cast<int>(command.summary.size()),
                 command.summary.data());
  std::fprintf(out,
               "\n'twinlens-cli COMMAND --help' explains one command, 'twinlens-cli --version'"
               " tells the version;\nman twinlens-cli has the whole story.\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  // A file-size limit then fails the write that passes it, an ordinary save error.
  std::signal(SIGXFSZ, SIG_IGN);
  twinlens::ScriptHost::setStandard(std::make_shared<twinlens::SocketScriptHost>());
  std::vector<std::string_view> words(argv + 1, argv + argc);
  if (words.empty() || words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
    printUsage(words.empty() ? stderr : stdout);
    return words.empty() ? 2 : 0;
  }
  if (words[0] == "--version") {
    std::printf(
        "twinlens-cli %s\n",
        twinlens::TwinlensApp::infoValue("CFBundleShortVersionString").value_or("").c_str());
    return 0;
  }
  for (const auto& command : twinlens::cli::commands())
    if (command.name == words[0])
      return twinlens::cli::statusAfterFlushingOutput(command.run(std::span(words).subspan(1)));
  const char* kind = words[0].starts_with('-') ? "option" : "command";
  twinlens::cli::printError("unknown " + std::string(kind) + " '" + std::string(words[0]) + "'");
  printUsage(stderr);
  return 2;
}
