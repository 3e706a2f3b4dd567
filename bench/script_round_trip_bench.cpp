// One script's round trip through the script host (a connection of its own, request, reply)
// against the bare exchange of the same frames on a connection kept open, both to a server that
// answers at once on a thread of this process. Two threads take turns, so wall time is measured.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/script_server.hpp"
#include "platform/script_wire.hpp"
#include "platform/socket_script_host.hpp"
#include "ratio_reporter.hpp"

namespace {

using namespace twinlens;

const std::string kScript =
    "tell application \"BenchViewer\"\nremove photo id 4294967308\nend tell\n";

// A private runtime folder and the server in it, for the whole run.
struct Fixture {
  Fixture() {
    char pattern[] = "/tmp/twinlens-bench-XXXXXX";
    folder = ::mkdtemp(pattern);
    ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    if (!server.listen()) std::abort();
    serving = std::thread([this] {
      server.serve(
          [](std::string_view) { return ScriptOutcome::success(AppleEventDescriptor::null()); });
    });
  }
  ~Fixture() {
    server.stop();
    serving.join();
    std::filesystem::remove_all(folder);
  }

  std::string folder;
  ScriptServer server{"BenchViewer"};
  std::thread serving;
};

Fixture& fixture() {
  static Fixture instance;
  return instance;
}

void BM_HostRoundTrip(benchmark::State& state) {
  fixture();
  SocketScriptHost host;
  for (auto _ : state) {
    ScriptOutcome outcome = host.executeSource(kScript);
    if (!outcome.succeeded()) state.SkipWithError("the script failed");
    benchmark::DoNotOptimize(outcome);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_BareFramesOnAKeptConnection(benchmark::State& state) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, fixture().server.socketPath().c_str());
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    state.SkipWithError("connect failed");
  for (auto _ : state) {
    if (!writeScriptFrame(fd, encodeRequest(kScript), scriptDeadlineNever()))
      state.SkipWithError("send failed");
    std::optional<Data> reply = readScriptFrame(fd, scriptDeadlineNever());
    if (!reply) state.SkipWithError("no reply");
    benchmark::DoNotOptimize(reply);
  }
  ::close(fd);
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_HostRoundTrip)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareFramesOnAKeptConnection)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return twinlens::bench::runWithRatios(
      argc, argv,
      {{"BM_HostRoundTrip", "BM_BareFramesOnAKeptConnection", "host round trip / bare frames"}});
}
