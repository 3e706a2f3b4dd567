// A tiny scriptable application for the tests: copied into a bundle, it answers on the socket
// named after its own executable. "pid" answers its process identifier, "fail" an error,
// "quit" stops it, anything else is echoed; SIGTERM stops it too.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "platform/script_server.hpp"

namespace {

twinlens::ScriptServer* runningServer = nullptr;

void stopOnSignal(int) {
  if (runningServer) runningServer->stop();
}

twinlens::ScriptOutcome answer(twinlens::ScriptServer& server, std::string_view source) {
  using twinlens::AppleEventDescriptor;
  if (source.find("quit") != std::string_view::npos) {
    server.stop();
    return twinlens::ScriptOutcome::success(AppleEventDescriptor::null());
  }
  if (source.find("pid") != std::string_view::npos)
    return twinlens::ScriptOutcome::success(AppleEventDescriptor::int32(::getpid()));
  if (source.find("fail") != std::string_view::npos)
    return twinlens::ScriptOutcome::failure(twinlens::kScriptCantGetObjectError,
                                            "Can't get photo id 1.");
  return twinlens::ScriptOutcome::success(AppleEventDescriptor::text(source));
}

}  // namespace

int main() {
  // A test that dies before it quits this application must not leave it behind for long.
  ::alarm(120);
  const std::string name = std::filesystem::read_symlink("/proc/self/exe").filename();
  twinlens::ScriptServer server(name);
  twinlens::ErrorRecord error;
  if (!server.listen(&error)) {
    std::fprintf(stderr, "%s\n", error.description().c_str());
    return 1;
  }
  runningServer = &server;
  ::signal(SIGTERM, stopOnSignal);
  server.serve([&](std::string_view source) { return answer(server, source); });
  return 0;
}
